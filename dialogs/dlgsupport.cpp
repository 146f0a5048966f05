#include "dialogs/dlgsupport.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <cmath>

using namespace Qt::StringLiterals;

namespace vqdlg {

namespace {
double AverageCharWidth(const QWidget* widget)
{
    static const QString letters = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"_s;
    return QFontMetricsF(widget->font()).horizontalAdvance(letters) / double(letters.size());
}
} // namespace

int DluX(const QWidget* widget, int units)
{
    return int(std::lround(units * AverageCharWidth(widget) / 4.0));
}

int DluY(const QWidget* widget, int units)
{
    return int(std::lround(units * QFontMetricsF(widget->font()).height() / 8.0));
}

void ShowStop(QWidget* owner, const QString& text)
{
    QApplication::beep();
    QMessageBox box(QMessageBox::Critical, APP_TITLE, text, QMessageBox::Ok, owner);
    box.exec();
}

int CheckLength(QWidget* owner, const QString& text, int limit)
{
    if (text.size() <= limit)
        return 1;
    ShowStop(owner,
             u"The path has %1 characters; no more than %2 are allowed."_s.arg(text.size()).arg(limit));
    return 0;
}

QGridLayout* FolderRows(QWidget* owner, QLineEdit* pcFolder, QPushButton* browse, QLineEdit* folder)
{
    auto* pcLabel = new QLabel(u"&PC folder:"_s, owner);
    pcLabel->setBuddy(pcFolder);
    auto* folderLabel = new QLabel(u"&Generator folder:"_s, owner);
    folderLabel->setBuddy(folder);
    auto* grid = new QGridLayout;
    grid->addWidget(pcLabel, 0, 0);
    grid->addWidget(pcFolder, 0, 1);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(folderLabel, 1, 0);
    grid->addWidget(folder, 1, 1);
    return grid;
}

} // namespace vqdlg
