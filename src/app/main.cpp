// Telvane4: start-up in order -- one copy per session and the socket layer, then
// the main frame with its view, then show.
#include "app/shell/mainframe.h"
#include "app/shell/telvaneapp.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    CTelvaneApp telvane;
    if (!telvane.InitInstance())
        return 1;

    CMainFrame frame;
    // The main view goes here: frame.SetView(new CTelvaneView(...));
    frame.show();
    return app.exec();
}
