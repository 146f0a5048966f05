#include "app/localechange.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <windows.h>

namespace {

// The system's announcement, as a LocaleChange of the application.
class CSettingChangeFilter final : public QAbstractNativeEventFilter
{
public:
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override
    {
        if (eventType != "windows_generic_MSG")
            return false;
        const auto* msg = static_cast<const MSG*>(message);
        if (msg->message == WM_SETTINGCHANGE && msg->lParam != 0 &&
            ::lstrcmpiW(reinterpret_cast<LPCWSTR>(msg->lParam), L"intl") == 0)
            QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::LocaleChange));
        return false;
    }
};

// A LocaleChange of the application, passed on to the widgets of one window.
class CLocaleChangeRelay final : public QObject
{
public:
    explicit CLocaleChangeRelay(QWidget* window) : QObject(window), m_pWindow(window)
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::LocaleChange) {
            QList<QWidget*> widgets = m_pWindow->findChildren<QWidget*>();
            widgets.prepend(m_pWindow);
            for (QWidget* widget : std::as_const(widgets)) {
                if (widget->testAttribute(Qt::WA_SetLocale))
                    continue;
                QEvent change(QEvent::LocaleChange);
                QCoreApplication::sendEvent(widget, &change);
            }
        }
        return false;
    }

private:
    QWidget* m_pWindow;
};

} // namespace

void RelayLocaleChanges(QWidget* window)
{
    static CSettingChangeFilter filter; // one for the process, as long as it runs
    static const bool installed = [] {
        QCoreApplication::instance()->installNativeEventFilter(&filter);
        return true;
    }();
    Q_UNUSED(installed);
    new CLocaleChangeRelay(window);
}
