#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// One vq8ctl command on one generator, run as a process of its own (the
// link keeps one generator's transfer state per process, so several
// generators at once are several processes, as vq8ctl's own --hosts runs
// them). Its progress lines (--progress) give the file and the percent; its
// --report document gives the result and the reason of a failure. Cancel is
// Ctrl+C for the run: it stops between blocks and leaves no partial file at
// a target name; one that does not stop is killed.
class CGeneratorRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CGeneratorRun)

public:
    enum class State
    {
        Waiting,
        Running,
        Done,
        Failed,
        Cancelled,
    };

    // `host` as people write it ("10.0.0.5", "127.0.0.1:5001"); `command`
    // the vq8ctl command and its own arguments ({"sync", "-r", "--", DIR, FOLDER}).
    CGeneratorRun(const QString& host, const QStringList& command, QObject* parent = nullptr);
    ~CGeneratorRun() override;

    void Start();
    // Ctrl+C for a run under way (killed when it has not ended 5 s later);
    // a run not yet started never starts.
    void Cancel();

    QString Host() const { return m_strHost; }
    QStringList Command() const { return m_command; }
    State GetState() const { return m_eState; }
    bool Ended() const { return m_eState != State::Waiting && m_eState != State::Running; }
    // Files finished of the files planned (0 of 0 before the plan is known).
    int FilesDone() const { return m_nFilesDone; }
    int FilesPlanned() const { return m_nFilesPlanned; }
    // After the run: the files of the folder in place on the generator, of
    // all it should hold (-1 when the run did not say).
    int FilesInPlace() const { return m_nInPlace; }
    int FilesInPlaceOf() const { return m_nInPlaceOf; }
    // 0..100 over the planned files.
    int Percent() const;
    // 0..100 of the file under way.
    int FilePercent() const { return m_nFilePercent; }
    // Why it failed or was cancelled; empty otherwise.
    QString Reason() const { return m_strReason; }
    // "maker model serial firmware" from the report; empty before it.
    QString Identity() const;
    // The run's report (vq8ctl's --report document), with "seconds" added;
    // one of the same keys when the run wrote none.
    QJsonObject Document() const { return m_document; }
    QString StateText() const;

    // What the run's error stream said, for the user's eyes.
    QStringList Messages() const { return m_messages; }
    // Its standard output's lines (a dry run's plan); kept only when asked for before Start.
    void SetKeepOutput(bool on) { m_bKeepOutput = on; }
    QStringList OutputLines() const { return m_output; }

    // The program started: vq8ctl beside this program (or where the
    // build puts it); SetProgram for another.
    static QString Program();
    static void SetProgram(const QString& program);
    // The environment the runs get (the system's by default).
    static void SetEnvironment(const QProcessEnvironment& environment);

    // A progress line of vq8ctl: "[3/12] NAME  45%  ..." gives 3, 12 and 45.
    static bool ParseProgress(const QString& line, int* number, int* planned, int* percent);

Q_SIGNALS:
    void Changed();
    void Finished();

private:
    void ReadErrors(bool all);
    void OnFinished(int status, bool crashed);
    void Finish(State state, const QString& reason);

    QString m_strHost;
    QStringList m_command;
    State m_eState = State::Waiting;
    bool m_bCancelled = false;
    int m_nFilesDone = 0;
    int m_nFilesPlanned = 0;
    int m_nFilePercent = 0;
    int m_nInPlace = -1;
    int m_nInPlaceOf = -1;
    QString m_strReason;
    QJsonObject m_document;
    QStringList m_messages;
    QStringList m_output;
    bool m_bKeepOutput = false;
    QByteArray m_pending;
    QElapsedTimer m_clock;
    QTemporaryDir m_reportDir;
    std::unique_ptr<QProcess> m_pProcess;
};
