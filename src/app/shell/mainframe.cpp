#include "app/shell/mainframe.h"

#include "app/shell/aboutdlg.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

CMainFrame::CMainFrame(QWidget *parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setWindowTitle(QStringLiteral("Telvane4"));
    setFixedSize(FRAME_WIDTH, FRAME_HEIGHT);
    move(CenteredPosition(MaxTrackingSize()));
    setMask(VisibleRegion());

    // Until a view covers it, the frame shows a plain dark face.
    QPalette face = palette();
    face.setColor(QPalette::Window, QColor(24, 28, 36));
    setPalette(face);
    setAutoFillBackground(true);
}

QPoint CMainFrame::CenteredPosition(const QSize &area)
{
    return QPoint((area.width() - FRAME_WIDTH) / 2, (area.height() - FRAME_HEIGHT) / 2);
}

QRegion CMainFrame::VisibleRegion()
{
    return QRegion(FRAME_RIM, FRAME_RIM, FRAME_WIDTH - 2 * FRAME_RIM, FRAME_HEIGHT - 2 * FRAME_RIM);
}

QSize CMainFrame::MaxTrackingSize()
{
    // The whole desktop, across every screen, as a maximised window could span it.
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualSize() : QSize(FRAME_WIDTH, FRAME_HEIGHT);
}

void CMainFrame::SetView(QWidget *view)
{
    if (m_pView == view)
        return;
    if (m_pView)
        m_pView->deleteLater();
    m_pView = view;
    if (!view)
        return;
    view->setParent(this);
    view->setGeometry(0, 0, FRAME_WIDTH, FRAME_HEIGHT);
    view->show();
}

void CMainFrame::PlaceWindow(bool fullScreen)
{
    if (fullScreen) {
        move(-FRAME_RIM, -FRAME_RIM);
    } else {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QSize size = screen ? screen->size() : QSize(FRAME_WIDTH, FRAME_HEIGHT);
        move(CenteredPosition(size));
    }
    update();
}

void CMainFrame::OnAppAbout()
{
    CAboutDlg about(this);
    about.exec();
}
