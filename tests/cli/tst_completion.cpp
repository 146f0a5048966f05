// The bash completion: the file installed is the one the commands make, and
// bash completes with it what the registry holds.

#include "cli/ctlargs.h"
#include "cli/ctlcompletion.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

class TestCompletion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A command added or changed changes the script: the new one is written
    // beside this test, to be copied over the file.
    void scriptFile()
    {
        QFile file(QStringLiteral(VQ_COMPLETION_FILE));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString script = CCtlCompletion::Script();
        if (QString::fromUtf8(file.readAll()) != script) {
            const QString made = QCoreApplication::applicationDirPath() + u"/vq8ctl.bash-completion"_s;
            QFile out(made);
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(script.toUtf8()) > 0);
            QFAIL(qPrintable(u"cli/vq8ctl.bash-completion differs from what the commands make: copy "_s +
                             made + u" over it"_s));
        }
    }

    // The words bash offers at the end of a command line.
    void completes_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("a command") << QStringList{u"vq8ctl"_s, QString()} << CCtlArgs::Commands();
        QTest::newRow("a common option") << QStringList{u"vq8ctl"_s, u"--"_s} << CCtlArgs::CommonOptions();
        QTest::newRow("help's topic")
            << QStringList{u"vq8ctl"_s, u"help"_s, QString()} << CCtlArgs::Commands();
        QTest::newRow("after --port") << QStringList{u"vq8ctl"_s, u"--port"_s, QString()} << QStringList();
        for (const QString& command : CCtlArgs::Commands()) {
            QTest::addRow("options of %s", qPrintable(command))
                << QStringList{u"vq8ctl"_s, u"--json"_s, command, u"--"_s}
                << CCtlArgs::CommonOptions() + CCtlArgs::CommandOptions(command);
        }
    }

    void completes()
    {
        QFETCH(QStringList, words);
        QFETCH(QStringList, offered);
        const QString bash = QStandardPaths::findExecutable(u"bash"_s);
        if (bash.isEmpty())
            QSKIP("no bash here");
        QStringList quoted;
        for (const QString& word : std::as_const(words))
            quoted.append(u'\'' + word + u'\'');
        QProcess process;
        process.start(bash, {u"-c"_s,
                             u"source \"$0\"; COMP_WORDS=(%1); COMP_CWORD=%2; _vq8ctl; "
                             "printf '%s\\n' \"${COMPREPLY[@]}\""_s.arg(quoted.join(u' '))
                                 .arg(words.size() - 1),
                             QStringLiteral(VQ_COMPLETION_FILE)});
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
        QStringList got = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        got.sort();
        offered.sort();
        QCOMPARE(got, offered);
    }
};

QTEST_GUILESS_MAIN(TestCompletion)
#include "tst_completion.moc"
