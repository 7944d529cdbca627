#pragma once
// The simulator's request log: one JSON object per line, flushed per line, so a test
// or a person can follow what a client sent while the simulator runs.
//   request lines: {"time", "conn", "code" ("0x1011"), "name", "type", "size",
//                   "words" (eight numbers), "bytes" (hex of the whole packet),
//                   "action" (what the simulator did), "user" (login only)}
//   other lines:   {"time", "conn", "event" ("connect", "close", "garbage",
//                   "refused"), "bytes" (garbage only)}

#include "wire.h"

#include <QFile>
#include <QString>

namespace sim {

class RequestLog {
  public:
    // An empty name gives a log that writes nothing.
    explicit RequestLog(const QString &fileName);
    bool IsOpen() const { return m_file.isOpen(); }
    QString ErrorString() const { return m_file.errorString(); }

    void LogRequest(int conn, const Request &request, const QString &action);
    void LogEvent(int conn, const QString &event, const QByteArray &bytes = QByteArray());

  private:
    void Write(const QByteArray &line);
    QFile m_file;
};

} // namespace sim
