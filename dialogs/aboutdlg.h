#pragma once

#include <QDialog>
#include <QString>

// The about box: the program's icon, name and version, build date and notice.
class CAboutDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CAboutDlg)

public:
    static inline const QString VERSION_LINE = QStringLiteral("VQ8 Comm Version 5.6");
    static inline const QString BUILD_DATE_LINE = QStringLiteral("Build Date: 2011 Oct 18");
    static inline const QString LEGAL_NOTICE =
        QStringLiteral("Copyright \u00A9 2011 Veltrane. All rights reserved.");

    explicit CAboutDlg(QWidget* parent = nullptr);
};
