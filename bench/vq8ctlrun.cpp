#include "bench/vq8ctlrun.h"

#include "bench/simprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>

using namespace Qt::StringLiterals;

double TimeVq8ctl(const QStringList& arguments, const char* bench)
{
    QProcess tool;
    tool.setProgram(QDir(QCoreApplication::applicationDirPath()).filePath(u"../cli/vq8ctl"_s));
    tool.setArguments(arguments);
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    tool.start();
    if (!tool.waitForFinished(3600 * 1000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        std::fprintf(stderr, "vq-bench %s: vq8ctl %s failed\n", bench, qPrintable(arguments.join(u' ')));
        return -1;
    }
    return double(clock.nsecsElapsed()) / 1e9;
}

double RunVq8ctl(const CSimProcess& sim, const QStringList& arguments, const char* bench)
{
    return TimeVq8ctl(QStringList{u"-q"_s, u"--yes"_s, u"--host"_s, sim.m_address, u"--port"_s,
                                  QString::number(sim.m_port)} +
                          arguments,
                      bench);
}
