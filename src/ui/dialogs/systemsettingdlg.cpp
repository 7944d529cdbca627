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
#include <QStandardItemModel>

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

constexpr const char *RECORDER_ITEMS[MAX_RECORDERS] = {"1", "2", "3", "4"};

// "Record Format": position p is RECORD_FORMAT_RAW (0) or RECORD_FORMAT_MJPEG (1).
constexpr const char *RECORD_FORMAT_ITEMS[] = {"UNCOMPRESSED", "MJPEG"};

// "Save Password": position p is SAVE_PASSWORD_KEYRING (0), _FILE (1) or _NEVER (2).
constexpr const char *SAVE_PASSWORD_ITEMS[] = {"KEYRING", "FILE", "NEVER"};
const char kKeyringMissingText[] = "(no keyring)";
constexpr QRect kKeyringMissingRect(130, 532, 126, 22);

// clang-format off
constexpr SettingLayoutRow kLayout[CSystemSettingDlg::ROW_COUNT] = {
    // group          caption                              kind            caption rect          control rect           button     button rect
    {"CONNECTION",  "RECORDER :",                         Kind::List,     {24,  26, 104, 22}, {132,  26,  80, 22}, nullptr,   {},                 RECORDER_ITEMS, Count(RECORDER_ITEMS), 0},
    {"CONNECTION",  "LABEL :",                            Kind::Text,     {24,  51, 104, 22}, {132,  51, 178, 22}, "IP load", {318,  51, 80, 22}, nullptr, 0, kLabelBytes},
    {"CONNECTION",  "IP Address :",                       Kind::Address,  {24,  76, 104, 22}, {132,  76, 178, 22}, nullptr,   {},                 nullptr, 0, 15},
    {"CONNECTION",  "PORT :",                             Kind::Digits,   {24, 101, 104, 22}, {132, 101,  80, 22}, nullptr,   {},                 nullptr, 0, 5},
    {"CONNECTION",  "ID :",                               Kind::Text,     {24, 126, 104, 22}, {132, 126, 178, 22}, nullptr,   {},                 nullptr, 0, kUserIdBytes},
    {"CONNECTION",  "PASSWORD :",                         Kind::Masked,   {24, 151, 104, 22}, {132, 151, 178, 22}, nullptr,   {},                 nullptr, 0, kPasswordBytes},
    {"CONNECTION",  "PT TYPE :",                          Kind::List,     {24, 176, 104, 22}, {132, 176, 178, 22}, nullptr,   {},                 PTZ_TYPE_ITEMS, Count(PTZ_TYPE_ITEMS), 0},
    {"OPTION",      "Circular Monitoring Interval",       Kind::List,     {24, 238, 228, 22}, {260, 238, 138, 22}, nullptr,   {},                 ROTATE_INTERVAL_ITEMS, Count(ROTATE_INTERVAL_ITEMS), 0},
    {"OPTION",      "Scan Rate (Fast mode )",             Kind::List,     {24, 266, 228, 22}, {260, 266, 138, 22}, nullptr,   {},                 SCAN_RATE_ITEMS, Count(SCAN_RATE_ITEMS), 0},
    {"OPTION",      "Reconnection Count",                 Kind::List,     {24, 294, 228, 22}, {260, 294, 138, 22}, nullptr,   {},                 RECONNECT_COUNT_ITEMS, Count(RECONNECT_COUNT_ITEMS), 0},
    {"OPTION",      "Run in full screen mode ",           Kind::Check,    {},                 {24, 324, 374, 18},  nullptr,   {},                 nullptr, 0, 0},
    {"OPTION",      "Receive Events",                     Kind::Check,    {},                 {24, 346, 374, 18},  nullptr,   {},                 nullptr, 0, 0},
    {"OPTION",      "Display PlayTime On Image",          Kind::Check,    {},                 {24, 368, 374, 18},  nullptr,   {},                 nullptr, 0, 0},
    {"SAVE OPTION", "Set Path to Save Recorded  Images",  Kind::ReadOnly, {24, 426, 374, 18}, {24, 446, 286, 22},  "Browse",  {318, 446, 80, 22}, nullptr, 0, kRecordPathBytes},
    {"SAVE OPTION", "Record Duration",                    Kind::List,     {24, 476, 228, 22}, {260, 476, 138, 22}, nullptr,   {},                 RECORD_DURATION_ITEMS, Count(RECORD_DURATION_ITEMS), 0},
    {"SAVE OPTION", "Record Format",                      Kind::List,     {24, 504, 228, 22}, {260, 504, 138, 22}, nullptr,   {},                 RECORD_FORMAT_ITEMS, Count(RECORD_FORMAT_ITEMS), 0},
    {"SAVE OPTION", "Save Password",                      Kind::List,     {24, 532, 228, 22}, {260, 532, 138, 22}, nullptr,   {},                 SAVE_PASSWORD_ITEMS, Count(SAVE_PASSWORD_ITEMS), 0},
    {nullptr,       "OK",                                 Kind::Push,     {},                 {234, 574, 84, 26},  "CANCEL",  {326, 574, 84, 26}, nullptr, 0, 0},
};

struct GroupLayout {
    const char *szGroup;
    QRect rc;
};
constexpr GroupLayout kGroups[] = {
    {"CONNECTION",  {10,   8, 400, 198}},
    {"OPTION",      {10, 214, 400, 182}},
    {"SAVE OPTION", {10, 404, 400, 160}},
};
// clang-format on
constexpr QSize kDialogSize(420, 610);

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
        return DottedQuad(input).isEmpty() ? Intermediate : Acceptable;
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
    connect(List(ROW_RECORDER), &QComboBox::currentIndexChanged, this,
            &CSystemSettingDlg::OnRecorderChosen);
    if (m_actions.bKeyringMissing) {
        if (auto *pModel = qobject_cast<QStandardItemModel *>(List(ROW_SAVE_PASSWORD)->model()))
            pModel->item(SAVE_PASSWORD_KEYRING)->setEnabled(false);
        auto *pNote = new QLabel(QString::fromLatin1(kKeyringMissingText), this);
        pNote->setGeometry(kKeyringMissingRect);
        pNote->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
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
    for (int r = 0; r < MAX_RECORDERS; ++r) {
        const RecorderLink link = RecorderLinkOf(s, r);
        m_aLinks[r] = {FieldText(link.m_szIpLabel),       FieldText(link.m_szHostIP),
                       QString::number(link.m_nHostPort), FieldText(link.m_szUserID),
                       FieldText(link.m_szPassword),      PtzTypeToListPos(link.m_byPtzType)};
    }
    m_aLoaded = m_aLinks;
    ShowFields();
    List(ROW_ROTATE)->setCurrentIndex(RotateIntervalToListPos(s.m_byRotateInterval));
    List(ROW_SCAN_RATE)->setCurrentIndex(RequestSpeedToListPos(s.m_byRequestSpeed));
    List(ROW_RECONNECT)->setCurrentIndex(ReconnectCountToListPos(s.m_byReconnectCount));
    Check(ROW_FULL_SCREEN)->setChecked(s.m_bUseFullScreen != 0);
    Check(ROW_EVENTS)->setChecked(s.m_bUseAlertMode != 0);
    Check(ROW_PB_TIME)->setChecked(s.m_bDisplayPbTime != 0);
    Edit(ROW_RECORD_PATH)->setText(FieldText(s.m_szRecordPath));
    List(ROW_DURATION)->setCurrentIndex(RecordDurationToListPos(s.m_byRecordDuration));
    List(ROW_RECORD_FORMAT)->setCurrentIndex(s.m_byRecordFormat == RECORD_FORMAT_MJPEG ? 1 : 0);
    m_nSavePasswordShown = s.m_bySavePassword == SAVE_PASSWORD_KEYRING && m_actions.bKeyringMissing
                               ? SAVE_PASSWORD_FILE
                               : s.m_bySavePassword;
    List(ROW_SAVE_PASSWORD)->setCurrentIndex(m_nSavePasswordShown);
}

void CSystemSettingDlg::CopyControls()
{
    ClientSettings &s = m_settings;
    const LinkTexts &first = m_aLinks[0];
    SetFieldText(s.m_szUserID, first.id);
    SetFieldText(s.m_szPassword, first.password);
    SetFieldText(s.m_szRecordPath, Edit(ROW_RECORD_PATH)->text());
    SetFieldText(s.m_szIpLabel, first.label);
    s.m_byPtzType = ListPosToPtzType(first.nPtzPos);
    s.m_byRotateInterval = ListPosToRotateInterval(List(ROW_ROTATE)->currentIndex());
    s.m_byReconnectCount = ListPosToReconnectCount(List(ROW_RECONNECT)->currentIndex());
    s.m_byRequestSpeed = ListPosToRequestSpeed(List(ROW_SCAN_RATE)->currentIndex());
    s.m_byRecordDuration = ListPosToRecordDuration(List(ROW_DURATION)->currentIndex());
    s.m_byRecordFormat =
        List(ROW_RECORD_FORMAT)->currentIndex() == 1 ? RECORD_FORMAT_MJPEG : RECORD_FORMAT_RAW;
    // Left as shown, the stored choice stays (KEYRING shown as FILE without a keyring).
    if (List(ROW_SAVE_PASSWORD)->currentIndex() != m_nSavePasswordShown)
        s.m_bySavePassword = uint8_t(List(ROW_SAVE_PASSWORD)->currentIndex());
}

void CSystemSettingDlg::SelectRecorder(int nRecorder)
{
    List(ROW_RECORDER)->setCurrentIndex(nRecorder);
}

void CSystemSettingDlg::OnRecorderChosen(int nRecorder)
{
    if (nRecorder < 0 || nRecorder >= MAX_RECORDERS || nRecorder == m_nRecorder)
        return;
    KeepFields();
    m_nRecorder = nRecorder;
    ShowFields();
}

void CSystemSettingDlg::KeepFields()
{
    m_aLinks[m_nRecorder] = {Edit(ROW_LABEL)->text(),    Edit(ROW_IP)->text(),
                             Edit(ROW_PORT)->text(),     Edit(ROW_ID)->text(),
                             Edit(ROW_PASSWORD)->text(), List(ROW_PTZ_TYPE)->currentIndex()};
}

void CSystemSettingDlg::ShowFields()
{
    const LinkTexts &link = m_aLinks[m_nRecorder];
    Edit(ROW_LABEL)->setText(link.label);
    Edit(ROW_IP)->setText(link.ip);
    Edit(ROW_PORT)->setText(link.port);
    Edit(ROW_ID)->setText(link.id);
    Edit(ROW_PASSWORD)->setText(link.password);
    List(ROW_PTZ_TYPE)->setCurrentIndex(link.nPtzPos);
}

int CSystemSettingDlg::RefusedRecorder(QString &message) const
{
    auto address = [this](int r) { return DottedQuad(m_aLinks[r].ip.left(kMaxReadChars)); };
    auto port = [this](int r) { return PortNumber(m_aLinks[r].port.left(kMaxReadChars)); };
    for (int r = 0; r < MAX_RECORDERS; ++r) {
        if (r > 0 && m_aLinks[r].ip.trimmed().isEmpty())
            continue; // no recorder
        if (address(r).isEmpty() || address(r) == QLatin1String("0.0.0.0") || port(r) == 0) {
            message = QString::fromLatin1(kBadAddressText);
            if (r > 0)
                message = QStringLiteral("Recorder %1: ").arg(r + 1) + message;
            return r;
        }
        for (int other = 0; other < r; ++other)
            if (address(other) == address(r) && port(other) == port(r)) {
                message = QStringLiteral("Recorder %1 has the same address and port as recorder "
                                         "%2 (%3:%4). Each recorder needs an address or port "
                                         "of its own.")
                              .arg(r + 1)
                              .arg(other + 1)
                              .arg(address(r))
                              .arg(port(r));
                return r;
            }
    }
    return -1;
}

void CSystemSettingDlg::StoreHistoryEntry(const LinkTexts &link)
{
    QString name = link.label.left(kLabelBytes);
    if (name.isEmpty())
        name = QString::fromLatin1(kUntitledName);
    if (!m_history.StoreHistoryEntry(name, DottedQuad(link.ip),
                                     QString::number(PortNumber(link.port))))
        ShowMessage(QStringLiteral("The entry could not be kept in the IP/PORT history %1 (%2).")
                        .arg(m_history.Path(), m_history.LastError()));
}

void CSystemSettingDlg::ShowMessage(const QString &text)
{
    ShowMessageBox(this, text, QString::fromLatin1(APP_TITLE), QMessageBox::Warning);
}

void CSystemSettingDlg::OnOK()
{
    KeepFields();
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

    QString message;
    if (const int nRefused = RefusedRecorder(message); nRefused >= 0) {
        SelectRecorder(nRefused);
        ShowMessage(message);
        return;
    }
    SetFieldText(m_settings.m_szHostIP, DottedQuad(m_aLinks[0].ip));
    m_settings.m_nHostPort = PortNumber(m_aLinks[0].port);
    StoreHistoryEntry(m_aLinks[0]);
    for (int r = 1; r < MAX_RECORDERS; ++r) {
        const LinkTexts &texts = m_aLinks[r];
        if (texts == m_aLoaded[r])
            continue;
        RecorderLink link;
        SetFieldText(link.m_szIpLabel, texts.label);
        SetFieldText(link.m_szHostIP, DottedQuad(texts.ip)); // empty: removed
        const int nPort = PortNumber(texts.port);
        link.m_nHostPort = nPort != 0 ? nPort : DEFAULT_HOST_PORT;
        SetFieldText(link.m_szUserID, texts.id);
        SetFieldText(link.m_szPassword, texts.password);
        link.m_byPtzType = ListPosToPtzType(texts.nPtzPos);
        SetRecorderLink(m_settings, r, link);
        if (IsRecorderConfigured(m_settings, r))
            StoreHistoryEntry(texts);
    }
    accept();
}

void CSystemSettingDlg::OnIpLoad()
{
    const QString label = Edit(ROW_LABEL)->text().left(kLabelBytes);
    const QString address = DottedQuad(Edit(ROW_IP)->text().left(kMaxReadChars));
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
