#include "simconnection.h"

#include "simstate.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace vqsim {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The keyword of a command line: up to the first blank, quote or block start,
// lower case, without a leading colon.
QByteArray Keyword(const QByteArray& line, qsizetype* end)
{
    qsizetype i = 0;
    while (i < line.size() && IsBlank(line.at(i)))
        ++i;
    if (i < line.size() && line.at(i) == ':')
        ++i;
    const qsizetype start = i;
    while (i < line.size() && !IsBlank(line.at(i)) && line.at(i) != '"' && line.at(i) != '\'' &&
           line.at(i) != '#')
        ++i;
    *end = i;
    return line.mid(start, i - start).toLower();
}

// Quoted string arguments separated by commas, with optional blanks.
int ParseArguments(const QByteArray& text, QStringList* args)
{
    args->clear();
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && IsBlank(text.at(i)))
            ++i;
    };
    skipBlanks();
    if (i == text.size())
        return kNoError;
    for (;;) {
        const char quote = text.at(i);
        if (quote != '"' && quote != '\'')
            return kDataTypeError;
        const qsizetype close = text.indexOf(quote, i + 1);
        if (close < 0)
            return kSyntaxError;
        args->append(QString::fromLatin1(text.mid(i + 1, close - i - 1)));
        i = close + 1;
        skipBlanks();
        if (i == text.size())
            return kNoError;
        if (text.at(i) != ',')
            return kSyntaxError;
        ++i;
        skipBlanks();
        if (i == text.size())
            return kMissingParameter;
    }
}

int CheckCount(const QStringList& args, qsizetype min, qsizetype max)
{
    if (args.size() < min)
        return kMissingParameter;
    if (args.size() > max)
        return kParameterNotAllowed;
    return kNoError;
}

} // namespace

SimConnection::SimConnection(QTcpSocket* socket, SimState& state, QObject* parent)
    : QObject(parent), m_socket(socket), m_state(state), m_id(state.NewConnection())
{
    m_socket->setParent(this);
    // A bounded read buffer lets a stalled transfer push back on the sender.
    m_socket->setReadBufferSize(kChunk);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimConnection::OnReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &SimConnection::PumpBlock);
    connect(m_socket, &QTcpSocket::disconnected, this, &SimConnection::OnDisconnected);
    if (m_socket->bytesAvailable() > 0)
        OnReadyRead();
}

SimConnection::~SimConnection() = default;

void SimConnection::OnReadyRead()
{
    if (m_stalled || m_closed)
        return;
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    m_state.Received(m_id, bytes);
    if (m_pos >= m_in.size()) {
        m_in = bytes;
        m_pos = 0;
    } else {
        m_in.append(bytes);
    }
    Process();
}

void SimConnection::OnDisconnected()
{
    // A block cut short stores nothing.
    if (m_phase == Phase::BlockData || m_phase == Phase::BlockDigits || m_phase == Phase::BlockLength)
        AbandonBlock();
    m_closed = true;
    deleteLater();
}

void SimConnection::AbandonBlock()
{
    if (m_blockStore)
        m_state.WithFileSystem([this](SimFileSystem& fs) { fs.Release(m_blockLength); });
    if (m_blockStore || m_phase != Phase::BlockData)
        Fail(kInvalidBlockData);
    m_blockStore = false;
    m_blockData.clear();
    m_phase = Phase::SkipLine;
}

void SimConnection::Resume()
{
    m_busy = false;
    QMetaObject::invokeMethod(this, &SimConnection::Process, Qt::QueuedConnection);
}

void SimConnection::Process()
{
    while (!m_busy && !m_stalled && !m_closed && m_pos < m_in.size()) {
        const char c = m_in.at(m_pos);
        switch (m_phase) {
        case Phase::Line:
            ++m_pos;
            if (c == '\n') {
                const QByteArray line = m_line;
                m_line.clear();
                m_inQuote = false;
                ExecuteLine(line);
            } else if (c == '#' && !m_inQuote && IsBlockCommand()) {
                m_blockCommand = m_line;
                m_line.clear();
                m_phase = Phase::BlockDigits;
            } else {
                if (c == '"')
                    m_inQuote = !m_inQuote;
                m_line.append(c);
                if (m_line.size() > kMaxLine) {
                    m_line.clear();
                    m_inQuote = false;
                    Fail(kTooMuchData);
                    m_phase = Phase::SkipLine;
                }
            }
            break;
        case Phase::BlockDigits:
            if (c < '1' || c > '9') {
                // "#0" (indefinite length) is not taken either.
                Fail(kInvalidBlockData);
                m_phase = Phase::SkipLine;
                break;
            }
            ++m_pos;
            m_lengthDigits = c - '0';
            m_lengthText.clear();
            m_phase = Phase::BlockLength;
            break;
        case Phase::BlockLength:
            if (c < '0' || c > '9') {
                Fail(kInvalidBlockData);
                m_phase = Phase::SkipLine;
                break;
            }
            ++m_pos;
            m_lengthText.append(c);
            if (m_lengthText.size() == m_lengthDigits)
                BeginBlock();
            break;
        case Phase::BlockData: {
            qint64 want = m_blockLength - m_blockReceived;
            if (m_blockCloseAt >= 0)
                want = std::min(want, m_blockCloseAt - m_blockReceived);
            if (m_blockStallAt >= 0)
                want = std::min(want, m_blockStallAt - m_blockReceived);
            const qsizetype n = qsizetype(std::min<qint64>(want, m_in.size() - m_pos));
            if (m_blockStore)
                m_blockData.append(m_in.constData() + m_pos, n);
            m_pos += n;
            m_blockReceived += n;
            if (m_blockReceived == m_blockLength) {
                FinishBlock();
            } else if (m_blockReceived == m_blockCloseAt) {
                AbandonBlock();
                m_closed = true;
                m_socket->abort();
                deleteLater();
                return;
            } else if (m_blockReceived == m_blockStallAt) {
                m_stalled = true;
            }
            break;
        }
        case Phase::BlockEnd:
            if (c == '\r') {
                ++m_pos;
            } else {
                if (c == '\n')
                    ++m_pos;
                m_phase = Phase::Line;
            }
            break;
        case Phase::SkipLine:
            ++m_pos;
            if (c == '\n')
                m_phase = Phase::Line;
            break;
        }
    }
    if (m_pos >= m_in.size()) {
        m_in.clear();
        m_pos = 0;
    } else if (m_pos >= kChunk) {
        m_in.remove(0, m_pos);
        m_pos = 0;
    }
}

bool SimConnection::IsBlockCommand() const
{
    qsizetype end = 0;
    const QByteArray keyword = Keyword(m_line, &end);
    return keyword == "mmem:data" || keyword == "mmem:load:download";
}

void SimConnection::Fail(int code)
{
    m_state.PushError(code);
}

int SimConnection::Path(const QString& text, QStringList* parts) const
{
    return SimFileSystem::SplitPath(text, parts);
}

void SimConnection::BeginBlock()
{
    m_blockLength = m_lengthText.toLongLong();
    m_blockReceived = 0;
    m_blockStore = false;
    m_blockData.clear();
    m_blockTarget.clear();
    const SimFaults faults = m_state.Faults();
    m_blockCloseAt = faults.closeAfterDataBytes;
    m_blockStallAt = faults.stallTransfer ? std::min<qint64>(kChunk, m_blockLength / 2) : -1;
    m_phase = Phase::BlockData;

    qsizetype end = 0;
    const QByteArray keyword = Keyword(m_blockCommand, &end);
    QByteArray rest = m_blockCommand.mid(end).trimmed();
    int error = kNoError;
    if (keyword == "mmem:data") {
        if (!rest.endsWith(','))
            error = rest.isEmpty() ? kMissingParameter : kSyntaxError;
        QStringList args;
        rest.chop(1);
        if (!error)
            error = ParseArguments(rest, &args);
        if (!error)
            error = CheckCount(args, 1, 1);
        if (!error)
            error = Path(args.first(), &m_blockTarget);
    } else if (!rest.isEmpty()) {
        error = kParameterNotAllowed;
    } else {
        m_blockTarget = m_state.WithFileSystem([](SimFileSystem& fs) { return fs.NewPackagePath(); });
    }
    if (!error) {
        error = m_state.WithFileSystem(
            [this](SimFileSystem& fs) { return fs.Reserve(m_blockTarget, m_blockLength); });
    }
    // A refused block is still read to its end so the stream stays in step.
    if (error) {
        Fail(error);
    } else {
        m_blockStore = true;
        m_blockData.reserve(qsizetype(m_blockLength));
    }
    if (m_blockLength == 0)
        FinishBlock();
}

void SimConnection::FinishBlock()
{
    m_phase = Phase::BlockEnd;
    qsizetype end = 0;
    QByteArray scripted;
    if (m_state.TakeScriptedReply(Keyword(m_blockCommand, &end), &scripted)) {
        m_blockData.clear();
        SendScripted(scripted);
        return;
    }
    if (!m_blockStore)
        return;
    m_blockStore = false;
    const QByteArray data = std::exchange(m_blockData, QByteArray());
    const int error = m_state.WithFileSystem([this, &data](SimFileSystem& fs) {
        fs.Release(m_blockLength);
        return fs.WriteFile(m_blockTarget, data);
    });
    if (error)
        Fail(error);
}

void SimConnection::ExecuteLine(QByteArray line)
{
    while (!line.isEmpty() && (IsBlank(line.back()) || line.back() == '\0'))
        line.chop(1);
    qsizetype end = 0;
    const QByteArray keyword = Keyword(line, &end);
    if (keyword.isEmpty()) {
        if (end < line.size())
            Fail(kSyntaxError);
        return;
    }
    QByteArray scripted;
    if (m_state.TakeScriptedReply(keyword, &scripted)) {
        SendScripted(scripted);
        return;
    }

    QStringList args;
    const QByteArray rest = line.mid(end);
    int error = ParseArguments(rest, &args);
    const auto expect = [&](qsizetype min, qsizetype max) {
        if (!error)
            error = CheckCount(args, min, max);
        return error == kNoError;
    };
    QStringList path;
    QStringList other;
    const auto paths = [&](qsizetype count) {
        if (!expect(count, count))
            return false;
        error = Path(args.at(0), &path);
        if (!error && count > 1)
            error = Path(args.at(1), &other);
        return error == kNoError;
    };

    if (keyword == "*idn?") {
        if (expect(0, 0))
            SendLine(m_state.Identity());
    } else if (keyword == "*cls") {
        if (expect(0, 0))
            m_state.ClearErrors();
    } else if (keyword == "stat:que:next?" || keyword == "syst:err?" || keyword == "syst:err:next?") {
        if (expect(0, 0))
            SendLine(m_state.TakeError());
    } else if (keyword == "mmem:cdir") {
        if (paths(1)) {
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.CheckFolder(path); });
            if (!error)
                m_cwd = path;
        }
    } else if (keyword == "mmem:cdir?") {
        if (expect(0, 0))
            SendLine('"' + SimFileSystem::JoinPath(m_cwd).toLatin1() + '"');
    } else if (keyword == "mmem:cat?") {
        if (expect(0, 1)) {
            path = m_cwd;
            if (!args.isEmpty())
                error = Path(args.first(), &path);
            if (!error)
                error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.CheckFolder(path); });
            // A refused folder still gets the memory figures: the client is waiting for a line.
            SendLine(m_state.WithFileSystem([&](SimFileSystem& fs) {
                return error ? QByteArray::number(fs.Used()) + ',' + QByteArray::number(fs.Free())
                             : fs.Catalog(path);
            }));
        }
    } else if (keyword == "mmem:mdir") {
        if (paths(1))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.MakeFolder(path); });
    } else if (keyword == "mmem:rdir") {
        if (paths(1))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.RemoveFolder(path); });
    } else if (keyword == "mmem:del") {
        if (paths(1))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.Delete(path); });
    } else if (keyword == "mmem:del:all") {
        if (paths(1))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.DeleteAll(path); });
    } else if (keyword == "mmem:move") {
        if (paths(2))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.Move(path, other); });
    } else if (keyword == "mmem:copy") {
        if (paths(2))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.Copy(path, other); });
    } else if (keyword == "mmem:data?") {
        QByteArray data;
        if (paths(1))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.ReadFile(path, &data); });
        // A refused read still gets a (empty) block: the stream stays in step.
        if (error)
            SendLine(QByteArrayLiteral("#10"));
        else
            SendBlock(data);
    } else if (keyword == "mmem:data" || keyword == "mmem:load:download") {
        // Reached only when no block followed the command.
        if (!error)
            error = kMissingParameter;
    } else {
        error = kUndefinedHeader;
    }
    if (error)
        Fail(error);
}

void SimConnection::SendLine(const QByteArray& line)
{
    const SimFaults faults = m_state.Faults();
    if (faults.closeMidReply) {
        const QByteArray bytes = line + '\n';
        Deliver(bytes, bytes.size() / 2);
    } else {
        Deliver(faults.neverEndReply ? line : line + '\n', -1);
    }
}

void SimConnection::SendScripted(const QByteArray& bytes)
{
    Deliver(bytes, -1);
}

// Writes `bytes` after the reply delay; with closeAfter >= 0 only that many,
// then the connection is closed.
void SimConnection::Deliver(const QByteArray& bytes, qsizetype closeAfter)
{
    const int delay = m_state.Faults().replyDelayMs;
    auto write = [this, bytes, closeAfter] {
        if (m_closed)
            return;
        if (closeAfter >= 0) {
            m_socket->write(bytes.left(closeAfter));
            m_closed = true;
            m_socket->disconnectFromHost();
            return;
        }
        m_socket->write(bytes);
    };
    if (delay <= 0) {
        write();
        return;
    }
    m_busy = true;
    QTimer::singleShot(delay, this, [this, write] {
        write();
        Resume();
    });
}

void SimConnection::SendBlock(const QByteArray& data)
{
    const SimFaults faults = m_state.Faults();
    QByteArray payload = data;
    if (faults.extraDataBytes > 0)
        payload.append(QByteArray(qsizetype(faults.extraDataBytes), 'X'));
    const QByteArray length = QByteArray::number(payload.size());
    const QByteArray header = faults.malformedBlockHeader ? QByteArrayLiteral("#X") + length
                                                          : '#' + QByteArray::number(length.size()) + length;
    qsizetype end = payload.size();
    bool close = false;
    if (faults.closeAfterDataBytes >= 0 && faults.closeAfterDataBytes < end) {
        end = qsizetype(faults.closeAfterDataBytes);
        close = true;
    }
    m_outStall = false;
    if (faults.stallTransfer && !close) {
        end = std::min<qsizetype>(kChunk, payload.size() / 2);
        m_outStall = true;
    }
    m_busy = true;
    if (faults.replyDelayMs <= 0) {
        StartBlock(header, payload, end, close);
        return;
    }
    QTimer::singleShot(faults.replyDelayMs, this,
                       [this, header, payload, end, close] { StartBlock(header, payload, end, close); });
}

void SimConnection::StartBlock(const QByteArray& header, const QByteArray& data, qsizetype end, bool close)
{
    if (m_closed)
        return;
    m_outData = data;
    m_outPos = 0;
    m_outEnd = end;
    m_outClose = close;
    m_outActive = true;
    m_socket->write(header);
    PumpBlock();
}

// Feeds the block a chunk at a time, so a large file never sits twice in the
// socket's buffer and faults can hit it in the middle.
void SimConnection::PumpBlock()
{
    if (!m_outActive || m_closed)
        return;
    while (m_outPos < m_outEnd && m_socket->bytesToWrite() < kChunk) {
        const qsizetype n = std::min(kChunk, m_outEnd - m_outPos);
        m_socket->write(m_outData.constData() + m_outPos, n);
        m_outPos += n;
    }
    if (m_outPos < m_outEnd)
        return;
    m_outData = QByteArray();
    m_outActive = false;
    if (m_outClose) {
        m_closed = true;
        m_socket->disconnectFromHost();
    } else if (!m_outStall) {
        m_socket->write("\n");
        Resume();
    }
}

} // namespace vqsim
