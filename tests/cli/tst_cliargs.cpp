// vq8ctl's command line and console host, without a generator.

#include "cli/consolehost.h"
#include "cli/ctlargs.h"
#include "cli/ctltool.h"

#include <QBuffer>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCliArgs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("rest");
        QTest::addColumn<QString>("error");

        const int run = int(CCtlArgs::Outcome::Run);
        const int help = int(CCtlArgs::Outcome::Help);
        const int usage = int(CCtlArgs::Outcome::Usage);
        QTest::newRow("options after the command")
            << QStringList{u"rm"_s, u"A"_s, u"-r"_s, u"B"_s, u"--yes"_s} << run << u"rm"_s
            << QStringList{u"A"_s, u"B"_s} << QString();
        QTest::newRow("compact short options")
            << QStringList{u"-qy"_s, u"ls"_s} << run << u"ls"_s << QStringList() << QString();
        QTest::newRow("path after --")
            << QStringList{u"rm"_s, u"--"_s, u"-r"_s} << run << u"rm"_s << QStringList{u"-r"_s} << QString();
        QTest::newRow("put needs a folder") << QStringList{u"put"_s, u"a.seq"_s} << usage << u"put"_s
                                            << QStringList{} << u"wrong number of arguments"_s;
        QTest::newRow("get one") << QStringList{u"get"_s, u"A"_s} << run << u"get"_s << QStringList{u"A"_s}
                                 << QString();
        QTest::newRow("mv three") << QStringList{u"mv"_s, u"A"_s, u"B"_s, u"C"_s} << usage << u"mv"_s
                                  << QStringList{} << u"wrong number of arguments"_s;
        QTest::newRow("no command") << QStringList{u"--yes"_s} << usage << QString() << QStringList{}
                                    << u"no command given"_s;
        QTest::newRow("unknown command") << QStringList{u"format"_s} << usage << QString() << QStringList{}
                                         << u"unknown command \"format\""_s;
        QTest::newRow("unknown option") << QStringList{u"ls"_s, u"--long"_s} << usage << QString()
                                        << QStringList{} << u"Unknown option 'long'."_s;
        QTest::newRow("json anywhere") << QStringList{u"rm"_s, u"A"_s, u"--json"_s} << run << u"rm"_s
                                       << QStringList{u"A"_s} << QString();
        QTest::newRow("-r elsewhere") << QStringList{u"cp"_s, u"-r"_s, u"A"_s, u"B"_s} << usage << QString()
                                      << QStringList{} << u"--recursive does not apply to cp"_s;
        QTest::newRow("--no-pacing on put")
            << QStringList{u"put"_s, u"--no-pacing"_s, u"A"_s, u"B"_s} << usage << QString() << QStringList{}
            << u"--no-pacing does not apply to put"_s;
        QTest::newRow("-rf for rm") << QStringList{u"rm"_s, u"-rf"_s, u"A"_s} << run << u"rm"_s
                                    << QStringList{u"A"_s} << QString();
        QTest::newRow("force and skip")
            << QStringList{u"put"_s, u"-f"_s, u"--skip-existing"_s, u"A"_s, u"B"_s} << usage << QString()
            << QStringList{} << u"--force and --skip-existing exclude each other"_s;
        QTest::newRow("quiet and progress")
            << QStringList{u"-q"_s, u"--progress"_s, u"ls"_s} << usage << QString() << QStringList{}
            << u"--quiet and --progress exclude each other"_s;
        QTest::newRow("trace without a file") << QStringList{u"ls"_s, u"--trace"_s} << usage << QString()
                                              << QStringList{} << u"Missing value after '--trace'."_s;
        QTest::newRow("mkdir several") << QStringList{u"mkdir"_s, u"-p"_s, u"A/B"_s, u"C"_s} << run
                                       << u"mkdir"_s << QStringList{u"A/B"_s, u"C"_s} << QString();
        QTest::newRow("yes and no") << QStringList{u"-y"_s, u"-n"_s, u"ls"_s} << usage << QString()
                                    << QStringList{} << u"--yes and --no exclude each other"_s;
        QTest::newRow("demo and host")
            << QStringList{u"--demo"_s, u"--host"_s, u"1.2.3.4"_s, u"ls"_s} << usage << QString()
            << QStringList{} << u"--demo takes no --host, --hosts or --port"_s;
        QTest::newRow("--jobs for one generator")
            << QStringList{u"--jobs"_s, u"4"_s, u"ls"_s} << usage << QString() << QStringList{}
            << u"--jobs applies to scan and to several generators"_s;
        QTest::newRow("--jobs for several")
            << QStringList{u"--hosts"_s, u"hosts.txt"_s, u"--jobs"_s, u"4"_s, u"ls"_s} << run << u"ls"_s
            << QStringList{} << QString();
        QTest::newRow("no jobs") << QStringList{u"--hosts"_s, u"h"_s, u"--jobs"_s, u"0"_s, u"ls"_s} << usage
                                 << QString() << QStringList{} << u"not a number of jobs"_s;
        QTest::newRow("--connect-timeout elsewhere")
            << QStringList{u"put"_s, u"--connect-timeout"_s, u"100"_s, u"A"_s, u"B"_s} << usage << QString()
            << QStringList{} << u"--connect-timeout does not apply to put"_s;
        QTest::newRow("--delete elsewhere")
            << QStringList{u"rm"_s, u"--delete"_s, u"A"_s} << usage << QString() << QStringList{}
            << u"--delete does not apply to rm"_s;
        QTest::newRow("sync") << QStringList{u"sync"_s, u"-r"_s, u"--delete"_s, u"--verify"_s, u"a"_s, u"b"_s}
                              << run << u"sync"_s << QStringList{u"a"_s, u"b"_s} << QString();
        // An empty PC path names no folder: bad usage, wherever a PC path goes.
        QTest::newRow("sync, empty PC side") << QStringList{u"sync"_s, u"/F0:/USER"_s, QString()} << usage
                                             << QString() << QStringList{} << u"an empty PC path"_s;
        QTest::newRow("sync, empty first side") << QStringList{u"sync"_s, QString(), u"USER"_s} << usage
                                                << QString() << QStringList{} << u"an empty PC path"_s;
        QTest::newRow("get, empty target") << QStringList{u"get"_s, u"USER/A"_s, QString()} << usage
                                           << QString() << QStringList{} << u"an empty PC path"_s;
        QTest::newRow("put, empty file") << QStringList{u"put"_s, QString(), u"USER"_s} << usage << QString()
                                         << QStringList{} << u"an empty PC path"_s;
        QTest::newRow("--literal for rm") << QStringList{u"rm"_s, u"--literal"_s, u"A[1]"_s} << run << u"rm"_s
                                          << QStringList{u"A[1]"_s} << QString();
        QTest::newRow("--literal elsewhere")
            << QStringList{u"put"_s, u"--literal"_s, u"A"_s, u"B"_s} << usage << QString() << QStringList{}
            << u"--literal does not apply to put"_s;
        QTest::newRow("scan of a host") << QStringList{u"--host"_s, u"1.2.3.4"_s, u"scan"_s} << usage
                                        << QString() << QStringList{} << u"scan takes ranges, not --host"_s;
        QTest::newRow("port 0") << QStringList{u"--port"_s, u"0"_s, u"ls"_s} << usage << QString()
                                << QStringList{} << u"not a port: \"0\""_s;
        QTest::newRow("port too big") << QStringList{u"--port"_s, u"65536"_s, u"ls"_s} << usage << QString()
                                      << QStringList{} << u"not a port: \"65536\""_s;
        QTest::newRow("empty host") << QStringList{u"--host"_s, u" "_s, u"ls"_s} << usage << QString()
                                    << QStringList{} << u"--host needs an address"_s;
        QTest::newRow("host with no port")
            << QStringList{u"--host"_s, u"1.2.3.4:70000"_s, u"ls"_s} << usage << QString() << QStringList{}
            << u"--host: not a port (1 to 65535): \"1.2.3.4:70000\""_s;
        QTest::newRow("help wins over bad arguments")
            << QStringList{u"mv"_s, u"--help"_s} << help << u"mv"_s << QStringList{} << QString();
        QTest::newRow("help on an unknown command")
            << QStringList{u"help"_s, u"format"_s} << usage << QString() << QStringList{}
            << u"unknown command \"format\""_s;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, outcome);
        QFETCH(QString, command);
        QFETCH(QStringList, rest);
        QFETCH(QString, error);
        CCtlArgs args;
        QCOMPARE(int(args.Parse(QStringList{u"vq8ctl"_s} + arguments)), outcome);
        QCOMPARE(args.ErrorText().startsWith(error), true);
        if (outcome == int(CCtlArgs::Outcome::Run)) {
            QCOMPARE(args.Command(), command);
            QCOMPARE(args.Arguments(), rest);
        }
        if (outcome == int(CCtlArgs::Outcome::Help))
            QCOMPARE(args.HelpTopic(), command);
    }

    void helpForEveryCommand()
    {
        const QString tool = CCtlArgs::HelpText();
        for (const QString& command : CCtlArgs::Commands()) {
            QVERIFY2(tool.contains(u"\n  "_s + command), qPrintable(command));
            QVERIFY2(CCtlArgs::HelpText(command).startsWith(u"Usage: vq8ctl [OPTIONS] "_s + command),
                     qPrintable(command));
        }
        QVERIFY(CCtlArgs::HelpText(u"format"_s).isEmpty());
        // The list of commands drops whole option groups, values and all.
        const QString list = tool.section(u"\nCommands:\n"_s, 1).section(u"\n\n"_s, 0, 0);
        QVERIFY2(list.contains(u"\n  scan [RANGE...] "_s), qPrintable(list));
        for (const QStringView line : QStringView(list).split(u'\n'))
            QVERIFY2(line.count(u'[') == line.count(u']'), qPrintable(line.toString()));
    }

    // The manual (--help, and the man page made from it): the sections a
    // reader and the page generator look for, every option and command
    // described, and lines that fit a terminal.
    void manual()
    {
        const QString text = CCtlArgs::HelpText();
        for (const QString& section :
             {u"Usage: vq8ctl"_s, u"\nCommands:\n"_s, u"\nOptions:\n"_s, u"\nEnvironment:\n"_s,
              u"\nExit status:\n"_s, u"\nExamples:\n"_s, u"\nCommand details:\n"_s, u"VQ8_HOST"_s, u"130"_s})
            QVERIFY2(text.contains(section), qPrintable(section));
        for (const QString& option : CCtlArgs::CommonOptions())
            QVERIFY2(text.contains(u" "_s + option + u' '), qPrintable(option));
        for (const QString& command : CCtlArgs::Commands()) {
            for (const QString& option : CCtlArgs::CommandOptions(command))
                QVERIFY2(CCtlArgs::HelpText(command).contains(option), qPrintable(command + option));
        }
        QVERIFY(CCtlArgs::HelpText(u"get"_s).contains(u"320 KB/s"_s));
        QStringList parts{text};
        for (const QString& command : CCtlArgs::Commands())
            parts.append(CCtlArgs::HelpText(command));
        for (const QString& part : std::as_const(parts)) {
            for (const QStringView line : QStringView(part).split(u'\n'))
                QVERIFY2(line.size() <= 79 && !line.endsWith(u' '), qPrintable(line.toString()));
        }
    }

    // Usage errors end before any connection: exit status 2, help hint on stderr.
    void usageExitStatus()
    {
        QBuffer out;
        QBuffer err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        CConsoleHost host(&out, &err);
        CCtlTool tool(host);
        QCOMPARE(tool.Run({u"vq8ctl"_s, u"--host"_s, u"127.0.0.1"_s, u"--port"_s, u"1"_s, u"cp"_s, u"A"_s}),
                 2);
        QVERIFY(out.data().isEmpty());
        QCOMPARE(err.data(), QByteArray("vq8ctl: wrong number of arguments; usage: vq8ctl cp SRC DST\n"
                                        "Try \"vq8ctl --help\".\n"));
    }

    // Questions: the policy, else the terminal, else refused; the stderr line
    // says which.
    void questions_data()
    {
        QTest::addColumn<int>("policy");
        QTest::addColumn<bool>("terminal");
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QByteArray>("err");
        const QByteArray q = "vq8ctl: Continue ?";
        QTest::newRow("--yes") << int(AnswerPolicy::Yes) << false << QByteArray() << int(IDOK)
                               << q + " [OK: --yes]\n";
        QTest::newRow("--no on a terminal")
            << int(AnswerPolicy::No) << true << QByteArray("y\n") << int(IDCANCEL) << q + " [Cancel: --no]\n";
        QTest::newRow("no terminal") << int(AnswerPolicy::Ask) << false << QByteArray("y\n") << int(IDCANCEL)
                                     << q + " [Cancel: no terminal to ask, use --yes or --no]\n";
        QTest::newRow("typed yes") << int(AnswerPolicy::Ask) << true << QByteArray(" YES \n") << int(IDOK)
                                   << q + " [y/N] ";
        QTest::newRow("typed return")
            << int(AnswerPolicy::Ask) << true << QByteArray("\n") << int(IDCANCEL) << q + " [y/N] ";
        QTest::newRow("end of input")
            << int(AnswerPolicy::Ask) << true << QByteArray() << int(IDCANCEL) << q + " [y/N] ";
    }

    void questions()
    {
        QFETCH(int, policy);
        QFETCH(bool, terminal);
        QFETCH(QByteArray, typed);
        QFETCH(int, answer);
        QFETCH(QByteArray, err);
        QBuffer errBuffer;
        QBuffer in(&typed);
        errBuffer.open(QIODevice::WriteOnly);
        in.open(QIODevice::ReadOnly);
        CConsoleHost host(nullptr, &errBuffer, &in);
        host.SetAnswerPolicy(AnswerPolicy(policy));
        host.SetInputIsTerminal(terminal);
        QCOMPARE(host.ShowMessageBox(u"Continue ?"_s, MB_OKCANCEL | MB_ICONQUESTION), answer);
        QCOMPARE(errBuffer.data(), err);
        // A question is not a failure; a stop message is.
        QCOMPARE(host.ErrorCount(), 0);
        host.ShowMessageBox(u"Broken"_s, MB_OK | MB_ICONSTOP);
        host.ShowMessageBox(u"Note"_s, MB_OK | MB_ICONINFORMATION);
        QCOMPARE(host.ErrorCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCliArgs)
#include "tst_cliargs.moc"
