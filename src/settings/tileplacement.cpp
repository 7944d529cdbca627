#include "settings/tileplacement.h"

#include <QStringList>

namespace {
constexpr int kLayoutTiles[] = {4, 7, 9, 10, 13, 16};
} // namespace

int TilePlacement::Slot(int nTiles)
{
    for (int i = 0; i < kLayouts; ++i)
        if (kLayoutTiles[i] == nTiles)
            return i;
    return -1;
}

bool TilePlacement::IsPlaceable(int nTiles)
{
    return Slot(nTiles) >= 0;
}

const TilePlacement::Order &TilePlacement::OrderOf(int nTiles) const
{
    static const Order kNone = [] {
        Order none;
        none.fill(-1);
        return none;
    }();
    const int nSlot = Slot(nTiles);
    return nSlot >= 0 && m_abPlaced[std::size_t(nSlot)] ? m_aOrder[std::size_t(nSlot)] : kNone;
}

void TilePlacement::Set(int nTiles, const Order &order)
{
    const int nSlot = Slot(nTiles);
    if (nSlot < 0)
        return;
    Order kept;
    kept.fill(-1);
    std::array<bool, kMaxTiles> abUsed{};
    for (int i = 0; i < nTiles; ++i) {
        const int c = order[std::size_t(i)];
        if (c < 0 || c >= kMaxTiles || abUsed[std::size_t(c)])
            continue;
        abUsed[std::size_t(c)] = true;
        kept[std::size_t(i)] = int8_t(c);
    }
    m_aOrder[std::size_t(nSlot)] = kept;
    m_abPlaced[std::size_t(nSlot)] = true;
}

void TilePlacement::Reset(int nTiles)
{
    const int nSlot = Slot(nTiles);
    if (nSlot >= 0)
        m_abPlaced[std::size_t(nSlot)] = false;
}

QString TilePlacement::ToText() const
{
    QStringList entries;
    for (int s = 0; s < kLayouts; ++s) {
        if (!m_abPlaced[std::size_t(s)])
            continue;
        QStringList numbers;
        for (int i = 0; i < kLayoutTiles[s]; ++i)
            numbers << QString::number(m_aOrder[std::size_t(s)][std::size_t(i)] + 1);
        entries << QStringLiteral("%1:%2").arg(kLayoutTiles[s]).arg(numbers.join(QLatin1Char(' ')));
    }
    return entries.join(QLatin1Char(';'));
}

TilePlacement TilePlacement::FromText(const QString &text)
{
    TilePlacement placement;
    for (const QString &entry : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.split(QLatin1Char(':'));
        if (parts.size() != 2)
            continue;
        bool bOk = false;
        const int nTiles = parts[0].trimmed().toInt(&bOk);
        if (!bOk || !IsPlaceable(nTiles))
            continue;
        const QStringList numbers = parts[1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (numbers.size() != nTiles)
            continue;
        Order order;
        order.fill(-1);
        for (int i = 0; i < nTiles && bOk; ++i) {
            const int n = numbers[i].toInt(&bOk);
            bOk = bOk && n >= 0 && n <= kMaxTiles;
            order[std::size_t(i)] = int8_t(n - 1);
        }
        if (bOk)
            placement.Set(nTiles, order);
    }
    return placement;
}

bool TilePlacement::operator==(const TilePlacement &o) const
{
    for (int s = 0; s < kLayouts; ++s) {
        const auto i = std::size_t(s);
        if (m_abPlaced[i] != o.m_abPlaced[i] || (m_abPlaced[i] && m_aOrder[i] != o.m_aOrder[i]))
            return false;
    }
    return true;
}
