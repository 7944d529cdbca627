#pragma once
// The simulator's listening socket: accepts clients on a loopback address and gives
// each its own SimSession (or, with --refuse-connections, closes it at once). All
// sessions share one PictureFactory and one request log.

#include "picturefactory.h"
#include "requestlog.h"
#include "simoptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTcpServer>
#include <QTimer>

namespace sim {

class SimServer : public QObject {
    Q_OBJECT
  public:
    SimServer(const SimOptions &options, QObject *parent = nullptr);

    bool Listen(QString *error);
    quint16 Port() const { return m_server.serverPort(); }
    // Prints the pictures per second written in the last second on stderr.
    void EnableStats();

  private:
    void OnNewConnection();

    const SimOptions &m_options;
    QTcpServer m_server;
    PictureFactory m_factory;
    RequestLog m_log;
    int m_nextConnection = 1;
    qint64 m_picturesWritten = 0;
    QTimer m_statsTimer;
    QElapsedTimer m_statsClock;
    qint64 m_statsLast = 0;
};

} // namespace sim
