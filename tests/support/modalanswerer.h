#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal dialog of type T while a test waits for it: a timer
// that looks for the active modal widget and hands it to `answer`, which
// must close it. Works from inside the dialog's own event loop.
//
// A test never waits for ever on it: when the dialog is still open a while
// after its answer (an accept the dialog did not take, a message box it put
// up instead), whatever stands on top of it is closed and the answer is
// given again; after a few tries the dialog is closed and the test fails,
// saying why.
template <typename T> class CModalAnswerer final
{
public:
    static constexpr int RETRY_AFTER_MS = 1000;
    static constexpr int MAX_TRIES = 3;

    explicit CModalAnswerer(std::function<void(T*)> answer) : m_answer(std::move(answer))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { Look(); });
        m_timer.start();
    }
    CModalAnswerer(const CModalAnswerer&) = delete;
    CModalAnswerer& operator=(const CModalAnswerer&) = delete;

    int Answered() const { return m_nAnswered; }

private:
    void Look()
    {
        // The answer may run event loops of its own (a message box it brings
        // up, answered by another answerer): no second answer from inside it.
        if (m_bAnswering)
            return;
        QWidget* active = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<T*>(active);
        if (dialog && dialog != m_last) {
            m_last = dialog;
            m_nTries = 1;
            ++m_nAnswered;
            Answer(dialog);
            return;
        }
        if (!m_last || !m_last->isVisible() || m_since.elapsed() < RETRY_AFTER_MS)
            return;
        // Still open after its answer: close what stands on it, then try again.
        const QString stuck = Describe(active);
        for (int i = 0;
             i < 5 && QApplication::activeModalWidget() && QApplication::activeModalWidget() != m_last.data();
             ++i)
            Close(QApplication::activeModalWidget());
        if (m_nTries < MAX_TRIES) {
            ++m_nTries;
            Answer(m_last);
            return;
        }
        QTest::qFail(qPrintable(QStringLiteral("a %1 stayed open after %2 answers (on top: %3)")
                                    .arg(QString::fromLatin1(T::staticMetaObject.className()))
                                    .arg(m_nTries)
                                    .arg(stuck)),
                     __FILE__, __LINE__);
        Close(m_last);
        m_last = nullptr;
    }

    void Answer(T* dialog)
    {
        m_bAnswering = true;
        m_answer(dialog);
        m_bAnswering = false;
        m_since.start();
    }

    static QString Describe(QWidget* widget)
    {
        if (!widget)
            return QStringLiteral("nothing");
        return QString::fromLatin1(widget->metaObject()->className()) + QStringLiteral(" \"") +
               widget->windowTitle() + u'"';
    }

    static void Close(QWidget* widget)
    {
        if (auto* box = qobject_cast<QDialog*>(widget))
            box->done(QDialog::Rejected);
        else if (widget)
            widget->close();
    }

    std::function<void(T*)> m_answer;
    QTimer m_timer;
    QPointer<T> m_last;
    QElapsedTimer m_since;
    int m_nAnswered = 0;
    int m_nTries = 0;
    bool m_bAnswering = false;
};

// Types into a file dialog's name field and confirms, as a user does: once
// the dialog has read its folder, which it does in the background (until
// then a name it proposed could still be selected in its view, and the view's
// selection is what the dialog returns). The field takes the text even while
// it has the focus (selectFile would not then).
inline void TypeAndConfirm(QFileDialog* dialog, const QString& text)
{
    if (auto* model = dialog->findChild<QFileSystemModel*>()) {
        QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
        loaded.wait(1000);
    }
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit) {
        dialog->reject();
        return;
    }
    edit->setText(text);
    static_cast<QDialog*>(dialog)->accept(); // the confirm button's path
}
