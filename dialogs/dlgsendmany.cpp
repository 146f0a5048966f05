#include "dialogs/dlgsendmany.h"

#include "dialogs/dlgfindgenerators.h"
#include "dialogs/dlgsupport.h"
#include "dialogs/generatorrun.h"
#include "link/hostport.h"
#include "link/vqcomm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using namespace vqdlg;

namespace {

// A CSV field: quoted where it holds a separator, a quote or a line break.
QString CsvField(const QString& text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u'"', u"\"\""_s) + u'"';
}

} // namespace

CDlgSendMany::CDlgSendMany(const QStringList& recent, const QString& folder, QWidget* parent)
    : QDialog(parent), m_pPcFolder(new QLineEdit(this)), m_pFolder(new QLineEdit(folder, this)),
      m_pDelete(new QCheckBox(u"Also &delete what the PC folder lacks"_s, this)),
      m_pChecksum(new QCheckBox(u"C&heck the contents of files of the same size"_s, this)),
      m_pHost(new QComboBox(this)), m_pList(new QTreeWidget(this)), m_pSummary(new QLabel(this)),
      m_pAdd(new QPushButton(u"&Add"_s, this)), m_pFind(new QPushButton(u"&Find..."_s, this)),
      m_pRemove(new QPushButton(u"&Remove"_s, this)), m_pSend(new QPushButton(u"&Send"_s, this)),
      m_pCancelSelected(new QPushButton(u"Cancel s&elected"_s, this)),
      m_pCancelAll(new QPushButton(u"Cancel a&ll"_s, this)),
      m_pSave(new QPushButton(u"Sa&ve report..."_s, this)), m_pClose(new QPushButton(u"&Close"_s, this))
{
    setWindowTitle(u"Send to Several Generators"_s);

    // The generator keeps no dates: a file of the PC's size is only known to
    // be the PC's by the record of what this PC sent, or by reading it back.
    m_pChecksum->setChecked(true);
    m_pChecksum->setToolTip(u"Reads back each generator file of the size of its PC file and sends it again "
                            "when its contents differ"_s);

    m_pHost->setEditable(true);
    m_pHost->addItems(recent);
    m_pHost->setCurrentText(QString());
    m_pHost->setInsertPolicy(QComboBox::NoInsert);
    m_pHost->lineEdit()->setPlaceholderText(u"address or address:port"_s);

    m_pList->setHeaderLabels(
        {u"Generator"_s, u"Identity"_s, u"Progress"_s, u"Files"_s, u"State"_s, u"Reason"_s});
    m_pList->setRootIsDecorated(false);
    m_pList->setUniformRowHeights(true);
    m_pList->setAllColumnsShowFocus(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pList->header()->setStretchLastSection(true);
    m_pList->setMinimumSize(fontMetrics().averageCharWidth() * 130, fontMetrics().height() * 10);

    auto* browse = new QPushButton(u"&Browse..."_s, this);
    auto* hostLabel = new QLabel(u"Add ge&nerator:"_s, this);
    hostLabel->setBuddy(m_pHost);

    QGridLayout* grid = FolderRows(this, m_pPcFolder, browse, m_pFolder);
    grid->addWidget(m_pDelete, 2, 1);
    grid->addWidget(m_pChecksum, 3, 1);
    grid->addWidget(hostLabel, 4, 0);
    auto* hostRow = new QHBoxLayout;
    hostRow->addWidget(m_pHost, 1);
    hostRow->addWidget(m_pAdd);
    hostRow->addWidget(m_pFind);
    hostRow->addWidget(m_pRemove);
    grid->addLayout(hostRow, 4, 1, 1, 2);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {m_pSend, m_pCancelSelected, m_pCancelAll, m_pSave})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(m_pClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(m_pList, 1);
    layout->addWidget(m_pSummary);
    layout->addLayout(buttons);

    // Enter sends; Enter in the address box adds what it holds instead.
    m_pSend->setDefault(true);
    for (QPushButton* button :
         {m_pAdd, m_pFind, m_pRemove, m_pCancelSelected, m_pCancelAll, m_pSave, m_pClose, browse})
        button->setAutoDefault(false);
    connect(m_pHost->lineEdit(), &QLineEdit::returnPressed, this, &CDlgSendMany::AddTyped);

    setTabOrder(m_pPcFolder, browse);
    setTabOrder(browse, m_pFolder);
    setTabOrder(m_pFolder, m_pDelete);
    setTabOrder(m_pDelete, m_pChecksum);
    setTabOrder(m_pChecksum, m_pHost);
    setTabOrder(m_pHost, m_pAdd);
    setTabOrder(m_pAdd, m_pFind);
    setTabOrder(m_pFind, m_pRemove);
    setTabOrder(m_pRemove, m_pList);
    setTabOrder(m_pList, m_pSend);
    setTabOrder(m_pSend, m_pCancelSelected);
    setTabOrder(m_pCancelSelected, m_pCancelAll);
    setTabOrder(m_pCancelAll, m_pSave);
    setTabOrder(m_pSave, m_pClose);

    connect(browse, &QPushButton::clicked, this, &CDlgSendMany::Browse);
    connect(m_pAdd, &QPushButton::clicked, this, &CDlgSendMany::AddTyped);
    connect(m_pFind, &QPushButton::clicked, this, &CDlgSendMany::Find);
    connect(m_pRemove, &QPushButton::clicked, this, &CDlgSendMany::RemoveSelected);
    connect(m_pSend, &QPushButton::clicked, this, &CDlgSendMany::Start);
    connect(m_pCancelSelected, &QPushButton::clicked, this, &CDlgSendMany::CancelSelected);
    connect(m_pCancelAll, &QPushButton::clicked, this, &CDlgSendMany::CancelAll);
    connect(m_pSave, &QPushButton::clicked, this, &CDlgSendMany::AskSaveReport);
    connect(m_pClose, &QPushButton::clicked, this, &CDlgSendMany::reject);
    connect(m_pList, &QTreeWidget::itemSelectionChanged, this, &CDlgSendMany::UpdateButtons);
    UpdateButtons();
}

CDlgSendMany::~CDlgSendMany() = default;

void CDlgSendMany::SetPcFolder(const QString& folder)
{
    m_pPcFolder->setText(QDir::toNativeSeparators(folder));
}

void CDlgSendMany::SetGeneratorFolder(const QString& folder)
{
    m_pFolder->setText(folder);
}

void CDlgSendMany::SetDeleteExtra(bool on)
{
    m_pDelete->setChecked(on);
}

void CDlgSendMany::SetCheckContents(bool on)
{
    m_pChecksum->setChecked(on);
}

const CGeneratorRun* CDlgSendMany::Run(int row) const
{
    return row >= 0 && size_t(row) < m_runs.size() ? m_runs.at(size_t(row)) : nullptr;
}

QStringList CDlgSendMany::Generators() const
{
    QStringList hosts;
    for (int row = 0; row < m_pList->topLevelItemCount(); ++row)
        hosts.append(m_pList->topLevelItem(row)->text(COLUMN_GENERATOR));
    return hosts;
}

bool CDlgSendMany::AddGenerator(const QString& text)
{
    QString error;
    const auto place = CHostPort::Parse(text.trimmed(), &error);
    if (!place) {
        ShowStop(this, u"Not a generator address: \"%1\"\n%2"_s.arg(text.trimmed(), error));
        return false;
    }
    // The port every generator uses needs no writing.
    CHostPort shown = *place;
    if (shown.m_nPort == COMMAND_PORT)
        shown.m_nPort = 0;
    const QString host = shown.Text();
    if (Generators().contains(host, Qt::CaseInsensitive))
        return false;
    if (Running() || !m_runs.empty()) {
        // A list that has run starts afresh.
        for (CGeneratorRun* run : m_runs)
            run->deleteLater();
        m_runs.clear();
        for (int row = 0; row < m_pList->topLevelItemCount(); ++row)
            m_pList->removeItemWidget(m_pList->topLevelItem(row), COLUMN_PROGRESS);
    }
    auto* item = new QTreeWidgetItem(m_pList, QStringList{host});
    item->setText(COLUMN_STATE, u"Ready"_s);
    UpdateButtons();
    return true;
}

void CDlgSendMany::AddTyped()
{
    const QString text = m_pHost->currentText().trimmed();
    if (text.isEmpty())
        return;
    if (AddGenerator(text))
        m_pHost->setCurrentText(QString());
}

void CDlgSendMany::Find()
{
    CDlgFindGenerators dialog(CDlgFindGenerators::SearchRanges(),
                              CDlgFindGenerators::SearchPorts(COMMAND_PORT), this);
    dialog.SetMultiSelection(true);
    if (dialog.exec() != QDialog::Accepted)
        return;
    for (const CHostPort& place : dialog.ChosenPlaces())
        AddGenerator(place.Text());
}

void CDlgSendMany::RemoveSelected()
{
    if (Running())
        return;
    const QList<QTreeWidgetItem*> selected = m_pList->selectedItems();
    for (QTreeWidgetItem* item : selected) {
        const int row = m_pList->indexOfTopLevelItem(item);
        if (size_t(row) < m_runs.size()) {
            m_runs.at(size_t(row))->deleteLater();
            m_runs.erase(m_runs.begin() + row);
        }
        delete item;
    }
    UpdateButtons();
}

void CDlgSendMany::Browse()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, u"PC Folder to Send"_s, m_pPcFolder->text());
    if (!folder.isEmpty())
        SetPcFolder(folder);
}

bool CDlgSendMany::Start()
{
    if (Running())
        return false;
    const QString pcFolder = QDir::fromNativeSeparators(m_pPcFolder->text().trimmed());
    const QString folder = m_pFolder->text().trimmed();
    if (pcFolder.isEmpty() || !QFileInfo(pcFolder).isDir()) {
        ShowStop(this, u"Choose a PC folder to send."_s);
        m_pPcFolder->setFocus();
        return false;
    }
    if (!folder.startsWith(u"/F0:/"_s, Qt::CaseInsensitive)) {
        ShowStop(this, u"The generator folder starts with /F0:/ (for example /F0:/PATTERN)."_s);
        m_pFolder->setFocus();
        return false;
    }
    if (m_pList->topLevelItemCount() == 0) {
        ShowStop(this, u"Add the generators to send to."_s);
        m_pHost->setFocus();
        return false;
    }
    if (m_pDelete->isChecked() &&
        QMessageBox::question(this, APP_TITLE,
                              u"What %1 holds on each generator and %2 lacks will be deleted there.\n"
                              "Send and delete?"_s.arg(folder, QDir::toNativeSeparators(pcFolder)),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return false;

    QStringList command{u"sync"_s, u"--recursive"_s};
    if (m_pDelete->isChecked())
        command << u"--delete"_s;
    if (m_pChecksum->isChecked())
        command << u"--checksum"_s;
    // No name is ever taken for an option.
    command << u"--"_s << QDir(pcFolder).absolutePath() << folder;

    for (CGeneratorRun* run : m_runs)
        run->deleteLater();
    m_runs.clear();
    m_strStarted = QDateTime::currentDateTime()
                       .toOffsetFromUtc(QDateTime::currentDateTime().offsetFromUtc())
                       .toString(Qt::ISODate);
    for (int row = 0; row < m_pList->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = m_pList->topLevelItem(row);
        auto* run = new CGeneratorRun(item->text(COLUMN_GENERATOR), command, this);
        m_runs.push_back(run);
        auto* bar = new QProgressBar;
        bar->setRange(0, 100);
        bar->setValue(0);
        m_pList->setItemWidget(item, COLUMN_PROGRESS, bar);
        for (const Column column : {COLUMN_IDENTITY, COLUMN_FILES, COLUMN_REASON})
            item->setText(column, QString());
        connect(run, &CGeneratorRun::Changed, this, [this, run] {
            const auto found = std::find(m_runs.begin(), m_runs.end(), run);
            if (found != m_runs.end())
                ShowRun(int(found - m_runs.begin()));
        });
        connect(run, &CGeneratorRun::Finished, this, &CDlgSendMany::RunEnded, Qt::QueuedConnection);
        ShowRun(row);
    }
    m_pSummary->setText(
        u"Sending %1 to %2 generators..."_s.arg(QDir::toNativeSeparators(pcFolder)).arg(m_runs.size()));
    StartNext();
    UpdateButtons();
    return true;
}

bool CDlgSendMany::Running() const
{
    return std::any_of(m_runs.begin(), m_runs.end(), [](const CGeneratorRun* run) { return !run->Ended(); });
}

void CDlgSendMany::StartNext()
{
    int running = 0;
    for (const CGeneratorRun* run : m_runs)
        running += run->GetState() == CGeneratorRun::State::Running ? 1 : 0;
    for (CGeneratorRun* run : m_runs) {
        if (running >= MAX_AT_ONCE)
            break;
        if (run->GetState() == CGeneratorRun::State::Waiting) {
            run->Start();
            ++running;
        }
    }
}

void CDlgSendMany::ShowRun(int row)
{
    QTreeWidgetItem* item = m_pList->topLevelItem(row);
    const CGeneratorRun* run = Run(row);
    if (!item || !run)
        return;
    if (auto* bar = qobject_cast<QProgressBar*>(m_pList->itemWidget(item, COLUMN_PROGRESS)))
        bar->setValue(run->Percent());
    item->setText(COLUMN_IDENTITY, run->Identity());
    QString files;
    if (run->Ended() && run->FilesInPlaceOf() >= 0)
        files = u"%1 sent, %2 of %3 in place"_s.arg(run->FilesDone())
                    .arg(run->FilesInPlace())
                    .arg(run->FilesInPlaceOf());
    else if (run->FilesPlanned() > 0 || run->Ended())
        files = u"%1 of %2"_s.arg(run->FilesDone()).arg(run->FilesPlanned());
    item->setText(COLUMN_FILES, files);
    item->setText(COLUMN_STATE, run->StateText());
    item->setText(COLUMN_REASON, run->Reason());
    // The whole of what the run said, where a long reason does not fit.
    item->setToolTip(COLUMN_REASON, (QStringList{run->Reason()} + run->Messages()).join(u'\n').trimmed());
}

void CDlgSendMany::RunEnded()
{
    StartNext();
    UpdateButtons();
    if (Running())
        return;
    int done = 0;
    int files = 0;
    for (const CGeneratorRun* run : m_runs) {
        done += run->GetState() == CGeneratorRun::State::Done ? 1 : 0;
        files += run->FilesDone();
    }
    m_pSummary->setText(u"%1 of %2 generators done, %3 %4 sent."_s.arg(done)
                            .arg(m_runs.size())
                            .arg(files)
                            .arg(files == 1 ? u"file"_s : u"files"_s));
    // The results stay on screen; saving them is the next thing offered.
    m_pSave->setFocus();
    Q_EMIT AllEnded();
}

void CDlgSendMany::CancelAll()
{
    for (CGeneratorRun* run : m_runs)
        run->Cancel();
}

void CDlgSendMany::CancelSelected()
{
    for (QTreeWidgetItem* item : m_pList->selectedItems()) {
        const int row = m_pList->indexOfTopLevelItem(item);
        if (size_t(row) < m_runs.size())
            m_runs.at(size_t(row))->Cancel();
    }
}

void CDlgSendMany::reject()
{
    if (Running()) {
        CancelAll();
        return;
    }
    QDialog::reject();
}

void CDlgSendMany::UpdateButtons()
{
    const bool running = Running();
    const bool ran = !m_runs.empty() && !running;
    m_pSend->setEnabled(!running);
    m_pCancelAll->setEnabled(running);
    m_pCancelSelected->setEnabled(running && !m_pList->selectedItems().isEmpty());
    m_pSave->setEnabled(ran);
    m_pRemove->setEnabled(!running && !m_pList->selectedItems().isEmpty());
    m_pAdd->setEnabled(!running);
    m_pFind->setEnabled(!running);
    m_pHost->setEnabled(!running);
}

QJsonDocument CDlgSendMany::ReportDocument() const
{
    QJsonArray documents;
    int done = 0;
    int files = 0;
    double bytes = 0;
    for (const CGeneratorRun* run : m_runs) {
        QJsonObject document = run->Document();
        document.insert(u"state"_s, run->StateText().toLower());
        if (!run->Reason().isEmpty())
            document.insert(u"reason"_s, run->Reason());
        documents.append(document);
        done += run->GetState() == CGeneratorRun::State::Done ? 1 : 0;
        files += run->FilesDone();
        bytes += document.value(u"summary"_s).toObject().value(u"bytes"_s).toDouble();
    }
    const int count = int(m_runs.size());
    return QJsonDocument(QJsonObject{
        {u"command"_s, u"sync"_s},
        {u"started"_s, m_strStarted},
        {u"source"_s, QDir::fromNativeSeparators(m_pPcFolder->text().trimmed())},
        {u"target"_s, m_pFolder->text().trimmed()},
        {u"delete"_s, m_pDelete->isChecked()},
        {u"checksum"_s, m_pChecksum->isChecked()},
        {u"generators"_s, documents},
        {u"summary"_s, QJsonObject{{u"generators"_s, count},
                                   {u"done"_s, done},
                                   {u"failed"_s, count - done},
                                   {u"files"_s, files},
                                   {u"bytes"_s, bytes}}},
    });
}

QByteArray CDlgSendMany::CsvTable() const
{
    QStringList lines{
        u"generator,maker,model,serial,firmware,state,files sent,files in place,files wanted,bytes,seconds,reason"_s};
    for (const CGeneratorRun* run : m_runs) {
        const QJsonObject document = run->Document();
        const QJsonObject identity = document.value(u"generator"_s).toObject();
        const QJsonObject summary = document.value(u"summary"_s).toObject();
        QStringList fields{run->Host()};
        for (const QString& key : {u"maker"_s, u"model"_s, u"serial"_s, u"firmware"_s})
            fields.append(identity.value(key).toString());
        // Blank where the run never got as far as saying.
        const auto count = [](int value) { return value >= 0 ? QString::number(value) : QString(); };
        fields << run->StateText().toLower() << QString::number(run->FilesDone())
               << count(run->FilesInPlace()) << count(run->FilesInPlaceOf())
               << QString::number(qint64(summary.value(u"bytes"_s).toDouble()))
               << QString::number(document.value(u"seconds"_s).toDouble(), 'f', 1) << run->Reason();
        for (QString& field : fields)
            field = CsvField(field);
        lines.append(fields.join(u','));
    }
    // CR LF: the line end spreadsheets on every system read.
    return (lines.join(u"\r\n"_s) + u"\r\n"_s).toUtf8();
}

bool CDlgSendMany::SaveReport(const QString& path)
{
    const bool json = path.endsWith(u".json"_s, Qt::CaseInsensitive);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(json ? ReportDocument().toJson(QJsonDocument::Indented) : CsvTable());
        if (file.commit())
            return true;
    }
    ShowStop(this, u"Cannot save the report : \"%1\"\n%2"_s.arg(QDir::toNativeSeparators(path),
                                                                file.errorString()));
    return false;
}

void CDlgSendMany::AskSaveReport()
{
    QString filter;
    const QString path = QFileDialog::getSaveFileName(this, u"Save Report"_s, u"send-report.json"_s,
                                                      u"JSON report (*.json);;CSV table (*.csv)"_s, &filter);
    if (path.isEmpty())
        return;
    QString target = path;
    // The type chosen gives the suffix a bare name lacks.
    if (QFileInfo(target).suffix().isEmpty())
        target += filter.contains(u"csv"_s) ? u".csv"_s : u".json"_s;
    SaveReport(target);
}
