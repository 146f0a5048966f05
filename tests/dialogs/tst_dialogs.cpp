#include "app/appoptions.h"
#include "app/guihost.h"
#include "app/mainframe.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/dlgcopyprogress.h"
#include "dialogs/dlgerrorlist.h"
#include "dialogs/dlgfilekind.h"
#include "dialogs/dlgoptions.h"
#include "dialogs/dlgpreset.h"
#include "dialogs/dlgsequence.h"
#include "dialogs/dlgsupport.h"
#include "dialogs/vqfiledialog.h"
#include "link/appsettings.h"
#include "link/vqcomm.h"
#include "sim/simserver.h"
#include "tests/support/modalanswerer.h"
#include "tests/support/scriptedhost.h"
#include "views/uilistview.h"
#include "views/uitreeview.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QStringList ButtonTexts(const QWidget* dialog)
{
    QStringList texts;
    for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->isVisible())
            texts << button->text();
    }
    return texts;
}

// Answers every message box OK and keeps its text.
struct CMessageRecorder
{
    QStringList m_texts;
    CModalAnswerer<QMessageBox> m_answer{[this](QMessageBox* box) {
        m_texts << box->text();
        box->accept();
    }};
};

bool WriteFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class TestDialogs final : public QObject
{
    Q_OBJECT

private:
    CSimServer m_sim;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        CSimOptions options;
        options.m_nPort = 0;
        QVERIFY2(m_sim.Start(options), qPrintable(m_sim.ErrorString()));
        QVERIFY(m_dir.isValid());
    }

    // The link's question for each file goes to the dialog of its kind.
    void kindDialogs_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("edit");
        QTest::addColumn<bool>("ok");

        QTest::newRow("text file") << int(KIND_OTHER) << u"Preset file"_s << false << true;
        QTest::newRow("preset") << int(KIND_PRESET) << u"Preset file"_s << false << true;
        QTest::newRow("sequence") << int(KIND_SEQUENCE) << u"Sequence file"_s << true << true;
        QTest::newRow("logo") << int(KIND_LOGO) << u"Logo File"_s << false << true;
        QTest::newRow("download") << int(KIND_DOWNLOAD) << u"Download File"_s << false << true;
        QTest::newRow("picture") << int(KIND_PICTURE) << u"Picture File"_s << false << true;
        QTest::newRow("signal") << int(KIND_SIGNAL) << u"Signal File"_s << false << true;
        QTest::newRow("signal, cancel") << int(KIND_SIGNAL) << u"Signal File"_s << false << false;
    }

    void kindDialogs()
    {
        QFETCH(int, kind);
        QFETCH(QString, caption);
        QFETCH(bool, edit);
        QFETCH(bool, ok);

        const QString path = u"/home/lab/my signals/A FILE.txt"_s;
        struct Seen
        {
            QString caption, file;
            QStringList buttons;
            bool readOnly = false;
            int gap = -1; // from Edit to OK
            int wantedGap = 0;
        } seen;
        CModalAnswerer<CDlgFileKind> answer([&seen, ok](CDlgFileKind* dialog) {
            seen.caption = dialog->windowTitle();
            seen.file = dialog->FileEdit()->text();
            seen.readOnly = dialog->FileEdit()->isReadOnly();
            seen.buttons = ButtonTexts(dialog);
            for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
                if (button->text() == u"Edit")
                    seen.gap =
                        dialog->OkButton()->mapTo(dialog, QPoint()).x() - button->geometry().right() - 1;
            }
            seen.wantedGap = vqdlg::DluX(dialog, 9);
            QTest::mouseClick(ok ? dialog->OkButton() : dialog->CancelButton(), Qt::LeftButton);
        });
        CGuiHost host;
        QCOMPARE(host.ConfirmDownload(FileKind(kind), path), ok ? IDOK : IDCANCEL);
        QCOMPARE(answer.Answered(), 1);
        QCOMPARE(seen.caption, caption);
        QCOMPARE(seen.file, path);
        QVERIFY(seen.readOnly);
        QCOMPARE(seen.buttons.contains(u"Edit"_s), edit);
        if (edit)
            QVERIFY2(seen.gap >= seen.wantedGap, qPrintable(QString::number(seen.gap)));
        QVERIFY(seen.buttons.contains(u"OK"_s) && seen.buttons.contains(u"Cancel"_s));
    }

    // OK refuses a path beyond the preset dialog's limit with a message and
    // leaves the dialog open; the other kinds take any length.
    void pathLimit_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("preset at the limit") << int(KIND_PRESET) << 256 << true;
        QTest::newRow("preset beyond") << int(KIND_OTHER) << 257 << false;
        QTest::newRow("logo beyond") << int(KIND_LOGO) << 400 << true;
    }

    void pathLimit()
    {
        QFETCH(int, kind);
        QFETCH(int, length);
        QFETCH(bool, accepted);
        const QString path = u"/"_s + QString(length - 5, u'p') + u".pst"_s;
        QCOMPARE(path.size(), length);
        const auto dialog = CDlgFileKind::Create(FileKind(kind), QString());
        dialog->SetFile(path);
        dialog->show();
        CMessageRecorder messages;
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        QCOMPARE(dialog->result() == QDialog::Accepted, accepted);
        QCOMPARE(dialog->isVisible(), !accepted);
        QCOMPARE(messages.m_texts.size(), accepted ? 0 : 1);
        if (!accepted)
            QVERIFY(messages.m_texts.constFirst().contains(QString::number(length)));
    }

    // Edit starts the editor with the path as its one argument, unquoted;
    // an editor that cannot start is reported; the dialog stays open.
    void edit_data()
    {
        QTest::addColumn<bool>("editorExists");
        QTest::newRow("editor") << true;
        QTest::newRow("no editor") << false;
    }

    void edit()
    {
        QFETCH(bool, editorExists);
        const QString output = m_dir.filePath(u"editor-output"_s);
        QFile::remove(output);
        qputenv("VQ_TESTEDITOR_OUTPUT", QFile::encodeName(output));
        const QString editor = QCoreApplication::applicationDirPath() + u"/vq-testeditor"_s;

        const QString path = u"/tmp/with blanks/A SEQ.seq"_s;
        CDlgSequence dialog(editorExists ? editor : m_dir.filePath(u"missing-editor"_s));
        dialog.SetFile(path);
        dialog.show();
        CMessageRecorder messages;
        QTest::mouseClick(dialog.EditButton(), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        if (editorExists) {
            QTRY_VERIFY(QFile::exists(output));
            QFile file(output);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromLocal8Bit(file.readAll()), u"1|"_s + path);
            QVERIFY(messages.m_texts.isEmpty());
        } else {
            // Which program was tried, and where another is chosen.
            QCOMPARE(messages.m_texts,
                     QStringList{u"Error: Cannot find this editor : \"%1\"\n\n"
                                 "Utility, Options chooses another editor."_s.arg(dialog.Editor())});
        }
        dialog.reject();
    }

    // OK takes the field under its limit; Cancel changes nothing.
    void options_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("editor"); // after the run
        QTest::addColumn<int>("messages");
        QTest::newRow("ok") << u"/usr/bin/vi"_s << true << u"/usr/bin/vi"_s << 0;
        QTest::newRow("cancel") << u"/usr/bin/vi"_s << false << u"xdg-open"_s << 0;
        QTest::newRow("too long") << QString(257, u'e') << true << u"xdg-open"_s << 1;
    }

    void options()
    {
        QFETCH(QString, typed);
        QFETCH(bool, ok);
        QFETCH(QString, editor);
        QFETCH(int, messages);
        CDlgOptions dialog(u"xdg-open"_s);
        QCOMPARE(dialog.windowTitle(), u"Set Options"_s);
        QCOMPARE(dialog.findChild<QGroupBox*>()->title(), u"Options"_s);
        QCOMPARE(dialog.EditorEdit()->text(), u"xdg-open"_s);
        QCOMPARE(dialog.BrowseButton()->text(), u"...."_s);
        QCOMPARE(dialog.UnpacedBox()->text(), u"Copy to the PC &without pauses"_s);
        dialog.SetUploadWithoutPauses(false);
        dialog.show();
        CMessageRecorder recorder;
        dialog.EditorEdit()->setText(typed);
        dialog.UnpacedBox()->setChecked(true);
        if (ok)
            dialog.accept();
        else
            dialog.reject();
        QCOMPARE(dialog.Editor(), editor);
        QCOMPARE(dialog.UploadWithoutPauses(), dialog.result() == QDialog::Accepted);
        QCOMPARE(recorder.m_texts.size(), messages);
        QCOMPARE(dialog.isVisible(), messages > 0);
    }

    // "...." picks the editor program; a chosen file refills the field.
    void optionsBrowse()
    {
        const auto browse = CDlgOptions::MakeBrowseDialog(nullptr);
        QCOMPARE(browse->nameFilters(), (QStringList{u"Executable File (*.exe)"_s, u"All Files (*)"_s}));
        QCOMPARE(browse->fileMode(), QFileDialog::ExistingFile);

#ifdef Q_OS_WIN
        // A program there has its suffix, which the chooser adds when it is missing.
        const QString program = m_dir.filePath(u"myeditor.exe"_s);
#else
        const QString program = m_dir.filePath(u"myeditor"_s);
#endif
        QVERIFY(WriteFile(program, "x"));
        CDlgOptions dialog(u"xdg-open"_s);
        // Through the folder and the name field: selectFile leaves the field
        // alone while it has the focus, and the accept then finds no file.
        CModalAnswerer<QFileDialog> answer([this, &program](QFileDialog* chooser) {
            chooser->selectNameFilter(u"All Files (*)"_s);
            chooser->setDirectory(m_dir.path());
            TypeAndConfirm(chooser, QFileInfo(program).fileName());
        });
        dialog.show();
        QTest::mouseClick(dialog.BrowseButton(), Qt::LeftButton);
        QCOMPARE(answer.Answered(), 1);
        QCOMPARE(dialog.EditorEdit()->text(), QDir::toNativeSeparators(program));
        QCOMPARE(dialog.Editor(), u"xdg-open"_s); // only OK takes it
    }

    // The list: the queue up to the line that ends it, then what the program
    // read of it before, under a heading, each marked.
    void errorList_data()
    {
        QTest::addColumn<QStringList>("kept");
        QTest::addColumn<int>("queued");
        QTest::addColumn<QByteArray>("scripted"); // the first answer instead of the queue's
        QTest::addColumn<bool>("connected");
        QTest::addColumn<QStringList>("lines"); // before the heading

        const QString clear = u"0,\"No error\""_s;
        const QString e1 = u"-256,\"Error 1\""_s, e2 = u"-256,\"Error 2\""_s, e3 = u"-256,\"Error 3\""_s;
        QTest::newRow("empty queue") << QStringList() << 0 << QByteArray() << true << QStringList{clear};
        QTest::newRow("three errors")
            << QStringList() << 3 << QByteArray() << true << QStringList{e1, e2, e3, clear};
        QTest::newRow("a line not starting with a number ends it")
            << QStringList() << 2 << QByteArray("Busy\n") << true << QStringList{u"Busy"_s};
        QTest::newRow("read earlier: after the queue") << QStringList{u"-113,\"Undefined header\""_s} << 1
                                                       << QByteArray() << true << QStringList{e1, clear};
        QTest::newRow("not connected: what was read earlier")
            << QStringList{u"-113,\"Undefined header\""_s} << 0 << QByteArray() << false << QStringList();
    }

    void errorList()
    {
        QFETCH(QStringList, kept);
        QFETCH(int, queued);
        QFETCH(QByteArray, scripted);
        QFETCH(bool, connected);
        QFETCH(QStringList, lines);

        CScriptedHost host;
        CVQComm comm(&host);
        comm.SetHost(m_sim.Address().toString());
        comm.SetPort(m_sim.Port());
        if (connected)
            QVERIFY(comm.Connect());
        m_sim.ClearErrors();
        for (int i = 1; i <= queued; ++i)
            m_sim.PushError(-256, u"Error %1"_s.arg(i));
        if (!scripted.isEmpty())
            m_sim.SetScriptedReply("stat:que:next?", scripted, true);
        comm.KeepErrors(kept, u"shown for \"/F0:/USER/A\""_s);
        const auto withEarlier = [&comm](QStringList shown, qsizetype earlier) {
            if (earlier > 0)
                shown << CDlgErrorList::EARLIER_HEADING;
            for (qsizetype i = 0; i < earlier; ++i)
                shown << CDlgErrorList::MarkedEntry(comm.TakenErrors().at(i));
            return shown;
        };

        {
            CDlgErrorList dialog(&comm);
            QCOMPARE(dialog.windowTitle(), u"VQ Error"_s);
            QCOMPARE(dialog.findChild<QGroupBox*>()->title(), u"Error List"_s);
            QCOMPARE(dialog.ListBox()->selectionMode(), QAbstractItemView::NoSelection);
            QCOMPARE(dialog.Lines(), withEarlier(lines, kept.size()));
        }
        QVERIFY(host.MessageTexts().isEmpty());
        if (connected && scripted.isEmpty()) {
            // What was read is gone from the generator: the next look shows
            // the end of the queue, then everything read before, marked.
            QCOMPARE(comm.TakenErrors().size(), kept.size() + queued);
            CDlgErrorList again(&comm);
            QCOMPARE(again.Lines(), withEarlier({u"0,\"No error\""_s}, kept.size() + queued));
            if (queued > 0)
                QVERIFY(again.Lines().last().contains(u"Error %1\"   [read "_s.arg(queued)));
        }
        m_sim.ClearScriptedReplies();
        m_sim.ClearErrors();
    }

    void about()
    {
        CAboutDlg dialog;
        QCOMPARE(dialog.windowTitle(), u"About VQ8Comm"_s);
        QStringList texts;
        bool icon = false;
        for (const QLabel* label : dialog.findChildren<QLabel*>()) {
            icon = icon || !label->pixmap().isNull();
            if (!label->text().isEmpty())
                texts << label->text();
        }
        QVERIFY(icon);
        QCOMPARE(texts.mid(0, 2), (QStringList{u"VQ8 Comm Version 5.6"_s, u"Build Date: 2011 Oct 18"_s}));
        QCOMPARE(texts.size(), 3);
        // --version prints the box's two lines.
        QCOMPARE(CAppOptions::VERSION_TEXT, texts.mid(0, 2).join(u'\n') + u'\n');
        QCOMPARE(ButtonTexts(&dialog), QStringList()); // not shown yet
        dialog.show();
        QCOMPARE(ButtonTexts(&dialog), QStringList{u"OK"_s});
    }

    void convertFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("converted");
        QTest::newRow("one") << u"Logo File (*.lgo)|*.lgo|"_s << QStringList{u"Logo File (*.lgo)"_s};
        QTest::newRow("all files match names without a dot")
            << u"All Files (*.*)|*.*|"_s << QStringList{u"All Files (*)"_s};
        QTest::newRow("description without patterns, several patterns")
            << u"Pictures|*.bmp;*.pic|Text (*.txt)|*.txt|"_s
            << QStringList{u"Pictures (*.bmp *.pic)"_s, u"Text (*.txt)"_s};
        QTest::newRow("no closing bar")
            << u"A (*.a)|*.a|B (*.b)|*.b"_s << QStringList{u"A (*.a)"_s, u"B (*.b)"_s};
    }

    void convertFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, converted);
        QCOMPARE(CVQFileDialog::ConvertFilter(filter), converted);
    }

    // The two choosers: title, confirm button, filters and the one chosen first.
    void fileDialogs_data()
    {
        QTest::addColumn<bool>("download");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("index");

        QTest::newRow("PC to VQ") << true << 0 << u"PC to VQ Download"_s << u"Download"_s
                                  << u"All Files (*)"_s << 1;
        const QList<std::tuple<FileKind, QString, int>> kinds = {
            {KIND_DOWNLOAD, u"Download File (*.dnl)"_s, 1},
            {KIND_LOGO, u"Logo File (*.lgo)"_s, 2},
            {KIND_PRESET, u"Preset File (*.pst)"_s, 3},
            {KIND_SEQUENCE, u"Sequence File (*.seq)"_s, 4},
            {KIND_SIGNAL, u"Signal File (*.cmp)"_s, 5},
            {KIND_PICTURE, u"Picture File (*.pic)"_s, 6},
            {KIND_OTHER, u"All Files (*)"_s, 7},
        };
        for (const auto& [kind, filter, index] : kinds)
            QTest::addRow("VQ to PC, kind %d", int(kind))
                << false << int(kind) << u"VQ to PC Upload"_s << u"Upload"_s << filter << index;
    }

    void fileDialogs()
    {
        QFETCH(bool, download);
        QFETCH(int, kind);
        QFETCH(QString, title);
        QFETCH(QString, button);
        QFETCH(QString, filter);
        QFETCH(int, index);
        const auto dialog = download ? CVQFileDialog::MakeDownloadDialog()
                                     : CVQFileDialog::MakeUploadDialog(u"B0.SEQ"_s, FileKind(kind));
        QCOMPARE(dialog->windowTitle(), title);
        QCOMPARE(dialog->AcceptText(), button);
        QCOMPARE(dialog->selectedNameFilter(), filter);
        QCOMPARE(dialog->FilterIndex(), index);
        QCOMPARE(dialog->nameFilters().size(), download ? 10 : 7);
        QCOMPARE(dialog->fileMode(), download ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
        QCOMPARE(dialog->acceptMode(), download ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
        // Qt's own dialog here, its button renamed.
        dialog->show();
        QVERIFY(ButtonTexts(dialog.get()).contains(button));
        dialog->reject();
    }

    // Several files at once, full paths in the dialog's order.
    void downloadChooser()
    {
        const QString a = m_dir.filePath(u"A.TXT"_s), b = m_dir.filePath(u"b c.seq"_s);
        QVERIFY(WriteFile(a, "a") && WriteFile(b, "b"));
        {
            CModalAnswerer<CVQFileDialog> answer([this](CVQFileDialog* dialog) {
                dialog->setDirectory(m_dir.path());
                dialog->findChild<QLineEdit*>(u"fileNameEdit"_s)->setText(u"\"A.TXT\" \"b c.seq\""_s);
                static_cast<QDialog*>(dialog)->accept();
            });
            QCOMPARE(CVQFileDialog::AskDownloadFiles(nullptr),
                     (QStringList{QDir::toNativeSeparators(a), QDir::toNativeSeparators(b)}));
        }
        CModalAnswerer<CVQFileDialog> cancel([](CVQFileDialog* dialog) { dialog->reject(); });
        QCOMPARE(CVQFileDialog::AskDownloadFiles(nullptr), QStringList());
    }

    // Saving over a file asks first; No keeps the chooser open.
    void uploadOverwrite_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("replace") << true;
        QTest::newRow("keep") << false;
    }

    void uploadOverwrite()
    {
        QFETCH(bool, replace);
        const QString target = m_dir.filePath(u"B0.SEQ"_s);
        QVERIFY(WriteFile(target, "old"));
        QStringList asked;
        CModalAnswerer<QMessageBox> question([&asked, replace](QMessageBox* box) {
            asked << box->text();
            box->button(replace ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        bool stayedOpen = false;
        CModalAnswerer<CVQFileDialog> answer([this, &stayedOpen](CVQFileDialog* dialog) {
            dialog->setDirectory(m_dir.path());
            TypeAndConfirm(dialog, u"B0.SEQ"_s);
            stayedOpen = dialog->isVisible();
            if (stayedOpen)
                dialog->reject();
        });
        const QString chosen = CVQFileDialog::AskUploadTarget(u"B0.SEQ"_s, KIND_SEQUENCE, nullptr);
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked.constFirst().contains(u"B0.SEQ"_s));
        QCOMPARE(stayedOpen, !replace);
        QCOMPARE(chosen, replace ? QDir::toNativeSeparators(target) : QString());
    }

    // A batch from the desktop program: the kind dialog, then the progress
    // dialog owned by the main window until the batch ends.
    // Cancel ends a batch without a message: the generator's refusal of
    // the block Cancel cut short is its own doing and is taken off quietly
    // (kept for the error list), but no other entry of the queue.
    void guiBatch_data()
    {
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("cancel");  // Cancel of the progress dialog during the copy
        QTest::addColumn<bool>("another"); // the generator queues something else meanwhile
        QTest::newRow("confirmed") << true << false << false;
        QTest::newRow("cancelled") << false << false << false;
        QTest::newRow("Cancel during the copy") << true << true << false;
        QTest::newRow("Cancel, and another refusal") << true << true << true;
    }

    void guiBatch()
    {
        QFETCH(bool, confirm);
        QFETCH(bool, cancel);
        QFETCH(bool, another);
        CMessageRecorder messages;
        const QString name =
            QString::fromLatin1(QTest::currentDataTag()).left(6).toUpper().remove(u' ') + u".SEQ"_s;
        const QString pcPath = m_dir.filePath(name);
        // More than the system's buffers of a connection hold: the stalled
        // copy cannot end before the Cancel.
        const QByteArray data(20000000, 'q');
        QVERIFY(WriteFile(pcPath, data));

        // A generator that stops taking the file after its first chunk, and
        // serves one connection at a time: the channel opened again after
        // the batch closes the transfer connection Cancel left, and the
        // generator queues its refusal of the block cut short before the
        // batch's end reads the queue.
        CSimServer sim;
        CSimOptions options;
        options.m_nPort = 0;
        options.m_nMaxConnections = 1;
        QVERIFY(sim.Start(options));
        CSimFaults faults;
        faults.m_bStallTransfer = cancel;
        sim.SetFaults(faults);

        CGuiHost gui;
        CVQComm comm(&gui);
        comm.SetHost(sim.Address().toString());
        comm.SetPort(sim.Port());
        comm.SetDelayScale(0.02);
        CAppSettings settings;
        CMainFrame frame(&comm, &settings);
        gui.SetMainFrame(&frame);
        gui.SetComm(&comm);
        frame.show();
        QVERIFY(comm.Connect());
        frame.TreeView()->RebuildTree();
        const QString folder = u"/F0:/USER"_s;
        QString caption;
        CModalAnswerer<CDlgFileKind> answer([&caption, confirm](CDlgFileKind* dialog) {
            caption = dialog->windowTitle();
            if (confirm)
                dialog->accept();
            else
                dialog->reject();
        });
        comm.PrepareDownload({QDir::toNativeSeparators(pcPath)}, folder);
        QCOMPARE(caption, u"Sequence file"_s);
        QPointer<CDlgCopyProgress> progress = frame.findChild<CDlgCopyProgress*>();
        QCOMPARE(!progress.isNull(), confirm);
        if (confirm) {
            QVERIFY(progress->isVisible());
            QCOMPARE(progress->parent(), &frame);
            QVERIFY(progress->FileNameText().startsWith(name));
            if (cancel) {
                // "Copying..." and the file under way.
                QTRY_VERIFY(sim.AllReceived().contains("#820000000"));
                if (another)
                    sim.PushError(-113, u"Undefined header"_s);
                QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
            }
            QTRY_VERIFY_WITH_TIMEOUT(progress.isNull(), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(comm.IsConnected() && !comm.IsInBatch(), 10000);
            QCOMPARE(sim.FileData(folder + u'/' + name), cancel ? QByteArray() : data);
        } else {
            QVERIFY(!sim.Exists(folder + u'/' + name));
        }
        QTest::qWait(100);
        QVERIFY2(messages.m_texts.size() == (another ? 1 : 0), qPrintable(messages.m_texts.join(u" | "_s)));
        QCOMPARE(messages.m_texts, another
                                       ? QStringList{u"The generator reported:\n-113,\"Undefined header\""_s}
                                       : QStringList());
        QVERIFY(sim.ErrorQueue().isEmpty());
        if (cancel) {
            // Read, not lost: the error list shows it among what was read.
            const auto taken = comm.TakenErrors();
            QVERIFY(std::any_of(taken.cbegin(), taken.cend(), [](const CVQComm::CTakenError& each) {
                return each.m_strEntry.startsWith(u"-161,"_s) && each.m_strNote.contains(u"Cancel"_s);
            }));
        }
        comm.EndTransfers();
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
