// CSkinSlider with the archive window's artwork: where the thumb is drawn, the empty
// range, the swallowed keyboard, a drag the thumb follows, paging beside the thumb, and
// how the owner tells the operator's moves from its own; the slider at noon, on its piece
// of the archive background, against its reference picture.

#include "ui/controls/skinids.h"
#include "ui/controls/skinslider.h"
#include "support/samepicture.h"
#include "support/testapp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include <memory>

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

void Mouse(QWidget *pWidget, QEvent::Type type, int x)
{
    const QPoint pt(x, 8);
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, QPointF(pt), QPointF(pWidget->mapToGlobal(pt)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

// Left edge of the drawn thumb: the first column where the picture differs from the track.
int DrawnThumbX(CSkinSlider &slider)
{
    const QImage shot = slider.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage track = SkinImage(IDB_SLIDER_TRACK).convertToFormat(QImage::Format_RGB32);
    for (int x = 0; x < shot.width(); ++x)
        for (int y = 0; y < shot.height(); ++y)
            if (shot.pixel(x, y) != track.pixel(x, y))
                return x;
    return -1;
}

class SkinSliderTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        App();
        m_pDialog = std::make_unique<QDialog>();
        m_pDialog->resize(700, 60);
        m_pSlider = new CSkinSlider(m_pDialog.get());
        m_pSlider->setGeometry(QRect(QPoint(20, 20), QPoint(603 - 1, 36 - 1)));
        m_pSlider->Initialise(IDB_SLIDER_TRACK, IDB_SLIDER_THUMB);
        m_pSlider->SetRange(0, 86399);
        QObject::connect(m_pSlider, &QAbstractSlider::actionTriggered,
                         [this](int) { ++m_nOperatorMoves; });
        m_pDialog->show();
    }

    std::unique_ptr<QDialog> m_pDialog;
    CSkinSlider *m_pSlider = nullptr;
    int m_nOperatorMoves = 0;
};

TEST_F(SkinSliderTest, ThumbAtBothEndsAndAtAnEmptyRange)
{
    ASSERT_EQ(m_pSlider->width(), 583);
    EXPECT_EQ(DrawnThumbX(*m_pSlider), 4);
    m_pSlider->setValue(86399);
    EXPECT_EQ(DrawnThumbX(*m_pSlider), 4 + (583 - 16));
    m_pSlider->setValue(43200);
    EXPECT_EQ(DrawnThumbX(*m_pSlider), 4 + 567 * 43200 / 86399);
    EXPECT_EQ(m_nOperatorMoves, 0); // the owner's own moves are not the operator's

    m_pSlider->SetRange(7, 7);
    EXPECT_EQ(m_pSlider->ThumbX(7), 4);
    EXPECT_EQ(DrawnThumbX(*m_pSlider), 4);
}

TEST_F(SkinSliderTest, KeysAreSwallowed)
{
    m_pSlider->setValue(1000);
    for (int nKey : {Qt::Key_Right, Qt::Key_Left, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, nKey, Qt::NoModifier);
        QKeyEvent release(QEvent::KeyRelease, nKey, Qt::NoModifier);
        QApplication::sendEvent(m_pSlider, &press);
        QApplication::sendEvent(m_pSlider, &release);
    }
    EXPECT_EQ(m_pSlider->value(), 1000);
    EXPECT_EQ(m_nOperatorMoves, 0);
    EXPECT_TRUE(m_pDialog->isVisible()); // Escape did not reach the dialog
}

TEST_F(SkinSliderTest, DragMovesTheThumbWithThePointerAndPagingSteps)
{
    int nMovedSignals = 0;
    QObject::connect(m_pSlider, &QAbstractSlider::sliderMoved, [&](int) { ++nMovedSignals; });
    Mouse(m_pSlider, QEvent::MouseButtonPress, 5); // on the thumb at x = 4
    EXPECT_TRUE(m_pSlider->IsDragging());
    for (int x : {100, 290, 400}) {
        Mouse(m_pSlider, QEvent::MouseMove, x);
        EXPECT_NEAR(m_pSlider->ThumbX(m_pSlider->sliderPosition()), x - 1, 1) << x;
        EXPECT_NEAR(DrawnThumbX(*m_pSlider), x - 1, 1) << x;
    }
    Mouse(m_pSlider, QEvent::MouseButtonRelease, 400);
    EXPECT_FALSE(m_pSlider->isSliderDown());
    EXPECT_EQ(nMovedSignals, 3);
    EXPECT_EQ(m_nOperatorMoves, 3);
    const int nAfterDrag = m_pSlider->value();
    EXPECT_NEAR(nAfterDrag, (399 - 4) * 86399 / 567, 160);

    // A click beside the thumb pages a fifth of the day towards the pointer.
    Mouse(m_pSlider, QEvent::MouseButtonPress, 20);
    Mouse(m_pSlider, QEvent::MouseButtonRelease, 20);
    EXPECT_EQ(m_pSlider->value(), nAfterDrag - 86399 / 5);
    EXPECT_EQ(m_nOperatorMoves, 4);
}

TEST_F(SkinSliderTest, PictureAtNoonOnTheArchiveBackground)
{
    // The slider on the piece of the archive background around it, as the window shows it.
    QLabel deck;
    deck.setPixmap(QPixmap::fromImage(SkinImage(IDB_ARCHIVE_BACKGROUND).copy(196, 566, 602, 54)));
    deck.resize(602, 54);
    CSkinSlider slider(&deck);
    slider.setGeometry(206 - 196, 602 - 566, 583, 16);
    slider.Initialise(IDB_SLIDER_TRACK, IDB_SLIDER_THUMB);
    slider.SetRange(0, 86399);
    slider.setValue(12 * 3600);
    deck.show();
    EXPECT_EQ(DrawnThumbX(slider), 4 + 567 * 43200 / 86399);
    EXPECT_TRUE(testsupport::SamePicture(deck.grab().toImage(), "ui/data/slider.png"));
}

} // namespace
