#pragma once
// The program's timer host: window timers on Qt's event loop.

#include "protocol/timerhost.h"

#include <QObject>

#include <map>

// Production host: one QObject timer per id on the thread of the host.
class QtTimerHost : public QObject, public ITimerHost {
    Q_OBJECT
  public:
    explicit QtTimerHost(QObject *parent = nullptr);
    ~QtTimerHost() override;

    void StartTimer(int nId, int nPeriodMs) override;
    void KillTimer(int nId) override;
    bool IsTimerRunning(int nId) const override;

  protected:
    void timerEvent(QTimerEvent *event) override;

  private:
    std::map<int, int> m_qtIdById; // our id -> QObject timer id
};
