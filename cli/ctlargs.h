#pragma once

#include <QString>
#include <QStringList>

// The command line of vq8ctl: options anywhere, then the command and its
// arguments. Knows every command's argument count, its own options and its
// help text; the environment is read by the tool, not here.
class CCtlArgs
{
public:
    static constexpr int MAX_JOBS = 256;
    static constexpr int MAX_CONNECT_TIMEOUT_MS = 60000;

    enum class Outcome
    {
        Run,     // a command to run
        Help,    // print HelpText(HelpTopic())
        Version, // print the version
        Usage,   // bad usage: ErrorText() says why
    };

    Outcome Parse(const QStringList& arguments); // arguments[0] is the program
    QString ErrorText() const { return m_error; }
    QString HelpTopic() const { return m_helpTopic; }

    QString Command() const { return m_command; }
    QStringList Arguments() const { return m_arguments; }
    // Every --host, without repeats; empty: not given.
    QStringList Hosts() const { return m_hosts; }
    QString Host() const { return m_hosts.value(0); } // empty: not given
    // Every --hosts: files ("-": standard input) or ranges, read by the tool.
    QStringList HostLists() const { return m_hostLists; }
    // The command is to run on each of several generators.
    bool IsFleet() const { return m_hosts.size() > 1 || !m_hostLists.isEmpty(); }
    int Jobs() const { return m_nJobs; }                         // 0: not given
    int ConnectTimeoutMs() const { return m_nConnectTimeoutMs; } // 0: not given
    QString Report() const { return m_report; }                  // empty: none
    quint16 Port() const { return m_port; }                      // 0: not given
    QString Trace() const { return m_trace; }                    // empty: no trace; "-": standard error
    bool Yes() const { return m_yes; }
    bool No() const { return m_no; }
    bool Quiet() const { return m_quiet; }
    bool Verbose() const { return m_verbose; }
    bool Demo() const { return m_demo; }
    bool Json() const { return m_json; }
    bool Progress() const { return m_progress; }
    bool Recursive() const { return m_recursive; }
    bool Force() const { return m_force; }
    bool SkipExisting() const { return m_skipExisting; }
    bool DryRun() const { return m_dryRun; }
    bool NoPacing() const { return m_noPacing; }
    bool Parents() const { return m_parents; }
    bool Delete() const { return m_delete; }
    bool Verify() const { return m_verify; }

    // The options given that a run for one of several generators takes over
    // as they are: the answer policy, the output's, and the command's own.
    QStringList ForwardedOptions() const;

    static QStringList Commands();
    // The options a command takes beyond the common ones ("--force", "-r", ...).
    static QStringList CommandOptions(const QString& command);
    // Every common option, long forms.
    static QStringList CommonOptions();
    // The tool's help (the whole manual) for an empty topic, else the
    // command's; empty for an unknown command.
    static QString HelpText(const QString& topic = QString());
    // A port as the options and the environment give it; 0 when it is none.
    static quint16 ParsePort(const QString& text);

private:
    Outcome Fail(const QString& text);

    QString m_error;
    QString m_helpTopic;
    QString m_command;
    QStringList m_arguments;
    QStringList m_hosts;
    QStringList m_hostLists;
    quint16 m_port = 0;
    int m_nJobs = 0;
    int m_nConnectTimeoutMs = 0;
    QString m_report;
    QString m_trace;
    bool m_yes = false;
    bool m_no = false;
    bool m_quiet = false;
    bool m_verbose = false;
    bool m_demo = false;
    bool m_json = false;
    bool m_progress = false;
    bool m_recursive = false;
    bool m_force = false;
    bool m_skipExisting = false;
    bool m_dryRun = false;
    bool m_noPacing = false;
    bool m_parents = false;
    bool m_delete = false;
    bool m_verify = false;
};
