#pragma once
// The synthetic camera scene of each channel: a tinted street panorama (channel 1
// red, 2 green, 3 blue, 4 yellow) with moving objects, the channel number, the
// picture time and the mode burnt in. The panorama moves with the channel's PTZ
// position. The top MARKER_BAND_ROWS rows are left black for the marker patterns.
// A simulator standing for recorder 2-4 of a site (scene 2-4) draws its channels as
// that site's channels 5-16: their own numbers, colours and streets.

#include <QDateTime>
#include <QImage>
#include <QString>

#include <array>

namespace sim {

struct ScenePose {
    double pan = 0;  // pixels of the panorama, grows to the right
    double tilt = 0; // pixels, grows downwards
    double zoom = 1; // 1 .. 4
    double focus = 0;
};

struct SceneFrame {
    int channelIndex = 0; // 0..3 (other values draw grey)
    double phase = 0;     // animation time in seconds
    QDateTime time;       // burnt-in picture time
    QString mode;         // "LIVE", "PLAY >> 8X", ...
    bool oddField = true;
    ScenePose pose;
};

class SceneRenderer {
  public:
    SceneRenderer(int width, int height, int scene = 1);

    // Renders one picture (Format_RGB32, width x height).
    const QImage &Render(const SceneFrame &frame);

    // The channel's tint as red, green, blue (scene 1: the four colours above).
    static QColor Tint(int channelIndex, int scene = 1);

  private:
    QImage BuildPanorama(int channelIndex) const;

    int m_width;
    int m_height;
    int m_scene;
    std::array<QImage, 5> m_panorama; // 4 channels + grey for others
    QImage m_canvas;
};

} // namespace sim
