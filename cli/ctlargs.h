#pragma once

#include "cli/ctloption.h"

#include <QAnyStringView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

class CCtlCommand;

// The command line of vq8ctl: options anywhere, then the command and its
// arguments. The commands (CCtlRegistry) say which arguments and options
// each takes and give their parts of the help; the common options are known
// here. The environment is read by the tool, not here.
class CCtlArgs
{
public:
    static constexpr int MAX_JOBS = 256;

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
    int Jobs() const { return m_nJobs; }        // 0: not given
    QString Report() const { return m_report; } // empty: none
    quint16 Port() const { return m_port; }     // 0: not given
    QString Trace() const { return m_trace; }   // empty: no trace; "-": standard error
    bool Yes() const { return IsSet(u"yes"); }
    bool No() const { return IsSet(u"no"); }
    bool Quiet() const { return IsSet(u"quiet"); }
    bool Verbose() const { return IsSet(u"verbose"); }
    bool Demo() const { return IsSet(u"demo"); }
    bool Json() const { return IsSet(u"json"); }
    bool Progress() const { return IsSet(u"progress"); }

    // Any option given, common or a command's, by its long name.
    bool IsSet(QAnyStringView longName) const { return m_set.contains(longName.toString()); }
    bool IsSet(const CCtlOption& option) const { return IsSet(option.longName); }
    // The last value given to an option that takes one; empty: not given.
    QString Value(const CCtlOption& option) const
    {
        const QStringList values = m_values.value(option.longName);
        return values.isEmpty() ? QString() : values.constLast();
    }

    // The options given that a run for one of several generators takes over
    // as they are: the answer policy, the output's, and the command's own.
    QStringList ForwardedOptions() const;

    static QStringList Commands();
    // The options a command takes beyond the common ones ("--force", "-r", ...).
    static QStringList CommandOptions(const QString& command);
    // Every common option, long forms.
    static QStringList CommonOptions();
    // Every option the parser knows: the common ones, then each command's once.
    static QList<const CCtlOption*> KnownOptions();
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
    QSet<QString> m_set;
    QHash<QString, QStringList> m_values;
    QStringList m_hosts;
    QStringList m_hostLists;
    quint16 m_port = 0;
    int m_nJobs = 0;
    QString m_report;
    QString m_trace;
};
