// Several recorders in one view with the real clients against one simulator per
// recorder on 127.0.0.1, each drawing its own scene set: every recorder logs in,
// 16 tiles show 16 different channels, a channel button asks only its recorder,
// one recorder killed leaves the others streaming, and the archive of channel 6
// plays recorder 2's recording while recorder 1 is asked for nothing.

#include "ui/archive/archivedlg.h"
#include "ui/controls/calendarctrl.h"
#include "ui/controls/skinslider.h"
#include "viewe2e.h"

#include <QDate>

#include <QColor>

#include <memory>
#include <vector>

namespace {

using namespace viewe2e;

// Hue (degrees) of the mean colour of a region.
double MeanHue(const QImage &img, const QRect &rc)
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

TEST_F(RecordersE2E, FourRecordersSixteenChannelsOneButtonOneRecorderKilled)
{
    ASSERT_NO_FATAL_FAILURE(StartRecorders(4, {QStringLiteral("--fps"), QStringLiteral("40")}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    ASSERT_EQ(m_pView->Recorders()->ConfiguredCount(), 4);
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] {
        for (int r = 0; r < 4; ++r)
            if (m_pView->Recorders()->Client(r)->NetClient()->Logins() != 1)
                return false;
        return true;
    }));
    m_pView->OnScreenModeButton(6);
    EXPECT_TRUE(WaitFor([&] { return TilesShowTheirChannels(0, 16); }, 8000));
    KeepShot("sixteen.png");

    // Channel 6: recorder 2 is asked for its channel 2 alone, the others stop.
    m_pView->OnChannelButton(5);
    // The last live or stop request of recorder r: "S", or the live request's words.
    const auto lastAsk = [&](int r) {
        QString last;
        for (const QJsonObject &o : Entries(r)) {
            const QString name = o.value("name").toString();
            const QJsonArray w = o.value("words").toArray();
            if (name == QLatin1String("COMMAND_STOP"))
                last = QStringLiteral("S");
            else if (name == QLatin1String("COMMAND_LIVE"))
                last = QStringLiteral("L%1,%2").arg(w.at(0).toInt()).arg(w.at(1).toInt());
        }
        return last;
    };
    EXPECT_TRUE(WaitFor([&] {
        return lastAsk(0) + lastAsk(1) + lastAsk(2) + lastAsk(3) == QLatin1String("SL0,2SS");
    }));
    // Quad after it: recorder 2's four channels.
    m_pView->OnScreenModeButton(1);
    EXPECT_TRUE(WaitFor([&] { return TilesShowTheirChannels(4, 4); }, 8000));

    // Recorder 3 killed: its tiles say so, the others keep their rate (the bound
    // leaves room for a loaded machine; a recorder holding up the others stops them).
    m_pView->OnScreenModeButton(6);
    ASSERT_TRUE(WaitFor([&] { return TilesShowTheirChannels(0, 16); }, 8000));
    const uint64_t before = LivePictures(0) + LivePictures(3);
    Spin(2000);
    const uint64_t perTwoSeconds = LivePictures(0) + LivePictures(3) - before;
    m_extra[1]->kill();
    EXPECT_TRUE(WaitFor([&] { return !m_pView->RecorderTileText(2).isEmpty(); }, 5000));
    const uint64_t after = LivePictures(0) + LivePictures(3);
    Spin(2000);
    EXPECT_GE(LivePictures(0) + LivePictures(3) - after, perTwoSeconds / 2);
    EXPECT_EQ(m_pView->GetConnectState(), 1);
    KeepShot("one-recorder-killed.png");
}

TEST_F(RecordersE2E, ArchiveOfChannelSixPlaysRecorderTwoAlone)
{
    CArchiveDlg *pArchive = nullptr;
    m_fnCreateArchive = [&pArchive](const ArchiveHost &host) {
        ArchiveEnvironment env;
        env.host = host;
        env.fnBeep = [] {};
        env.fnEventDialog = [] {};
        auto pDlg = std::make_unique<CArchiveDlg>(std::move(env));
        pArchive = pDlg.get();
        return std::unique_ptr<IArchiveWindow>(std::move(pDlg));
    };
    ASSERT_NO_FATAL_FAILURE(StartRecorders(2));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    m_pView->OnChannelButton(5);
    ASSERT_TRUE(WaitFor([&] { return TilesShowTheirChannels(5, 1); }, 8000));

    m_pView->OnArchive();
    ASSERT_TRUE(pArchive->IsActive());
    EXPECT_EQ(pArchive->windowTitle(), QStringLiteral("Telvane - Recorder 2"));
    EXPECT_EQ(pArchive->RecordNamePrefix(), QStringLiteral("REC2_")); // its recordings' names
    const int nBefore = int(Names(0).size());
    const QDate yesterday = QDate::currentDate().addDays(-1);
    pArchive->Calendar()->SetDate(yesterday);
    QCoreApplication::postEvent(pArchive, new CCalendarPickEvent(0));
    Spin(20);
    pArchive->Slider()->setSliderPosition(12 * 3600);
    pArchive->Slider()->triggerAction(QAbstractSlider::SliderMove);
    Spin(20);
    pArchive->OnCommand(archivelayout::ControlId(archivelayout::CTRL_PLAY_1 + 3));
    ASSERT_TRUE(WaitFor([&] { return pArchive->Control().PictureTime().nHour == 12; }, 5000));
    Spin(500);
    // Recorder 2's scene in the archive's quad: its channel 2 (global 6) in cell 1.
    const QImage shot = pArchive->grab().toImage();
    EXPECT_NEAR(MeanHue(shot, pArchive->Cell(1).adjusted(4, 40, -4, -4)), 124.3 + 22, 6);
    EXPECT_TRUE(Names(1).contains(QStringLiteral("COMMAND_RECORDER")));
    // Recorder 1 heard nothing since its stop but keep-alives.
    const QStringList since = Names(0).mid(nBefore);
    for (const QString &name : since)
        EXPECT_TRUE(name == QLatin1String("COMMAND_WATCHDOG") ||
                    name == QLatin1String("COMMAND_STOP"))
            << qPrintable(name);

    // "Viewer": recorder 1 is asked again only for what is on screen (nothing in
    // single mode on channel 6), recorder 2 for its channel 2.
    pArchive->OnViewer();
    EXPECT_TRUE(WaitFor([&] { return TilesShowTheirChannels(5, 1); }, 8000));
}

} // namespace
