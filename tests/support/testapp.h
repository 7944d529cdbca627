#pragma once
// The one application object of a test program (QCoreApplication, QGuiApplication
// or QApplication, as the program needs), made at first use and kept to the end.

namespace testsupport {

template <class AppType>
AppType &TestApp()
{
    static int argc = 1;
    static char name[] = "telvane-test";
    static char *argv[] = {name, nullptr};
    static AppType *pApp = new AppType(argc, argv);
    return *pApp;
}

} // namespace testsupport
