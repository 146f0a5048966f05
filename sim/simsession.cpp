#include "sim/simsession.h"

#include "sim/simfilesystem.h"
#include "sim/simreplysink.h"
#include "sim/simstate.h"

#include <algorithm>
#include <utility>

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
        return SIM_NO_ERROR;
    for (;;) {
        const char quote = text.at(i);
        if (quote != '"' && quote != '\'')
            return SIM_DATA_TYPE_ERROR;
        const qsizetype close = text.indexOf(quote, i + 1);
        if (close < 0)
            return SIM_SYNTAX_ERROR;
        args->append(QString::fromLatin1(text.mid(i + 1, close - i - 1)));
        i = close + 1;
        skipBlanks();
        if (i == text.size())
            return SIM_NO_ERROR;
        if (text.at(i) != ',')
            return SIM_SYNTAX_ERROR;
        ++i;
        skipBlanks();
        if (i == text.size())
            return SIM_MISSING_PARAMETER;
    }
}

int CheckCount(const QStringList& args, qsizetype min, qsizetype max)
{
    if (args.size() < min)
        return SIM_MISSING_PARAMETER;
    if (args.size() > max)
        return SIM_PARAMETER_NOT_ALLOWED;
    return SIM_NO_ERROR;
}

} // namespace

CSimSession::CSimSession(CSimState& state, CSimReplySink& sink) : m_state(state), m_sink(sink) {}

CSimSession::~CSimSession()
{
    ReleaseBlock();
}

void CSimSession::Feed(const QByteArray& bytes)
{
    if (m_nPos > 0) {
        m_in.remove(0, m_nPos);
        m_nPos = 0;
    }
    if (m_in.isEmpty())
        m_in = bytes;
    else
        m_in.append(bytes);
}

bool CSimSession::InBlock() const
{
    return m_phase == Phase::BlockDigits || m_phase == Phase::BlockLength || m_phase == Phase::BlockData;
}

bool CSimSession::WantsInput() const
{
    return !IsStopped() && m_in.size() - m_nPos < MAX_INPUT_BYTES;
}

qsizetype CSimSession::HeldBytes() const
{
    return m_in.size() + m_line.size() + m_blockCommand.size() + m_blockData.capacity();
}

void CSimSession::End()
{
    // A block cut short stores nothing.
    if (InBlock())
        AbandonBlock();
    m_bEnded = true;
}

void CSimSession::ReleaseBlock()
{
    if (m_nBlockReserved == 0)
        return;
    const qint64 reserved = std::exchange(m_nBlockReserved, 0);
    m_state.WithFileSystem([reserved](CSimFileSystem& fs) { fs.Release(reserved); });
}

void CSimSession::AbandonBlock()
{
    ReleaseBlock();
    if (m_bBlockStore || m_phase != Phase::BlockData)
        Fail(SIM_INVALID_BLOCK_DATA);
    m_bBlockStore = false;
    m_blockData = QByteArray();
    m_phase = Phase::SkipLine;
}

void CSimSession::Process()
{
    while (!IsStopped() && !m_sink.IsBusy() && m_nPos < m_in.size()) {
        const char c = m_in.at(m_nPos);
        switch (m_phase) {
        case Phase::Line:
            ++m_nPos;
            if (c == '\n') {
                const QByteArray line = m_line;
                m_line.clear();
                m_bInQuote = false;
                ExecuteLine(line);
            } else if (c == '#' && !m_bInQuote && IsBlockCommand()) {
                m_blockCommand = m_line;
                m_line.clear();
                m_phase = Phase::BlockDigits;
                ++m_nBlocksBegun;
            } else {
                if (c == '"')
                    m_bInQuote = !m_bInQuote;
                m_line.append(c);
                if (m_line.size() > MAX_LINE_BYTES) {
                    m_line.clear();
                    m_bInQuote = false;
                    Fail(SIM_TOO_MUCH_DATA);
                    m_phase = Phase::SkipLine;
                }
            }
            break;
        case Phase::BlockDigits:
            if (c < '1' || c > '9') {
                // "#0" (indefinite length) is not taken either.
                Fail(SIM_INVALID_BLOCK_DATA);
                m_phase = Phase::SkipLine;
                break;
            }
            ++m_nPos;
            m_nLengthDigits = c - '0';
            m_lengthText.clear();
            m_phase = Phase::BlockLength;
            break;
        case Phase::BlockLength:
            if (c < '0' || c > '9') {
                Fail(SIM_INVALID_BLOCK_DATA);
                m_phase = Phase::SkipLine;
                break;
            }
            ++m_nPos;
            m_lengthText.append(c);
            if (m_lengthText.size() == m_nLengthDigits)
                BeginBlock();
            break;
        case Phase::BlockData: {
            qint64 want = m_nBlockLength - m_nBlockReceived;
            if (m_nBlockCloseAt >= 0)
                want = std::min(want, m_nBlockCloseAt - m_nBlockReceived);
            if (m_nBlockStallAt >= 0)
                want = std::min(want, m_nBlockStallAt - m_nBlockReceived);
            const qsizetype n = qsizetype(std::min<qint64>(want, m_in.size() - m_nPos));
            if (m_bBlockStore)
                m_blockData.append(m_in.constData() + m_nPos, n);
            m_nPos += n;
            m_nBlockReceived += n;
            if (m_nBlockReceived == m_nBlockLength) {
                FinishBlock();
            } else if (m_nBlockReceived == m_nBlockCloseAt) {
                AbandonBlock();
                m_bEnded = true;
                m_sink.Abort();
                return;
            } else if (m_nBlockReceived == m_nBlockStallAt) {
                m_bStalled = true;
            }
            break;
        }
        case Phase::BlockEnd:
            if (c == '\r') {
                ++m_nPos;
            } else {
                if (c == '\n')
                    ++m_nPos;
                m_phase = Phase::Line;
            }
            break;
        case Phase::SkipLine:
            ++m_nPos;
            if (c == '\n')
                m_phase = Phase::Line;
            break;
        }
    }
    if (m_nPos >= m_in.size()) {
        m_in.clear();
        m_nPos = 0;
    }
}

bool CSimSession::IsBlockCommand() const
{
    qsizetype end = 0;
    const QByteArray keyword = Keyword(m_line, &end);
    return keyword == "mmem:data" || keyword == "mmem:load:download";
}

void CSimSession::Fail(int code)
{
    m_state.PushError(code);
}

void CSimSession::BeginBlock()
{
    m_nBlockLength = m_lengthText.toLongLong();
    m_nBlockReceived = 0;
    m_bBlockStore = false;
    m_blockData.clear();
    m_blockTarget.clear();
    const CSimFaults faults = m_state.Faults();
    m_nBlockCloseAt = faults.m_nCloseAfterDataBytes;
    m_nBlockStallAt = faults.m_bStallTransfer ? std::min<qint64>(MAX_INPUT_BYTES, m_nBlockLength / 2) : -1;
    m_phase = Phase::BlockData;

    qsizetype end = 0;
    const QByteArray keyword = Keyword(m_blockCommand, &end);
    QByteArray rest = m_blockCommand.mid(end).trimmed();
    int error = SIM_NO_ERROR;
    if (keyword == "mmem:data") {
        if (!rest.endsWith(','))
            error = rest.isEmpty() ? SIM_MISSING_PARAMETER : SIM_SYNTAX_ERROR;
        QStringList args;
        rest.chop(1);
        if (!error)
            error = ParseArguments(rest, &args);
        if (!error)
            error = CheckCount(args, 1, 1);
        if (!error)
            error = CSimFileSystem::SplitPath(args.first(), &m_blockTarget);
    } else if (!rest.isEmpty()) {
        error = SIM_PARAMETER_NOT_ALLOWED;
    } else {
        m_blockTarget = m_state.WithFileSystem([](CSimFileSystem& fs) { return fs.NewPackagePath(); });
    }
    if (!error) {
        error = m_state.WithFileSystem(
            [this](CSimFileSystem& fs) { return fs.Reserve(m_blockTarget, m_nBlockLength); });
    }
    // A refused block is still read to its end so the stream stays in step.
    if (error) {
        Fail(error);
    } else {
        m_nBlockReserved = m_nBlockLength;
        m_bBlockStore = true;
        m_blockData.reserve(qsizetype(m_nBlockLength));
    }
    if (m_nBlockLength == 0)
        FinishBlock();
}

void CSimSession::FinishBlock()
{
    m_phase = Phase::BlockEnd;
    qsizetype end = 0;
    QByteArray scripted;
    if (m_state.TakeScriptedReply(Keyword(m_blockCommand, &end), &scripted)) {
        ReleaseBlock();
        m_bBlockStore = false;
        m_blockData = QByteArray();
        m_sink.SendScripted(scripted);
        return;
    }
    if (!m_bBlockStore)
        return;
    m_bBlockStore = false;
    const QByteArray data = std::exchange(m_blockData, QByteArray());
    const qint64 reserved = std::exchange(m_nBlockReserved, 0);
    const int error = m_state.WithFileSystem([this, &data, reserved](CSimFileSystem& fs) {
        fs.Release(reserved);
        return fs.WriteFile(m_blockTarget, data);
    });
    if (error)
        Fail(error);
}

void CSimSession::ExecuteLine(QByteArray line)
{
    while (!line.isEmpty() && (IsBlank(line.back()) || line.back() == '\0'))
        line.chop(1);
    qsizetype end = 0;
    const QByteArray keyword = Keyword(line, &end);
    if (keyword.isEmpty()) {
        if (end < line.size())
            Fail(SIM_SYNTAX_ERROR);
        return;
    }
    QByteArray scripted;
    if (m_state.TakeScriptedReply(keyword, &scripted)) {
        m_sink.SendScripted(scripted);
        return;
    }

    QStringList args;
    const QByteArray rest = line.mid(end);
    int error = ParseArguments(rest, &args);
    const auto expect = [&](qsizetype min, qsizetype max) {
        if (!error)
            error = CheckCount(args, min, max);
        return error == SIM_NO_ERROR;
    };
    QStringList path;
    QStringList other;
    const auto paths = [&](qsizetype count) {
        if (!expect(count, count))
            return false;
        error = CSimFileSystem::SplitPath(args.at(0), &path);
        if (!error && count > 1)
            error = CSimFileSystem::SplitPath(args.at(1), &other);
        return error == SIM_NO_ERROR;
    };

    if (keyword == "*idn?") {
        if (expect(0, 0))
            m_sink.SendLine(m_state.Identity());
    } else if (keyword == "*cls") {
        if (expect(0, 0))
            m_state.ClearErrors();
    } else if (keyword == "stat:que:next?" || keyword == "syst:err?" || keyword == "syst:err:next?") {
        if (expect(0, 0))
            m_sink.SendLine(m_state.TakeError());
    } else if (keyword == "mmem:cdir") {
        if (paths(1)) {
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.CheckFolder(path); });
            if (!error)
                m_cwd = path;
        }
    } else if (keyword == "mmem:cdir?") {
        if (expect(0, 0))
            m_sink.SendLine('"' + CSimFileSystem::JoinPath(m_cwd).toLatin1() + '"');
    } else if (keyword == "mmem:cat?") {
        if (expect(0, 1)) {
            path = m_cwd;
            if (!args.isEmpty())
                error = CSimFileSystem::SplitPath(args.first(), &path);
            CSimFileSystem::CCatalogCursor cursor;
            const QByteArray figures = m_state.WithFileSystem([&](CSimFileSystem& fs) {
                if (!error)
                    error = fs.BeginCatalog(path, &cursor);
                return fs.Figures();
            });
            // A refused folder still gets the memory figures: the client is waiting for a line.
            if (error)
                m_sink.SendLine(figures);
            else
                m_sink.SendCatalog(cursor);
        }
    } else if (keyword == "mmem:mdir") {
        if (paths(1))
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.MakeFolder(path); });
    } else if (keyword == "mmem:rdir") {
        if (paths(1))
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.RemoveFolder(path); });
    } else if (keyword == "mmem:del") {
        if (paths(1))
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.Delete(path); });
    } else if (keyword == "mmem:del:all") {
        if (paths(1))
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.DeleteAll(path); });
    } else if (keyword == "mmem:move") {
        if (paths(2))
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.Move(path, other); });
    } else if (keyword == "mmem:copy") {
        if (paths(2))
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.Copy(path, other); });
    } else if (keyword == "mmem:data?") {
        qint64 size = 0;
        quint64 stamp = 0;
        if (paths(1))
            error = m_state.WithFileSystem([&](CSimFileSystem& fs) { return fs.Open(path, &size, &stamp); });
        // A refused read still gets a (empty) block: the stream stays in step.
        if (error)
            m_sink.SendLine(QByteArrayLiteral("#10"));
        else
            m_sink.SendFile(path, size, stamp);
    } else if (keyword == "mmem:data" || keyword == "mmem:load:download") {
        // Reached only when no block followed the command.
        if (!error)
            error = SIM_MISSING_PARAMETER;
    } else {
        error = SIM_UNDEFINED_HEADER;
    }
    if (error)
        Fail(error);
}
