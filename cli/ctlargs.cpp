#include "cli/ctlargs.h"

#include <QCommandLineParser>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// Options of single commands.
enum CommandOption : unsigned
{
    OPT_RECURSIVE = 1u << 0,
    OPT_FORCE = 1u << 1,
    OPT_SKIP_EXISTING = 1u << 2,
    OPT_DRY_RUN = 1u << 3,
    OPT_NO_PACING = 1u << 4,
    OPT_PARENTS = 1u << 5,
    OPT_DELETE = 1u << 6,
    OPT_VERIFY = 1u << 7,
    OPT_CONNECT_TIMEOUT = 1u << 8,
};

struct OptionInfo
{
    CommandOption bit;
    QLatin1StringView names; // as the help shows them
    QLatin1StringView longName;
};

const std::array kCommandOptions = {
    OptionInfo{OPT_RECURSIVE, "-r, --recursive"_L1, "--recursive"_L1},
    OptionInfo{OPT_FORCE, "-f, --force"_L1, "--force"_L1},
    OptionInfo{OPT_SKIP_EXISTING, "--skip-existing"_L1, "--skip-existing"_L1},
    OptionInfo{OPT_DRY_RUN, "--dry-run"_L1, "--dry-run"_L1},
    OptionInfo{OPT_NO_PACING, "--no-pacing"_L1, "--no-pacing"_L1},
    OptionInfo{OPT_PARENTS, "-p, --parents"_L1, "--parents"_L1},
    OptionInfo{OPT_DELETE, "--delete"_L1, "--delete"_L1},
    OptionInfo{OPT_VERIFY, "--verify"_L1, "--verify"_L1},
    OptionInfo{OPT_CONNECT_TIMEOUT, "--connect-timeout MS"_L1, "--connect-timeout"_L1},
};

struct CommandInfo
{
    QLatin1StringView name;
    int minArgs;
    int maxArgs; // -1: no limit
    unsigned options;
    QLatin1StringView synopsis;
    QLatin1StringView summary;
    QLatin1StringView details;    // paragraphs, unindented
    QLatin1StringView optionHelp; // "OPTION\tTEXT" lines
    QLatin1StringView examples;   // one command line each
};

const std::array kCommands = {
    CommandInfo{"idn"_L1, 0, 0, 0, "idn"_L1, "print the generator's identity line"_L1,
                "Prints the generator's answer to the identity query (*idn?).\n"
                "\n--json: {\"identity\"}.\n"_L1,
                ""_L1, "vq8ctl --host 192.168.0.10 idn\n"_L1},
    CommandInfo{"ls"_L1, 0, 1, 0, "ls [FOLDER|PATTERN]"_L1, "list a folder (default /F0:/)"_L1,
                "Lists the entries of FOLDER (default /F0:/) in the generator's order, one\n"
                "line each on standard output:\n"
                "  d 0 NAME        a folder\n"
                "  f SIZE NAME     a file of SIZE bytes\n"
                "The name is the rest of the line after the second blank. A PATTERN such as\n"
                "'USER/*.CMP' lists the entries of its folder whose names match (letter case\n"
                "ignored); a pattern that matches nothing fails. Then the desktop program's\n"
                "two status texts go to standard error (not with --quiet).\n"
                "\n--json: {\"path\", \"pattern\", \"entries\": [{\"name\", \"path\", \"type\", \"size\"}],\n"
                "\"count\", \"bytes\", \"memory\": {\"used\", \"free\", \"total\"}}.\n"_L1,
                ""_L1, "vq8ctl ls USER\nvq8ctl ls 'SIGNAL/*.cmp'\n"_L1},
    CommandInfo{"df"_L1, 0, 0, 0, "df"_L1, "memory used, free and total"_L1,
                "Prints the generator's memory figures, in bytes and as the desktop program\n"
                "shows sizes:\n"
                "  used BYTES TEXT\n"
                "  free BYTES TEXT\n"
                "  total BYTES TEXT\n"
                "\n--json: {\"memory\": {\"used\", \"free\", \"total\"}}.\n"_L1,
                ""_L1, "vq8ctl df\n"_L1},
    CommandInfo{"put"_L1, 2, -1, OPT_RECURSIVE | OPT_FORCE | OPT_SKIP_EXISTING | OPT_DRY_RUN,
                "put [-r] [-f|--skip-existing] [--dry-run] FILE... FOLDER"_L1,
                "send PC files (and with -r folder trees) to a generator folder"_L1,
                "Sends the PC files to the existing generator FOLDER through the desktop\n"
                "program's download engine. Everything is checked before the first byte\n"
                "moves: names the generator can take, the block-size limit (999,999,999\n"
                "bytes), the generator's free memory, names already there, and the\n"
                "confirmation of each file's kind (one question per kind; --yes answers it).\n"
                "A name already in FOLDER (letter case ignored) is refused, naming the files,\n"
                "unless --force or --skip-existing says what to do. Afterwards every file\n"
                "sent must be listed with its size (a .DNL package, which the generator files\n"
                "under a name of its own, is not looked for).\n"
                "\nWith -r a FILE may be a PC folder: it is made in FOLDER under its own name\n"
                "(mmem:mdir, parents first; an existing folder is used as it is) and its\n"
                "files follow, one batch per folder, to any depth the generator takes.\n"
                "\nCtrl+C cancels after the file under way; the report then says for each file\n"
                "what the generator holds: sent complete, cut short after N bytes, or not\n"
                "sent. Each file sent costs about 1.1 s of fixed pauses of the engine.\n"
                "\n--json: {\"files\": [{\"source\", \"target\", \"bytes\", \"transferred\",\n"
                "\"outcome\"}], \"folders\": [{\"path\", \"outcome\"}], \"summary\"}.\n"_L1,
                "-r, --recursive\tsend PC folders with everything in them\n"
                "-f, --force\treplace files of the same name: they are sent again and the\n"
                "\tgenerator keeps the new content under the name it had\n"
                "--skip-existing\tleave files of the same name as they are (said on stderr)\n"
                "--dry-run\tprint what would be made and sent; send nothing\n"_L1,
                "vq8ctl --yes put 1080p.cmp SIGNAL\n"
                "vq8ctl --yes --force put 1080p.cmp SIGNAL\n"
                "vq8ctl --yes put -r --dry-run patterns USER\n"_L1},
    CommandInfo{"get"_L1, 1, -1, OPT_RECURSIVE | OPT_DRY_RUN | OPT_NO_PACING,
                "get [-r] [--dry-run] [--no-pacing] PATH... [TARGET|-]"_L1,
                "fetch generator files (and with -r folder trees) to the PC"_L1,
                "Copies generator files to the PC through the desktop program's upload\n"
                "engine. With two or more arguments the last one is the TARGET: a PC folder\n"
                "(it must exist; a name ending in \"/\" always means a folder), or a file name\n"
                "when one file is fetched; \"-\" writes the one file to standard output. With\n"
                "one argument the file goes to the current folder. A PATH may be a pattern\n"
                "such as 'USER/*.CMP' (letter case ignored; one that matches nothing fails).\n"
                "Two files of the same name into one folder are refused before anything is\n"
                "fetched. Each file is written under a temporary name and renamed over the\n"
                "target only when complete: a failed or cancelled copy leaves no partial file\n"
                "and an existing target untouched. What is written is exactly the block the\n"
                "generator sends: a block that is not the size the listing gave (the file\n"
                "changed since) fails that file, naming both sizes. A listed name becomes the\n"
                "PC name as it is (bytes 0x80 to 0x9F too); one that is \".\" or \"..\" or holds\n"
                "\"/\", \"\\\", a C0 control character or DEL is refused. Ctrl+C ends the batch at\n"
                "once: the file under way is dropped, the files before it are kept.\n"
                "\nWith -r a PATH may be a generator folder:\n"
                "it is made in TARGET under its own name (or, for one folder, as TARGET when\n"
                "that does not exist yet) with everything in it.\n"
                "\nThe engine reads the generator at one 32 KiB chunk per 100 ms, about\n"
                "320 KB/s, as the desktop program always has; --no-pacing drops that pause\n"
                "for generators that do not need it (TCP keeps a fast sender from overrunning\n"
                "the PC either way).\n"
                "\n--json: as for put.\n"_L1,
                "-r, --recursive\tfetch generator folders with everything in them\n"
                "--dry-run\tprint what would be made and fetched; fetch nothing\n"
                "--no-pacing\tdo not pause 100 ms before each 32 KiB chunk\n"_L1,
                "vq8ctl get SIGNAL/1080P60.CMP .\n"
                "vq8ctl get 'SIGNAL/*.cmp' backup/\n"
                "vq8ctl get -r --no-pacing USER backup\n"
                "vq8ctl get USER/README.TXT - | head\n"_L1},
    CommandInfo{"sync"_L1, 2, 2, OPT_RECURSIVE | OPT_DELETE | OPT_DRY_RUN | OPT_VERIFY | OPT_NO_PACING,
                "sync [-r] [--delete] [--dry-run] [--verify] PCDIR FOLDER|FOLDER PCDIR"_L1,
                "make a generator folder hold what a PC folder holds, or the other way"_L1,
                "sync PCDIR FOLDER makes the generator FOLDER hold what the PC folder PCDIR\n"
                "holds; sync FOLDER PCDIR makes PCDIR hold what FOLDER holds. A file missing\n"
                "on the receiving side, or there with another size, is sent (as put --force)\n"
                "or fetched (as get: never a partial file at a target name); names compare as\n"
                "the generator compares them, letter case ignored. The receiving folder is\n"
                "made when it is missing (not directly in /F0:/). With -r sub-folders too,\n"
                "missing ones made; with --delete what the receiving folder holds and the\n"
                "other lacks is deleted, folders with everything in them, never anything\n"
                "outside it.\n"
                "\nThe generator's folder is the argument written as /F0:/...; otherwise the\n"
                "argument that is an existing PC folder is the PC's. When both or neither are,\n"
                "write the generator's as /F0:/...\n"
                "\nEach action is a line on standard output in the style of rsync -i, NAME\n"
                "relative to the synced folders:\n"
                "  <f+++++++++ NAME (SIZE bytes)          send a new file\n"
                "  <f.s....... NAME (OLD -> NEW bytes)    send a file of another size\n"
                "  >f+++++++++ NAME (SIZE bytes)          fetch a new file\n"
                "  >f.s....... NAME (OLD -> NEW bytes)    fetch a file of another size\n"
                "  cd+++++++++ NAME/                      make a folder\n"
                "  *deleting   NAME                       delete (a folder: NAME/)\n"
                "--dry-run prints them and changes nothing; after a sync a --dry-run prints\n"
                "none. --verify reads each file sent back from the generator (each file\n"
                "fetched, again) and compares it byte for byte: a file that differs fails\n"
                "the command. --no-pacing drops the 100 ms pause of every fetch.\n"
                "\n--json: as for put, and \"operations\" for the deletions (outcome\n"
                "\"planned\" under --dry-run); a file --verify found different has the\n"
                "outcome \"differs\".\n"_L1,
                "-r, --recursive\tsub-folders too\n"
                "--delete\tdelete what the other side lacks\n"
                "--dry-run\tprint the actions; change nothing\n"
                "--verify\tread each file moved back and compare it byte for byte\n"
                "--no-pacing\tdo not pause 100 ms before each 32 KiB chunk fetched\n"_L1,
                "vq8ctl --yes sync -r --delete patterns USER/patterns\n"
                "vq8ctl sync -r --dry-run patterns USER/patterns\n"
                "vq8ctl sync -r /F0:/USER/patterns backup/patterns\n"_L1},
    CommandInfo{"mkdir"_L1, 1, -1, OPT_PARENTS, "mkdir [-p] PATH..."_L1, "make folders"_L1,
                "Makes each folder PATH, in order. Not directly in the root /F0:/, and not\n"
                "over an existing name; with -p missing parents are made too and a folder\n"
                "that exists already is no error.\n"
                "\n--json: {\"operations\": [{\"action\", \"path\", \"outcome\"}]}.\n"_L1,
                "-p, --parents\tmake missing parents; an existing folder is fine\n"_L1,
                "vq8ctl mkdir -p USER/A/B/C\n"_L1},
    CommandInfo{"rmdir"_L1, 1, -1, 0, "rmdir PATH..."_L1, "remove empty folders"_L1,
                "Removes each empty folder PATH. The root's own folders stay.\n"
                "\n--json: as for mkdir.\n"_L1,
                ""_L1, "vq8ctl rmdir USER/OLD\n"_L1},
    CommandInfo{"rm"_L1, 1, -1, OPT_RECURSIVE | OPT_FORCE, "rm [-r] [-f] PATH..."_L1, "delete entries"_L1,
                "Deletes files and empty folders, in order, stopping at the first failure.\n"
                "A PATH may be a pattern such as 'USER/*.TMP'. A folder with entries is\n"
                "refused unless -r is given; with -r its entries go first, then the folder.\n"
                "The root's own folders stay.\n"
                "\n--json: as for mkdir.\n"_L1,
                "-r, --recursive\talso folders with everything in them\n"
                "-f, --force\ta missing entry (or a pattern matching nothing) is no error\n"_L1,
                "vq8ctl rm -rf USER/OLD 'USER/*.TMP'\n"_L1},
    CommandInfo{"mv"_L1, 2, 2, 0, "mv SRC DST"_L1, "move or rename an entry"_L1,
                "Moves SRC to DST. When DST is an existing folder, SRC moves into it under\n"
                "its own name; otherwise DST is the new path. An existing name is refused.\n"
                "\n--json: as for mkdir (\"path\" the source, \"target\" the new path).\n"_L1,
                ""_L1, "vq8ctl mv USER/A.SEQ USER/B.SEQ\n"_L1},
    CommandInfo{"cp"_L1, 2, 2, 0, "cp SRC DST"_L1, "copy an entry"_L1,
                "Copies SRC to DST on the generator, with the same rules for DST as mv.\n"
                "\n--json: as for mv.\n"_L1,
                ""_L1, "vq8ctl cp USER/A.SEQ SEQUENCE\n"_L1},
    CommandInfo{"errors"_L1, 0, 0, 0, "errors"_L1, "read the generator's error queue"_L1,
                "Reads the generator's error queue until its \"0,...\" entry and prints every\n"
                "entry as it came, that one included. Exit status 1 when the queue held an\n"
                "error.\n"
                "\n--json: {\"errors\": [{\"code\", \"text\"}]} without the closing entry.\n"_L1,
                ""_L1, "vq8ctl errors\n"_L1},
    CommandInfo{"scan"_L1, 0, -1, OPT_CONNECT_TIMEOUT, "scan [--connect-timeout MS] [RANGE...]"_L1,
                "find the generators on the network"_L1,
                "Looks for generators: each address of each RANGE gets a TCP connect to the\n"
                "generator port (--port, default 5000) bounded by --connect-timeout (default\n"
                "300 ms), then the identity query (*idn?), answered within 1 s; at most --jobs\n"
                "addresses at once (default 64), so a /24 takes about 256 / jobs x 1.3 s at\n"
                "the worst. A RANGE is an address (192.168.0.10), a network of at most 1024\n"
                "addresses (192.168.0.0/24; its own and its broadcast address are left out)\n"
                "or a run of last numbers (192.168.0.10-40). Without one, the PC's own IPv4\n"
                "networks: each cut to the /24 around the PC's address, loopback and\n"
                "link-local left out.\n"
                "\nEach generator that answered is a line on standard output, in address\n"
                "order:\n"
                "  ADDRESS  MAKER  MODEL  SERIAL  FIRMWARE  TIME\n"
                "TIME is the answer time. An address that took the connection but answered\n"
                "nothing, or no identity, is listed as \"no identity\" under -v only. The first\n"
                "word of a line is the address: the output can be given to --hosts as it is.\n"
                "Exit status 0 when a generator answered, 1 when none did.\n"
                "\n--json: {\"port\", \"ranges\", \"scanned\", \"count\", \"generators\":\n"
                "[{\"host\", \"identity\", \"maker\", \"model\", \"serial\", \"firmware\", \"ms\"}]};\n"
                "under -v also the addresses without an identity (\"identity\": null).\n"_L1,
                "--connect-timeout MS\tgive up a connect after MS ms (default 300)\n"_L1,
                "vq8ctl scan\n"
                "vq8ctl scan 192.168.0.0/24 10.1.2.5-40\n"
                "vq8ctl scan > generators.txt; vq8ctl --hosts generators.txt idn\n"_L1},
    CommandInfo{"help"_L1, 0, 1, 0, "help [COMMAND]"_L1, "this manual, or a command's part of it"_L1, ""_L1,
                ""_L1, ""_L1},
};

const CommandInfo* FindCommand(const QString& name)
{
    for (const CommandInfo& info : kCommands) {
        if (info.name == name)
            return &info;
    }
    return nullptr;
}

const QString TOOL_HEAD = u"Usage: vq8ctl [OPTIONS] COMMAND [ARGS]\n"
                          "\n"
                          "Moves files between this PC and a VQ820 video signal generator and manages\n"
                          "the generator's file system, for test benches, scripts and CI jobs. It\n"
                          "drives the desktop program's device link: the same checks, messages and\n"
                          "transfer engines.\n"_s;

// "NAMES\tTEXT" lines: the text continues on lines that start with a tab.
const QLatin1StringView COMMON_OPTIONS =
    "--host ADDR\tthe generator's address (see Environment); given more than once,\n"
    "\tthe command runs on each (see Several generators)\n"
    "--hosts LIST\tseveral generators: a file of addresses, one per line (\"#\"\n"
    "\tcomments; \"-\": standard input), or a range (10.0.0.2-21, 10.0.0.0/24)\n"
    "--port N\tits TCP port (default 5000)\n"
    "--jobs N\tgenerators served at once (default 8); for scan, addresses\n"
    "\t(default 64)\n"
    "--demo\tuse an emulator started inside the tool, with sample content\n"
    "-y, --yes\tanswer OK to every question (a file's kind, too little PC disk space)\n"
    "-n, --no\tanswer Cancel to every question\n"
    "-q, --quiet\tno progress line, notes or status texts; errors still show\n"
    "-v, --verbose\tsay which generator is used and where its address came from\n"
    "--json\tone JSON document on standard output instead of the lines for people\n"
    "--trace FILE\twrite every line and block header sent and received, on every\n"
    "\tconnection, with the time in ms, to FILE (\"-\": standard error)\n"
    "--progress\tthe progress line also when standard error is no terminal: one\n"
    "\tline per 10 % (for CI logs)\n"
    "--report FILE\twrite the JSON document to FILE too (the lines for people\n"
    "\tstay)\n"
    "-h, --help\tthis manual; after a command, that command's part\n"
    "--version\tprint the version\n"_L1;

const QString TOOL_TAIL =
    u"Generator paths:\n"
    "  Absolute (\"/F0:/USER/A.TXT\") or relative to the root (\"USER/A.TXT\"); a\n"
    "  trailing \"/\" is ignored. A pattern (*, ?, [...]) in the last name is matched\n"
    "  against one listing of its folder, letter case ignored (quote it from the\n"
    "  shell). As the desktop program, the tool neither makes nor removes anything\n"
    "  directly in /F0:/ and renames none of its folders.\n"
    "\n"
    "Questions and messages:\n"
    "  Questions are answered by --yes or --no; otherwise they are asked when\n"
    "  standard input is a terminal and refused when it is not. Messages for people\n"
    "  go to standard error, output for scripts to standard output; control\n"
    "  characters from the generator are shown escaped (\\x1B) on a terminal. After\n"
    "  every command that changes the generator its error queue is read: an entry\n"
    "  fails the command and is shown with what it answered, e.g.\n"
    "  vq8ctl: generator refused mkdir \"/F0:/USER/X\": -256,\"File name not found\"\n"
    "  Entries queued before the command are shown as earlier ones.\n"
    "\n"
    "Several generators:\n"
    "  With --host given more than once, or with --hosts, a command runs on each\n"
    "  generator, at most --jobs at once (default 8), each as a run of vq8ctl of\n"
    "  its own: a generator that fails never stops the others. Every line a run\n"
    "  writes carries its generator's address; at the end a line per generator\n"
    "  says done or failed and why, with its files, bytes and time, then the total.\n"
    "  get, and sync towards the PC, put each generator's files into a folder named\n"
    "  after its address inside the PC target. Questions are not asked there:\n"
    "  --yes or --no answers them. --trace FILE writes FILE.ADDRESS for each. With\n"
    "  --json one document: \"generators\" holds each generator's document (and its\n"
    "  \"seconds\"), \"summary\" the totals. Exit status 0 when every generator\n"
    "  succeeded, else 1; Ctrl+C reaches every run under way, starts no other, and\n"
    "  gives 130.\n"
    "\n"
    "JSON:\n"
    "  With --json every command prints one JSON object with at least \"command\",\n"
    "  \"ok\", \"status\" (the exit status) and \"earlierErrors\"; a failure adds \"error\":\n"
    "  {\"message\", \"messages\", \"generatorErrors\": [{\"code\", \"text\"}]}. A key means\n"
    "  the same in every command; see each command for its own keys.\n"
    "\n"
    "Environment:\n"
    "  VQ8_HOST   the generator's address when --host is not given; without either\n"
    "             the address stored by the desktop program is used (its setting\n"
    "             \"TargetHost\"), else 192.168.0.1\n"
    "  VQ8_PORT   the port when --port is not given (default 5000)\n"
    "\n"
    "Exit status:\n"
    "  0    all done\n"
    "  1    an operation failed, was refused or cancelled, or the generator\n"
    "       reported an error\n"
    "  2    bad usage\n"
    "  130  interrupted by Ctrl+C (SIGINT): put ends after the file under way, get\n"
    "       drops the file under way (a second Ctrl+C, or one outside a transfer,\n"
    "       stops at once); a partial file is never left on the PC\n"
    "\n"
    "Examples:\n"
    "  vq8ctl --host 192.168.0.10 ls USER\n"
    "  VQ8_HOST=192.168.0.10 vq8ctl --yes put -r patterns USER\n"
    "  vq8ctl --json get 'SIGNAL/*.CMP' backup/\n"
    "  vq8ctl --trace - idn\n"
    "  vq8ctl --demo ls SIGNAL\n"
    "  vq8ctl scan 192.168.0.0/24\n"
    "  vq8ctl --hosts 192.168.0.10-29 --yes sync -r patterns USER/patterns\n"_s;

constexpr int kHelpWidth = 79;

// `text` as lines of at most kHelpWidth characters, the first after `head`
// (padded to `column`, or on a line of its own when it is longer, unless it
// ends in a blank), the rest indented to `column`.
QString Wrapped(const QString& head, const QString& text, int column)
{
    QString result;
    QString line = !head.endsWith(u' ') && head.size() + 2 > column ? head + u'\n' + QString(column, u' ')
                                                                    : head.leftJustified(column);
    qsizetype lineStart = line.lastIndexOf(u'\n') + 1;
    bool empty = true;
    for (const QString& word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!empty && line.size() - lineStart + 1 + word.size() > kHelpWidth) {
            result += line + u'\n';
            line = QString(column, u' ');
            lineStart = 0;
            empty = true;
        }
        line += (empty ? QString() : u" "_s) + word;
        empty = false;
    }
    return result + line + u'\n';
}

// "NAMES\tTEXT" lines as a two-column list; a line that starts with a tab
// goes on with the text above.
QString OptionList(QLatin1StringView lines, int indent)
{
    constexpr int kTextColumn = 22;
    QList<std::pair<QString, QString>> rows;
    const QString all(lines);
    for (const QStringView line : QStringView(all).split(u'\n', Qt::SkipEmptyParts)) {
        const qsizetype tab = line.indexOf(u'\t');
        const QString names = tab < 0 ? line.toString() : line.first(tab).toString();
        const QString rest = tab < 0 ? QString() : line.sliced(tab + 1).toString();
        if (names.isEmpty() && !rows.isEmpty())
            rows.last().second += u' ' + rest;
        else
            rows.append({names, rest});
    }
    QString text;
    for (const auto& [names, rest] : rows)
        text += Wrapped(QString(indent, u' ') + names, rest, indent + kTextColumn);
    return text;
}

// The synopsis without its option groups, for the list of commands.
QString ShortSynopsis(QLatin1StringView synopsis)
{
    QStringList kept;
    for (const QString& word : QString(synopsis).split(u' ')) {
        if (!word.startsWith(u"[-"))
            kept.append(word);
    }
    return kept.join(u' ');
}

// Paragraphs (split by blank lines) wrapped to the help's width behind
// `indent` blanks; lines that start with blanks are kept as they are.
QString Reflowed(QLatin1StringView text, int indent)
{
    QString result;
    const QString lead(indent, u' ');
    const QString all(text);
    for (const QString& paragraph : all.split(u"\n\n"_s, Qt::SkipEmptyParts)) {
        if (!result.isEmpty())
            result += u'\n';
        QString words;
        const auto flush = [&]() {
            if (!words.isEmpty())
                result += Wrapped(lead, words, indent);
            words.clear();
        };
        for (const QString& line : paragraph.split(u'\n', Qt::SkipEmptyParts)) {
            if (line.startsWith(u' ')) {
                flush();
                result += lead + line + u'\n';
            } else {
                words += (words.isEmpty() ? QString() : u" "_s) + line;
            }
        }
        flush();
    }
    return result;
}

QString Capitalised(QLatin1StringView text)
{
    QString s(text);
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s;
}

} // namespace

QStringList CCtlArgs::Commands()
{
    QStringList names;
    for (const CommandInfo& info : kCommands)
        names.append(info.name);
    return names;
}

QStringList CCtlArgs::CommandOptions(const QString& command)
{
    QStringList names;
    if (const CommandInfo* info = FindCommand(command)) {
        for (const OptionInfo& option : kCommandOptions) {
            if (info->options & option.bit)
                names.append(option.longName);
        }
    }
    return names;
}

QStringList CCtlArgs::CommonOptions()
{
    QStringList names;
    const QString all(COMMON_OPTIONS);
    for (const QStringView line : QStringView(all).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringView option = line.first(std::max<qsizetype>(line.indexOf(u'\t'), 0));
        for (const QStringView part : option.split(u", "_s)) {
            if (part.startsWith(u"--"))
                names.append(part.split(u' ').first().toString());
        }
    }
    return names;
}

QString CCtlArgs::HelpText(const QString& topic)
{
    if (topic.isEmpty()) {
        QString text = TOOL_HEAD + u"\nCommands:\n"_s;
        for (const CommandInfo& info : kCommands)
            text += Wrapped(u"  "_s + ShortSynopsis(info.synopsis), QString(info.summary), 25);
        text += u"\nOptions:\n"_s + OptionList(COMMON_OPTIONS, 2) + u'\n' + TOOL_TAIL;
        text += u"\nCommand details:\n"_s;
        for (const CommandInfo& info : kCommands) {
            if (info.details.isEmpty())
                continue;
            text += u"  vq8ctl "_s + info.synopsis + u'\n' + Reflowed(info.details, 4);
            if (!info.optionHelp.isEmpty())
                text += u'\n' + OptionList(info.optionHelp, 4);
            text += u'\n';
        }
        return text + u"See \"vq8ctl help COMMAND\" for one command's part with examples.\n"_s;
    }
    const CommandInfo* info = FindCommand(topic);
    if (!info)
        return QString();
    QString text = Wrapped(u"Usage: "_s, u"vq8ctl [OPTIONS] "_s + info->synopsis, 7) + u'\n' +
                   Capitalised(info->summary) + u".\n"_s;
    if (!info->details.isEmpty())
        text += u'\n' + Reflowed(info->details, 0);
    if (!info->optionHelp.isEmpty())
        text += u"\nOptions:\n"_s + OptionList(info->optionHelp, 2);
    if (!info->examples.isEmpty()) {
        text += u"\nExamples:\n"_s;
        for (const QString& example : QString(info->examples).split(u'\n', Qt::SkipEmptyParts))
            text += u"  "_s + example + u'\n';
    }
    return text + u"\nSee \"vq8ctl --help\" for the common options.\n"_s;
}

QStringList CCtlArgs::ForwardedOptions() const
{
    const std::array<std::pair<bool, QLatin1StringView>, 13> options = {{
        {m_yes, "--yes"_L1},
        {m_no, "--no"_L1},
        {m_quiet, "--quiet"_L1},
        {m_verbose, "--verbose"_L1},
        {m_progress, "--progress"_L1},
        {m_recursive, "--recursive"_L1},
        {m_force, "--force"_L1},
        {m_skipExisting, "--skip-existing"_L1},
        {m_dryRun, "--dry-run"_L1},
        {m_noPacing, "--no-pacing"_L1},
        {m_parents, "--parents"_L1},
        {m_delete, "--delete"_L1},
        {m_verify, "--verify"_L1},
    }};
    QStringList forwarded;
    for (const auto& [set, name] : options) {
        if (set)
            forwarded.append(name);
    }
    return forwarded;
}

quint16 CCtlArgs::ParsePort(const QString& text)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    return ok && value > 0 && value <= 65535 ? quint16(value) : quint16(0);
}

CCtlArgs::Outcome CCtlArgs::Fail(const QString& text)
{
    m_error = text;
    return Outcome::Usage;
}

CCtlArgs::Outcome CCtlArgs::Parse(const QStringList& arguments)
{
    *this = CCtlArgs();
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption host(u"host"_s, QString(), u"addr"_s);
    const QCommandLineOption port(u"port"_s, QString(), u"n"_s);
    const QCommandLineOption trace(u"trace"_s, QString(), u"file"_s);
    const QCommandLineOption demo(u"demo"_s);
    const QCommandLineOption yes(QStringList{u"y"_s, u"yes"_s});
    const QCommandLineOption no(QStringList{u"n"_s, u"no"_s});
    const QCommandLineOption quiet(QStringList{u"q"_s, u"quiet"_s});
    const QCommandLineOption verbose(QStringList{u"v"_s, u"verbose"_s});
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    const QCommandLineOption version(u"version"_s);
    const QCommandLineOption json(u"json"_s);
    const QCommandLineOption progress(u"progress"_s);
    const QCommandLineOption recursive(QStringList{u"r"_s, u"recursive"_s});
    const QCommandLineOption force(QStringList{u"f"_s, u"force"_s});
    const QCommandLineOption skipExisting(u"skip-existing"_s);
    const QCommandLineOption dryRun(u"dry-run"_s);
    const QCommandLineOption noPacing(u"no-pacing"_s);
    const QCommandLineOption parents(QStringList{u"p"_s, u"parents"_s});
    const QCommandLineOption hosts(u"hosts"_s, QString(), u"list"_s);
    const QCommandLineOption jobs(u"jobs"_s, QString(), u"n"_s);
    const QCommandLineOption report(u"report"_s, QString(), u"file"_s);
    const QCommandLineOption deleteExtra(u"delete"_s);
    const QCommandLineOption verify(u"verify"_s);
    const QCommandLineOption connectTimeout(u"connect-timeout"_s, QString(), u"ms"_s);
    parser.addOptions({host,      port,    trace,        demo,        yes,      no,
                       quiet,     verbose, help,         version,     json,     progress,
                       recursive, force,   skipExisting, dryRun,      noPacing, parents,
                       hosts,     jobs,    report,       deleteExtra, verify,   connectTimeout});
    if (!parser.parse(arguments))
        return Fail(parser.errorText());

    const QStringList positional = parser.positionalArguments();
    m_command = positional.value(0);
    m_arguments = positional.mid(1);

    if (parser.isSet(help)) {
        m_helpTopic = m_command == u"help" ? m_arguments.value(0) : m_command;
        if (!m_helpTopic.isEmpty() && !FindCommand(m_helpTopic))
            return Fail(u"unknown command \"%1\""_s.arg(m_helpTopic));
        return Outcome::Help;
    }
    if (parser.isSet(version))
        return Outcome::Version;
    if (m_command.isEmpty())
        return Fail(u"no command given"_s);
    const CommandInfo* info = FindCommand(m_command);
    if (!info)
        return Fail(u"unknown command \"%1\""_s.arg(m_command));
    const auto count = int(m_arguments.size());
    if (count < info->minArgs || (info->maxArgs >= 0 && count > info->maxArgs))
        return Fail(u"wrong number of arguments; usage: vq8ctl "_s + info->synopsis);
    if (m_command == u"help") {
        m_helpTopic = m_arguments.value(0);
        if (!m_helpTopic.isEmpty() && !FindCommand(m_helpTopic))
            return Fail(u"unknown command \"%1\""_s.arg(m_helpTopic));
        return Outcome::Help;
    }

    const std::array<std::pair<const QCommandLineOption*, CommandOption>, 9> own = {{
        {&recursive, OPT_RECURSIVE},
        {&force, OPT_FORCE},
        {&skipExisting, OPT_SKIP_EXISTING},
        {&dryRun, OPT_DRY_RUN},
        {&noPacing, OPT_NO_PACING},
        {&parents, OPT_PARENTS},
        {&deleteExtra, OPT_DELETE},
        {&verify, OPT_VERIFY},
        {&connectTimeout, OPT_CONNECT_TIMEOUT},
    }};
    for (const auto& [option, bit] : own) {
        if (parser.isSet(*option) && !(info->options & bit)) {
            const QString name = option->names().constLast();
            return Fail(u"--%1 does not apply to %2"_s.arg(name, m_command));
        }
    }
    if (parser.isSet(yes) && parser.isSet(no))
        return Fail(u"--yes and --no exclude each other"_s);
    if (parser.isSet(force) && parser.isSet(skipExisting))
        return Fail(u"--force and --skip-existing exclude each other"_s);
    if (parser.isSet(quiet) && parser.isSet(progress))
        return Fail(u"--quiet and --progress exclude each other"_s);
    if (parser.isSet(demo) && (parser.isSet(host) || parser.isSet(hosts) || parser.isSet(port)))
        return Fail(u"--demo takes no --host, --hosts or --port"_s);
    if (m_command == u"scan" && (parser.isSet(host) || parser.isSet(hosts) || parser.isSet(demo)))
        return Fail(u"scan takes ranges, not --host, --hosts or --demo"_s);
    for (const QString& value : parser.values(host)) {
        const QString trimmed = value.trimmed();
        if (trimmed.isEmpty())
            return Fail(u"--host needs an address"_s);
        // The same generator twice would be served twice at once.
        if (!m_hosts.contains(trimmed))
            m_hosts.append(trimmed);
    }
    for (const QString& value : parser.values(hosts)) {
        if (value.trimmed().isEmpty())
            return Fail(u"--hosts needs a file or a range"_s);
        m_hostLists.append(value.trimmed());
    }
    if (parser.isSet(jobs)) {
        bool ok = false;
        m_nJobs = parser.value(jobs).toInt(&ok);
        if (!ok || m_nJobs < 1 || m_nJobs > MAX_JOBS)
            return Fail(u"not a number of jobs (1 to %1): \"%2\""_s.arg(MAX_JOBS).arg(parser.value(jobs)));
        if (m_command != u"scan" && !IsFleet())
            return Fail(u"--jobs applies to scan and to several generators"_s);
    }
    if (parser.isSet(connectTimeout)) {
        bool ok = false;
        m_nConnectTimeoutMs = parser.value(connectTimeout).toInt(&ok);
        if (!ok || m_nConnectTimeoutMs < 1 || m_nConnectTimeoutMs > MAX_CONNECT_TIMEOUT_MS)
            return Fail(u"not a time in ms (1 to %1): \"%2\""_s.arg(MAX_CONNECT_TIMEOUT_MS)
                            .arg(parser.value(connectTimeout)));
    }
    if (parser.isSet(report)) {
        m_report = parser.value(report);
        if (m_report.isEmpty())
            return Fail(u"--report needs a file"_s);
    }
    if (parser.isSet(port)) {
        m_port = ParsePort(parser.value(port));
        if (m_port == 0)
            return Fail(u"not a port: \"%1\""_s.arg(parser.value(port)));
    }
    if (parser.isSet(trace)) {
        m_trace = parser.value(trace);
        if (m_trace.isEmpty())
            return Fail(u"--trace needs a file (\"-\": standard error)"_s);
    }
    m_yes = parser.isSet(yes);
    m_no = parser.isSet(no);
    m_quiet = parser.isSet(quiet);
    m_verbose = parser.isSet(verbose);
    m_demo = parser.isSet(demo);
    m_json = parser.isSet(json);
    m_progress = parser.isSet(progress);
    m_recursive = parser.isSet(recursive);
    m_force = parser.isSet(force);
    m_skipExisting = parser.isSet(skipExisting);
    m_dryRun = parser.isSet(dryRun);
    m_noPacing = parser.isSet(noPacing);
    m_parents = parser.isSet(parents);
    m_delete = parser.isSet(deleteExtra);
    m_verify = parser.isSet(verify);
    return Outcome::Run;
}
