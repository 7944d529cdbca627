#include "ui/controls/skinbutton.h"

#include "ui/controls/skinids.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <vector>

namespace {
// Posted to the button itself right after WM_SKIN_COMMAND, so clicked() comes out of the
// same queue and therefore after every message the button posted before it.
constexpr QEvent::Type kClickedSignalEvent = static_cast<QEvent::Type>(0x04FA);

// Receivers of messages that skin buttons posted and Qt has not delivered yet.
std::vector<QPointer<QObject>> &PendingReceivers()
{
    static std::vector<QPointer<QObject>> receivers;
    return receivers;
}

void PostInOrder(QObject *pReceiver, QEvent *pEvent)
{
    QCoreApplication::postEvent(pReceiver, pEvent);
    auto &receivers = PendingReceivers();
    if (std::find(receivers.begin(), receivers.end(), pReceiver) == receivers.end())
        receivers.emplace_back(pReceiver);
}

// A posted message must be handled before any input that comes after it (the owners
// rely on it: a quick tap's press must not run after its release, an idle up must not
// run after the next press). Qt delivers posted events only after the input already
// waiting, so every input to a skin button first delivers what the buttons posted.
void DeliverPostedBeforeInput()
{
    std::vector<QPointer<QObject>> receivers;
    receivers.swap(PendingReceivers());
    for (const QPointer<QObject> &pReceiver : receivers)
        if (pReceiver)
            QCoreApplication::sendPostedEvents(pReceiver, 0);
}
} // namespace

CSkinEvent::CSkinEvent(QEvent::Type type, int nWParam, int nLParam, CSkinButton *pSource,
                       bool bReleasedOver)
    : QEvent(type), m_nWParam(nWParam), m_nLParam(nLParam), m_bReleasedOver(bReleasedOver),
      m_pSource(pSource)
{
}

CSkinButton *CSkinEvent::Source() const
{
    return m_pSource.data();
}

CSkinButton::CSkinButton(QWidget *pParent, int nControlId)
    : QWidget(pParent), m_nControlId(nControlId)
{
    // Moves without a button held are needed to arm the leave tracking.
    setMouseTracking(true);
}

CSkinButton::~CSkinButton() = default;

void CSkinButton::LoadStateBitmaps(int nId0, int nId1, int nId2, int nId3, int nButtonId, int nMode)
{
    const int aId[4] = {nId0, nId1, nId2, nId3};
    for (int i = 0; i < 4; ++i) {
        m_aBitmapId[i] = aId[i];
        m_aBitmap[i] = aId[i] != 0 ? SkinBitmap(aId[i]) : QPixmap();
    }
    m_nButtonId = nButtonId;
    m_nMode = nMode;
    UpdateOpaque();
    ShowState(0);
    // New images in the state already shown must appear too.
    update();
}

void CSkinButton::UpdateOpaque()
{
    bool bOpaque = m_aBitmapId[0] != 0;
    for (int i = 0; i < 4 && bOpaque; ++i) {
        if (m_aBitmapId[i] == 0)
            continue; // a state without an image is never shown
        const QPixmap &bitmap = m_aBitmap[i];
        bOpaque = !bitmap.isNull() && !bitmap.hasAlphaChannel() && bitmap.width() >= width() &&
                  bitmap.height() >= height();
    }
    setAttribute(Qt::WA_OpaquePaintEvent, bOpaque);
}

void CSkinButton::resizeEvent(QResizeEvent *pEvent)
{
    QWidget::resizeEvent(pEvent);
    UpdateOpaque();
}

int CSkinButton::GetBitmapId(int nState) const
{
    return nState >= 0 && nState < 4 ? m_aBitmapId[nState] : 0;
}

QObject *CSkinButton::NotifyTarget() const
{
    if (m_pNotifyTarget)
        return m_pNotifyTarget.data();
    return parentWidget();
}

QSize CSkinButton::sizeHint() const
{
    if (!m_aBitmap[0].isNull())
        return m_aBitmap[0].size();
    return QWidget::sizeHint();
}

void CSkinButton::ShowState(int nState)
{
    if (nState == m_nDisplayState || nState < 0 || nState > 3 || m_aBitmapId[nState] == 0)
        return;
    m_nDisplayState = nState;
    update();
}

void CSkinButton::PostToTarget(QEvent::Type type, int nWParam, int nLParam, bool bReleasedOver)
{
    if (QObject *pTarget = NotifyTarget())
        PostInOrder(pTarget, new CSkinEvent(type, nWParam, nLParam, this, bReleasedOver));
}

// Returns false when the handler destroyed this button; the caller must not touch it then.
bool CSkinButton::SendToTarget(QEvent::Type type, int nWParam, int nLParam)
{
    QObject *pTarget = NotifyTarget();
    if (!pTarget)
        return true;
    QPointer<CSkinButton> pSelf(this);
    CSkinEvent event(type, nWParam, nLParam, this);
    QCoreApplication::sendEvent(pTarget, &event);
    return !pSelf.isNull();
}

void CSkinButton::SetChecked(int bOn)
{
    bOn = bOn ? 1 : 0;
    if (m_nMode == SKIN_MOMENTARY) {
        ShowState(bOn ? 1 : 0);
        if (bOn != m_bChecked)
            PostToTarget(WM_SKIN_PRESS, m_nButtonId, bOn);
    } else {
        ShowState(bOn ? 2 : 0);
    }
    m_bChecked = bOn;
}

void CSkinButton::CancelPress()
{
    if (!m_bPressed)
        return;
    m_bPressed = 0;
    if (m_nMode == SKIN_MOMENTARY) {
        ShowState(0);
        PostToTarget(WM_SKIN_PRESS, m_nButtonId, 0);
        m_bChecked = 0;
    } else {
        ShowState(m_bChecked ? 2 : 0);
    }
}

void CSkinButton::OnLeftButtonDown()
{
    m_bPressed = 1;
    if (m_nMode == SKIN_MOMENTARY) {
        ShowState(1);
        PostToTarget(WM_SKIN_PRESS, m_nButtonId, 1);
        if (!SendToTarget(WM_SKIN_PRESS_SYNC, m_nButtonId, 1))
            return;
        m_bChecked = 1;
    } else {
        ShowState(m_bChecked ? 1 : 3);
    }
}

void CSkinButton::Click()
{
    if (!isEnabled() || m_bPressed || !DeliverEarlierMessages())
        return;
    QPointer<CSkinButton> pSelf(this);
    OnLeftButtonDown();
    if (pSelf && m_bPressed)
        OnLeftButtonUpOrLeave(true);
}

// A release and a leave end a pending press the same way: the click completes. The click
// message only records which of the two it was.
void CSkinButton::OnLeftButtonUpOrLeave(bool bReleasedOver)
{
    if (!m_bPressed) {
        PostToTarget(WM_SKIN_IDLE_UP, 0, 0);
        return;
    }
    m_bPressed = 0;
    if (m_nMode == SKIN_MOMENTARY) {
        ShowState(0);
        PostToTarget(WM_SKIN_PRESS, m_nButtonId, 0);
        if (!SendToTarget(WM_SKIN_PRESS_SYNC, m_nButtonId, 0))
            return;
        m_bChecked = 0;
    } else {
        ShowState(m_bChecked ? 0 : 2);
    }
    PostToTarget(WM_SKIN_COMMAND, m_nControlId, 0, bReleasedOver);
    PostInOrder(this, new QEvent(kClickedSignalEvent));
    if (m_nMode != SKIN_MOMENTARY)
        m_bChecked = !m_bChecked;
}

// False when a handler of those messages destroyed this button.
bool CSkinButton::DeliverEarlierMessages()
{
    QPointer<CSkinButton> pSelf(this);
    DeliverPostedBeforeInput();
    return !pSelf.isNull();
}

void CSkinButton::mousePressEvent(QMouseEvent *pEvent)
{
    if (!DeliverEarlierMessages())
        return;
    if (pEvent->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(pEvent);
        return;
    }
    OnLeftButtonDown();
}

void CSkinButton::mouseMoveEvent(QMouseEvent *pEvent)
{
    if (!DeliverEarlierMessages())
        return;
    const bool bInside = rect().contains(pEvent->position().toPoint());
    if (bInside) {
        // Arm the leave notification once per stay over the button.
        if (!m_bTracking)
            m_bTracking = 1;
    } else if (m_bTracking) {
        // Only a pressed button sees moves outside itself (Qt's implicit grab); the pointer
        // has left it.
        m_bTracking = 0;
        OnLeftButtonUpOrLeave(false);
        return;
    }
    QWidget::mouseMoveEvent(pEvent);
}

void CSkinButton::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (!DeliverEarlierMessages())
        return;
    if (pEvent->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(pEvent);
        return;
    }
    QPointer<CSkinButton> pSelf(this);
    const bool bInside = rect().contains(pEvent->position().toPoint());
    if (!bInside && m_bTracking) {
        // Released outside after leaving without an intervening move: the leave comes first.
        m_bTracking = 0;
        OnLeftButtonUpOrLeave(false);
        if (!pSelf)
            return;
    }
    OnLeftButtonUpOrLeave(bInside);
}

void CSkinButton::leaveEvent(QEvent *pEvent)
{
    if (!DeliverEarlierMessages())
        return;
    // Qt also reports a leave after a grabbed release outside; by then the leave has
    // already been handled and tracking is off.
    if (m_bTracking) {
        m_bTracking = 0;
        OnLeftButtonUpOrLeave(false);
        return;
    }
    QWidget::leaveEvent(pEvent);
}

void CSkinButton::changeEvent(QEvent *pEvent)
{
    QWidget::changeEvent(pEvent);
    if (pEvent->type() == QEvent::EnabledChange)
        update();
}

void CSkinButton::customEvent(QEvent *pEvent)
{
    if (pEvent->type() == kClickedSignalEvent) {
        emit clicked(m_nControlId);
        return;
    }
    QWidget::customEvent(pEvent);
}

void CSkinButton::paintEvent(QPaintEvent *)
{
    if (m_nDisplayState < 0)
        return;
    const QPixmap &bitmap = m_aBitmap[m_nDisplayState];
    if (bitmap.isNull())
        return;
    // Straight copy at the top-left corner, clipped to the widget, never stretched.
    QPainter painter(this);
    painter.drawPixmap(QPoint(0, 0), bitmap, QRect(QPoint(0, 0), size()));
}
