#include "link/downloadfilelist.h"

void CDownloadFileList::Add(const CDownloadFile& file)
{
    m_files.push_back(std::make_unique<CDownloadFile>(file));
    ++m_count;
}

void CDownloadFileList::RemoveAll()
{
    m_files.clear();
    m_count = 0;
    m_taken = 0;
}

CDownloadFile* CDownloadFileList::GetAt(int index) const
{
    if (index < 0 || size_t(index) >= m_files.size())
        return nullptr;
    return m_files[size_t(index)].get();
}

void CDownloadFileList::StartIteration()
{
    m_taken = 0;
}

CDownloadFile* CDownloadFileList::GetNext()
{
    CDownloadFile* file = GetAt(m_taken);
    if (file)
        ++m_taken;
    return file;
}
