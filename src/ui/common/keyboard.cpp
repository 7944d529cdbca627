#include "ui/common/keyboard.h"

QString KeyboardHelpText()
{
    return QStringLiteral("Keys, main window:\n"
                          "  1-4  channel     Q  quad     S  single\n"
                          "  R  circular monitoring on/off     A  archive\n"
                          "  F11  full screen on/off (Esc leaves it)\n"
                          "  + / -  PTZ speed\n"
                          "Keys, archive window:\n"
                          "  Space  play forwards / stop     1-4, Q, S  as above\n"
                          "  Esc  Viewer");
}
