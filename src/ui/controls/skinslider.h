#pragma once

// CSkinSlider: the archive window's horizontal time slider, drawn with two skin bitmaps:
// a track over the whole control and a thumb whose top-left pixel's colour is
// transparent. The keyboard is swallowed (the arrow keys do nothing and Escape does not
// pass through to the window). Operator moves (dragging the thumb, paging by a click
// beside it, the wheel) go through QAbstractSlider::triggerAction, so they emit
// actionTriggered (and sliderMoved while dragging); a position set by the owner with
// setValue emits only valueChanged. That is how the owner tells the two apart.
//
// The thumb's left edge is at x = 4 + ((width - 16) * (pos - min)) / (max - min), and at
// x = 4 when the range is empty.

#include "ui/controls/skinbitmap.h"

#include <QSlider>

class CSkinSlider : public QSlider {
  public:
    static constexpr int kMargin = 4;         // each side
    static constexpr int kThumbAllowance = 8; // width kept free for the thumb

    explicit CSkinSlider(QWidget *pParent = nullptr);

    // Loads the track and thumb artwork and the cursor shown over the control.
    void Initialise(int nTrackId, int nThumbId, Qt::CursorShape cursor = Qt::ArrowCursor);
    // Sets the range, then the position to the minimum. The page step (a click beside
    // the thumb) is a fifth of the range.
    void SetRange(int nMin, int nMax, bool bRedraw = true);

    // Left edge of the thumb for a position, in this control's width.
    int ThumbX(int nPosition) const;
    bool IsDragging() const { return m_bDragging; }

  protected:
    void paintEvent(QPaintEvent *pEvent) override;
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void keyPressEvent(QKeyEvent *pEvent) override;
    void keyReleaseEvent(QKeyEvent *pEvent) override;

  private:
    int PositionAt(int x) const;
    int ThumbWidth() const;

    CSkinBitmap m_track;
    CSkinBitmap m_thumb;
    bool m_bDragging = false; // left button went down on the control
    bool m_bOnThumb = false;  // ... on the thumb: the thumb follows the mouse
    int m_nGrabOffset = 0;    // pointer x minus thumb x at the press
};
