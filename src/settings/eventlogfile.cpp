#include "settings/eventlogfile.h"

#include "settings/globalchannel.h"

#include <QDate>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

bool CEventLogFile::Write(const uint8_t *pData, std::size_t nLength) const
{
    QSaveFile file(m_szPath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (nLength > 0 && file.write(reinterpret_cast<const char *>(pData),
                                  static_cast<qint64>(nLength)) != static_cast<qint64>(nLength)) {
        file.cancelWriting();
        return false;
    }
    // commit() flushes, syncs and renames; a full disk shows up here.
    return file.commit();
}

bool CEventLogFile::Delete() const
{
    return QFile::remove(m_szPath) || !QFile::exists(m_szPath);
}

bool CEventLogFile::Exists() const
{
    return QFile::exists(m_szPath);
}

CEventLogFile CEventLogFile::OfRecorder(int nRecorder)
{
    if (nRecorder <= 0)
        return CEventLogFile();
    CEventLogFile file(QStringLiteral("AlarmEvent%1.am").arg(nRecorder + 1));
    file.m_nRecorder = nRecorder;
    return file;
}

std::vector<EventEntry> CEventLogFile::Read(bool *pbCut) const
{
    if (pbCut)
        *pbCut = false;
    QFile file(m_szPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // One byte past the cap tells a longer file from one of exactly the cap.
    const QByteArray content = file.read(static_cast<qint64>(MAX_READ_BYTES) + 1);
    const std::size_t nLength = std::min<std::size_t>(content.size(), MAX_READ_BYTES);
    if (pbCut)
        *pbCut = static_cast<std::size_t>(content.size()) > MAX_READ_BYTES;
    std::vector<EventEntry> entries =
        ParseRecords(reinterpret_cast<const uint8_t *>(content.constData()), nLength);
    // Another recorder's rows name its cameras by their global numbers; a row without
    // a camera (channel 0) keeps "CH0" rather than naming another recorder's camera.
    if (m_nRecorder > 0)
        for (EventEntry &entry : entries)
            if (entry.record.byChannel >= 1)
                entry.szChannel = GlobalChannel::Of(m_nRecorder, entry.record.byChannel - 1).Text();
    return entries;
}

std::vector<EventEntry> CEventLogFile::ParseRecords(const uint8_t *pData, std::size_t nLength)
{
    std::vector<EventEntry> entries;
    for (std::size_t offset = 0; pData && nLength - offset >= RECORD_SIZE; offset += RECORD_SIZE) {
        EventEntry entry;
        std::memcpy(&entry.record, pData + offset, RECORD_SIZE);
        const EventRecord &r = entry.record;
        if (!IsListed(r))
            continue;
        entry.nYear = r.byYear + 1996;
        entry.szChannel = QStringLiteral("CH%1").arg(r.byChannel);
        entry.szAlarmType = AlarmTypeText(r.byEvents);
        entry.szDateTime = QString::asprintf("[ %04d/%02d/%02d ] %02d:%02d:%02d", entry.nYear,
                                             r.byMonth, r.byDay, r.byHour, r.byMinute, r.bySecond);
        entry.bPlayable = IsPlayable(r);
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool CEventLogFile::IsListed(const EventRecord &r)
{
    return r.byChannel <= 4 && r.byYear <= 100 && r.byMonth <= 12 && r.byDay <= 31 &&
           r.byHour <= 24 && r.byMinute <= 59 && r.bySecond <= 59;
}

bool CEventLogFile::IsPlayable(const EventRecord &r)
{
    return IsListed(r) && r.byChannel >= 1 && r.byYear <= MAX_PLAYABLE_YEAR_OFFSET &&
           QDate::isValid(r.byYear + 1996, r.byMonth, r.byDay);
}

QString CEventLogFile::AlarmTypeText(uint8_t byEvents)
{
    if (byEvents == 0)
        return QStringLiteral("No Event");
    QString text;
    for (int bit = 7; bit >= 0; --bit) {
        if (byEvents & (1u << bit))
            text += QLatin1String(EVENT_TEXTS[7 - bit]);
    }
    return text;
}
