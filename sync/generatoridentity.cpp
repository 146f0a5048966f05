#include "sync/generatoridentity.h"

#include <QStringList>

using namespace Qt::StringLiterals;

CGeneratorIdentity CGeneratorIdentity::FromReply(const QString& host, quint16 port, const QString& reply)
{
    CGeneratorIdentity identity;
    identity.m_strHost = host;
    identity.m_nPort = port;
    const QStringList fields = reply.split(u',');
    identity.m_strMaker = fields.value(0).trimmed();
    identity.m_strModel = fields.value(1).trimmed();
    identity.m_strSerial = fields.value(2).trimmed();
    // A firmware text with a comma of its own stays whole.
    identity.m_strFirmware = fields.mid(3).join(u',').trimmed();
    return identity;
}

CGeneratorIdentity CGeneratorIdentity::FromJson(const QJsonObject& object)
{
    CGeneratorIdentity identity;
    identity.m_strHost = object.value(u"host"_s).toString();
    identity.m_nPort = quint16(object.value(u"port"_s).toInt());
    identity.m_strMaker = object.value(u"maker"_s).toString();
    identity.m_strModel = object.value(u"model"_s).toString();
    identity.m_strSerial = object.value(u"serial"_s).toString();
    identity.m_strFirmware = object.value(u"firmware"_s).toString();
    return identity;
}

QJsonObject CGeneratorIdentity::ToJson() const
{
    return QJsonObject{{u"host"_s, m_strHost},   {u"port"_s, int(m_nPort)},  {u"maker"_s, m_strMaker},
                       {u"model"_s, m_strModel}, {u"serial"_s, m_strSerial}, {u"firmware"_s, m_strFirmware}};
}

QString CGeneratorIdentity::Key() const
{
    return u"%1:%2 %3,%4,%5"_s.arg(m_strHost).arg(m_nPort).arg(m_strMaker, m_strModel, m_strSerial);
}
