#include "net/qttimerhost.h"

#include <QTimerEvent>

#include <algorithm>

QtTimerHost::QtTimerHost(QObject *parent) : QObject(parent) {}

QtTimerHost::~QtTimerHost()
{
    for (const auto &entry : m_qtIdById)
        killTimer(entry.second);
}

void QtTimerHost::StartTimer(int nId, int nPeriodMs)
{
    KillTimer(nId);
    const int nQtId = startTimer(std::max(0, nPeriodMs), Qt::PreciseTimer);
    if (nQtId != 0)
        m_qtIdById[nId] = nQtId;
}

void QtTimerHost::KillTimer(int nId)
{
    auto it = m_qtIdById.find(nId);
    if (it == m_qtIdById.end())
        return;
    killTimer(it->second);
    m_qtIdById.erase(it);
}

bool QtTimerHost::IsTimerRunning(int nId) const
{
    return m_qtIdById.count(nId) != 0;
}

void QtTimerHost::timerEvent(QTimerEvent *event)
{
    for (const auto &entry : m_qtIdById) {
        if (entry.second == event->timerId()) {
            Fire(entry.first);
            return;
        }
    }
    QObject::timerEvent(event);
}
