#pragma once
// Client-less harness for the recorder simulator tests: starts the built simulator on
// an ephemeral loopback port and talks to it with a raw socket, framing replies by
// their nPacketSize. Blocking waits with generous limits; nothing here is timed
// against the simulator's own pacing except where a test says so.

#include "protocol/packet.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

namespace simtest {

constexpr int WAIT_MS = 10000;

inline void EnsureApp()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_recorder_sim";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// One simulator process for the life of the object.
class SimProcess {
  public:
    explicit SimProcess(QStringList args)
    {
        EnsureApp();
        args << "--port"
             << "0";
        m_process.setProgram(testsupport::simulatorPath());
        m_process.setArguments(args);
        m_process.start();
        if (!m_process.waitForStarted(WAIT_MS))
            return;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < WAIT_MS && !m_process.canReadLine())
            m_process.waitForReadyRead(200);
        const QByteArray line = m_process.readLine().trimmed();
        if (line.startsWith("LISTENING "))
            m_port = quint16(line.mid(10).toUInt());
    }
    ~SimProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(WAIT_MS);
        }
    }
    quint16 Port() const { return m_port; }
    QProcess &Process() { return m_process; }

  private:
    QProcess m_process;
    quint16 m_port = 0;
};

struct Reply {
    PacketHeader header;
    PayloadWords words{};
    QByteArray data;
    QByteArray raw;
    std::string Version() const { return VersionTextString(header.szVersion); }
};

// A raw client connection.
class Link {
  public:
    explicit Link(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_connected = m_socket.waitForConnected(WAIT_MS);
    }
    bool Connected() const { return m_connected; }
    QTcpSocket &Socket() { return m_socket; }

    void SendBytes(const std::vector<std::uint8_t> &bytes)
    {
        m_socket.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
        m_socket.waitForBytesWritten(WAIT_MS);
    }
    void SendRequest(int kind, const PayloadWords &words)
    {
        SendBytes(BuildRequestWords(kind, MakeVersionText(m_version), words));
    }
    void Login(const std::string &user = "admin", const std::string &password = "1")
    {
        RequestValues v;
        v.userId = user;
        v.password = password;
        SendBytes(BuildRequest(KIND_LOGIN, VersionText{}, v));
    }
    void SetVersion(const std::string &version) { m_version = version; }

    // Waits until at least n bytes are buffered; false on timeout or close.
    bool WaitBytes(qint64 n, int timeoutMs = WAIT_MS)
    {
        QElapsedTimer t;
        t.start();
        while (m_buffer.size() < n) {
            if (m_socket.bytesAvailable() == 0 &&
                !m_socket.waitForReadyRead(int(std::max<qint64>(1, timeoutMs - t.elapsed()))))
                return false;
            m_buffer.append(m_socket.readAll());
            if (t.elapsed() > timeoutMs && m_buffer.size() < n)
                return false;
        }
        return true;
    }

    // The next packet framed by its nPacketSize (capped: data blocks above 4 MB are
    // not waited for).
    std::optional<Reply> Next(int timeoutMs = WAIT_MS)
    {
        if (!WaitBytes(qint64(PACKET_MIN_SIZE), timeoutMs))
            return std::nullopt;
        Reply r;
        const auto *p = reinterpret_cast<const std::uint8_t *>(m_buffer.constData());
        r.header.Parse(p, PACKET_HEADER_SIZE);
        const qint64 size = r.header.nPacketSize;
        if (size < qint64(PACKET_MIN_SIZE) || size > (4 << 20))
            return std::nullopt;
        if (!WaitBytes(size, timeoutMs))
            return std::nullopt;
        p = reinterpret_cast<const std::uint8_t *>(m_buffer.constData());
        r.words = ReadPayloadWords(p + PACKET_HEADER_SIZE);
        r.raw = m_buffer.left(int(size));
        r.data = r.raw.mid(int(PACKET_MIN_SIZE));
        m_buffer.remove(0, int(size));
        return r;
    }

    // The next packet with the given code, skipping others (at most maxSkip).
    std::optional<Reply> NextWithCode(std::uint32_t code, int maxSkip = 200)
    {
        for (int i = 0; i <= maxSkip; ++i) {
            auto r = Next();
            if (!r || r->header.nCommand == code)
                return r;
        }
        return std::nullopt;
    }

    // Bytes already received and not yet framed, plus whatever arrives in waitMs.
    QByteArray Drain(int waitMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < waitMs) {
            if (m_socket.waitForReadyRead(int(waitMs - t.elapsed())))
                m_buffer.append(m_socket.readAll());
            else if (m_socket.state() != QAbstractSocket::ConnectedState)
                break;
        }
        m_buffer.append(m_socket.readAll());
        QByteArray all = m_buffer;
        m_buffer.clear();
        return all;
    }

    // Logs in and checks the reply.
    bool LoginOk()
    {
        Login();
        auto r = Next();
        return r && r->header.nCommand == COMMAND_R_LOGIN && r->words[0] == 1;
    }

  private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
    bool m_connected = false;
    std::string m_version = PACKET_VERSION_12;
};

inline PayloadWords Words(std::initializer_list<std::uint32_t> list)
{
    PayloadWords w{};
    int i = 0;
    for (std::uint32_t v : list)
        w[i++] = v;
    return w;
}

} // namespace simtest
