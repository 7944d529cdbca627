// Several recorders in one view with the real clients against one simulator per
// recorder on 127.0.0.1, each drawing its own scene set: every recorder logs in,
// 16 tiles show 16 different channels, a channel button asks only its recorder,
// one recorder killed leaves the others streaming, and the archive of channel 6
// plays recorder 2's recording while recorder 1 is asked for nothing.

#include "ui/archive/archivedlg.h"
#include "ui/controls/calendarctrl.h"
#include "ui/controls/skinbutton.h"
#include "ui/controls/skinslider.h"
#include "ui/dialogs/alarmlistdlg.h"
#include "ui/dialogs/eventdlg.h"
#include "ui/dialogs/systemsettingdlg.h"
#include "recorderse2e.h"

#include <QApplication>
#include <QDate>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSettings>
#include <QTimer>

#include <QColor>

#include <memory>
#include <vector>

namespace {

using namespace viewe2e;

// The view's archive window is the program's, noted in *ppArchive when made; without
// bEventDialog its Event button runs no dialog.
class RecorderTwoArchive : public RecordersE2E {
  protected:
    // Two recorders, channel 6 selected, then the archive: the program's window
    // (without bEventDialog its Event button runs no dialog), on recorder 2's link.
    void OpenArchiveOfChannelSix(CArchiveDlg **ppArchive, bool bEventDialog)
    {
        m_fnCreateArchive = [ppArchive, bEventDialog](const ArchiveHost &host) {
            ArchiveEnvironment env;
            env.host = host;
            env.fnBeep = [] {};
            if (!bEventDialog)
                env.fnEventDialog = [] {};
            auto pDlg = std::make_unique<CArchiveDlg>(std::move(env));
            *ppArchive = pDlg.get();
            return std::unique_ptr<IArchiveWindow>(std::move(pDlg));
        };
        ASSERT_NO_FATAL_FAILURE(StartRecorders(2));
        ASSERT_NO_FATAL_FAILURE(CreateView());
        m_pView->OnConnect();
        m_pView->OnChannelButton(5);
        ASSERT_TRUE(WaitFor([&] { return TilesShowTheirChannels(5, 1); }, 8000));
        m_pView->OnArchive();
        ASSERT_TRUE((*ppArchive)->IsActive());
    }
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

TEST_F(RecorderTwoArchive, ArchiveOfChannelSixPlaysRecorderTwoAlone)
{
    CArchiveDlg *pArchive = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenArchiveOfChannelSix(&pArchive, false));
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

// Recorder 2's event list plays recorder 2's channel in its archive; recorder 2
// killed for longer than its attempts says "NO LINK" on its tiles, and its archive
// shows the lost link. The timers run ten times faster here.
TEST_F(RecorderTwoArchive, RecorderTwosEventListAndLostLink)
{
    CArchiveDlg *pArchive = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenArchiveOfChannelSix(&pArchive, true));

    // The Event dialog: once the recorder's list is in, a double-click on one of its
    // cameras' rows plays that channel from recorder 2.
    int nRow = -1;
    QTimer::singleShot(0, [&] {
        auto *pDlg = qobject_cast<CEventDlg *>(QApplication::activeModalWidget());
        if (!pDlg)
            return;
        WaitFor([&] { return pDlg->RowCount() > 0; }, 5000);
        for (int i = 0; i < pDlg->RowCount() && nRow < 0; ++i) {
            const QString text = pDlg->RowText(i, 0);
            if (text.startsWith(QLatin1String("CH")) && text.mid(2).toInt() >= 5 &&
                text.mid(2).toInt() <= 8 && pDlg->OnListDoubleClick(i))
                nRow = i;
        }
        pDlg->accept();
    });
    const int nRecorder1Before = int(Names(0).size());
    pArchive->OnEvent();
    ASSERT_GE(nRow, 0) << "no row of recorder 2's cameras could be played";
    EXPECT_TRUE(WaitFor([&] { return Names(1).contains(QStringLiteral("COMMAND_RECORDER")); },
                        5000));
    for (const QString &name : Names(0).mid(nRecorder1Before))
        EXPECT_NE(name, QLatin1String("COMMAND_RECORDER"));

    // Killed: the attempts run out, its tiles say "NO LINK" and the archive shows
    // the lost link.
    m_extra[0]->kill();
    ASSERT_TRUE(WaitFor([&] { return m_pView->RecorderTileText(1) == QLatin1String("NO LINK"); },
                        20000))
        << qPrintable(m_pView->RecorderTileText(1));
    EXPECT_EQ(pArchive->NoticeText(), QStringLiteral("# WAITING FOR CONNECTION.\u00A0#"));
    EXPECT_EQ(m_pView->Recorders()->ConnectState(0), 1);
}

// A connected recorder's address changed in System Setting is used at OK: the link
// goes to the new recorder at once (the second simulator stands for it).
TEST_F(RecordersE2E, AddressChangedInTheDialogIsUsedAtOK)
{
    ASSERT_NO_FATAL_FAILURE(StartRecorders(2));
    QSettings(QString::fromLatin1(SETTINGS_ORGANIZATION), QString::fromLatin1(SETTINGS_APPLICATION))
        .remove(QStringLiteral("Setting2"));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    ASSERT_EQ(m_pView->Recorders()->ConfiguredCount(), 1);
    m_pView->OnConnect();
    ASSERT_TRUE(WaitFor([&] { return m_pView->Client()->NetClient()->Logins() == 1; }, 8000));
    ASSERT_FALSE(Names(1).contains(QStringLiteral("COMMAND_LOGIN")));
    QTimer::singleShot(0, [&] {
        auto *pDlg = qobject_cast<CSystemSettingDlg *>(QApplication::activeModalWidget());
        if (!pDlg)
            return;
        pDlg->Edit(CSystemSettingDlg::ROW_PORT)->setText(QString::number(m_ports[1]));
        pDlg->OnOK();
    });
    m_pView->OnSetting();
    EXPECT_EQ(m_pView->Settings().m_nHostPort, m_ports[1]);
    EXPECT_TRUE(WaitFor([&] { return m_pView->Client()->NetClient()->Logins() == 2; }, 8000));
    EXPECT_TRUE(Names(1).contains(QStringLiteral("COMMAND_LOGIN")));
}

// The alarm list: reports of recorders 1 and 3 that come within a second are both in
// it, and a double-click on recorder 3's row plays recorder 3's archive from the time
// of its report.
TEST_F(RecordersE2E, AlarmListHoldsEveryRecordersReportsAndARowPlaysItsArchive)
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
    // Recorded until an hour from now, so that a report's time lies in the recording.
    const QString end = QDateTime::currentDateTime().addSecs(3600).toString(Qt::ISODate);
    ASSERT_NO_FATAL_FAILURE(StartRecorders(
        3, {QStringLiteral("--fps"), QStringLiteral("12"), QStringLiteral("--alert-interval"),
            QStringLiteral("400"), QStringLiteral("--range-end"), end}));
    QSettings(QString::fromLatin1(SETTINGS_ORGANIZATION), QString::fromLatin1(SETTINGS_APPLICATION))
        .setValue(QStringLiteral("Setting/Use AlertMode"), 1);
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    m_pView->OnScreenModeButton(6);
    const CAlarmList &alarms = m_pView->Alarms();
    const auto newest = [&](int r) {
        for (int n = 0; n < alarms.Count(); ++n)
            if (alarms.Row(n).channel.nRecorder == r)
                return n;
        return -1;
    };
    ASSERT_TRUE(
        WaitFor([&] { return newest(0) >= 0 && newest(2) >= 0 && alarms.Count() >= 16; }, 8000));
    EXPECT_LE(std::abs(alarms.Row(newest(0)).received.msecsTo(alarms.Row(newest(2)).received)),
              1000);
    // The view with the count of new rows, then the list beside it, for a person.
    const QString shots = qEnvironmentVariable("TELVANE_VIEW_SHOTS");
    QImage view;
    if (!shots.isEmpty() && WaitFor([&] { return TilesShowTheirChannels(0, 12); }, 8000))
        view = m_pView->grab().toImage();
    m_pView->OpenAlarmList();
    CAlarmListDlg *pDlg = m_pView->AlarmWindow();
    ASSERT_TRUE(pDlg && pDlg->isVisible());
    if (!view.isNull()) {
        const QImage list = pDlg->grab().toImage();
        QImage shot(view.width() + 8 + list.width(), view.height(), QImage::Format_RGB32);
        shot.fill(QColor(40, 44, 52));
        QPainter painter(&shot);
        painter.drawImage(0, 0, view);
        painter.drawImage(view.width() + 8, 0, list);
        painter.end();
        shot.save(QDir(shots).filePath(QStringLiteral("alarm-list.png")));
    }

    const AlarmRow row = alarms.Row(newest(2));
    ASSERT_TRUE(pDlg->OnListDoubleClick(newest(2)));
    ASSERT_TRUE(pArchive->IsActive());
    EXPECT_EQ(pArchive->RecorderIndex(), 2);
    const QString from = QStringLiteral("from ") + row.received.toString("yyyy-MM-ddTHH:mm:ss");
    EXPECT_TRUE(WaitFor([&] {
        for (const QJsonObject &o : Entries(2))
            if (o.value("action").toString().contains(from))
                return true;
        return false;
    })) << qPrintable(from);
    // Recorder 3's pictures of that time.
    const QDateTime received = row.received.addMSecs(-row.received.time().msec());
    EXPECT_TRUE(WaitFor([&] {
        const DvrDateTime t = pArchive->Control().PictureTime();
        const qint64 nAfter = received.secsTo(
            QDateTime(QDate(t.nYear, t.nMonth, t.nDay), QTime(t.nHour, t.nMinute, t.nSecond)));
        return nAfter >= 0 && nAfter < 10;
    }));
    EXPECT_FALSE(Names(0).contains(QStringLiteral("COMMAND_RECORDER")));
    pDlg->close();
}

} // namespace

// Tiles placed by hand with the mouse: channel 6's button dragged onto tile 1 of 16
// puts it there (channel 1 takes its old tile), channel 1's onto tile 7 moves it
// again (channel 7 takes tile 6), and tile 3 dragged onto tile 1 swaps channels 3
// and 6; recorder 2 is still asked for all its channels (four recorders). After Exit
// and a new start the 16 tiles come back so, and D puts the default order back.
TEST_F(RecordersE2E, TilesPlacedByHandAreThereAfterExitAndStart)
{
    ASSERT_NO_FATAL_FAILURE(StartRecorders(4, {QStringLiteral("--fps"), QStringLiteral("12")}));
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    m_pView->OnScreenModeButton(6);
    ASSERT_TRUE(WaitFor([&] { return TilesShowTheirChannels(0, 16); }, 8000));

    const auto send = [](QWidget *pTo, QEvent::Type type, QPoint global) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, QPointF(pTo->mapFromGlobal(global)), QPointF(global),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(pTo, &event);
    };
    const auto tileCentre = [&](int nPos) {
        return m_pView->mapToGlobal(viewlayout::TileRect(nPos, 16).center());
    };
    const auto drag = [&](QWidget *pFrom, QPoint from, QPoint to) {
        send(pFrom, QEvent::MouseButtonPress, from);
        send(pFrom, QEvent::MouseMove, from + QPoint(2, 1)); // not yet a drag
        send(pFrom, QEvent::MouseMove, (from + to) / 2);
        send(pFrom, QEvent::MouseMove, to);
        send(pFrom, QEvent::MouseButtonRelease, to);
    };
    CSkinButton *pSix = m_pView->Button(viewlayout::ControlId(viewlayout::CTRL_CHANNEL_1 + 5));
    drag(pSix, pSix->mapToGlobal(pSix->rect().center()), tileCentre(0));
    CSkinButton *pOne = m_pView->Button(viewlayout::CTRL_CHANNEL_1);
    drag(pOne, pOne->mapToGlobal(pOne->rect().center()), tileCentre(6));
    drag(m_pView.get(), tileCentre(2), tileCentre(0));
    const auto placed = [&] {
        return m_pView->Tile(2) == viewlayout::TileRect(0, 16) &&
               m_pView->Tile(5) == viewlayout::TileRect(2, 16) &&
               m_pView->Tile(0) == viewlayout::TileRect(6, 16) &&
               m_pView->Tile(6) == viewlayout::TileRect(5, 16) &&
               m_pView->Tile(1) == viewlayout::TileRect(1, 16) && m_pView->TileCount() == 16;
    };
    EXPECT_TRUE(placed());
    EXPECT_TRUE(WaitFor([&] { return TilesShowTheirChannels(0, 16); }, 8000));
    KeepShot("placed-16.png");
    EXPECT_EQ(m_pView->Plan().requests[1].kind, screenplan::Request::Kind::All);

    m_pView->OnExit();
    m_pView.reset();
    ASSERT_NO_FATAL_FAILURE(CreateView());
    m_pView->OnConnect();
    m_pView->OnScreenModeButton(6);
    EXPECT_TRUE(placed());
    EXPECT_TRUE(WaitFor([&] { return TilesShowTheirChannels(0, 16); }, 8000));

    QKeyEvent key(QEvent::KeyPress, Qt::Key_D, Qt::NoModifier);
    QApplication::sendEvent(m_pView.get(), &key);
    for (int g = 0; g < 8; ++g)
        EXPECT_EQ(m_pView->Tile(g), viewlayout::TileRect(g, 16)) << g;
}
