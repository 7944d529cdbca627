// PTZ panel: speed wrap, when requests go out, the stop repeat on a manual clock,
// the settings adjustment, and the pad's real skin buttons driven by mouse events.

#include "ui/live/ptzpanel.h"

#include "protocol/timerhost.h"
#include "ui/controls/skinbutton.h"
#include "support/manualclock.h"
#include "support/samepicture.h"
#include "support/testapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include <memory>
#include <tuple>
#include <vector>

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

// (type, speed, index, pressed, time in ms)
using PtzCall = std::tuple<int, int, int, int, int64_t>;

// A view and a client as the panel sees them: flags to set, calls to count.
struct Fixture {
    ManualClock clock;
    std::unique_ptr<ManualTimerHost> pTimers = clock.CreateHost();
    bool bHasClient = true;
    bool bConnected = true;
    bool bRotating = false;
    uint8_t byPtzType = 4;
    std::vector<PtzCall> calls;
    std::vector<QRect> updates;
    std::unique_ptr<CPtzPanel> pPanel;

    Fixture()
    {
        App();
        CPtzPanel::Host host;
        host.fnSendPtz = [this](uint8_t byType, uint8_t bySpeed, int nIndex, int nPressed) {
            ASSERT_TRUE(bHasClient);
            calls.emplace_back(byType, bySpeed, nIndex, nPressed, clock.Now());
        };
        host.fnIsConnected = [this] { return bConnected; };
        host.fnIsRotating = [this] { return bRotating; };
        host.fnPtzType = [this] { return byPtzType; };
        host.pTimerHost = pTimers.get();
        host.fnUpdate = [this](const QRect &rc) { updates.push_back(rc); };
        pPanel = std::make_unique<CPtzPanel>(host);
        pTimers->SetHandler([this](int nId) {
            if (nId == CPtzPanel::kStopRepeatTimerId)
                pPanel->OnTimer();
        });
    }

    // The messages of a momentary button, in the order the view receives them:
    // the sent WM_SKIN_PRESS_SYNC is handled before the posted WM_SKIN_PRESS.
    void Press(int nIndex)
    {
        pPanel->OnSkinPressSync(nIndex, 1);
        pPanel->OnSkinPress(nIndex, 1);
    }
    void Release(int nIndex)
    {
        pPanel->OnSkinPressSync(nIndex, 0);
        pPanel->OnSkinPress(nIndex, 0);
    }
    void Click(int nIndex)
    {
        Press(nIndex);
        Release(nIndex);
    }
    void SetSpeed(int nSpeed)
    {
        while (pPanel->GetPtzSpeed() != nSpeed)
            Click(CPtzPanel::PTZ_SPEED_UP);
    }
};

TEST(CPtzPanel, SpeedWrapsBothWays)
{
    struct Row {
        int nStart, nIndex, nExpected;
    };
    const std::vector<Row> rows = {
        {1, CPtzPanel::PTZ_SPEED_UP, 2},
        {3, CPtzPanel::PTZ_SPEED_UP, 4},
        {4, CPtzPanel::PTZ_SPEED_UP, 1},
        {4, CPtzPanel::PTZ_SPEED_DOWN, 3},
        {1, CPtzPanel::PTZ_SPEED_DOWN, 4},
        {2, 0, 2},
        {3, 11, 3},
    };
    for (const Row &row : rows) {
        Fixture f;
        f.SetSpeed(row.nStart);
        f.updates.clear();
        f.Press(row.nIndex);
        EXPECT_EQ(f.pPanel->GetPtzSpeed(), row.nExpected)
            << "from " << row.nStart << " index " << row.nIndex;
        // Every press redraws the speed display.
        ASSERT_EQ(f.updates.size(), 1u);
        EXPECT_EQ(f.updates[0], ptzlayout::kSpeedRect);
    }
}

TEST(CPtzPanel, PressAndReleaseReachTheClient)
{
    Fixture f;
    f.byPtzType = 3;
    f.SetSpeed(2);
    f.calls.clear();
    f.Press(6);
    f.Release(6);
    f.Press(8);
    f.Release(8);
    const std::vector<PtzCall> expected = {
        {3, 2, 6, 1, 0}, {3, 2, 6, 0, 0}, {3, 2, 8, 1, 0}, {3, 2, 8, 0, 0}};
    EXPECT_EQ(f.calls, expected);
}

TEST(CPtzPanel, NoRequestWhenUnconnectedRotatingOrWithoutClient)
{
    struct Row {
        const char *pszCase;
        bool bHasClient, bConnected, bRotating;
    };
    const std::vector<Row> rows = {{"not connected", true, false, false},
                                   {"rotating", true, true, true},
                                   {"no client", false, true, false}};
    for (const Row &row : rows) {
        Fixture f;
        f.bConnected = row.bConnected;
        f.bRotating = row.bRotating;
        if (!row.bHasClient) {
            f.bHasClient = false;
            CPtzPanel::Host host;
            host.fnIsConnected = [] { return true; };
            host.pTimerHost = f.pTimers.get();
            f.pPanel = std::make_unique<CPtzPanel>(host);
        }
        f.Press(CPtzPanel::PTZ_SPEED_DOWN); // still wraps: 1 -> 4
        f.Press(0);
        EXPECT_EQ(f.pPanel->GetPtzSpeed(), 4) << row.pszCase;
        f.Release(0);
        f.Click(5);
        // Rotation does not silence the stop repeat of a release; no link does.
        f.clock.Advance(1000);
        for (const PtzCall &call : f.calls)
            EXPECT_EQ(std::get<3>(call), 0) << row.pszCase << ": only stops may go out";
        if (row.bRotating)
            EXPECT_EQ(f.calls.size(), 5u);
        else
            EXPECT_TRUE(f.calls.empty()) << row.pszCase;
    }
}

TEST(CPtzPanel, SpeedButtonsSendNothingEvenWhenConnected)
{
    Fixture f;
    f.Press(CPtzPanel::PTZ_SPEED_UP);
    f.pPanel->OnSkinPress(CPtzPanel::PTZ_SPEED_UP, 0);
    f.Press(12); // no such button, but no camera action either
    EXPECT_TRUE(f.calls.empty());
}

TEST(CPtzPanel, StopRepeatsFiveTimesEvery70Ms)
{
    Fixture f;
    f.Press(2);
    f.Release(2);
    f.calls.clear();
    EXPECT_TRUE(f.pTimers->IsTimerRunning(CPtzPanel::kStopRepeatTimerId));
    f.clock.Advance(2000);
    const std::vector<PtzCall> expected = {{4, 1, 0, 0, 70},
                                           {4, 1, 0, 0, 140},
                                           {4, 1, 0, 0, 210},
                                           {4, 1, 0, 0, 280},
                                           {4, 1, 0, 0, 350}};
    EXPECT_EQ(f.calls, expected);
    EXPECT_FALSE(f.pTimers->IsTimerRunning(CPtzPanel::kStopRepeatTimerId));
    EXPECT_EQ(f.pPanel->GetStopRepeat(), 0);
    EXPECT_FALSE(f.pPanel->IsStopRepeatRunning());
}

TEST(CPtzPanel, SpeedButtonReleaseAlsoStartsTheRepeat)
{
    Fixture f;
    f.Click(CPtzPanel::PTZ_SPEED_UP); // speed 2
    f.clock.Advance(1000);
    ASSERT_EQ(f.calls.size(), 5u);
    for (const PtzCall &call : f.calls)
        EXPECT_EQ(call, PtzCall(4, 2, 0, 0, std::get<4>(call)));
}

TEST(CPtzPanel, PressCancelsTheRemainingRepeats)
{
    // A press at 100 ms (after one repeat) and at 30 ms (before the first one).
    for (int64_t nPressAt : {100, 30}) {
        Fixture f;
        f.Click(4);
        f.calls.clear();
        f.clock.Advance(nPressAt);
        f.Press(6);
        EXPECT_FALSE(f.pTimers->IsTimerRunning(CPtzPanel::kStopRepeatTimerId));
        f.clock.Advance(1000);
        std::vector<PtzCall> expected;
        if (nPressAt >= 70)
            expected.emplace_back(4, 1, 0, 0, 70);
        expected.emplace_back(4, 1, 6, 1, nPressAt);
        EXPECT_EQ(f.calls, expected) << "press at " << nPressAt;
    }
}

TEST(CPtzPanel, ReleaseDuringARepeatStartsAFullOne)
{
    Fixture f;
    f.Click(0);
    f.clock.Advance(150); // two repeats out
    f.bConnected = false; // a speed click while not connected does not cancel...
    f.Click(CPtzPanel::PTZ_SPEED_UP);
    f.bConnected = true; // ...but its release restarts the repeat from the beginning
    f.calls.clear();
    f.clock.Advance(1000);
    EXPECT_EQ(f.calls.size(), 5u);
    ASSERT_FALSE(f.calls.empty());
    EXPECT_EQ(std::get<4>(f.calls.front()), 150 + 70);
}

TEST(CPtzPanel, SettingsDialogAdjustsTheSpeed)
{
    struct Row {
        uint8_t byType;
        int nSpeed, nAfter;
        bool bRedraw;
    };
    const std::vector<Row> rows = {{0, 4, 0, true}, {0, 3, 3, true},  {0, 1, 1, true},
                                   {3, 4, 4, true}, {1, 4, 4, false}, {5, 2, 2, false}};
    for (const Row &row : rows) {
        Fixture f;
        f.SetSpeed(row.nSpeed);
        f.byPtzType = row.byType;
        f.updates.clear();
        f.pPanel->OnSettingsClosed();
        EXPECT_EQ(f.pPanel->GetPtzSpeed(), row.nAfter) << int(row.byType);
        EXPECT_EQ(f.updates.size(), row.bRedraw ? 1u : 0u) << int(row.byType);
    }
}

TEST(CPtzPanel, SpeedZeroComesBackOnTheNextPress)
{
    struct Row {
        int nIndex, nExpected;
    };
    // 8-bit arithmetic: down from 0 is 255, which wraps to 1.
    const std::vector<Row> rows = {
        {0, 4}, {10, 4}, {CPtzPanel::PTZ_SPEED_UP, 1}, {CPtzPanel::PTZ_SPEED_DOWN, 1}};
    for (const Row &row : rows) {
        Fixture f;
        f.SetSpeed(4);
        f.byPtzType = 0;
        f.pPanel->OnSettingsClosed();
        ASSERT_EQ(f.pPanel->GetPtzSpeed(), 0);
        f.calls.clear();
        f.Press(row.nIndex);
        EXPECT_EQ(f.pPanel->GetPtzSpeed(), row.nExpected) << row.nIndex;
        if (row.nIndex <= CPtzPanel::PTZ_LAST_ACTION) {
            ASSERT_EQ(f.calls.size(), 1u);
            EXPECT_EQ(std::get<1>(f.calls[0]), row.nExpected);
        }
    }
}

// A stand-in for the view: forwards the skin buttons' messages to the panel.
class PadView : public QWidget {
  public:
    CPtzPanel *m_pPanel = nullptr;

  protected:
    bool event(QEvent *pEvent) override
    {
        const auto type = pEvent->type();
        if (type == WM_SKIN_PRESS || type == WM_SKIN_PRESS_SYNC || type == WM_SKIN_IDLE_UP) {
            auto *pSkin = static_cast<CSkinEvent *>(pEvent);
            if (type == WM_SKIN_PRESS)
                m_pPanel->OnSkinPress(pSkin->ButtonId(), pSkin->LParam());
            else if (type == WM_SKIN_PRESS_SYNC)
                m_pPanel->OnSkinPressSync(pSkin->ButtonId(), pSkin->LParam());
            else
                m_pPanel->OnSkinIdleUp();
            return true;
        }
        return QWidget::event(pEvent);
    }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(40, 40, 40));
        m_pPanel->paint(painter);
    }
};

// Input as the event loop hands it over, without running what it queued.
void MouseNow(QWidget *pWidget, QEvent::Type type, QPoint pt)
{
    QMouseEvent event(type, QPointF(pt), QPointF(pWidget->mapToGlobal(pt)), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

void Mouse(QWidget *pWidget, QEvent::Type type, QPoint pt)
{
    MouseNow(pWidget, type, pt);
    // Twice: what the first round's handlers post comes out in the second.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// The pad's buttons against their rows written out from the form, so a slip in the
// panel's table, or in the way the buttons are built from it, shows.
TEST(CPtzPanelButtons, PlacedAsOnTheForm)
{
    const std::vector<PtzButtonPlace> rows = {
        {0, 773, 437, 51, 34, 189, 190, false},  {1, 679, 487, 35, 32, 191, 192, true},
        {2, 737, 471, 36, 51, 193, 194, false},  {3, 678, 547, 39, 39, 195, 196, true},
        {4, 773, 521, 51, 36, 197, 198, false},  {5, 740, 547, 40, 39, 199, 200, true},
        {6, 823, 471, 34, 51, 201, 202, false},  {7, 737, 488, 45, 38, 203, 204, true},
        {8, 737, 386, 25, 18, 222, 223, false},  {9, 762, 386, 25, 18, 224, 225, false},
        {10, 813, 386, 25, 18, 222, 223, false}, {11, 837, 386, 25, 18, 224, 225, false},
        {13, 724, 538, 21, 20, 301, 302, false}, {14, 849, 538, 20, 20, 303, 304, false},
    };
    Fixture f;
    PadView view;
    view.m_pPanel = f.pPanel.get();
    view.resize(877, 685);
    f.pPanel->CreateButtons(&view);
    ASSERT_EQ(ptzlayout::Buttons().size(), rows.size());
    for (const PtzButtonPlace &place : rows) {
        CSkinButton *pButton = f.pPanel->GetButton(place.nIndex);
        ASSERT_NE(pButton, nullptr) << place.nIndex;
        EXPECT_EQ(pButton->geometry(), QRect(place.x, place.y, place.w, place.h)) << place.nIndex;
        EXPECT_EQ(pButton->isVisibleTo(&view), !place.bHidden) << place.nIndex;
        EXPECT_EQ(pButton->GetButtonId(), place.nIndex);
        EXPECT_EQ(pButton->GetMode(), int(CSkinButton::SKIN_MOMENTARY));
        EXPECT_EQ(pButton->GetBitmapId(0), int(place.nNormal)) << place.nIndex;
        EXPECT_EQ(pButton->GetBitmapId(1), int(place.nHeld)) << place.nIndex;
    }
    EXPECT_EQ(f.pPanel->GetButton(12), nullptr);
    EXPECT_EQ(ptzlayout::kSpeedRect, QRect(QPoint(790, 500), QPoint(810, 511)));
}

TEST(CPtzPanelButtons, MouseDriveAndIdleUpRelease)
{
    Fixture f;
    PadView view;
    view.m_pPanel = f.pPanel.get();
    view.resize(877, 685);
    f.pPanel->CreateButtons(&view);
    view.show();

    CSkinButton *pUp = f.pPanel->GetButton(0);
    Mouse(pUp, QEvent::MouseButtonPress, QPoint(10, 10));
    Mouse(pUp, QEvent::MouseButtonRelease, QPoint(10, 10));
    std::vector<PtzCall> expected = {{4, 1, 0, 1, 0}, {4, 1, 0, 0, 0}};
    EXPECT_EQ(f.calls, expected);
    EXPECT_TRUE(f.pTimers->IsTimerRunning(CPtzPanel::kStopRepeatTimerId));

    // A press whose release went elsewhere: a release over another skin button
    // reports WM_SKIN_IDLE_UP, and the panel releases the held button.
    f.calls.clear();
    CSkinButton *pLeft = f.pPanel->GetButton(2);
    Mouse(pLeft, QEvent::MouseButtonPress, QPoint(5, 5));
    ASSERT_TRUE(pLeft->IsPressPending());
    CSkinButton *pSpeedUp = f.pPanel->GetButton(CPtzPanel::PTZ_SPEED_UP);
    Mouse(pSpeedUp, QEvent::MouseButtonRelease, QPoint(5, 5));
    EXPECT_FALSE(pLeft->IsPressPending());
    expected = {{4, 1, 2, 1, 0}, {4, 1, 2, 0, 0}};
    EXPECT_EQ(f.calls, expected);
}

// Input handled in one pass of the event loop, with nothing queued run in between,
// must give what slow input gives: a quick tap is a press, a release and five stops;
// leaving another skin button just before pressing the pad does not stop the camera.
TEST(CPtzPanelButtons, InputInOnePassKeepsItsOrder)
{
    for (bool bQuick : {false, true}) {
        SCOPED_TRACE(bQuick ? "quick" : "slow");
        Fixture f;
        PadView view;
        view.m_pPanel = f.pPanel.get();
        view.resize(877, 685);
        f.pPanel->CreateButtons(&view);
        auto *pModeButton = new CSkinButton(&view, 1);
        pModeButton->LoadStateBitmaps(165, 166, 166, 165, 30, CSkinButton::SKIN_LATCHING);
        view.show();
        const auto input = bQuick ? MouseNow : Mouse;

        CSkinButton *pUp = f.pPanel->GetButton(0);
        input(pUp, QEvent::MouseButtonPress, QPoint(10, 10));
        input(pUp, QEvent::MouseButtonRelease, QPoint(10, 10));
        QCoreApplication::processEvents();
        f.clock.Advance(400);
        std::vector<PtzCall> expected = {{4, 1, 0, 1, 0}, {4, 1, 0, 0, 0}};
        for (int64_t t = 70; t <= 350; t += 70)
            expected.emplace_back(4, 1, 0, 0, t);
        EXPECT_EQ(f.calls, expected);

        f.calls.clear();
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(pModeButton, &leave);
        if (!bQuick)
            QCoreApplication::processEvents();
        CSkinButton *pLeft = f.pPanel->GetButton(2);
        input(pLeft, QEvent::MouseButtonPress, QPoint(5, 5));
        QCoreApplication::processEvents();
        EXPECT_TRUE(pLeft->IsPressPending());
        expected = {{4, 1, 2, 1, 400}};
        EXPECT_EQ(f.calls, expected);
    }
}

TEST(CPtzPanelButtons, PadWithTheSpeedDisplayed)
{
    Fixture f;
    PadView view;
    view.m_pPanel = f.pPanel.get();
    view.resize(877, 685);
    f.pPanel->CreateButtons(&view);
    f.Press(CPtzPanel::PTZ_SPEED_DOWN); // 1 -> 04
    const QRect rcPad(670, 380, 877 - 670, 685 - 380);
    EXPECT_TRUE(
        testsupport::SamePicture(view.grab().toImage().copy(rcPad), "ui/data/ptzpanel.png"));
}

} // namespace
