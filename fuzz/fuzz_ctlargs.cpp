// vq8ctl's command line and its generator paths: the input is split at NUL
// bytes into arguments. Beyond not crashing:
// - a command to run is one of the tool's commands; bad usage says why; a
//   help topic has a text;
// - every argument read as a generator path gives a path under "/F0:/"
//   without empty names, that reads as itself again, and that its folder and
//   last name put back together;
// - a name without pattern characters matches itself as a pattern, and "*"
//   matches any name.

#include "cli/ctlargs.h"
#include "fuzz/fuzzcheck.h"
#include "link/devicepath.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;

namespace {

void CheckDevicePath(const QString& argument)
{
    const QString path = ToDevicePath(argument);
    FUZZ_CHECK(path.startsWith(DEVICE_ROOT_PATH));
    FUZZ_CHECK(!path.sliced(DEVICE_ROOT_PATH.size()).contains(u"//"_s));
    FUZZ_CHECK(!IsDeviceRoot(path) ? !path.endsWith(u'/') : true);
    FUZZ_CHECK(ToDevicePath(path) == path);
    if (!IsDeviceRoot(path)) {
        const QString name = DeviceName(path);
        FUZZ_CHECK(!name.isEmpty() && !name.contains(u'/'));
        FUZZ_CHECK(JoinDevicePath(DeviceParent(path), name) == path);
        if (!IsDevicePattern(path) && !name.contains(u'\\')) {
            FUZZ_CHECK(MatchesDevicePattern(name, name));
        }
        FUZZ_CHECK(MatchesDevicePattern(u"*"_s, name));
    } else {
        FUZZ_CHECK(DeviceName(path).isEmpty() && DeviceParent(path) == path);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList arguments{u"vq8ctl"_s};
    for (const QByteArray& part : input.split('\0'))
        arguments.append(QString::fromUtf8(part));

    CCtlArgs args;
    switch (args.Parse(arguments)) {
    case CCtlArgs::Outcome::Run:
        FUZZ_CHECK(CCtlArgs::Commands().contains(args.Command()));
        break;
    case CCtlArgs::Outcome::Usage:
        FUZZ_CHECK(!args.ErrorText().isEmpty());
        break;
    case CCtlArgs::Outcome::Help:
        FUZZ_CHECK(!CCtlArgs::HelpText(args.HelpTopic()).isEmpty());
        break;
    case CCtlArgs::Outcome::Version:
        break;
    }
    // Each path check compiles patterns; a few arguments cover the rules, and
    // the runs stay fast enough to be many.
    for (qsizetype i = 1; i < std::min<qsizetype>(arguments.size(), 9); ++i)
        CheckDevicePath(arguments.at(i));
    return 0;
}
