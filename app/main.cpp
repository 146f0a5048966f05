#include "app/appoptions.h"
#include "app/startupoutput.h"
#include "app/veskapp.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    CAppOptions options;
    if (!options.Parse(arguments)) {
        WriteStartupText(options.m_strOutput, options.m_nExitCode != 0);
        return options.m_nExitCode;
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName(CVeskApp::ORGANISATION);
    QApplication::setApplicationName(CVeskApp::APPLICATION);
    CVeskApp app(options);
    if (!app.InitInstance())
        return app.ExitInstance(1);
    return app.ExitInstance(QApplication::exec());
}
