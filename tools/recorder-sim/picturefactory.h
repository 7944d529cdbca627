#pragma once
// Makes the JPEG pictures the simulator sends: scene, markers, encoding. Pictures
// are cached by everything that shows in them, so several connections watching the
// same channel, or rates above the scene's animation step, reuse an encoded picture.

#include "imaging/jpegencoder.h"
#include "scenerenderer.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <vector>

namespace sim {

// Scene animation steps per second; the phase of a picture is rounded to them.
constexpr int SCENE_STEPS_PER_SECOND = 60;
constexpr int PICTURE_CODE_BITS = 14;
constexpr int PICTURE_CODE_MODULO = 1 << PICTURE_CODE_BITS;

// 16 blocks of 38 x 24 pixels, 42 apart from x = 14, their bottom 20 rows above the
// picture's last (top-down): white, the 14 bits of nCode from the highest (white =
// 1), black. Drawn into bottom-up blue-green-red rows.
void DrawPictureCode(std::uint8_t *pBottomUpBgr, int nWidth, int nHeight, int nStride, int nCode);

struct PictureRequest {
    int channelIndex = 0;
    bool oddField = true;
    qint64 phaseStep = 0; // animation step (1/SCENE_STEPS_PER_SECOND s)
    QDateTime time;       // shown time, whole seconds
    QString mode;
    ScenePose pose;
};

class PictureFactory {
  public:
    PictureFactory(int width, int height, int quality, int fieldRowSelector, int scene = 1);

    QByteArray Picture(const PictureRequest &request);
    // The first nCount pictures made are also written into the folder (WxH_sim_NNN.jpg).
    void SavePictures(const QString &folder, int nCount);
    // Each picture carries its animation step modulo PICTURE_CODE_MODULO as a row of
    // blocks (see DrawPictureCode).
    void SetPictureCode(bool bOn) { m_bPictureCode = bOn; }
    // Camera pictures of the factory's size from the folder take the drawn scene's
    // place, in turn (markers and code still drawn over them). False when the folder
    // holds none.
    bool UseCameraPictures(const QString &folder);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    qint64 Rendered() const { return m_rendered; }
    qint64 CacheHits() const { return m_hits; }

  private:
    QByteArray Make(const PictureRequest &request);

    int m_width;
    int m_height;
    int m_fieldRow;
    bool m_bPictureCode = false;
    std::vector<QImage> m_cameras; // Format_RGB32
    SceneRenderer m_renderer;
    CJpegEncoder m_encoder;
    std::vector<std::uint8_t> m_bgr;
    int m_stride;
    QHash<QString, QByteArray> m_cache;
    QList<QString> m_order; // oldest first
    qint64 m_rendered = 0;
    qint64 m_hits = 0;
    QString m_saveFolder;
    int m_nToSave = 0;
};

} // namespace sim
