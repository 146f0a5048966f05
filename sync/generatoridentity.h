#pragma once

#include <QJsonObject>
#include <QString>

// A generator as a record or a report names it: where it was reached and
// what it answered to "*idn?" ("VELTRANE,VQ820,1002,5.60").
struct CGeneratorIdentity
{
    QString m_strHost;
    quint16 m_nPort = 0;
    QString m_strMaker;
    QString m_strModel;
    QString m_strSerial;
    QString m_strFirmware;

    // The reply's four fields, blanks trimmed; fields it lacks stay empty.
    static CGeneratorIdentity FromReply(const QString& host, quint16 port, const QString& reply);
    static CGeneratorIdentity FromJson(const QJsonObject& object);
    // {"host", "port", "maker", "model", "serial", "firmware"}
    QJsonObject ToJson() const;

    // What tells one generator's files from another's: the address and port
    // (emulators all answer serial 0), maker, model and serial. Not the
    // firmware: an update keeps the files.
    QString Key() const;
};
