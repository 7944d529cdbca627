#pragma once
// The one way the program shows a message box. Tests (and headless runs) replace
// the handler so that no modal box can ever hang them: with TELVANE_TEST set in
// the environment and no handler installed, the box is written to stderr as
//   MESSAGEBOX [<caption>] <text>
// and answered with its first button instead of being shown.

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// The program's title: the caption of its message boxes.
inline constexpr char APP_TITLE[] = "Telvane4";

using MessageBoxHandler = std::function<QMessageBox::StandardButton(
    QWidget *parent, const QString &text, const QString &caption, QMessageBox::Icon icon,
    QMessageBox::StandardButtons buttons)>;

QMessageBox::StandardButton ShowMessageBox(QWidget *parent, const QString &text,
                                           const QString &caption, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The same message without waiting: the box stays open beside the window, which
// goes on working (the handler and TELVANE_TEST apply as above).
void ShowMessageBoxModeless(QWidget *parent, const QString &text, const QString &caption,
                            QMessageBox::Icon icon);

// Installs a handler (an empty one restores the default) and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Installs a handler for the life of the object, e.g. in a test.
class CScopedMessageBoxHandler {
  public:
    explicit CScopedMessageBoxHandler(MessageBoxHandler handler)
        : m_previous(SetMessageBoxHandler(std::move(handler)))
    {
    }
    ~CScopedMessageBoxHandler() { SetMessageBoxHandler(std::move(m_previous)); }
    CScopedMessageBoxHandler(const CScopedMessageBoxHandler &) = delete;
    CScopedMessageBoxHandler &operator=(const CScopedMessageBoxHandler &) = delete;

  private:
    MessageBoxHandler m_previous;
};
