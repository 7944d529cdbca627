#include "ui/controls/spinarrows.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>

namespace {
constexpr int kFirstRepeatMs = 400;
constexpr int kRepeatMs = 100;
} // namespace

CSpinArrows::CSpinArrows(QWidget *pParent, int nControlId)
    : QWidget(pParent), m_nControlId(nControlId)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_timerRepeat.setSingleShot(false);
    QObject::connect(&m_timerRepeat, &QTimer::timeout, this, [this] { OnRepeat(); });
}

QRect CSpinArrows::HalfRect(int nDelta) const
{
    const int nHalf = height() / 2;
    return nDelta > 0 ? QRect(0, 0, width(), nHalf) : QRect(0, nHalf, width(), height() - nHalf);
}

void CSpinArrows::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    for (int nDelta : {1, -1}) {
        const QRect rc = HalfRect(nDelta);
        const bool bHeld = m_nHeldDelta == nDelta;
        // Key face with a one-pixel bevel, sunken while held.
        p.fillRect(rc, bHeld ? QColor(0x14, 0x17, 0x1b) : QColor(0x3a, 0x42, 0x4c));
        p.setPen(bHeld ? QColor(0x08, 0x0a, 0x0c) : QColor(0x5e, 0x68, 0x74));
        p.drawLine(rc.topLeft(), rc.topRight());
        p.drawLine(rc.topLeft(), rc.bottomLeft());
        p.setPen(bHeld ? QColor(0x3d, 0x46, 0x51) : QColor(0x08, 0x0a, 0x0c));
        p.drawLine(rc.bottomLeft(), rc.bottomRight());
        p.drawLine(rc.topRight(), rc.bottomRight());
        // Arrow: a small triangle in the middle of the half.
        const QPoint c = rc.center() + (bHeld ? QPoint(1, 1) : QPoint(0, 0));
        const int s = qMax(2, qMin(rc.width(), rc.height()) / 4);
        QPolygon arrow;
        if (nDelta > 0)
            arrow << QPoint(c.x() - s, c.y() + s / 2) << QPoint(c.x() + s, c.y() + s / 2)
                  << QPoint(c.x(), c.y() - s / 2 - 1);
        else
            arrow << QPoint(c.x() - s, c.y() - s / 2) << QPoint(c.x() + s, c.y() - s / 2)
                  << QPoint(c.x(), c.y() + s / 2 + 1);
        p.setPen(Qt::NoPen);
        p.setBrush(isEnabled() ? QColor(0xd8, 0xde, 0xe5) : QColor(0x60, 0x68, 0x70));
        p.drawPolygon(arrow);
    }
}

void CSpinArrows::mousePressEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return;
    m_nHeldDelta = pEvent->position().y() < height() / 2 ? 1 : -1;
    update();
    m_timerRepeat.start(kFirstRepeatMs);
    if (m_fnDelta)
        m_fnDelta(m_nHeldDelta);
}

void CSpinArrows::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
        return;
    m_timerRepeat.stop();
    m_nHeldDelta = 0;
    update();
}

void CSpinArrows::OnRepeat()
{
    m_timerRepeat.setInterval(kRepeatMs);
    if (m_nHeldDelta != 0 && m_fnDelta)
        m_fnDelta(m_nHeldDelta);
}
