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

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    qint64 Rendered() const { return m_rendered; }
    qint64 CacheHits() const { return m_hits; }

  private:
    QByteArray Make(const PictureRequest &request);

    int m_width;
    int m_height;
    int m_fieldRow;
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
