#pragma once

#include <QString>
#include <QStringList>

// The program's command line: --demo, --port N, --version, --help. Read
// before any window system is touched, so --version and --help work anywhere.
class CAppOptions final
{
public:
    static inline const QString VERSION_TEXT =
        QStringLiteral("VQ8 Comm Version 5.6\nBuild Date: 2011 Oct 18\n");

    CAppOptions() = default;

    // Returns 1 when the program should go on; 0 when it should end at once
    // with ExitCode() after printing Output() (to stdout when ExitCode() is 0,
    // else to stderr).
    int Parse(const QStringList& arguments);

    bool m_bDemo = false;
    quint16 m_nPort = 5000;
    int m_nExitCode = 0;
    QString m_strOutput;
};
