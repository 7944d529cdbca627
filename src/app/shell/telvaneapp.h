#pragma once
// The application's start-up and shut-down around the Qt application object:
// single instance first, then the socket layer (Windows only). The frame and
// the view are made by main() once InitInstance has succeeded.

#include "app/shell/singleinstanceguard.h"
#include "ui/common/messagebox.h" // APP_TITLE

class CTelvaneApp {
  public:
    CTelvaneApp() = default;
    ~CTelvaneApp() { ExitInstance(); }
    CTelvaneApp(const CTelvaneApp &) = delete;
    CTelvaneApp &operator=(const CTelvaneApp &) = delete;

    // False when the program must end: another copy runs, or the socket layer
    // cannot start. The reason has been shown in a message box.
    bool InitInstance();
    // Releases the single-instance lock and the socket layer; safe to call twice.
    void ExitInstance();

  private:
    bool InitSocketLayer();

    CSingleInstanceGuard m_guard;
    bool m_bSocketsStarted = false;
};
