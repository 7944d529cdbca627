#include "ui/dialogs/dialogstyle.h"

#include "ui/controls/skinfont.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

namespace {

// Colours of the main form's skin.
const char kStyleSheet[] = R"(
QDialog { background: #1c2028; }
QLabel, QCheckBox { color: #d2d6dc; }
QGroupBox {
    color: #9aa4b4; font-weight: bold;
    border: 1px solid #3c4452; border-radius: 4px;
    background: #232831; margin-top: 7px;
}
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; }
QLineEdit, QComboBox, QTreeWidget {
    background: #000000; color: #00ff00;
    border: 1px solid #4a5262; border-radius: 2px; padding: 0 3px;
    selection-background-color: #e08a1e; selection-color: #000000;
}
QLineEdit:read-only { color: #8fd18f; background: #101318; }
QComboBox QAbstractItemView {
    background: #000000; color: #00ff00; border: 1px solid #4a5262;
    selection-background-color: #e08a1e; selection-color: #000000;
}
QCheckBox::indicator {
    width: 11px; height: 11px; border: 1px solid #6a7486; background: #000000;
}
QCheckBox::indicator:checked { background: #00c000; border-color: #00ff00; }
QPushButton {
    color: #ffffff; font-weight: bold;
    border: 1px solid #59616f; border-radius: 3px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #4a505c, stop:1 #2a2e36);
}
QPushButton:hover { border-color: #e08a1e; }
QPushButton:pressed { background: #e08a1e; color: #000000; }
QPushButton:default { border-color: #9aa4b4; }
QHeaderView { background: #2a2e36; }
QHeaderView::section {
    background: #2a2e36; color: #d2d6dc; border: 0; border-right: 1px solid #3c4452;
    padding: 2px 4px;
}
QTreeWidget::item { padding: 1px 0; }
QTreeWidget::item:selected { background: #e08a1e; color: #000000; }
QTableView {
    background: #000000; color: #00ff00; gridline-color: #3c4452;
    border: 1px solid #4a5262;
    selection-background-color: #e08a1e; selection-color: #000000;
}
QTableCornerButton::section { background: #2a2e36; border: 0; }
QScrollBar:vertical { background: #1c2028; width: 13px; margin: 0; }
QScrollBar:horizontal { background: #1c2028; height: 13px; margin: 0; }
QScrollBar::handle {
    background: #4a505c; border: 1px solid #59616f; border-radius: 3px;
    min-width: 24px; min-height: 24px;
}
QScrollBar::handle:hover { border-color: #e08a1e; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: 0; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QAbstractScrollArea::corner { background: #1c2028; }
)";

} // namespace

void ApplyDialogLook(QWidget *pDialog)
{
    QFont font = pDialog->font();
    if (LoadTahoma())
        font.setFamily(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    pDialog->setFont(font);

    QPalette pal = pDialog->palette();
    pal.setColor(QPalette::Window, QColor(0x1c, 0x20, 0x28));
    pal.setColor(QPalette::WindowText, QColor(0xd2, 0xd6, 0xdc));
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, QColor(0, 255, 0));
    pal.setColor(QPalette::Button, QColor(0x3a, 0x40, 0x4c));
    pal.setColor(QPalette::ButtonText, Qt::white);
    pDialog->setPalette(pal);
    pDialog->setStyleSheet(QString::fromLatin1(kStyleSheet));
}
