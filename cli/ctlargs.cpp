#include "cli/ctlargs.h"

#include "cli/ctlregistry.h"
#include "link/hostport.h"

#include <QCommandLineParser>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// An option every command takes, with its text in the help.
struct CommonOption
{
    CCtlOption option;
    QLatin1StringView help;
    bool forwarded; // a run for one of several generators takes it over as it is
};

const std::array kCommonOptions = {
    CommonOption{{{}, "host"_L1, "ADDR"_L1},
                 "the generator's address, ADDR:PORT for a port of its own (see Environment); given more "
                 "than once, the command runs on each (see Several generators)"_L1,
                 false},
    CommonOption{{{}, "hosts"_L1, "LIST"_L1, true},
                 "several generators: a file of addresses (ADDR:PORT too), one per line (\"#\" comments; "
                 "\"-\": standard "
                 "input), or a range (10.0.0.2-21, 10.0.0.0/24)"_L1,
                 false},
    CommonOption{{{}, "port"_L1, "N"_L1}, "its TCP port (default 5000)"_L1, false},
    CommonOption{{{}, "jobs"_L1, "N"_L1},
                 "generators served at once (default 8); for scan, addresses (default 64)"_L1,
                 false},
    CommonOption{
        {{}, "demo"_L1, {}}, "use an emulator started inside the tool, with sample content"_L1, false},
    CommonOption{
        {"y"_L1, "yes"_L1, {}},
        "answer OK to every question (a file's kind, too little PC disk space, a sync's deletions)"_L1,
        true},
    CommonOption{{"n"_L1, "no"_L1, {}}, "answer Cancel to every question"_L1, true},
    CommonOption{
        {"q"_L1, "quiet"_L1, {}}, "no progress line, notes or status texts; errors still show"_L1, true},
    CommonOption{
        {"v"_L1, "verbose"_L1, {}}, "say which generator is used and where its address came from"_L1, true},
    CommonOption{{{}, "json"_L1, {}},
                 "one JSON document on standard output instead of the lines for people"_L1,
                 false},
    CommonOption{{{}, "trace"_L1, "FILE"_L1, true},
                 "write every line and block header sent and received, on every connection, with the time "
                 "in ms, to FILE (\"-\": standard error)"_L1,
                 false},
    CommonOption{{{}, "progress"_L1, {}},
                 "the progress line also when standard error is no terminal: one line per 10 % (for CI "
                 "logs)"_L1,
                 true},
    CommonOption{{{}, "report"_L1, "FILE"_L1, true},
                 "write the JSON document to FILE too (the lines for people stay)"_L1,
                 false},
    CommonOption{{"h"_L1, "help"_L1, {}}, "this manual; after a command, that command's part"_L1, false},
    CommonOption{{{}, "version"_L1, {}}, "print the version"_L1, false},
};

const QString TOOL_HEAD = u"Usage: vq8ctl [OPTIONS] COMMAND [ARGS]\n"
                          "\n"
                          "Moves files between this PC and a VQ820 video signal generator and manages\n"
                          "the generator's file system, for test benches, scripts and CI jobs. It\n"
                          "drives the desktop program's device link: the same checks, messages and\n"
                          "transfer engines.\n"_s;

const QString TOOL_TAIL =
    u"Generator paths:\n"
    "  Absolute (\"/F0:/USER/A.TXT\") or relative to the root (\"USER/A.TXT\"); a\n"
    "  trailing \"/\" is ignored. A pattern (*, ?, [...]) in the last name is matched\n"
    "  against one listing of its folder, letter case ignored (quote it from the\n"
    "  shell). A name is a name first: an entry named exactly as the argument\n"
    "  (\"A[1].TXT\") is that entry, and the argument is a pattern only when no entry\n"
    "  has its name; --literal (ls, get, rm) takes every argument as a name. As the\n"
    "  desktop program, the tool neither makes nor removes anything directly in\n"
    "  /F0:/ and renames none of its folders.\n"
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
    "  VQ8_RECORD_DIR  where the record of what this PC sent to and read from\n"
    "             each generator is kept (default: \"Veltrane/VQ8 Comm/records\" in\n"
    "             the user's application data folder; see sync)\n"
    "\n"
    "Exit status:\n"
    "  0    all done\n"
    "  1    an operation failed, was refused or cancelled, or the generator\n"
    "       reported an error\n"
    "  2    bad usage\n"
    "  130  interrupted by Ctrl+C (SIGINT): put ends after the file under way, get\n"
    "       drops the file under way (a second Ctrl+C, or one outside a transfer,\n"
    "       stops at once); a partial file is never left on the PC. SIGTERM and\n"
    "       SIGHUP (on Windows Ctrl+Break and closing the console) stop at once\n"
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

// Options with their texts as a two-column list.
QString OptionList(const QList<std::pair<QString, QString>>& rows, int indent)
{
    constexpr int kTextColumn = 22;
    QString text;
    for (const auto& [names, rest] : rows)
        text += Wrapped(QString(indent, u' ') + names, rest, indent + kTextColumn);
    return text;
}

// The synopsis without its option groups ("[-r]", "[--connect-timeout MS]"),
// for the list of commands.
QString ShortSynopsis(QLatin1StringView synopsis)
{
    QStringList kept;
    bool inOption = false;
    for (const QString& word : QString(synopsis).split(u' ', Qt::SkipEmptyParts)) {
        if (word.startsWith(u"[-"))
            inOption = true;
        if (!inOption)
            kept.append(word);
        else if (word.endsWith(u']'))
            inOption = false;
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

// Every option the parser knows: the common ones, then each command's once.
QList<const CCtlOption*> AllOptions()
{
    QList<const CCtlOption*> options;
    for (const CommonOption& common : kCommonOptions)
        options.append(&common.option);
    for (const auto& command : CCtlRegistry::All()) {
        for (const CCtlOptionUse& use : command->Describe().options) {
            const auto same = [&](const CCtlOption* known) {
                return known->longName == use.option->longName;
            };
            if (std::none_of(options.cbegin(), options.cend(), same))
                options.append(use.option);
        }
    }
    return options;
}

bool IsCommon(const CCtlOption& option)
{
    return std::any_of(kCommonOptions.cbegin(), kCommonOptions.cend(),
                       [&](const CommonOption& common) { return common.option.longName == option.longName; });
}

QList<std::pair<QString, QString>> OptionRows(const QList<CCtlOptionUse>& uses)
{
    QList<std::pair<QString, QString>> rows;
    for (const CCtlOptionUse& use : uses)
        rows.append({use.option->Shown(), QString(use.help)});
    return rows;
}

} // namespace

QStringList CCtlArgs::Commands()
{
    return CCtlRegistry::Names();
}

QStringList CCtlArgs::CommandOptions(const QString& command)
{
    QStringList names;
    if (const CCtlCommand* found = CCtlRegistry::Find(command)) {
        for (const CCtlOptionUse& use : found->Describe().options)
            names.append(use.option->LongForm());
    }
    return names;
}

QStringList CCtlArgs::CommonOptions()
{
    QStringList names;
    for (const CommonOption& common : kCommonOptions)
        names.append(common.option.LongForm());
    return names;
}

QList<const CCtlOption*> CCtlArgs::KnownOptions()
{
    return AllOptions();
}

QString CCtlArgs::HelpText(const QString& topic)
{
    if (topic.isEmpty()) {
        QString text = TOOL_HEAD + u"\nCommands:\n"_s;
        for (const auto& command : CCtlRegistry::All()) {
            const CCtlCommand::Description& info = command->Describe();
            text += Wrapped(u"  "_s + ShortSynopsis(info.synopsis), QString(info.summary), 25);
        }
        QList<std::pair<QString, QString>> common;
        for (const CommonOption& option : kCommonOptions)
            common.append({option.option.Shown(), QString(option.help)});
        text += u"\nOptions:\n"_s + OptionList(common, 2) + u'\n' + TOOL_TAIL;
        text += u"\nCommand details:\n"_s;
        for (const auto& command : CCtlRegistry::All()) {
            const CCtlCommand::Description& info = command->Describe();
            if (info.details.isEmpty())
                continue;
            text += u"  vq8ctl "_s + info.synopsis + u'\n' + Reflowed(info.details, 4);
            if (!info.options.isEmpty())
                text += u'\n' + OptionList(OptionRows(info.options), 4);
            text += u'\n';
        }
        return text + u"See \"vq8ctl help COMMAND\" for one command's part with examples.\n"_s;
    }
    const CCtlCommand* command = CCtlRegistry::Find(topic);
    if (!command)
        return QString();
    const CCtlCommand::Description& info = command->Describe();
    QString text = Wrapped(u"Usage: "_s, u"vq8ctl [OPTIONS] "_s + info.synopsis, 7) + u'\n' +
                   Capitalised(info.summary) + u".\n"_s;
    if (!info.details.isEmpty())
        text += u'\n' + Reflowed(info.details, 0);
    if (!info.options.isEmpty())
        text += u"\nOptions:\n"_s + OptionList(OptionRows(info.options), 2);
    if (!info.examples.isEmpty()) {
        text += u"\nExamples:\n"_s;
        for (const QString& example : QString(info.examples).split(u'\n', Qt::SkipEmptyParts))
            text += u"  "_s + example + u'\n';
    }
    return text + u"\nSee \"vq8ctl --help\" for the common options.\n"_s;
}

QStringList CCtlArgs::ForwardedOptions() const
{
    QStringList forwarded;
    for (const CommonOption& common : kCommonOptions) {
        if (common.forwarded && IsSet(common.option))
            forwarded.append(common.option.LongForm());
    }
    for (const CCtlOption* option : AllOptions()) {
        if (IsCommon(*option) || !IsSet(*option))
            continue;
        forwarded.append(option->LongForm());
        if (option->TakesValue())
            forwarded.append(Value(*option));
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
    const QList<const CCtlOption*> options = AllOptions();
    QList<QCommandLineOption> made;
    for (const CCtlOption* option : options) {
        QStringList names;
        if (!option->shortName.isEmpty())
            names.append(option->shortName);
        names.append(option->longName);
        made.append(option->TakesValue()
                        ? QCommandLineOption(names, QString(), QString(option->valueName).toLower())
                        : QCommandLineOption(names));
    }
    parser.addOptions(made);
    if (!parser.parse(arguments))
        return Fail(parser.errorText());
    for (qsizetype i = 0; i < options.size(); ++i) {
        if (!parser.isSet(made.at(i)))
            continue;
        m_set.insert(options.at(i)->longName);
        if (options.at(i)->TakesValue())
            m_values.insert(options.at(i)->longName, parser.values(made.at(i)));
    }

    const QStringList positional = parser.positionalArguments();
    m_command = positional.value(0);
    m_arguments = positional.mid(1);
    const CCtlCommand* command = CCtlRegistry::Find(m_command);
    const bool helpCommand = command && command->Describe().kind == CCtlCommand::Kind::Help;

    if (IsSet(u"help")) {
        m_helpTopic = helpCommand ? m_arguments.value(0) : m_command;
        if (!m_helpTopic.isEmpty() && !CCtlRegistry::Find(m_helpTopic))
            return Fail(u"unknown command \"%1\""_s.arg(m_helpTopic));
        return Outcome::Help;
    }
    if (IsSet(u"version"))
        return Outcome::Version;
    if (m_command.isEmpty())
        return Fail(u"no command given"_s);
    if (!command)
        return Fail(u"unknown command \"%1\""_s.arg(m_command));
    const CCtlCommand::Description& info = command->Describe();
    const auto count = int(m_arguments.size());
    if (count < info.minArgs || (info.maxArgs >= 0 && count > info.maxArgs))
        return Fail(u"wrong number of arguments; usage: vq8ctl "_s + info.synopsis);
    if (helpCommand) {
        m_helpTopic = m_arguments.value(0);
        if (!m_helpTopic.isEmpty() && !CCtlRegistry::Find(m_helpTopic))
            return Fail(u"unknown command \"%1\""_s.arg(m_helpTopic));
        return Outcome::Help;
    }

    for (const CCtlOption* option : options) {
        if (IsSet(*option) && !IsCommon(*option) && !command->Takes(*option))
            return Fail(u"--%1 does not apply to %2"_s.arg(option->longName, m_command));
    }
    if (Yes() && No())
        return Fail(u"--yes and --no exclude each other"_s);
    if (Quiet() && Progress())
        return Fail(u"--quiet and --progress exclude each other"_s);
    if (Demo() && (IsSet(u"host") || IsSet(u"hosts") || IsSet(u"port")))
        return Fail(u"--demo takes no --host, --hosts or --port"_s);
    if (const QString problem = command->CheckUsage(*this); !problem.isEmpty())
        return Fail(problem);
    for (const QString& value : m_values.value(u"host"_s)) {
        const QString trimmed = value.trimmed();
        if (trimmed.isEmpty())
            return Fail(u"--host needs an address"_s);
        if (QString problem; !CHostPort::Parse(trimmed, &problem))
            return Fail(u"--host: "_s + problem);
        // The same generator twice would be served twice at once.
        if (!m_hosts.contains(trimmed))
            m_hosts.append(trimmed);
    }
    for (const QString& value : m_values.value(u"hosts"_s)) {
        if (value.trimmed().isEmpty())
            return Fail(u"--hosts needs a file or a range"_s);
        m_hostLists.append(value.trimmed());
    }
    if (IsSet(u"jobs")) {
        const QString value = m_values.value(u"jobs"_s).constLast();
        bool ok = false;
        m_nJobs = value.toInt(&ok);
        if (!ok || m_nJobs < 1 || m_nJobs > MAX_JOBS)
            return Fail(u"not a number of jobs (1 to %1): \"%2\""_s.arg(MAX_JOBS).arg(value));
        if (info.kind != CCtlCommand::Kind::Apart && !IsFleet())
            return Fail(u"--jobs applies to scan and to several generators"_s);
    }
    if (IsSet(u"report")) {
        m_report = m_values.value(u"report"_s).constLast();
        if (m_report.isEmpty())
            return Fail(u"--report needs a file"_s);
    }
    if (IsSet(u"port")) {
        const QString value = m_values.value(u"port"_s).constLast();
        m_port = ParsePort(value);
        if (m_port == 0)
            return Fail(u"not a port: \"%1\""_s.arg(value));
    }
    if (IsSet(u"trace")) {
        m_trace = m_values.value(u"trace"_s).constLast();
        if (m_trace.isEmpty())
            return Fail(u"--trace needs a file (\"-\": standard error)"_s);
    }
    return Outcome::Run;
}
