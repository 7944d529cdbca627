#include "requestlog.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sim {

namespace {
QString Now()
{
    return QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
}
} // namespace

RequestLog::RequestLog(const QString &fileName)
{
    if (fileName.isEmpty())
        return;
    m_file.setFileName(fileName);
    m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void RequestLog::LogRequest(int conn, const Request &r, const QString &action)
{
    if (!m_file.isOpen())
        return;
    QJsonObject o;
    o["time"] = Now();
    o["conn"] = conn;
    o["code"] = QStringLiteral("0x%1").arg(r.command, 4, 16, QLatin1Char('0'));
    o["name"] = CommandName(r.command);
    o["type"] = double(r.type);
    o["size"] = double(r.size);
    QJsonArray words;
    for (std::uint32_t w : r.words)
        words.append(double(w));
    o["words"] = words;
    o["version"] = QString::fromLatin1(r.version);
    if (r.command == COMMAND_LOGIN)
        o["user"] = QString::fromUtf8(r.userId);
    o["bytes"] = QString::fromLatin1(r.raw.toHex());
    o["action"] = action;
    Write(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void RequestLog::LogEvent(int conn, const QString &event, const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return;
    QJsonObject o;
    o["time"] = Now();
    o["conn"] = conn;
    o["event"] = event;
    if (!bytes.isEmpty())
        o["bytes"] = QString::fromLatin1(bytes.toHex());
    Write(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

void RequestLog::Write(const QByteArray &line)
{
    m_file.write(line);
    m_file.write("\n");
    m_file.flush();
}

} // namespace sim
