#include "dialogs/dlgbackup.h"

#include "dialogs/dlgcomparefolder.h"
#include "dialogs/dlgsupport.h"
#include "dialogs/generatorrun.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace vqdlg;

namespace {

QString FilesText(int count)
{
    return count == 1 ? u"1 file"_s : u"%1 files"_s.arg(count);
}

} // namespace

CDlgBackup::CDlgBackup(Mode mode, const QString& host, QWidget* parent)
    : QDialog(parent), m_eMode(mode), m_strHost(host),
      m_pFolder(new QLineEdit(mode == Mode::Backup ? u"/F0:/"_s : QString(), this)),
      m_pPcFolder(new QLineEdit(this)),
      m_pDelete(new QCheckBox(u"Also &delete what the backup lacks"_s, this)),
      m_pProgress(new QProgressBar(this)), m_pSummary(new QLabel(this)),
      m_pStart(new QPushButton(mode == Mode::Backup ? u"&Back Up"_s : u"&Restore..."_s, this)),
      m_pCancel(new QPushButton(u"Cancel"_s, this)), m_pClose(new QPushButton(u"&Close"_s, this))
{
    const bool backup = mode == Mode::Backup;
    setWindowTitle((backup ? u"Back Up the Generator - %1"_s : u"Restore to the Generator - %1"_s).arg(host));
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pSummary->setMinimumWidth(fontMetrics().averageCharWidth() * 70);
    m_pDelete->setVisible(!backup);
    m_pFolder->setPlaceholderText(backup ? QString() : u"the folder the backup was taken of"_s);

    auto* browse = new QPushButton(u"Bro&wse..."_s, this);
    auto* folderLabel = new QLabel(backup ? u"&Generator folder:"_s : u"To &generator folder:"_s, this);
    folderLabel->setBuddy(m_pFolder);
    auto* pcLabel = new QLabel(backup ? u"&PC backup folder:"_s : u"From &PC backup folder:"_s, this);
    pcLabel->setBuddy(m_pPcFolder);

    auto* grid = new QGridLayout;
    // The source first.
    const int folderRow = backup ? 0 : 1;
    grid->addWidget(folderLabel, folderRow, 0);
    grid->addWidget(m_pFolder, folderRow, 1);
    grid->addWidget(pcLabel, 1 - folderRow, 0);
    grid->addWidget(m_pPcFolder, 1 - folderRow, 1);
    grid->addWidget(browse, 1 - folderRow, 2);
    grid->addWidget(m_pDelete, 2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pStart);
    buttons->addStretch(1);
    buttons->addWidget(m_pCancel);
    buttons->addWidget(m_pClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pSummary);
    layout->addLayout(buttons);

    m_pStart->setDefault(true);
    for (QPushButton* button : {m_pCancel, m_pClose, browse})
        button->setAutoDefault(false);
    if (backup) {
        setTabOrder(m_pFolder, m_pPcFolder);
        setTabOrder(m_pPcFolder, browse);
        setTabOrder(browse, m_pStart);
    } else {
        setTabOrder(m_pPcFolder, browse);
        setTabOrder(browse, m_pFolder);
        setTabOrder(m_pFolder, m_pDelete);
        setTabOrder(m_pDelete, m_pStart);
    }
    setTabOrder(m_pStart, m_pCancel);
    setTabOrder(m_pCancel, m_pClose);

    connect(browse, &QPushButton::clicked, this, &CDlgBackup::Browse);
    connect(m_pStart, &QPushButton::clicked, this, &CDlgBackup::Start);
    connect(m_pCancel, &QPushButton::clicked, this, &CDlgBackup::Cancel);
    connect(m_pClose, &QPushButton::clicked, this, &CDlgBackup::reject);
    SetRunning(false);
}

CDlgBackup::~CDlgBackup() = default;

void CDlgBackup::SetPcFolder(const QString& folder)
{
    m_pPcFolder->setText(QDir::toNativeSeparators(folder));
}

void CDlgBackup::SetGeneratorFolder(const QString& folder)
{
    m_pFolder->setText(folder);
}

void CDlgBackup::SetDeleteExtra(bool on)
{
    m_pDelete->setChecked(on);
}

QString CDlgBackup::PcFolder() const
{
    const QString text = m_pPcFolder->text().trimmed();
    return text.isEmpty() ? QString()
                          : QDir::cleanPath(QDir(QDir::fromNativeSeparators(text)).absolutePath());
}

void CDlgBackup::Browse()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, m_eMode == Mode::Backup ? u"PC Folder for the Backup"_s : u"PC Folder of the Backup"_s,
        m_pPcFolder->text());
    if (!folder.isEmpty())
        SetPcFolder(folder);
}

CGeneratorRun* CDlgBackup::NewRun(const QStringList& command)
{
    auto* run = new CGeneratorRun(m_strHost, command, this);
    run->SetKeepOutput(true);
    m_pRun = run;
    connect(run, &CGeneratorRun::Changed, this, [this, run] {
        // A dry run's figures are no progress.
        if (run->FilesPlanned() <= 0 || run->Command().contains(u"--dry-run"_s))
            return;
        m_pProgress->setValue(run->Percent());
        m_pSummary->setText(
            u"%1 file %2 of %3: %4%"_s.arg(m_eMode == Mode::Backup ? u"Fetching"_s : u"Sending"_s)
                .arg(std::min(run->FilesDone() + 1, run->FilesPlanned()))
                .arg(run->FilesPlanned())
                .arg(run->FilePercent()));
    });
    return run;
}

QStringList CDlgBackup::Command(bool dryRun) const
{
    const QString folder = m_pFolder->text().trimmed();
    QStringList command{m_eMode == Mode::Backup ? u"backup"_s : u"restore"_s};
    if (dryRun)
        command << u"--dry-run"_s;
    if (m_eMode == Mode::Restore && m_pDelete->isChecked())
        command << u"--delete"_s;
    command << u"--"_s;
    if (m_eMode == Mode::Backup) {
        command << (folder.isEmpty() ? u"/F0:/"_s : folder) << PcFolder();
    } else {
        command << PcFolder();
        if (!folder.isEmpty())
            command << folder;
    }
    return command;
}

bool CDlgBackup::Start()
{
    if (Running())
        return false;
    const QString pcFolder = PcFolder();
    if (pcFolder.isEmpty()) {
        ShowStop(this, u"Choose the PC folder of the backup."_s);
        m_pPcFolder->setFocus();
        return false;
    }
    const bool hasManifest = QFileInfo::exists(QDir(pcFolder).filePath(MANIFEST));
    if (m_eMode == Mode::Restore) {
        if (!hasManifest) {
            ShowStop(this, u"No backup in \"%1\": it holds no %2."_s.arg(QDir::toNativeSeparators(pcFolder),
                                                                         MANIFEST));
            return false;
        }
        // The plan first: nothing changes until the user has seen it.
        CGeneratorRun* run = NewRun(Command(true));
        connect(
            run, &CGeneratorRun::Finished, this, [this, run] { PreviewEnded(run); }, Qt::QueuedConnection);
        SetRunning(true);
        m_pSummary->setText(u"Checking the backup and planning..."_s);
        run->Start();
        return true;
    }
    if (hasManifest &&
        QMessageBox::question(this, APP_TITLE,
                              u"\"%1\" holds a backup already. Replace it with this one?"_s.arg(
                                  QDir::toNativeSeparators(pcFolder)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return false;
    CGeneratorRun* run = NewRun(Command(false));
    connect(
        run, &CGeneratorRun::Finished, this, [this, run] { RunEnded(run); }, Qt::QueuedConnection);
    SetRunning(true);
    m_pProgress->setValue(0);
    m_pSummary->setText(u"Backing up..."_s);
    run->Start();
    return true;
}

void CDlgBackup::PreviewEnded(CGeneratorRun* run)
{
    run->deleteLater();
    if (run->GetState() != CGeneratorRun::State::Done) {
        // A backup not as it was taken, or no room: refused before the first change.
        SetRunning(false);
        m_strPreview = u"Nothing was changed: %1"_s.arg(run->Reason());
        m_pSummary->setText(m_strPreview);
        ShowStop(this, m_strPreview);
        Q_EMIT Ended();
        return;
    }
    const QStringList plan = run->OutputLines();
    if (plan.isEmpty()) {
        SetRunning(false);
        m_strPreview = u"Nothing to do: the generator holds the backup."_s;
        m_pSummary->setText(m_strPreview);
        Q_EMIT Ended();
        return;
    }
    m_strPreview =
        u"Restore, %1 step%2 (the room is checked; every file sent is read back):\n%3"_s.arg(plan.size())
            .arg(plan.size() == 1 ? QString() : u"s"_s)
            .arg(CDlgCompareFolder::PlanText(plan));
    QMessageBox box(QMessageBox::Question, APP_TITLE, m_strPreview, QMessageBox::Ok | QMessageBox::Cancel,
                    this);
    box.setDefaultButton(QMessageBox::Ok);
    if (box.exec() != QMessageBox::Ok) {
        SetRunning(false);
        m_pSummary->setText(u"Nothing was changed."_s);
        Q_EMIT Ended();
        return;
    }
    CGeneratorRun* restore = NewRun(Command(false));
    connect(
        restore, &CGeneratorRun::Finished, this, [this, restore] { RunEnded(restore); },
        Qt::QueuedConnection);
    m_pProgress->setValue(0);
    m_pSummary->setText(u"Restoring..."_s);
    restore->Start();
}

void CDlgBackup::RunEnded(CGeneratorRun* run)
{
    run->deleteLater();
    SetRunning(false);
    const QJsonObject document = run->Document();
    int copied = 0;
    int inPlace = 0;
    for (const QJsonValue& value : document.value(u"files"_s).toArray()) {
        const QString outcome = value.toObject().value(u"outcome"_s).toString();
        copied += outcome == u"sent"_s || outcome == u"received"_s ? 1 : 0;
        inPlace += outcome == u"unchanged"_s ? 1 : 0;
    }
    if (!document.contains(u"files"_s))
        copied = run->FilesDone(); // stopped before it could report
    const QString figures = u"%1 %2, %3 already in place, %4 deleted"_s.arg(FilesText(copied))
                                .arg(m_eMode == Mode::Backup ? u"fetched"_s : u"sent and read back"_s)
                                .arg(inPlace)
                                .arg(document.value(u"deleted"_s).toInt());
    switch (run->GetState()) {
    case CGeneratorRun::State::Done:
        m_pProgress->setValue(100);
        m_pSummary->setText(m_eMode == Mode::Backup
                                ? u"Backed up: %1. The manifest is %2."_s.arg(
                                      figures, QDir::toNativeSeparators(QDir(PcFolder()).filePath(MANIFEST)))
                                : u"Restored: %1."_s.arg(figures));
        break;
    case CGeneratorRun::State::Cancelled:
        m_pSummary->setText(u"Cancelled: %1; no file is left half-written."_s.arg(figures));
        break;
    default:
        m_pSummary->setText(u"Failed: %1 (%2)."_s.arg(run->Reason(), figures));
        break;
    }
    Q_EMIT Ended();
}

void CDlgBackup::Cancel()
{
    if (m_pRun)
        m_pRun->Cancel();
}

void CDlgBackup::reject()
{
    if (Running()) {
        Cancel();
        return;
    }
    QDialog::reject();
}

void CDlgBackup::SetRunning(bool running)
{
    m_bRunning = running;
    for (QWidget* widget : std::initializer_list<QWidget*>{m_pStart, m_pFolder, m_pPcFolder, m_pDelete})
        widget->setEnabled(!running);
    m_pCancel->setEnabled(running);
}
