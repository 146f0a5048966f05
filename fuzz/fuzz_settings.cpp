// The "PrivateSetting" value as it is read back from the settings store.
// Beyond not crashing:
// - at most the nine numbers are taken;
// - what is stored again reads back whole (all nine numbers) and unchanged,
//   so a damaged value is repaired by the next save, never made worse.

#include "fuzz/fuzzcheck.h"
#include "link/appsettings.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    CAppSettings settings;
    const int taken = settings.Parse(text);
    FUZZ_CHECK(taken >= 0 && taken <= 9);

    const QString stored = settings.Format();
    CAppSettings again;
    FUZZ_CHECK(again.Parse(stored) == 9);
    FUZZ_CHECK(again.Format() == stored);
    return 0;
}
