#include "simsession.h"

#include "eventlist.h"
#include "picturefactory.h"
#include "requestlog.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace sim {

namespace {

// PTZ movement per second at panel speed value 1 (word 2 of the request is the
// panel speed + 1, so 2..5 in practice).
constexpr double PTZ_RATE[4] = {40.0, 20.0, 0.25, 10.0}; // pan px, tilt px, zoom x, focus
const char *const PTZ_AXIS_NAME[4] = {"pan", "tilt", "zoom", "focus"};

// How long before its due time a picture may be made.
constexpr qint64 PREPARE_AHEAD_NS = 20 * 1000 * 1000;

// Replies waiting for a client that sends requests but does not read. An event list
// may be megabytes for a 60-byte request, so the queue is capped and such a client is
// cut off instead of growing the simulator without bound.
constexpr qint64 MAX_QUEUED_REPLY_BYTES = 64LL << 20;

QDateTime WholeSeconds(const QDateTime &t)
{
    return t.addMSecs(-t.time().msec());
}

} // namespace

SimSession::SimSession(QTcpSocket *socket, int connectionId, const SimOptions &options,
                       PictureFactory *factory, RequestLog *log, QObject *parent)
    : QObject(parent), m_socket(socket), m_conn(connectionId), m_options(options),
      m_factory(factory), m_log(log), m_versionCode(VersionCodeOfText(options.versionText)),
      m_playClock(options.rangeStart, options.rangeEnd)
{
    m_socket->setParent(this);
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    PacingOptions pacing;
    pacing.gapMs = options.gapMs;
    pacing.splitHeader = options.splitHeader;
    pacing.coalesce = options.coalesce;
    pacing.trickleBytes = options.trickleBytes;
    pacing.trickleMs = options.trickleMs;
    m_pacer = new PacketPacer(m_socket, pacing, this);

    m_pictureTimer.setSingleShot(true);
    m_pictureTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pictureTimer, &QTimer::timeout, this, &SimSession::PumpPictures);
    connect(m_pacer, &PacketPacer::Idle, this, &SimSession::PumpPictures);
    connect(m_pacer, &PacketPacer::PictureWritten, this, &SimSession::OnPictureWritten);
    connect(&m_alertTimer, &QTimer::timeout, this, &SimSession::SendAlert);
    connect(&m_startTimeTimer, &QTimer::timeout, this, &SimSession::SendStartTime);
    connect(m_socket, &QTcpSocket::readyRead, this, &SimSession::OnReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        StopStream();
        m_alertTimer.stop();
        m_startTimeTimer.stop();
        m_log->LogEvent(m_conn, QStringLiteral("close"));
        emit Finished();
    });
    for (PtzState &p : m_ptz)
        p.axis[2].position = 1.0; // zoom 1x
    m_ptzClock.start();
    m_log->LogEvent(m_conn, QStringLiteral("connect"));
}

void SimSession::OnReadyRead()
{
    m_framer.Feed(m_socket->readAll());
    QByteArray chunk;
    for (;;) {
        RequestFramer::Result r = m_framer.Next(&chunk);
        if (r == RequestFramer::NeedMore)
            break;
        if (r == RequestFramer::Garbage) {
            m_log->LogEvent(m_conn, QStringLiteral("garbage"), chunk);
            continue;
        }
        const Request request = ParseRequest(chunk);
        QString action = Handle(request);
        if (m_options.neverAnswer)
            action += QStringLiteral(" (never-answer: nothing sent)");
        m_log->LogRequest(m_conn, request, action);
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            break; // cut off while handling: the rest is not answered
    }
}

QString SimSession::Handle(const Request &r)
{
    if (r.command == COMMAND_LOGIN)
        return OnLogin(r);
    if (!m_loggedIn)
        return QStringLiteral("ignored: not logged in");
    switch (r.command) {
    case COMMAND_LIVE:
        return OnLive(r);
    case COMMAND_RECORDER:
        return OnRecorder(r);
    case COMMAND_STOP:
        return OnStop();
    case COMMAND_EVENT:
        return OnEvent();
    case COMMAND_PTZ:
        return OnPtz(r);
    case COMMAND_ALERT:
        return OnAlert(r);
    case COMMAND_START_TIME:
        SendStartTime();
        return QStringLiteral("start time sent");
    case COMMAND_WATCHDOG:
        return QStringLiteral("keep-alive");
    default:
        return QStringLiteral("ignored: unknown code");
    }
}

QString SimSession::OnLogin(const Request &r)
{
    const bool match =
        m_options.anyLogin || (r.userId.compare(m_options.user, Qt::CaseInsensitive) == 0 &&
                               r.password == m_options.password);
    const bool accepted = match && !m_options.refuseLogin;
    Words w{};
    w[0] = accepted ? 1 : 0;
    w[1] = std::uint32_t(m_options.channelInfo & 0xFF) |
           std::uint32_t(m_options.fieldRow & 0xFF) << 8 |
           std::uint32_t(m_options.channelNum & 0xFF) << 24;
    PutTimeRange(w, m_versionCode, m_options.rangeStart, m_options.rangeEnd);
    Send(COMMAND_R_LOGIN, w);
    m_loggedIn = accepted;
    if (accepted && m_options.pushStartTimeMs > 0)
        m_startTimeTimer.start(m_options.pushStartTimeMs);
    return accepted ? QStringLiteral("login accepted") : QStringLiteral("login refused");
}

QString SimSession::OnLive(const Request &r)
{
    m_allChannels = r.words[0] == 1;
    if (!m_allChannels) {
        if (r.words[1] < 1 || r.words[1] > 4) {
            StopStream();
            return QStringLiteral("live: no channel %1, nothing sent").arg(r.words[1]);
        }
        m_channelIndex = int(r.words[1]) - 1;
    }
    StartStream(Stream::Live);
    return m_allChannels ? QStringLiteral("live: all channels")
                         : QStringLiteral("live: channel %1").arg(m_channelIndex + 1);
}

QString SimSession::OnRecorder(const Request &r)
{
    const int state = int(r.words[3] >> 8 & 0xFF);
    if (state == 0) {
        StopStream();
        return QStringLiteral("playback: stop");
    }
    const std::uint32_t channel = r.words[0];
    if (m_options.playbackError) {
        StopStream();
        SendPlaybackStatus(PLAYBACK_ERROR);
        return QStringLiteral("playback: status 0 (error)");
    }
    if (channel > 4) {
        StopStream();
        SendPlaybackStatus(PLAYBACK_NO_PICTURE);
        return QStringLiteral("playback: no channel %1, status 2").arg(channel);
    }
    const int status = m_playClock.Start(r.words[1], r.words[2], r.words[3], m_versionCode);
    if (status != PLAYBACK_PICTURE) {
        StopStream();
        SendPlaybackStatus(status);
        return QStringLiteral("playback: status %1").arg(status);
    }
    m_allChannels = channel == 0;
    m_channelIndex = m_allChannels ? 0 : int(channel) - 1;
    StartStream(Stream::Playback);
    return QStringLiteral("playback: %1 from %2 %3 %4X")
        .arg(m_allChannels ? QStringLiteral("all channels")
                           : QStringLiteral("channel %1").arg(channel))
        .arg(m_playClock.StartTime().toString(Qt::ISODate))
        .arg(m_playClock.Reverse() ? QStringLiteral("reverse") : QStringLiteral("forwards"))
        .arg(m_playClock.Rate());
}

QString SimSession::OnStop()
{
    StopStream();
    Words w{};
    w[0] = 1;
    Send(COMMAND_R_STOP, w);
    return QStringLiteral("stop confirmed");
}

QString SimSession::OnEvent()
{
    // The list depends on the options only; a long one takes a while to make.
    if (m_eventReply.isEmpty())
        m_eventReply =
            BuildReply(m_options.versionText, COMMAND_R_EVENT, Words{},
                       MakeEventList(m_options.events, m_options.rangeStart, m_options.rangeEnd));
    SendPacket(m_eventReply);
    return QStringLiteral("event list: %1 records").arg(m_options.events);
}

QString SimSession::OnPtz(const Request &r)
{
    const std::uint32_t axis = r.words[0], direction = r.words[1];
    if (axis > 3)
        return QStringLiteral("ptz: unknown axis %1 ignored").arg(axis);
    const int channel = PtzChannel();
    PoseOf(channel); // bring positions up to now before the velocity changes
    PtzAxis &a = m_ptz[channel].axis[axis];
    const double speed = std::max<std::uint32_t>(r.words[2], 1);
    if (direction == 2)
        a.velocity = 0;
    else
        a.velocity = (direction == 1 ? 1 : -1) * PTZ_RATE[axis] * speed;
    return QStringLiteral("ptz: channel %1 %2 %3 speed %4 protocol %5")
        .arg(channel + 1)
        .arg(PTZ_AXIS_NAME[axis])
        .arg(direction == 2 ? QStringLiteral("stop")
                            : QStringLiteral("direction %1").arg(direction))
        .arg(r.words[2])
        .arg(r.words[3]);
}

QString SimSession::OnAlert(const Request &r)
{
    if (r.words[1] == 1) {
        m_alertTimer.start(m_options.alertIntervalMs);
        SendAlert();
        return QStringLiteral("alert reports on");
    }
    m_alertTimer.stop();
    return QStringLiteral("alert reports off");
}

void SimSession::Send(std::uint32_t command, const Words &words, const QByteArray &data)
{
    SendPacket(BuildReply(m_options.versionText, command, words, data));
}

void SimSession::SendPacket(const QByteArray &packet)
{
    if (m_options.neverAnswer || m_silent || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_pacer->QueuedBytes() + packet.size() > MAX_QUEUED_REPLY_BYTES) {
        m_log->LogEvent(m_conn, QStringLiteral("overflow"));
        if (m_options.verbose)
            std::fprintf(stderr, "connection %d: the client reads nothing, cut off\n", m_conn);
        StopStream();
        m_socket->abort();
        return;
    }
    m_pacer->Enqueue(packet, false);
}

void SimSession::StopStream()
{
    m_stream = Stream::None;
    m_prepared = Prepared();
    m_pictureTimer.stop();
    m_pacer->DropQueuedPictures();
}

void SimSession::StartStream(Stream stream)
{
    m_pacer->DropQueuedPictures();
    m_prepared = Prepared();
    m_stream = stream;
    m_rotation = 0;
    m_streamClock.start();
    m_nextDueNs = 0;
    if (m_options.closeAfter == 0) {
        m_socket->disconnectFromHost();
        return;
    }
    PumpPictures();
}

void SimSession::PumpPictures()
{
    if (m_stream == Stream::None || m_options.neverAnswer ||
        m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_options.silentAfter >= 0 && m_picturesQueued >= m_options.silentAfter)
        m_silent = true;
    if (m_silent)
        return;
    // The next picture is made while the previous one leaves and the pause runs, so
    // the rate is bounded by the slower of the two rather than by their sum; at low
    // rates only shortly before it is due, so that its time is not stale.
    if (!m_prepared.ready && m_nextDueNs - m_streamClock.nsecsElapsed() < PREPARE_AHEAD_NS)
        PreparePicture();
    if (!m_pacer->CanAcceptPicture())
        return; // the pacer's Idle() calls again
    const qint64 now = m_streamClock.nsecsElapsed();
    if (now < m_nextDueNs) {
        ScheduleDue();
        return;
    }
    // A picture that left late is made up for by the next ones, up to two intervals
    // of debt; after a longer stall the rate restarts from now instead of bursting.
    const qint64 interval = qint64(1e9 / m_options.fps);
    m_nextDueNs = std::max(m_nextDueNs + interval, now - 2 * interval);
    SendPrepared();
    if (m_stream == Stream::None || m_silent)
        return;
    if (m_nextDueNs - m_streamClock.nsecsElapsed() < PREPARE_AHEAD_NS)
        PreparePicture();
    // While packets gather for one write the pacer stays ready for more.
    if (m_pacer->CanAcceptPicture())
        ScheduleDue();
}

void SimSession::ScheduleDue()
{
    const qint64 wait = m_nextDueNs - m_streamClock.nsecsElapsed();
    const qint64 lead = m_prepared.ready ? 0 : PREPARE_AHEAD_NS / 2;
    m_pictureTimer.start(int(std::max<qint64>(0, wait - lead + 999999) / 1000000));
}

void SimSession::PreparePicture()
{
    m_prepared = Prepared();
    m_prepared.ready = true;
    int ch = m_channelIndex;
    if (m_allChannels) {
        ch = m_rotation;
        m_rotation = (m_rotation + 1) % 4;
        if (ch + 1 == m_options.freezeChannel && m_picturesQueued >= m_options.freezeAfter) {
            ch = m_rotation; // the frozen channel's turn goes to the next one
            m_rotation = (m_rotation + 1) % 4;
        }
    }
    PictureRequest pr;
    pr.channelIndex = ch;
    pr.oddField = m_nextOdd[ch];
    pr.pose = PoseOf(ch);
    Words w{};
    if (m_stream == Stream::Live) {
        const QDateTime now = QDateTime::currentDateTime();
        pr.time = WholeSeconds(now);
        pr.phaseStep = now.toMSecsSinceEpoch() * SCENE_STEPS_PER_SECOND / 1000;
        pr.mode = QStringLiteral("LIVE");
        const QByteArray jpeg = m_factory->Picture(pr);
        w[1] = ++m_sequence;
        w[2] = CalendarSecondsOf(now);
        w[3] = std::uint32_t(ch + 1);
        m_prepared.packet = BuildReply(m_options.versionText, COMMAND_R_LIVE, w, jpeg);
        m_prepared.tag = (std::uint32_t(ch + 1) << 24) | (w[1] & 0xFFFFFF);
    } else {
        bool ended = false;
        const QDateTime t = m_playClock.At(m_streamClock.elapsed(), &ended);
        if (ended) {
            m_prepared.endOfRecording = true;
            return;
        }
        pr.time = WholeSeconds(t);
        pr.phaseStep = m_playClock.MsecsIntoRange(t) * SCENE_STEPS_PER_SECOND / 1000;
        pr.mode = QStringLiteral("PLAY %1 %2X")
                      .arg(m_playClock.Reverse() ? QStringLiteral("<<") : QStringLiteral(">>"))
                      .arg(m_playClock.Rate());
        const QByteArray jpeg = m_factory->Picture(pr);
        PutPictureTime(w, m_versionCode, ch, t);
        w[3] = PLAYBACK_PICTURE;
        m_prepared.packet = BuildReply(m_options.versionText, COMMAND_R_RECORDER, w, jpeg);
        if (m_options.pictureCode) // the send log names the picture by its code (+ 2^23)
            m_prepared.tag = (std::uint32_t(ch + 1) << 24) | 0x800000u |
                             std::uint32_t(pr.phaseStep % PICTURE_CODE_MODULO);
    }
    m_nextOdd[ch] = !m_nextOdd[ch];
}

void SimSession::SendPrepared()
{
    Prepared p = m_prepared;
    m_prepared = Prepared();
    if (p.endOfRecording) {
        StopStream();
        SendPlaybackStatus(PLAYBACK_END);
        return;
    }
    ++m_picturesQueued;
    if (m_options.oversizeEvery > 0 && m_picturesQueued % m_options.oversizeEvery == 0)
        PatchPacketSize(p.packet, m_options.oversizeSize ? m_options.oversizeSize
                                                         : std::uint32_t(p.packet.size() + 65536));
    m_pacer->Enqueue(p.packet, true, p.tag);
    if (m_options.garbageEvery > 0 && m_picturesQueued % m_options.garbageEvery == 0)
        SendGarbage();
    if (m_options.silentAfter >= 0 && m_picturesQueued >= m_options.silentAfter)
        m_silent = true;
}

void SimSession::SendPlaybackStatus(int status)
{
    Words w{};
    w[3] = std::uint32_t(status);
    Send(COMMAND_R_RECORDER, w);
}

void SimSession::OnPictureWritten(quint32 tag)
{
    static QFile sendLog;
    if (tag != 0 && !m_options.sendLog.isEmpty()) {
        if (!sendLog.isOpen()) {
            sendLog.setFileName(m_options.sendLog);
            sendLog.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        sendLog.write(QByteArray::number(qlonglong(ns)) + ' ' + QByteArray::number(tag & 0xFFFFFF) +
                      ' ' + QByteArray::number(tag >> 24) + '\n');
        sendLog.flush();
    }
    ++m_picturesWritten;
    emit PictureSent();
    if (m_options.closeAfter > 0 && m_picturesWritten >= m_options.closeAfter) {
        StopStream();
        m_socket->disconnectFromHost();
    }
}

void SimSession::SendAlert()
{
    static const int valid[] = {1, 2, 3, 4};
    static const int withBad[] = {1, 2, 0, 3, 4, 5};
    const int *channels = m_options.alertBadChannels ? withBad : valid;
    const int n = m_options.alertBadChannels ? 6 : 4;
    const int ch = channels[m_alertTick % n];
    const int round = m_alertTick / n;
    ++m_alertTick;
    const std::uint32_t motion = std::uint32_t((round + ch) % 2);
    const std::uint32_t loss = std::uint32_t(round % 3 == ch % 3);
    const std::uint32_t alarm = std::uint32_t((round / 2 + ch) % 2);
    Words w{};
    w[0] = std::uint32_t(ch);
    w[1] = motion << 8 | loss << 16 | alarm << 24;
    Send(COMMAND_R_ALERT, w);
}

void SimSession::SendStartTime()
{
    Words w{};
    PutTimeRange(w, m_versionCode, m_options.rangeStart, m_options.rangeEnd);
    Send(COMMAND_R_START_TIME, w);
}

void SimSession::SendGarbage()
{
    if (m_options.neverAnswer || m_silent)
        return;
    QRandomGenerator *rng = QRandomGenerator::global();
    QByteArray bytes;
    switch (m_garbageTurn++ % 4) {
    case 0: { // random bytes, not a header
        bytes.resize(64 + int(rng->bounded(2000)));
        for (char &c : bytes)
            c = char(rng->bounded(256));
        bytes[0] = 'X';
        break;
    }
    case 1: { // a header with an invalid packet type
        QByteArray junk(200, '\x5A');
        bytes = BuildReply(m_options.versionText, COMMAND_R_LIVE, Words{}, junk);
        PatchPacketType(bytes, 7);
        break;
    }
    case 2: // shorter than header + payload
        bytes = BuildReply(m_options.versionText, COMMAND_R_ALERT, Words{}).left(40);
        break;
    default: // a reply code the client does not know
        bytes = BuildReply(m_options.versionText, 0x1F00, Words{});
        break;
    }
    m_pacer->Enqueue(bytes, false);
}

int SimSession::PtzChannel() const
{
    return m_stream != Stream::None && !m_allChannels ? m_channelIndex : 0;
}

ScenePose SimSession::PoseOf(int channelIndex)
{
    const qint64 nowMs = m_ptzClock.elapsed();
    const double dt = double(nowMs - m_ptzUpdatedMs) / 1000.0;
    m_ptzUpdatedMs = nowMs;
    const double limit[4][2] = {{-1e9, 1e9},
                                {-m_factory->Height() / 2.0, m_factory->Height() / 2.0},
                                {1.0, 4.0},
                                {-100.0, 100.0}};
    for (PtzState &s : m_ptz)
        for (int i = 0; i < 4; ++i) {
            PtzAxis &a = s.axis[i];
            a.position = std::clamp(a.position + a.velocity * dt, limit[i][0], limit[i][1]);
        }
    const PtzState &s = m_ptz[channelIndex];
    ScenePose pose;
    pose.pan = s.axis[0].position;
    pose.tilt = s.axis[1].position;
    pose.zoom = s.axis[2].position;
    pose.focus = s.axis[3].position;
    return pose;
}

} // namespace sim
