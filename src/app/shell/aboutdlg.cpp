#include "app/shell/aboutdlg.h"

#include "ui/common/keyboard.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Artwork: a monitor showing the 2 x 2 channel grid, one tile recording.
class CAboutArtwork : public QWidget {
  public:
    explicit CAboutArtwork(QWidget *parent) : QWidget(parent) { setFixedSize(96, 96); }

  protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 46, 58));
        p.drawRoundedRect(QRectF(4, 8, 88, 70), 8, 8);
        p.setBrush(QColor(70, 78, 92));
        p.drawRect(QRectF(40, 78, 16, 8));
        p.drawRoundedRect(QRectF(26, 84, 44, 6), 3, 3);

        const QColor tiles[4] = {QColor(46, 110, 160), QColor(60, 140, 90), QColor(150, 120, 50),
                                 QColor(120, 70, 140)};
        for (int i = 0; i < 4; ++i) {
            const QRectF tile(12 + (i % 2) * 37, 15 + (i / 2) * 28, 35, 26);
            p.setBrush(tiles[i]);
            p.drawRect(tile);
        }
        p.setBrush(QColor(230, 40, 40));
        p.drawEllipse(QPointF(42, 36), 4, 4);
    }
};

} // namespace

QString CAboutDlg::VersionText()
{
    return QStringLiteral("Telvane4 Version 4.0");
}

CAboutDlg::CAboutDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About Telvane4"));

    auto *text =
        new QLabel(VersionText() +
                       QStringLiteral("\n\nClient for four-channel network video recorders:\n"
                                      "live view, PTZ control, events and archive playback.\n\n") +
                       KeyboardHelpText(),
                   this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *row = new QHBoxLayout;
    row->addWidget(new CAboutArtwork(this), 0, Qt::AlignTop);
    row->addSpacing(12);
    row->addWidget(text, 1);

    auto *column = new QVBoxLayout(this);
    column->addLayout(row);
    column->addWidget(buttons);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}
