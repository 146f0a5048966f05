#pragma once

#include "link/downloadfile.h"

#include <QString>

#include <memory>
#include <vector>

// The files of one download batch, their target device folder and an
// iteration cursor. The list owns copies of the records it is given; pointers
// handed out stay valid until the list is cleared.
class CDownloadFileList
{
public:
    CDownloadFileList() = default;
    CDownloadFileList(const CDownloadFileList&) = delete;
    CDownloadFileList& operator=(const CDownloadFileList&) = delete;

    void SetTargetFolder(const QString& folder) { m_targetFolder = folder; }
    const QString& GetTargetFolder() const { return m_targetFolder; }

    // Appends a copy of `file`.
    void Add(const CDownloadFile& file);
    // Removes every file and resets the cursor; the target folder stays.
    void RemoveAll();
    int GetCount() const { return m_count; }
    bool IsEmpty() const { return m_count == 0; }
    CDownloadFile* GetAt(int index) const;

    // Iteration: StartIteration, then GetNext until it returns null.
    void StartIteration();
    CDownloadFile* GetNext();
    // Files handed out by GetNext since StartIteration.
    int GetTaken() const { return m_taken; }

private:
    std::vector<std::unique_ptr<CDownloadFile>> m_files;
    QString m_targetFolder;
    int m_count = 0; // the batch total shown in the progress text
    int m_taken = 0;
};
