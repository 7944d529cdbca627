#include "settings/clientsettings.h"

#include "settings/dataplaces.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <cstring>
#include <iterator>

namespace {

// The value names under the "Setting" section, in field order.
constexpr char KEY_USER_ID[] = "User ISeed";
constexpr char KEY_PASSWORD[] = "User PSeed";
constexpr char KEY_HOST_IP[] = "Host IPAddress";
constexpr char KEY_RECORD_PATH[] = "Record Path";
constexpr char KEY_HOST_PORT[] = "Host Port";
constexpr char KEY_ROTATE_INTERVAL[] = "Rotate Interval";
constexpr char KEY_RECONNECT_COUNT[] = "Reconnect Count";
constexpr char KEY_REQUEST_SPEED[] = "Request Speed";
constexpr char KEY_PTZ_TYPE[] = "Ptz Type";
constexpr char KEY_USE_FULL_SCREEN[] = "Use FullScreen";
constexpr char KEY_USE_ALERT_MODE[] = "Use AlertMode";
constexpr char KEY_RECORD_DURATION[] = "Record Duration";
constexpr char KEY_IP_LABEL[] = "Ip Label";
constexpr char KEY_DISPLAY_PB_TIME[] = "Display PbTime";
constexpr char KEY_RECORD_FORMAT[] = "Record Format";
constexpr char RECORD_FORMAT_TEXT_RAW[] = "RAW";
constexpr char RECORD_FORMAT_TEXT_MJPEG[] = "MJPEG";
constexpr char KEY_SAVE_PASSWORD[] = "Save Password";
constexpr const char *SAVE_PASSWORD_TEXTS[] = {"KEYRING", "FILE", "NEVER"}; // by value
constexpr char KEY_TILE_PLACEMENT[] = "Tile Placement";

constexpr int DEFAULT_ROTATE_INTERVAL = 3;
constexpr int DEFAULT_RECONNECT_COUNT = 3;
constexpr int DEFAULT_REQUEST_SPEED = 4;
constexpr int DEFAULT_PTZ_TYPE = 1;
constexpr int DEFAULT_RECORD_DURATION = 4;

constexpr int kFaultWidth = int(sizeof(ClientSettings::m_aszRecorderFault[0]));

QString ReadText(const QSettings &store, const char *key, const char *fallback)
{
    const QVariant value = store.value(QLatin1String(key));
    if (!value.isValid())
        return QString::fromUtf8(fallback);
    // An INI text with unquoted commas comes back as a list; keep it as written.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

// Numbers are 32-bit; a value that is no number at all counts as missing.
int32_t ReadNumber(const QSettings &store, const char *key, int32_t fallback)
{
    const QVariant value = store.value(QLatin1String(key));
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok)
        return fallback;
    return static_cast<int32_t>(static_cast<uint32_t>(number));
}

uint8_t LowByte(int32_t value)
{
    return static_cast<uint8_t>(static_cast<uint32_t>(value));
}

// The store may hold the recorders' passwords in clear ("Save Password" FILE, or a
// password the keyring did not take). Where it is a file (the INI file
// on Linux; the registry on Windows is the user's own), only its owner may read it.
// Called before each write: a missing file is made so, an existing one (also one an
// older copy left readable to all) set so, and the store keeps the mode of the file
// it replaces.
void KeepStorePrivate(const QString &szPath)
{
#ifndef Q_OS_WIN
    constexpr QFileDevice::Permissions kOwnerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QFile file(szPath);
    if (!file.exists()) {
        QDir().mkpath(QFileInfo(szPath).absolutePath());
        if (file.open(QIODevice::WriteOnly, kOwnerOnly))
            file.close();
    }
    file.setPermissions(kOwnerOnly);
#else
    Q_UNUSED(szPath);
#endif
}

QString RecorderGroup(int nRecorder)
{
    return nRecorder == 0 ? QString::fromLatin1(SETTINGS_SECTION)
                          : QString::fromLatin1(SETTINGS_SECTION) + QString::number(nRecorder + 1);
}

RecorderLink NoRecorder()
{
    RecorderLink link;
    SetFieldText(link.m_szUserID, QString::fromUtf8(DEFAULT_USER_ID));
    SetFieldText(link.m_szPassword, QString::fromUtf8(DEFAULT_PASSWORD));
    SetFieldText(link.m_szHostIP, QString());
    link.m_nHostPort = DEFAULT_HOST_PORT;
    SetFieldText(link.m_szIpLabel, QString::fromUtf8(DEFAULT_IP_LABEL));
    link.m_byPtzType = DEFAULT_PTZ_TYPE;
    return link;
}

// Reads the group of recorder 2-4 (the store is at the top level). Returns the
// reason it is left out, empty when it is usable or no recorder at all.
QString ReadExtraRecorder(QSettings &store, int nRecorder, RecorderLink &link)
{
    link = NoRecorder();
    store.beginGroup(RecorderGroup(nRecorder));
    const QString address = ReadText(store, KEY_HOST_IP, "").trimmed();
    const QVariant port = store.value(QLatin1String(KEY_HOST_PORT));
    SetFieldText(link.m_szUserID, ReadText(store, KEY_USER_ID, DEFAULT_USER_ID));
    SetFieldText(link.m_szPassword, ReadText(store, KEY_PASSWORD, DEFAULT_PASSWORD));
    SetFieldText(link.m_szIpLabel, ReadText(store, KEY_IP_LABEL, DEFAULT_IP_LABEL));
    link.m_byPtzType = LowByte(ReadNumber(store, KEY_PTZ_TYPE, DEFAULT_PTZ_TYPE));
    store.endGroup();

    if (address.isEmpty())
        return QString();
    const QString prefix = QStringLiteral("Recorder %1 left out: ").arg(nRecorder + 1);
    const QString quad = DottedQuad(address);
    if (quad.isEmpty())
        return prefix + QStringLiteral("address \"%1\" is no IPv4 address").arg(address.left(40));
    if (port.isValid()) {
        const QString portText = port.toString().trimmed();
        bool bOk = false;
        const qlonglong nPort = portText.toLongLong(&bOk, 10);
        if (!bOk)
            return prefix + QStringLiteral("port \"%1\" is no number").arg(portText.left(20));
        if (nPort < 1 || nPort > 65535)
            return prefix + QStringLiteral("port %1 outside 1-65535").arg(nPort);
        link.m_nHostPort = int32_t(nPort);
    }
    SetFieldText(link.m_szHostIP, quad);
    return QString();
}

void WriteExtraRecorder(QSettings &store, int nRecorder, const RecorderLink &link,
                        const QString &szStoredPassword)
{
    store.beginGroup(RecorderGroup(nRecorder));
    store.setValue(QLatin1String(KEY_USER_ID), FieldText(link.m_szUserID));
    store.setValue(QLatin1String(KEY_PASSWORD), szStoredPassword);
    store.setValue(QLatin1String(KEY_HOST_IP), FieldText(link.m_szHostIP));
    store.setValue(QLatin1String(KEY_HOST_PORT), int(link.m_nHostPort));
    store.setValue(QLatin1String(KEY_PTZ_TYPE), int(link.m_byPtzType));
    store.setValue(QLatin1String(KEY_IP_LABEL), FieldText(link.m_szIpLabel));
    store.endGroup();
}

} // namespace

// A dotted quad of four decimal numbers 0-255, rewritten without leading zeros (the
// socket layer would read "010" as octal); empty when the text is none.
QString DottedQuad(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return QString();
    QStringList numbers;
    for (const QString &part : parts) {
        bool bOk = false;
        const int n = part.toInt(&bOk, 10);
        if (!bOk || part.isEmpty() || part.size() > 3 || !part.front().isDigit() || n > 255)
            return QString();
        numbers.append(QString::number(n));
    }
    return numbers.join(QLatin1Char('.'));
}

RecorderLink RecorderLinkOf(const ClientSettings &s, int nRecorder)
{
    Q_ASSERT(nRecorder >= 0 && nRecorder < MAX_RECORDERS);
    if (nRecorder > 0)
        return s.m_aExtraRecorders[nRecorder - 1];
    RecorderLink link;
    std::memcpy(link.m_szUserID, s.m_szUserID, sizeof link.m_szUserID);
    std::memcpy(link.m_szPassword, s.m_szPassword, sizeof link.m_szPassword);
    std::memcpy(link.m_szHostIP, s.m_szHostIP, sizeof link.m_szHostIP);
    link.m_nHostPort = s.m_nHostPort;
    std::memcpy(link.m_szIpLabel, s.m_szIpLabel, sizeof link.m_szIpLabel);
    link.m_byPtzType = s.m_byPtzType;
    return link;
}

void SetRecorderLink(ClientSettings &s, int nRecorder, const RecorderLink &link)
{
    Q_ASSERT(nRecorder >= 0 && nRecorder < MAX_RECORDERS);
    if (nRecorder > 0) {
        s.m_aExtraRecorders[nRecorder - 1] = link;
        s.m_aszRecorderFault[nRecorder - 1][0] = '\0';
        return;
    }
    std::memcpy(s.m_szUserID, link.m_szUserID, sizeof s.m_szUserID);
    std::memcpy(s.m_szPassword, link.m_szPassword, sizeof s.m_szPassword);
    std::memcpy(s.m_szHostIP, link.m_szHostIP, sizeof s.m_szHostIP);
    s.m_nHostPort = link.m_nHostPort;
    std::memcpy(s.m_szIpLabel, link.m_szIpLabel, sizeof s.m_szIpLabel);
    s.m_byPtzType = link.m_byPtzType;
}

bool IsRecorderConfigured(const ClientSettings &s, int nRecorder)
{
    if (nRecorder == 0)
        return true;
    return nRecorder > 0 && nRecorder < MAX_RECORDERS &&
           s.m_aExtraRecorders[nRecorder - 1].m_szHostIP[0] != '\0';
}

void SetFieldText(char *field, std::size_t width, const QByteArray &utf8)
{
    if (width == 0)
        return;
    std::size_t length = std::strlen(utf8.constData()); // an embedded NUL ends the text
    if (length > width - 1) {
        length = width - 1;
        // Step back over continuation bytes so no character is split.
        while (length > 0 && (static_cast<unsigned char>(utf8[qsizetype(length)]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(field, utf8.constData(), length);
    std::memset(field + length, 0, width - length);
}

void SetFieldText(char *field, std::size_t width, const QString &text)
{
    SetFieldText(field, width, text.toUtf8());
}

QString FieldText(const char *field, std::size_t width)
{
    std::size_t length = 0;
    while (length < width && field[length] != '\0')
        ++length;
    return QString::fromUtf8(field, qsizetype(length));
}

ClientSettings::ClientSettings()
{
    SetFieldText(m_szUserID, QString::fromUtf8(DEFAULT_USER_ID));
    SetFieldText(m_szPassword, QString::fromUtf8(DEFAULT_PASSWORD));
    SetFieldText(m_szHostIP, QString::fromUtf8(DEFAULT_HOST_IP));
    SetFieldText(m_szRecordPath, DefaultRecordPath());
    m_nHostPort = DEFAULT_HOST_PORT;
    m_byRotateInterval = DEFAULT_ROTATE_INTERVAL;
    m_byReconnectCount = DEFAULT_RECONNECT_COUNT;
    m_byRequestSpeed = DEFAULT_REQUEST_SPEED;
    m_byPtzType = DEFAULT_PTZ_TYPE;
    m_bUseFullScreen = 0;
    m_bUseAlertMode = 0;
    m_byRecordDuration = DEFAULT_RECORD_DURATION;
    SetFieldText(m_szIpLabel, QString::fromUtf8(DEFAULT_IP_LABEL));
    m_bDisplayPbTime = 0;
    for (int r = 0; r < MAX_RECORDERS - 1; ++r) {
        m_aExtraRecorders[r] = NoRecorder();
        SetFieldText(m_aszRecorderFault[r], kFaultWidth, QByteArray());
    }
    m_byRecordFormat = RECORD_FORMAT_RAW;
    m_bySavePassword = SAVE_PASSWORD_KEYRING;
}

QString ClientSettings::DefaultRecordPath()
{
    return QDir::toNativeSeparators(ProgramDataPlaces().szBaseFolder + QStringLiteral("/Backup"));
}

void ClientSettings::LoadSettings()
{
    // Reading never creates or changes the store.
    QSettings store{QString::fromLatin1(SETTINGS_ORGANIZATION),
                    QString::fromLatin1(SETTINGS_APPLICATION)};
    store.beginGroup(QLatin1String(SETTINGS_SECTION));

    SetFieldText(m_szUserID, ReadText(store, KEY_USER_ID, DEFAULT_USER_ID));
    SetFieldText(m_szPassword, ReadText(store, KEY_PASSWORD, DEFAULT_PASSWORD));
    SetFieldText(m_szHostIP, ReadText(store, KEY_HOST_IP, DEFAULT_HOST_IP));

    // Every run records into the Backup folder; a stored "Record Path" is ignored.
    // A folder path too long for the field would name a different folder once cut,
    // so it is left empty instead.
    const QString recordPath = DefaultRecordPath();
    if (recordPath.toUtf8().size() < qsizetype(sizeof(m_szRecordPath))) {
        SetFieldText(m_szRecordPath, recordPath);
        QDir().mkpath(recordPath); // failure is not fatal: recording reports it later
    } else {
        SetFieldText(m_szRecordPath, QString());
    }

    m_byRecordDuration = LowByte(ReadNumber(store, KEY_RECORD_DURATION, DEFAULT_RECORD_DURATION));
    m_nHostPort = ReadNumber(store, KEY_HOST_PORT, DEFAULT_HOST_PORT);
    m_byRotateInterval = LowByte(ReadNumber(store, KEY_ROTATE_INTERVAL, DEFAULT_ROTATE_INTERVAL));
    m_byReconnectCount = LowByte(ReadNumber(store, KEY_RECONNECT_COUNT, DEFAULT_RECONNECT_COUNT));
    m_byRequestSpeed = LowByte(ReadNumber(store, KEY_REQUEST_SPEED, DEFAULT_REQUEST_SPEED));
    m_bUseFullScreen = ReadNumber(store, KEY_USE_FULL_SCREEN, 0);
    m_bUseAlertMode = ReadNumber(store, KEY_USE_ALERT_MODE, 0);
    m_byPtzType = LowByte(ReadNumber(store, KEY_PTZ_TYPE, DEFAULT_PTZ_TYPE));

    SetFieldText(m_szIpLabel, ReadText(store, KEY_IP_LABEL, DEFAULT_IP_LABEL));
    m_bDisplayPbTime = ReadNumber(store, KEY_DISPLAY_PB_TIME, 0);
    m_byRecordFormat = ReadText(store, KEY_RECORD_FORMAT, RECORD_FORMAT_TEXT_RAW) ==
                               QLatin1String(RECORD_FORMAT_TEXT_MJPEG)
                           ? RECORD_FORMAT_MJPEG
                           : RECORD_FORMAT_RAW;
    const QString savePassword = ReadText(store, KEY_SAVE_PASSWORD, SAVE_PASSWORD_TEXTS[0]);
    m_bySavePassword = SAVE_PASSWORD_KEYRING;
    for (uint8_t by = 0; by < std::size(SAVE_PASSWORD_TEXTS); ++by)
        if (savePassword == QLatin1String(SAVE_PASSWORD_TEXTS[by]))
            m_bySavePassword = by;
    m_tilePlacement = TilePlacement::FromText(ReadText(store, KEY_TILE_PLACEMENT, ""));
    store.endGroup();

    for (int r = 1; r < MAX_RECORDERS; ++r) {
        RecorderLink &link = m_aExtraRecorders[r - 1];
        QString fault = ReadExtraRecorder(store, r, link);
        // Two links to one recorder would show its channels twice.
        for (int other = 0; fault.isEmpty() && other < r; ++other) {
            const RecorderLink earlier = RecorderLinkOf(*this, other);
            if (IsRecorderConfigured(*this, other) &&
                DottedQuad(FieldText(earlier.m_szHostIP)) == FieldText(link.m_szHostIP) &&
                earlier.m_nHostPort == link.m_nHostPort)
                fault = QStringLiteral("Recorder %1 left out: same address and port as recorder %2")
                            .arg(r + 1)
                            .arg(other + 1);
        }
        if (!fault.isEmpty())
            SetFieldText(link.m_szHostIP, QString());
        SetFieldText(m_aszRecorderFault[r - 1], kFaultWidth, fault);
    }
}

int ClientSettings::SaveSettings() const
{
    std::array<QString, MAX_RECORDERS> aInClear;
    for (int r = 0; r < MAX_RECORDERS; ++r)
        aInClear[std::size_t(r)] = FieldText(RecorderLinkOf(*this, r).m_szPassword);
    return SaveSettings(aInClear);
}

int ClientSettings::SaveSettings(const std::array<QString, MAX_RECORDERS> &aStoredPasswords) const
{
    QSettings store{QString::fromLatin1(SETTINGS_ORGANIZATION),
                    QString::fromLatin1(SETTINGS_APPLICATION)};
    KeepStorePrivate(store.fileName());
    store.beginGroup(QLatin1String(SETTINGS_SECTION));

    store.setValue(QLatin1String(KEY_RECORD_DURATION), int(m_byRecordDuration));
    store.setValue(QLatin1String(KEY_USER_ID), FieldText(m_szUserID));
    store.setValue(QLatin1String(KEY_PASSWORD), aStoredPasswords[0]);
    store.setValue(QLatin1String(KEY_RECORD_PATH), FieldText(m_szRecordPath));
    store.setValue(QLatin1String(KEY_HOST_IP), FieldText(m_szHostIP));
    store.setValue(QLatin1String(KEY_HOST_PORT), int(m_nHostPort));
    store.setValue(QLatin1String(KEY_ROTATE_INTERVAL), int(m_byRotateInterval));
    store.setValue(QLatin1String(KEY_RECONNECT_COUNT), int(m_byReconnectCount));
    store.setValue(QLatin1String(KEY_REQUEST_SPEED), int(m_byRequestSpeed));
    store.setValue(QLatin1String(KEY_USE_FULL_SCREEN), int(m_bUseFullScreen));
    store.setValue(QLatin1String(KEY_USE_ALERT_MODE), int(m_bUseAlertMode));
    store.setValue(QLatin1String(KEY_PTZ_TYPE), int(m_byPtzType));
    store.setValue(QLatin1String(KEY_IP_LABEL), FieldText(m_szIpLabel));
    store.setValue(QLatin1String(KEY_DISPLAY_PB_TIME), int(m_bDisplayPbTime));
    store.setValue(QLatin1String(KEY_RECORD_FORMAT),
                   QLatin1String(m_byRecordFormat == RECORD_FORMAT_MJPEG ? RECORD_FORMAT_TEXT_MJPEG
                                                                         : RECORD_FORMAT_TEXT_RAW));
    store.setValue(
        QLatin1String(KEY_SAVE_PASSWORD),
        QLatin1String(
            SAVE_PASSWORD_TEXTS[m_bySavePassword < std::size(SAVE_PASSWORD_TEXTS) ? m_bySavePassword
                                                                                  : 0]));
    // Only a layout placed by hand has an entry; none leaves no key behind.
    if (const QString placement = m_tilePlacement.ToText(); !placement.isEmpty())
        store.setValue(QLatin1String(KEY_TILE_PLACEMENT), placement);
    else
        store.remove(QLatin1String(KEY_TILE_PLACEMENT));
    store.endGroup();

    for (int r = 1; r < MAX_RECORDERS; ++r) {
        if (m_aszRecorderFault[r - 1][0] != '\0')
            continue; // left out at load and not set since: the stored group stays
        if (IsRecorderConfigured(*this, r))
            WriteExtraRecorder(store, r, m_aExtraRecorders[r - 1],
                               aStoredPasswords[std::size_t(r)]);
        else
            store.remove(RecorderGroup(r));
    }
    store.sync();
    return store.status() == QSettings::NoError ? 1 : 0;
}
