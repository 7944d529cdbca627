#pragma once
// CAlarmList: the watch's one list of alarms. Every event report of every recorder
// becomes a row as it arrives, whatever the window shows: the time it was received,
// the recorder's name, the channel by its global number and the kinds (alarm, video
// loss, motion) that changed. Newest first; the last kCapacity rows are kept.
//
// A kind changed when its byte of the event word differs from the previous report
// of the same channel of the same recorder; a channel's first report counts every
// kind that is set as changed.
//
// The list is a table model (Qt Core only): the alarm window shows it in a table
// view, and tests read it as a table. The main view owns it for the program's life,
// so a lost link leaves it as it is and an Exit ends it. It also counts the rows
// nobody has looked at yet: those that arrive while the list is not watched.

#include "settings/globalchannel.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <deque>

struct AlarmRow {
    QDateTime received;
    QString recorder; // the recorder's name when the report came
    GlobalChannel channel;
    uint32_t dwWord = 0;   // channel | motion << 8 | loss << 16 | alarm << 24
    unsigned nChanged = 0; // CAlarmList::Kind bits
};

class CAlarmList : public QAbstractTableModel {
  public:
    static constexpr int kCapacity = 500;
    enum Column { COL_TIME, COL_RECORDER, COL_CHANNEL, COL_CHANGED, COL_COUNT };
    enum Kind : unsigned { KIND_ALARM = 1, KIND_LOSS = 2, KIND_MOTION = 4 };

    // Adds a report of recorder nRecorder (0-based) with the client's event word.
    // A word whose channel byte names none of the recorder's channels 1..4 makes no
    // row (false).
    bool Add(int nRecorder, const QString &name, uint32_t dwWord, const QDateTime &received);

    int Count() const { return int(m_rows.size()); }
    // Row n, 0 the newest.
    const AlarmRow &Row(int n) const { return m_rows[std::size_t(n)]; }
    QString Text(int nRow, int nColumn) const;

    // Rows that came while the list was not watched (at most the rows kept).
    int NewCount() const { return m_nNew; }
    // While the list is watched its rows are looked at as they come; starting to
    // watch looks at every row.
    void SetWatched(bool bWatched);
    bool IsWatched() const { return m_bWatched; }

    // The kinds whose byte differs between the previous word and this one; with no
    // previous word, the kinds that are set.
    static unsigned ChangedKinds(uint32_t dwWord, const uint32_t *pPrevious);
    // "Alarm:1 Motion:0": each changed kind with its new value; "No Change".
    static QString ChangedText(uint32_t dwWord, unsigned nChanged);
    // "[ 2026/12/09 ] 14:10:05", as the recorder's event list writes its times.
    static QString TimeText(const QDateTime &time);

    // --- the table model ------------------------------------------------------
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int nRole = Qt::DisplayRole) const override;
    QVariant headerData(int nSection, Qt::Orientation orientation,
                        int nRole = Qt::DisplayRole) const override;

  private:
    std::deque<AlarmRow> m_rows;
    std::array<uint32_t, GlobalChannel::kCount> m_adwLast{};
    std::array<bool, GlobalChannel::kCount> m_abReported{};
    int m_nNew = 0;
    bool m_bWatched = false;
};
