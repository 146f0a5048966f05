#pragma once

#include <QString>
#include <QStringList>

// The command line of vq8ctl: options anywhere, then the command and its
// arguments. Knows every command's argument count and help text.
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
    QString Host() const { return m_host; } // empty: not given
    quint16 Port() const { return m_port; }
    bool Yes() const { return m_yes; }
    bool No() const { return m_no; }
    bool Quiet() const { return m_quiet; }
    bool Demo() const { return m_demo; }
    bool Json() const { return m_json; }
    bool Recursive() const { return m_recursive; }

    static QStringList Commands();
    // The tool's help for an empty topic, else the command's; empty for an
    // unknown command.
    static QString HelpText(const QString& topic = QString());

private:
    Outcome Fail(const QString& text);

    QString m_error;
    QString m_helpTopic;
    QString m_command;
    QStringList m_arguments;
    QString m_host;
    quint16 m_port = 5000;
    bool m_yes = false;
    bool m_no = false;
    bool m_quiet = false;
    bool m_demo = false;
    bool m_json = false;
    bool m_recursive = false;
};
