#include "ui/controls/skinslider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {
// A 4-pixel thumb is hard to hit: a press this close beside it still takes it.
constexpr int kGrabSlack = 3;
} // namespace

CSkinSlider::CSkinSlider(QWidget *pParent) : QSlider(Qt::Horizontal, pParent)
{
    // Every paint covers the whole control with the track: no background erase, no flicker.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

void CSkinSlider::Initialise(int nTrackId, int nThumbId, Qt::CursorShape cursor)
{
    setCursor(cursor);
    m_track.LoadBitmap(nTrackId);
    m_thumb.LoadBitmap(nThumbId);
    update();
}

void CSkinSlider::SetRange(int nMin, int nMax, bool bRedraw)
{
    setRange(nMin, nMax);
    setPageStep(qMax(1, (nMax - nMin) / 5));
    setValue(nMin);
    if (bRedraw)
        update();
}

int CSkinSlider::ThumbX(int nPosition) const
{
    const int nSpan = width() - 2 * kMargin - kThumbAllowance;
    const qint64 nRange = qint64(maximum()) - minimum();
    if (nRange <= 0)
        return kMargin; // empty range: the thumb rests at the left end
    return kMargin + static_cast<int>(qint64(nSpan) * (qint64(nPosition) - minimum()) / nRange);
}

int CSkinSlider::PositionAt(int x) const
{
    const int nSpan = width() - 2 * kMargin - kThumbAllowance;
    if (nSpan <= 0 || maximum() <= minimum())
        return minimum();
    const qint64 nRange = qint64(maximum()) - minimum();
    const qint64 nOffset = qBound<qint64>(0, qint64(x) - kMargin, qint64(nSpan));
    return minimum() + static_cast<int>((nOffset * nRange + nSpan / 2) / nSpan);
}

int CSkinSlider::ThumbWidth() const
{
    return m_thumb.IsNull() ? kThumbAllowance / 2 : m_thumb.Width();
}

void CSkinSlider::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    if (m_track.IsNull())
        p.fillRect(rect(), Qt::black);
    m_track.Draw(p, 0, 0);
    m_thumb.DrawTransparent(p, ThumbX(sliderPosition()), 0);
}

void CSkinSlider::mousePressEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton) {
        pEvent->ignore();
        return;
    }
    m_bDragging = true;
    update();
    const int x = pEvent->position().toPoint().x();
    const int nThumb = ThumbX(sliderPosition());
    if (x >= nThumb - kGrabSlack && x < nThumb + ThumbWidth() + kGrabSlack) {
        m_bOnThumb = true;
        m_nGrabOffset = x - nThumb;
        setSliderDown(true);
    } else {
        // Paging towards the pointer, repeated while the button is held.
        const SliderAction action = x < nThumb ? SliderPageStepSub : SliderPageStepAdd;
        triggerAction(action);
        setRepeatAction(action);
    }
    pEvent->accept();
}

void CSkinSlider::mouseMoveEvent(QMouseEvent *pEvent)
{
    if (!m_bDragging) {
        pEvent->ignore();
        return;
    }
    update();
    if (m_bOnThumb)
        setSliderPosition(PositionAt(pEvent->position().toPoint().x() - m_nGrabOffset));
    pEvent->accept();
}

void CSkinSlider::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (pEvent->button() != Qt::LeftButton || !m_bDragging) {
        pEvent->ignore();
        return;
    }
    m_bDragging = false;
    update();
    setRepeatAction(SliderNoAction);
    if (m_bOnThumb) {
        m_bOnThumb = false;
        setSliderDown(false);
    }
    pEvent->accept();
}

void CSkinSlider::keyPressEvent(QKeyEvent *pEvent)
{
    pEvent->accept(); // swallowed: not even Escape goes on to the window
}

void CSkinSlider::keyReleaseEvent(QKeyEvent *pEvent)
{
    pEvent->accept();
}
