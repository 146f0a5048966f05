#pragma once

#include "cli/ctloption.h"

#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>

class CConsoleHost;
class CCtlArgs;
class CCtlSession;

// Exit statuses of vq8ctl.
enum : int
{
    CTL_OK = 0,            // all done
    CTL_FAILED = 1,        // an operation failed or the generator reported an error
    CTL_USAGE = 2,         // bad usage
    CTL_INTERRUPTED = 130, // Ctrl+C (SIGINT), as Unix tools report it
};

// The refusal of a target directly in the root.
inline const QString CTL_ROOT_TARGET_TEXT = QStringLiteral("Nothing can be placed directly in \"/F0:/\".");
// The refusal of an empty PC path (bad usage): it names no folder.
inline const QString CTL_EMPTY_PC_PATH_TEXT =
    QStringLiteral("an empty PC path (\".\" is the current folder)");

// What a command's arguments for one of several generators become: each run
// gets `arguments`, and with a `pcIndex` that argument is a PC folder of its
// own below `pcParent`, named after the generator.
struct CCtlFleetArguments
{
    QStringList arguments;
    qsizetype pcIndex = -1;
    QString pcParent;
    // The folder is made before the run (and removed again when the run left
    // it empty) and given as "FOLDER/"; otherwise the run makes it.
    bool madeBefore = false;
};

// One command of vq8ctl: one file in cli/commands each, listed once in
// ctlregistry.cpp. Its description feeds the parser, the help (and the man
// page made of it), the JSON document and the bash completion; Run does it.
class CCtlCommand
{
public:
    // How the command runs.
    enum class Kind
    {
        Generator, // on the generator's link (on each of several, a run of its own)
        Apart,     // without a link, stopping by itself on Ctrl+C (CCtlSession::RunApart)
        Help,      // the manual: answered by the parser
    };

    // What the bash completion offers for the arguments.
    enum class Completion
    {
        None,            // nothing
        Generator,       // generator paths
        PcThenGenerator, // PC paths, the last one a generator folder
        GeneratorThenPc, // generator paths, the last one a PC target
        PcOrGenerator,   // either: PC folders and generator paths
        Command,         // a command's name
    };

    // Keys the JSON document holds even when empty.
    enum ReportKey : unsigned
    {
        REPORT_FILES = 1u << 0,      // "files" and "folders"
        REPORT_OPERATIONS = 1u << 1, // "operations"
    };

    struct Description
    {
        QLatin1StringView name = {};
        int minArgs = 0;
        int maxArgs = 0; // -1: no limit
        QLatin1StringView synopsis = {};
        QLatin1StringView summary = {}; // one line of the list of commands
        QLatin1StringView details =
            {}; // the manual's paragraphs, unindented; lines that start with blanks kept
        QList<CCtlOptionUse> options = {};
        QLatin1StringView examples = {}; // one command line each
        Kind kind = Kind::Generator;
        // Errors queued before the command are read first and shown as such.
        bool drainsQueue = true;
        // The generator is asked who it is first (the report's "generator",
        // the record of what this PC confirmed there).
        bool identifies = false;
        Completion completion = Completion::Generator;
        unsigned reportKeys = 0;
        // Ctrl+C and SIGTERM are its normal end (a mount): no "interrupted",
        // the command's own status.
        bool endsOnRequest = false;
    };

    explicit CCtlCommand(Description description) : m_description(std::move(description)) {}
    virtual ~CCtlCommand() = default;
    CCtlCommand(const CCtlCommand&) = delete;
    CCtlCommand& operator=(const CCtlCommand&) = delete;

    const Description& Describe() const { return m_description; }
    bool Takes(const CCtlOption& option) const;

    // Usage the parser cannot see from the description: empty when fine, else
    // why not. `args` holds every option given.
    virtual QString CheckUsage(const CCtlArgs& args) const;
    // The arguments of each run for several generators; false after a
    // message (bad usage). By default every run gets the arguments as they are.
    virtual bool FleetArguments(const CCtlArgs& args, CConsoleHost& host, CCtlFleetArguments& fleet) const;

    // Does it: the exit status.
    virtual int Run(CCtlSession& session) = 0;

private:
    Description m_description;
};
