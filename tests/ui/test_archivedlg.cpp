// CArchiveDlg's drawing: the crops of played pictures (through a picture whose pixels
// encode their coordinates), the cells, the picture time stamp rule, pictures of
// channels it has no cell for, the slider against the picture time, every text of the
// notice area, the record button, and texts that fit their rectangles.

#include "settings/clientsettings.h"
#include "support/manualclock.h"
#include "support/samepicture.h"
#include "support/testsupport.h"
#include "ui/archive/archivedlg.h"
#include "ui/controls/calendarctrl.h"
#include "ui/controls/skinbutton.h"
#include "ui/controls/skinfont.h"
#include "ui/controls/skinslider.h"
#include "support/testapp.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QScreen>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace archivelayout;

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

struct FakeClient : IPlaybackClient {
    PayloadWords last{}; // the last playback request
    uint8_t VersionCode() const override { return VERSION_CODE_12; }
    void SendPlayback(const PayloadWords &words, bool) override { last = words; }
    void SetSkipCounter(uint8_t) override {}
    void ArmResponseTimer(bool) override {}
    void HoldReads(bool) override {}
};

// A bottom-up 24-bit picture whose pixel at top-down (x, y) is blue = x, green = y,
// red = their high bits.
struct CoordinatePicture {
    BitmapInfoHeader header{};
    std::vector<uint8_t> bits;
    CoordinatePicture(int w, int h)
    {
        const int stride = (w * 3 + 3) & ~3;
        bits.assign(std::size_t(stride) * std::size_t(h), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t *p =
                    &bits[std::size_t(h - 1 - y) * std::size_t(stride) + std::size_t(x) * 3];
                p[0] = uint8_t(x);
                p[1] = uint8_t(y);
                p[2] = uint8_t(x >> 8 | (y >> 8) << 4);
            }
        header.biSize = 40;
        header.biWidth = w;
        header.biHeight = h;
        header.biPlanes = 1;
        header.biBitCount = 24;
        header.biSizeImage = uint32_t(bits.size());
    }
    ChannelPicture Picture(uint8_t byFieldFlag, uint8_t byWidthFlag) const
    {
        ChannelPicture picture;
        picture.pBits = bits.data();
        picture.pHeader = &header;
        picture.byFieldFlag = byFieldFlag;
        picture.byWidthFlag = byWidthFlag;
        return picture;
    }
};

class ArchiveDlgTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        App();
        m_settings.m_bDisplayPbTime = 1;
        ArchiveEnvironment env;
        env.host.pSettings = &m_settings;
        env.pPlaybackClient = &m_client;
        env.pControlTimers = m_pControlTimers.get();
        env.pRecordTimers = m_pRecordTimers.get();
        env.fnBeep = [this] { ++m_nBeeps; };
        m_pDlg = std::make_unique<CArchiveDlg>(std::move(env));
        m_pDlg->Activate(false);
        m_pDlg->EnterArchive();
    }
    // Source pixel (x, y) shown at point pt of the window.
    static QPoint SourceAt(const QImage &area, QPoint pt)
    {
        const QRgb p = area.pixel(pt - kPictureRect.topLeft());
        return QPoint(qBlue(p) | (qRed(p) & 0x0F) << 8, qGreen(p) | (qRed(p) >> 4) << 8);
    }

    testsupport::IsolatedSettings m_isolated;
    testsupport::ScopedCurrentDir m_cwd;
    ClientSettings m_settings{};
    FakeClient m_client;
    ManualClock m_clock;
    int m_nBeeps = 0;
    std::unique_ptr<ManualTimerHost> m_pControlTimers = m_clock.CreateHost();
    std::unique_ptr<ManualTimerHost> m_pRecordTimers = m_clock.CreateHost();
    std::unique_ptr<CArchiveDlg> m_pDlg;
};

struct CropRow {
    int w, h;
    uint8_t byField, byWidth;
    QRect expected; // empty: nothing is drawn
};

TEST_F(ArchiveDlgTest, PlayedPicturesAreCroppedIntoTheirCell)
{
    const CropRow rows[] = {
        {704, 240, 1, 1, QRect(9, 8, 677, 231)},
        {704, 240, 0, 1, QRect(9, 9, 677, 231)}, // one more top row, same height
        {704, 480, 1, 1, QRect(14, 12, 672, 467)},
        {704, 480, 1, 0, QRect(14, 12, 674, 467)}, // two more columns
        {30, 20, 1, 1, QRect()},                   // smaller than the margins
    };
    m_pDlg->OnCommand(CTRL_CHANNEL_1); // channel 1 alone: cell (63,23)-(701,501)
    m_pDlg->OnCommand(ControlId(CTRL_CHANNEL_1 + 4)); // past the recorder's four: a beep each
    m_pDlg->OnCommand(ControlId(CTRL_CHANNEL_1 + 15));
    EXPECT_EQ(m_nBeeps, 2);
    const QRect cell = m_pDlg->Cell(0);
    ASSERT_EQ(cell, QRect(63, 23, 638, 478));
    for (const CropRow &row : rows) {
        SCOPED_TRACE(testing::Message() << row.w << "x" << row.h << " field " << int(row.byField)
                                        << " width " << int(row.byWidth));
        EXPECT_EQ(ArchiveCropRect(row.w, row.h, row.byField, row.byWidth)
                      .intersected(QRect(0, 0, row.w, row.h + 1)),
                  row.expected.intersected(QRect(0, 0, row.w, row.h)));
        const CoordinatePicture pic(row.w, row.h);
        m_pDlg->SetChannelPicture(0, pic.Picture(row.byField, row.byWidth));
        m_pDlg->DrawChannel(0);
        const QImage area = m_pDlg->GrabPictureArea();
        if (row.expected.isEmpty()) {
            EXPECT_EQ(m_pDlg->ShownChannel(cell), -1);
            continue;
        }
        EXPECT_EQ(SourceAt(area, cell.topLeft()), row.expected.topLeft());
        const QPoint last = SourceAt(area, cell.bottomRight());
        EXPECT_LE(last.x(), row.expected.right());
        EXPECT_GE(last.x(), row.expected.right() - 2);
        EXPECT_LE(last.y(), row.expected.bottom());
        EXPECT_GE(last.y(), row.expected.bottom() - 1);
        m_pDlg->Control().OnQuadButton(); // the picture area starts over
        m_pDlg->Control().OnChannelButton(0);
    }
}

TEST_F(ArchiveDlgTest, WindowIsCentredAndQuadCellsLeaveAOnePixelGap)
{
    // The window itself: centred on the screen (here wider than the screen), or at its
    // corner in full screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(m_pDlg->pos(),
              screen.topLeft() + QPoint((screen.width() - 951) / 2, (screen.height() - 684) / 2));
    m_pDlg->Activate(true);
    EXPECT_EQ(m_pDlg->pos(), QPoint(0, 0));
    EXPECT_EQ(m_pDlg->Cell(0), QRect(63, 23, 318, 238));
    EXPECT_EQ(m_pDlg->Cell(3), QRect(383, 263, 318, 238));
    EXPECT_EQ(m_pDlg->Cell(4), QRect());
    EXPECT_EQ(m_pDlg->Cell(-1), QRect());
    // A picture filed for a channel without a cell is not kept or drawn.
    const CoordinatePicture pic(704, 240);
    m_pDlg->SetChannelPicture(7, pic.Picture(1, 0));
    m_pDlg->DrawChannel(7);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(m_pDlg->ShownChannel(m_pDlg->Cell(k)), -1);
}

// Forwards, a picture one second behind the previous one gets no stamp; every other
// picture does, the first after a stop too.
TEST_F(ArchiveDlgTest, TimeStampFollowsThePictureTimes)
{
    const CoordinatePicture pic(704, 240);
    const uint32_t w0 = 2008u << 8 | 2u; // channel 0, February 2008
    m_pDlg->SetTimeRange(MakeDateWord(2007, 1, 2), MakeTimeWord(3, 4, 5),
                         MakeDateWord(2008, 11, 12), MakeTimeWord(13, 14, 15));
    m_pDlg->SetPictureTime(w0, 29u << 24 | 11u << 16 | 22u << 8 | 33u); // the request
    m_pDlg->Control().OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    ASSERT_EQ(m_pDlg->Control().Direction(), 1);
    const struct {
        uint32_t dwSecond;
        bool bStamp;
    } steps[] = {{10, true}, {9, false}, {11, true}, {12, true}, {11, false}};
    for (const auto &step : steps) {
        SCOPED_TRACE(step.dwSecond);
        m_pDlg->SetPictureTime(w0, 29u << 24 | 12u << 16 | 0u << 8 | step.dwSecond);
        m_pDlg->SetChannelPicture(0, pic.Picture(1, 0));
        m_pDlg->DrawChannel(0);
        EXPECT_EQ(!m_pDlg->StampText().isEmpty(), step.bStamp);
    }
    m_pDlg->SetPictureTime(w0, 29u << 24 | 12u << 16 | 0u << 8 | 30u);
    m_pDlg->DrawChannel(0);
    EXPECT_EQ(m_pDlg->StampText(), QStringLiteral("2008-02-29 12-00-30"));
    // The window as the operator sees it then, without the calendar (it marks today).
    QImage window(m_pDlg->size(), QImage::Format_RGB32);
    m_pDlg->render(&window);
    QPainter(&window).fillRect(m_pDlg->Calendar()->geometry(), Qt::magenta);
    EXPECT_TRUE(testsupport::SamePicture(window, "ui/data/archive-stamp.png"));
    m_settings.m_bDisplayPbTime = 0;
    m_pDlg->DrawChannel(0);
    EXPECT_TRUE(m_pDlg->StampText().isEmpty());
}

// A recording's capture paints again only what changed since the last one, and
// still equals the whole picture area after pictures, stamps, width flags and
// layouts; the window copies unchanged cells from it rather than stretching again.
TEST_F(ArchiveDlgTest, RecordingCaptureFollowsEveryChangeOfThePictureArea)
{
    const CoordinatePicture pics[] = {{704, 240}, {640, 240}, {704, 480}, {352, 240}};
    m_pDlg->Control().OnImagePlay(CPlaybackControl::PLAY_FORWARD);
    const uint32_t w0 = 2008u << 8 | 2u;
    const QPoint poison = m_pDlg->Cell(3).center();
    const auto shown = [&] {
        QImage window(m_pDlg->size(), QImage::Format_RGB32);
        m_pDlg->render(&window);
        return window.pixel(poison);
    };
    const std::function<void()> steps[] = {
        [&] {
            for (int k = 0; k < 4; ++k) {
                m_pDlg->SetChannelPicture(k, pics[k].Picture(1, 1));
                m_pDlg->DrawChannel(k);
            }
        },
        [&] { // a stamp comes, over cell 0
            m_pDlg->SetPictureTime(w0, 29u << 24 | 12u << 16 | 0u << 8 | 10u);
            m_pDlg->SetChannelPicture(0, pics[2].Picture(0, 1));
            m_pDlg->DrawChannel(0);
        },
        [&] { // cell 1 alone: cell 3 is neither captured nor stretched again
            const_cast<QImage &>(m_pDlg->CapturePictureArea(false))
                .setPixel(poison - kPictureRect.topLeft(), 0xFF123456u);
            m_pDlg->SetChannelPicture(1, pics[3].Picture(1, 1));
            m_pDlg->DrawChannel(1);
        },
        [&] { // the width flag crops every cell
            EXPECT_EQ(shown(), 0xFF123456u);
            m_pDlg->SetChannelPicture(2, pics[0].Picture(1, 0));
            m_pDlg->DrawChannel(2);
            EXPECT_NE(shown(), 0xFF123456u); // changed since: stretched
        },
        [&] { m_pDlg->Control().OnChannelButton(2); },
        [&] { // the stamp goes
            m_pDlg->SetPictureTime(w0, 29u << 24 | 12u << 16 | 0u << 8 | 9u);
            m_pDlg->DrawChannel(2);
        },
        [&] { m_pDlg->Control().OnQuadButton(); },
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        steps[i]();
        // Grabbed before the capture: what changed comes from the pictures.
        const QImage expected = m_pDlg->GrabPictureArea();
        const QImage &captured = m_pDlg->CapturePictureArea(false);
        if (i == 2) {
            EXPECT_EQ(captured.pixel(poison - kPictureRect.topLeft()), 0xFF123456u);
            continue;
        }
        EXPECT_EQ(captured, expected);
        EXPECT_NE(shown(), 0xFF123456u);
    }
    EXPECT_TRUE(m_pDlg->StampText().isEmpty());
}

// The wheel zooms a cell about the pointer, drawn from the picture itself; a left
// drag pans it (the window stays), the right button and a new layout reset it. A
// recording's capture is held throughout, so a zoom it missed would show in the grab.
TEST_F(ArchiveDlgTest, WheelZoomsACellDragPansRightButtonAndLayoutReset)
{
    const CoordinatePicture pic(704, 240); // crop (9, 8, 677, 231)
    for (int k = 0; k < 4; ++k) {
        m_pDlg->SetChannelPicture(k, pic.Picture(1, 1));
        m_pDlg->DrawChannel(k);
    }
    const QRect cell = m_pDlg->Cell(1);
    const QPoint pt = cell.topLeft() + QPoint(83, 57);
    const QImage plain = m_pDlg->GrabPictureArea();
    m_pDlg->CapturePictureArea(true);
    const auto sourceAt = [&](QPoint at) {
        const QImage area = m_pDlg->GrabPictureArea();
        m_pDlg->CapturePictureArea(false);
        return SourceAt(area, at);
    };
    const auto wheel = [&](int nNotches) {
        QWheelEvent e(pt, m_pDlg->mapToGlobal(pt), QPoint(), QPoint(0, 120 * nNotches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_pDlg.get(), &e);
    };
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButton button) {
        QMouseEvent e(type, at, m_pDlg->mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button),
                      Qt::NoModifier);
        QApplication::sendEvent(m_pDlg.get(), &e);
    };
    const QPoint under = sourceAt(pt);
    wheel(4); // 2.44x: 277 x 95 of the crop
    const QPoint zoomedUnder = sourceAt(pt);
    EXPECT_LE((zoomedUnder - under).manhattanLength(), 2);
    const QPoint span = sourceAt(cell.bottomRight()) - sourceAt(cell.topLeft());
    EXPECT_LE((span - QPoint(276, 94)).manhattanLength(), 3);

    const QPoint windowAt = m_pDlg->pos();
    const QPoint moved = pt + QPoint(40, 30);
    mouse(QEvent::MouseButtonPress, pt, Qt::LeftButton);
    const int nClick = QApplication::startDragDistance() - 1; // still a click
    mouse(QEvent::MouseMove, pt + QPoint(nClick, 0), Qt::LeftButton);
    EXPECT_EQ(sourceAt(pt), zoomedUnder);
    mouse(QEvent::MouseMove, moved, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, moved, Qt::LeftButton);
    EXPECT_LE((sourceAt(moved) - under).manhattanLength(), 2); // the picture followed
    EXPECT_EQ(m_pDlg->pos(), windowAt);

    mouse(QEvent::MouseButtonPress, pt, Qt::RightButton);
    EXPECT_EQ(m_pDlg->GrabPictureArea(), plain);
    // At 1x the cell is the window's face again: a press there drags the window.
    const QPoint from = pt + QPoint(11, 7);
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    mouse(QEvent::MouseMove, from + QPoint(40, 30), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, from + QPoint(40, 30), Qt::LeftButton);
    EXPECT_EQ(m_pDlg->pos(), windowAt + QPoint(40, 30));
    wheel(2);
    m_pDlg->Control().OnChannelButton(1);
    m_pDlg->Control().OnQuadButton();
    EXPECT_EQ(m_pDlg->GrabPictureArea(), plain);
}

// Hour, minute and second each keep their place: a picture time moves the thumb, and
// the thumb's time goes into the next request. The slider lies over the skin's groove.
TEST_F(ArchiveDlgTest, SliderAndPictureTimeKeepHourMinuteAndSecondApart)
{
    EXPECT_EQ(m_pDlg->Slider()->geometry(), QRect(206, 602, 583, 16));
    m_pDlg->SetTimeRange(MakeDateWord(2008, 1, 1), 0, MakeDateWord(2008, 12, 31), 0);
    m_pDlg->SetPictureTime(2008u << 8 | 2u, 29u << 24 | 12u << 16 | 34u << 8 | 56u);
    EXPECT_EQ(m_pDlg->Slider()->value(), 12 * 3600 + 34 * 60 + 56);
    EXPECT_EQ(m_pDlg->PictureTimeText(), QStringLiteral("2008-02-29 12-34-56"));

    m_pDlg->Slider()->setSliderPosition(10 * 3600 + 20 * 60 + 30);
    m_pDlg->Slider()->triggerAction(QAbstractSlider::SliderMove);
    QCoreApplication::sendPostedEvents();
    m_pDlg->OnCommand(ControlId(CTRL_PLAY_1 + CPlaybackControl::PLAY_FORWARD));
    EXPECT_EQ(m_client.last[1], MakeDateWord(2008, 2, 29));
    EXPECT_EQ(m_client.last[2], MakeTimeWord(10, 20, 30));
    // The first and the last play button reach the control as well.
    m_pDlg->OnCommand(CTRL_PLAY_1);
    EXPECT_EQ(m_client.last[3] & 0x01000000u, 0x01000000u); // reverse
    m_pDlg->OnCommand(ControlId(CTRL_PLAY_1 + 4));
    EXPECT_EQ(m_client.last[3] & 0x01000000u, 0u);
    EXPECT_EQ(m_pDlg->Control().PlayState(), 0x0001);
}

// Each status and end text with the value it shows, drawn at the box's top left (the
// link texts as the end texts); codes without a text leave the box black. The boxes,
// one under the other, are compared with their reference picture.
TEST_F(ArchiveDlgTest, NoticeAreaShowsEveryStatusAndEndTextAtItsTopLeft)
{
    const uint32_t dwAlert = 3u | 1u << 8 | 2u << 16 | 4u << 24; // channel, motion, loss, alarm
    const struct {
        bool bEnd;
        uint8_t byCode;
        const char *pszText;
    } rows[] = {
        {true, 0, "## ERROR ##"},
        {true, 2, "# No Search Image #"},
        {true, 3, "## Play End ##"},
        {true, 4, "## Invalid Date ##"},
        {true, 1, ""},
        {false, 6, "# TRY REQUEST IMAGE 2 #"},
        {false, 4, "# TRY RECONNECTION #"},
        {false, 5, "# CONNECTION FAIL: #"},
        {false, 7, "[CH3][Alarm:4 Loss:2 Motion:1]"},
        {false, 1, ""},
        {false, 3, ""},
    };
    QImage sheet(kEndNoticeRect.width(), kEndNoticeRect.height() * int(std::size(rows)),
                 QImage::Format_RGB32);
    int nRow = 0;
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << (row.bEnd ? "end " : "link ") << int(row.byCode));
        m_pDlg->ShowNotice(CPlaybackControl::NOTICE_SEARCHING);
        if (row.bEnd)
            m_pDlg->ShowEndStatus(row.byCode);
        else
            m_pDlg->ShowLinkStatus(row.byCode, 2, dwAlert);
        EXPECT_EQ(m_pDlg->NoticeText().toStdString(), row.pszText);
        QPainter(&sheet).drawImage(0, kEndNoticeRect.height() * nRow++,
                                   m_pDlg->BackingImage().copy(kEndNoticeRect));
    }
    EXPECT_TRUE(testsupport::SamePicture(sheet, "ui/data/archive-notices.png"));
}

// The record button ends as a play button does: reconnection attempts stop and the
// five play buttons are up, or the stop button down when nothing plays.
TEST_F(ArchiveDlgTest, RecordButtonStopsReconnectingAndRaisesThePlayButtons)
{
    auto down = [this](int nPlay) {
        return m_pDlg->Button(ControlId(CTRL_PLAY_1 + nPlay))->GetChecked() != 0;
    };
    m_pDlg->OnCommand(CTRL_RECORD); // stopped: nothing to record
    EXPECT_FALSE(m_pDlg->Recorder().IsRecording());
    EXPECT_TRUE(down(CPlaybackControl::PLAY_STOP));
    m_pDlg->OnCommand(ControlId(CTRL_PLAY_1 + CPlaybackControl::PLAY_FORWARD));
    ASSERT_TRUE(down(CPlaybackControl::PLAY_FORWARD));
    m_pDlg->OnCommand(CTRL_RECORD);
    m_pDlg->ShowLinkStatus(STATUS_EVENT_REPORT, 0, 1); // an event: the recording goes on
    EXPECT_TRUE(m_pDlg->Recorder().IsRecording());
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(down(i)) << i;
}

// Every text the window draws fits its rectangle in the font it is drawn in (the
// notice area takes a long status text on two lines).
TEST_F(ArchiveDlgTest, TextsFitTheirRectangles)
{
    // The controls' font, bold where asked (the live view's channel marks).
    EXPECT_TRUE(ControlFont(14, true).bold());
    EXPECT_FALSE(ControlFont(11).bold());
    const QFontMetrics small(SmallFont());
    for (const QString &longest :
         {CPlaybackControl::LinkStatusText(STATUS_EVENT_REPORT, 0, 0xFFFFFFFFu),
          QString::fromLatin1(MSG_RECORD_FULL)}) {
        const QRect wrapped = small.boundingRect(kEndNoticeRect, Qt::TextWordWrap, longest);
        EXPECT_TRUE(kEndNoticeRect.contains(wrapped)) << qPrintable(longest);
    }
    const struct {
        QString text;
        QRect rc;
    } texts[] = {
        {QStringLiteral("REQUEST TIME :"), kRequestLabelRect},
        {QStringLiteral("2008/02/29  23:59:59"), kRequestRect},
        {CPlaybackControl::LinkStatusText(STATUS_TRY_REQUEST, 255, 0), kNoticeRect},
        {CPlaybackControl::EndStatusText(2), kNoticeRect},
        {QStringLiteral("Saving Failed"), kNoticeRect},
        {QStringLiteral("Dropped 99999 Pictures"), kNoticeRect},
        {QStringLiteral("23:59:59"), kPlayTimeRect},
    };
    for (const auto &t : texts)
        EXPECT_LE(small.horizontalAdvance(t.text), t.rc.width()) << qPrintable(t.text);
}

} // namespace

TEST_F(ArchiveDlgTest, KeysPlayStopAndLeaveFrozenCellsAreMarkedALostLinkStops)
{
    m_pDlg->SetTimeRange(MakeDateWord(2008, 2, 10), MakeTimeWord(12, 0, 0),
                         MakeDateWord(2008, 3, 1), MakeTimeWord(8, 0, 0));
    DvrDateTime want{};
    want.nYear = 2008, want.nMonth = 2, want.nDay = 20, want.nHour = 10;
    m_pDlg->Control().OnDatePicked(want);
    m_pDlg->Control().OnSliderMoved(10 * 3600);
    const auto key = [&](QWidget *pTo, int nKey, bool bRepeat = false) {
        QKeyEvent ev(QEvent::KeyPress, nKey, Qt::NoModifier, QString(), bRepeat);
        QApplication::sendEvent(pTo, &ev);
        QCoreApplication::sendPostedEvents();
    };
    key(m_pDlg.get(), Qt::Key_Space);
    ASSERT_TRUE(m_pDlg->Control().IsPlaying());
    key(m_pDlg.get(), Qt::Key_Space, true); // held: still playing
    key(m_pDlg.get(), Qt::Key_R);           // the main window's key is no key here
    EXPECT_TRUE(m_pDlg->Control().IsPlaying() && !m_pDlg->Control().IsPausePending());

    // A cell whose pictures stop is marked while playing, not once stopped.
    const CoordinatePicture pic(704, 240);
    m_pDlg->SetChannelPicture(0, pic.Picture(1, 1));
    m_pDlg->DrawChannel(0);
    m_clock.Advance(2249); // the play was seen at the check at 250 ms: 2 s from there
    EXPECT_EQ(m_pDlg->StaleMarkSeconds(0), -1);
    m_clock.Advance(1);
    EXPECT_EQ(m_pDlg->StaleMarkSeconds(0), 2);
    key(m_pDlg->Slider(), Qt::Key_Space); // taken before the slider
    EXPECT_FALSE(m_pDlg->Control().IsPlaying());
    m_clock.Advance(250);
    EXPECT_EQ(m_pDlg->StaleMarkSeconds(0), -1);

    // The link given up while playing: stopped, said so, buttons up.
    key(m_pDlg.get(), Qt::Key_Space);
    ASSERT_TRUE(m_pDlg->Control().IsPlaying());
    m_pDlg->ShowLinkStatus(STATUS_WAITING, 0, 0);
    EXPECT_FALSE(m_pDlg->Control().IsPlaying());
    EXPECT_EQ(m_pDlg->NoticeText().simplified(), QStringLiteral("# WAITING FOR CONNECTION. #"));
    const auto play = [&](int n) {
        return m_pDlg->Button(ControlId(CTRL_PLAY_1 + n))->GetChecked();
    };
    EXPECT_TRUE(play(CPlaybackControl::PLAY_STOP));
    EXPECT_FALSE(play(CPlaybackControl::PLAY_FORWARD));

    key(m_pDlg->Slider(), Qt::Key_Escape); // "Viewer", as the button
    EXPECT_TRUE(m_pDlg->Control().IsPausePending());
}
