#include "ui/live/statuspanel.h"

#include "ui/controls/skinfont.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace {

const QColor kTextColour(0, 255, 0);
const QColor kBackColour(0, 0, 0);
const QColor kAlarmColour(255, 176, 0);

constexpr int kSingleLine = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

// Draws one text on a black background the size of its extent, as a text drawn
// with an opaque background would look.
void DrawOpaqueText(QPainter &painter, const QRect &rc, int nFlags, const QString &text)
{
    if (text.isEmpty())
        return;
    const QRect rcText = painter.boundingRect(rc, nFlags, text).intersected(rc);
    painter.fillRect(rcText, kBackColour);
    painter.save();
    painter.setClipRect(rc);
    painter.drawText(rc, nFlags, text);
    painter.restore();
}

// Draws a word-wrapped text from the top of its rectangle, one line per cell height
// of the font (Qt's own line spacing for this font is tighter than the cell).
void DrawWrappedText(QPainter &painter, const QRect &rc, const QString &text)
{
    const QStringList lines = WrapWords(text, painter.fontMetrics(), rc.width());
    QRect rcLine(rc.left(), rc.top(), rc.width(), kSmallFontLineHeight);
    for (const QString &line : lines) {
        if (rcLine.top() >= rc.bottom())
            break;
        DrawOpaqueText(painter, rcLine.intersected(rc), kSingleLine, line);
        rcLine.translate(0, kSmallFontLineHeight);
    }
}

} // namespace

QString EventText(uint32_t dwEventWord)
{
    const unsigned nChannel = dwEventWord & 0xFF;
    const unsigned nMotion = (dwEventWord >> 8) & 0xFF;
    const unsigned nLoss = (dwEventWord >> 16) & 0xFF;
    const unsigned nAlarm = (dwEventWord >> 24) & 0xFF;
    return QString::asprintf("[CH %u] [Alarm:%u Loss:%u Motion:%u]", nChannel, nAlarm, nLoss,
                             nMotion);
}

QString StatusText(uint32_t nCode, uint8_t byRetryCount, uint32_t dwEventWord)
{
    switch (nCode & 0xFF) {
    case STATUS_WAITING:
        return QStringLiteral("WAITING FOR CONNECTION.");
    case STATUS_ESTABLISHED:
        return QStringLiteral("CONNECTION ESTABLISHED.");
    case STATUS_CONNECTING:
        return QStringLiteral("CONNECTING..");
    case STATUS_RECONNECTING:
        return QStringLiteral("TRY RECONNECTION");
    case STATUS_CONNECT_FAIL:
        return QStringLiteral("CONNECTION FAIL:");
    case STATUS_TRY_REQUEST:
        return QString::asprintf("%s %d", "TRY REQUEST IMAGE", int(byRetryCount));
    case STATUS_EVENT_REPORT:
        return EventText(dwEventWord);
    default:
        return QString();
    }
}

QString DateText(const QDate &date)
{
    return QString::asprintf("%d / %d / %d", date.year(), date.month(), date.day());
}

QString TimeText(const QTime &time)
{
    const int nHour = time.hour();
    if (nHour > 12)
        return QString::asprintf("PM %02d : %02d : %02d", nHour - 12, time.minute(), time.second());
    return QString::asprintf("AM %02d : %02d : %02d", nHour, time.minute(), time.second());
}

QStringList WrapWords(const QString &text, const QFontMetrics &fm, int nWidth)
{
    QStringList lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (line.isEmpty() || fm.horizontalAdvance(candidate) <= nWidth) {
            line = candidate;
        } else {
            lines.append(line);
            line = word;
        }
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

CStatusPanel::CStatusPanel() : m_fontSmall(SmallFont())
{
    ShowStatus(STATUS_WAITING);
    DrawDateTime();
}

void CStatusPanel::Invalidate(const QRect &rc) const
{
    if (m_fnUpdate)
        m_fnUpdate(rc);
}

void CStatusPanel::ShowStatus(uint32_t nCode, uint8_t byRetryCount, uint32_t dwEventWord)
{
    m_strStatus = StatusText(nCode, byRetryCount, dwEventWord);
    Invalidate(statusrect::kStatusLabel.united(statusrect::kStatus));
}

void CStatusPanel::SetRecorderName(const QString &name)
{
    if (name == m_strRecorder)
        return;
    m_strRecorder = name;
    m_bRecorderNamed = true;
    Invalidate(statusrect::kStatusLabel);
}

void CStatusPanel::SetNewAlarms(int nCount)
{
    if (nCount == m_nNewAlarms)
        return;
    const QRect rcOld = NewAlarmsRect();
    m_nNewAlarms = std::max(0, nCount);
    Invalidate(rcOld.united(NewAlarmsRect()));
}

QString CStatusPanel::GetNewAlarmsText() const
{
    return m_nNewAlarms > 0 ? QStringLiteral("%1 NEW").arg(m_nNewAlarms) : QString();
}

QRect CStatusPanel::NewAlarmsRect() const
{
    const QString text = GetNewAlarmsText();
    if (text.isEmpty())
        return QRect();
    const QRect &line = statusrect::kNewAlarmsLine;
    const int nWidth =
        std::max(line.width(), QFontMetrics(m_fontSmall).horizontalAdvance(text) + 2);
    return QRect(line.right() + 1 - nWidth, line.top(), nWidth, line.height());
}

void CStatusPanel::DrawDateTime()
{
    DrawDateTime(QDateTime::currentDateTime());
}

void CStatusPanel::DrawDateTime(const QDateTime &now)
{
    m_strDate = DateText(now.date());
    m_strTime = TimeText(now.time());
    Invalidate(QRect(statusrect::kDateLabel.topLeft(), statusrect::kTime.bottomRight()));
}

void CStatusPanel::paint(QPainter &painter) const
{
    painter.save();
    painter.setFont(m_fontSmall);
    painter.setPen(kTextColour);

    // The date and time are cleared first so a shorter text leaves nothing behind.
    painter.fillRect(statusrect::kDate, kBackColour);
    painter.fillRect(statusrect::kTime, kBackColour);
    DrawOpaqueText(painter, statusrect::kDateLabel, kSingleLine, QStringLiteral("DATE :"));
    DrawOpaqueText(painter, statusrect::kDate, kSingleLine, m_strDate);
    DrawOpaqueText(painter, statusrect::kTimeLabel, kSingleLine, QStringLiteral("TIME :"));
    DrawOpaqueText(painter, statusrect::kTime, kSingleLine, m_strTime);

    painter.fillRect(statusrect::kStatus, kBackColour);
    if (m_bRecorderNamed) // a longer name may have been drawn here
        painter.fillRect(statusrect::kStatusLabel, kBackColour);
    DrawOpaqueText(painter, statusrect::kStatusLabel, kSingleLine,
                   m_strRecorder.isEmpty() ? QStringLiteral("STATUS :")
                                           : m_strRecorder.toUpper() + QStringLiteral(" :"));
    DrawWrappedText(painter, statusrect::kStatus, m_strStatus);

    // The count of new alarms stands out from the link's green texts.
    if (const QRect rc = NewAlarmsRect(); !rc.isEmpty()) {
        painter.fillRect(rc, kBackColour);
        painter.setPen(kAlarmColour);
        painter.drawText(rc, Qt::AlignCenter | Qt::TextSingleLine, GetNewAlarmsText());
    }

    painter.restore();
}
