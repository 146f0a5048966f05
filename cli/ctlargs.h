#pragma once

#include <QString>
#include <QStringList>

// The command line of vq8ctl: options anywhere, then the command and its
// arguments. Knows every command's argument count, its own options and its
// help text; the environment is read by the tool, not here.
class CCtlArgs
{
public:
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
    QString Host() const { return m_host; }   // empty: not given
    quint16 Port() const { return m_port; }   // 0: not given
    QString Trace() const { return m_trace; } // empty: no trace; "-": standard error
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
    QString m_host;
    quint16 m_port = 0;
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
};
