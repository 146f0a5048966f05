#pragma once

#include <QString>

#include <functional>
#include <mutex>

// The mount's log: one line per event worth telling (a refused name, a send
// that failed, what is left unsent), from any thread. Details (every
// generator operation) only when asked for.
class CMountLog final
{
public:
    using Writer = std::function<void(const QString& line)>;

    explicit CMountLog(Writer writer, bool verbose = false);
    CMountLog(const CMountLog&) = delete;
    CMountLog& operator=(const CMountLog&) = delete;

    void Line(const QString& text);
    void Detail(const QString& text);
    bool Verbose() const { return m_bVerbose; }

private:
    std::mutex m_mutex;
    Writer m_writer;
    bool m_bVerbose;
};
