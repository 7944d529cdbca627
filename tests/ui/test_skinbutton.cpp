// CSkinButton: display states of both modes, the order of the messages its parent sees,
// the leave that completes a press, SetChecked/CancelPress, and the compiled-in artwork.

#include "ui/controls/skinbutton.h"
#include "ui/controls/skinids.h"
#include "support/testapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>
#include <QWindow>

#include <ostream>
#include <string>
#include <vector>

// Testlib's entry into the window-system event path; it routes a pointer event through
// the top-level window as a real one would, with Qt's implicit grab on press.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow *pWindow, const QPointF &local, const QPointF &global,
                                      Qt::MouseButtons state, Qt::MouseButton button,
                                      QEvent::Type type, Qt::KeyboardModifiers mods,
                                      int nTimestamp);

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

std::string Name(QEvent::Type type)
{
    switch (static_cast<int>(type)) {
    case WM_SKIN_PRESS:
        return "PRESS";
    case WM_SKIN_PRESS_SYNC:
        return "SYNC";
    case WM_SKIN_IDLE_UP:
        return "IDLE_UP";
    case WM_SKIN_COMMAND:
        return "COMMAND";
    default:
        return "?";
    }
}

// Parent that logs every skin message as "NAME(w,l)". When a message is sent to it
// synchronously, it first takes the messages posted to it before, so the log shows the
// order in which the button produced them, not merely the order of delivery.
class CRecordingParent : public QWidget {
  public:
    std::vector<std::string> m_log;
    std::vector<int> m_checkedSeenBySync;
    bool m_bDeleteOnSync = false;
    QPointer<CSkinButton> m_pButton;

    std::string Joined() const
    {
        std::string s;
        for (const auto &item : m_log)
            s += (s.empty() ? "" : " ") + item;
        return s;
    }

  protected:
    void customEvent(QEvent *pEvent) override
    {
        auto *pSkin = dynamic_cast<CSkinEvent *>(pEvent);
        if (!pSkin)
            return;
        if (pEvent->type() == WM_SKIN_PRESS_SYNC) {
            QCoreApplication::sendPostedEvents(this);
            if (m_pButton)
                m_checkedSeenBySync.push_back(m_pButton->GetChecked());
        }
        // A click that ended with the pointer leaving, not with a release over the
        // button, is logged as COMMAND~.
        const bool bLeft = pEvent->type() == WM_SKIN_COMMAND && !pSkin->ReleasedOver();
        m_log.push_back(Name(pEvent->type()) + (bLeft ? "~" : "") + "(" +
                        std::to_string(pSkin->WParam()) + "," + std::to_string(pSkin->LParam()) +
                        ")");
        if (pEvent->type() == WM_SKIN_PRESS_SYNC && m_bDeleteOnSync && m_pButton)
            delete m_pButton.data();
    }
};

constexpr int kButtonId = 7;
constexpr int kControlId = 1042;

class SkinButtonTest : public ::testing::Test {
  public:
    void SetUp() override
    {
        App();
        m_pParent = new CRecordingParent;
        m_pParent->resize(200, 200);
        m_pButton = new CSkinButton(m_pParent, kControlId);
        m_pButton->setGeometry(10, 10, 51, 34);
        m_pParent->m_pButton = m_pButton;
    }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents();
        delete m_pParent;
    }

    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
    {
        if (!m_pButton)
            return;
        Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        if (type == QEvent::MouseMove)
            held = m_bHeld ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, QPointF(pos), QPointF(m_pButton->mapToGlobal(pos)),
                          type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)
            m_bHeld = true;
        if (type == QEvent::MouseButtonRelease)
            m_bHeld = false;
        QCoreApplication::sendEvent(m_pButton, &event);
    }
    void Move(QPoint pos) { Mouse(QEvent::MouseMove, pos); }
    void Press(QPoint pos = {5, 5}) { Mouse(QEvent::MouseButtonPress, pos); }
    void Release(QPoint pos = {5, 5}) { Mouse(QEvent::MouseButtonRelease, pos); }
    void Leave()
    {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(m_pButton, &event);
    }
    // Lets the posted messages arrive and returns the log so far.
    std::string Log()
    {
        QCoreApplication::sendPostedEvents();
        return m_pParent->Joined();
    }

    CRecordingParent *m_pParent = nullptr;
    QPointer<CSkinButton> m_pButton;
    bool m_bHeld = false;
};

// Display states after press, release, press, release of a latching button, by which
// states have a bitmap; states without one are never shown.
struct LatchRow {
    int aId[4];
    int aExpected[4];
};

class LatchingStates : public SkinButtonTest, public ::testing::WithParamInterface<LatchRow> {};

TEST_P(LatchingStates, FlipOnEveryRelease)
{
    const LatchRow &row = GetParam();
    m_pButton->LoadStateBitmaps(row.aId[0], row.aId[1], row.aId[2], row.aId[3], kButtonId,
                                CSkinButton::SKIN_LATCHING);
    EXPECT_EQ(m_pButton->GetDisplayState(), 0);
    Move({5, 5});
    const int aChecked[4] = {0, 1, 1, 0};
    for (int step = 0; step < 4; ++step) {
        if (step % 2 == 0)
            Press();
        else
            Release();
        EXPECT_EQ(m_pButton->GetDisplayState(), row.aExpected[step]) << "step " << step;
        EXPECT_EQ(m_pButton->GetChecked(), aChecked[step]) << "step " << step;
    }
    // A latching button reports only its clicks.
    EXPECT_EQ(Log(), "COMMAND(1042,0) COMMAND(1042,0)");
}

INSTANTIATE_TEST_SUITE_P(SkinButton, LatchingStates,
                         ::testing::Values(LatchRow{{217, 0, 216, 0},
                                                    {0, 2, 2, 0}}, // keeps its image while pressed
                                           LatchRow{{165, 166, 166, 165}, {3, 2, 1, 0}},
                                           LatchRow{{163, 0, 164, 163}, {3, 2, 2, 0}}));

TEST_F(SkinButtonTest, MomentaryPressThenLeaveCompletesTheClick)
{
    m_pButton->LoadStateBitmaps(189, 190, 0, 0, kButtonId, CSkinButton::SKIN_MOMENTARY);
    Move({5, 5});
    Press();
    EXPECT_EQ(m_pButton->GetDisplayState(), 1);
    EXPECT_EQ(m_pButton->GetChecked(), 1);
    EXPECT_EQ(Log(), "PRESS(7,1) SYNC(7,1)");

    // Qt keeps sending moves to the pressed button outside it: that is the leave.
    Move({80, 5});
    EXPECT_EQ(m_pButton->GetDisplayState(), 0);
    EXPECT_EQ(m_pButton->GetChecked(), 0);
    EXPECT_EQ(Log(), "PRESS(7,1) SYNC(7,1) PRESS(7,0) SYNC(7,0) COMMAND~(1042,0)");

    // Back over the button and released there: the press is over, only an idle up.
    Move({5, 5});
    Release();
    EXPECT_EQ(Log(), "PRESS(7,1) SYNC(7,1) PRESS(7,0) SYNC(7,0) COMMAND~(1042,0) IDLE_UP(0,0)");
    // The handler of the sync message runs before the button records the change.
    EXPECT_EQ(m_pParent->m_checkedSeenBySync, (std::vector<int>{0, 1}));
}

// Ways a press of a momentary button can end, and what the parent sees.
struct EndRow {
    const char *pszName;
    void (*pEnd)(SkinButtonTest &, CSkinButton &);
    const char *pszLog;
};

void PrintTo(const EndRow &row, std::ostream *pOut)
{
    *pOut << row.pszName;
}

class MomentaryEnds : public SkinButtonTest, public ::testing::WithParamInterface<EndRow> {};

TEST_P(MomentaryEnds, MessageOrder)
{
    m_pButton->LoadStateBitmaps(222, 223, 0, 0, 9, CSkinButton::SKIN_MOMENTARY);
    Move({5, 5});
    Press();
    GetParam().pEnd(*this, *m_pButton);
    EXPECT_EQ(Log(), GetParam().pszLog);
    EXPECT_EQ(m_pButton->GetDisplayState(), 0);
    EXPECT_EQ(m_pButton->GetChecked(), 0);
    EXPECT_EQ(m_pButton->IsPressPending(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    SkinButton, MomentaryEnds,
    ::testing::Values(
        EndRow{"ReleaseOver", [](SkinButtonTest &t, CSkinButton &) { t.Release(); },
               "PRESS(9,1) SYNC(9,1) PRESS(9,0) SYNC(9,0) COMMAND(1042,0)"},
        EndRow{"LeaveEvent", [](SkinButtonTest &t, CSkinButton &) { t.Leave(); },
               "PRESS(9,1) SYNC(9,1) PRESS(9,0) SYNC(9,0) COMMAND~(1042,0)"},
        // Released outside with no move in between: the leave comes first, then the up.
        EndRow{"ReleaseOutside",
               [](SkinButtonTest &t, CSkinButton &) {
                   t.Release({100, 100});
               },
               "PRESS(9,1) SYNC(9,1) PRESS(9,0) SYNC(9,0) COMMAND~(1042,0) IDLE_UP(0,0)"},
        // The owner's idle-up handling: no sync message and no click.
        EndRow{"CancelPress", [](SkinButtonTest &, CSkinButton &b) { b.CancelPress(); },
               "PRESS(9,1) SYNC(9,1) PRESS(9,0)"}),
    [](const ::testing::TestParamInfo<EndRow> &info) { return info.param.pszName; });

TEST_F(SkinButtonTest, AfterCancelPressTheReleaseIsIdle)
{
    m_pButton->LoadStateBitmaps(189, 190, 0, 0, kButtonId, CSkinButton::SKIN_MOMENTARY);
    Press();
    m_pButton->CancelPress();
    Release();
    EXPECT_EQ(Log(), "PRESS(7,1) SYNC(7,1) PRESS(7,0) IDLE_UP(0,0)");
}

TEST_F(SkinButtonTest, CancelPressWithoutPressDoesNothing)
{
    m_pButton->LoadStateBitmaps(189, 190, 0, 0, kButtonId, CSkinButton::SKIN_MOMENTARY);
    m_pButton->SetChecked(1);
    EXPECT_EQ(Log(), "PRESS(7,1)");
    m_pButton->CancelPress();
    EXPECT_EQ(Log(), "PRESS(7,1)");
    EXPECT_EQ(m_pButton->GetChecked(), 1);
    EXPECT_EQ(m_pButton->GetDisplayState(), 1);

    CSkinButton latching(m_pParent, 5);
    latching.LoadStateBitmaps(163, 0, 164, 0, 2, CSkinButton::SKIN_LATCHING);
    latching.SetChecked(1);
    latching.CancelPress();
    EXPECT_EQ(latching.GetDisplayState(), 2);
    EXPECT_EQ(latching.GetChecked(), 1);
}

TEST_F(SkinButtonTest, CancelPressOfLatchingRestoresImageWithoutClick)
{
    m_pButton->LoadStateBitmaps(165, 166, 166, 165, kButtonId, CSkinButton::SKIN_LATCHING);
    m_pButton->SetChecked(1);
    Press();
    EXPECT_EQ(m_pButton->GetDisplayState(), 1);
    m_pButton->CancelPress();
    EXPECT_EQ(m_pButton->GetDisplayState(), 2);
    EXPECT_EQ(m_pButton->GetChecked(), 1);
    EXPECT_EQ(Log(), "");
}

// SetChecked on a momentary button posts a press message only when the flag changes;
// on a latching button it never posts.
struct CheckRow {
    int nMode;
    int aSequence[3];
    int aState[3];
    const char *pszLog;
};

class SetCheckedRows : public SkinButtonTest, public ::testing::WithParamInterface<CheckRow> {};

TEST_P(SetCheckedRows, PostsOnlyOnChange)
{
    const CheckRow &row = GetParam();
    if (row.nMode == CSkinButton::SKIN_MOMENTARY)
        m_pButton->LoadStateBitmaps(189, 190, 0, 0, kButtonId, row.nMode);
    else
        m_pButton->LoadStateBitmaps(217, 0, 216, 0, kButtonId, row.nMode);
    for (int i = 0; i < 3; ++i) {
        m_pButton->SetChecked(row.aSequence[i]);
        EXPECT_EQ(m_pButton->GetChecked(), row.aSequence[i] ? 1 : 0);
        EXPECT_EQ(m_pButton->GetDisplayState(), row.aState[i]);
    }
    EXPECT_EQ(Log(), row.pszLog);
}

INSTANTIATE_TEST_SUITE_P(
    SkinButton, SetCheckedRows,
    ::testing::Values(
        CheckRow{CSkinButton::SKIN_MOMENTARY, {1, 1, 0}, {1, 1, 0}, "PRESS(7,1) PRESS(7,0)"},
        CheckRow{CSkinButton::SKIN_MOMENTARY, {0, 5, 0}, {0, 1, 0}, "PRESS(7,1) PRESS(7,0)"},
        CheckRow{CSkinButton::SKIN_LATCHING, {1, 0, 1}, {2, 0, 2}, ""}));

TEST_F(SkinButtonTest, IdleUpOnReleaseOrLeaveWithoutPress)
{
    m_pButton->LoadStateBitmaps(163, 0, 164, 0, 2, CSkinButton::SKIN_LATCHING);
    Leave(); // no move yet: no leave was asked for
    EXPECT_EQ(Log(), "");
    Release();
    Move({5, 5});
    Leave();
    Leave(); // tracking ended with the first leave
    EXPECT_EQ(Log(), "IDLE_UP(0,0) IDLE_UP(0,0)");
    EXPECT_EQ(m_pButton->GetChecked(), 0);
    EXPECT_EQ(m_pButton->GetDisplayState(), 0);
}

TEST_F(SkinButtonTest, LatchingLeaveWhilePressedClicks)
{
    m_pButton->LoadStateBitmaps(165, 166, 166, 165, kButtonId, CSkinButton::SKIN_LATCHING);
    Move({5, 5});
    Press();
    Move({5, 60});
    EXPECT_EQ(m_pButton->GetDisplayState(), 2);
    EXPECT_EQ(m_pButton->GetChecked(), 1);
    Release({5, 60});
    EXPECT_EQ(Log(), "COMMAND~(1042,0) IDLE_UP(0,0)");
}

// A quick second click arrives as a double-click event; it is a press like any other, so
// rapid presses of the speed buttons all count.
TEST_F(SkinButtonTest, DoubleClickIsASecondPress)
{
    m_pButton->LoadStateBitmaps(IDB_SPEED_UP, IDB_SPEED_UP_HELD, 0, 0, 13,
                                CSkinButton::SKIN_MOMENTARY);
    Press();
    Release();
    Mouse(QEvent::MouseButtonDblClick, {5, 5});
    EXPECT_EQ(m_pButton->GetDisplayState(), 1);
    Release();
    EXPECT_EQ(Log(), "PRESS(13,1) SYNC(13,1) PRESS(13,0) SYNC(13,0) COMMAND(1042,0) "
                     "PRESS(13,1) SYNC(13,1) PRESS(13,0) SYNC(13,0) COMMAND(1042,0)");
}

TEST_F(SkinButtonTest, OtherButtonsAreIgnored)
{
    m_pButton->LoadStateBitmaps(189, 190, 0, 0, kButtonId, CSkinButton::SKIN_MOMENTARY);
    Mouse(QEvent::MouseButtonPress, {5, 5}, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, {5, 5}, Qt::RightButton);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(m_pButton->GetDisplayState(), 0);
}

TEST_F(SkinButtonTest, ClickedSignalFollowsTheCommand)
{
    m_pButton->LoadStateBitmaps(261, 262, 262, 261, kButtonId, CSkinButton::SKIN_LATCHING);
    QObject::connect(m_pButton, &CSkinButton::clicked, m_pParent, [this](int nControlId) {
        m_pParent->m_log.push_back("clicked(" + std::to_string(nControlId) + ")");
    });
    Press();
    Release();
    EXPECT_EQ(Log(), "COMMAND(1042,0) clicked(1042)");
}

TEST_F(SkinButtonTest, OwnerMayDestroyTheButtonInTheSyncHandler)
{
    m_pButton->LoadStateBitmaps(189, 190, 0, 0, kButtonId, CSkinButton::SKIN_MOMENTARY);
    m_pParent->m_bDeleteOnSync = true;
    Press();
    EXPECT_TRUE(m_pButton.isNull());
    EXPECT_EQ(Log(), "PRESS(7,1) SYNC(7,1)");
}

TEST_F(SkinButtonTest, MessagesGoToTheNotifyTarget)
{
    CRecordingParent other;
    m_pButton->SetNotifyTarget(&other);
    m_pButton->LoadStateBitmaps(189, 190, 0, 0, kButtonId, CSkinButton::SKIN_MOMENTARY);
    Press();
    Release();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m_pParent->Joined(), "");
    EXPECT_EQ(other.Joined(), "PRESS(7,1) SYNC(7,1) PRESS(7,0) SYNC(7,0) COMMAND(1042,0)");
}

// Through the real window path: after a press Qt sends every move and the release to the
// pressed button, even outside it. Dragging off completes the click at once; the release
// over another skin button only reports an idle up.
TEST_F(SkinButtonTest, DragOffThroughTheWindowSystem)
{
    CSkinButton other(m_pParent, 1043);
    other.setGeometry(100, 100, 51, 34);
    other.LoadStateBitmaps(IDB_PTZ_DOWN, IDB_PTZ_DOWN_HELD, 0, 0, 4, CSkinButton::SKIN_MOMENTARY);
    m_pButton->LoadStateBitmaps(IDB_PTZ_UP, IDB_PTZ_UP_HELD, 0, 0, 0, CSkinButton::SKIN_MOMENTARY);
    m_pParent->show();
    QWindow *pWindow = m_pParent->windowHandle();
    ASSERT_NE(pWindow, nullptr);
    int nTime = 1000;
    auto pointer = [&](QEvent::Type type, QPoint pos, Qt::MouseButtons held) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        qt_handleMouseEvent(pWindow, QPointF(pos), QPointF(m_pParent->mapToGlobal(pos)), held,
                            button, type, Qt::NoModifier, nTime += 500);
    };
    pointer(QEvent::MouseMove, {20, 20}, Qt::NoButton);
    pointer(QEvent::MouseButtonPress, {20, 20}, Qt::LeftButton);
    EXPECT_EQ(Log(), "PRESS(0,1) SYNC(0,1)");
    pointer(QEvent::MouseMove, {40, 30}, Qt::LeftButton);   // still over it
    pointer(QEvent::MouseMove, {120, 110}, Qt::LeftButton); // over the other button
    EXPECT_EQ(m_pButton->GetDisplayState(), 0);
    EXPECT_EQ(Log(), "PRESS(0,1) SYNC(0,1) PRESS(0,0) SYNC(0,0) COMMAND~(1042,0)");
    pointer(QEvent::MouseButtonRelease, {120, 110}, Qt::NoButton);
    EXPECT_EQ(Log(), "PRESS(0,1) SYNC(0,1) PRESS(0,0) SYNC(0,0) COMMAND~(1042,0) IDLE_UP(0,0)");
    EXPECT_EQ(other.GetDisplayState(), 0);
    m_pParent->hide();
}

// The button copies its state's bitmap unscaled to its top-left corner.
TEST_F(SkinButtonTest, PaintsTheDisplayedBitmapUnscaled)
{
    m_pButton->LoadStateBitmaps(IDB_PTZ_UP, IDB_PTZ_UP_HELD, 0, 0, 0, CSkinButton::SKIN_MOMENTARY);
    m_pButton->resize(40, 30); // smaller than the bitmap: clipped, not scaled
    const QImage up = SkinImage(IDB_PTZ_UP).convertToFormat(QImage::Format_RGB32);
    const QImage held = SkinImage(IDB_PTZ_UP_HELD).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(up.isNull());
    ASSERT_NE(up, held);
    EXPECT_EQ(m_pButton->grab().toImage().convertToFormat(QImage::Format_RGB32),
              up.copy(0, 0, 40, 30));
    Press();
    EXPECT_EQ(m_pButton->grab().toImage().convertToFormat(QImage::Format_RGB32),
              held.copy(0, 0, 40, 30));
}

// Every bitmap role has artwork of exactly the size the layouts place it at, and the
// two images of a button differ.
TEST(SkinArtwork, EveryRoleHasArtworkOfItsSize)
{
    App();
    for (const SkinRole &role : kSkinRoles) {
        const QImage image = SkinImage(role.nId);
        ASSERT_FALSE(image.isNull()) << role.nId << " " << role.pszRole;
        EXPECT_EQ(image.size(), QSize(role.nWidth, role.nHeight))
            << role.nId << " " << role.pszRole;
    }
    EXPECT_TRUE(SkinImage(1).isNull());
    for (int i = 0; i < 16; ++i)
        EXPECT_NE(SkinImage(kChannelNormalId[i]), SkinImage(kChannelLatchedId[i])) << i;
    for (int i = 0; i < 7; ++i)
        EXPECT_NE(SkinImage(kScreenNormalId[i]), SkinImage(kScreenLatchedId[i])) << i;
    for (int nId = IDB_VIEWER_UP; nId < IDB_QUAD_DOWN; nId += 2) // archive: up, down pairs
        EXPECT_NE(SkinImage(nId), SkinImage(nId + 1)) << nId;
    for (int k = 0; k < 16; ++k) {
        const QImage up = SkinImage(ArchiveChannelUpId(k));
        const QImage latched = SkinImage(ArchiveChannelLatchedId(k));
        EXPECT_EQ(latched.size(), up.size()) << k;
        EXPECT_NE(latched, up) << k;
    }
    for (int i = 0; i < 15; ++i) {
        if (kPtzNormalId[i]) {
            EXPECT_NE(SkinImage(kPtzNormalId[i]), SkinImage(kPtzHeldId[i])) << i;
        }
    }
}

} // namespace

// Only a button whose every state image covers it without transparency is marked
// opaque; otherwise Qt must keep painting the form beneath it.
TEST_F(SkinButtonTest, OpaqueOnlyWhenEveryImageCoversTheButton)
{
    m_pParent->show(); // a hidden widget gets its resize events only when shown
    m_pButton->LoadStateBitmaps(IDB_PTZ_UP, IDB_PTZ_UP_HELD, 0, 0, 0, CSkinButton::SKIN_MOMENTARY);
    const QSize size = SkinImage(IDB_PTZ_UP).size();
    const bool bSolid =
        !SkinImage(IDB_PTZ_UP).hasAlphaChannel() && !SkinImage(IDB_PTZ_UP_HELD).hasAlphaChannel();
    m_pButton->resize(size);
    EXPECT_EQ(m_pButton->testAttribute(Qt::WA_OpaquePaintEvent), bSolid);
    m_pButton->resize(size + QSize(1, 0)); // a strip the images do not cover
    EXPECT_FALSE(m_pButton->testAttribute(Qt::WA_OpaquePaintEvent));
    m_pButton->resize(size);
    m_pButton->LoadStateBitmaps(0, IDB_PTZ_UP_HELD, 0, 0, 0, CSkinButton::SKIN_MOMENTARY);
    EXPECT_FALSE(m_pButton->testAttribute(Qt::WA_OpaquePaintEvent)); // nothing shown at rest
    m_pButton->LoadStateBitmaps(IDB_PTZ_UP, 999999, 0, 0, 0, CSkinButton::SKIN_MOMENTARY);
    EXPECT_FALSE(m_pButton->testAttribute(Qt::WA_OpaquePaintEvent)); // a missing image
    m_pParent->hide();
}
