#include "ui/dialogs/systemsettingdlg.h"

#include "settings/settingsmapping.h"
#include "ui/common/messagebox.h"
#include "ui/dialogs/dialogstyle.h"
#include "ui/dialogs/iphistorydlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <iterator>

namespace {

enum class Kind { Text, Address, Digits, Masked, List, Check, ReadOnly, Push };

// One row of the dialog: its group, caption, control and the push button beside
// it, in pixels of the client area. A check box and a push button carry their
// caption themselves (rcCaption empty). nMaxBytes bounds a text so that it fits
// its settings field with the terminator.
struct SettingLayoutRow {
    const char *szGroup;
    const char *szCaption;
    Kind eKind;
    QRect rcCaption;
    QRect rcControl;
    const char *szButton;
    QRect rcButton;
    const char *const *ppItems;
    int nItems;
    int nMaxBytes;
};

template <std::size_t N> constexpr int Count(const char *const (&)[N])
{
    return int(N);
}

constexpr int kLabelBytes = int(sizeof(ClientSettings::m_szIpLabel)) - 1;
constexpr int kUserIdBytes = int(sizeof(ClientSettings::m_szUserID)) - 1;
constexpr int kPasswordBytes = int(sizeof(ClientSettings::m_szPassword)) - 1;
constexpr int kRecordPathBytes = int(sizeof(ClientSettings::m_szRecordPath)) - 1;

// "Record Format": position p is RECORD_FORMAT_RAW (0) or RECORD_FORMAT_MJPEG (1).
constexpr const char *RECORD_FORMAT_ITEMS[] = {"UNCOMPRESSED", "MJPEG"};

// clang-format off
constexpr SettingLayoutRow kLayout[CSystemSettingDlg::ROW_COUNT] = {
    // group          caption                              kind            caption rect          control rect           button     button rect
    {"CONNECTION",  "LABEL :",                            Kind::Text,     {24,  30, 104, 22}, {132,  30, 178, 22}, "IP load", {318,  30, 80, 22}, nullptr, 0, kLabelBytes},
    {"CONNECTION",  "IP Address :",                       Kind::Address,  {24,  58, 104, 22}, {132,  58, 178, 22}, nullptr,   {},                 nullptr, 0, 15},
    {"CONNECTION",  "PORT :",                             Kind::Digits,   {24,  86, 104, 22}, {132,  86,  80, 22}, nullptr,   {},                 nullptr, 0, 5},
    {"CONNECTION",  "ID :",                               Kind::Text,     {24, 114, 104, 22}, {132, 114, 178, 22}, nullptr,   {},                 nullptr, 0, kUserIdBytes},
    {"CONNECTION",  "PASSWORD :",                         Kind::Masked,   {24, 142, 104, 22}, {132, 142, 178, 22}, nullptr,   {},                 nullptr, 0, kPasswordBytes},
    {"CONNECTION",  "PT TYPE :",                          Kind::List,     {24, 170, 104, 22}, {132, 170, 178, 22}, nullptr,   {},                 PTZ_TYPE_ITEMS, Count(PTZ_TYPE_ITEMS), 0},
    {"OPTION",      "Circular Monitoring Interval",       Kind::List,     {24, 238, 228, 22}, {260, 238, 138, 22}, nullptr,   {},                 ROTATE_INTERVAL_ITEMS, Count(ROTATE_INTERVAL_ITEMS), 0},
    {"OPTION",      "Scan Rate (Fast mode )",             Kind::List,     {24, 266, 228, 22}, {260, 266, 138, 22}, nullptr,   {},                 SCAN_RATE_ITEMS, Count(SCAN_RATE_ITEMS), 0},
    {"OPTION",      "Reconnection Count",                 Kind::List,     {24, 294, 228, 22}, {260, 294, 138, 22}, nullptr,   {},                 RECONNECT_COUNT_ITEMS, Count(RECONNECT_COUNT_ITEMS), 0},
    {"OPTION",      "Run in full screen mode ",           Kind::Check,    {},                 {24, 324, 374, 18},  nullptr,   {},                 nullptr, 0, 0},
    {"OPTION",      "Receive Events",                     Kind::Check,    {},                 {24, 346, 374, 18},  nullptr,   {},                 nullptr, 0, 0},
    {"OPTION",      "Display PlayTime On Image",          Kind::Check,    {},                 {24, 368, 374, 18},  nullptr,   {},                 nullptr, 0, 0},
    {"SAVE OPTION", "Set Path to Save Recorded  Images",  Kind::ReadOnly, {24, 426, 374, 18}, {24, 446, 286, 22},  "Browse",  {318, 446, 80, 22}, nullptr, 0, kRecordPathBytes},
    {"SAVE OPTION", "Record Duration",                    Kind::List,     {24, 476, 228, 22}, {260, 476, 138, 22}, nullptr,   {},                 RECORD_DURATION_ITEMS, Count(RECORD_DURATION_ITEMS), 0},
    {"SAVE OPTION", "Record Format",                      Kind::List,     {24, 504, 228, 22}, {260, 504, 138, 22}, nullptr,   {},                 RECORD_FORMAT_ITEMS, Count(RECORD_FORMAT_ITEMS), 0},
    {nullptr,       "OK",                                 Kind::Push,     {},                 {234, 546, 84, 26},  "CANCEL",  {326, 546, 84, 26}, nullptr, 0, 0},
};

struct GroupLayout {
    const char *szGroup;
    QRect rc;
};
constexpr GroupLayout kGroups[] = {
    {"CONNECTION",  {10,   8, 400, 198}},
    {"OPTION",      {10, 214, 400, 182}},
    {"SAVE OPTION", {10, 404, 400, 132}},
};
// clang-format on
constexpr QSize kDialogSize(420, 582);

const char kBadAddressText[] = "Please Input correct IP/PORT or Press [IP Load] button.";
const char kUntitledName[] = "UNTITLE";
constexpr int kMaxReadChars = 127;

// Refuses input whose UTF-8 form would not fit a settings field with its terminator.
class CUtf8LengthValidator : public QValidator {
  public:
    CUtf8LengthValidator(int nMaxBytes, QObject *parent) : QValidator(parent), m_nMax(nMaxBytes) {}
    State validate(QString &input, int &) const override
    {
        return input.toUtf8().size() <= m_nMax ? Acceptable : Invalid;
    }

  private:
    int m_nMax;
};

// Lets a dotted quad be typed: up to four parts of up to three digits, each 0-255.
class CAddressValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        static const QRegularExpression partial(QStringLiteral("^[0-9]{0,3}(\\.[0-9]{0,3}){0,3}$"));
        if (!partial.match(input).hasMatch())
            return Invalid;
        for (const QString &part : input.split(QLatin1Char('.')))
            if (!part.isEmpty() && part.toInt() > 255)
                return Invalid;
        return CSystemSettingDlg::NormalisedAddress(input).isEmpty() ? Intermediate : Acceptable;
    }
};

// The port as a number 1-65535, or 0 when the text is not one.
int PortNumber(const QString &text)
{
    bool bOk = false;
    const int nPort = text.trimmed().toInt(&bOk, 10);
    return bOk && nPort >= 1 && nPort <= 65535 ? nPort : 0;
}

} // namespace

CSystemSettingDlg::CSystemSettingDlg(ClientSettings &settings, CIpPortHistory &history,
                                     SystemSettingActions actions, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_history(history), m_actions(std::move(actions))
{
    setWindowTitle(QStringLiteral("System Setting"));
    ApplyDialogLook(this);
    setFixedSize(kDialogSize);
    CreateControls();
    LoadFromSettings();
}

void CSystemSettingDlg::CreateControls()
{
    for (const GroupLayout &group : kGroups)
        (new QGroupBox(QString::fromLatin1(group.szGroup), this))->setGeometry(group.rc);

    for (int r = 0; r < ROW_COUNT; ++r) {
        const SettingLayoutRow &row = kLayout[r];
        const QString caption = QString::fromLatin1(row.szCaption);
        if (!row.rcCaption.isEmpty()) {
            auto *pLabel = new QLabel(caption, this);
            pLabel->setGeometry(row.rcCaption);
            pLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        }
        QWidget *pControl = nullptr;
        switch (row.eKind) {
        case Kind::Text:
        case Kind::Address:
        case Kind::Digits:
        case Kind::Masked:
        case Kind::ReadOnly: {
            auto *pEdit = new QLineEdit(this);
            if (row.eKind == Kind::Masked)
                pEdit->setEchoMode(QLineEdit::Password);
            if (row.eKind == Kind::ReadOnly)
                pEdit->setReadOnly(true);
            else if (row.eKind == Kind::Address)
                pEdit->setValidator(new CAddressValidator(pEdit));
            else if (row.eKind == Kind::Digits)
                pEdit->setValidator(new QRegularExpressionValidator(
                    QRegularExpression(QStringLiteral("[0-9]{0,5}")), pEdit));
            else
                pEdit->setValidator(new CUtf8LengthValidator(row.nMaxBytes, pEdit));
            pControl = pEdit;
            break;
        }
        case Kind::List: {
            auto *pList = new QComboBox(this);
            for (int i = 0; i < row.nItems; ++i)
                pList->addItem(QString::fromLatin1(row.ppItems[i]));
            pList->setMaxVisibleItems(row.nItems);
            pControl = pList;
            break;
        }
        case Kind::Check:
            pControl = new QCheckBox(caption, this);
            break;
        case Kind::Push: {
            auto *pButton = new QPushButton(caption, this);
            pButton->setDefault(true);
            pControl = pButton;
            break;
        }
        }
        pControl->setGeometry(row.rcControl);
        m_apControl[r] = pControl;
        if (row.szButton) {
            auto *pButton = new QPushButton(QString::fromLatin1(row.szButton), this);
            pButton->setGeometry(row.rcButton);
            pButton->setAutoDefault(false);
            m_apButton[r] = pButton;
        }
    }
    connect(static_cast<QPushButton *>(m_apControl[ROW_OK_CANCEL]), &QPushButton::clicked, this,
            &CSystemSettingDlg::OnOK);
    connect(m_apButton[ROW_OK_CANCEL], &QPushButton::clicked, this, &QDialog::reject);
    connect(m_apButton[ROW_LABEL], &QPushButton::clicked, this, &CSystemSettingDlg::OnIpLoad);
    connect(m_apButton[ROW_RECORD_PATH], &QPushButton::clicked, this, &CSystemSettingDlg::OnBrowse);
}

QLineEdit *CSystemSettingDlg::Edit(Row row) const
{
    return qobject_cast<QLineEdit *>(m_apControl[row]);
}

QComboBox *CSystemSettingDlg::List(Row row) const
{
    return qobject_cast<QComboBox *>(m_apControl[row]);
}

QCheckBox *CSystemSettingDlg::Check(Row row) const
{
    return qobject_cast<QCheckBox *>(m_apControl[row]);
}

void CSystemSettingDlg::LoadFromSettings()
{
    const ClientSettings &s = m_settings;
    Edit(ROW_LABEL)->setText(FieldText(s.m_szIpLabel));
    Edit(ROW_IP)->setText(FieldText(s.m_szHostIP));
    Edit(ROW_PORT)->setText(QString::number(s.m_nHostPort));
    Edit(ROW_ID)->setText(FieldText(s.m_szUserID));
    Edit(ROW_PASSWORD)->setText(FieldText(s.m_szPassword));
    List(ROW_PTZ_TYPE)->setCurrentIndex(PtzTypeToListPos(s.m_byPtzType));
    List(ROW_ROTATE)->setCurrentIndex(RotateIntervalToListPos(s.m_byRotateInterval));
    List(ROW_SCAN_RATE)->setCurrentIndex(RequestSpeedToListPos(s.m_byRequestSpeed));
    List(ROW_RECONNECT)->setCurrentIndex(ReconnectCountToListPos(s.m_byReconnectCount));
    Check(ROW_FULL_SCREEN)->setChecked(s.m_bUseFullScreen != 0);
    Check(ROW_EVENTS)->setChecked(s.m_bUseAlertMode != 0);
    Check(ROW_PB_TIME)->setChecked(s.m_bDisplayPbTime != 0);
    Edit(ROW_RECORD_PATH)->setText(FieldText(s.m_szRecordPath));
    List(ROW_DURATION)->setCurrentIndex(RecordDurationToListPos(s.m_byRecordDuration));
    List(ROW_RECORD_FORMAT)->setCurrentIndex(s.m_byRecordFormat == RECORD_FORMAT_MJPEG ? 1 : 0);
}

void CSystemSettingDlg::CopyControls()
{
    ClientSettings &s = m_settings;
    SetFieldText(s.m_szUserID, Edit(ROW_ID)->text());
    SetFieldText(s.m_szPassword, Edit(ROW_PASSWORD)->text());
    SetFieldText(s.m_szRecordPath, Edit(ROW_RECORD_PATH)->text());
    SetFieldText(s.m_szIpLabel, Edit(ROW_LABEL)->text());
    s.m_byPtzType = ListPosToPtzType(List(ROW_PTZ_TYPE)->currentIndex());
    s.m_byRotateInterval = ListPosToRotateInterval(List(ROW_ROTATE)->currentIndex());
    s.m_byReconnectCount = ListPosToReconnectCount(List(ROW_RECONNECT)->currentIndex());
    s.m_byRequestSpeed = ListPosToRequestSpeed(List(ROW_SCAN_RATE)->currentIndex());
    s.m_byRecordDuration = ListPosToRecordDuration(List(ROW_DURATION)->currentIndex());
    s.m_byRecordFormat =
        List(ROW_RECORD_FORMAT)->currentIndex() == 1 ? RECORD_FORMAT_MJPEG : RECORD_FORMAT_RAW;
}

QString CSystemSettingDlg::NormalisedAddress(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return QString();
    QStringList numbers;
    for (const QString &part : parts) {
        bool bOk = false;
        const int n = part.toInt(&bOk, 10);
        if (!bOk || part.size() > 3 || part.startsWith(QLatin1Char('+')) || n < 0 || n > 255)
            return QString();
        numbers.append(QString::number(n));
    }
    return numbers.join(QLatin1Char('.'));
}

bool CSystemSettingDlg::CheckAddressAndPort() const
{
    const QString address = NormalisedAddress(Edit(ROW_IP)->text().left(kMaxReadChars));
    return !address.isEmpty() && address != QLatin1String("0.0.0.0") &&
           PortNumber(Edit(ROW_PORT)->text().left(kMaxReadChars)) != 0;
}

void CSystemSettingDlg::ShowMessage(const QString &text)
{
    ShowMessageBox(this, text, QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
}

void CSystemSettingDlg::OnOK()
{
    CopyControls();

    const bool bFullScreen = Check(ROW_FULL_SCREEN)->isChecked();
    if (bFullScreen != (m_settings.m_bUseFullScreen != 0)) {
        m_settings.m_bUseFullScreen = bFullScreen ? 1 : 0;
        if (m_actions.fnSetFullScreen)
            m_actions.fnSetFullScreen(bFullScreen);
    }
    const bool bEvents = Check(ROW_EVENTS)->isChecked();
    if (bEvents != (m_settings.m_bUseAlertMode != 0)) {
        m_settings.m_bUseAlertMode = bEvents ? 1 : 0;
        if (m_actions.fnSetEventReport)
            m_actions.fnSetEventReport(bEvents);
    }
    m_settings.m_bDisplayPbTime = Check(ROW_PB_TIME)->isChecked() ? 1 : 0;

    if (!CheckAddressAndPort()) {
        ShowMessage(QString::fromLatin1(kBadAddressText));
        return;
    }
    const QString address = NormalisedAddress(Edit(ROW_IP)->text());
    const int nPort = PortNumber(Edit(ROW_PORT)->text());
    SetFieldText(m_settings.m_szHostIP, address);
    m_settings.m_nHostPort = nPort;

    QString name = Edit(ROW_LABEL)->text().left(kLabelBytes);
    if (name.isEmpty())
        name = QString::fromLatin1(kUntitledName);
    if (!m_history.StoreHistoryEntry(name, address, QString::number(nPort)))
        ShowMessage(QStringLiteral("The entry could not be kept in the IP/PORT history %1 (%2).")
                        .arg(m_history.Path(), m_history.LastError()));
    accept();
}

void CSystemSettingDlg::OnIpLoad()
{
    const QString label = Edit(ROW_LABEL)->text().left(kLabelBytes);
    const QString address = NormalisedAddress(Edit(ROW_IP)->text().left(kMaxReadChars));
    const int nPort = PortNumber(Edit(ROW_PORT)->text().left(kMaxReadChars));
    // Only a complete entry is worth remembering.
    if (!label.isEmpty() && !address.isEmpty() && address != QLatin1String("0.0.0.0") &&
        nPort != 0 && !m_history.StoreHistoryEntry(label, address, QString::number(nPort)))
        ShowMessage(QStringLiteral("The entry could not be kept in the IP/PORT history %1 (%2).")
                        .arg(m_history.Path(), m_history.LastError()));

    CIpHistoryDlg history(m_history, this);
    const int nResult = m_actions.fnExecDialog ? m_actions.fnExecDialog(history) : history.exec();
    if (nResult != QDialog::Accepted)
        return;
    Edit(ROW_LABEL)->setText(history.ChosenName());
    Edit(ROW_IP)->setText(history.ChosenIp());
    Edit(ROW_PORT)->setText(history.ChosenPort());
}

void CSystemSettingDlg::OnBrowse()
{
    QLineEdit *pPath = Edit(ROW_RECORD_PATH);
    const QString chosen = m_actions.fnBrowseFolder
                               ? m_actions.fnBrowseFolder(this, pPath->text())
                               : QFileDialog::getExistingDirectory(this, QString(), pPath->text());
    if (chosen.isEmpty())
        return; // cancelled: the folder stays
    const QString native = QDir::toNativeSeparators(chosen);
    if (native.toUtf8().size() > kRecordPathBytes) {
        ShowMessage(QStringLiteral("The folder path is too long (more than %1 bytes); "
                                   "please choose a folder with a shorter path.\n\n%2")
                        .arg(kRecordPathBytes)
                        .arg(native));
        return;
    }
    pPath->setText(native);
}
