// The System Setting and IP/PORT HISTORY TABLE dialogs offscreen, on a settings
// record and a history file in a temporary current folder; and the Setting button
// of the main view running the dialog against a recording fake client.

#include "protocol/packet.h"
#include "settings/settingsmapping.h"
#include "support/samepicture.h"
#include "support/testsupport.h"
#include "ui/common/messagebox.h"
#include "ui/dialogs/iphistorydlg.h"
#include "ui/dialogs/systemsettingdlg.h"
#include "ui/live/telvaneview.h"
#include "support/testapp.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QStandardItemModel>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

QApplication &App()
{
    return testsupport::TestApp<QApplication>();
}

const QString kBadAddress =
    QStringLiteral("Please Input correct IP/PORT or Press [IP Load] button.");

QByteArray HistoryBytes()
{
    QFile file(QStringLiteral("ini/cnn.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteHistory(const QByteArray &bytes)
{
    QDir().mkpath(QStringLiteral("ini"));
    QFile file(QStringLiteral("ini/cnn.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList Rows(const CIpHistoryDlg &dlg)
{
    QStringList rows;
    for (int i = 0; i < dlg.List()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *p = dlg.List()->topLevelItem(i);
        rows << p->text(0) + '|' + p->text(1) + '|' + p->text(2);
    }
    return rows;
}

// A mouse press or double-click on a row of the history list, as the operator does.
void MouseOnRow(CIpHistoryDlg &dlg, int nRow, QEvent::Type type)
{
    dlg.show(); // lays the list out
    QWidget *viewport = dlg.List()->viewport();
    const QPoint pt = nRow >= 0
                          ? dlg.List()->visualItemRect(dlg.List()->topLevelItem(nRow)).center()
                          : QPoint(10, viewport->height() - 5);
    QMouseEvent ev(type, QPointF(pt), QPointF(viewport->mapToGlobal(pt)), Qt::LeftButton,
                   Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &ev);
}

class SettingDialogsTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        App();
        ASSERT_TRUE(m_cwd.isValid());
        m_actions.fnSetFullScreen = [this](bool b) { m_fullScreen.push_back(b); };
        m_actions.fnSetEventReport = [this](bool b) { m_events.push_back(b); };
    }

    testsupport::IsolatedSettings m_isolated;
    testsupport::ScopedCurrentDir m_cwd;
    std::vector<QString> m_messages;
    CScopedMessageBoxHandler m_boxes{[this](QWidget *, const QString &text, const QString &caption,
                                            QMessageBox::Icon, QMessageBox::StandardButtons) {
        EXPECT_EQ(caption.toStdString(), "Telvane4") << text.toStdString(); // the program's title
        m_messages.push_back(text);
        return QMessageBox::Ok;
    }};
    ClientSettings m_settings;
    CIpPortHistory m_history;
    SystemSettingActions m_actions;
    std::vector<bool> m_fullScreen;
    std::vector<bool> m_events;
};

using Dlg = CSystemSettingDlg;

} // namespace

// Every row against its field, both ways: a record with a distinct value in every
// field opens the dialog showing each; other distinct values put into every row reach
// their fields on OK (and the two actions, for the two boxes that changed).
TEST_F(SettingDialogsTest, EveryRowShowsItsFieldAndOkWritesItBack)
{
    ClientSettings &s = m_settings;
    SetFieldText(s.m_szIpLabel, QStringLiteral("Depot"));
    SetFieldText(s.m_szHostIP, QStringLiteral("127.1.2.3"));
    s.m_nHostPort = 1234;
    SetFieldText(s.m_szUserID, QStringLiteral("keeper"));
    SetFieldText(s.m_szPassword, QStringLiteral("pw5"));
    SetFieldText(s.m_szRecordPath, QStringLiteral("/tmp/depot"));
    s.m_byPtzType = 4;
    s.m_byRotateInterval = 10;
    s.m_byRequestSpeed = 7;
    s.m_byReconnectCount = 5;
    s.m_byRecordDuration = 13;
    s.m_byRecordFormat = RECORD_FORMAT_MJPEG;
    s.m_bySavePassword = SAVE_PASSWORD_NEVER;
    s.m_bUseFullScreen = 0;
    s.m_bUseAlertMode = 1;
    s.m_bDisplayPbTime = 1;
    Dlg dlg(m_settings, m_history, m_actions);
    EXPECT_EQ(dlg.Edit(Dlg::ROW_PASSWORD)->echoMode(), QLineEdit::Password);

    struct Row {
        Dlg::Row row;
        const char *shown, *entered;
    };
    const Row edits[] = {
        {Dlg::ROW_LABEL, "Depot", "Annex"}, {Dlg::ROW_IP, "127.1.2.3", "127.0.0.7"},
        {Dlg::ROW_PORT, "1234", "8123"},    {Dlg::ROW_ID, "keeper", "warden"},
        {Dlg::ROW_PASSWORD, "pw5", "pw6"},  {Dlg::ROW_RECORD_PATH, "/tmp/depot", "/tmp/annex"}};
    const Row lists[] = {{Dlg::ROW_PTZ_TYPE, "PELCO-D", "HMC250"},
                         {Dlg::ROW_ROTATE, "10 SEC", "02 SEC"},
                         {Dlg::ROW_SCAN_RATE, "64X", "32X"},
                         {Dlg::ROW_RECONNECT, "5", "1"},
                         {Dlg::ROW_DURATION, "01MIN", "40SEC"},
                         {Dlg::ROW_RECORD_FORMAT, "MJPEG", "UNCOMPRESSED"},
                         {Dlg::ROW_SAVE_PASSWORD, "NEVER", "FILE"}};
    const std::pair<Dlg::Row, bool> checks[] = {
        {Dlg::ROW_FULL_SCREEN, false}, {Dlg::ROW_EVENTS, true}, {Dlg::ROW_PB_TIME, true}};
    for (const Row &r : edits) {
        EXPECT_EQ(dlg.Edit(r.row)->text(), QLatin1String(r.shown)) << r.row;
        dlg.Edit(r.row)->setText(QLatin1String(r.entered));
    }
    for (const Row &r : lists) {
        EXPECT_EQ(dlg.List(r.row)->currentText(), QLatin1String(r.shown)) << r.row;
        dlg.List(r.row)->setCurrentText(QLatin1String(r.entered));
    }
    for (const auto &[row, bShown] : checks) {
        EXPECT_EQ(dlg.Check(row)->isChecked(), bShown) << row;
        dlg.Check(row)->setChecked(!bShown);
    }
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_STREQ(s.m_szIpLabel, "Annex");
    EXPECT_STREQ(s.m_szHostIP, "127.0.0.7");
    EXPECT_EQ(s.m_nHostPort, 8123);
    EXPECT_STREQ(s.m_szUserID, "warden");
    EXPECT_STREQ(s.m_szPassword, "pw6");
    EXPECT_STREQ(s.m_szRecordPath, "/tmp/annex");
    EXPECT_EQ(s.m_byPtzType, 3);
    EXPECT_EQ(s.m_byRotateInterval, 2);
    EXPECT_EQ(s.m_byRequestSpeed, 6);
    EXPECT_EQ(s.m_byReconnectCount, 1);
    EXPECT_EQ(s.m_byRecordDuration, 9);
    EXPECT_EQ(s.m_byRecordFormat, RECORD_FORMAT_RAW);
    EXPECT_EQ(s.m_bySavePassword, SAVE_PASSWORD_FILE);
    EXPECT_EQ(s.m_bUseFullScreen, 1);
    EXPECT_EQ(s.m_bUseAlertMode, 0);
    EXPECT_EQ(s.m_bDisplayPbTime, 0);
    EXPECT_EQ(m_fullScreen, std::vector<bool>{true});
    EXPECT_EQ(m_events, std::vector<bool>{false});
    EXPECT_EQ(HistoryBytes(), QByteArray("[Annex]\r\nIP=127.0.0.7\r\nPORT=8123\r\n"));
}

// Without a keyring "Save Password" cannot pick KEYRING and shows FILE, what KEYRING
// then does; left so, the stored KEYRING stays for a machine that has a keyring.
TEST_F(SettingDialogsTest, SavePasswordWithoutKeyring)
{
    m_actions.bKeyringMissing = true;
    for (const bool bChange : {false, true}) {
        m_settings.m_bySavePassword = SAVE_PASSWORD_KEYRING;
        Dlg dlg(m_settings, m_history, m_actions);
        QComboBox *pList = dlg.List(Dlg::ROW_SAVE_PASSWORD);
        EXPECT_EQ(pList->currentText(), QStringLiteral("FILE"));
        const auto *pModel = qobject_cast<const QStandardItemModel *>(pList->model());
        ASSERT_NE(pModel, nullptr);
        EXPECT_FALSE(pModel->item(0)->isEnabled());
        if (bChange)
            pList->setCurrentText(QStringLiteral("NEVER"));
        dlg.OnOK();
        EXPECT_EQ(m_settings.m_bySavePassword,
                  bChange ? SAVE_PASSWORD_NEVER : SAVE_PASSWORD_KEYRING);
    }
}

// OK with a good and with a bad address and port; after a bad one, CANCEL keeps
// what the OK applied but not the rejected address and port.
TEST_F(SettingDialogsTest, OkChecksAddressAndPortBeforeCopyingThem)
{
    struct Row {
        const char *label, *ip, *port;
        bool bAccepted;
        QByteArray history;
    } rows[] = {
        {"", "127.0.0.1", "8001", true, "[UNTITLE]\r\nIP=127.0.0.1\r\nPORT=8001\r\n"},
        {"Lab", "127.0.00.9", "80", true, "[Lab]\r\nIP=127.0.0.9\r\nPORT=80\r\n"},
        {"Lab", "", "8001", false, "<missing>"},
        {"Lab", "0.0.0.0", "8001", false, "<missing>"},
        {"Lab", "10.0.0", "8001", false, "<missing>"},
        {"Lab", "127.0.0.1", "", false, "<missing>"},
        {"Lab", "127.0.0.1", "0", false, "<missing>"},
        {"Lab", "127.0.0.1", "65536", false, "<missing>"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.ip) + ":" + row.port);
        QFile::remove(QStringLiteral("ini/cnn.ini"));
        m_messages.clear();
        m_events.clear();
        m_settings = ClientSettings();
        Dlg dlg(m_settings, m_history, m_actions);
        dlg.Edit(Dlg::ROW_LABEL)->setText(QString::fromLatin1(row.label));
        dlg.Edit(Dlg::ROW_IP)->setText(QString::fromLatin1(row.ip));
        dlg.Edit(Dlg::ROW_PORT)->setText(QString::fromLatin1(row.port));
        dlg.List(Dlg::ROW_ROTATE)->setCurrentIndex(5);
        dlg.List(Dlg::ROW_RECORD_FORMAT)->setCurrentIndex(1);
        dlg.Check(Dlg::ROW_EVENTS)->setChecked(true);
        dlg.OnOK();
        EXPECT_EQ(dlg.result() == QDialog::Accepted, row.bAccepted);
        EXPECT_EQ(HistoryBytes(), row.history);
        if (!row.bAccepted) {
            EXPECT_EQ(m_messages, std::vector<QString>{kBadAddress});
            dlg.SideButton(Dlg::ROW_OK_CANCEL)->click(); // CANCEL
            EXPECT_STREQ(m_settings.m_szHostIP, "192.168.1.150");
            EXPECT_EQ(m_settings.m_nHostPort, 8000);
        } else {
            EXPECT_TRUE(m_messages.empty());
            EXPECT_EQ(m_settings.m_nHostPort, QByteArray(row.port).toInt());
        }
        EXPECT_STREQ(m_settings.m_szIpLabel, row.label);
        EXPECT_EQ(m_settings.m_byRotateInterval, 10);
        EXPECT_EQ(m_settings.m_byRecordFormat, RECORD_FORMAT_MJPEG);
        EXPECT_EQ(m_events, std::vector<bool>{true});
    }
    EXPECT_TRUE(m_fullScreen.empty());
}

// One recorder's CONNECTION fields as the operator types them.
struct LinkRow {
    const char *label, *ip, *port, *id, *password, *ptz;
};

void TypeLink(Dlg &dlg, int nRecorder, const LinkRow &row)
{
    dlg.List(Dlg::ROW_RECORDER)->setCurrentIndex(nRecorder);
    dlg.Edit(Dlg::ROW_LABEL)->setText(QString::fromUtf8(row.label));
    dlg.Edit(Dlg::ROW_IP)->setText(QString::fromLatin1(row.ip));
    dlg.Edit(Dlg::ROW_PORT)->setText(QString::fromLatin1(row.port));
    dlg.Edit(Dlg::ROW_ID)->setText(QString::fromUtf8(row.id));
    dlg.Edit(Dlg::ROW_PASSWORD)->setText(QString::fromUtf8(row.password));
    dlg.List(Dlg::ROW_PTZ_TYPE)->setCurrentText(QString::fromLatin1(row.ptz));
}

// Every recorder edited through the selector, a distinct value in every field: the
// fields follow the selector, OK copies all four, and nothing reaches the store.
TEST_F(SettingDialogsTest, RecorderSelectorEditsEachRecorder)
{
    const LinkRow links[MAX_RECORDERS] = {
        {"Gate", "127.0.0.1", "9001", "op1", "pw1", "User Define"},
        {"Hall", "127.0.0.2", "9002", "op2", "pw2", "AECD2000"},
        {"Yard", "127.0.0.3", "9003", "op3", "pw3", "HMC250"},
        {"Dock", "127.0.0.4", "9004", "op4", "pw4", "SCC641"},
    };
    auto shown = [](Dlg &dlg) {
        return dlg.Edit(Dlg::ROW_LABEL)->text() + '|' + dlg.Edit(Dlg::ROW_IP)->text() + '|' +
               dlg.Edit(Dlg::ROW_PORT)->text() + '|' + dlg.Edit(Dlg::ROW_ID)->text() + '|' +
               dlg.Edit(Dlg::ROW_PASSWORD)->text() + '|' +
               dlg.List(Dlg::ROW_PTZ_TYPE)->currentText();
    };
    auto expected = [](const LinkRow &row) {
        return QStringLiteral("%1|%2|%3|%4|%5|%6")
            .arg(row.label, row.ip, row.port, row.id, row.password, row.ptz);
    };
    {
        Dlg dlg(m_settings, m_history, m_actions);
        for (int r = 0; r < MAX_RECORDERS; ++r)
            TypeLink(dlg, r, links[r]);
        for (int r : {2, 0, 3, 1}) {
            dlg.SelectRecorder(r);
            EXPECT_EQ(shown(dlg), expected(links[r])) << "recorder " << r + 1;
        }
        dlg.OnOK();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    EXPECT_TRUE(m_messages.empty());
    for (int r = 0; r < MAX_RECORDERS; ++r) {
        const RecorderLink link = RecorderLinkOf(m_settings, r);
        EXPECT_EQ(QStringLiteral("%1|%2|%3|%4|%5|%6")
                      .arg(FieldText(link.m_szIpLabel), FieldText(link.m_szHostIP))
                      .arg(link.m_nHostPort)
                      .arg(FieldText(link.m_szUserID), FieldText(link.m_szPassword),
                           QString::fromLatin1(PTZ_TYPE_ITEMS[link.m_byPtzType])),
                  expected(links[r]));
    }
    EXPECT_FALSE(QFileInfo::exists(
        QSettings(QStringLiteral("Telvane"), QStringLiteral("Telvane4")).fileName()));

    // Reopened: recorder 3's address cleared removes it; "IP load" fills recorder 2.
    m_actions.fnExecDialog = [](QDialog &d) {
        auto &history = static_cast<CIpHistoryDlg &>(d);
        MouseOnRow(history, 0, QEvent::MouseButtonPress);
        history.OnOK();
        return history.result();
    };
    WriteHistory("[Annex]\r\nIP=127.0.0.9\r\nPORT=9009\r\n");
    Dlg dlg(m_settings, m_history, m_actions);
    EXPECT_EQ(shown(dlg), expected(links[0]));
    dlg.SelectRecorder(2);
    dlg.Edit(Dlg::ROW_IP)->clear();
    dlg.SelectRecorder(1);
    dlg.SideButton(Dlg::ROW_LABEL)->click();
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(IsRecorderConfigured(m_settings, 2));
    EXPECT_STREQ(m_settings.m_aExtraRecorders[0].m_szHostIP, "127.0.0.9");
    EXPECT_EQ(m_settings.m_aExtraRecorders[0].m_nHostPort, 9009);
    EXPECT_STREQ(m_settings.m_szHostIP, "127.0.0.1");
    EXPECT_STREQ(m_settings.m_aExtraRecorders[2].m_szHostIP, "127.0.0.4");
}

// A recorder's address and port checked at OK: a refusal selects that recorder and
// copies no address; a recorder left out of the store and not touched keeps its
// record (and so its stored group).
TEST_F(SettingDialogsTest, RecorderAddressesAreCheckedAtOk)
{
    const QString kSame =
        QStringLiteral("Recorder %1 has the same address and port as recorder %2 (127.0.0.1:8000). "
                       "Each recorder needs an address or port of its own.");
    struct Row {
        int nRecorder;
        const char *ip, *port;
        QString message; // empty: accepted
    } rows[] = {
        {1, "127.0.0.1", "8000", kSame.arg(2).arg(1)},
        {2, "127.0.0.01", "08000", kSame.arg(3).arg(1)},
        {1, "127.0.0.1", "8001", QString()},
        {1, "0.0.0.0", "8000", "Recorder 2: " + kBadAddress},
        {1, "127.0.0.5", "", "Recorder 2: " + kBadAddress},
        {1, "", "", QString()},
    };
    const char kLeftOut[] = "Recorder 4 left out: port 0 outside 1-65535";
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.ip) + ":" + row.port);
        m_messages.clear();
        m_settings = ClientSettings();
        SetFieldText(m_settings.m_szHostIP, QStringLiteral("127.0.0.1"));
        std::strcpy(m_settings.m_aszRecorderFault[2], kLeftOut);
        Dlg dlg(m_settings, m_history, m_actions);
        TypeLink(dlg, row.nRecorder, {"Lab", row.ip, row.port, "op", "pw", "HMC250"});
        dlg.SelectRecorder(0);
        dlg.OnOK();
        EXPECT_EQ(dlg.result() == QDialog::Accepted, row.message.isEmpty());
        if (!row.message.isEmpty()) {
            EXPECT_EQ(m_messages, std::vector<QString>{row.message});
            EXPECT_EQ(dlg.List(Dlg::ROW_RECORDER)->currentIndex(), row.nRecorder);
            EXPECT_FALSE(IsRecorderConfigured(m_settings, row.nRecorder));
        } else {
            EXPECT_EQ(IsRecorderConfigured(m_settings, row.nRecorder), *row.ip != '\0');
        }
        EXPECT_STREQ(m_settings.m_aszRecorderFault[2], kLeftOut);
    }
}

TEST_F(SettingDialogsTest, TextsFitTheirFieldsWithTheTerminator)
{
    Dlg dlg(m_settings, m_history, m_actions);
    const std::pair<Dlg::Row, int> bounds[] = {
        {Dlg::ROW_ID, 63}, {Dlg::ROW_PASSWORD, 31}, {Dlg::ROW_LABEL, 63}};
    for (const auto &[row, nMax] : bounds) {
        QLineEdit *pEdit = dlg.Edit(row);
        pEdit->clear();
        for (int i = 0; i < 70; ++i)
            pEdit->insert(QStringLiteral("k"));
        EXPECT_EQ(pEdit->text().size(), nMax) << row;
        pEdit->insert(QString::fromUtf8("\xc3\xa9")); // no room for a two-byte character
        EXPECT_EQ(pEdit->text().size(), nMax) << row;
    }
}

TEST_F(SettingDialogsTest, BrowseKeepsTheFolderWhenCancelledOrTooLong)
{
    QString answer;
    m_actions.fnBrowseFolder = [&answer](QWidget *, const QString &) { return answer; };
    Dlg dlg(m_settings, m_history, m_actions);
    const QString before = dlg.Edit(Dlg::ROW_RECORD_PATH)->text();
    ASSERT_FALSE(before.isEmpty());
    const QString longPath = QStringLiteral("/tmp/") + QString(255, 'd');
    const std::pair<QString, QString> rows[] = {
        {QString(), before}, {longPath, before}, {QStringLiteral("/tmp/rec"), "/tmp/rec"}};
    for (const auto &[chosen, shown] : rows) {
        answer = chosen;
        dlg.OnBrowse();
        EXPECT_EQ(dlg.Edit(Dlg::ROW_RECORD_PATH)->text(), shown) << chosen.toStdString();
    }
    EXPECT_EQ(m_messages.size(), 1u); // the long path only
    dlg.Edit(Dlg::ROW_IP)->setText(QStringLiteral("127.0.0.1"));
    dlg.OnOK();
    EXPECT_STREQ(m_settings.m_szRecordPath, "/tmp/rec");
}

TEST_F(SettingDialogsTest, HistoryStartsWithIntranetAndHandsBackTheChosenRow)
{
    CIpHistoryDlg dlg(m_history);
    EXPECT_EQ(HistoryBytes(), QByteArray("[INTRANET]\r\nIP=192.168.1.150\r\nPORT=8000\r\n"));
    EXPECT_EQ(Rows(dlg), QStringList{"INTRANET|192.168.1.150|8000"});
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("IP/PORT HISTORY TABLE"));
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(dlg.List()->columnWidth(c), 100);

    dlg.OnOK(); // nothing chosen yet
    EXPECT_EQ(m_messages, std::vector<QString>{"Please Select IP/PORT"});
    EXPECT_EQ(dlg.result(), 0);
    MouseOnRow(dlg, 0, QEvent::MouseButtonPress);
    dlg.OnOK();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.ChosenName() + dlg.ChosenIp() + dlg.ChosenPort(),
              QStringLiteral("INTRANET192.168.1.1508000"));

    // A folder in its place is left alone; the warning says where, what and why.
    m_messages.clear();
    QFile::remove(QStringLiteral("ini/cnn.ini"));
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("ini/cnn.ini")));
    CIpHistoryDlg unreadable(m_history);
    EXPECT_EQ(unreadable.RowCount(), 0);
    EXPECT_EQ(m_messages, std::vector<QString>{"The IP/PORT history file " + m_history.Path() +
                                               " cannot be read and is left as it is (it is a "
                                               "folder)."});
}

TEST_F(SettingDialogsTest, HistoryDeleteAndEmptyPorts)
{
    const QByteArray shop = "[Shop]\r\nIP=127.0.0.7\r\nPORT=\r\n";
    WriteHistory("[INTRANET]\r\nIP=192.168.1.150\r\nPORT=8000\r\n" + shop);
    {
        CIpHistoryDlg dlg(m_history);
        MouseOnRow(dlg, 1, QEvent::MouseButtonDblClick); // empty port
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.ChosenName() + "|" + dlg.ChosenPort(), QStringLiteral("Shop|8000"));
    }
    CIpHistoryDlg dlg(m_history);
    MouseOnRow(dlg, 0, QEvent::MouseButtonPress);
    dlg.OnDelete();
    EXPECT_EQ(HistoryBytes(), shop);
    EXPECT_EQ(Rows(dlg), QStringList{"Shop|127.0.0.7|"});
    MouseOnRow(dlg, -1, QEvent::MouseButtonDblClick); // outside the rows: ignored
    EXPECT_EQ(dlg.result(), 0);
    MouseOnRow(dlg, 0, QEvent::MouseButtonPress);
    dlg.OnDelete();
    EXPECT_EQ(HistoryBytes(), QByteArray());
    EXPECT_EQ(dlg.RowCount(), 0);
    dlg.OnOK(); // an empty list needs no choice
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.ChosenName() + dlg.ChosenIp() + "|" + dlg.ChosenPort(), QStringLiteral("|8000"));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(SettingDialogsTest, IpLoadStoresTheCurrentEntryAndFillsTheChosenOne)
{
    m_actions.fnExecDialog = [](QDialog &d) {
        auto &history = static_cast<CIpHistoryDlg &>(d);
        EXPECT_EQ(Rows(history),
                  (QStringList{"INTRANET|192.168.1.150|8000", "Lab|127.0.0.1|9000"}));
        MouseOnRow(history, 0, QEvent::MouseButtonPress);
        history.OnOK();
        return history.result();
    };
    WriteHistory("[INTRANET]\r\nIP=192.168.1.150\r\nPORT=8000\r\n");
    Dlg dlg(m_settings, m_history, m_actions);
    dlg.Edit(Dlg::ROW_LABEL)->setText(QStringLiteral("Lab"));
    dlg.Edit(Dlg::ROW_IP)->setText(QStringLiteral("127.0.0.1"));
    dlg.Edit(Dlg::ROW_PORT)->setText(QStringLiteral("9000"));
    dlg.SideButton(Dlg::ROW_LABEL)->click();
    EXPECT_EQ(dlg.Edit(Dlg::ROW_LABEL)->text() + dlg.Edit(Dlg::ROW_IP)->text() +
                  dlg.Edit(Dlg::ROW_PORT)->text(),
              QStringLiteral("INTRANET192.168.1.1508000"));
    EXPECT_STREQ(m_settings.m_szIpLabel, "INTRANET"); // nothing copied before OK
}

// The Setting button runs the program's dialog: only a changed "Receive Events"
// sends one event-report request through the view's client.
TEST_F(SettingDialogsTest, SettingButtonSendsTheEventReportOnlyWhenChanged)
{
    struct Client : ILiveClient {
        bool Connect(const QString &, int) override { return true; }
        void Disconnect(bool) override {}
        void SendCommand(uint8_t byKind, bool bArm) override { sent.emplace_back(byKind, bArm); }
        void SendPtz(uint8_t, uint8_t, int, int) override {}
        void SetAlertRequestWord(uint16_t w) override { words.push_back(w); }
        void SetSkipCounter(uint8_t) override {}
        LinkStatus Status() const override { return LinkStatus(); }
        uint8_t RetryCount() const override { return 0; }
        uint32_t LastAlertWord() const override { return 0; }
        std::vector<std::pair<uint8_t, bool>> sent;
        std::vector<uint16_t> words;
    } *pClient = nullptr;
    CTelvaneView::Environment env;
    env.fnCreateClient = [&pClient](IClientView *) {
        auto p = std::make_unique<Client>();
        pClient = p.get();
        return p;
    };
    env.fnPlaceWindow = [](bool) {};
    CTelvaneView view(nullptr, env);
    view.OnInitialUpdate();
    ASSERT_NE(pClient, nullptr);

    for (bool bToggle : {true, false}) {
        pClient->sent.clear();
        pClient->words.clear();
        QTimer::singleShot(0, [bToggle] {
            auto *pDlg = qobject_cast<Dlg *>(QApplication::activeModalWidget());
            ASSERT_NE(pDlg, nullptr);
            pDlg->Edit(Dlg::ROW_IP)->setText(QStringLiteral("127.0.0.1"));
            if (bToggle)
                pDlg->Check(Dlg::ROW_EVENTS)->toggle();
            pDlg->OnOK();
        });
        view.OnSetting();
        EXPECT_EQ(pClient->sent.size(), bToggle ? 1u : 0u);
        if (bToggle) {
            EXPECT_EQ(pClient->sent[0], std::make_pair(uint8_t(KIND_ALERT), false));
            EXPECT_EQ(pClient->words, std::vector<uint16_t>{CTelvaneView::kAlertOn});
        }
    }
    EXPECT_EQ(view.SettingsRecord().m_bUseAlertMode, 1);
    EXPECT_STREQ(view.SettingsRecord().m_szHostIP, "127.0.0.1");
}

// Both dialogs, filled, against their reference pictures.
TEST_F(SettingDialogsTest, Pictures)
{
    WriteHistory("[INTRANET]\r\nIP=192.168.1.150\r\nPORT=8000\r\n"
                 "[Warehouse gate]\r\nIP=127.20.30.41\r\nPORT=8000\r\n"
                 "[Lab]\r\nIP=127.0.0.1\r\nPORT=9000\r\n");
    m_settings.m_bUseAlertMode = 1;
    SetFieldText(m_settings.m_szRecordPath, QStringLiteral("/home/operator/Telvane4/Backup"));
    RecorderLink second = RecorderLinkOf(m_settings, 1);
    SetFieldText(second.m_szIpLabel, QStringLiteral("Warehouse gate"));
    SetFieldText(second.m_szHostIP, QStringLiteral("127.20.30.41"));
    SetRecorderLink(m_settings, 1, second);
    m_actions.bKeyringMissing = true;
    Dlg dlg(m_settings, m_history, m_actions);
    dlg.SelectRecorder(1);
    dlg.show();
    EXPECT_TRUE(testsupport::SamePicture(dlg.grab().toImage(), "ui/data/settingdialog.png"));
    CIpHistoryDlg history(m_history);
    history.show();
    MouseOnRow(history, 1, QEvent::MouseButtonPress);
    history.List()->setCurrentItem(history.List()->topLevelItem(1));
    EXPECT_TRUE(testsupport::SamePicture(history.grab().toImage(), "ui/data/historydialog.png"));
}
