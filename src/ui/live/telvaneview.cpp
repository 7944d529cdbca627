// CTelvaneView: construction, initial update, the buttons, screen modes and the
// link. Drawing is in telvaneviewdraw.cpp; full screen, rotation and the event
// report in telvaneviewmodes.cpp.

#include "ui/live/telvaneview.h"

#include "protocol/packet.h"
#include "net/qttimerhost.h"
#include "settings/eventlogfile.h"
#include "ui/controls/skinbutton.h"
#include "ui/controls/skinfont.h"
#include "ui/controls/skinids.h"
#include "ui/dialogs/alarmlistdlg.h"
#include "ui/dialogs/systemsettingdlg.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/statuspanel.h"

#include <QApplication>
#include <QMetaObject>

using namespace viewlayout;

namespace {
// Control ids of the view's own skin buttons, apart from the PTZ pad's.
constexpr int kControlIdBase = 1000;
} // namespace

CTelvaneView::CTelvaneView(QWidget *parent, Environment env)
    : QWidget(parent), m_env(std::move(env)),
      m_canvas(
          QSize(kViewWidth, kViewHeight), LiveCropRect,
          [this](const QRegion &region) { update(region); }, [this] { FlushLamp(); })
{
    setFixedSize(kViewWidth, kViewHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus); // the keys
    if (m_env.pTimerHost) {
        m_pTimerHost = m_env.pTimerHost;
    } else {
        m_pOwnTimerHost = std::make_unique<QtTimerHost>();
        m_pTimerHost = m_pOwnTimerHost.get();
    }
    m_pTimerHost->SetHandler([this](int nId) { OnTimer(nId); });
    m_pStatus = std::make_unique<CStatusPanel>();
    m_pStatus->SetUpdateCallback([this](const QRect &rc) { update(rc); });
    m_zoomMouse.fnZoomed = [this](const QRect &rcTile) {
        if (const int nChannel = m_canvas.ShownSlot(rcTile); nChannel >= 0)
            SendDrawnSize(nChannel); // from the next picture on
    };
}

CTelvaneView::~CTelvaneView()
{
    m_pAlarmDlg.reset(); // it reports to the view as it goes
    // Window destruction: drop the link, forget the cached event list, then the
    // client goes before anything it could call back into.
    m_pTimerHost->KillTimer(kClockTimerId);
    m_pTimerHost->KillTimer(kStaleTimerId);
    m_pTimerHost->KillTimer(CPtzPanel::kStopRepeatTimerId);
    m_pTimerHost->SetHandler(nullptr);
    for (int r = 0; r < CRecorderSet::kRecorders; ++r)
        if (ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(r) : nullptr)
            pClient->Disconnect(true);
    DeleteEventFile();
    m_bInitialised = false; // the set's last reports find nothing to draw
    m_bDibReady = false;
    if (m_bDisplayChanged)
        m_bDisplayChanged = false; // no display-mode switching on this platform
    ClearPictures(true);
    if (m_pRecorders)
        m_pRecorders->AttachArchive(nullptr, 0, QString()); // before the window goes
    m_pArchive.reset();
    m_pRecorders.reset();
    m_pPtzPanel.reset();
}

void CTelvaneView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    OnInitialUpdate();
}

void CTelvaneView::OnInitialUpdate()
{
    if (m_bInitialised)
        return;
    m_bInitialised = true;

    // 1. The recorder set with recorder 1's protocol client; without one the view
    // goes on and skips its requests. The other recorders' links follow the
    // settings (step 3).
    if (!m_pRecorders) {
        m_pRecorders = std::make_unique<CRecorderSet>(static_cast<IRecorderSetHost &>(*this),
                                                      m_env.fnCreateClient);
        m_pRecorders->Sync();
    }
    // 2. The archive window, hidden until the Archive button.
    if (!m_pArchive && m_env.fnCreateArchive) {
        ArchiveHost host;
        host.pClient = Client();
        host.pSettings = &m_settings;
        host.fnLeave = [this] { OnLeaveArchive(); };
        m_pArchive = m_env.fnCreateArchive(host);
        m_pRecorders->AttachArchive(m_pArchive.get(), 0, QString());
    }
    // 3. Settings; the passwords the keyring keeps are read meanwhile.
    m_settings.LoadSettings();
    m_pRecorders->Sync();
    StartPasswords();
    // 4. Full screen.
    if (m_settings.m_bUseFullScreen)
        SetFullScreen(true);
    // 5. Drawing set-up.
    m_bDibReady = true;
    m_rcPicture = kPictureRect;
    // 6. Background, logo and controls.
    m_canvas.SetBackground(SkinImage(IDB_MAIN_BACKGROUND));
    QImage logo(QStringLiteral("./logo/slogo.bmp"));
    if (!logo.isNull())
        m_imgLogo = logo.convertToFormat(QImage::Format_RGB32);
    DrawLogo();
    CreateControls();
    m_pStatus->ShowStatus(GetConnectState(), 0, 0);
    m_pStatus->DrawDateTime();
    // 7. Clock and rotation timer.
    m_pTimerHost->StartTimer(kClockTimerId, kClockPeriodMs);
    m_pTimerHost->StartTimer(kStaleTimerId, CStaleWatch::kCheckPeriodMs);
    m_fontMark = ControlFont(14, true);
    m_fontMarkSmall = ControlFont(9, true);
    // 8. Quad mode; neither the old nor the new mode is single, so nothing is requested.
    SetScreenMode(m_wScreenMode);
    setFocus();
    update();
}

void CTelvaneView::CreateButton(ControlId id)
{
    const ControlPlace &c = Control(id);
    auto *pButton = new CSkinButton(this, kControlIdBase + id);
    pButton->setGeometry(c.x, c.y, c.w, c.h);
    if (c.kind == ControlKind::Push)
        pButton->LoadStateBitmaps(int(c.normalBitmap), int(c.activeBitmap), 0, 0,
                                  kControlIdBase + id, CSkinButton::SKIN_MOMENTARY);
    else
        pButton->LoadStateBitmaps(int(c.normalBitmap), 0, int(c.activeBitmap), 0,
                                  kControlIdBase + id, CSkinButton::SKIN_LATCHING);
    pButton->show();
    if (id >= CTRL_CHANNEL_1 && id < CTRL_CHANNEL_1 + GlobalChannel::kCount)
        pButton->installEventFilter(this); // dragged onto a tile, it places its channel
    m_apButtons[id] = pButton;
}

void CTelvaneView::CreateControls()
{
    for (const ControlPlace &c : Controls())
        CreateButton(c.id);
    m_apButtons[CTRL_RECEIVE_LAMP]->setEnabled(false);
    m_apButtons[CTRL_ROTATE]->setEnabled(false);
    m_apButtons[CTRL_DISCONNECT]->SetChecked(1);

    CPtzPanel::Host host;
    // PTZ goes to the recorder of the selected channel, with its own PTZ type.
    if (Client())
        host.fnSendPtz = [this](uint8_t byType, uint8_t bySpeed, int nIndex, int nPressed) {
            if (ILiveClient *pClient = m_pRecorders->Client(m_nSelRecorder))
                pClient->SendPtz(byType, bySpeed, nIndex, nPressed);
        };
    host.fnIsConnected = [this] { return m_pRecorders->ConnectState(m_nSelRecorder) == 1; };
    host.fnIsRotating = [this] { return m_rotation.IsRunning(); };
    host.fnPtzType = [this] {
        return m_nSelRecorder == 0 ? m_settings.m_byPtzType
                                   : RecorderLinkOf(m_settings, m_nSelRecorder).m_byPtzType;
    };
    host.pTimerHost = m_pTimerHost;
    host.fnUpdate = [this](const QRect &rc) { update(rc); };
    m_pPtzPanel = std::make_unique<CPtzPanel>(std::move(host));
    m_pPtzPanel->CreateButtons(this);
}

void CTelvaneView::SetButtonChecked(ControlId id, bool bChecked)
{
    if (m_apButtons[id] && bool(m_apButtons[id]->GetChecked()) != bChecked)
        m_apButtons[id]->SetChecked(bChecked ? 1 : 0);
}

bool CTelvaneView::event(QEvent *pEvent)
{
    const QEvent::Type type = pEvent->type();
    if (type != WM_SKIN_PRESS && type != WM_SKIN_PRESS_SYNC && type != WM_SKIN_IDLE_UP &&
        type != WM_SKIN_COMMAND)
        return QWidget::event(pEvent);

    auto *pSkin = static_cast<CSkinEvent *>(pEvent);
    CSkinButton *pSource = pSkin->Source();
    const bool bFromPad = m_pPtzPanel && pSource && pSkin->ButtonId() >= 0 &&
                          pSkin->ButtonId() < 15 &&
                          m_pPtzPanel->GetButton(pSkin->ButtonId()) == pSource;
    if (type == WM_SKIN_IDLE_UP) {
        if (m_pPtzPanel)
            m_pPtzPanel->OnSkinIdleUp();
    } else if (type == WM_SKIN_PRESS) {
        if (bFromPad)
            m_pPtzPanel->OnSkinPress(pSkin->ButtonId(), pSkin->LParam());
    } else if (type == WM_SKIN_PRESS_SYNC) {
        if (bFromPad)
            m_pPtzPanel->OnSkinPressSync(pSkin->ButtonId(), pSkin->LParam());
    } else if (!bFromPad) {
        const int id = pSkin->WParam() - kControlIdBase;
        // Exit, Setting and Archive are plain push buttons: dragging off one while it is
        // held cancels the click instead of completing it.
        if (id >= 0 && id < CTRL_COUNT && pSource == m_apButtons[id] &&
            (Control(ControlId(id)).kind != ControlKind::Push || pSkin->ReleasedOver()))
            OnCommand(ControlId(id));
    }
    return true;
}

void CTelvaneView::OnCommand(ControlId id)
{
    if (id >= CTRL_CHANNEL_1 && id < CTRL_CHANNEL_1 + 16) {
        OnChannelButton(id - CTRL_CHANNEL_1);
        return;
    }
    if (id >= CTRL_SCREEN_MODE_1 && id < CTRL_SCREEN_MODE_1 + 7) {
        OnScreenModeButton(id - CTRL_SCREEN_MODE_1);
        return;
    }
    switch (id) {
    case CTRL_EXIT:
        OnExit();
        break;
    case CTRL_SETTING:
        OnSetting();
        break;
    case CTRL_ARCHIVE:
        OnArchive();
        break;
    case CTRL_ROTATE:
        ToggleRotation();
        break;
    case CTRL_CONNECT:
        OnConnect();
        break;
    case CTRL_DISCONNECT:
        ++m_nConnectRound; // recorders still waiting for their password stay unconnected
        OnLinkLost();
        break;
    default:
        break;
    }
}

void CTelvaneView::SetScreenMode(uint16_t wMode)
{
    // The previous mode is kept locally: stopping a rotation below must not lose
    // it, or leaving single mode would not ask the recorder for all channels again.
    const uint16_t wPrev = m_wScreenMode;
    m_wPrevScreenMode = wPrev;
    m_wScreenMode = wMode;
    const bool bSingle = (wMode >> 8) == 1;
    // The grid shows every channel, so it always asks for all of them; otherwise a
    // double-click or the end of a rotation would leave the grid with one channel.
    if (!bSingle)
        m_wRequestChannel = 0x0100;
    if (bSingle) {
        const GlobalChannel sel = GlobalChannel::FromIndex(m_wRequestChannel & 0xFF);
        if (sel.IsValid() && sel.nRecorder != m_nSelRecorder) {
            m_nSelRecorder = sel.nRecorder;
            ShowSelectedStatus(); // the panel shows the selected recorder's link
        }
    }
    if (m_apButtons[CTRL_ROTATE]) {
        m_apButtons[CTRL_ROTATE]->setEnabled(bSingle);
    }
    if (!bSingle && m_rotation.IsRunning())
        StopRotation();
    ApplyPlan((wPrev >> 8) == 1 || bSingle);
}

void CTelvaneView::ApplyPlan(bool bForceRequests)
{
    m_plan = MakePlan();
    const screenplan::Recorders recorders =
        m_pRecorders ? m_pRecorders->Recorders() : screenplan::Recorders{};

    for (int k = 0; k < GlobalChannel::kCount; ++k) {
        const bool bWanted = m_plan.onScreen[std::size_t(k)];
        CSkinButton *pButton = m_apButtons[CTRL_CHANNEL_1 + k];
        if (!pButton || bool(pButton->GetChecked()) == bWanted)
            continue;
        if (!bWanted)
            pButton->SetChecked(0);
        else if (screenplan::IsLatchable(k, recorders))
            pButton->SetChecked(1);
    }
    for (int i = 0; i < 7; ++i)
        SetButtonChecked(ControlId(CTRL_SCREEN_MODE_1 + i), i == (m_wScreenMode & 0xFF));

    // A tile keeps its zoom only while it shows the same channel in the same place.
    // The plan is the one place that knows each channel's tile; pictures are decoded
    // no larger than their tiles need.
    m_canvas.KeepZooms(m_plan.channelTile.data(), int(m_plan.channelTile.size()));
    for (int i = 0; i < GlobalChannel::kCount; ++i)
        SendDrawnSize(i);

    InvalidatePicture();

    if (m_pRecorders)
        m_pRecorders->SetRequests(m_plan.requests);
    SendLiveRequest(bForceRequests);
}

screenplan::Plan CTelvaneView::MakePlan() const
{
    screenplan::Input in;
    in.nTiles = TileCount();
    in.nSelected = m_wRequestChannel & 0xFF;
    in.nSelRecorder = m_nSelRecorder;
    if (m_pRecorders)
        in.recorders = m_pRecorders->Recorders();
    else
        in.recorders[0].bConfigured = true; // no client: recorder 1's screen all the same
    in.bSmallTiles = m_env.bSmallTiles;
    in.placement = m_settings.m_tilePlacement;
    return screenplan::Make(in);
}

void CTelvaneView::SendLiveRequest(bool bForce)
{
    const bool bSent = m_pRecorders && m_pRecorders->SendRequests(bForce);
    if (bSent || bForce)
        m_staleWatch.Restart(m_pTimerHost->NowMs());
}

void CTelvaneView::OnScreenModeButton(int nButton)
{
    if (nButton < 0 || nButton >= 7)
        return;
    const ControlId id = ControlId(CTRL_SCREEN_MODE_1 + nButton);
    const uint16_t wMode = kScreenModeWords[std::size_t(nButton)];
    // The layouts past four tiles need a second recorder.
    if (!m_pRecorders || !screenplan::IsLayoutOffered(wMode >> 8, m_pRecorders->Recorders())) {
        Beep();
        SetButtonChecked(id, false);
        return;
    }
    if (wMode == m_wScreenMode) {
        SetButtonChecked(id, true);
        return;
    }
    // Single starts at the first channel of the selected recorder.
    m_wRequestChannel =
        wMode == kSingleMode ? uint16_t(GlobalChannel::Of(m_nSelRecorder, 0).Index()) : 0x0100;
    SetScreenMode(wMode);
}

void CTelvaneView::OnChannelButton(int nButton)
{
    if (nButton < 0 || nButton >= 16)
        return;
    const ControlId id = ControlId(CTRL_CHANNEL_1 + nButton);
    if (!m_pRecorders || !screenplan::IsSelectable(nButton, m_pRecorders->Recorders())) {
        Beep();
        SetButtonChecked(id, false);
        return;
    }
    if (IsSingleMode() && (m_wRequestChannel & 0xFF) == nButton) {
        SetButtonChecked(id, true); // the click flipped it; it stays the selection
        return;
    }
    m_wRequestChannel = uint16_t(nButton);
    SetScreenMode(kSingleMode);
}

void CTelvaneView::OnConnect()
{
    // Every recorder without a link starts one once its password is known; one that
    // cannot start, or whose password prompt is cancelled, never holds up the others.
    if (m_bExiting)
        return;
    const int nRound = ++m_nConnectRound;
    bool bStarted = false;
    for (int r = 0; r < CRecorderSet::kRecorders; ++r) {
        if (!m_pRecorders->IsConfigured(r) || m_pRecorders->ConnectState(r) != 0)
            continue;
        StartWithPassword(r, nRound);
        bStarted = bStarted ||
                   (m_pPasswords && m_pPasswords->State(r) == CPasswordKeeper::PasswordState::Reading);
    }
    // Latched once a link was started (even one that could not), or while a password
    // is on its way; up when every recorder's prompt was cancelled.
    SetButtonChecked(CTRL_CONNECT, bStarted || m_bShownConnected);
    ShowSelectedStatus();
}

void CTelvaneView::OnLinkLost()
{
    if (GetConnectState() != 0) {
        // Each link ends, and reports it: its pictures, buttons and texts follow.
        for (int r = 0; r < CRecorderSet::kRecorders; ++r)
            if (m_pRecorders->IsConfigured(r))
                m_pRecorders->Disconnect(r);
        ClearPictures(true);
        InvalidatePicture();
        SetButtonChecked(CTRL_CONNECT, false);
        SetButtonChecked(CTRL_DISCONNECT, true);
        m_bShownConnected = false;
    } else {
        SetButtonChecked(CTRL_DISCONNECT, true);
    }
    ShowSelectedStatus();
}

uint8_t CTelvaneView::GetConnectState() const
{
    return m_pRecorders ? m_pRecorders->CombinedState() : 0;
}

void CTelvaneView::ClearPictures(bool bClearSeen)
{
    m_canvas.ClearPictures();
    // The tiles' zooms went with the pictures: each is drawn at its own size again.
    for (int i = 0; i < GlobalChannel::kCount; ++i)
        SendDrawnSize(i);
    m_staleWatch.Clear();
    if (bClearSeen)
        m_abChannelSeen.fill(false);
}

void CTelvaneView::DeleteEventFile()
{
    CEventLogFile().Delete();
    for (int r = 1; r < CRecorderSet::kRecorders; ++r)
        if (m_pRecorders && m_pRecorders->IsConfigured(r))
            CEventLogFile::OfRecorder(r).Delete();
}

QString CTelvaneView::StatusText() const
{
    return m_pStatus->GetStatusText();
}

uint8_t CTelvaneView::GetPtzSpeed() const
{
    return m_pPtzPanel ? m_pPtzPanel->GetPtzSpeed() : 1;
}

void CTelvaneView::OnSetting()
{
    const ClientSettings before = m_settings;
    if (m_env.fnSettingDialog) {
        m_env.fnSettingDialog(*this);
    } else {
        // The dialog edits the record in place; the client is reached only
        // through SetEventReport.
        SystemSettingActions actions;
        actions.fnSetFullScreen = [this](bool bOn) { SetFullScreen(bOn); };
        actions.fnSetEventReport = [this](bool bOn) { SetEventReport(bOn); };
        actions.bKeyringMissing =
            !m_pPasswords || m_pPasswords->Keyring() == CPasswordKeeper::KeyringState::Missing;
        CIpPortHistory history;
        CSystemSettingDlg dlg(m_settings, history, std::move(actions), this);
        dlg.exec();
    }
    if (m_pPtzPanel)
        m_pPtzPanel->OnSettingsClosed();
    // Password hook: a recorder whose address, port or user changed while its
    // password did not forgets it before any link could send it there.
    if (m_pPasswords)
        m_pPasswords->OnSettingsChanged();
    // A recorder whose address, port or login changed while it had a link gets a new
    // one at once, and only such a recorder; recorders added or removed in the dialog
    // get or lose their links (a removed one's pictures go first, see
    // OnRecorderRemoved). The archive window goes back to recorder 1's, which always
    // stays.
    const unsigned nChanged = CRecorderSet::ChangedLinks(before, m_settings);
    std::array<bool, CRecorderSet::kRecorders> abReconnect{};
    for (int r = 0; r < CRecorderSet::kRecorders; ++r)
        if ((nChanged >> r) & 1u && m_pRecorders->ConnectState(r) != 0) {
            abReconnect[std::size_t(r)] = true;
            m_pRecorders->Disconnect(r);
        }
    m_pRecorders->Sync();
    m_pRecorders->AttachArchive(m_pArchive.get(), 0, ShownName(0));
    if (!m_pRecorders->IsConfigured(m_nSelRecorder)) {
        m_nSelRecorder = 0;
        if (IsSingleMode() &&
            !screenplan::IsSelectable(m_wRequestChannel & 0xFF, m_pRecorders->Recorders()))
            m_wRequestChannel = 0;
    }
    if (!screenplan::IsLayoutOffered(TileCount(), m_pRecorders->Recorders()))
        m_wRequestChannel = 0x0100, m_wScreenMode = kQuadMode;
    SetScreenMode(m_wScreenMode);
    for (int r = 0; r < CRecorderSet::kRecorders; ++r)
        if (abReconnect[std::size_t(r)])
            StartWithPassword(r, m_nConnectRound);
}

void CTelvaneView::OnArchive()
{
    // The archive of the selected channel's recorder, on its link; needs the client,
    // the archive window and a link.
    const int r = m_nSelRecorder;
    ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(r) : nullptr;
    if (!pClient || !m_pArchive || m_pRecorders->ConnectState(r) < 1)
        return;
    m_pRecorders->AttachArchive(m_pArchive.get(), r, ShownName(r));
    m_pArchive->Activate(m_settings.m_bUseFullScreen != 0);
    if (QWidget *pTop = window(); pTop && pTop != this)
        pTop->hide();
    pClient->SendCommand(KIND_STOP, false);
    // The other recorders send nothing while the archive is shown.
    m_pRecorders->SetArchiveRecorder(r);
    m_pRecorders->StopAllBut(r);
    // The live pictures are forgotten (the seen flags stay); the stop goes again.
    ClearPictures(false);
    pClient->SendCommand(KIND_STOP, false);
    m_pArchive->EnterArchive();
    pClient->SetSkipCounter(1);
}

void CTelvaneView::OnLeaveArchive()
{
    if (QWidget *pTop = window(); pTop && pTop != this)
        pTop->show();
    PlaceMainWindow(m_settings.m_bUseFullScreen != 0);
    InvalidatePicture();
    if (m_pRecorders)
        m_pRecorders->SetArchiveRecorder(-1);
    SendLiveRequest();
}

void CTelvaneView::OnExit()
{
    if (m_bExiting)
        return; // the keyring is still answering an earlier Exit
    m_bExiting = true;
    ++m_nConnectRound;
    if (m_pArchive)
        m_pArchive->Shutdown(); // waits for a recording file being written
    if (m_pAlarmDlg)
        m_pAlarmDlg->close(); // the watch's list ends with the program
    for (int r = 0; r < CRecorderSet::kRecorders; ++r)
        if (ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(r) : nullptr)
            pClient->Disconnect(true);
    m_pTimerHost->KillTimer(kClockTimerId);
    // Exit hook: the passwords go where "Save Password" keeps them. With KEYRING the
    // settings are written only once the keyring has confirmed (or refused) each
    // write, so FinishExit may come later; the window keeps painting meanwhile.
    if (m_pPasswords)
        m_pPasswords->Save([this](const std::array<QString, MAX_RECORDERS> &aStored,
                                  const QString &szMessage) { FinishExit(aStored, szMessage); });
    else
        FinishExit({}, QString());
}

void CTelvaneView::Beep()
{
    if (m_env.fnBeep)
        m_env.fnBeep();
    else
        QApplication::beep();
}
