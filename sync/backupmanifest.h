#pragma once

#include "sync/generatoridentity.h"

#include <QByteArray>
#include <QDateTime>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringList>

// What a backup holds, written beside its files: the generator and its
// folder, when and by what it was taken, and every file with its size and
// SHA-256, so a restore can prove both the backup and the generator.
class CBackupManifest final
{
public:
    // The manifest's name at the top of a backup folder; a sync leaves it out.
    static constexpr QLatin1StringView FILE_NAME{"vq8-backup.json"};

    struct CFile
    {
        QString m_strPath; // below the backed-up folder, names joined with "/"
        qint64 m_nSize = 0;
        QByteArray m_sha256;
    };

    CGeneratorIdentity m_generator;
    QString m_strFolder; // the generator folder backed up ("/F0:/" for all of it)
    QDateTime m_taken;
    QString m_strTool;     // "vq8ctl 5.6"
    QStringList m_folders; // below the folder, parents first (empty ones too)
    QList<CFile> m_files;

    QByteArray ToJson() const;
    // False with the reason when `text` is not a whole manifest.
    static bool FromJson(const QByteArray& text, CBackupManifest& manifest, QString* error);

    // FILE_NAME in the PC folder `pcFolder`, written whole or not at all.
    bool Write(const QString& pcFolder, QString* error) const;
    static bool Read(const QString& pcFolder, CBackupManifest& manifest, QString* error);
    static QString PathIn(const QString& pcFolder);
};
