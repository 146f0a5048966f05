#pragma once

#include <QLatin1StringView>
#include <QString>

// An option of vq8ctl: its names and, for one that takes a value, what the
// help calls the value. The options of every command are known to the
// parser; an option only one command takes is defined in that command's file.
struct CCtlOption
{
    QLatin1StringView shortName; // "r"; empty: none
    QLatin1StringView longName;  // "recursive"
    QLatin1StringView valueName; // "MS"; empty: a switch
    bool pathValue = false;      // the value is a PC path (the completion offers files)

    bool TakesValue() const { return !valueName.isEmpty(); }
    // "--recursive"
    QString LongForm() const { return QLatin1StringView("--") + longName; }
    // As the help shows it: "-r, --recursive", "--connect-timeout MS".
    QString Shown() const
    {
        QString shown =
            shortName.isEmpty() ? QString() : QLatin1StringView("-") + shortName + QLatin1StringView(", ");
        shown += LongForm();
        if (TakesValue())
            shown += QLatin1Char(' ') + valueName;
        return shown;
    }
};

// An option as one command takes it, with what it means there.
struct CCtlOptionUse
{
    const CCtlOption* option;
    QLatin1StringView help;
};

// The options several commands take.
inline constexpr CCtlOption CTL_OPTION_RECURSIVE{QLatin1StringView("r"), QLatin1StringView("recursive"), {}};
inline constexpr CCtlOption CTL_OPTION_FORCE{QLatin1StringView("f"), QLatin1StringView("force"), {}};
inline constexpr CCtlOption CTL_OPTION_DRY_RUN{{}, QLatin1StringView("dry-run"), {}};
inline constexpr CCtlOption CTL_OPTION_NO_PACING{{}, QLatin1StringView("no-pacing"), {}};
inline constexpr CCtlOption CTL_OPTION_LITERAL{{}, QLatin1StringView("literal"), {}};
// The options of the commands that sync (sync, verify, backup, restore).
inline constexpr CCtlOption CTL_OPTION_DELETE{{}, QLatin1StringView("delete"), {}};
inline constexpr CCtlOption CTL_OPTION_VERIFY{{}, QLatin1StringView("verify"), {}};
inline constexpr CCtlOption CTL_OPTION_CHECKSUM{QLatin1StringView("c"), QLatin1StringView("checksum"), {}};
inline constexpr CCtlOption CTL_OPTION_LINKS{{}, QLatin1StringView("links"), {}};
inline constexpr CCtlOption CTL_OPTION_NO_RECORD{{}, QLatin1StringView("no-record"), {}};
