// The desktop keyring through QtKeychain. Each request is one job that deletes
// itself when done; its answer reaches the caller only while this object lives
// (the connection's context), so a late answer after the keeper is gone is dropped.

#include "keyring/keyring.h"

#include <qt6keychain/keychain.h>

#include <QObject>

namespace {

KeyringResult ResultOf(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return KeyringResult::Ok;
    case QKeychain::EntryNotFound:
        return KeyringResult::NotFound;
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
        return KeyringResult::Refused;
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
        return KeyringResult::NoKeyring;
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::OtherError:
        break;
    }
    // On Linux a missing session bus or Secret Service comes back as OtherError;
    // the keeper tells "no keyring" from a failure by whether the keyring answered
    // before.
    return KeyringResult::Failed;
}

class CDesktopKeyring : public IKeyring {
  public:
    void Read(const QString &szKey, Done fnDone) override
    {
        auto *pJob = new QKeychain::ReadPasswordJob(QString::fromLatin1(KEYRING_SERVICE));
        Run(pJob, szKey, std::move(fnDone));
    }
    void Write(const QString &szKey, const QString &szSecret, Done fnDone) override
    {
        auto *pJob = new QKeychain::WritePasswordJob(QString::fromLatin1(KEYRING_SERVICE));
        pJob->setTextData(szSecret);
        Run(pJob, szKey, std::move(fnDone));
    }
    void Remove(const QString &szKey, Done fnDone) override
    {
        auto *pJob = new QKeychain::DeletePasswordJob(QString::fromLatin1(KEYRING_SERVICE));
        Run(pJob, szKey, std::move(fnDone));
    }

  private:
    void Run(QKeychain::Job *pJob, const QString &szKey, Done fnDone)
    {
        pJob->setAutoDelete(true);
        pJob->setInsecureFallback(false); // never a file of our own in clear
        pJob->setKey(szKey);
        QObject::connect(pJob, &QKeychain::Job::finished, &m_context,
                         [fnDone = std::move(fnDone)](QKeychain::Job *pDone) {
                             KeyringAnswer answer;
                             answer.eResult = ResultOf(pDone->error());
                             if (answer.eResult == KeyringResult::Ok) {
                                 if (auto *pRead =
                                         qobject_cast<QKeychain::ReadPasswordJob *>(pDone))
                                     answer.szSecret = pRead->textData();
                             } else {
                                 answer.szError = pDone->errorString();
                             }
                             fnDone(answer);
                         });
        pJob->start(); // queued: the job runs, and answers, from the event loop
    }

    QObject m_context;
};

} // namespace

QString KeyringKey(const RecorderLink &link)
{
    const QString address = FieldText(link.m_szHostIP);
    const QString quad = DottedQuad(address);
    return QStringLiteral("%1@%2:%3")
        .arg(FieldText(link.m_szUserID), quad.isEmpty() ? address : quad)
        .arg(link.m_nHostPort);
}

std::unique_ptr<IKeyring> CreateDesktopKeyring()
{
    return std::make_unique<CDesktopKeyring>();
}
