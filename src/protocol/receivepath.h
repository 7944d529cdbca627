#pragma once
// The inbound half of the protocol client: recognises packets in what the socket
// delivers, dispatches the small replies, reassembles the picture and event-list
// data blocks that span several reads, decodes finished pictures and files them
// under the channel their marker names, and writes the event list to
// "AlarmEvent.am".
//
// Theory of operation. PacketFramer turns socket reads into logical reads; each one
// either starts a packet (header + payload + the block bytes present) or continues
// the data block of the packet being assembled. A packet's block is announced by its
// header (expected = nPacketSize - 60) and collected in m_pImageDataBuf until the
// received count reaches the expected one; then the current request kind decides
// what it is: 2 live picture, 3 playback picture, 4 event list. The session state
// that both halves of the client share (current kind, stop pending, counters, ...)
// lives in SessionState; everything the receive path does to the rest of the client
// goes through IReceiveHost, so the path can be driven byte by byte in tests.
//
// Pictures that complete in the read carrying their header must be at least 3072
// bytes (shorter ones are taken as damaged and dropped). Data blocks above
// MAX_DATA_BLOCK are skipped without being stored.

#include "imaging/cjpegimage.h"
#include "protocol/packet.h"
#include "protocol/packetframer.h"
#include "settings/eventlogfile.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

class IClientView;
class IArchiveView;

// State shared by the session and the receive path (members of CNetClientWnd).
struct SessionState {
    uint8_t m_nVerifyVersionInfo = VERSION_CODE_INITIAL;
    uint8_t m_nCurrentChannel = 0; // channel of the last picture reply
    uint8_t m_nDecodeChannel = 0;  // result of the last decode (255 = undecodable, 16 = dropped)
    uint8_t byCurrentKind = 0;     // RequestKind whose replies are expected
    uint8_t bySavedKind = 0;       // current kind when an event list was requested
    bool bStopPending = false;     // picture replies are dropped meanwhile
    uint16_t wPlaybackCounter = 0; // high byte 1 = counting, low byte = count
    uint8_t bySkipCounter = 0;     // 1 = drop the second valid playback picture
    bool m_bNoCheckJpeg = false;   // live pictures are filed under the reply's channel
    uint32_t dwLastAlertWord = 0;  // channel | motion << 8 | loss << 16 | alarm << 24
    uint32_t dwLiveWord1 = 0;      // words 1 and 2 of the last live reply, kept
    uint32_t dwLiveWord2 = 0;
};

// What the receive path needs from the rest of the client.
class IReceiveHost {
  public:
    virtual ~IReceiveHost() = default;
    virtual SessionState &State() = 0;
    virtual IClientView *View() = 0;
    virtual IArchiveView *Archive() = 0;
    virtual bool UseAlertMode() = 0; // the view's m_bUseAlertMode (false without a view)
    virtual void ArmResponseTimer(bool bOn) = 0;
    virtual void KillStopTimer() = 0;
    virtual void StartReconnect(bool bFast) = 0;
    virtual void OnLoginReply(const PacketHeader &header, const PayloadWords &words) = 0;
};

class CReceivePath {
  public:
    static constexpr std::size_t BUFFER_SIZE = 9129; // initial block capacity
    static constexpr uint32_t MAX_DATA_BLOCK = PacketFramer::MAX_DATA_BLOCK; // larger: skipped
    static constexpr uint32_t MIN_FIRST_READ_PICTURE = 3072;
    static constexpr uint32_t MAX_READ = 65536;
    static constexpr int FRAME_RECORDS = 16;
    static constexpr uint8_t NO_CHANNEL = 16;
    static constexpr const char *EVENT_FILE_NAME = CEventLogFile::FILE_NAME;
    static constexpr int NOTICE_PICTURES = 3; // the notice goes after the fourth picture

    explicit CReceivePath(IReceiveHost &host);
    ~CReceivePath();
    CReceivePath(const CReceivePath &) = delete;
    CReceivePath &operator=(const CReceivePath &) = delete;

    // Buffers exist from a connection's start until Disconnect(true).
    void AllocateBuffers();
    void FreeBuffers();
    bool HasBuffers() const { return m_pImageDataBuf != nullptr; }

    // One socket read (any length; the socket adapter gives at most 9129 bytes).
    void OnRead(const uint8_t *pData, std::size_t nLength);
    // Holds back the reads (and the rest of the current one) until ResumeReads, as
    // if the thread were busy: the pause between a login and the first request.
    void PauseReads() { m_framer.Pause(); }
    void ResumeReads() { m_framer.Resume(); }
    // Forgets partial headers and the packet in progress (new connection).
    void ResetStream()
    {
        m_framer.Reset();
        m_bSkipBlock = false;
    }
    // Expected and received lengths 0, both picture buffers zeroed over their capacity.
    void EmptyReassembly();
    // True when the reassembly is empty and both buffers are zero over their capacity.
    bool IsReassemblyClear() const;

    void SetFieldRow(uint32_t dwSelector) { m_liveDecoder.SetFieldRow(dwSelector); }
    // Where received event lists go (CEventLogFile's own name unless set).
    void SetEventFile(const QString &szPath) { m_szEventFile = szPath; }
    // The size live pictures of channel index nIndex (0..15) are drawn at (0 x 0 =
    // unknown); they are decoded at the smallest scale that covers it. From the next
    // picture on.
    void SetDrawnSize(int nIndex, int nWidth, int nHeight);
    uint32_t FieldRow() const { return m_liveDecoder.FieldRow(); }

    const CJpegImage &FrameRecord(int nIndex) const { return *m_records[nIndex]; }
    const CJpegImage &LiveDecoder() const { return m_liveDecoder; }
    const CJpegImage &PlaybackDecoder() const { return m_playDecoder; }
    std::size_t Capacity() const { return m_nCapacity; }
    uint32_t Expected() const { return m_nExpected; }
    uint32_t Received() const { return m_nReceived; }
    const PacketFramer &Framer() const { return m_framer; }

    // Pictures handed to the windows since the client was made, by channel index:
    // live (0..15) and playback (0..3). Read by the program's statistics line.
    struct PictureCounts {
        std::array<uint64_t, FRAME_RECORDS> live{};
        std::array<uint64_t, 4> playback{};
    };
    const PictureCounts &Counts() const { return m_counts; }

  private:
    void OnLogicalRead(const uint8_t *pData, std::size_t nLength, bool bStartsPacket);
    void NewPacket(const uint8_t *pData, std::size_t nLength);
    void Continuation(const uint8_t *pData, std::size_t nLength);
    bool HandlePayload(); // false: drop the read without the after-read step
    void AnnounceBlock(const uint8_t *pData, std::size_t nLength);
    void AfterRead();
    void FinishBlock(bool bFirstRead);
    void FinishLive(bool bFirstRead);
    void FinishPlayback(bool bFirstRead);
    void FinishEventList();
    bool GrowBuffers(uint32_t nLength);
    // Files the decoder's picture under record nIndex; false when it holds no pixels.
    bool FilePicture(CJpegImage &decoder, int nIndex);
    struct ChannelPicture MakePicture(int nIndex) const;
    bool ArchivePlaying();

    IReceiveHost &m_host;
    PacketFramer m_framer;
    PacketHeader m_header;    // header copy of the packet being handled
    PayloadWords m_payload{}; // payload copy
    std::unique_ptr<uint8_t[]> m_pImageDataBuf;
    std::unique_ptr<uint8_t[]> m_pImageWorkBuf; // what the decoder reads
    std::size_t m_nCapacity = 0;
    uint32_t m_nExpected = 0;
    uint32_t m_nReceived = 0;
    std::size_t m_nDirty = 0;  // both buffers are zero from here to their capacity
    bool m_bSkipBlock = false; // the current packet's block is too large and skipped
    CJpegImage m_liveDecoder;
    CJpegImage m_playDecoder;
    std::array<std::unique_ptr<CJpegImage>, FRAME_RECORDS> m_records;
    CJpegImage::DrawnSizes m_drawn;
    PictureCounts m_counts;
    QString m_szEventFile = QString::fromLatin1(CEventLogFile::FILE_NAME);
};
