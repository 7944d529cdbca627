#include "ui/common/messagebox.h"

#include <QtGlobal>

#include <cstdio>

namespace {

MessageBoxHandler &Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

QMessageBox::StandardButton FirstButton(QMessageBox::StandardButtons buttons)
{
    if (buttons & QMessageBox::Ok)
        return QMessageBox::Ok;
    for (unsigned bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
        if (buttons & bit)
            return QMessageBox::StandardButton(bit);
    }
    return QMessageBox::NoButton;
}

} // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget *parent, const QString &text,
                                           const QString &caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons)
{
    if (Handler())
        return Handler()(parent, text, caption, icon, buttons);

    if (qEnvironmentVariableIsSet("TELVANE_TEST")) {
        std::fprintf(stderr, "MESSAGEBOX [%s] %s\n", caption.toUtf8().constData(),
                     text.toUtf8().constData());
        std::fflush(stderr);
        return FirstButton(buttons);
    }

    QMessageBox box(icon, caption, text, buttons, parent);
    return QMessageBox::StandardButton(box.exec());
}

void ShowMessageBoxModeless(QWidget *parent, const QString &text, const QString &caption,
                            QMessageBox::Icon icon)
{
    if (Handler() || qEnvironmentVariableIsSet("TELVANE_TEST")) {
        ShowMessageBox(parent, text, caption, icon);
        return;
    }
    auto *pBox = new QMessageBox(icon, caption, text, QMessageBox::Ok, parent);
    pBox->setAttribute(Qt::WA_DeleteOnClose);
    pBox->setWindowModality(Qt::NonModal);
    pBox->show();
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    MessageBoxHandler previous = std::move(Handler());
    Handler() = std::move(handler);
    return previous;
}
