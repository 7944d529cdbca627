#pragma once
// The status block and the clock of the main view's right-hand column.
//
// The view owns one CStatusPanel. The protocol client and the receive path change
// what it shows through the view (ShowStatus); timer 100 of the view calls
// DrawDateTime once a second. The panel keeps only the texts; the view paints them
// in its paintEvent through paint(), and the panel asks for that paint with the
// update callback (the view wires it to QWidget::update(rect)).
//
// The texts are made by the free functions below so they can be checked without
// painting anything.

#include "protocol/clientviews.h"
#include "ui/controls/skinfont.h"

#include <QDateTime>
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QFontMetrics;
class QPainter;

// Status codes are the client's ClientStatus values: 0, 1, 2 and 4 name a link's
// state (LinkStatus::StatusCode); 5 to 7 are events of it.

// Text of a status code; only the low 8 bits of the code count. Code 6 takes the
// client's retry count, code 7 the client's last event word. An unknown code gives
// an empty text (the block is cleared).
QString StatusText(uint32_t nCode, uint8_t byRetryCount = 0, uint32_t dwEventWord = 0);

// "[CH c] [Alarm:a Loss:l Motion:m]" from the event word: bits 0-7 channel,
// 8-15 motion, 16-23 video loss, 24-31 alarm.
QString EventText(uint32_t dwEventWord);

// "2005 / 12 / 31": year, month, day without leading zeros.
QString DateText(const QDate &date);

// "AM hh : mm : ss" up to hour 12 (noon keeps AM), "PM hh : mm : ss" with
// hour - 12 after it.
QString TimeText(const QTime &time);

// Breaks a text into lines at spaces so each line fits nWidth pixels, as the
// word-wrapped status block shows it. A single word wider than nWidth keeps a line
// of its own (and is clipped when drawn).
QStringList WrapWords(const QString &text, const QFontMetrics &fm, int nWidth);

// Height of one line of the small font: its cell height.
constexpr int kSmallFontLineHeight = 12;

// Screen rectangles of the column, in view coordinates.
namespace statusrect {
inline const QRect kDateLabel{740, 70, 100, 15};
inline const QRect kDate{740, 85, 100, 15};
inline const QRect kTimeLabel{740, 100, 100, 15};
inline const QRect kTime{740, 115, 100, 15};
inline const QRect kStatusLabel{740, 160, 100, 15};
inline const QRect kStatus{740, 175, 100, 30};
// Everything the panel paints but the count of new alarms.
inline const QRect kAll{740, 70, 100, 135};
// The count of new alarms, right of the skin's "LINK STATUS" heading: the line it
// takes, from the right; a wider text grows to the left.
inline const QRect kNewAlarmsLine{797, 139, 49, 13};
// The whole panel, the count included: a click here opens the alarm window.
inline const QRect kPanel = kAll.united(kNewAlarmsLine);
} // namespace statusrect

class CStatusPanel {
  public:
    using UpdateFn = std::function<void(const QRect &)>;

    CStatusPanel();

    // Called with the rectangle to repaint whenever a text changes.
    void SetUpdateCallback(UpdateFn fnUpdate) { m_fnUpdate = std::move(fnUpdate); }

    // Shows the text of a status code (low 8 bits count). The view passes the
    // client's retry count and last event word for codes 6 and 7.
    void ShowStatus(uint32_t nCode, uint8_t byRetryCount = 0, uint32_t dwEventWord = 0);
    // Names the recorder whose link state the block shows ("Recorder 2"), in place
    // of the "STATUS :" label; empty for the plain label.
    void SetRecorderName(const QString &name);

    // The count of alarms the operator has not looked at ("3 NEW"); 0 shows none.
    void SetNewAlarms(int nCount);
    // The count's rectangle as painted (empty when none is shown).
    QRect NewAlarmsRect() const;

    // Takes the workstation's local time for the date and time lines.
    void DrawDateTime();
    // Same with a given time (tests, and callers that already read the clock).
    void DrawDateTime(const QDateTime &now);

    // Paints the labels, the date, the time and the status text. The view calls it
    // from its paintEvent after the background.
    void paint(QPainter &painter) const;

    const QString &GetStatusText() const { return m_strStatus; }
    const QString &GetDateText() const { return m_strDate; }
    const QString &GetTimeText() const { return m_strTime; }
    QString GetNewAlarmsText() const;

  private:
    void Invalidate(const QRect &rc) const;

    QString m_strStatus;
    QString m_strRecorder;
    bool m_bRecorderNamed = false;
    QString m_strDate;
    QString m_strTime;
    int m_nNewAlarms = 0;
    QFont m_fontSmall;
    UpdateFn m_fnUpdate;
};
