// CArchiveDlg: the background, the played pictures in their cells, the time block,
// the slider time, the notice area and the picture time stamp.

#include "ui/archive/archivedlg.h"

#include "protocol/timecodec.h"
#include "ui/controls/skinbutton.h"
#include "ui/controls/skinids.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

using namespace archivelayout;

namespace {

const QColor kTextColour(0, 255, 0);
const QColor kStampColour(255, 0, 0);

QString RangeText(const DvrDateTime &t)
{
    return QString::asprintf("%04d/%02d/%02d  %02d:%02d:%02d", t.nYear, t.nMonth, t.nDay, t.nHour,
                             t.nMinute, t.nSecond);
}

// Opaque text in its rectangle, never cut: a rectangle lower than the font's lines
// grows about its middle, one narrower than the text grows to the right (left
// alignment) or about its middle (centred).
QRect TextRect(const QFontMetrics &fm, const QRect &rc, const QString &text, bool bCentred)
{
    QRect out = rc;
    if (out.height() < fm.height())
        out = QRect(out.left(), out.center().y() - fm.height() / 2, out.width(), fm.height());
    const int nNeed = fm.horizontalAdvance(text) + 2;
    if (out.width() < nNeed) {
        if (bCentred)
            out = QRect(out.center().x() - nNeed / 2, out.top(), nNeed, out.height());
        else
            out.setWidth(nNeed);
    }
    return out;
}

} // namespace

QRect CArchiveDlg::Cell(int nChannel) const
{
    return nChannel >= 0 && nChannel < 4 ? m_arcCell[std::size_t(nChannel)] : QRect();
}

void CArchiveDlg::DrawBackground()
{
    QImage background(kWidth, kHeight, QImage::Format_RGB32);
    background.fill(Qt::black);
    {
        QPainter painter(&background);
        painter.drawImage(QPoint(0, 0), SkinImage(IDB_ARCHIVE_BACKGROUND));
        if (!m_imgLogo.isNull())
            painter.drawImage(kLogoRect.topLeft(), m_imgLogo,
                              QRect(QPoint(0, 0), kLogoRect.size()));
    }
    m_canvas.SetBackground(background);
}

void CArchiveDlg::DrawNoticeText(const QString &text, const QRect &rcBox, bool bCentred)
{
    m_szNotice = text;
    QPainter painter(&m_canvas.Backing());
    painter.setFont(m_fontSmall);
    const QFontMetrics fm(m_fontSmall);
    painter.fillRect(kEndNoticeRect, Qt::black);
    painter.setPen(kTextColour);
    // Notices stand in the middle of the box; status and end texts at its top left.
    const int nAlign = bCentred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop;
    if (fm.horizontalAdvance(text) > kEndNoticeRect.width()) {
        // A long status text (an event report) takes two lines of the box.
        painter.drawText(kEndNoticeRect, nAlign | Qt::TextWordWrap, text);
        update(kEndNoticeRect);
        return;
    }
    const QRect rc = TextRect(fm, rcBox, text, bCentred);
    painter.drawText(rc, nAlign | Qt::TextSingleLine, text);
    update(kEndNoticeRect.united(rc));
}

void CArchiveDlg::ShowNotice(const QString &text)
{
    // The recording repeats its notice with every picture: draw it once.
    if (text == m_szNotice)
        return;
    // An end of playback ("## Play End ##", or an empty box for a code without a
    // text) is written into the taller box at its top left, as the link texts are.
    bool bEndText = text.isEmpty();
    for (uint8_t byCode = 0; byCode <= PLAY_END_INVALID_DATE && !bEndText; ++byCode)
        bEndText = text == CPlaybackControl::EndStatusText(byCode);
    DrawNoticeText(text, bEndText ? kEndNoticeRect : kNoticeRect, !bEndText);
}

void CArchiveDlg::DrawTimeRange()
{
    struct Line {
        QRect rc;
        QString text;
        bool bCentred;
    };
    const Line lines[] = {
        {kStartLabelRect, QStringLiteral("START TIME :"), false},
        {kStartRect, RangeText(m_control.Start()), true},
        {kEndLabelRect, QStringLiteral("END TIME :"), false},
        {kEndRect, RangeText(m_control.End()), true},
        {kRequestLabelRect, QStringLiteral("REQUEST TIME :"), false},
        {kRequestRect, RangeText(m_control.Request()), true},
    };
    QPainter painter(&m_canvas.Backing());
    painter.setFont(m_fontSmall);
    const QFontMetrics fm(m_fontSmall);
    painter.fillRect(kTimeBlockRect, Qt::black);
    painter.setPen(kTextColour);
    for (const Line &line : lines)
        painter.drawText(TextRect(fm, line.rc, line.text, line.bCentred),
                         (line.bCentred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter |
                             Qt::TextSingleLine,
                         line.text);
    update(kTimeBlockRect);
}

void CArchiveDlg::DrawPlayTime()
{
    const uint32_t t = m_control.PlayTime();
    const QString text = QString::asprintf("%02d:%02d:%02d", int(t >> 24), int((t >> 16) & 0xFF),
                                           int((t >> 8) & 0xFF));
    QPainter painter(&m_canvas.Backing());
    painter.setFont(m_fontSmall);
    const QRect rc = TextRect(QFontMetrics(m_fontSmall), kPlayTimeRect, text, true);
    painter.fillRect(rc, Qt::black);
    painter.setPen(kTextColour);
    painter.drawText(rc, Qt::AlignCenter | Qt::TextSingleLine, text);
    update(rc);
}

QRect CArchiveDlg::StampRect() const
{
    const QFontMetrics fm(m_fontLarge);
    const int nWidth = std::max(150, fm.horizontalAdvance(m_szStamp) + 4);
    return QRect(kStampPos, QSize(nWidth, kStampHeight));
}

bool CArchiveDlg::StampDue()
{
    // A picture one second behind the last one in the direction of play is its
    // neighbour in the same stream: only jumps, the first picture and forward steps
    // get a stamp.
    const DvrDateTime &t = m_control.PictureTime();
    const int64_t p = int64_t(CalendarSecondsOf(m_tmPrevPicture));
    const int64_t n = int64_t(CalendarSecondsOf(t));
    const int nDirection = m_control.Direction();
    const bool bDue = !((nDirection == 1 && n == p - 1) || (nDirection == 2 && n == p + 1));
    m_tmPrevPicture = t;
    return bDue;
}

void CArchiveDlg::DrawChannel(int nIndex)
{
    if (nIndex < 0 || nIndex >= 4 || !m_canvas.HasPicture(nIndex))
        return;
    const QRect cell = m_arcCell[std::size_t(nIndex)];
    if (!cell.isEmpty()) {
        if (!m_canvas.CropOf(nIndex).isEmpty()) {
            m_canvas.Show(cell, nIndex);
        } else if (m_canvas.ShownSlot(cell) >= 0) {
            // Nothing of this picture can be shown: the cell is empty again.
            m_canvas.EraseArea(cell);
        }
        m_canvas.SchedulePaint(cell);
    }
    if (m_settings.m_bDisplayPbTime && StampDue()) {
        const QRect before = StampRect();
        m_szStamp = PictureTimeText();
        m_bStampShown = true;
        m_canvas.SchedulePaint(before.united(StampRect()));
    } else if (m_bStampShown) {
        m_bStampShown = false; // the picture covers it
        m_canvas.SchedulePaint(StampRect());
    }
    m_recorder.OnPictureDrawn(nIndex);
}

void CArchiveDlg::PaintOverlay(QPainter &painter, const QRegion &region)
{
    if (!m_bStampShown || !region.intersects(StampRect()))
        return;
    painter.save();
    painter.setFont(m_fontLarge);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::black);
    painter.setPen(kStampColour);
    painter.drawText(StampRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_szStamp);
    painter.restore();
}

void CArchiveDlg::paintEvent(QPaintEvent *pEvent)
{
    QPainter painter(this);
    m_canvas.Paint(painter, pEvent->region());
    PaintStaleTiles(m_staleWatch, m_canvas, painter, pEvent->region(), m_arcCell.data(),
                    int(m_arcCell.size()), m_fontLarge, m_fontLarge);
    PaintZoomMarks(m_canvas, painter, pEvent->region(), m_arcCell.data(), int(m_arcCell.size()),
                   m_fontSmall);
    PaintOverlay(painter, pEvent->region());
}

QImage CArchiveDlg::GrabPictureArea()
{
    QImage area(kPictureRect.size(), QImage::Format_RGB32);
    QPainter painter(&area);
    painter.translate(-kPictureRect.topLeft());
    m_canvas.Paint(painter, QRegion(kPictureRect));
    PaintOverlay(painter, QRegion(kPictureRect));
    return area;
}

const QImage &CArchiveDlg::CapturePictureArea(bool bWhole)
{
    return m_canvas.Capture(kPictureRect, bWhole, [this](QPainter &painter, const QRegion &region) {
        PaintOverlay(painter, region);
    });
}
