// vq-testeditor: the editor of the tests that start one. Writes how many
// arguments it was given and the first, as "COUNT|FIRST", to the file that
// VQ_TESTEDITOR_OUTPUT names (through a temporary file, so that the file
// appears complete).

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char* argv[])
{
    const char* output = std::getenv("VQ_TESTEDITOR_OUTPUT");
    if (!output)
        return 2;
    const std::string temporary = std::string(output) + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return 1;
    std::fprintf(file, "%d|%s", argc - 1, argc > 1 ? argv[1] : "");
    if (std::fclose(file) != 0)
        return 1;
    return std::rename(temporary.c_str(), output) == 0 ? 0 : 1;
}
