#pragma once
// IKeyring: the desktop keyring as the password keeper sees it. Reads, writes and
// removals of one secret under a key, each answered exactly once, later, through
// its callback on the user-interface thread (never from inside the call). The
// program's keyring is QtKeychain under the service "Telvane" (the Secret Service
// on Linux, the Credential Store on Windows), with its insecure fallback off; tests
// hand in a fake that can fail on demand.

#include "settings/clientsettings.h"

#include <QString>

#include <functional>
#include <memory>

enum class KeyringResult {
    Ok,
    NotFound,  // a read or removal found nothing under the key
    Refused,   // the keyring is locked and was not opened, or access was denied
    NoKeyring, // no keyring answers (no Secret Service, no session bus)
    Failed,    // anything else
};

struct KeyringAnswer {
    KeyringResult eResult = KeyringResult::Failed;
    QString szSecret; // a read's password
    QString szError;  // the keyring's own words when it failed
};

class IKeyring {
  public:
    using Done = std::function<void(const KeyringAnswer &)>;
    virtual ~IKeyring() = default;
    virtual void Read(const QString &szKey, Done fnDone) = 0;
    virtual void Write(const QString &szKey, const QString &szSecret, Done fnDone) = 0;
    virtual void Remove(const QString &szKey, Done fnDone) = 0;
};

// The service the program's secrets are kept under.
inline constexpr char KEYRING_SERVICE[] = "Telvane";

// The key of a recorder's password: "<user ID>@<address>:<port>". It names the login
// and the recorder the password was typed for, so a changed address, port or user
// finds nothing and the password is asked for again rather than sent elsewhere.
QString KeyringKey(const RecorderLink &link);

// QtKeychain under KEYRING_SERVICE. Answers still on their way when it is destroyed
// are dropped.
std::unique_ptr<IKeyring> CreateDesktopKeyring();
