#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

#include "fileinfo.h"
#include "linkhost.h"

class CCmdSocket;

// TCP port of the generator: the command channel and every transfer connection.
inline constexpr quint16 COMMAND_PORT = 5000;
// A reply wait fails when no byte of the reply arrives for this long.
inline constexpr int REPLY_WATCHDOG_MS = 2000;
// A connect attempt gives up after this long.
inline constexpr int CONNECT_TIMEOUT_MS = 5000;
// Disconnect pauses this long after closing the socket.
inline constexpr int DISCONNECT_PAUSE_MS = 100;

// The line ReadReply read last (CR and NUL dropped, LF removed).
extern QString g_replyLine;

// Catalog state shared by every reader of a catalog (always the GUI thread).
extern QString g_catalogText;   // the reply not yet consumed
extern qsizetype g_catalogPos;  // cursor into g_catalogText: the unconsumed part starts here
extern double g_catalogUsed;
extern double g_catalogFree;
extern int g_catalogCount;
extern qint64 g_catalogBytes;

// The device link: the command channel to the generator, the catalog cursor and
// the operations that change the generator's file system. Operations return 1
// on success and 0 on failure; the user has been told through the host where a
// message applies.
class CVQComm final
{
public:
    explicit CVQComm(CLinkHost* host = nullptr);
    ~CVQComm();
    CVQComm(const CVQComm&) = delete;
    CVQComm& operator=(const CVQComm&) = delete;

    void SetLinkHost(CLinkHost* host) { m_pHost = host; }
    CLinkHost* LinkHost() const { return m_pHost; }

    // --- command channel ---
    int Connect();
    int Disconnect();
    int IsConnected() const { return m_connected; }
    QString GetHost() const { return m_host; }
    void SetHost(const QString& host) { m_host = host; }
    quint16 GetPort() const { return m_port; }
    void SetPort(quint16 port) { m_port = port; }

    int SendCommand(const QString& command);
    int SendRaw(const QByteArray& bytes);
    const QString& ReadReply();
    // Cancels a reply wait in progress (from any thread); does nothing otherwise.
    void AbortBlockingCall();
    // Shows the text for the calling thread's last socket error.
    void ReportSocketError();
    int ShowError(const QString& text, int style = MB_OK | MB_ICONSTOP);
    int ShowErrorId(int id, int style = MB_OK | MB_ICONSTOP);
    void ClearViews();
    int QueryIdentity();

    // --- catalog ---
    int ReadCatalog(const QString& path, CFileInfo& first);
    int NextCatalogEntry(CFileInfo& entry);
    void EndCatalog();
    static CFileInfo ParseCatalogEntry(QStringView text);
    QString QueryCatalogText(const QString& path);
    static QString FormatSize(double bytes);
    QString GetRootLabel() const;
    void UpdateStatusText();
    double MemoryUsed() const { return m_memoryUsed; }
    double MemoryFree() const { return m_memoryFree; }
    void SetMemoryFigures(double used, double freeBytes)
    {
        m_memoryUsed = used;
        m_memoryFree = freeBytes;
    }

    // --- remote file operations ---
    int MakeFolder(const QString& path);
    int RemoveFolder(const QString& path);
    int DeleteAll(const QString& path);
    int DeleteEntry(const QString& path);
    int MoveEntry(const QString& source, const QString& destination);
    int CopyEntry(const QString& source, const QString& destination);
    int IsFolderEmpty(const QString& path);

    // A device path as a quoted command argument: `"path"`. Returns an empty
    // text and tells the user when the path cannot travel safely (a double
    // quote, a control character or a character the wire cannot carry).
    QString QuotedPath(const QString& path);
    // Names the user gives (a new name, the name of a PC file to send): also
    // no comma, "/" or "\\", not empty, "." or "..". IsValidNewName only
    // answers; CheckNewName tells the user when it refuses.
    static int IsValidNewName(const QString& name);
    int CheckNewName(const QString& name);

private:
    CLinkHost* m_pHost = nullptr;
    QString m_host;
    quint16 m_port = COMMAND_PORT;
    int m_connected = 0;
    double m_memoryUsed = 0.0;
    double m_memoryFree = 0.0;
    std::unique_ptr<CCmdSocket> m_socket;
};
