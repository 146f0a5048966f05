#include "app/localechange.h"

void RelayLocaleChanges(QWidget*)
{
    // QApplication passes a LocaleChange of its own on to every window.
}
