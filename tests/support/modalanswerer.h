#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers the next modal dialog of type T while a test waits for it: a timer
// that looks for the active modal widget and hands it to `answer`, which
// must close it. Works from inside the dialog's own event loop.
template <typename T> class CModalAnswerer final
{
public:
    explicit CModalAnswerer(std::function<void(T*)> answer) : m_answer(std::move(answer))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
            auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            if (!dialog || dialog == m_last)
                return;
            m_last = dialog;
            ++m_nAnswered;
            m_answer(dialog);
        });
        m_timer.start();
    }
    CModalAnswerer(const CModalAnswerer&) = delete;
    CModalAnswerer& operator=(const CModalAnswerer&) = delete;

    int Answered() const { return m_nAnswered; }

private:
    std::function<void(T*)> m_answer;
    QTimer m_timer;
    QPointer<T> m_last;
    int m_nAnswered = 0;
};
