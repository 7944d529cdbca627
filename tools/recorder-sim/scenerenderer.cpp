#include "scenerenderer.h"

#include "markerglue.h"

#include <QFont>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
constexpr int PANORAMA_WIDTH = 2048;
}

SceneRenderer::SceneRenderer(int width, int height, int scene)
    : m_width(width), m_height(height), m_scene(scene),
      m_canvas(width, height, QImage::Format_RGB32)
{
    for (int i = 0; i < 5; ++i)
        m_panorama[i] = BuildPanorama(i);
}

QColor SceneRenderer::Tint(int channelIndex, int scene)
{
    // Later recorders turn each colour a step round the wheel, lighter or paler.
    if (scene > 1 && channelIndex >= 0 && channelIndex < 4)
        return QColor::fromHsv((Tint(channelIndex).hue() + 22 * (scene - 1)) % 360,
                               scene == 3 ? 140 : 220, scene == 4 ? 150 : 215);
    switch (channelIndex) {
    case 0:
        return QColor(210, 50, 40);
    case 1:
        return QColor(50, 190, 60);
    case 2:
        return QColor(50, 80, 215);
    case 3:
        return QColor(205, 195, 40);
    default:
        return QColor(128, 128, 128);
    }
}

QImage SceneRenderer::BuildPanorama(int channelIndex) const
{
    const int h = m_height * 2; // room for tilt
    QImage img(PANORAMA_WIDTH, h, QImage::Format_RGB32);
    const QColor tint = Tint(channelIndex, m_scene);
    QPainter p(&img);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, tint.lighter(150));
    sky.setColorAt(0.55, tint);
    sky.setColorAt(0.56, tint.darker(220));
    sky.setColorAt(1, tint.darker(160));
    p.fillRect(img.rect(), sky);

    // Buildings from a fixed seed per channel, so every run shows the same street.
    QRandomGenerator rng(0x5EED + channelIndex + 16 * (m_scene - 1));
    int x = 0;
    while (x < PANORAMA_WIDTH) {
        int bw = 40 + int(rng.bounded(90));
        int bh = h / 5 + int(rng.bounded(h / 3));
        QRect b(x, int(h * 0.56) - bh, bw, bh);
        p.fillRect(b, tint.darker(130 + int(rng.bounded(120))));
        for (int wy = b.top() + 8; wy + 10 < b.bottom(); wy += 18)
            for (int wx = b.left() + 6; wx + 10 < b.right(); wx += 16)
                p.fillRect(wx, wy, 8, 10, rng.bounded(3) ? tint.lighter(170) : tint.darker(300));
        x += bw + 4 + int(rng.bounded(30));
    }
    // Road marks.
    p.setPen(QPen(QColor(230, 230, 230), 4));
    for (int mx = 0; mx < PANORAMA_WIDTH; mx += 96)
        p.drawLine(mx, int(h * 0.78), mx + 48, int(h * 0.78));
    return img;
}

const QImage &SceneRenderer::Render(const SceneFrame &f)
{
    const int ci = (f.channelIndex >= 0 && f.channelIndex < 4) ? f.channelIndex : 4;
    const QImage &pano = m_panorama[ci];
    QPainter p(&m_canvas);

    // Panorama section: pan moves it sideways (wrapping), tilt up and down, zoom
    // enlarges the centre.
    const double zoom = std::clamp(f.pose.zoom, 1.0, 4.0);
    const double srcW = m_width / zoom, srcH = m_height / zoom;
    double sx = std::fmod(f.pose.pan + (m_width - srcW) / 2, double(PANORAMA_WIDTH));
    if (sx < 0)
        sx += PANORAMA_WIDTH;
    double sy = std::clamp(m_height / 2.0 + f.pose.tilt + (m_height - srcH) / 2, 0.0,
                           double(pano.height()) - srcH);
    double firstW = std::min(srcW, PANORAMA_WIDTH - sx);
    double destFirst = firstW * zoom;
    p.drawImage(QRectF(0, 0, destFirst, m_height), pano, QRectF(sx, sy, firstW, srcH));
    if (firstW < srcW)
        p.drawImage(QRectF(destFirst, 0, m_width - destFirst, m_height), pano,
                    QRectF(0, sy, srcW - firstW, srcH));

    // Moving objects: a car driving along the road and a bouncing ball.
    const QColor tint = Tint(ci, m_scene);
    const double carX = std::fmod(f.phase * 140.0, m_width + 160.0) - 120;
    const int roadY = int(m_height * 0.72);
    p.fillRect(QRectF(carX, roadY - 26, 110, 26), tint.lighter(180));
    p.fillRect(QRectF(carX + 20, roadY - 44, 60, 20), tint.lighter(140));
    p.setBrush(Qt::black);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(carX + 22, roadY), 9, 9);
    p.drawEllipse(QPointF(carX + 88, roadY), 9, 9);
    const double ballX = m_width * (0.5 + 0.4 * std::sin(f.phase * 0.9 + ci));
    const double ballY =
        MARKER_BAND_ROWS + 20 + (m_height * 0.5) * std::fabs(std::sin(f.phase * 2.1 + ci));
    p.setBrush(QColor(255, 255, 255));
    p.drawEllipse(QPointF(ballX, ballY), 14, 14);

    // Burnt-in texts on dark boxes.
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setBold(true);
    big.setPixelSize(std::max(16, m_height / 8));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(std::max(12, m_height / 16));
    const int top = MARKER_BAND_ROWS + 6;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawRect(8, top, m_height / 8 * 3, m_height / 8 + 8);
    // Kept clear of the right-hand margin that the client crops off when it draws.
    p.drawRect(m_width - 324, top, 292, m_height / 16 * 3 + 10);
    p.setPen(Qt::white);
    p.setFont(big);
    p.drawText(QRect(8, top, m_height / 8 * 3, m_height / 8 + 8), Qt::AlignCenter,
               QStringLiteral("CH%1").arg(4 * (m_scene - 1) + f.channelIndex + 1));
    p.setFont(small);
    const int lh = m_height / 16;
    p.drawText(QRect(m_width - 320, top + 2, 288, lh + 2), Qt::AlignRight | Qt::AlignVCenter,
               f.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    p.drawText(QRect(m_width - 320, top + 4 + lh, 288, lh + 2), Qt::AlignRight | Qt::AlignVCenter,
               f.mode + (f.oddField ? QStringLiteral("  ODD") : QStringLiteral("  EVEN")));
    p.drawText(QRect(m_width - 320, top + 6 + 2 * lh, 288, lh + 2),
               Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("P%1 T%2 Z%3 F%4")
                   .arg(int(f.pose.pan))
                   .arg(int(f.pose.tilt))
                   .arg(f.pose.zoom, 0, 'f', 1)
                   .arg(int(f.pose.focus)));
    p.end();
    return m_canvas;
}

} // namespace sim
