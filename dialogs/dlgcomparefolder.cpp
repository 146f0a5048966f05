#include "dialogs/dlgcomparefolder.h"

#include "dialogs/dlgsupport.h"
#include "dialogs/generatorrun.h"
#include "link/vqcomm.h"

#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

using namespace Qt::StringLiterals;
using namespace vqdlg;

namespace {

constexpr int kMarkRole = Qt::UserRole;
// The plan lines a preview names before "and N more".
constexpr qsizetype kPreviewLines = 30;

// A path below `root` ("/F0:/A" and "/F0:/A/B/C.PIC" give "B/C.PIC").
QString Below(const QString& root, const QString& path)
{
    const QString prefix = root.endsWith(u'/') ? root : root + u'/';
    return path.startsWith(prefix, Qt::CaseInsensitive) ? path.sliced(prefix.size()) : path;
}

} // namespace

QString CDlgCompareFolder::PlanText(const QStringList& plan)
{
    QStringList shown;
    for (const QString& line : plan.first(std::min(plan.size(), kPreviewLines)))
        shown.append(PlanStepText(line));
    if (plan.size() > kPreviewLines)
        shown.append(u"... and %1 more"_s.arg(plan.size() - kPreviewLines));
    return shown.join(u'\n');
}

QString CDlgCompareFolder::PlanStepText(const QString& line)
{
    if (line.size() < 13 || line.at(11) != u' ')
        return line;
    const QString flags = line.first(11);
    const QString rest = line.sliced(12).trimmed();
    if (flags.startsWith(u"*deleting"_s))
        return u"delete         "_s + rest;
    if (flags.startsWith(u"cd"_s))
        return u"make folder    "_s + rest;
    const bool send = flags.startsWith(u'<');
    if (!send && !flags.startsWith(u'>'))
        return line;
    const bool added = flags.endsWith(u"+++++++++"_s);
    return (send ? (added ? u"send new       "_s : u"send changed   "_s)
                 : (added ? u"fetch new      "_s : u"fetch changed  "_s)) +
           rest;
}

CDlgCompareFolder::CDlgCompareFolder(const QString& host, const QString& folder, QWidget* parent)
    : QDialog(parent), m_strHost(host), m_pPcFolder(new QLineEdit(this)),
      m_pFolder(new QLineEdit(folder, this)), m_pTree(new QTreeWidget(this)),
      m_pDifferencesOnly(new QCheckBox(u"Show &differences only"_s, this)),
      m_pDelete(new QCheckBox(u"Also de&lete what the other side lacks"_s, this)),
      m_pCounts(new QLabel(this)), m_pSummary(new QLabel(this)), m_pProgress(new QProgressBar(this)),
      m_pCompare(new QPushButton(u"C&ompare"_s, this)), m_pCheck(new QPushButton(u"Check co&ntents"_s, this)),
      m_pSend(new QPushButton(u"&Send to Generator..."_s, this)),
      m_pFetch(new QPushButton(u"&Fetch to PC..."_s, this)), m_pCancel(new QPushButton(u"Cancel"_s, this)),
      m_pClose(new QPushButton(u"&Close"_s, this))
{
    setWindowTitle(u"Compare with PC Folder - %1"_s.arg(host));

    m_pTree->setHeaderLabels({u"Name"_s, u"State"_s, u"On the PC"_s, u"On the generator"_s});
    m_pTree->setUniformRowHeights(true);
    m_pTree->setAllColumnsShowFocus(true);
    m_pTree->header()->setSectionResizeMode(COLUMN_NAME, QHeaderView::Stretch);
    m_pTree->header()->setSectionResizeMode(COLUMN_MARK, QHeaderView::ResizeToContents);
    m_pTree->header()->setSectionResizeMode(COLUMN_PC_SIZE, QHeaderView::ResizeToContents);
    m_pTree->header()->setSectionResizeMode(COLUMN_GENERATOR_SIZE, QHeaderView::ResizeToContents);
    m_pTree->setMinimumSize(fontMetrics().averageCharWidth() * 90, fontMetrics().height() * 16);
    m_pSummary->setWordWrap(true);
    m_pSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(0);

    auto* browse = new QPushButton(u"&Browse..."_s, this);
    QGridLayout* grid = FolderRows(this, m_pPcFolder, browse, m_pFolder);
    auto* compareRow = new QHBoxLayout;
    compareRow->addWidget(m_pCompare);
    compareRow->addWidget(m_pCheck);
    compareRow->addWidget(m_pDifferencesOnly);
    compareRow->addStretch(1);
    grid->addLayout(compareRow, 2, 1, 1, 2);

    auto* copyRow = new QHBoxLayout;
    copyRow->addWidget(m_pSend);
    copyRow->addWidget(m_pFetch);
    copyRow->addWidget(m_pDelete);
    copyRow->addStretch(1);
    copyRow->addWidget(m_pCancel);
    copyRow->addWidget(m_pClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_pTree, 1);
    layout->addWidget(m_pCounts);
    layout->addWidget(m_pProgress);
    layout->addWidget(m_pSummary);
    layout->addLayout(copyRow);

    // Enter compares; Escape cancels what runs, else closes.
    m_pCompare->setDefault(true);
    for (QPushButton* button : {m_pCheck, m_pSend, m_pFetch, m_pCancel, m_pClose, browse})
        button->setAutoDefault(false);
    setTabOrder(m_pPcFolder, browse);
    setTabOrder(browse, m_pFolder);
    setTabOrder(m_pFolder, m_pCompare);
    setTabOrder(m_pCompare, m_pCheck);
    setTabOrder(m_pCheck, m_pDifferencesOnly);
    setTabOrder(m_pDifferencesOnly, m_pTree);
    setTabOrder(m_pTree, m_pSend);
    setTabOrder(m_pSend, m_pFetch);
    setTabOrder(m_pFetch, m_pDelete);
    setTabOrder(m_pDelete, m_pCancel);
    setTabOrder(m_pCancel, m_pClose);

    connect(browse, &QPushButton::clicked, this, &CDlgCompareFolder::Browse);
    connect(m_pCompare, &QPushButton::clicked, this, [this] { Compare(false); });
    connect(m_pCheck, &QPushButton::clicked, this, [this] { Compare(true); });
    connect(m_pSend, &QPushButton::clicked, this, &CDlgCompareFolder::Send);
    connect(m_pFetch, &QPushButton::clicked, this, &CDlgCompareFolder::Fetch);
    connect(m_pCancel, &QPushButton::clicked, this, &CDlgCompareFolder::Cancel);
    connect(m_pClose, &QPushButton::clicked, this, &CDlgCompareFolder::reject);
    connect(m_pDifferencesOnly, &QCheckBox::toggled, this, &CDlgCompareFolder::ShowMarks);
    SetStep(Step::Idle);
}

CDlgCompareFolder::~CDlgCompareFolder() = default;

void CDlgCompareFolder::SetPcFolder(const QString& folder)
{
    m_pPcFolder->setText(QDir::toNativeSeparators(folder));
}

void CDlgCompareFolder::SetDeleteExtra(bool on)
{
    m_pDelete->setChecked(on);
}

void CDlgCompareFolder::SetDifferencesOnly(bool on)
{
    m_pDifferencesOnly->setChecked(on);
}

QString CDlgCompareFolder::PcFolder() const
{
    return QDir::cleanPath(QDir::fromNativeSeparators(m_pPcFolder->text().trimmed()));
}

QString CDlgCompareFolder::Folder() const
{
    return m_pFolder->text().trimmed();
}

void CDlgCompareFolder::Browse()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, u"PC Folder to Compare"_s, m_pPcFolder->text());
    if (!folder.isEmpty())
        SetPcFolder(folder);
}

QString CDlgCompareFolder::MarkText(Mark mark)
{
    switch (mark) {
    case Mark::Same:
        return u"Same"_s;
    case Mark::Changed:
        return u"Changed"_s;
    case Mark::OnlyPc:
        return u"Only on the PC"_s;
    case Mark::OnlyGenerator:
        return u"Only on the generator"_s;
    case Mark::SizeOnly:
        return u"Size only"_s;
    }
    return QString();
}

bool CDlgCompareFolder::MarkOfLine(const QString& line, QString* path, Mark* mark)
{
    // vq8ctl's plan lines: 11 flags, a blank, the path, for a file " (...)".
    if (line.size() < 13 || line.at(11) != u' ')
        return false;
    const QString flags = line.first(11);
    QString rest = line.sliced(12).trimmed();
    if (flags == u"*deleting  "_s || flags.startsWith(u"*deleting"_s)) {
        *mark = Mark::OnlyPc;
    } else if (flags == u"cd+++++++++"_s) {
        *mark = Mark::OnlyGenerator;
    } else if (flags.startsWith(u">f"_s)) {
        *mark = flags == u">f+++++++++"_s ? Mark::OnlyGenerator : Mark::Changed;
        // A file's line ends with its figures in brackets.
        const qsizetype figures = rest.lastIndexOf(u" ("_s);
        if (figures <= 0 || !rest.endsWith(u')'))
            return false;
        rest.truncate(figures);
    } else {
        return false;
    }
    if (rest.isEmpty() || rest == u"."_s || rest == u"./"_s)
        return false;
    *path = rest;
    return true;
}

CGeneratorRun* CDlgCompareFolder::NewRun(const QStringList& command)
{
    auto* run = new CGeneratorRun(m_strHost, command, this);
    run->SetKeepOutput(true);
    m_pRun = run;
    connect(run, &CGeneratorRun::Changed, this, [this, run] {
        if (m_eStep != Step::Copying || m_pRun != run)
            return;
        m_pProgress->setValue(run->Percent());
        if (run->FilesPlanned() > 0)
            m_pSummary->setText(u"%1 file %2 of %3: %4%"_s.arg(m_bToGenerator ? u"Sending"_s : u"Fetching"_s)
                                    .arg(std::min(run->FilesDone() + 1, run->FilesPlanned()))
                                    .arg(run->FilesPlanned())
                                    .arg(run->FilePercent()));
    });
    return run;
}

bool CDlgCompareFolder::Compare(bool checksum)
{
    if (m_eStep != Step::Idle)
        return false;
    if (PcFolder().isEmpty() || !QFileInfo(PcFolder()).isDir()) {
        m_strCopySummary.clear();
        ShowStop(this, u"Choose a PC folder to compare."_s);
        m_pPcFolder->setFocus();
        return false;
    }
    // Towards the PC: the generator's memory plays no part in a comparison.
    QStringList command{u"sync"_s, u"--recursive"_s, u"--delete"_s, u"--dry-run"_s};
    if (checksum)
        command << u"--checksum"_s;
    command << u"--"_s << Folder() << PcFolder();
    CGeneratorRun* run = NewRun(command);
    connect(
        run, &CGeneratorRun::Finished, this, [this, run] { CompareEnded(run); }, Qt::QueuedConnection);
    SetStep(Step::Comparing);
    m_pSummary->setText(checksum ? u"Reading the generator's files back to compare them..."_s
                                 : u"Comparing..."_s);
    run->Start();
    return true;
}

void CDlgCompareFolder::CompareEnded(CGeneratorRun* run)
{
    run->deleteLater();
    SetStep(Step::Idle);
    if (run->GetState() != CGeneratorRun::State::Done) {
        m_pSummary->setText((m_strCopySummary.isEmpty() ? QString() : m_strCopySummary + u'\n') +
                            u"The comparison failed: %1"_s.arg(run->Reason()));
        m_strCopySummary.clear();
        Q_EMIT StepEnded();
        return;
    }
    m_marks.clear();
    m_sizes.clear();
    for (const QString& line : run->OutputLines()) {
        QString path;
        Mark mark = Mark::Same;
        if (MarkOfLine(line, &path, &mark))
            m_marks.insert(path, mark);
    }
    const QJsonArray files = run->Document().value(u"files"_s).toArray();
    for (const QJsonValue& value : files) {
        const QJsonObject file = value.toObject();
        const QString path = Below(Folder(), file.value(u"source"_s).toString());
        m_sizes.insert(path, qint64(file.value(u"bytes"_s).toDouble()));
        if (file.value(u"outcome"_s).toString() == u"unchanged"_s)
            m_marks.insert(path, file.value(u"judged"_s).toString() == u"size-only"_s ? Mark::SizeOnly
                                                                                      : Mark::Same);
    }
    // A folder only the PC holds is planned as one deletion, so what is in
    // it is listed here (links are never part of a sync).
    const QDir pc(PcFolder());
    const QStringList onlyPc = m_marks.keys(Mark::OnlyPc);
    for (const QString& path : onlyPc) {
        if (!path.endsWith(u'/'))
            continue;
        QDirIterator it(pc.filePath(path), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo entry(it.next());
            if (entry.isSymLink())
                continue;
            const QString below =
                pc.relativeFilePath(entry.filePath()) + (entry.isDir() ? u"/"_s : QString());
            m_marks.insert(below, Mark::OnlyPc);
        }
    }
    ShowMarks();
    QString text = u"Compared %1 with %2."_s.arg(Folder(), QDir::toNativeSeparators(PcFolder()));
    if (!m_strCopySummary.isEmpty())
        text = m_strCopySummary + u'\n' + text;
    m_strCopySummary.clear();
    m_pSummary->setText(text);
    Q_EMIT StepEnded();
}

void CDlgCompareFolder::ShowMarks()
{
    m_pTree->clear();
    QHash<QString, QTreeWidgetItem*> folders;
    const std::function<QTreeWidgetItem*(const QString&)> folderItem =
        [&](const QString& path) -> QTreeWidgetItem* {
        if (path.isEmpty())
            return nullptr;
        if (QTreeWidgetItem* found = folders.value(path.toUpper()))
            return found;
        const qsizetype slash = path.lastIndexOf(u'/');
        QTreeWidgetItem* parent = folderItem(slash > 0 ? path.first(slash) : QString());
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_pTree);
        item->setText(COLUMN_NAME, path.sliced(slash + 1) + u'/');
        item->setExpanded(true);
        folders.insert(path.toUpper(), item);
        return item;
    };
    QMap<Mark, int> counts;
    QStringList paths = m_marks.keys();
    std::sort(paths.begin(), paths.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    const bool differencesOnly = m_pDifferencesOnly->isChecked();
    for (const QString& path : std::as_const(paths)) {
        const Mark mark = m_marks.value(path);
        const bool folder = path.endsWith(u'/');
        if (!folder)
            ++counts[mark];
        if (differencesOnly && mark == Mark::Same)
            continue;
        const QString plain = folder ? path.chopped(1) : path;
        QTreeWidgetItem* item = nullptr;
        if (folder) {
            item = folderItem(plain);
        } else {
            const qsizetype slash = plain.lastIndexOf(u'/');
            QTreeWidgetItem* parent = folderItem(slash > 0 ? plain.first(slash) : QString());
            item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_pTree);
            item->setText(COLUMN_NAME, plain.sliced(slash + 1));
            if (mark != Mark::OnlyGenerator)
                item->setText(COLUMN_PC_SIZE,
                              CVQComm::FormatSize(double(QFileInfo(QDir(PcFolder()).filePath(path)).size())));
            if (mark != Mark::OnlyPc && m_sizes.contains(path))
                item->setText(COLUMN_GENERATOR_SIZE, CVQComm::FormatSize(double(m_sizes.value(path))));
        }
        item->setText(COLUMN_MARK, MarkText(mark));
        item->setData(COLUMN_MARK, kMarkRole, int(mark));
    }
    QStringList parts;
    for (const Mark mark : {Mark::Same, Mark::Changed, Mark::OnlyPc, Mark::OnlyGenerator, Mark::SizeOnly})
        parts.append(u"%1: %2"_s.arg(MarkText(mark)).arg(counts.value(mark)));
    m_pCounts->setText(parts.join(u"    "_s));
}

QStringList CDlgCompareFolder::CopyCommand(bool dryRun) const
{
    QStringList command{u"sync"_s, u"--recursive"_s, u"--checksum"_s};
    if (m_pDelete->isChecked())
        command << u"--delete"_s;
    if (dryRun)
        command << u"--dry-run"_s;
    command << u"--"_s;
    if (m_bToGenerator)
        command << PcFolder() << Folder();
    else
        command << Folder() << PcFolder();
    return command;
}

bool CDlgCompareFolder::Send()
{
    return StartCopy(true);
}

bool CDlgCompareFolder::Fetch()
{
    return StartCopy(false);
}

bool CDlgCompareFolder::StartCopy(bool toGenerator)
{
    if (m_eStep != Step::Idle)
        return false;
    if (PcFolder().isEmpty() || !QFileInfo(PcFolder()).isDir()) {
        ShowStop(this, u"Choose a PC folder."_s);
        m_pPcFolder->setFocus();
        return false;
    }
    m_bToGenerator = toGenerator;
    // The plan first: nothing changes until the user has seen it.
    CGeneratorRun* run = NewRun(CopyCommand(true));
    connect(
        run, &CGeneratorRun::Finished, this, [this, run] { PreviewEnded(run); }, Qt::QueuedConnection);
    SetStep(Step::Previewing);
    m_pSummary->setText(u"Planning..."_s);
    run->Start();
    return true;
}

void CDlgCompareFolder::PreviewEnded(CGeneratorRun* run)
{
    run->deleteLater();
    if (run->GetState() != CGeneratorRun::State::Done) {
        // Refused before the first byte (no room, a clash): the reason with its figures.
        SetStep(Step::Idle);
        m_strPreview = u"Nothing was changed: %1"_s.arg(run->Reason());
        m_pSummary->setText(m_strPreview);
        ShowStop(this, m_strPreview);
        Q_EMIT StepEnded();
        return;
    }
    m_plan = run->OutputLines();
    m_nPlanBytes = qint64(run->Document().value(u"summary"_s).toObject().value(u"bytes"_s).toDouble());
    if (!m_bToGenerator) {
        FreeEnded(nullptr);
        return;
    }
    // The generator's free figure, asked for now: the plan's bytes are set against it.
    CGeneratorRun* free = NewRun({u"df"_s});
    connect(
        free, &CGeneratorRun::Finished, this, [this, free] { FreeEnded(free); }, Qt::QueuedConnection);
    free->Start();
}

void CDlgCompareFolder::FreeEnded(CGeneratorRun* run)
{
    double freeBytes = -1;
    if (run) {
        run->deleteLater();
        if (run->GetState() == CGeneratorRun::State::Done)
            freeBytes = run->Document().value(u"memory"_s).toObject().value(u"free"_s).toDouble(-1);
    } else {
        freeBytes = double(QStorageInfo(PcFolder()).bytesAvailable());
    }
    if (m_plan.isEmpty()) {
        SetStep(Step::Idle);
        m_strPreview = u"Nothing to do: %1 holds what %2 holds."_s.arg(
            m_bToGenerator ? Folder() : QDir::toNativeSeparators(PcFolder()),
            m_bToGenerator ? QDir::toNativeSeparators(PcFolder()) : Folder());
        m_pSummary->setText(m_strPreview);
        Q_EMIT StepEnded();
        return;
    }
    const QString where = m_bToGenerator ? u"generator memory"_s : u"PC disk"_s;
    const QString room =
        freeBytes >= 0 ? u"Needs up to %1 of %2, %3 free."_s.arg(CVQComm::FormatSize(double(m_nPlanBytes)),
                                                                 where, CVQComm::FormatSize(freeBytes))
                       : u"Needs up to %1 of %2."_s.arg(CVQComm::FormatSize(double(m_nPlanBytes)), where);
    m_strPreview =
        u"%1 %2 step%3:\n%4\n\n%5"_s.arg(m_bToGenerator ? u"Send to the generator,"_s : u"Fetch to the PC,"_s)
            .arg(m_plan.size())
            .arg(m_plan.size() == 1 ? QString() : u"s"_s)
            .arg(PlanText(m_plan), room);
    QMessageBox box(QMessageBox::Question, APP_TITLE, m_strPreview, QMessageBox::Ok | QMessageBox::Cancel,
                    this);
    box.setDefaultButton(QMessageBox::Ok);
    if (box.exec() != QMessageBox::Ok) {
        SetStep(Step::Idle);
        m_pSummary->setText(u"Nothing was changed."_s);
        Q_EMIT StepEnded();
        return;
    }
    CGeneratorRun* copy = NewRun(CopyCommand(false));
    connect(
        copy, &CGeneratorRun::Finished, this, [this, copy] { CopyEnded(copy); }, Qt::QueuedConnection);
    SetStep(Step::Copying);
    m_pProgress->setValue(0);
    copy->Start();
}

void CDlgCompareFolder::CopyEnded(CGeneratorRun* run)
{
    run->deleteLater();
    SetStep(Step::Idle);
    // What is in place now, in the run's own words.
    const QJsonObject document = run->Document();
    int placed = 0;
    int planned = 0;
    for (const QJsonValue& value : document.value(u"files"_s).toArray()) {
        const QString outcome = value.toObject().value(u"outcome"_s).toString();
        if (outcome == u"unchanged"_s)
            continue;
        ++planned;
        placed += outcome == u"sent"_s || outcome == u"received"_s ? 1 : 0;
    }
    if (!document.contains(u"files"_s)) {
        // A run stopped before it could report: its progress lines say how far it got.
        placed = run->FilesDone();
        planned = run->FilesPlanned();
    }
    const int deleted = document.value(u"deleted"_s).toInt();
    const QString verb = m_bToGenerator ? u"sent"_s : u"fetched"_s;
    QString text;
    switch (run->GetState()) {
    case CGeneratorRun::State::Done:
        text = u"Done: %1 of %2 files %3, %4 deleted."_s.arg(placed).arg(planned).arg(verb).arg(deleted);
        break;
    case CGeneratorRun::State::Cancelled:
        text = u"Cancelled: %1 of %2 files %3, %4 deleted; no file is left half-written."_s.arg(placed)
                   .arg(planned)
                   .arg(verb)
                   .arg(deleted);
        break;
    default:
        text = u"Failed: %1 (%2 of %3 files %4, %5 deleted)."_s.arg(run->Reason())
                   .arg(placed)
                   .arg(planned)
                   .arg(verb)
                   .arg(deleted);
        break;
    }
    m_pProgress->setValue(run->Percent());
    m_pSummary->setText(text);
    // The tree shows what is in place now, the copy's summary above the comparison's.
    m_strCopySummary = text;
    if (!Compare(false))
        Q_EMIT StepEnded();
}

void CDlgCompareFolder::Cancel()
{
    if (m_pRun)
        m_pRun->Cancel();
}

void CDlgCompareFolder::reject()
{
    if (m_eStep != Step::Idle) {
        Cancel();
        return;
    }
    QDialog::reject();
}

void CDlgCompareFolder::SetStep(Step step)
{
    m_eStep = step;
    const bool idle = step == Step::Idle;
    for (QWidget* widget : std::initializer_list<QWidget*>{m_pCompare, m_pCheck, m_pSend, m_pFetch,
                                                           m_pPcFolder, m_pFolder, m_pDelete})
        widget->setEnabled(idle);
    m_pCancel->setEnabled(!idle);
}
