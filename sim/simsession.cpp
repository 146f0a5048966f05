#include "simsession.h"

#include "simfilesystem.h"
#include "simreplysink.h"
#include "simstate.h"

#include <algorithm>
#include <utility>

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

SimSession::SimSession(SimState& state, SimReplySink& sink) : m_state(state), m_sink(sink) {}

SimSession::~SimSession()
{
    ReleaseBlock();
}

void SimSession::Feed(const QByteArray& bytes)
{
    if (m_pos > 0) {
        m_in.remove(0, m_pos);
        m_pos = 0;
    }
    if (m_in.isEmpty())
        m_in = bytes;
    else
        m_in.append(bytes);
}

bool SimSession::WantsInput() const
{
    return !IsStopped() && m_in.size() - m_pos < kMaxInput;
}

qsizetype SimSession::HeldBytes() const
{
    return m_in.size() + m_line.size() + m_blockCommand.size() + m_blockData.capacity();
}

void SimSession::End()
{
    // A block cut short stores nothing.
    if (m_phase == Phase::BlockData || m_phase == Phase::BlockDigits || m_phase == Phase::BlockLength)
        AbandonBlock();
    m_ended = true;
}

void SimSession::ReleaseBlock()
{
    if (m_blockReserved == 0)
        return;
    const qint64 reserved = std::exchange(m_blockReserved, 0);
    m_state.WithFileSystem([reserved](SimFileSystem& fs) { fs.Release(reserved); });
}

void SimSession::AbandonBlock()
{
    ReleaseBlock();
    if (m_blockStore || m_phase != Phase::BlockData)
        Fail(kInvalidBlockData);
    m_blockStore = false;
    m_blockData = QByteArray();
    m_phase = Phase::SkipLine;
}

void SimSession::Process()
{
    while (!IsStopped() && !m_sink.IsBusy() && m_pos < m_in.size()) {
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
                m_ended = true;
                m_sink.Abort();
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
    }
}

bool SimSession::IsBlockCommand() const
{
    qsizetype end = 0;
    const QByteArray keyword = Keyword(m_line, &end);
    return keyword == "mmem:data" || keyword == "mmem:load:download";
}

void SimSession::Fail(int code)
{
    m_state.PushError(code);
}

void SimSession::BeginBlock()
{
    m_blockLength = m_lengthText.toLongLong();
    m_blockReceived = 0;
    m_blockStore = false;
    m_blockData.clear();
    m_blockTarget.clear();
    const SimFaults faults = m_state.Faults();
    m_blockCloseAt = faults.closeAfterDataBytes;
    m_blockStallAt = faults.stallTransfer ? std::min<qint64>(kMaxInput, m_blockLength / 2) : -1;
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
            error = SimFileSystem::SplitPath(args.first(), &m_blockTarget);
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
        m_blockReserved = m_blockLength;
        m_blockStore = true;
        m_blockData.reserve(qsizetype(m_blockLength));
    }
    if (m_blockLength == 0)
        FinishBlock();
}

void SimSession::FinishBlock()
{
    m_phase = Phase::BlockEnd;
    qsizetype end = 0;
    QByteArray scripted;
    if (m_state.TakeScriptedReply(Keyword(m_blockCommand, &end), &scripted)) {
        ReleaseBlock();
        m_blockStore = false;
        m_blockData = QByteArray();
        m_sink.SendScripted(scripted);
        return;
    }
    if (!m_blockStore)
        return;
    m_blockStore = false;
    const QByteArray data = std::exchange(m_blockData, QByteArray());
    const qint64 reserved = std::exchange(m_blockReserved, 0);
    const int error = m_state.WithFileSystem([this, &data, reserved](SimFileSystem& fs) {
        fs.Release(reserved);
        return fs.WriteFile(m_blockTarget, data);
    });
    if (error)
        Fail(error);
}

void SimSession::ExecuteLine(QByteArray line)
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
        m_sink.SendScripted(scripted);
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
        error = SimFileSystem::SplitPath(args.at(0), &path);
        if (!error && count > 1)
            error = SimFileSystem::SplitPath(args.at(1), &other);
        return error == kNoError;
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
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.CheckFolder(path); });
            if (!error)
                m_cwd = path;
        }
    } else if (keyword == "mmem:cdir?") {
        if (expect(0, 0))
            m_sink.SendLine('"' + SimFileSystem::JoinPath(m_cwd).toLatin1() + '"');
    } else if (keyword == "mmem:cat?") {
        if (expect(0, 1)) {
            path = m_cwd;
            if (!args.isEmpty())
                error = SimFileSystem::SplitPath(args.first(), &path);
            if (!error)
                error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.CheckFolder(path); });
            // A refused folder still gets the memory figures: the client is waiting for a line.
            m_sink.SendLine(m_state.WithFileSystem([&](SimFileSystem& fs) {
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
        qint64 size = 0;
        quint64 stamp = 0;
        if (paths(1))
            error = m_state.WithFileSystem([&](SimFileSystem& fs) { return fs.Open(path, &size, &stamp); });
        // A refused read still gets a (empty) block: the stream stays in step.
        if (error)
            m_sink.SendLine(QByteArrayLiteral("#10"));
        else
            m_sink.SendFile(path, size, stamp);
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

} // namespace vqsim
