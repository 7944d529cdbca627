#pragma once
// The main frame: a borderless, fixed 877 x 685 top-level window whose only child
// is the main view, filling it. A 2-pixel rim on every side is cut away by the
// window mask, so it is neither drawn nor takes mouse input. The frame opens
// centred on the desktop and can be pushed to the screen corner for full screen.

#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QSize>
#include <QWidget>

class CMainFrame : public QWidget {
    Q_OBJECT

  public:
    static constexpr int FRAME_WIDTH = 877;
    static constexpr int FRAME_HEIGHT = 685;
    static constexpr int FRAME_RIM = 2;

    explicit CMainFrame(QWidget *parent = nullptr);

    // Makes the view the frame's child, filling the whole frame; the frame owns it.
    // A view set earlier is deleted.
    void SetView(QWidget *view);
    QWidget *View() const { return m_pView; }

    // Full screen: the visible region's corner (2, 2) goes to the screen's (0, 0).
    // Otherwise the frame is centred on the primary screen. The size never changes.
    void PlaceWindow(bool fullScreen);

    // Where the frame opens inside an area of the given size (integer division).
    static QPoint CenteredPosition(const QSize &area);
    // The part of the frame that is drawn: (2, 2) to (875, 683), exclusive.
    static QRegion VisibleRegion();
    // The desktop size the frame opens centred in.
    static QSize MaxTrackingSize();

  public slots:
    // The About command: opens the About box modally.
    void OnAppAbout();

  private:
    QPointer<QWidget> m_pView;
};
