// Several recorders in one view, against recording fake clients on a manual clock:
// what each recorder is asked for, where its pictures land, the buttons that need
// a second recorder, PTZ, the archive and a lost link. Also every tile rectangle of
// the layouts past four tiles.

#include "protocol/packet.h"
#include "settings/eventlogfile.h"
#include "support/fakelink.h"
#include "support/manualclock.h"
#include "support/samepicture.h"
#include "support/testapp.h"
#include "support/testsupport.h"
#include "protocol/timecodec.h"
#include "ui/controls/skinbutton.h"
#include "ui/dialogs/alarmlistdlg.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/statuspanel.h"
#include "ui/live/telvaneview.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTableView>

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace viewlayout;

namespace {

TEST(TileLayouts, EveryTileOfTheLayoutsPastFourTiles)
{
    struct Layout {
        int nTiles;
        std::vector<QRect> tiles;
    };
    // clang-format off
    const Layout layouts[] = {
        {7, {{63, 23, 318, 238}, {383, 23, 318, 238}, {63, 263, 318, 238}, {383, 263, 158, 118}, {543, 263, 158, 118}, {383, 383, 158, 118}, {543, 383, 158, 118}}},
        {9, {{63, 23, 211, 158}, {276, 23, 211, 158}, {489, 23, 212, 158}, {63, 183, 211, 158}, {276, 183, 211, 158}, {489, 183, 212, 158}, {63, 343, 211, 158}, {276, 343, 211, 158}, {489, 343, 212, 158}}},
        {10, {{63, 23, 318, 238}, {383, 23, 318, 238}, {63, 263, 158, 118}, {223, 263, 158, 118}, {383, 263, 158, 118}, {543, 263, 158, 118}, {63, 383, 158, 118}, {223, 383, 158, 118}, {383, 383, 158, 118}, {543, 383, 158, 118}}},
        {13, {{63, 23, 158, 118}, {223, 23, 158, 118}, {383, 23, 158, 118}, {543, 23, 158, 118}, {63, 143, 158, 118}, {223, 143, 318, 238}, {543, 143, 158, 118}, {63, 263, 158, 118}, {543, 263, 158, 118}, {63, 383, 158, 118}, {223, 383, 158, 118}, {383, 383, 158, 118}, {543, 383, 158, 118}}},
        {16, {{63, 23, 158, 118}, {223, 23, 158, 118}, {383, 23, 158, 118}, {543, 23, 158, 118}, {63, 143, 158, 118}, {223, 143, 158, 118}, {383, 143, 158, 118}, {543, 143, 158, 118}, {63, 263, 158, 118}, {223, 263, 158, 118}, {383, 263, 158, 118}, {543, 263, 158, 118}, {63, 383, 158, 118}, {223, 383, 158, 118}, {383, 383, 158, 118}, {543, 383, 158, 118}}},
    };
    // clang-format on
    for (const Layout &l : layouts) {
        for (int i = 0; i < int(l.tiles.size()); ++i)
            EXPECT_EQ(TileRect(i, l.nTiles), l.tiles[std::size_t(i)]) << l.nTiles << " tile " << i;
        EXPECT_TRUE(TileRect(l.nTiles, l.nTiles).isEmpty()) << l.nTiles;
    }
}

struct FakeClient : FakeLinkClient {
    explicit FakeClient(IClientView *pView) : FakeLinkClient(pView), view(pView) {}
    bool Connect(const QString &h, int p) override
    {
        host = h;
        port = p;
        LinkConnecting();
        return true;
    }
    void Disconnect(bool) override
    {
        ++disconnects;
        LinkDisconnected();
    }
    void SendCommand(uint8_t byKind, bool) override
    {
        sent.push_back({byKind, view->GetRequestChannel()});
    }
    void SendPtz(uint8_t byType, uint8_t, int, int) override { ptzTypes.push_back(byType); }
    void SetAlertRequestWord(uint16_t) override {}
    void SetSkipCounter(uint8_t) override {}
    void SetDrawnSize(int nIndex, int nWidth, int nHeight) override
    {
        drawn[std::size_t(nIndex & 3)] = QSize(nWidth, nHeight);
    }
    uint8_t RetryCount() const override { return 0; }
    uint32_t LastAlertWord() const override { return alert; }
    // The requests since the last call, as "L0100" (live and its word) or "S" (stop).
    std::string Take()
    {
        std::string out;
        for (const auto &[kind, word] : sent)
            out += kind == KIND_LIVE   ? QString::asprintf("L%04X ", word).toStdString()
                   : kind == KIND_STOP ? std::string("S ")
                                       : std::string("? ");
        sent.clear();
        return out;
    }

    IClientView *view;
    QString host;
    int port = 0;
    int disconnects = 0;
    uint32_t alert = 0;
    std::array<QSize, 4> drawn{};
    std::vector<std::pair<uint8_t, uint16_t>> sent;
    std::vector<uint8_t> ptzTypes;
};

struct FakeArchive : IArchiveWindow {
    void Activate(bool) override { bActive = true; }
    void EnterArchive() override {}
    bool IsActive() const override { return bActive; }
    void ShowLinkStatus(uint8_t byCode, uint8_t, uint32_t) override { codes.push_back(byCode); }
    void ForgetPictures() override { ++forgets; }
    void Shutdown() override {}
    void AttachLink(const ArchiveLink &link) override
    {
        pClient = link.pClient;
        nRecorder = link.nRecorder;
        name = link.name;
    }
    bool PlayFromEvent(uint32_t packed, int nChannel) override
    {
        plays.emplace_back(packed, nChannel);
        return true;
    }
    bool bActive = false;
    std::vector<std::pair<uint32_t, int>> plays;
    std::vector<int> codes;
    int forgets = 0;
    ILiveClient *pClient = nullptr;
    int nRecorder = -1;
    QString name;
};

class RecorderSetView : public ::testing::Test {
  protected:
    void SetUp() override
    {
        testsupport::TestApp<QApplication>();
        m_pHost = m_clock.CreateHost();
        CTelvaneView::Environment env;
        env.pTimerHost = m_pHost.get();
        env.fnCreateClient = [this](IClientView *pView) {
            auto p = std::make_unique<FakeClient>(pView);
            m_clients.push_back(p.get());
            return p;
        };
        env.fnBeep = [this] { ++m_nBeeps; };
        env.fnCreateArchive = [this](const ArchiveHost &) {
            auto p = std::make_unique<FakeArchive>();
            m_pArchive = p.get();
            return std::unique_ptr<IArchiveWindow>(std::move(p));
        };
        // The dialog leaves recorders 2 .. m_nDialogRecorders on 127.0.0.1, ports
        // 9002..9004, and removes the others.
        env.fnSettingDialog = [this](CTelvaneView &view) {
            for (int r = 1; r < 4; ++r) {
                RecorderLink link = RecorderLinkOf(view.SettingsRecord(), 0);
                SetFieldText(link.m_szHostIP,
                             r < m_nDialogRecorders ? QStringLiteral("127.0.0.1") : QString());
                link.m_nHostPort = r == 2 ? m_nPortOf3 : 9001 + r;
                link.m_byPtzType = uint8_t(r);
                SetFieldText(link.m_szIpLabel, r == 3 ? QStringLiteral("Gate 4") : QString());
                SetRecorderLink(view.SettingsRecord(), r, link);
            }
        };
        m_pView = std::make_unique<CTelvaneView>(nullptr, env);
        m_pView->OnInitialUpdate();
        m_pView->OnSetting();
        ASSERT_EQ(m_clients.size(), 4u);
        for (FakeClient *p : m_clients)
            p->Take();
    }
    std::string Requests()
    {
        std::string out;
        for (FakeClient *p : m_clients)
            out += "[" + p->Take() + "]";
        return out;
    }

    testsupport::IsolatedSettings m_settings;
    testsupport::ScopedCurrentDir m_cwd;
    ManualClock m_clock;
    std::unique_ptr<ManualTimerHost> m_pHost;
    std::vector<FakeClient *> m_clients;
    FakeArchive *m_pArchive = nullptr;
    std::unique_ptr<CTelvaneView> m_pView;
    int m_nBeeps = 0;
    int m_nDialogRecorders = 4;
    int m_nPortOf3 = 9003;
};

TEST_F(RecorderSetView, EachRecorderIsAskedForWhatTheScreenShowsOfIt)
{
    m_pView->OnConnect();
    for (int r = 1; r < 4; ++r)
        EXPECT_EQ(m_clients[std::size_t(r)]->port, 9001 + r);

    struct Step {
        bool bMode;
        int nButton;
        const char *szRequests; // recorders 1..4
    };
    const Step steps[] = {
        {false, 5, "[S ][L0001 ][][]"},          // channel 6: recorder 2's channel 2 (3, 4 stopped)
        {true, 1, "[][L0100 ][][]"},             // quad: recorder 2's four
        {true, 6, "[L0100 ][][L0100 ][L0100 ]"}, // 16 tiles
        {true, 2, "[][][S ][S ]"},               // 7 tiles: channels 1-7
        {false, 0, "[L0000 ][S ][][]"},          // channel 1
        {true, 1, "[L0100 ][][][]"},             // quad of recorder 1
    };
    for (const Step &s : steps) {
        if (s.bMode)
            m_pView->OnScreenModeButton(s.nButton);
        else
            m_pView->OnChannelButton(s.nButton);
        EXPECT_EQ(Requests(), s.szRequests) << s.bMode << " " << s.nButton;
    }
    EXPECT_EQ(m_nBeeps, 0);

    // Each recorder decodes for the tiles its own channels have: in 7 tiles, channel
    // 1 is a large tile, channel 7 (recorder 2's third) a small one, 8 and up none.
    m_pView->OnScreenModeButton(2);
    EXPECT_EQ(m_clients[0]->drawn[0], TileRect(0, 7).size());
    EXPECT_EQ(m_clients[1]->drawn[2], TileRect(6, 7).size());
    EXPECT_NE(TileRect(0, 7).size(), TileRect(6, 7).size());
    EXPECT_TRUE(m_clients[1]->drawn[3].isEmpty());
    EXPECT_TRUE(m_clients[2]->drawn[0].isEmpty());

    // A picture of recorder 3's channel index 1 is global channel 10, in its tile.
    m_pView->OnScreenModeButton(6);
    std::vector<uint8_t> bits(size_t(704 * 3) * 240, 0x80);
    BitmapInfoHeader header;
    header.biWidth = 704;
    header.biHeight = 240;
    header.biBitCount = 24;
    header.biSizeImage = uint32_t(bits.size());
    ChannelPicture pic;
    pic.pBits = bits.data();
    pic.pHeader = &header;
    m_clients[2]->view->SetChannelPicture(1, pic);
    m_clients[2]->view->ShowLiveFrame(1);
    EXPECT_EQ(m_pView->ShownChannel(TileRect(9, 16)), 9);
    EXPECT_TRUE(m_pView->IsChannelSeen(9));
    m_clients[2]->view->SetChannelPicture(4, pic); // not one of the recorder's four
    EXPECT_FALSE(m_pView->HasPicture(12));
    // Recorders 3 and 4 removed in the dialog: the view lets their pictures go.
    m_nDialogRecorders = 2;
    m_pView->OnSetting();
    EXPECT_FALSE(m_pView->HasPicture(9));
}

TEST_F(RecorderSetView, ButtonsFollowTheRecordersAndTheirChannelCounts)
{
    // Recorder 3 has two channels: its third is selected as one recorder's would be,
    // and shown unlatched.
    m_clients[2]->view->SetChannelCount(2);
    m_pView->OnChannelButton(10);
    EXPECT_EQ(m_pView->m_wRequestChannel, 10);
    EXPECT_FALSE(m_pView->Button(ControlId(CTRL_CHANNEL_1 + 10))->GetChecked());
    m_pView->OnChannelButton(9);
    EXPECT_EQ(m_pView->m_wRequestChannel, 9);
    EXPECT_EQ(m_pView->SelectedRecorder(), 2);

    // PTZ goes to the selected channel's recorder with its own PTZ type.
    m_clients[2]->SetLink(LinkStatus::Kind::Online);
    CSkinButton *pUp = m_pView->PtzPanel()->GetButton(0);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent ev(type, QPointF(3, 3), pUp->mapToGlobal(QPointF(3, 3)), Qt::LeftButton,
                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                       Qt::NoModifier);
        QApplication::sendEvent(pUp, &ev);
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(m_clients[0]->ptzTypes.empty());
    ASSERT_FALSE(m_clients[2]->ptzTypes.empty());
    EXPECT_EQ(m_clients[2]->ptzTypes[0], 2);

    // Removing recorders 2-4 ends their links; the wide layouts beep again.
    m_pView->OnScreenModeButton(6);
    m_nDialogRecorders = 1;
    m_pView->OnSetting();
    EXPECT_EQ(m_pView->Recorders()->ConfiguredCount(), 1);
    EXPECT_EQ(m_pView->GetScreenMode(), CTelvaneView::kQuadMode);
    EXPECT_EQ(m_pView->SelectedRecorder(), 0);
    m_pView->OnScreenModeButton(6);
    EXPECT_EQ(m_nBeeps, 1);
    m_pView->OnChannelButton(2); // one recorder's single view outlasts the dialog
    m_pView->OnSetting();
    EXPECT_EQ(m_pView->m_wRequestChannel, 2);
}

TEST_F(RecorderSetView, ArchiveTakesTheSelectedRecordersLinkAndALostLinkMarksItsTiles)
{
    m_pView->OnConnect();
    for (FakeClient *p : m_clients)
        p->SetLink(LinkStatus::Kind::Online);
    m_pView->OnChannelButton(5);
    m_pView->OnScreenModeButton(6); // recorder 2 stays the selected one
    Requests();
    m_pView->OnArchive();
    ASSERT_TRUE(m_pArchive->bActive);
    EXPECT_EQ(m_pArchive->pClient, m_clients[1]);
    EXPECT_EQ(m_pArchive->nRecorder, 1);
    EXPECT_EQ(m_pArchive->name, QStringLiteral("Recorder 2"));
    EXPECT_EQ(m_pView->Recorders()->Name(3), QStringLiteral("Gate 4")); // its label
    EXPECT_EQ(Requests(), "[S ][S S ][S ][S ]");
    // A link of another recorder that logs in again meanwhile asks for nothing.
    EXPECT_FALSE(m_clients[0]->view->WantsLive());
    m_pArchive->bActive = false;
    m_pView->OnLeaveArchive();
    EXPECT_EQ(Requests(), "[L0100 ][L0100 ][L0100 ][L0100 ]");

    // Recorder 2 gives up: only its link ends, its tiles say so, the others stay.
    m_pView->OnScreenModeButton(6);
    m_clients[1]->view->OnLinkLost();
    EXPECT_EQ(m_clients[1]->disconnects, 1);
    EXPECT_EQ(m_clients[0]->disconnects, 0);
    EXPECT_EQ(m_pView->GetConnectState(), 1);
    EXPECT_EQ(m_pView->RecorderTileText(1), QStringLiteral("NO LINK"));
    EXPECT_TRUE(m_pView->RecorderTileText(0).isEmpty());
    m_clock.Advance(200000);
    m_clients[2]->SetLink(LinkStatus::Kind::RetryWait, m_clock.Now() - 135000);
    EXPECT_EQ(m_pView->RecorderTileText(2), QStringLiteral("TRY RECONNECTION 02:15"));
    QImage tiles(kPictureRect.size(), QImage::Format_RGB32);
    m_pView->render(&tiles, QPoint(), QRegion(kPictureRect));
    EXPECT_TRUE(testsupport::SamePicture(tiles, "ui/data/recorders-lost-link.png"));

    // Another recorder's link state stays on its tiles; its events reach the status
    // block, named by the global channel.
    m_clients[3]->alert = 0x02030402; // channel 2: alarm 2, loss 3, motion 4
    m_clients[3]->view->ShowStatus(STATUS_EVENT_REPORT);
    EXPECT_EQ(m_pView->StatusPanel()->GetStatusText(),
              QStringLiteral("[CH 14] [Alarm:2 Loss:3 Motion:4]"));
    m_clients[2]->SetLink(LinkStatus::Kind::RetryConnecting, m_clock.Now());
    EXPECT_EQ(m_pView->StatusPanel()->GetStatusText(),
              QStringLiteral("[CH 14] [Alarm:2 Loss:3 Motion:4]"));
    // The last link lost: the window shows itself disconnected.
    for (int r : {0, 2, 3})
        m_clients[std::size_t(r)]->view->OnLinkLost();
    EXPECT_EQ(m_pView->GetConnectState(), 0);
    EXPECT_TRUE(m_pView->Button(CTRL_DISCONNECT)->GetChecked());
}

// Where each link's end is shown: its tiles, the status panel, the buttons and an
// archive window open on it; and what the dialog's OK does to links it changed.
TEST_F(RecorderSetView, EachLinksEndIsShownWhereItBelongs)
{
    const auto connectAll = [this] {
        m_pView->OnConnect();
        for (FakeClient *p : m_clients)
            p->SetLink(LinkStatus::Kind::Online);
    };
    connectAll();
    // A recorder whose attempts are used up says so, and its archive shows the loss.
    m_pView->OnChannelButton(5);
    m_pView->OnArchive();
    ASSERT_EQ(m_pArchive->nRecorder, 1);
    m_clients[1]->SetLink(LinkStatus::Kind::RetryWait, m_clock.Now());
    m_clients[1]->SetLink(LinkStatus::Kind::GivenUp);
    EXPECT_EQ(m_pView->RecorderTileText(1), QStringLiteral("NO LINK"));
    EXPECT_EQ(m_pArchive->codes, (std::vector<int>{STATUS_RECONNECTING, STATUS_WAITING}));
    m_pArchive->bActive = false;
    m_pView->OnLeaveArchive();

    // A refused login is no established link; Disconnect leaves no stale text.
    m_pView->OnChannelButton(8);
    m_clients[2]->SetLink(LinkStatus::Kind::LoginRefused);
    EXPECT_EQ(m_pView->RecorderTileText(2), QStringLiteral("LOGIN REFUSED"));
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("WAITING FOR CONNECTION."));
    m_pView->OnChannelButton(0);
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("CONNECTION ESTABLISHED."));
    m_pView->OnLinkLost();
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("WAITING FOR CONNECTION."));

    // The last link lost by the client: Connect comes up, each event list goes.
    connectAll();
    ASSERT_TRUE(m_pView->Button(CTRL_CONNECT)->GetChecked());
    ASSERT_TRUE(CEventLogFile::OfRecorder(3).Write(nullptr, 0));
    for (FakeClient *p : m_clients)
        p->SetLink(LinkStatus::Kind::GivenUp);
    EXPECT_FALSE(m_pView->Button(CTRL_CONNECT)->GetChecked());
    EXPECT_TRUE(m_pView->Button(CTRL_DISCONNECT)->GetChecked());
    EXPECT_FALSE(CEventLogFile::OfRecorder(3).Exists());

    // OK with recorder 3's port changed gives it a new link at once, and only it.
    connectAll();
    std::vector<int> disconnects;
    for (FakeClient *p : m_clients)
        disconnects.push_back(p->disconnects);
    m_nPortOf3 = 9013;
    m_pView->OnSetting();
    for (int r = 0; r < 4; ++r)
        EXPECT_EQ(m_clients[std::size_t(r)]->disconnects - disconnects[std::size_t(r)], r == 2)
            << r;
    EXPECT_EQ(m_clients[2]->port, 9013);
    EXPECT_EQ(m_clients[2]->link.kind, LinkStatus::Kind::Connecting);

    // Recorder 2 removed while the archive window is hidden, after it showed its
    // archive: the window lets go of the link and of its pictures.
    m_pView->OnChannelButton(5);
    m_pView->OnArchive();
    m_pArchive->bActive = false;
    m_pView->OnLeaveArchive();
    const int nForgets = m_pArchive->forgets;
    m_nDialogRecorders = 1;
    m_pView->OnSetting();
    EXPECT_GT(m_pArchive->forgets, nForgets);
    EXPECT_EQ(m_pArchive->pClient, m_clients[0]);
}

// Every recorder's event reports go into one list, whatever is on screen; the list
// opens beside the main window without taking the focus, the panel counts what
// nobody has looked at, a lost link leaves the list, and a double-click on a row
// opens its recorder's archive on its channel at its time.
TEST_F(RecorderSetView, EveryRecordersReportsGoIntoOneAlarmList)
{
    m_pView->OnConnect();
    for (FakeClient *p : m_clients)
        p->SetLink(LinkStatus::Kind::Online);
    const auto report = [this](int r, uint32_t dwWord) {
        m_clients[std::size_t(r)]->alert = dwWord;
        m_clients[std::size_t(r)]->view->ShowStatus(STATUS_EVENT_REPORT);
    };
    report(2, 0x01000003); // recorder 3's channel 3: alarm
    report(0, 0x00000101); // recorder 1's channel 1: motion
    const CAlarmList &alarms = m_pView->Alarms();
    ASSERT_EQ(alarms.Count(), 2);
    EXPECT_EQ(alarms.Text(1, CAlarmList::COL_RECORDER), QStringLiteral("Recorder 3"));
    EXPECT_EQ(alarms.Text(1, CAlarmList::COL_CHANNEL), QStringLiteral("CH11"));
    EXPECT_EQ(m_pView->StatusPanel()->GetNewAlarmsText(), QStringLiteral("2 NEW"));

    // The key opens the list; a row that comes leaves the focus where it is.
    m_pView->show();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_L, Qt::NoModifier);
    QApplication::sendEvent(m_pView.get(), &key);
    CAlarmListDlg *pDlg = m_pView->AlarmWindow();
    ASSERT_TRUE(pDlg && pDlg->isVisible());
    EXPECT_TRUE(m_pView->StatusPanel()->GetNewAlarmsText().isEmpty());
    m_pView->activateWindow();
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return QApplication::activeWindow() == m_pView.get(); }, 2000));
    report(1, 0x00010002); // seen as it comes
    testsupport::Spin(50);
    EXPECT_EQ(QApplication::activeWindow(), m_pView.get());
    EXPECT_TRUE(m_pView->StatusPanel()->GetNewAlarmsText().isEmpty());

    // Hidden, the list counts again; a lost link keeps it; the panel opens it.
    pDlg->hide();
    m_clients[2]->view->OnLinkLost();
    report(3, 0x00000004);
    EXPECT_EQ(alarms.Count(), 4);
    EXPECT_EQ(m_pView->StatusPanel()->GetNewAlarmsText(), QStringLiteral("1 NEW"));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(statusrect::kPanel.center()),
                      m_pView->mapToGlobal(QPointF(statusrect::kPanel.center())), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_pView.get(), &press);
    EXPECT_TRUE(pDlg->isVisible());

    // A double-click on recorder 2's row: its channel is selected, its archive opens
    // and plays that channel from the time the report came.
    QTableView *pList = pDlg->List();
    const QPoint pt = pList->visualRect(pList->model()->index(1, 0)).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent ev(
            type, QPointF(pt), pList->viewport()->mapToGlobal(QPointF(pt)), Qt::LeftButton,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pList->viewport(), &ev);
    }
    const AlarmRow &row = alarms.Row(1);
    ASSERT_EQ(m_pArchive->plays.size(), 1u);
    EXPECT_EQ(m_pView->m_wRequestChannel, 5);
    EXPECT_TRUE(m_pArchive->bActive);
    EXPECT_EQ(m_pArchive->nRecorder, 1);
    const DvrDateTime played = DecodePackedTime(m_pArchive->plays[0].first);
    EXPECT_EQ(QDateTime(QDate(played.nYear, played.nMonth, played.nDay),
                        QTime(played.nHour, played.nMinute, played.nSecond)),
              row.received.addMSecs(-row.received.time().msec()));
    EXPECT_EQ(m_pArchive->plays[0].second, 1);
    // Another recorder's row waits for "Viewer".
    EXPECT_FALSE(m_pView->PlayAlarm(0));
    EXPECT_EQ(m_nBeeps, 1);
    EXPECT_EQ(m_pArchive->plays.size(), 1u);
    pDlg->hide();
}

} // namespace
