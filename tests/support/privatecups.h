#pragma once
// A print server of the test's own: cupsd on a unix socket in a temporary folder
// (no browsing, no sharing, no network), started in a mount namespace where
// /etc/cups is that folder, so that the PDF backend (cups-pdf) writes its files
// there too. Queues are made with the PDF driver; this process and the tools it
// runs are pointed at the server through CUPS_SERVER. Needs root (the backend
// runs only as root) and a mount namespace; Start() says why when it cannot run.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

namespace testsupport {

inline const QString PDF_PPD = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");

// Runs a program to its end (at most 10 s); its standard output, or a null string.
inline QString RunTool(const QString &szProgram, const QStringList &args, int *pnExit = nullptr)
{
    QProcess process;
    process.start(szProgram, args);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return QString();
    }
    if (pnExit)
        *pnExit = process.exitCode();
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

inline bool WriteText(const QString &szPath, const QString &szText)
{
    QFile file(szPath);
    return file.open(QIODevice::WriteOnly) && file.write(szText.toUtf8()) == szText.toUtf8().size();
}

class CPrivateCups {
  public:
    // Empty when the server runs; otherwise why it cannot.
    QString Start()
    {
        if (geteuid() != 0)
            return QStringLiteral("the PDF backend runs only for root");
        for (const char *pszTool : {"/usr/sbin/cupsd", "/usr/lib/cups/backend/cups-pdf",
                                    "/usr/bin/pdfimages", "/usr/bin/unshare"})
            if (!QFile::exists(QString::fromLatin1(pszTool)))
                return QStringLiteral("%1 is missing (scripts/deps.sh installs it)").arg(pszTool);
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        const QString t = m_dir.path();
        // Filters run as the server's user, which must reach the spool folder.
        QFile::setPermissions(t, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                     QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                     QFile::ExeGroup);
        for (const char *pszSub :
             {"etc", "spool", "cache", "state", "log", "out", "pdfspool", "client"})
            QDir(t).mkpath(QString::fromLatin1(pszSub));
        m_szSocket = t + QStringLiteral("/cups.sock");
        const bool bWritten =
            WriteText(t + QStringLiteral("/etc/cupsd.conf"),
                      QStringLiteral("LogLevel warn\nListen %1\nBrowsing No\n"
                                     "BrowseLocalProtocols none\nDefaultShared No\n"
                                     "WebInterface No\n<Location />\n Order allow,deny\n"
                                     " Allow all\n</Location>\n<Policy default>\n <Limit All>\n"
                                     "  Order deny,allow\n </Limit>\n</Policy>\n")
                          .arg(m_szSocket)) &&
            WriteText(t + QStringLiteral("/etc/cups-files.conf"),
                      QStringLiteral("ServerRoot %1/etc\nRequestRoot %1/spool\n"
                                     "CacheDir %1/cache\nStateDir %1/state\n"
                                     "ErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                                     "PageLog %1/log/page_log\nFileDevice No\n")
                          .arg(t)) &&
            // Read by the PDF backend from /etc/cups, which is this folder in the
            // server's mount namespace.
            WriteText(t + QStringLiteral("/etc/cups-pdf.conf"),
                      QStringLiteral("Out %1/out\nAnonDirName %1/out\nSpool %1/pdfspool\n"
                                     "Grp root\nLog %1/log\n")
                          .arg(t));
        if (!bWritten)
            return QStringLiteral("cannot write the server's configuration");

        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(QStringLiteral("/usr/bin/unshare"),
                       {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"),
                        QStringLiteral("mount --bind %1/etc /etc/cups && exec /usr/sbin/cupsd -f "
                                       "-c %1/etc/cupsd.conf -s %1/etc/cups-files.conf")
                            .arg(t)});
        if (!m_server.waitForStarted(5000))
            return QStringLiteral("unshare cannot start");
        QElapsedTimer timer;
        timer.start();
        while (!QFile::exists(m_szSocket) && m_server.state() == QProcess::Running &&
               timer.elapsed() < 10000)
            m_server.waitForFinished(50); // a bounded poll of the socket's appearance
        if (!QFile::exists(m_szSocket))
            return QStringLiteral("no private print server (mount namespace or cupsd refused): ") +
                   QString::fromLocal8Bit(m_server.readAll()).trimmed();

        // This process and the tools it runs talk to this server only.
        qputenv("CUPS_SERVER", m_szSocket.toLocal8Bit());
        qputenv("CUPS_SERVERROOT", (t + QStringLiteral("/client")).toLocal8Bit());
        qputenv("HOME", t.toLocal8Bit());
        qunsetenv("LPDEST");
        qunsetenv("PRINTER");
        return QString();
    }

    ~CPrivateCups()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate(); // SIGTERM to the server's pid
            if (!m_server.waitForFinished(5000)) {
                m_server.kill();
                m_server.waitForFinished(2000);
            }
        }
    }

    bool Admin(const QStringList &args)
    {
        int nExit = -1;
        RunTool(QStringLiteral("/usr/sbin/lpadmin"), args, &nExit);
        return nExit == 0;
    }
    void RemoveQueues()
    {
        const QString szQueues = RunTool(QStringLiteral("/usr/bin/lpstat"), {QStringLiteral("-e")});
        for (const QString &szQueue : szQueues.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            Admin({QStringLiteral("-x"), szQueue});
    }
    bool AddQueue(const QString &szName, const QString &szPpd, bool bDefault)
    {
        return Admin({QStringLiteral("-p"), szName, QStringLiteral("-E"), QStringLiteral("-v"),
                      QStringLiteral("cups-pdf:/"), QStringLiteral("-P"), szPpd}) &&
               (!bDefault || Admin({QStringLiteral("-d"), szName}));
    }
    // The jobs the server ever took ("all") or finished ("completed").
    int JobCount(const char *pszWhich = "all")
    {
        const QString szJobs =
            RunTool(QStringLiteral("/usr/bin/lpstat"),
                    {QStringLiteral("-W"), QString::fromLatin1(pszWhich), QStringLiteral("-o")});
        return szJobs.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size();
    }
    QStringList Pdfs() const
    {
        QStringList files;
        for (const QString &szName :
             QDir(m_dir.filePath(QStringLiteral("out"))).entryList({QStringLiteral("*.pdf")}))
            files << m_dir.filePath(QStringLiteral("out/") + szName);
        return files;
    }
    // TELVANE_KEEP_CUPS=1 leaves the server's folder (logs, PDFs) for a look.
    void Keep() { m_dir.setAutoRemove(!qEnvironmentVariableIsSet("TELVANE_KEEP_CUPS")); }
    QString Path(const QString &szName) const { return m_dir.filePath(szName); }

  private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_szSocket;
};

} // namespace testsupport
