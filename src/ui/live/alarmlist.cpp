#include "ui/live/alarmlist.h"

#include <algorithm>

namespace {

// Each kind's byte in the event word, in the order the row names them.
struct KindField {
    unsigned nKind;
    int nShift;
    const char *szName;
};
constexpr KindField kKinds[] = {
    {CAlarmList::KIND_ALARM, 24, "Alarm"},
    {CAlarmList::KIND_LOSS, 16, "Loss"},
    {CAlarmList::KIND_MOTION, 8, "Motion"},
};

uint32_t KindByte(uint32_t dwWord, int nShift)
{
    return (dwWord >> nShift) & 0xFF;
}

constexpr const char *kTitles[CAlarmList::COL_COUNT] = {"Received", "Recorder", "Channel",
                                                        "Changed"};

} // namespace

bool CAlarmList::Add(int nRecorder, const QString &name, uint32_t dwWord, const QDateTime &received)
{
    const GlobalChannel channel = GlobalChannel::Of(nRecorder, int(dwWord & 0xFF) - 1);
    if (!channel.IsValid())
        return false;
    const auto g = std::size_t(channel.Index());
    AlarmRow row;
    row.received = received;
    row.recorder = name;
    row.channel = channel;
    row.dwWord = dwWord;
    row.nChanged = ChangedKinds(dwWord, m_abReported[g] ? &m_adwLast[g] : nullptr);
    m_adwLast[g] = dwWord;
    m_abReported[g] = true;

    if (Count() == kCapacity) {
        beginRemoveRows(QModelIndex(), kCapacity - 1, kCapacity - 1);
        m_rows.pop_back();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    m_rows.push_front(std::move(row));
    endInsertRows();
    if (!m_bWatched)
        m_nNew = std::min(m_nNew + 1, Count());
    return true;
}

void CAlarmList::SetWatched(bool bWatched)
{
    m_bWatched = bWatched;
    if (bWatched)
        m_nNew = 0;
}

unsigned CAlarmList::ChangedKinds(uint32_t dwWord, const uint32_t *pPrevious)
{
    unsigned nChanged = 0;
    for (const KindField &k : kKinds) {
        const uint32_t byNow = KindByte(dwWord, k.nShift);
        if (pPrevious ? byNow != KindByte(*pPrevious, k.nShift) : byNow != 0)
            nChanged |= k.nKind;
    }
    return nChanged;
}

QString CAlarmList::ChangedText(uint32_t dwWord, unsigned nChanged)
{
    QStringList parts;
    for (const KindField &k : kKinds)
        if (nChanged & k.nKind)
            parts << QStringLiteral("%1:%2")
                         .arg(QLatin1String(k.szName))
                         .arg(KindByte(dwWord, k.nShift));
    return parts.isEmpty() ? QStringLiteral("No Change") : parts.join(QLatin1Char(' '));
}

QString CAlarmList::TimeText(const QDateTime &time)
{
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf("[ %04d/%02d/%02d ] %02d:%02d:%02d", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second());
}

QString CAlarmList::Text(int nRow, int nColumn) const
{
    if (nRow < 0 || nRow >= Count())
        return QString();
    const AlarmRow &row = Row(nRow);
    switch (nColumn) {
    case COL_TIME:
        return TimeText(row.received);
    case COL_RECORDER:
        return row.recorder;
    case COL_CHANNEL:
        return row.channel.Text();
    case COL_CHANGED:
        return ChangedText(row.dwWord, row.nChanged);
    default:
        return QString();
    }
}

int CAlarmList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Count();
}

int CAlarmList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : COL_COUNT;
}

QVariant CAlarmList::data(const QModelIndex &index, int nRole) const
{
    if (!index.isValid())
        return QVariant();
    if (nRole == Qt::DisplayRole || nRole == Qt::ToolTipRole)
        return Text(index.row(), index.column());
    if (nRole == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return QVariant();
}

QVariant CAlarmList::headerData(int nSection, Qt::Orientation orientation, int nRole) const
{
    if (orientation != Qt::Horizontal || nRole != Qt::DisplayRole || nSection < 0 ||
        nSection >= COL_COUNT)
        return QVariant();
    return QString::fromLatin1(kTitles[nSection]);
}
