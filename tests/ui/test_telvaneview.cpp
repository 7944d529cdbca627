// The main view against a recording fake client on a manual clock: screen modes,
// channels, requests, beeps, double-clicks, picture crop, the link buttons,
// circular monitoring, the event report and the Exit path.

#include "app/shell/mainframe.h"
#include "protocol/packet.h"
#include "protocol/timerhost.h"
#include "settings/clientsettings.h"
#include "support/testsupport.h"
#include "ui/controls/skinbutton.h"
#include "ui/live/ptzpanel.h"
#include "ui/live/telvaneview.h"
#include "support/fakelink.h"
#include "support/manualclock.h"
#include "support/samepicture.h"
#include "ui/live/statuspanel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace viewlayout;

namespace {

int g_argc = 1;
char g_arg0[] = "test_telvaneview";
char *g_argv[] = {g_arg0, nullptr};

QApplication &App()
{
    static QApplication *app = new QApplication(g_argc, g_argv);
    return *app;
}

struct FakeLiveClient : FakeLinkClient {
    struct Command {
        uint8_t kind;
        bool arm;
        uint16_t requestWord; // the view's m_wRequestChannel when it was sent
        uint16_t alertWord;
    };
    explicit FakeLiveClient(IClientView *pView) : FakeLinkClient(pView), view(pView) {}

    bool Connect(const QString &h, int p) override
    {
        host = h;
        port = p;
        ++connects;
        if (connectResult)
            LinkConnecting();
        return connectResult;
    }
    void Disconnect(bool bFreeAll) override
    {
        disconnects.push_back(bFreeAll);
        if (bFreeAll)
            LinkDisconnected();
    }
    void SendCommand(uint8_t byKind, bool bArm) override
    {
        commands.push_back({byKind, bArm, view->GetRequestChannel(), alertWord});
    }
    void SendPtz(uint8_t, uint8_t, int nIndex, int nPressed) override
    {
        ptz.emplace_back(nIndex, nPressed);
    }
    void SetAlertRequestWord(uint16_t w) override { alertWord = w; }
    void SetSkipCounter(uint8_t b) override { skip = b; }
    void SetDrawnSize(int i, int w, int h) override { drawn.at(std::size_t(i)) = QSize(w, h); }
    uint8_t RetryCount() const override { return 0; }
    uint32_t LastAlertWord() const override { return 0; }

    std::vector<Command> LiveRequests() const
    {
        std::vector<Command> out;
        for (const Command &c : commands)
            if (c.kind == KIND_LIVE)
                out.push_back(c);
        return out;
    }

    IClientView *view;
    QString host;
    int port = 0;
    int connects = 0;
    bool connectResult = true;
    std::vector<bool> disconnects;
    std::vector<Command> commands;
    std::vector<std::pair<int, int>> ptz;
    uint16_t alertWord = 0x0501;
    uint8_t skip = 0;
    std::array<QSize, 16> drawn{}; // the tiles' sizes, as the decoder is told them
};

// The archive window as the view sees it: records what the view asks of it.
struct FakeArchiveWindow : IArchiveWindow {
    std::vector<std::string> calls;
    bool bActive = false;
    ArchiveHost host;
    void Activate(bool bFullScreen) override
    {
        bActive = true;
        calls.push_back(bFullScreen ? "Activate(full)" : "Activate");
    }
    void EnterArchive() override { calls.push_back("EnterArchive"); }
    bool IsActive() const override { return bActive; }
    void ShowLinkStatus(uint8_t byCode, uint8_t, uint32_t) override
    {
        calls.push_back("LinkStatus " + std::to_string(byCode));
    }
    void Shutdown() override { calls.push_back("Shutdown"); }
};

// A bottom-up 24-bit picture whose pixel at top-down (x, y) has blue = x & 0xFF
// and green = y & 0xFF, red = channel marker of the test.
struct TestPicture {
    BitmapInfoHeader header;
    std::vector<uint8_t> bits;
    TestPicture(int w, int h, uint8_t red)
    {
        const int stride = (w * 3 + 3) & ~3;
        header.biWidth = w;
        header.biHeight = h;
        header.biBitCount = 24;
        header.biSizeImage = uint32_t(stride * h);
        bits.assign(header.biSizeImage, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t *p = bits.data() + std::size_t(h - 1 - y) * stride + x * 3;
                p[0] = uint8_t(x);
                p[1] = uint8_t(y);
                p[2] = red;
            }
    }
    ChannelPicture Hand(uint8_t fieldFlag, uint8_t widthFlag = 0) const
    {
        ChannelPicture pic;
        pic.pBits = bits.data();
        pic.pHeader = &header;
        pic.byFieldFlag = fieldFlag;
        pic.byWidthFlag = widthFlag;
        return pic;
    }
};

class TelvaneViewTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(m_cwd.isValid());
        m_pHost = m_clock.CreateHost();
        CTelvaneView::Environment env;
        env.pTimerHost = m_pHost.get();
        env.fnCreateClient = [this](IClientView *pView) {
            auto p = std::make_unique<FakeLiveClient>(pView);
            m_pClient = p.get();
            return p;
        };
        env.fnBeep = [this] { ++m_nBeeps; };
        env.fnAbout = [this] { ++m_nAbout; };
        env.fnPlaceWindow = [this](bool bOn) { m_placed.push_back(bOn); };
        env.fnCreateArchive = [this](const ArchiveHost &host) {
            auto p = std::make_unique<FakeArchiveWindow>();
            p->host = host;
            m_pArchive = p.get();
            return std::unique_ptr<IArchiveWindow>(std::move(p));
        };
        m_pView = std::make_unique<CTelvaneView>(nullptr, env);
        m_pView->OnInitialUpdate();
        ASSERT_NE(m_pClient, nullptr);
    }
    void TearDown() override { m_pView.reset(); }

    bool Checked(ControlId id) const { return m_pView->Button(id)->GetChecked() != 0; }
    ControlId Channel(int k) const { return ControlId(CTRL_CHANNEL_1 + k); }
    ControlId Mode(int i) const { return ControlId(CTRL_SCREEN_MODE_1 + i); }

    void DoubleClick(QPoint pt)
    {
        QMouseEvent ev(QEvent::MouseButtonDblClick, QPointF(pt), QPointF(m_pView->mapToGlobal(pt)),
                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_pView.get(), &ev);
    }
    // Delivers a picture for channel index k, as the receive path does.
    void Deliver(int k, const TestPicture &pic, uint8_t fieldFlag = 1)
    {
        m_pClient->view->SetChannelPicture(k, pic.Hand(fieldFlag));
        m_pClient->view->ShowLiveFrame(k);
    }

    // The view as it paints itself into an image of the given format: a 32-bit
    // target takes the direct stretch, any other goes through the painter.
    QImage Rendered(QImage::Format format = QImage::Format_RGB32,
                    const QRegion &region = QRegion()) const
    {
        QImage image(m_pView->size(), format);
        image.fill(Qt::magenta);
        // A region is rendered with its bounding rectangle at the offset given.
        m_pView->render(&image, region.boundingRect().topLeft(), region);
        return image.convertToFormat(QImage::Format_RGB32);
    }
    // The whole window, with the workstation's date and time blanked out.
    QImage Shot() const
    {
        QImage image = Rendered();
        for (const QRect &rc : {statusrect::kDate, statusrect::kTime})
            QPainter(&image).fillRect(rc, Qt::magenta);
        return image;
    }

    testsupport::IsolatedSettings m_settings;
    testsupport::ScopedCurrentDir m_cwd;
    ManualClock m_clock;
    std::unique_ptr<ManualTimerHost> m_pHost;
    FakeLiveClient *m_pClient = nullptr;
    FakeArchiveWindow *m_pArchive = nullptr;
    std::unique_ptr<CTelvaneView> m_pView;
    int m_nBeeps = 0;
    int m_nAbout = 0;
    std::vector<bool> m_placed;
};

TEST_F(TelvaneViewTest, StartsInQuadModeDisconnectedWithoutRequests)
{
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0401);
    EXPECT_EQ(m_pView->m_wRequestChannel, 0x0100);
    EXPECT_EQ(m_pView->GetConnectState(), 0);
    EXPECT_TRUE(m_pClient->commands.empty());
    EXPECT_EQ(m_pClient->connects, 0);
    EXPECT_EQ(m_pClient->drawn[3], TileRect(3, 4).size());
    EXPECT_TRUE(Checked(CTRL_DISCONNECT));
    EXPECT_FALSE(Checked(CTRL_CONNECT));
    EXPECT_TRUE(Checked(Mode(1)));
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(Checked(Channel(k)), k < 4) << k;
    EXPECT_FALSE(m_pView->Button(CTRL_ROTATE)->isEnabled());
    EXPECT_FALSE(m_pView->Button(CTRL_RECEIVE_LAMP)->isEnabled());
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("WAITING FOR CONNECTION."));
    EXPECT_TRUE(m_pHost->IsTimerRunning(CTelvaneView::kClockTimerId));
    EXPECT_TRUE(m_placed.empty()); // no full screen by default
    EXPECT_EQ(m_pView->Tile(0), TileRect(0, 4));
    EXPECT_EQ(m_pView->Tile(3), TileRect(3, 4));
    EXPECT_TRUE(m_pView->Tile(4).isEmpty());
    EXPECT_TRUE(testsupport::SamePicture(Shot(), "ui/data/view-start.png"));
}

TEST_F(TelvaneViewTest, ChannelButtonsSelectOneChannelAndRequestOnce)
{
    m_pView->OnChannelButton(2);
    ASSERT_EQ(m_pClient->LiveRequests().size(), 1u);
    EXPECT_EQ(m_pClient->LiveRequests()[0].requestWord, 0x0002);
    EXPECT_TRUE(m_pClient->LiveRequests()[0].arm);
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0100);
    EXPECT_TRUE(m_pView->Button(CTRL_ROTATE)->isEnabled());
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(Checked(Channel(k)), k == 2) << k;
    EXPECT_TRUE(Checked(Mode(0)));
    EXPECT_FALSE(Checked(Mode(1)));
    EXPECT_EQ(m_pView->Tile(0), TileRect(0, 1));
    EXPECT_EQ(m_pView->Tile(2), TileRect(0, 1));
    EXPECT_TRUE(m_pView->Tile(1).isEmpty());
    // The decoder learns each channel's tile (quad before, single now).
    EXPECT_EQ(m_pClient->drawn[2], TileRect(0, 1).size());
    EXPECT_EQ(m_pClient->drawn[1], QSize(0, 0));

    m_pView->OnChannelButton(2); // already shown: nothing
    EXPECT_EQ(m_pClient->LiveRequests().size(), 1u);

    m_pView->OnChannelButton(0);
    ASSERT_EQ(m_pClient->LiveRequests().size(), 2u);
    EXPECT_EQ(m_pClient->LiveRequests()[1].requestWord, 0x0000);
}

TEST_F(TelvaneViewTest, ScreenModeTwoFromSingleRequestsAllChannelsOnce)
{
    m_pView->OnScreenModeButton(0);
    ASSERT_EQ(m_pClient->LiveRequests().size(), 1u);
    EXPECT_EQ(m_pClient->LiveRequests()[0].requestWord, 0x0000);
    m_pView->OnScreenModeButton(0); // already single
    EXPECT_EQ(m_pClient->LiveRequests().size(), 1u);
    EXPECT_TRUE(Checked(Mode(0)));

    m_pView->OnScreenModeButton(1);
    ASSERT_EQ(m_pClient->LiveRequests().size(), 2u);
    EXPECT_EQ(m_pClient->LiveRequests()[1].requestWord, 0x0100);
    m_pView->OnScreenModeButton(1);
    EXPECT_EQ(m_pClient->LiveRequests().size(), 2u);
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0401);
}

TEST_F(TelvaneViewTest, UnsupportedModesAndChannelsBeepAndChangeNothing)
{
    struct Row {
        bool mode;
        int button;
    };
    const Row rows[] = {{true, 2}, {true, 4}, {true, 6}, {false, 4}, {false, 8}, {false, 15}};
    int expectedBeeps = 0;
    for (const Row &r : rows) {
        const ControlId id = r.mode ? Mode(r.button) : Channel(r.button);
        m_pView->Button(id)->SetChecked(1); // as the click left it
        if (r.mode)
            m_pView->OnScreenModeButton(r.button);
        else
            m_pView->OnChannelButton(r.button);
        EXPECT_EQ(m_nBeeps, ++expectedBeeps) << r.button;
        EXPECT_FALSE(Checked(id)) << r.button;
        EXPECT_EQ(m_pView->GetScreenMode(), 0x0401);
        EXPECT_EQ(m_pView->m_wRequestChannel, 0x0100);
    }
    EXPECT_TRUE(m_pClient->commands.empty());
}

TEST_F(TelvaneViewTest, DoubleClicksFollowSeenTilesAndModes)
{
    const QPoint inTile3 = TileRect(3, 4).center();
    DoubleClick(inTile3); // channel 4 never delivered a picture
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0401);
    EXPECT_TRUE(m_pClient->commands.empty());

    TestPicture pic(704, 240, 40);
    Deliver(3, pic);
    DoubleClick(inTile3);
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0100);
    EXPECT_EQ(m_pView->m_wRequestChannel, 0x0003);
    ASSERT_EQ(m_pClient->LiveRequests().size(), 1u);

    // In single mode a double-click on the picture goes back to all four channels.
    DoubleClick(QPoint(100, 100));
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0401);
    ASSERT_EQ(m_pClient->LiveRequests().size(), 2u);
    EXPECT_EQ(m_pClient->LiveRequests()[1].requestWord, 0x0100);

    EXPECT_EQ(m_nAbout, 0);
    DoubleClick(QPoint(40, 600));
    EXPECT_EQ(m_nAbout, 1);
}

TEST_F(TelvaneViewTest, PicturesAreCroppedByHeightAndFieldFlag)
{
    struct Row {
        int w, h;
        uint8_t field;
        int left, top;
    };
    const Row rows[] = {
        {704, 240, 1, 6, 8},
        {704, 240, 0, 6, 9},
        {704, 288, 1, 10, 12},
        {704, 288, 0, 10, 13},
    };
    for (const Row &r : rows) {
        TestPicture pic(r.w, r.h, 77);
        Deliver(1, pic, r.field);
        const QRect tile = m_pView->Tile(1);
        const QImage screen = Rendered();
        const QRgb corner = screen.pixel(tile.topLeft());
        EXPECT_EQ(qRed(corner), 77);
        EXPECT_EQ(qBlue(corner), r.left) << r.h << "/" << int(r.field);
        EXPECT_EQ(qGreen(corner), r.top) << r.h << "/" << int(r.field);
        EXPECT_TRUE(m_pView->IsChannelSeen(1));
        EXPECT_EQ(m_pView->ShownChannel(tile), 1);
        // The frame around the tile.
        EXPECT_EQ(screen.pixel(tile.left() - 1, tile.top() - 1), qRgb(255, 255, 255));
    }
}

TEST_F(TelvaneViewTest, PicturesPaintTheSameOnEveryDeviceAndInParts)
{
    TestPicture pic0(704, 240, 40), pic2(704, 288, 90);
    Deliver(0, pic0);
    Deliver(2, pic2, 0);
    const QImage direct = Rendered();
    const QRect area = kPictureRect.adjusted(-1, -1, 1, 1);
    // Through the painter (24-bit target) the pixels are the same.
    EXPECT_EQ(Rendered(QImage::Format_RGB888).copy(area), direct.copy(area));
    // Repainting odd parts that cut through tiles gives the pixels of a whole paint,
    // and nothing outside the parts is touched.
    const QRegion parts = QRegion(100, 50, 173, 301) + QRegion(390, 260, 41, 97);
    const QImage partial = Rendered(QImage::Format_RGB32, parts);
    for (const QRect &rc : parts)
        EXPECT_EQ(partial.copy(rc), direct.copy(rc));
    EXPECT_EQ(partial.pixel(400, 100), qRgb(255, 0, 255));
    // Drawn at an offset in a larger 32-bit image, as into a window's backing store
    // when the view does not sit at its top-left corner.
    QImage shifted(m_pView->size() + QSize(9, 6), QImage::Format_ARGB32_Premultiplied);
    shifted.fill(Qt::magenta);
    m_pView->render(&shifted, QPoint(7, 5));
    EXPECT_EQ(shifted.convertToFormat(QImage::Format_RGB32).copy(area.translated(7, 5)),
              direct.copy(area));
    // The backing image itself never holds pictures.
    EXPECT_NE(qRed(m_pView->BackingImage().pixel(TileRect(0, 4).center())), 40);
    EXPECT_EQ(qRed(direct.pixel(TileRect(0, 4).center())), 40);
    EXPECT_EQ(qRed(direct.pixel(TileRect(2, 4).center())), 90);
}

// The lamp reaches the screen at most once per display frame, but its last state
// is never lost.
TEST_F(TelvaneViewTest, ReceiveLampShowsItsLastStateByTheNextFrame)
{
    const bool bBefore = Checked(CTRL_RECEIVE_LAMP);
    for (int i = 0; i < 3; ++i)
        m_pView->ToggleReceiveLamp();
    EXPECT_TRUE(testsupport::WaitFor([&] { return Checked(CTRL_RECEIVE_LAMP) != bBefore; }));
    m_pView->ToggleReceiveLamp();
    EXPECT_TRUE(testsupport::WaitFor([&] { return Checked(CTRL_RECEIVE_LAMP) == bBefore; }));
}

// Counts the paints a widget receives and gathers their regions.
class PaintWatcher : public QObject {
  public:
    int count = 0;
    QRegion region;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            ++count;
            region += static_cast<QPaintEvent *>(e)->region();
        }
        return false;
    }
};

// Pictures decoded from one batch of reads reach the screen in one paint, and a
// picture that follows close behind is painted by the next frame.
TEST_F(TelvaneViewTest, PicturesOfOneBatchArePaintedTogether)
{
    PaintWatcher paints;
    m_pView->installEventFilter(&paints);
    m_pView->show();
    ASSERT_TRUE(testsupport::WaitFor([&] { return paints.count > 0; }));
    testsupport::Spin(40); // the last frame is long past
    paints.count = 0;
    paints.region = QRegion();
    TestPicture pic0(704, 240, 40), pic1(704, 240, 90), pic2(704, 240, 130), pic3(704, 240, 170);
    Deliver(0, pic0);
    Deliver(1, pic1);
    Deliver(2, pic2);
    ASSERT_TRUE(testsupport::WaitFor([&] { return paints.count > 0; }));
    EXPECT_EQ(paints.count, 1);
    for (int k = 0; k < 3; ++k)
        EXPECT_TRUE(paints.region.contains(TileRect(k, 4))) << k;
    Deliver(3, pic3);
    EXPECT_TRUE(testsupport::WaitFor([&] { return paints.region.contains(TileRect(3, 4)); }));
    // Once a tile is framed, its next picture repaints the picture alone.
    testsupport::Spin(40);
    paints.count = 0;
    paints.region = QRegion();
    Deliver(0, pic1);
    ASSERT_TRUE(testsupport::WaitFor([&] { return paints.count > 0; }));
    EXPECT_TRUE(paints.region.contains(TileRect(0, 4)));
    EXPECT_FALSE(paints.region.contains(TileRect(0, 4).topLeft() - QPoint(1, 1)));
    EXPECT_EQ(qRed(Rendered().pixel(TileRect(0, 4).center())), 90);
    EXPECT_EQ(Rendered().pixel(TileRect(0, 4).topLeft() - QPoint(1, 1)),
              Rendered().pixel(TileRect(1, 4).topLeft() - QPoint(1, 1))); // frame kept
    m_pView->removeEventFilter(&paints);
}

TEST_F(TelvaneViewTest, SingleModeShowsOnlyTheSelectedChannel)
{
    TestPicture pic0(704, 240, 40), pic3(704, 240, 130);
    Deliver(0, pic0);
    Deliver(3, pic3);
    m_pView->OnChannelButton(3);
    ASSERT_TRUE(m_pView->IsSingleMode());
    const QRect area = TileRect(0, 1);
    EXPECT_EQ(m_pView->ShownChannel(area), 3);
    EXPECT_EQ(qRed(Rendered().pixel(area.center())), 130);
    m_pView->OnChannelButton(1); // no picture yet: its empty frame
    EXPECT_EQ(Rendered().pixel(area.topLeft() - QPoint(1, 1)), CPictureCanvas::kFrameColour);
    // Back in the grid each tile shows its own channel again; channel 1 has none.
    m_pView->SetScreenMode(CTelvaneView::kQuadMode);
    EXPECT_EQ(m_pView->ShownChannel(TileRect(0, 4)), 0);
    EXPECT_EQ(m_pView->ShownChannel(TileRect(1, 4)), -1);
    EXPECT_EQ(m_pView->ShownChannel(TileRect(3, 4)), 3);
}

TEST_F(TelvaneViewTest, ConnectAndLinkLost)
{
    QFile events(QStringLiteral("AlarmEvent.am"));
    ASSERT_TRUE(events.open(QIODevice::WriteOnly));
    events.write("0123456789");
    events.close();

    m_pView->OnConnect();
    EXPECT_EQ(m_pClient->connects, 1);
    EXPECT_EQ(m_pClient->host, QStringLiteral("192.168.1.150")); // the fake never dials
    EXPECT_EQ(m_pClient->port, 8000);
    EXPECT_EQ(m_pView->GetConnectState(), 2);
    EXPECT_TRUE(Checked(CTRL_CONNECT));
    EXPECT_FALSE(Checked(CTRL_DISCONNECT));
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("CONNECTING.."));

    m_pView->OnConnect(); // already connecting: no second attempt
    EXPECT_EQ(m_pClient->connects, 1);

    m_pClient->SetLink(LinkStatus::Kind::Online);
    TestPicture pic(704, 240, 10);
    Deliver(0, pic);
    ASSERT_TRUE(m_pView->HasPicture(0));

    m_pView->OnLinkLost();
    EXPECT_EQ(m_pView->GetConnectState(), 0);
    ASSERT_EQ(m_pClient->disconnects.size(), 1u);
    EXPECT_TRUE(m_pClient->disconnects[0]);
    EXPECT_FALSE(m_pView->HasPicture(0));
    EXPECT_FALSE(m_pView->IsChannelSeen(0));
    EXPECT_FALSE(QFile::exists(QStringLiteral("AlarmEvent.am")));
    EXPECT_FALSE(Checked(CTRL_CONNECT));
    EXPECT_TRUE(Checked(CTRL_DISCONNECT));
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("WAITING FOR CONNECTION."));
    // The picture area is back to the background with empty frames.
    EXPECT_NE(qRed(Rendered().pixel(TileRect(0, 4).center())), 10);
    EXPECT_EQ(m_pView->ShownChannel(TileRect(0, 4)), -1);

    m_pView->Button(CTRL_DISCONNECT)->SetChecked(0); // a click on the latched button
    m_pView->OnLinkLost();
    EXPECT_EQ(m_pClient->disconnects.size(), 1u);
    EXPECT_TRUE(Checked(CTRL_DISCONNECT));
}

TEST_F(TelvaneViewTest, ConnectThatCannotStartStaysIdle)
{
    m_pClient->connectResult = false;
    m_pView->OnConnect();
    EXPECT_EQ(m_pView->GetConnectState(), 0);
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("WAITING FOR CONNECTION."));
}

TEST_F(TelvaneViewTest, ArchiveDoesNothingWhileNotConnected)
{
    m_pView->show();
    m_pView->OnArchive();
    EXPECT_TRUE(m_pView->isVisible());
    EXPECT_TRUE(m_pClient->commands.empty());
}

// Connected, the Archive switch hands over to the archive window: two unarmed stops,
// the live pictures forgotten (the seen flags stay), the skip counter set; the link
// status reaches it while it is active; "Viewer" asks for live again, armed.
TEST_F(TelvaneViewTest, ArchiveRoundTrip)
{
    ASSERT_NE(m_pArchive, nullptr);
    EXPECT_EQ(m_pArchive->host.pSettings, &m_pView->SettingsRecord());
    m_pClient->SetLink(LinkStatus::Kind::Online);
    TestPicture pic(704, 240, 5);
    Deliver(0, pic);
    m_pClient->commands.clear();
    m_pView->OnArchive();
    EXPECT_EQ(m_pArchive->calls, (std::vector<std::string>{"Activate", "EnterArchive"}));
    ASSERT_EQ(m_pClient->commands.size(), 2u);
    for (const auto &c : m_pClient->commands)
        EXPECT_TRUE(c.kind == KIND_STOP && !c.arm);
    EXPECT_EQ(m_pClient->skip, 1);
    EXPECT_FALSE(m_pView->HasPicture(0));
    EXPECT_TRUE(m_pView->IsChannelSeen(0));
    m_pClient->view->ShowStatus(STATUS_TRY_REQUEST);
    EXPECT_EQ(m_pArchive->calls.back(), "LinkStatus 6");

    m_pArchive->bActive = false;
    m_pArchive->host.fnLeave();
    ASSERT_EQ(m_pClient->LiveRequests().size(), 1u);
    EXPECT_TRUE(m_pClient->LiveRequests()[0].arm);
    m_pView->OnExit();
    EXPECT_EQ(m_pArchive->calls.back(), "Shutdown");
}

TEST_F(TelvaneViewTest, RotationStepsThroughSeenChannelsEveryIntervalPlusOneSecond)
{
    m_pView->SettingsRecord().m_byRotateInterval = 5; // "05 SEC", not the default
    m_pClient->SetLink(LinkStatus::Kind::Online);
    TestPicture pic(704, 240, 5);
    for (int k : {0, 1, 3})
        Deliver(k, pic);
    m_pView->OnChannelButton(0);
    m_pView->ToggleRotation();
    ASSERT_TRUE(m_pView->IsRotating());
    EXPECT_TRUE(Checked(CTRL_ROTATE));
    EXPECT_EQ(m_pView->Rotation().m_wRotate, 0x0105);

    // Started on channel 1: channel 2 at once, then 4, 1, 2 ... every 6 s.
    std::vector<int> shown;
    std::vector<int64_t> changedAt;
    int last = m_pView->m_wRequestChannel & 0xFF;
    shown.push_back(last);
    changedAt.push_back(m_clock.Now());
    while (m_clock.Now() < 24000) {
        m_clock.Advance(1000);
        const int now = m_pView->m_wRequestChannel & 0xFF;
        if (now != last) {
            shown.push_back(now);
            changedAt.push_back(m_clock.Now());
            last = now;
        }
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 3, 0, 1, 3}));
    EXPECT_EQ(changedAt, (std::vector<int64_t>{0, 6000, 12000, 18000, 24000}));
    // Each step asks for the new channel.
    EXPECT_EQ(m_pClient->LiveRequests().back().requestWord, 0x0003);
    // No step while the archive window has the link: it would end the playback.
    const size_t nLive = m_pClient->LiveRequests().size();
    m_pArchive->bActive = true;
    m_clock.Advance(8000);
    EXPECT_EQ(m_pClient->LiveRequests().size(), nLive);
    m_pArchive->bActive = false;

    // Screen-mode 2 stops it and asks for all channels.
    m_pView->OnScreenModeButton(1);
    EXPECT_FALSE(m_pView->IsRotating());
    EXPECT_FALSE(Checked(CTRL_ROTATE));
    EXPECT_EQ(m_pClient->LiveRequests().back().requestWord, 0x0100);
}

TEST_F(TelvaneViewTest, RotationStartsOnlyConnectedInSingleAndItsButtonEndsIt)
{
    m_pView->ToggleRotation(); // quad
    EXPECT_FALSE(m_pView->IsRotating());
    m_pView->OnChannelButton(1);
    m_pView->Button(CTRL_ROTATE)->SetChecked(1); // as the click left it
    m_pView->ToggleRotation();                   // not connected
    EXPECT_FALSE(m_pView->IsRotating());
    EXPECT_FALSE(Checked(CTRL_ROTATE));
    // Connected it runs; the button again ends it and returns to the grid of all channels.
    m_pClient->SetLink(LinkStatus::Kind::Online);
    m_pView->ToggleRotation();
    ASSERT_TRUE(m_pView->IsRotating());
    m_pView->ToggleRotation();
    EXPECT_FALSE(m_pView->IsRotating());
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0401);
    EXPECT_EQ(m_pClient->LiveRequests().back().requestWord, 0x0100);
}

TEST_F(TelvaneViewTest, EventReportSendsItsWordAtOnceWithoutArming)
{
    struct Row {
        bool on;
        uint16_t word;
    };
    for (const Row r : {Row{true, 0x0501}, Row{false, 0x0500}}) {
        m_pClient->commands.clear();
        m_pView->SetEventReport(r.on);
        ASSERT_EQ(m_pClient->commands.size(), 1u);
        EXPECT_EQ(m_pClient->commands[0].kind, KIND_ALERT);
        EXPECT_FALSE(m_pClient->commands[0].arm);
        EXPECT_EQ(m_pClient->commands[0].alertWord, r.word);
    }
}

TEST_F(TelvaneViewTest, ExitDisconnectsStopsTheClockAndSavesSettings)
{
    m_pView->SettingsRecord().m_nHostPort = 8123;
    SetFieldText(m_pView->SettingsRecord().m_szHostIP, QStringLiteral("127.0.0.1"));
    QWidget *pTop = m_pView->window();
    pTop->show();
    EXPECT_TRUE(m_pHost->IsTimerRunning(CTelvaneView::kClockTimerId)); // until the exit
    m_pView->OnExit();
    QCoreApplication::sendPostedEvents(); // and the window closes once back in the loop
    EXPECT_FALSE(pTop->isVisible());
    ASSERT_EQ(m_pClient->disconnects.size(), 1u);
    EXPECT_FALSE(m_pHost->IsTimerRunning(CTelvaneView::kClockTimerId));
    QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                    QString::fromLatin1(SETTINGS_APPLICATION));
    store.beginGroup(QString::fromLatin1(SETTINGS_SECTION));
    EXPECT_EQ(store.value(QStringLiteral("Host Port")).toInt(), 8123);
    EXPECT_EQ(store.value(QStringLiteral("Host IPAddress")).toString(),
              QStringLiteral("127.0.0.1"));
}

TEST_F(TelvaneViewTest, FullScreenSettingPlacesTheWindowAtStart)
{
    {
        QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                        QString::fromLatin1(SETTINGS_APPLICATION));
        store.setValue(QStringLiteral("Setting/Use FullScreen"), 1);
    }
    CTelvaneView::Environment env;
    env.pTimerHost = m_pHost.get();
    env.fnCreateClient = [](IClientView *) { return std::unique_ptr<ILiveClient>(); };
    std::vector<bool> placed;
    env.fnPlaceWindow = [&](bool bOn) { placed.push_back(bOn); };
    m_pView.reset();
    CTelvaneView view(nullptr, env);
    view.OnInitialUpdate();
    EXPECT_EQ(placed, std::vector<bool>{true});
    EXPECT_FALSE(view.DisplayChanged());
    // Without a client the buttons that need one do nothing.
    view.OnConnect();
    EXPECT_EQ(view.GetConnectState(), 0);
    view.OnChannelButton(1);
    EXPECT_EQ(view.GetScreenMode(), 0x0100);
}

void Click(QWidget *pButton, bool bPress, bool bRelease)
{
    const QPointF at(3, 3);
    if (bPress) {
        QMouseEvent press(QEvent::MouseButtonPress, at, pButton->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pButton, &press);
    }
    if (bRelease) {
        QMouseEvent release(QEvent::MouseButtonRelease, at, pButton->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(pButton, &release);
    }
    QCoreApplication::processEvents();
}

TEST_F(TelvaneViewTest, SkinButtonMessagesReachTheirHandlers)
{
    Click(m_pView->Button(Channel(2)), true, true);
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0100);
    EXPECT_EQ(m_pView->m_wRequestChannel, 0x0002);
    EXPECT_TRUE(Checked(Channel(2)));
    Click(m_pView->Button(Mode(6)), true, true); // the last layout: needs a second recorder
    EXPECT_EQ(m_nBeeps, 1);

    // The PTZ pad sends a press and a release while connected; the view's own
    // momentary buttons (Exit) never reach the pad.
    m_pClient->SetLink(LinkStatus::Kind::Online);
    CSkinButton *pUp = m_pView->PtzPanel()->GetButton(0);
    ASSERT_NE(pUp, nullptr);
    Click(pUp, true, false);
    Click(pUp, false, true);
    ASSERT_EQ(m_pClient->ptz.size(), 2u);
    EXPECT_EQ(m_pClient->ptz[0], std::make_pair(0, 1));
    EXPECT_EQ(m_pClient->ptz[1], std::make_pair(0, 0));
    const uint8_t speed = m_pView->GetPtzSpeed();
    m_clock.Advance(400); // the stop repeat: five more stops of action 0
    EXPECT_EQ(m_pClient->ptz.size(), 7u);
    Click(m_pView->Button(CTRL_EXIT), true, true);
    EXPECT_EQ(m_pView->GetPtzSpeed(), speed);
    EXPECT_EQ(m_pClient->disconnects.size(), 1u); // Exit ran
}

// Press a button, drag the pointer off it and release outside.
void DragOff(QWidget *pButton)
{
    auto send = [&](QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent ev(type, QPointF(pos), QPointF(pButton->mapToGlobal(pos)), button, held,
                       Qt::NoModifier);
        QApplication::sendEvent(pButton, &ev);
    };
    send(QEvent::MouseMove, {3, 3}, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {3, 80}, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, {3, 80}, Qt::LeftButton, Qt::NoButton);
    QCoreApplication::processEvents();
}

TEST_F(TelvaneViewTest, PushButtonsFireOnlyWhenReleasedOverThem)
{
    // Exit is a push button: dragging off it cancels the click.
    DragOff(m_pView->Button(CTRL_EXIT));
    EXPECT_TRUE(m_pClient->disconnects.empty());
    EXPECT_TRUE(m_pHost->IsTimerRunning(CTelvaneView::kClockTimerId));
    // A latching skin button completes its click when the pointer leaves it.
    DragOff(m_pView->Button(Channel(2)));
    EXPECT_EQ(m_pView->m_wRequestChannel, 0x0002);
    EXPECT_EQ(m_pView->GetScreenMode(), 0x0100);
    // Released over it, Exit runs.
    Click(m_pView->Button(CTRL_EXIT), true, true);
    EXPECT_EQ(m_pClient->disconnects.size(), 1u);
    EXPECT_FALSE(m_pHost->IsTimerRunning(CTelvaneView::kClockTimerId));
}

TEST_F(TelvaneViewTest, RecorderChannelCountLimitsLatchedButtons)
{
    m_pClient->view->SetChannelCount(2);
    m_pView->OnChannelButton(0);
    m_pView->OnScreenModeButton(1); // the grid latches only the recorder's channels
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(Checked(Channel(k)), k < 2) << k;
    m_pView->OnChannelButton(3); // selected, but beyond the count: shown unlatched
    EXPECT_EQ(m_pView->m_wRequestChannel, 0x0003);
    for (int k = 0; k < 16; ++k)
        EXPECT_FALSE(Checked(Channel(k))) << k;
}

TEST_F(TelvaneViewTest, SmallLogoIsDrawnWhenItsFileExists)
{
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("logo")));
    QImage logo(85, 55, QImage::Format_RGB32);
    logo.fill(qRgb(12, 34, 56));
    ASSERT_TRUE(logo.save(QStringLiteral("logo/slogo.bmp"), "BMP"));
    CTelvaneView::Environment env;
    env.pTimerHost = m_pHost.get();
    env.fnCreateClient = [](IClientView *) { return std::unique_ptr<ILiveClient>(); };
    m_pView.reset();
    CTelvaneView view(nullptr, env);
    view.OnInitialUpdate();
    EXPECT_EQ(view.BackingImage().pixel(705, 15), qRgb(12, 34, 56));
    EXPECT_EQ(view.BackingImage().pixel(789, 69), qRgb(12, 34, 56));
}

TEST_F(TelvaneViewTest, PressOnTheFormDragsTheWindowUnlessFullScreen)
{
    QWidget top;
    m_pView->setParent(&top);
    top.move(100, 100);
    top.show();
    auto drag = [&](QPoint by) {
        const QPoint start = m_pView->mapToGlobal(QPoint(20, 300));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 300), QPointF(start),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_pView.get(), &press);
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 300) + by, QPointF(start + by),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_pView.get(), &move);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(20, 300) + by, QPointF(start + by),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(m_pView.get(), &release);
    };
    const QPoint before = top.pos();
    drag(QPoint(30, 40));
    EXPECT_EQ(top.pos(), before + QPoint(30, 40));
    m_pView->SettingsRecord().m_bUseFullScreen = 1;
    drag(QPoint(30, 40));
    EXPECT_EQ(top.pos(), before + QPoint(30, 40));
    m_pView->setParent(nullptr);
}

TEST_F(TelvaneViewTest, FullScreenPlacesTheFrameAtTheScreenCorner)
{
    {
        QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                        QString::fromLatin1(SETTINGS_APPLICATION));
        store.setValue(QStringLiteral("Setting/Use FullScreen"), 1);
    }
    m_pView.reset();
    CMainFrame frame;
    CTelvaneView::Environment env;
    env.pTimerHost = m_pHost.get();
    env.fnCreateClient = [](IClientView *) { return std::unique_ptr<ILiveClient>(); };
    env.fnPlaceWindow = [&frame](bool bOn) { frame.PlaceWindow(bOn); }; // as the program does
    auto *pView = new CTelvaneView(&frame, env);
    frame.SetView(pView);
    frame.move(50, 50);
    pView->OnInitialUpdate();
    EXPECT_EQ(frame.pos(), QPoint(-2, -2));
    pView->SetFullScreen(false);
    EXPECT_NE(frame.pos(), QPoint(-2, -2));
}

} // namespace

TEST_F(TelvaneViewTest, FrozenTileIsMarkedUntilItsNextPicture)
{
    m_pView->OnConnect();
    const TestPicture pic(704, 240, 0);
    for (int k = 0; k < 4; ++k)
        Deliver(k, pic);
    for (int t = 250; t <= 2000; t += 250) { // channel 1 stops, the others go on
        m_clock.Advance(250);
        for (int k = 1; k < 4; ++k)
            Deliver(k, pic);
    }
    EXPECT_EQ(m_pView->StaleMarkSeconds(0), 2);
    for (int k = 1; k < 4; ++k)
        EXPECT_EQ(m_pView->StaleMarkSeconds(k), -1) << k;
    // The red band at the foot of tile 1 only.
    const QImage img = Rendered();
    const QRect t0 = m_pView->Tile(0), t1 = m_pView->Tile(1);
    EXPECT_EQ(img.pixel(t0.left() + 4, t0.bottom() - 3), qRgb(255, 0, 0));
    EXPECT_EQ(qRed(img.pixel(t1.left() + 4, t1.bottom() - 3)), 0);

    Deliver(0, pic);
    EXPECT_EQ(m_pView->StaleMarkSeconds(0), -1);
    // While the archive has the link, no live stream is expected.
    m_clock.Advance(3000);
    EXPECT_EQ(m_pView->StaleMarkSeconds(1), 3);
    EXPECT_EQ(m_pView->StaleMarkSeconds(0), -1); // its one gap of 2 s makes it a slow channel
    m_pArchive->bActive = true;
    m_clock.Advance(250);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(m_pView->StaleMarkSeconds(k), -1) << k;
}

TEST_F(TelvaneViewTest, KeysClickTheirButtonsAndAHeldKeyActsOnce)
{
    m_pView->OnConnect();
    m_pClient->SetLink(LinkStatus::Kind::Online);
    const auto key = [&](int nKey, bool bRepeat = false) {
        QKeyEvent ev(QEvent::KeyPress, nKey, Qt::NoModifier, QString(), bRepeat);
        QApplication::sendEvent(m_pView.get(), &ev);
        QCoreApplication::sendPostedEvents();
    };
    key(Qt::Key_2);
    EXPECT_TRUE(m_pView->IsSingleMode());
    EXPECT_EQ(m_pView->m_wRequestChannel, 1);
    key(Qt::Key_2, true);
    key(Qt::Key_3, true);
    EXPECT_EQ(m_pClient->LiveRequests().size(), 1u);
    key(Qt::Key_R);
    EXPECT_TRUE(m_pView->IsRotating());
    key(Qt::Key_Q);
    EXPECT_FALSE(m_pView->IsSingleMode());
    key(Qt::Key_R); // the button is disabled in quad, so is the key
    EXPECT_FALSE(m_pView->IsRotating());
    key(Qt::Key_S);
    EXPECT_TRUE(m_pView->IsSingleMode());
    key(Qt::Key_Plus);
    EXPECT_EQ(m_pView->GetPtzSpeed(), 2);
    key(Qt::Key_Minus);
    EXPECT_EQ(m_pView->GetPtzSpeed(), 1);
    key(Qt::Key_F11);
    key(Qt::Key_Escape);
    key(Qt::Key_Escape); // not in full screen: nothing
    EXPECT_EQ(m_placed, (std::vector<bool>{true, false}));
    EXPECT_EQ(m_pView->Settings().m_bUseFullScreen, 0);
    key(Qt::Key_A);
    EXPECT_TRUE(m_pArchive->bActive);
}
