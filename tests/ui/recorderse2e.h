#pragma once
// Several recorders against one simulator each, on 127.0.0.1: the fixture shared by
// the end-to-end tests of several recorders.

#include "viewe2e.h"

#include <QColor>

#include <cmath>
#include <memory>
#include <vector>

namespace viewe2e {

// Hue (degrees) of the mean colour of a region.
inline double MeanHue(const QImage &img, const QRect &rc)
{
    const QColor mean = MeanColour(img, rc);
    return mean.isValid() ? mean.hsvHueF() * 360 : -1;
}

class RecordersE2E : public ViewE2E {
  protected:
    // Recorder 1 is the fixture's simulator; recorders 2..n get their own, with
    // scene sets 1..n and a request log each.
    void StartRecorders(int n, const QStringList &extra = {})
    {
        ASSERT_NO_FATAL_FAILURE(StartSimulator(extra));
        m_ports = {m_nPort};
        m_logs = {m_logPath};
        for (int r = 1; r < n; ++r) {
            auto pSim = std::make_unique<QProcess>();
            const QString log = m_cwd.filePath(QStringLiteral("sim%1.log").arg(r + 1));
            pSim->start(testsupport::simulatorPath(),
                        QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                                    QStringLiteral("--port"), QStringLiteral("0"),
                                    QStringLiteral("--log"), log, QStringLiteral("--scene"),
                                    QString::number(r + 1)} +
                            extra);
            ASSERT_TRUE(pSim->waitForStarted(5000));
            ASSERT_TRUE(WaitFor([&] { return pSim->canReadLine(); }, 5000));
            const QList<QByteArray> words = pSim->readLine().trimmed().split(' ');
            ASSERT_TRUE(words.size() == 2 && words[0] == "LISTENING");
            m_ports.push_back(words[1].toInt());
            m_logs.push_back(log);
            m_extra.push_back(std::move(pSim));
        }
        QSettings store(QString::fromLatin1(SETTINGS_ORGANIZATION),
                        QString::fromLatin1(SETTINGS_APPLICATION));
        for (int r = 1; r < n; ++r) {
            store.beginGroup(QStringLiteral("Setting%1").arg(r + 1));
            store.setValue(QStringLiteral("Host IPAddress"), QStringLiteral("127.0.0.1"));
            store.setValue(QStringLiteral("Host Port"), m_ports[std::size_t(r)]);
            store.endGroup();
        }
    }
    void TearDown() override
    {
        ViewE2E::TearDown();
        for (auto &pSim : m_extra) {
            pSim->kill();
            pSim->waitForFinished(3000);
        }
    }
    // The requests recorder r's simulator logged, and their names.
    QList<QJsonObject> Entries(int r) const
    {
        QList<QJsonObject> out;
        QFile f(m_logs[std::size_t(r)]);
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty())
                    out << QJsonDocument::fromJson(line).object();
        return out;
    }
    QStringList Names(int r) const
    {
        QStringList out;
        for (const QJsonObject &o : Entries(r))
            out << o.value("name").toString();
        return out;
    }
    // Every shown tile carries the colour of its channel's scene: channel c of
    // recorder r is tinted as channel c of set 1 turned 22 degrees a set.
    bool TilesShowTheirChannels(int nFirst, int nCount)
    {
        static const double kBaseHue[4] = {3.5, 124.3, 229.1, 56.4};
        const QImage img = m_pView->grab().toImage();
        for (int g = nFirst; g < nFirst + nCount; ++g) {
            const QRect tile = m_pView->Tile(g);
            if (tile.isEmpty() || m_pView->ShownChannel(tile) != g)
                return false;
            const double want = std::fmod(kBaseHue[g % 4] + 22.0 * (g / 4), 360.0);
            const double hue = MeanHue(img, tile.adjusted(2, tile.height() / 4, -2, -2));
            if (std::fabs(hue - want) > 6)
                return false;
        }
        return true;
    }
    uint64_t LivePictures(int r) const
    {
        const CNetClientWnd *pNet = m_pView->Recorders()->Client(r)->NetClient();
        uint64_t n = 0;
        for (uint64_t c : pNet->Receiver().Counts().live)
            n += c;
        return n;
    }

    std::vector<int> m_ports;
    std::vector<QString> m_logs;
    std::vector<std::unique_ptr<QProcess>> m_extra;
};

} // namespace viewe2e
