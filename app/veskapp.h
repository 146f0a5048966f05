#pragma once

#include "link/settingsnames.h"

#include "app/appoptions.h"
#include "dialogs/recenthosts.h"
#include "link/appsettings.h"

#include <QString>

#include <memory>
#include <vector>

class CGuiHost;
class CMainFrame;
class CSimServer;
class CVQComm;

// The application: start-up and exit in their fixed order, the settings kept
// between runs and the one device link. Made by main() after QApplication.
class CVeskApp final
{
    Q_DISABLE_COPY_MOVE(CVeskApp)

public:
    static inline const QString ORGANISATION = vqsettings::ORGANISATION;
    static inline const QString APPLICATION = vqsettings::APPLICATION;
    static inline const QString DEFAULT_HOST = vqsettings::DEFAULT_TARGET_HOST;
    static inline const QString DEFAULT_FOLDER = QStringLiteral("C:\\");
    // How many generators --demo starts, each on a port of its own.
    static constexpr int DEMO_GENERATORS = 3;

    explicit CVeskApp(const CAppOptions& options = CAppOptions());
    ~CVeskApp();

    // The one instance while it lives, else null.
    static CVeskApp* Instance();

    // Reads the settings, makes the link and the main window, shows it and
    // opens the network dialog. Returns 1 when the program should run.
    int InitInstance();
    // Closes the window, writes the settings back and ends the link; returns
    // `exitCode`. Runs once; the destructor calls it when main() did not.
    int ExitInstance(int exitCode = 0);

    CVQComm* GetComm() const { return m_pComm.get(); }
    CMainFrame* MainFrame() const { return m_pFrame.get(); }
    CGuiHost* Host() const { return m_pHost.get(); }
    WindowPlacement GetWindowPlacement() const { return m_settings.GetWindowPlacement(); }
    void SetWindowPlacement(const WindowPlacement& placement) { m_settings.SetWindowPlacement(placement); }
    ListViewState GetListViewState() const { return m_settings.GetListViewState(); }
    void SetListViewState(const ListViewState& state) { m_settings.SetListViewState(state); }
    // The editor the sequence dialog's Edit starts: the system's at every
    // start, then what the options dialog sets; not kept between runs.
    QString EditorDefault() const { return m_editorDefault; }
    void SetEditorDefault(const QString& editor) { m_editorDefault = editor; }
    // The generator addresses that connected last (the network dialog's
    // drop-down), kept in a settings value of their own.
    CRecentHosts* RecentHosts() { return &m_recentHosts; }
    // The PC folder the file choosers first open in ("Path"); at exit it
    // becomes the folder the user last confirmed one in.
    QString LastFolder() const { return m_lastFolder; }

    // The system's editor: notepad on Windows, else the desktop's opener.
    static QString DefaultEditor();

private:
    void LoadSettings();
    void SaveSettings();
    void StartDemo();

    CAppOptions m_options;
    QString m_editorDefault;
    std::unique_ptr<CGuiHost> m_pHost;
    // --demo only: the generators it shows, the first one connected.
    std::vector<std::unique_ptr<CSimServer>> m_sims;
    std::unique_ptr<CVQComm> m_pComm;
    std::unique_ptr<CMainFrame> m_pFrame;
    CAppSettings m_settings;
    CRecentHosts m_recentHosts;
    QString m_lastFolder = DEFAULT_FOLDER;
    QString m_strStoredHost = DEFAULT_HOST;
    bool m_bUploadWithoutPauses = false; // as read; the link holds it from then on
    bool m_bExited = false;
};
