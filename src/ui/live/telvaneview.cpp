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
}

CTelvaneView::~CTelvaneView()
{
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
    m_bDibReady = false;
    if (m_bDisplayChanged)
        m_bDisplayChanged = false; // no display-mode switching on this platform
    ClearPictures(true);
    m_pArchive.reset(); // detaches itself from the client
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

    // 1. Recorder 1's protocol client; without one the view goes on and skips its
    // requests. The other recorders' links follow the settings (step 3).
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
    m_pStatus->ShowStatus(m_byConnectState, 0, 0);
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
    host.fnIsConnected = [this] { return m_byConnectState == 1; };
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
    const int nTiles = wMode >> 8;
    // The grid shows every channel, so it always asks for all of them; otherwise a
    // double-click or the end of a rotation would leave the grid with one channel.
    if (!bSingle)
        m_wRequestChannel = 0x0100;
    const int nSelected = m_wRequestChannel & 0xFF;
    if (bSingle && SeveralRecorders())
        m_nSelRecorder = CRecorderSet::RecorderOf(nSelected & 0x0F);
    const std::array<bool, 16> abOnScreen = ChannelsOnScreen();

    if (m_apButtons[CTRL_ROTATE]) {
        m_apButtons[CTRL_ROTATE]->setEnabled(bSingle);
    }
    if (!bSingle && m_rotation.IsRunning())
        StopRotation();

    for (int k = 0; k < 16; ++k) {
        const bool bWanted = abOnScreen[std::size_t(k)];
        CSkinButton *pButton = m_apButtons[CTRL_CHANNEL_1 + k];
        if (!pButton || bool(pButton->GetChecked()) == bWanted)
            continue;
        if (!bWanted)
            pButton->SetChecked(0);
        else if (SeveralRecorders() ? IsChannelAccepted(k) : k < m_byChannelCount)
            pButton->SetChecked(1);
    }
    for (int i = 0; i < 7; ++i)
        SetButtonChecked(ControlId(CTRL_SCREEN_MODE_1 + i), i == (wMode & 0xFF));

    // The one place that knows each channel's tile.
    for (int i = 0; i < 16; ++i)
        m_arcTile[i] = QRect();
    if (bSingle) {
        if (!SeveralRecorders())
            for (int i = 0; i < 4; ++i)
                m_arcTile[i] = TileRect(0, 1);
        for (int i = 1; i < 16; ++i)
            if (i != nSelected)
                m_arcTile[i] = QRect();
        if (nSelected < 16)
            m_arcTile[std::size_t(nSelected)] = TileRect(0, 1);
    } else if (nTiles == 4) {
        const int nFirst = m_nSelRecorder * CRecorderSet::kChannels;
        for (int i = 0; i < 4; ++i)
            m_arcTile[std::size_t(nFirst + i)] = TileRect(i, m_env.bSmallTiles ? 16 : 4);
    } else {
        for (int i = 0; i < nTiles && i < 16; ++i)
            m_arcTile[std::size_t(i)] = TileRect(i, nTiles);
    }
    // Pictures are decoded no larger than their tiles need.
    // With several recorders, global channel i is channel i % 4 of recorder i / 4.
    if (m_pRecorders) {
        const bool bSeveral = SeveralRecorders();
        for (int i = 0; i < 16; ++i)
            if (ILiveClient *pClient = m_pRecorders->Client(bSeveral ? i / 4 : 0))
                pClient->SetDrawnSize(bSeveral ? i % 4 : i, m_arcTile[std::size_t(i)].width(),
                                      m_arcTile[std::size_t(i)].height());
    }

    InvalidatePicture();

    if (m_pRecorders)
        m_pRecorders->SetOnScreen(abOnScreen);
    SendLiveRequest((wPrev >> 8) == 1 || bSingle);
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
    // The layouts past four tiles need a second recorder.
    if (nButton >= 2 && !SeveralRecorders()) {
        Beep();
        SetButtonChecked(id, false);
        return;
    }
    const uint16_t wMode = kScreenModeWords[std::size_t(nButton)];
    if (wMode == m_wScreenMode) {
        SetButtonChecked(id, true);
        return;
    }
    // Single starts at the first channel of the selected recorder.
    m_wRequestChannel =
        wMode == kSingleMode ? uint16_t(m_nSelRecorder * CRecorderSet::kChannels) : 0x0100;
    SetScreenMode(wMode);
}

void CTelvaneView::OnChannelButton(int nButton)
{
    if (nButton < 0 || nButton >= 16)
        return;
    const ControlId id = ControlId(CTRL_CHANNEL_1 + nButton);
    if (SeveralRecorders() ? !IsChannelAccepted(nButton) : nButton > 3) {
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
        if (!m_pRecorders->IsConfigured(r) || RecorderState(r) != 0)
            continue;
        // Password hook: "recorder r needs its password; when known, connect r".
        // A known password answers at once, a keyring read when it comes (the window
        // goes on meanwhile), the prompt when the operator answers; Cancel leaves r
        // unconnected. A Disconnect or Exit meanwhile ends the wait (nRound).
        if (!m_pPasswords) {
            StartRecorder(r);
        } else {
            m_pPasswords->WhenKnown(r, [this, r, nRound](bool bKnown) {
                if (bKnown && nRound == m_nConnectRound)
                    StartRecorder(r);
            });
        }
        bStarted = bStarted || RecorderState(r) != 0 ||
                   (m_pPasswords &&
                    m_pPasswords->State(r) == CPasswordKeeper::PasswordState::Reading);
    }
    SetButtonChecked(CTRL_CONNECT, bStarted || m_byConnectState != 0);
    if (SeveralRecorders())
        ShowSelectedStatus();
    else
        ShowStatus(m_byConnectState);
}

void CTelvaneView::OnLinkLost()
{
    if (m_byConnectState != 0) {
        m_byConnectState = 0;
        for (int r = 0; r < CRecorderSet::kRecorders; ++r) {
            if (!m_pRecorders->IsConfigured(r))
                continue;
            m_pRecorders->SetState(r, 0);
            if (ILiveClient *pClient = m_pRecorders->Client(r))
                pClient->Disconnect(true);
        }
        ClearPictures(true);
        InvalidatePicture();
        SetButtonChecked(CTRL_CONNECT, false);
        SetButtonChecked(CTRL_DISCONNECT, true);
        DeleteEventFile();
    } else {
        SetButtonChecked(CTRL_DISCONNECT, true);
    }
    if (SeveralRecorders())
        ShowSelectedStatus();
    else
        ShowStatus(m_byConnectState);
}

void CTelvaneView::ClearPictures(bool bClearSeen)
{
    m_canvas.ClearPictures();
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

void CTelvaneView::ShowStatus(uint8_t byCode)
{
    ILiveClient *pClient = Client();
    const uint8_t byRetry = pClient ? pClient->RetryCount() : 0;
    const uint32_t dwAlert = pClient ? pClient->LastAlertWord() : 0;
    if (m_pArchive && m_pArchive->IsActive())
        m_pArchive->ShowLinkStatus(byCode, byRetry, dwAlert);
    m_pStatus->ShowStatus(byCode, byRetry, dwAlert);
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
    // Recorders added or removed in the dialog get or lose their links; the archive
    // window goes back to recorder 1's, which always stays.
    if (m_pArchive)
        m_pArchive->SelectRecorder(Client(), 0, QString());
    for (int r = 1; r < CRecorderSet::kRecorders; ++r)
        if (m_pRecorders->IsConfigured(r) && !IsRecorderConfigured(m_settings, r))
            ClearRecorderPictures(r); // the canvas borrows them from the link's records
    m_pRecorders->Sync();
    if (!m_pRecorders->IsConfigured(m_nSelRecorder) || !SeveralRecorders()) {
        m_nSelRecorder = 0;
        if (IsSingleMode() && !IsChannelAccepted(m_wRequestChannel & 0xFF))
            m_wRequestChannel = 0;
    }
    if (!SeveralRecorders() && TileCount() > 4)
        m_wRequestChannel = 0x0100, m_wScreenMode = kQuadMode;
    SetScreenMode(m_wScreenMode);
    m_byConnectState = SeveralRecorders() ? m_pRecorders->CombinedState() : m_pRecorders->State(0);
}

void CTelvaneView::OnArchive()
{
    // The archive of the selected channel's recorder, on its link; needs the client,
    // the archive window and a link.
    const int r = m_nSelRecorder;
    ILiveClient *pClient = m_pRecorders ? m_pRecorders->Client(r) : nullptr;
    if (!pClient || !m_pArchive || RecorderState(r) < 1)
        return;
    m_pArchive->SelectRecorder(pClient, r, SeveralRecorders() ? m_pRecorders->Name(r) : QString());
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
