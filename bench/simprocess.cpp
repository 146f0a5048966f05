#include "bench/simprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

bool CSimProcess::Start(qint64 capacity, const QString& address, quint16 port)
{
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath(u"../sim/vq820-sim"_s);
    m_process.setProgram(program);
    m_process.setArguments({u"--listen"_s, address, u"--port"_s, QString::number(port), u"--capacity"_s,
                            QString::number(capacity)});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#ifdef Q_OS_LINUX
    if (m_stopWithParent) {
        const pid_t parent = ::getpid();
        m_process.setChildProcessModifier([parent] {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            // The parent may have gone before the line above.
            if (::getppid() != parent)
                ::_exit(1);
        });
    }
#endif
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        std::fprintf(stderr, "vq-bench: cannot start %s\n", qPrintable(program));
        return false;
    }
    QElapsedTimer timer;
    timer.start();
    while (!m_process.canReadLine() && timer.elapsed() < 5000)
        m_process.waitForReadyRead(100);
    const QString line = QString::fromLatin1(m_process.readLine()).trimmed();
    const qsizetype colon = line.lastIndexOf(u':');
    if (!line.startsWith(u"listening on "_s) || colon < 0)
        return false;
    m_address = line.mid(13, colon - 13);
    m_port = quint16(line.mid(colon + 1).toUInt());
    return m_port != 0;
}

CSimProcess::~CSimProcess()
{
    m_process.kill();
    m_process.waitForFinished(2000);
}
