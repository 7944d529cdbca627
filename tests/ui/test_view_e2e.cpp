// The main view with the real protocol client against the recorder simulator on
// 127.0.0.1: pictures of every channel land in their own tiles, a single channel
// fills the picture area, PTZ presses reach the recorder, and a silent recorder is
// retried, given up and reconnected, a zoomed tile shows the picture's own detail.
// The client's timers run ten times faster than real time so the silence case takes
// about two seconds.

#include "viewe2e.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

using namespace viewe2e;

TEST_F(ViewE2E, QuadTilesSingleChannelAndPtz)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 8000))
        << qPrintable(m_pView->StatusText());
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("CONNECTION ESTABLISHED."));
    EXPECT_EQ(m_pView->GetConnectState(), 1);

    // Channel 3 alone, by its key: the whole picture area turns blue once its
    // pictures arrive.
    QKeyEvent key3(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, QStringLiteral("3"));
    QApplication::sendEvent(m_pView.get(), &key3);
    const QRect area = viewlayout::TileRect(0, 1).adjusted(4, 100, -4, -4);
    EXPECT_TRUE(WaitFor(
        [&] {
            const QImage img = m_pView->grab().toImage();
            return CastOf(img, area) == 2 &&
                   CastOf(img, QRect(area.left(), area.top(), 200, 150)) == 2 &&
                   CastOf(img, QRect(area.right() - 200, area.bottom() - 150, 200, 150)) == 2;
        },
        5000));
    ASSERT_TRUE(
        WaitFor([&] { return Requests(QStringLiteral("COMMAND_LIVE")).size() >= 2; }, 3000));
    // Only channel 3 keeps coming: pictures of the others would land in tile 0,
    // which now covers the whole area too.
    for (int i = 0; i < 5; ++i) {
        Spin(150);
        const QImage img = m_pView->grab().toImage();
        EXPECT_EQ(CastOf(img, area), 2) << "grab " << i;
    }
    const QList<QJsonObject> live = Requests(QStringLiteral("COMMAND_LIVE"));
    const QJsonArray words = live.last().value(QStringLiteral("words")).toArray();
    EXPECT_EQ(words.at(0).toInt(), 0); // one channel
    EXPECT_EQ(words.at(1).toInt(), 3); // channel 3, 1-based

    // A PTZ press and release.
    CNetClientWnd *pNet = m_pView->Client()->NetClient();
    ASSERT_NE(pNet, nullptr);
    m_pView->SettingsRecord().m_byPtzType = 4; // PELCO-D, not the default
    const uint8_t type = m_pView->Settings().m_byPtzType;
    const uint8_t speed = m_pView->GetPtzSpeed();
    const PtzCoding press = CodePtz(type, speed, 0, true, pNet->VersionCode(), 0, speed);
    const PtzCoding release =
        CodePtz(type, speed, 0, false, pNet->VersionCode(), press.wPtzCommandInfo, speed);
    m_pView->PtzPanel()->OnSkinPress(0, 1);
    m_pView->PtzPanel()->OnSkinPress(0, 0);
    std::vector<PtzRequest> expected = press.requests;
    expected.insert(expected.end(), release.requests.begin(), release.requests.end());
    ASSERT_TRUE(WaitFor(
        [&] { return Requests(QStringLiteral("COMMAND_PTZ")).size() >= int(expected.size()); },
        3000));
    const QList<QJsonObject> ptz = Requests(QStringLiteral("COMMAND_PTZ"));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const PayloadWords want = expected[i].Payload();
        const QJsonArray got = ptz[int(i)].value(QStringLiteral("words")).toArray();
        for (int w = 0; w < 4; ++w)
            EXPECT_EQ(uint32_t(got.at(w).toDouble()), want[std::size_t(w)])
                << "request " << i << " word " << w;
    }

    m_pView->OnLinkLost();
    EXPECT_EQ(m_pView->StatusText(), QStringLiteral("WAITING FOR CONNECTION."));
}

// Circular monitoring against the simulator: the view's clock runs on a manual clock,
// the pictures arrive for real. Each channel stays for the interval + 1 seconds and the
// recorder is asked for each one in turn.
TEST_F(ViewE2E, CircularMonitoringStepsThroughTheChannels)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    ManualClock &clock = m_viewClock;
    m_pViewTimers = clock.CreateHost();
    ASSERT_NO_FATAL_FAILURE(CreateView(m_pViewTimers.get()));
    ASSERT_EQ(m_pView->Settings().m_byRotateInterval, 3);
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 8000));
    KeepShot("quad.png");

    m_pView->OnChannelButton(1);
    ASSERT_TRUE(WaitFor([&] { return SingleAreaCast() == 1; }, 5000));
    KeepShot("single-ch2.png");

    // Starting shows the next seen channel at once, then every 4 s the one after.
    m_pView->ToggleRotation();
    ASSERT_TRUE(m_pView->IsRotating());
    const struct {
        int64_t nAdvance;
        int nChannel;
    } steps[] = {{0, 2}, {3000, 2}, {1000, 3}, {4000, 0}, {3999, 0}, {1, 1}};
    int nStep = 0;
    for (const auto &step : steps) {
        clock.Advance(step.nAdvance);
        EXPECT_EQ(m_pView->m_wRequestChannel, step.nChannel) << "step " << nStep;
        EXPECT_TRUE(WaitFor([&] { return SingleAreaCast() == step.nChannel; }, 5000))
            << "step " << nStep;
        const std::string name = "rotation-" + std::to_string(nStep) + "-at" +
                                 std::to_string(clock.Now()) + "ms-ch" +
                                 std::to_string(step.nChannel + 1) + ".png";
        KeepShot(name.c_str());
        ++nStep;
    }
    // The recorder was asked for channels 3, 4, 1 and 2 alone, in that order, after the
    // grid and channel 2 (its log may trail the pictures a little).
    auto singleChannels = [&] {
        std::vector<int> out;
        for (const QJsonObject &o : Requests(QStringLiteral("COMMAND_LIVE"))) {
            const QJsonArray words = o.value(QStringLiteral("words")).toArray();
            out.push_back(words.at(0).toInt() == 0 ? words.at(1).toInt() : 0);
        }
        return out;
    };
    const std::vector<int> wanted{0, 2, 3, 4, 1, 2};
    EXPECT_TRUE(WaitFor([&] { return singleChannels() == wanted; }, 3000))
        << ::testing::PrintToString(singleChannels());

    // Screen-mode 2 ends it and the grid fills again.
    m_pView->OnScreenModeButton(1);
    EXPECT_FALSE(m_pView->IsRotating());
    EXPECT_TRUE(WaitFor([&] { return AllTilesShowTheirChannel(); }, 5000));
    KeepShot("quad-after-rotation.png");
}

// A small tile, whose pictures come decoded at half size, zoomed to 8x: drawn from
// the picture as received and asking for it whole, its middle shows about 80 distinct
// columns of the crop (the 1x tile's part scaled up would show 20, a half-size
// picture 42). The right button brings 1x back: a column of the crop for each.
TEST_F(ViewE2E, WheelZoomedTileShowsThePictureItselfRightButtonResets)
{
    ASSERT_NO_FATAL_FAILURE(StartSimulator({}));
    m_bSmallTiles = true;
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    const QRect tile = m_pView->Tile(2);
    ASSERT_EQ(tile.size(), QSize(158, 118));
    ASSERT_TRUE(WaitFor([&] { return m_pView->ShownChannel(tile) == 2; }, 8000));
    const auto columns = [&] { // that differ from their left neighbour, below the texts
        const QImage img = m_pView->grab().toImage();
        int n = 0;
        for (int x = tile.left() + 2; x < tile.right(); ++x)
            for (int y = tile.top() + 30; y < tile.bottom(); ++y)
                if (img.pixel(x, y) != img.pixel(x - 1, y)) {
                    ++n;
                    break;
                }
        return n;
    };
    const QPointF at = tile.center();
    QWheelEvent wheel(at, m_pView->mapToGlobal(at), QPoint(), QPoint(0, 120 * 10), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_pView.get(), &wheel);
    EXPECT_TRUE(WaitFor([&] { return std::abs(columns() - 80) <= 10; }, 3000)) << columns();
    KeepShot("zoom-8x.png");
    QMouseEvent right(QEvent::MouseButtonPress, at, m_pView->mapToGlobal(at), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(m_pView.get(), &right);
    EXPECT_TRUE(WaitFor([&] { return columns() >= 120; }, 3000)) << columns();
}

TEST_F(ViewE2E, SilentRecorderIsRetriedThenReconnected)
{
    ASSERT_NO_FATAL_FAILURE(
        StartSimulator({QStringLiteral("--silent-after"), QStringLiteral("20")}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    QStringList statuses;
    auto record = [&] {
        const QString s = m_pView->StatusText();
        if (statuses.isEmpty() || statuses.last() != s)
            statuses << s;
    };
    auto seenInOrder = [&](const QStringList &want) {
        int i = 0;
        for (const QString &s : statuses)
            if (i < want.size() && s == want[i])
                ++i;
        return i == want.size();
    };
    const QStringList want{
        QStringLiteral("CONNECTION ESTABLISHED."), QStringLiteral("TRY REQUEST IMAGE 1"),
        QStringLiteral("TRY REQUEST IMAGE 2"), QStringLiteral("TRY RECONNECTION"),
        QStringLiteral("CONNECTION ESTABLISHED.")};
    EXPECT_TRUE(WaitFor([&] { return seenInOrder(want); }, 8000, record))
        << qPrintable(statuses.join(QStringLiteral(" | ")));
    // The new connection logs in and asks for pictures again, and they arrive.
    EXPECT_TRUE(WaitFor(
        [&] {
            int connects = 0, liveOnSecond = 0;
            for (const QJsonObject &o : Log()) {
                if (o.value(QStringLiteral("event")).toString() == QStringLiteral("connect"))
                    ++connects;
                if (o.value(QStringLiteral("conn")).toInt() >= 2 &&
                    o.value(QStringLiteral("name")).toString() == QStringLiteral("COMMAND_LIVE"))
                    ++liveOnSecond;
            }
            return connects >= 2 && liveOnSecond >= 1;
        },
        4000));
    EXPECT_EQ(m_pView->GetConnectState(), 1);
}

} // namespace
