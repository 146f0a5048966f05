// The list's editing of the generator: label edits (renames and new
// folders), deletions.
#include "views/uilistview.h"

#include "link/devicename.h"
#include "link/stringtable.h"
#include "link/vqcomm.h"
#include "views/filelistmodel.h"
#include "views/fixedsizedelegate.h"
#include "views/uitreeview.h"
#include "views/veskdoc.h"

#include <QAbstractItemView>
#include <QDateTime>

#include <utility>

using namespace Qt::StringLiterals;

void CUiListView::EditRow(int row)
{
    QAbstractItemView* view = ItemView();
    const QModelIndex index = m_pModel->index(row, CFileListModel::COLUMN_NAME);
    view->setCurrentIndex(index);
    view->scrollTo(index);
    view->edit(index);
}

void CUiListView::BeginRename()
{
    CVQComm* comm = Comm();
    if (m_strCurrentPath == DEVICE_ROOT_PATH) {
        if (comm)
            comm->ShowErrorId(IDS_CANNOT_RENAME_FOLDER);
        return;
    }
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return;
    m_bNewFolderPending = false;
    EditRow(rows.first());
}

int CUiListView::EndLabelEdit(int row, const QString& text, bool accepted, bool leavingFolder)
{
    const bool newFolder = std::exchange(m_bNewFolderPending, false);
    CVQComm* comm = Comm();
    const CFileInfo* info = m_pModel->Entry(row);
    if (!comm || !info)
        return 0;
    const QString oldName = info->GetName();
    const bool folder = info->IsFolder();
    // A name confirmed as it was is no change: the edit ends as Escape ends it.
    if (accepted && text == oldName)
        accepted = false;
    if (accepted) {
        // A name the generator cannot take, or one already in the folder
        // (letter case ignored): say so and edit again.
        const bool valid = comm->CheckNewName(text);
        if (valid && FindItemByName(text) >= 0)
            comm->ShowError(TEXT_NAME_TAKEN);
        if (!valid || FindItemByName(text) >= 0) {
            if (!leavingFolder) {
                m_bNewFolderPending = newFolder;
                EditRow(row);
                return 0;
            }
            accepted = false; // no editing again in a folder about to go
        }
    }
    if (folder && newFolder) {
        // Even a cancelled edit makes the folder, under the name proposed.
        const QString name = accepted ? text : oldName;
        if (!comm->MakeFolder(EntryPath(name))) {
            // The item must not stand for a folder the generator has not made
            // (a list about to show another folder is read then anyway).
            if (!leavingFolder) {
                Refresh();
                ReloadTreeSelected();
            }
            return 0;
        }
        m_pModel->SetEntryName(row, name);
        ReloadTreeFolder();
        return 1;
    }
    if (!accepted)
        return 0;
    if (comm->MoveEntry(EntryPath(oldName), EntryPath(text)) != 1)
        return 0;
    m_pModel->SetEntryName(row, text);
    ReloadTreeFolder();
    return 1;
}

void CUiListView::FinishLabelEdit()
{
    m_pIconDelegate->CommitEditor();
    m_pDetailDelegate->CommitEditor();
    RunPendingEdit(true);
}

void CUiListView::RunPendingEdit(bool leavingFolder)
{
    const CPendingEdit edit = std::exchange(m_pendingEdit, {});
    // An edit whose item went with the rows (the connection lost) ends with them.
    if (edit.m_index.isValid())
        EndLabelEdit(edit.m_index.row(), edit.m_strText, edit.m_bAccepted, leavingFolder);
}

void CUiListView::ReloadTreeFolder()
{
    if (CUiTreeView* tree = m_pDoc ? m_pDoc->m_pTreeView : nullptr)
        tree->ReloadFolder(m_strCurrentPath);
}

int CUiListView::DeleteSelected()
{
    CVQComm* comm = Comm();
    if (!comm)
        return 0;
    CWaitCursor wait(comm->LinkHost());
    if (m_strCurrentPath == DEVICE_ROOT_PATH) {
        comm->ShowError(TEXT_CANNOT_REMOVE_FOLDER);
        return 0;
    }
    const QList<int> rows = SelectedRows();
    if (rows.isEmpty())
        return 0;
    QStringList names;
    for (const int row : rows)
        names.append(m_pModel->Entry(row)->GetName());
    const bool firstIsFolder = m_pModel->Entry(rows.first())->IsFolder();
    CLinkHost* host = comm->LinkHost();
    const auto ask = [host](const QString& text, const QString& caption) {
        return host ? host->ShowMessageBox(text, MB_OKCANCEL | MB_ICONQUESTION, caption) : IDCANCEL;
    };

    if (firstIsFolder && !comm->IsFolderEmpty(EntryPath(names.first()))) {
        // A folder with entries: only that folder is emptied.
        if (ask(u"Are you sure you want to remove ALL files under '%1' ?"_s.arg(names.first()),
                u"Confirm Folder Delete"_s) != IDOK)
            return 0;
        if (comm->DeleteAll(EntryPath(names.first())) == 1) {
            Refresh();
            ReloadTreeSelected();
        }
        return 1;
    }
    const QString question = names.size() > 1
                                 ? u"Are you sure you want to remove these %1 files ?"_s.arg(names.size())
                                 : u"Are you sure you want to remove the file '%1' ?"_s.arg(names.first());
    if (ask(question, names.size() > 1 ? u"Confirm Multiple File Delete"_s : u"Confirm File Delete"_s) !=
        IDOK)
        return 0;
    // In index order, stopping at the first failure; what went before stays deleted.
    int deleted = 0;
    for (const QString& name : std::as_const(names)) {
        if (comm->DeleteEntry(EntryPath(name)) != 1)
            break;
        ++deleted;
    }
    if (deleted > 0) {
        Refresh();
        ReloadTreeSelected();
    }
    return 1;
}

void CUiListView::CreateNewFolder()
{
    CVQComm* comm = Comm();
    if (!comm)
        return;
    if (m_strCurrentPath.isEmpty() || m_strCurrentPath == DEVICE_ROOT_PATH) {
        comm->ShowError(TEXT_CANNOT_CREATE_FOLDER_HERE);
        return;
    }
    QString name;
    for (int number = 1; number <= MAX_NEW_FOLDER_NUMBER && name.isEmpty(); ++number) {
        // "New Folder", then "New Folder(2)": the number 1 is never used.
        const QString candidate =
            number == 1 ? NEW_FOLDER_NAME : u"%1(%2)"_s.arg(NEW_FOLDER_NAME).arg(number);
        if (FindItemByName(candidate) < 0)
            name = candidate;
    }
    if (name.isEmpty()) {
        comm->ShowError(u"Cannot create more folders."_s);
        return;
    }
    // Nothing goes to the generator yet: the folder is made when the edit ends.
    const QDateTime now = QDateTime::currentDateTime();
    const quint64 fileTime =
        quint64(now.toSecsSinceEpoch() + now.offsetFromUtc() + 11644473600LL) * 10000000ULL;
    m_pModel->AppendEntry(CFileInfo(name, fileTime, 0, 1));
    m_bNewFolderPending = true;
    EditRow(m_pModel->Count() - 1);
    Q_EMIT StateChanged();
}
