#include "app/veskapp.h"

#include "app/guihost.h"
#include "app/mainframe.h"
#include "app/veskstyle.h"
#include "dialogs/dlgfindgenerators.h"
#include "dialogs/vqfiledialog.h"
#include "link/vqcomm.h"
#include "res/icons.h"
#include "sim/simserver.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

CVeskApp* g_pVeskApp = nullptr;

using vqsettings::GROUP;
using vqsettings::KEY_PATH;
using vqsettings::KEY_PRIVATE_SETTING;
using vqsettings::KEY_RECENT_HOSTS;
using vqsettings::KEY_TARGET_HOST;
using vqsettings::KEY_UPLOAD_WITHOUT_PAUSES;
using vqsettings::ReadText;

} // namespace

CVeskApp::CVeskApp(const CAppOptions& options) : m_options(options)
{
    Q_ASSERT(!g_pVeskApp);
    g_pVeskApp = this;
}

CVeskApp::~CVeskApp()
{
    ExitInstance();
    g_pVeskApp = nullptr;
}

CVeskApp* CVeskApp::Instance()
{
    return g_pVeskApp;
}

int CVeskApp::InitInstance()
{
    // Sockets need no start-up of their own here, so nothing can fail before the settings.
    LoadSettings();

    m_pHost = std::make_unique<CGuiHost>();
    m_pComm = std::make_unique<CVQComm>(m_pHost.get());
    m_pHost->SetComm(m_pComm.get());
    CRecentHosts::SetShared(&m_recentHosts);
    m_pComm->SetHost(m_strStoredHost);
    m_pComm->SetPort(m_options.m_nPort);
    m_pComm->SetUploadPacing(!m_bUploadWithoutPauses);
    // A generator that restarted while the window showed it is read again
    // without a word on the first click.
    m_pComm->SetRetryLostReads(true);
    // The PC choosers open where the user last confirmed one.
    CVQFileDialog::SetLastFolder(m_lastFolder);
    if (m_options.m_bDemo)
        StartDemo();

    QApplication::setWindowIcon(MakeIcon(ICON_APP));
    // Over whatever style the platform or the command line chose.
    QApplication::setStyle(new CVeskStyle(QStyleFactory::create(QApplication::style()->name())));
    m_pFrame = std::make_unique<CMainFrame>(m_pComm.get(), &m_settings);
    m_pHost->SetMainFrame(m_pFrame.get());
    m_pFrame->show();

    m_editorDefault = DefaultEditor();

    // Once the window is up, ask for the address: nothing connects before the user says OK.
    QTimer::singleShot(0, m_pFrame.get(), &CMainFrame::OnNetwork);
    m_bExited = false;
    return 1;
}

int CVeskApp::ExitInstance(int exitCode)
{
    if (m_bExited || !m_pComm)
        return exitCode;
    m_bExited = true;

    // No worker may outlive the window it reports to.
    m_pComm->EndTransfers();
    // The window records its placement as it goes.
    if (m_pHost)
        m_pHost->SetMainFrame(nullptr);
    m_pFrame.reset();
    SaveSettings();
    // The link closes its socket without sending anything; the emulator goes after it.
    m_pComm.reset();
    m_sims.clear();
    m_pHost.reset();
    CRecentHosts::SetShared(nullptr);
    CDlgFindGenerators::SetSearchRanges({});
    CDlgFindGenerators::SetSearchPorts({});
    return exitCode;
}

void CVeskApp::LoadSettings()
{
    const std::unique_ptr<QSettings> store = vqsettings::OpenStore();
    store->beginGroup(GROUP);
    // Missing or malformed values give the defaults, without a word.
    m_settings.Parse(ReadText(*store, KEY_PRIVATE_SETTING, QString()));
    m_lastFolder = ReadText(*store, KEY_PATH, DEFAULT_FOLDER);
    m_strStoredHost = vqsettings::ReadTargetHost(*store);
    if (m_strStoredHost.isEmpty())
        m_strStoredHost = DEFAULT_HOST;
    m_recentHosts = CRecentHosts::FromSettingsText(ReadText(*store, KEY_RECENT_HOSTS, QString()));
    m_bUploadWithoutPauses = store->value(KEY_UPLOAD_WITHOUT_PAUSES, 0).toInt() == 1;
    store->endGroup();
}

void CVeskApp::SaveSettings()
{
    const std::unique_ptr<QSettings> store = vqsettings::OpenStore();
    store->beginGroup(GROUP);
    // A demo connects to its own emulator; the user's generator address stays.
    if (!m_options.m_bDemo) {
        store->setValue(KEY_TARGET_HOST, m_pComm->GetHost());
        store->setValue(KEY_RECENT_HOSTS, m_recentHosts.SettingsText());
    }
    store->setValue(KEY_PRIVATE_SETTING, m_settings.Format());
    // The folder the user last confirmed a PC chooser in (unchanged without one).
    if (!CVQFileDialog::LastFolder().isEmpty())
        m_lastFolder = CVQFileDialog::LastFolder();
    store->setValue(KEY_PATH, m_lastFolder);
    // The link holds the option while the program runs (the options dialog sets it there).
    store->setValue(KEY_UPLOAD_WITHOUT_PAUSES, m_pComm->UploadPacing() ? 0 : 1);
    store->endGroup();
    store->sync();
}

void CVeskApp::StartDemo()
{
    // Several generators, so that Find and the commands for many have
    // something to show; each answers its own serial number.
    QList<quint16> ports;
    for (int i = 0; i < DEMO_GENERATORS; ++i) {
        auto sim = std::make_unique<CSimServer>();
        CSimOptions options;
        options.m_nPort = 0;
        options.m_bSeed = true;
        options.m_strIdentity = u"VELTRANE,VQ820,%1,5.60"_s.arg(1001 + i);
        if (!sim->Start(options)) {
            m_pHost->Beep();
            m_pHost->ShowMessageBox(u"Cannot start the demo generator: %1"_s.arg(sim->ErrorString()),
                                    MB_OK | MB_ICONSTOP);
            break;
        }
        ports.append(sim->Port());
        m_sims.push_back(std::move(sim));
    }
    if (m_sims.empty())
        return;
    const CSimServer& first = *m_sims.front();
    m_pComm->SetHost(first.Address().toString());
    m_pComm->SetPort(first.Port());
    // Find looks for the demo's own generators: a demo reaches no network.
    if (const auto range = CAddressRange::Parse(first.Address().toString()))
        CDlgFindGenerators::SetSearchRanges({*range});
    CDlgFindGenerators::SetSearchPorts(ports);
}

QString CVeskApp::DefaultEditor()
{
#ifdef Q_OS_WIN
    return QDir::toNativeSeparators(qEnvironmentVariable("windir") + u"\\notepad.exe"_s);
#else
    return u"xdg-open"_s;
#endif
}
