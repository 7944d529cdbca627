// CArchiveDlg: construction, the buttons, calendar and slider, and the calls of the
// receive path. Drawing is in archivedraw.cpp.

#include "ui/archive/archivedlg.h"

#include "archive/netplaybackclient.h"
#include "media/snapshotwriter.h"
#include "net/qttimerhost.h"
#include "settings/globalchannel.h"
#include "protocol/netclientwnd.h"
#include "ui/archive/printpicture.h"
#include "ui/common/messagebox.h"
#include "ui/controls/calendarctrl.h"
#include "ui/controls/skinbutton.h"
#include "ui/controls/skinfont.h"
#include "ui/controls/skinids.h"
#include "ui/controls/skinslider.h"
#include "ui/dialogs/eventdlg.h"
#include "ui/live/liveclient.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>

using namespace archivelayout;

namespace {
constexpr int kCalendarId = 3000;
constexpr int kNoticeClearMs = 100;
const char kSavingRefusal[] = "Saving AVI File Now.So Can Not Close This Window!";
} // namespace

CArchiveDlg::CArchiveDlg(ArchiveEnvironment env)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_env(std::move(env)),
      m_settings(m_env.host.pSettings ? *m_env.host.pSettings : m_ownSettings),
      m_pOwnControlTimers(m_env.pControlTimers ? nullptr : std::make_unique<QtTimerHost>()),
      m_pOwnRecordTimers(m_env.pRecordTimers ? nullptr : std::make_unique<QtTimerHost>()),
      m_canvas(
          QSize(kWidth, kHeight), ArchiveCropRect,
          [this](const QRegion &region) { update(region); },
          [this] {
              if (m_bLampPending) {
                  m_bLampPending = false;
                  SetChecked(CTRL_RECEIVE_LAMP, m_bReceiveLampOn);
              }
          }),
      m_control(nullptr, *this,
                m_env.pControlTimers ? *m_env.pControlTimers : *m_pOwnControlTimers),
      m_recorder(*this, WindowTimers(), m_settings), m_fontSmall(SmallFont()),
      m_fontLarge(ControlFont(20, true))
{
    m_tmPrevPicture = CurrentLocalDateTime();
    setWindowTitle(QStringLiteral("Telvane"));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    move(kCreatePos);

    // A playback side handed in stays; otherwise the recorder set wires the link
    // (AttachLink).
    if (m_env.pPlaybackClient)
        m_control.SetClient(m_env.pPlaybackClient);
    m_control.SetRequestSpeed(m_env.host.pSettings ? m_settings.m_byRequestSpeed
                                                   : CPlaybackControl::DEFAULT_SPEED);
    WindowTimers().SetHandler([this](int nId) { OnTimer(nId); });

    QImage logo(QStringLiteral("./logo/blogo.bmp"));
    if (!logo.isNull())
        m_imgLogo = logo.convertToFormat(QImage::Format_RGB32);
    DrawBackground();
    CreateControls();
    setFocusPolicy(Qt::StrongFocus); // the keys
    m_pSlider->installEventFilter(this);
    ShowLayout(CPlaybackControl::QUAD);
    ShowPlayTime(m_control.PlayTime());
    DrawTimeRange();
}

CArchiveDlg::~CArchiveDlg()
{
    m_control.CancelPending();
    m_recorder.Finish();
    WindowTimers().KillTimer(kTimerNoticeClear);
    WindowTimers().KillTimer(kTimerStaleCheck);
    WindowTimers().SetHandler(nullptr);
}

void CArchiveDlg::AttachLink(const ArchiveLink &link)
{
    m_nRecorder = link.nRecorder;
    setWindowTitle(link.name.isEmpty() ? QStringLiteral("Telvane")
                                       : QStringLiteral("Telvane - ") + link.name);
    m_env.host.pClient = link.pClient; // the Event button asks it
    if (!m_env.pPlaybackClient)
        m_control.SetClient(link.pPlayback);
    if (!link.pClient)
        ForgetPictures(); // they were borrowed from the link that went
    // The recording range this recorder gave at its login.
    if (link.pRange)
        SetTimeRange(link.pRange->a, link.pRange->b, link.pRange->c, link.pRange->d);
}

void CArchiveDlg::ForgetPictures()
{
    // The pictures are borrowed from a client's frame records, which are going.
    m_canvas.ClearPictures();
    update();
}

QString CArchiveDlg::RecordNamePrefix() const
{
    return GlobalChannel::RecordingPrefix(m_nRecorder);
}

void CArchiveDlg::CreateControls()
{
    for (const ControlPlace &c : Controls()) {
        auto *pButton = new CSkinButton(this, kControlIdBase + c.id);
        pButton->setGeometry(c.x, c.y, c.w, c.h);
        if (c.kind == ControlKind::Push)
            pButton->LoadStateBitmaps(c.nUpBitmap, c.nDownBitmap, 0, 0, kControlIdBase + c.id,
                                      CSkinButton::SKIN_MOMENTARY);
        else
            pButton->LoadStateBitmaps(c.nUpBitmap, 0, c.nDownBitmap, 0, kControlIdBase + c.id,
                                      CSkinButton::SKIN_LATCHING);
        if (c.kind == ControlKind::Indicator)
            pButton->setEnabled(false);
        m_apButtons[c.id] = pButton;
    }
    m_pSlider = new CSkinSlider(this);
    m_pSlider->setGeometry(kSliderRect);
    m_pSlider->Initialise(IDB_SLIDER_TRACK, IDB_SLIDER_THUMB);
    m_pSlider->SetRange(0, 86399);
    connect(m_pSlider, &QAbstractSlider::actionTriggered, this, [this] {
        // The action moves the position after this signal: read it once it is done.
        QMetaObject::invokeMethod(
            this, [this] { OnSliderAction(); }, Qt::QueuedConnection);
    });
    connect(m_pSlider, &QAbstractSlider::sliderMoved, this, [this] { OnSliderAction(); });

    m_pCalendar = new CCalendarCtrl(this, kCalendarId);
    m_pCalendar->Create(QRect(kCalendarPos, QSize(CCalendarCtrl::kWidth, CCalendarCtrl::kHeight)));
    m_pCalendar->show();
    const DvrDateTime picked = m_control.PickerDate();
    m_pCalendar->SetDate(QDate(picked.nYear, picked.nMonth, picked.nDay));
}

// ---- placement and switching ---------------------------------------------------------------

void CArchiveDlg::PlaceWindow(bool bFullScreen)
{
    if (bFullScreen) {
        move(0, 0);
        return;
    }
    if (QScreen *pScreen = screen() ? screen() : QGuiApplication::primaryScreen()) {
        const QRect geo = pScreen->geometry();
        move(geo.left() + (geo.width() - kWidth) / 2, geo.top() + (geo.height() - kHeight) / 2);
    }
}

void CArchiveDlg::Activate(bool bFullScreen)
{
    m_control.SetActive(true);
    m_control.SetRequestSpeed(m_settings.m_byRequestSpeed);
    if (m_recorder.IsRecording())
        m_recorder.StopRecord();
    show();
    raise();
    activateWindow();
    setFocus();
    PlaceWindow(bFullScreen);
    WindowTimers().StartTimer(kTimerStaleCheck, CStaleWatch::kCheckPeriodMs);
}

void CArchiveDlg::EnterArchive()
{
    m_canvas.ClearPictures();
    m_staleWatch.Clear();
    m_bStampShown = false;
    ShowLayout(m_control.Channel());
    m_control.EnterArchive();
    DrawTimeRange();
}

void CArchiveDlg::SwitchToLive()
{
    // The control is inactive already; the view swaps the windows and asks for live.
    if (m_recorder.IsRecording())
        m_recorder.StopRecord();
    WindowTimers().KillTimer(kTimerStaleCheck);
    hide();
    if (m_env.host.fnLeave)
        m_env.host.fnLeave();
}

void CArchiveDlg::Shutdown()
{
    m_control.CancelPending();
    if (m_recorder.IsRecording())
        m_recorder.StopRecord();
    m_recorder.Finish(); // a file being written is finished first
    m_control.SetActive(false);
    m_bShuttingDown = true;
    hide();
    close();
}

IArchiveWindow::RecordCounts CArchiveDlg::GetRecordCounts() const
{
    RecordCounts counts;
    counts.nCaptured = m_recorder.CapturedPictures();
    counts.nDropped = m_recorder.DroppedPictures();
    counts.bSaving = m_recorder.IsSaving();
    return counts;
}

void CArchiveDlg::closeEvent(QCloseEvent *pEvent)
{
    // The window lives as long as the view. A close from the window manager
    // (Alt+F4, the title bar, the task bar) is the "Viewer" button: refused while a
    // file is being written, else back to the live view. Accepting it would leave
    // no window shown and end the program.
    if (m_bShuttingDown || !isVisible()) {
        pEvent->accept();
        return;
    }
    pEvent->ignore();
    OnViewer();
}

// ---- buttons -------------------------------------------------------------------------------

bool CArchiveDlg::event(QEvent *pEvent)
{
    const QEvent::Type type = pEvent->type();
    if (type == WM_SKIN_COMMAND) {
        auto *pSkin = static_cast<CSkinEvent *>(pEvent);
        const int id = pSkin->WParam() - kControlIdBase;
        if (id >= 0 && id < CTRL_COUNT && pSkin->Source() == m_apButtons[id]) {
            // Push buttons act only when released over them.
            if (archivelayout::Control(ControlId(id)).kind != ControlKind::Push ||
                pSkin->ReleasedOver())
                OnCommand(ControlId(id));
        }
        return true;
    }
    if (type == WM_CALENDAR_PICK) {
        if (m_pCalendar) {
            const QDate date = m_pCalendar->GetDate().date();
            DvrDateTime picked;
            picked.nYear = date.year();
            picked.nMonth = date.month();
            picked.nDay = date.day();
            m_control.OnDatePicked(picked);
        }
        return true;
    }
    if (type == WM_SKIN_PRESS || type == WM_SKIN_PRESS_SYNC || type == WM_SKIN_IDLE_UP)
        return true;
    return QWidget::event(pEvent);
}

void CArchiveDlg::OnCommand(ControlId id)
{
    if (id >= CTRL_PLAY_1 && id < CTRL_PLAY_1 + 5) {
        OnPlayButton(id - CTRL_PLAY_1);
    } else if (id >= CTRL_JUMP_1 && id < CTRL_JUMP_1 + 4) {
        m_control.OnJump(CPlaybackControl::JumpButton(id - CTRL_JUMP_1));
        DrawTimeRange();
    } else if (id >= CTRL_CHANNEL_1 && id < CTRL_CHANNEL_1 + 16) {
        OnChannelButton(id - CTRL_CHANNEL_1);
    } else {
        switch (id) {
        case CTRL_VIEWER:
            OnViewer();
            break;
        case CTRL_SAVE:
            OnSave();
            break;
        case CTRL_PRINT:
            OnPrint();
            break;
        case CTRL_EVENT:
            OnEvent();
            break;
        case CTRL_RECORD:
            OnRecordButton();
            break;
        case CTRL_SINGLE:
            m_control.OnSingleButton();
            break;
        case CTRL_QUAD:
            m_control.OnQuadButton();
            break;
        default:
            break;
        }
    }
}

void CArchiveDlg::OnPlayButton(int nIndex)
{
    if (nIndex == CPlaybackControl::PLAY_STOP && m_recorder.IsRecording())
        m_recorder.StopRecord();
    m_control.OnImagePlay(nIndex);
}

void CArchiveDlg::OnRecordButton()
{
    m_recorder.OnRecordButton();
    SetRecordButtonDown(m_recorder.IsRecording());
    m_control.OnRecordButton();
}

void CArchiveDlg::OnChannelButton(int nButton)
{
    const CPlaybackControl::ChannelAction action = m_control.OnChannelButton(nButton);
    if (action == CPlaybackControl::CHANNEL_BEEP) {
        Beep();
        SetChecked(ControlId(CTRL_CHANNEL_1 + nButton), false);
    } else if (action == CPlaybackControl::CHANNEL_UNCHANGED) {
        ShowLayout(m_control.Channel()); // the click flipped the button: set it back
    }
}

void CArchiveDlg::OnViewer()
{
    if (m_recorder.IsRecording())
        m_recorder.StopRecord();
    if (m_recorder.IsSaving()) {
        // The stop runs; the window stays until the file is written.
        m_control.OnImagePlay(CPlaybackControl::PLAY_STOP);
        ShowMessageBox(this, QString::fromLatin1(kSavingRefusal), QString::fromLatin1(APP_TITLE),
                       QMessageBox::Warning);
        return;
    }
    m_control.LeaveForLive();
}

void CArchiveDlg::OnSave()
{
    const SnapshotResult result =
        SaveSnapshot(GrabPictureArea(), m_control.Channel(), PictureTimeText(),
                     QString::fromLocal8Bit(m_settings.m_szRecordPath),
                     uint32_t(QDateTime::currentMSecsSinceEpoch() & 0xFFFFFFFF), m_nRecorder);
    ShowNotice(result.Notice());
    // The notice goes again after a moment; a one-shot timer, never a sleep.
    WindowTimers().StartTimer(kTimerNoticeClear, kNoticeClearMs);
}

void CArchiveDlg::OnPrint()
{
    if (m_env.fnPrint) {
        m_env.fnPrint(GrabPictureArea());
        return;
    }
    const PrintResult result =
        PrintPicture(GrabPictureArea(), m_control.Channel(), PictureTimeText(), this,
                     QString::fromLatin1(PRINT_DOC_NAME), m_nRecorder);
    if (!result.Notice().isEmpty())
        ShowNotice(result.Notice());
}

void CArchiveDlg::OnEvent()
{
    if (m_env.fnEventDialog) {
        m_env.fnEventDialog();
        return;
    }
    ILiveClient *pClient = m_env.host.pClient;
    RunEventDialog(
        this,
        [pClient] {
            if (pClient)
                pClient->SendCommand(KIND_EVENT, false); // the reply reloads the list
        },
        [this](PackedTime packed, int nChannel) { return PlayFromEvent(packed, nChannel); },
        &m_pEventDlg, CEventLogFile::OfRecorder(m_nRecorder));
}

void CArchiveDlg::OnSliderAction()
{
    if (!m_pSlider)
        return;
    m_control.OnSliderMoved(m_pSlider->sliderPosition());
    DrawPlayTime();
}

void CArchiveDlg::OnTimer(int nId)
{
    if (nId == kTimerNoticeClear) {
        WindowTimers().KillTimer(kTimerNoticeClear);
        ShowNotice(QString(7, QLatin1Char(' ')));
        return;
    }
    if (nId == kTimerStaleCheck) {
        OnStaleCheck();
        return;
    }
    m_recorder.OnTimer(nId);
}

ITimerHost &CArchiveDlg::WindowTimers()
{
    return m_env.pRecordTimers ? *m_env.pRecordTimers : *m_pOwnRecordTimers;
}

void CArchiveDlg::OnStaleCheck()
{
    // Pictures are due only while playing: not stopped, paused or at the end.
    const bool bStream = m_control.IsActive() && m_control.IsPlaying();
    const int64_t nNow = WindowTimers().NowMs();
    if (bStream && !m_bStreamExpected)
        m_staleWatch.Restart(nNow);
    m_bStreamExpected = bStream;
    CheckStaleTiles(m_staleWatch, m_canvas, m_arcCell.data(), int(m_arcCell.size()), bStream, nNow);
}

void CArchiveDlg::SetChecked(ControlId id, bool bDown)
{
    if (CSkinButton *pButton = m_apButtons[id])
        if (bool(pButton->GetChecked()) != bDown)
            pButton->SetChecked(bDown ? 1 : 0);
}

void CArchiveDlg::Beep()
{
    if (m_env.fnBeep)
        m_env.fnBeep();
    else
        QApplication::beep();
}

// ---- IPlaybackDisplay ------------------------------------------------------------------------

void CArchiveDlg::ShowPlayButtons(int nDown)
{
    for (int i = 0; i < 5; ++i)
        SetChecked(ControlId(CTRL_PLAY_1 + i), i == nDown);
}

void CArchiveDlg::ShowPickerDate(const DvrDateTime &date)
{
    if (m_pCalendar)
        m_pCalendar->SetDate(QDate(date.nYear, date.nMonth, date.nDay));
}

void CArchiveDlg::ShowPlayTime(uint32_t uPlayTime)
{
    const int nSeconds = int(uPlayTime >> 24) * 3600 + int((uPlayTime >> 16) & 0xFF) * 60 +
                         int((uPlayTime >> 8) & 0xFF);
    if (m_pSlider && nSeconds >= 0 && nSeconds <= 86399 && m_pSlider->value() != nSeconds)
        m_pSlider->setValue(nSeconds); // the owner's move: no action is triggered
    DrawPlayTime();
}

void CArchiveDlg::ShowLayout(uint8_t byChannel)
{
    const bool bQuad = byChannel == CPlaybackControl::QUAD;
    SetChecked(CTRL_SINGLE, !bQuad);
    SetChecked(CTRL_QUAD, bQuad);
    for (int i = 0; i < 4; ++i) {
        SetChecked(ControlId(CTRL_CHANNEL_1 + i), bQuad || i == byChannel);
        if (m_apButtons[CTRL_CHANNEL_1 + i])
            m_apButtons[CTRL_CHANNEL_1 + i]->setEnabled(!bQuad);
    }
    for (int i = 0; i < 4; ++i)
        m_arcCell[std::size_t(i)] =
            bQuad ? CellRect(i, 2) : (i == byChannel ? CellRect(0, 1) : QRect());
    m_canvas.KeepZooms(m_arcCell.data(), int(m_arcCell.size()));
    // The picture area starts over: each cell shows its channel's picture or its frame.
    m_canvas.ForgetShown();
    m_canvas.EraseArea(kPictureRect);
    for (int i = 0; i < 4; ++i) {
        const QRect cell = m_arcCell[std::size_t(i)];
        if (cell.isEmpty())
            continue;
        if (m_canvas.HasPicture(i) && !m_canvas.CropOf(i).isEmpty())
            m_canvas.Show(cell, i);
        m_canvas.DrawFrame(cell);
    }
    update(kPictureRect.adjusted(-1, -1, 1, 1));
}

// ---- IRecordView -----------------------------------------------------------------------------

void CArchiveDlg::ShowRecordMessage(const QString &szText)
{
    // Never a box that waits: it would stop the pictures and the buttons.
    ShowMessageBoxModeless(this, szText, QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
}

void CArchiveDlg::SetRecordButtonDown(bool bDown)
{
    SetChecked(CTRL_RECORD, bDown);
}

QString CArchiveDlg::PictureTimeText() const
{
    const DvrDateTime &t = m_control.PictureTime();
    return QString::asprintf("%04d-%02d-%02d %02d-%02d-%02d", t.nYear, t.nMonth, t.nDay, t.nHour,
                             t.nMinute, t.nSecond);
}

// ---- IArchiveView ----------------------------------------------------------------------------

void CArchiveDlg::OnEventListReady()
{
    if (m_pEventDlg)
        m_pEventDlg->Reload();
}

void CArchiveDlg::SetChannelPicture(int nIndex, const ChannelPicture &picture)
{
    // Four cells: a picture marked for another channel has no place here.
    if (nIndex >= 0 && nIndex < 4) {
        m_canvas.SetPicture(nIndex, picture);
        m_staleWatch.OnPicture(nIndex, WindowTimers().NowMs()); // the cell's repaint drops a mark
    }
}

void CArchiveDlg::ToggleReceiveLamp()
{
    m_bReceiveLampOn = !m_bReceiveLampOn;
    m_bLampPending = true;
    m_canvas.SchedulePaint(QRect());
}

void CArchiveDlg::ShowLinkStatus(uint8_t byCode, uint8_t byRetryCount, uint32_t dwAlertWord)
{
    // No pictures (a closed link goes straight to reconnecting): the segment so far is kept.
    const bool bNoLink = byCode == STATUS_WAITING || byCode == STATUS_RECONNECTING;
    if ((byCode == STATUS_TRY_REQUEST || bNoLink) && m_recorder.IsRecording())
        m_recorder.StopRecord();
    if (byCode == STATUS_WAITING)
        m_control.OnLinkLost();
    DrawNoticeText(CPlaybackControl::LinkStatusText(byCode, byRetryCount, dwAlertWord),
                   kEndNoticeRect, false);
}

// ---- the mouse: a zoomed cell, and the window dragged by its face ----------------------------

QRect CArchiveDlg::CellAt(const QPoint &pt) const
{
    for (const QRect &cell : m_arcCell)
        if (cell.contains(pt))
            return cell;
    return QRect();
}

void CArchiveDlg::wheelEvent(QWheelEvent *pEvent)
{
    if (!m_zoomMouse.Wheel(m_canvas, CellAt(pEvent->position().toPoint()), *pEvent))
        QWidget::wheelEvent(pEvent);
}

void CArchiveDlg::mousePressEvent(QMouseEvent *pEvent)
{
    if (m_zoomMouse.Press(m_canvas, CellAt(pEvent->position().toPoint()), *pEvent))
        return; // a zoomed cell: its pan, or the right button's reset
    if (pEvent->button() != Qt::LeftButton || !m_env.host.pSettings ||
        m_settings.m_bUseFullScreen) {
        QWidget::mousePressEvent(pEvent);
        return;
    }
    m_bDragging = true;
    m_ptDragOffset = pEvent->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CArchiveDlg::mouseMoveEvent(QMouseEvent *pEvent)
{
    if (m_zoomMouse.Move(m_canvas, *pEvent))
        return;
    if (m_bDragging && (pEvent->buttons() & Qt::LeftButton))
        move(pEvent->globalPosition().toPoint() - m_ptDragOffset);
    else
        QWidget::mouseMoveEvent(pEvent);
}

void CArchiveDlg::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (m_zoomMouse.Release(*pEvent))
        return;
    m_bDragging = false;
    QWidget::mouseReleaseEvent(pEvent);
}

std::unique_ptr<IArchiveWindow> CreateArchiveWindow(const ArchiveHost &host)
{
    ArchiveEnvironment env;
    env.host = host;
    return std::make_unique<CArchiveDlg>(std::move(env));
}
