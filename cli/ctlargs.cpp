#include "ctlargs.h"

#include <QCommandLineParser>

#include <array>

using namespace Qt::StringLiterals;

namespace {

struct CommandInfo
{
    QLatin1StringView name;
    int minArgs;
    int maxArgs; // -1: no limit
    QLatin1StringView synopsis;
    QLatin1StringView summary;
    QLatin1StringView details;
};

const std::array kCommands = {
    CommandInfo{"idn"_L1, 0, 0, "idn"_L1, "print the generator's identity line"_L1,
                "Prints the generator's answer to the identity query, as it came.\n"_L1},
    CommandInfo{"ls"_L1, 0, 1, "ls [--json] [FOLDER]"_L1, "list a folder (default /F0:/)"_L1,
                "Lists the entries of FOLDER (default /F0:/) in the generator's order, one\n"
                "line each on standard output:\n"
                "  d 0 NAME        a folder\n"
                "  f SIZE NAME     a file of SIZE bytes\n"
                "The name is the rest of the line after the second blank. Then the two\n"
                "status texts of the desktop program go to standard error (left out with\n"
                "--quiet), e.g. \"3 object[s]\" and \"4.86KB [Memory free: 63.9MB]\".\n"
                "\n"
                "--json prints one JSON object instead:\n"
                "  {\"folder\", \"entries\": [{\"name\", \"folder\", \"size\"}], \"count\",\n"
                "   \"bytes\", \"memoryUsed\", \"memoryFree\", \"objectsText\", \"memoryText\"}\n"_L1},
    CommandInfo{"df"_L1, 0, 0, "df [--json]"_L1, "memory used, free and total"_L1,
                "Prints the generator's memory figures from its catalog reply, in bytes and\n"
                "as the desktop program shows sizes:\n"
                "  used BYTES TEXT\n"
                "  free BYTES TEXT\n"
                "  total BYTES TEXT\n"
                "--json prints {\"used\", \"free\", \"total\"} instead.\n"_L1},
    CommandInfo{"put"_L1, 2, -1, "put FILE... FOLDER"_L1, "send PC files to a generator folder"_L1,
                "Sends the PC files to the generator FOLDER, with the desktop program's\n"
                "checks before any byte is sent: names already there (the question is\n"
                "answered by --yes, which skips that file, or --no; asked on a terminal;\n"
                "refused otherwise), the generator's free memory, the block-size limit, and\n"
                "the confirmation of each file's kind (answered the same way). A progress\n"
                "line goes to standard error when it is a terminal. Afterwards each file\n"
                "sent must be listed in FOLDER with its size. Scripts pass --yes: every\n"
                "file's kind is confirmed.\n"
                "Ctrl+C cancels the transfer (exit status 1).\n"_L1},
    CommandInfo{"get"_L1, 1, -1, "get PATH... [TARGET]"_L1, "fetch generator files to the PC"_L1,
                "Copies generator files to the PC. With two or more arguments the last one\n"
                "is the TARGET: a PC folder, or a file name when one file is fetched. With\n"
                "one argument the file goes to the current folder under its own name.\n"
                "A file is written under a temporary name and renamed over the target only\n"
                "when complete: a failed or cancelled transfer leaves no partial file and\n"
                "an existing target untouched. Ctrl+C cancels (exit status 1).\n"_L1},
    CommandInfo{"mkdir"_L1, 1, 1, "mkdir PATH"_L1, "make a folder"_L1,
                "Makes the folder PATH. Not directly in the root /F0:/, and not over an\n"
                "existing name.\n"_L1},
    CommandInfo{"rmdir"_L1, 1, 1, "rmdir PATH"_L1, "remove an empty folder"_L1,
                "Removes the empty folder PATH. The root's own folders stay.\n"_L1},
    CommandInfo{"rm"_L1, 1, -1, "rm [-r] PATH..."_L1, "delete entries"_L1,
                "Deletes files and empty folders. A folder with entries is refused unless\n"
                "-r is given; with -r its entries are deleted, then the folder itself.\n"
                "Stops at the first failure. The root's own folders stay.\n"_L1},
    CommandInfo{"mv"_L1, 2, 2, "mv SRC DST"_L1, "move or rename an entry"_L1,
                "Moves SRC to DST. When DST is an existing folder, SRC moves into it under\n"
                "its own name; otherwise DST is the new path. An existing name is refused.\n"_L1},
    CommandInfo{"cp"_L1, 2, 2, "cp SRC DST"_L1, "copy an entry"_L1,
                "Copies SRC to DST on the generator, with the same rules for DST as mv.\n"_L1},
    CommandInfo{"errors"_L1, 0, 0, "errors"_L1, "read the generator's error queue"_L1,
                "Reads the generator's error queue until its \"0,...\" entry and prints every\n"
                "entry as it came, that one included. Exit status 1 when the queue held an\n"
                "error.\n"_L1},
    CommandInfo{"help"_L1, 0, 1, "help [COMMAND]"_L1, "the tool's help, or a command's"_L1, ""_L1},
};

const CommandInfo* FindCommand(const QString& name)
{
    for (const CommandInfo& info : kCommands) {
        if (info.name == name)
            return &info;
    }
    return nullptr;
}

const QString TOOL_HELP_HEAD = u"Usage: vq8ctl [OPTIONS] COMMAND [ARGS]\n"
                               "\n"
                               "Moves files between this PC and a VQ820 generator and manages the\n"
                               "generator's file system, for scripts and CI jobs.\n"
                               "\n"
                               "Commands:\n"_s;

const QString OPTIONS_HELP =
    u"Options (anywhere on the line; \"--\" ends them):\n"
    "  --host ADDR  the generator (default: the desktop program's stored address,\n"
    "               else 192.168.0.1)\n"
    "  --port N     TCP port (default 5000)\n"
    "  --demo       use an emulator started inside the tool, with sample content\n"
    "  -y, --yes    answer OK to every question\n"
    "  -n, --no     answer Cancel to every question\n"
    "  -q, --quiet  no progress line, notes or echo of --yes; errors still show\n"
    "  -h, --help   this help; after a command, that command's help\n"
    "  --version    print the version\n"
    "\n"
    "Generator paths are absolute (\"/F0:/USER/A.TXT\") or relative to the root\n"
    "(\"USER/A.TXT\"). Messages for people go to standard error; output for scripts\n"
    "to standard output. After every command that changes the generator its error\n"
    "queue is read: each entry other than code 0 is printed and fails the command.\n"
    "\n"
    "Exit status: 0 all done, 1 an operation failed or the generator reported an\n"
    "error, 2 bad usage.\n"_s;

} // namespace

QStringList CCtlArgs::Commands()
{
    QStringList names;
    for (const CommandInfo& info : kCommands)
        names.append(info.name);
    return names;
}

QString CCtlArgs::HelpText(const QString& topic)
{
    if (topic.isEmpty()) {
        QString text = TOOL_HELP_HEAD;
        for (const CommandInfo& info : kCommands)
            text += u"  %1 %2\n"_s.arg(QString(info.synopsis), -22).arg(QString(info.summary));
        return text + u'\n' + OPTIONS_HELP;
    }
    const CommandInfo* info = FindCommand(topic);
    if (!info)
        return QString();
    return u"Usage: vq8ctl [OPTIONS] "_s + info->synopsis + u"\n\n"_s +
           QString(info->summary).replace(0, 1, QChar(info->summary.front()).toUpper()) + u".\n"_s +
           (info->details.isEmpty() ? QString() : u'\n' + QString(info->details)) +
           u"\nSee \"vq8ctl --help\" for the options.\n"_s;
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
    const QCommandLineOption demo(u"demo"_s);
    const QCommandLineOption yes(QStringList{u"y"_s, u"yes"_s});
    const QCommandLineOption no(QStringList{u"n"_s, u"no"_s});
    const QCommandLineOption quiet(QStringList{u"q"_s, u"quiet"_s});
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s});
    const QCommandLineOption version(u"version"_s);
    const QCommandLineOption json(u"json"_s);
    const QCommandLineOption recursive(QStringList{u"r"_s, u"recursive"_s});
    parser.addOptions({host, port, demo, yes, no, quiet, help, version, json, recursive});
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

    if (parser.isSet(json) && m_command != u"ls" && m_command != u"df")
        return Fail(u"--json applies to ls and df only"_s);
    if (parser.isSet(recursive) && m_command != u"rm")
        return Fail(u"-r applies to rm only"_s);
    if (parser.isSet(yes) && parser.isSet(no))
        return Fail(u"--yes and --no exclude each other"_s);
    if (parser.isSet(demo) && (parser.isSet(host) || parser.isSet(port)))
        return Fail(u"--demo takes no --host or --port"_s);
    if (parser.isSet(host)) {
        m_host = parser.value(host).trimmed();
        if (m_host.isEmpty())
            return Fail(u"--host needs an address"_s);
    }
    if (parser.isSet(port)) {
        bool ok = false;
        const uint value = parser.value(port).toUInt(&ok);
        if (!ok || value == 0 || value > 65535)
            return Fail(u"not a port: \"%1\""_s.arg(parser.value(port)));
        m_port = quint16(value);
    }
    m_yes = parser.isSet(yes);
    m_no = parser.isSet(no);
    m_quiet = parser.isSet(quiet);
    m_demo = parser.isSet(demo);
    m_json = parser.isSet(json);
    m_recursive = parser.isSet(recursive);
    return Outcome::Run;
}
