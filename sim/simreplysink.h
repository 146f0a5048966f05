#pragma once

#include "sim/simfilesystem.h"

#include <QByteArray>
#include <QStringList>

// Where a session's replies go: the connection's socket, or a test's or a
// fuzzer's recorder. Replies keep their order.
class CSimReplySink
{
public:
    virtual ~CSimReplySink() = default;

    // One reply line; the sink adds the LF.
    virtual void SendLine(const QByteArray& line) = 0;
    // Exact bytes instead of a command's reply.
    virtual void SendScripted(const QByteArray& bytes) = 0;
    // One definite-length block with the file at `path` (`size` bytes of the
    // content `stamp` names), read from the file system as it goes out.
    virtual void SendFile(const QStringList& path, qint64 size, quint64 stamp) = 0;
    // One catalog line (the sink adds the LF), produced from the file system
    // as it goes out.
    virtual void SendCatalog(const CSimFileSystem::CCatalogCursor& cursor) = 0;
    // A fault ends the connection now.
    virtual void Abort() = 0;
    // While busy, the session runs no further command.
    virtual bool IsBusy() const = 0;
};
