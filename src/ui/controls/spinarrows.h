#pragma once

// CSpinArrows: a pair of arrow buttons (up-down control) drawn in the dark skin. It keeps
// no value: a press on one half proposes a change of +1 (upper half) or -1 (lower half)
// to its owner, and holding the button repeats the proposal.

#include <QTimer>
#include <QWidget>

#include <functional>

class CSpinArrows : public QWidget {
  public:
    CSpinArrows(QWidget *pParent, int nControlId);

    int GetControlId() const { return m_nControlId; }
    // Called with the proposed change (+1 or -1) on a press and on every repeat.
    void SetDeltaHandler(std::function<void(int)> fnDelta) { m_fnDelta = std::move(fnDelta); }

  protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;

  private:
    void OnRepeat();
    QRect HalfRect(int nDelta) const;

    int m_nControlId;
    int m_nHeldDelta = 0; // the half held down: +1, -1, or 0
    QTimer m_timerRepeat;
    std::function<void(int)> m_fnDelta;
};
