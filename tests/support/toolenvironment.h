#pragma once

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

// vq8ctl run by a test, kept to the test: the desktop program's settings of
// this user out of reach (the runs' too), and for each test a record of its
// own of what vq8ctl confirmed on each generator (an emulator of another test
// may reuse a port).
class CToolEnvironment
{
public:
    // Once, before the first run.
    bool KeepSettings()
    {
        if (!m_config.isValid())
            return false;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        QStandardPaths::setTestModeEnabled(true);
        return true;
    }

    // Before each test.
    bool NewRecord()
    {
        m_pRecords = std::make_unique<QTemporaryDir>();
        if (!m_pRecords->isValid())
            return false;
        qputenv("VQ8_RECORD_DIR", QFile::encodeName(m_pRecords->path()));
        return true;
    }

    void DropRecord() { m_pRecords.reset(); }

    QString ConfigFile(const QString& name) const { return m_config.filePath(name); }
    QString RecordFolder() const { return m_pRecords->path(); }

private:
    QTemporaryDir m_config;
    std::unique_ptr<QTemporaryDir> m_pRecords;
};
