#include "simserver.h"

#include "simsession.h"

#include <QTcpSocket>

#include <cstdio>

namespace sim {

SimServer::SimServer(const SimOptions &options, QObject *parent)
    : QObject(parent), m_options(options),
      m_factory(options.width, options.height, options.quality, options.fieldRow, options.scene),
      m_log(options.logFile)
{
    connect(&m_server, &QTcpServer::newConnection, this, &SimServer::OnNewConnection);
    m_factory.SavePictures(options.savePictures, SAVED_PICTURES);
    m_factory.SetPictureCode(options.pictureCode);
}

bool SimServer::Listen(QString *error)
{
    if (!m_options.listen.isLoopback()) { // never serve beyond this machine
        *error = QStringLiteral("refusing to listen on a non-loopback address");
        return false;
    }
    if (!m_options.cameraPictures.isEmpty() && !m_factory.UseCameraPictures(m_options.cameraPictures)) {
        *error = QStringLiteral("no %1x%2 JPEG pictures in %3")
                     .arg(m_options.width)
                     .arg(m_options.height)
                     .arg(m_options.cameraPictures);
        return false;
    }
    if (!m_options.logFile.isEmpty() && !m_log.IsOpen()) {
        *error = QStringLiteral("cannot open the log file %1: %2")
                     .arg(m_options.logFile, m_log.ErrorString());
        return false;
    }
    if (!m_server.listen(m_options.listen, m_options.port)) {
        *error = m_server.errorString();
        return false;
    }
    return true;
}

void SimServer::EnableStats()
{
    m_statsClock.start();
    connect(&m_statsTimer, &QTimer::timeout, this, [this] {
        const double secs = m_statsClock.restart() / 1000.0;
        std::fprintf(stderr, "STATS %.1f pictures/s, %lld rendered, %lld cache hits\n",
                     double(m_picturesWritten - m_statsLast) / secs,
                     static_cast<long long>(m_factory.Rendered()),
                     static_cast<long long>(m_factory.CacheHits()));
        std::fflush(stderr);
        m_statsLast = m_picturesWritten;
    });
    m_statsTimer.start(1000);
}

void SimServer::OnNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        const int id = m_nextConnection++;
        if (m_options.refuseConnections) {
            m_log.LogEvent(id, QStringLiteral("refused"));
            socket->close();
            socket->deleteLater();
            continue;
        }
        if (m_options.verbose)
            std::fprintf(stderr, "connection %d from %s:%u\n", id,
                         qPrintable(socket->peerAddress().toString()), socket->peerPort());
        auto *session = new SimSession(socket, id, m_options, &m_factory, &m_log, this);
        connect(session, &SimSession::PictureSent, this, [this] { ++m_picturesWritten; });
        connect(session, &SimSession::Finished, session, &QObject::deleteLater);
    }
}

} // namespace sim
