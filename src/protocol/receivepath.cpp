#include "protocol/receivepath.h"

#include "protocol/clientviews.h"
#include "settings/eventlogfile.h"

#include <algorithm>
#include <cstring>
#include <new>

CReceivePath::CReceivePath(IReceiveHost &host)
    : m_host(host), m_framer([this](const uint8_t *pData, std::size_t nLength, bool bStartsPacket) {
          OnLogicalRead(pData, nLength, bStartsPacket);
      })
{
    for (auto &record : m_records)
        record = std::make_unique<CJpegImage>();
}

CReceivePath::~CReceivePath() = default;

void CReceivePath::AllocateBuffers()
{
    if (!m_pImageDataBuf || m_nCapacity != BUFFER_SIZE) {
        m_pImageDataBuf.reset(new uint8_t[BUFFER_SIZE]());
        m_pImageWorkBuf.reset(new uint8_t[BUFFER_SIZE]());
        m_nCapacity = BUFFER_SIZE;
        m_nDirty = 0;
    }
    m_nExpected = 0;
    m_nReceived = 0;
}

void CReceivePath::SetDrawnSize(int nIndex, int nWidth, int nHeight)
{
    if (nIndex >= 0 && nIndex < FRAME_RECORDS)
        m_drawn.size[std::size_t(nIndex)] = CJpegImage::DrawnSize{nWidth, nHeight};
}

void CReceivePath::FreeBuffers()
{
    m_pImageDataBuf.reset();
    m_pImageWorkBuf.reset();
    m_nCapacity = 0;
    m_nExpected = 0;
    m_nReceived = 0;
    m_nDirty = 0;
    ResetStream();
}

void CReceivePath::EmptyReassembly()
{
    m_nExpected = 0;
    m_nReceived = 0;
    // Both buffers are zero beyond m_nDirty, so zeroing that much clears them over
    // their whole capacity. After one large block the capacity stays large, and a
    // full clear would then cost every later picture megabytes of writes.
    if (m_pImageDataBuf && m_nDirty > 0) {
        std::memset(m_pImageDataBuf.get(), 0, m_nDirty);
        std::memset(m_pImageWorkBuf.get(), 0, m_nDirty);
    }
    m_nDirty = 0;
}

bool CReceivePath::IsReassemblyClear() const
{
    if (m_nExpected != 0 || m_nReceived != 0)
        return false;
    for (std::size_t i = 0; i < m_nCapacity; ++i)
        if (m_pImageDataBuf[i] != 0 || m_pImageWorkBuf[i] != 0)
            return false;
    return true;
}

bool CReceivePath::GrowBuffers(uint32_t nLength)
{
    const std::size_t nCapacity = static_cast<std::size_t>(nLength) + 1;
    std::unique_ptr<uint8_t[]> pData(new (std::nothrow) uint8_t[nCapacity]());
    std::unique_ptr<uint8_t[]> pWork(new (std::nothrow) uint8_t[nCapacity]());
    if (!pData || !pWork)
        return false;
    m_pImageDataBuf = std::move(pData);
    m_pImageWorkBuf = std::move(pWork);
    m_nCapacity = nCapacity;
    m_nDirty = 0;
    return true;
}

void CReceivePath::OnRead(const uint8_t *pData, std::size_t nLength)
{
    if (!HasBuffers() || nLength == 0)
        return;
    m_framer.Feed(pData, nLength);
}

void CReceivePath::OnLogicalRead(const uint8_t *pData, std::size_t nLength, bool bStartsPacket)
{
    if (!HasBuffers())
        return; // the link was dropped by an earlier packet of the same read
    if (bStartsPacket)
        NewPacket(pData, nLength);
    else
        Continuation(pData, nLength);
}

bool CReceivePath::ArchivePlaying()
{
    IArchiveView *pArchive = m_host.Archive();
    return pArchive && (pArchive->GetPlayState() & 0xFF) == 1;
}

void CReceivePath::NewPacket(const uint8_t *pData, std::size_t nLength)
{
    SessionState &state = m_host.State();
    m_bSkipBlock = false;
    m_header.Parse(pData, nLength);
    if (nLength < PACKET_MIN_SIZE || nLength > MAX_READ || !m_header.IsValidType()) {
        m_bSkipBlock = true;
        return;
    }
    m_payload = ReadPayloadWords(pData + PACKET_HEADER_SIZE);
    if (m_header.DataBlockLength() > MAX_DATA_BLOCK) {
        // Never stored: the packet's bytes are passed over and the stream goes on.
        m_bSkipBlock = true;
        EmptyReassembly();
        return;
    }

    switch (m_header.nCommand) {
    case COMMAND_R_START_TIME:
        if (IArchiveView *pArchive = m_host.Archive()) {
            const TimeRangeWords range = TimeRangeOf(m_payload);
            pArchive->SetTimeRange(range.a, range.b, range.c, range.d);
            pArchive->RedrawTimeBlock();
        }
        m_bSkipBlock = true;
        break;
    case COMMAND_R_LOGIN:
        m_bSkipBlock = true;
        m_host.OnLoginReply(m_header, m_payload);
        if (!HasBuffers())
            return; // refused: the view has dropped the link
        break;
    case COMMAND_R_ALERT:
        m_bSkipBlock = true;
        if (m_host.View() && m_host.UseAlertMode()) {
            const AlertReply alert = ParseAlertReply(m_payload);
            if (alert.bValid) {
                state.dwLastAlertWord = alert.dwAlertWord;
                m_host.View()->ShowStatus(STATUS_EVENT_REPORT);
            }
        }
        break;
    case COMMAND_R_STOP:
        m_bSkipBlock = true;
        if (IsStopConfirmed(m_payload)) {
            state.bStopPending = false;
            m_host.KillStopTimer();
        }
        m_host.ArmResponseTimer(false);
        break;
    case COMMAND_R_LIVE:
    case COMMAND_R_RECORDER:
    case COMMAND_R_EVENT:
        // A dropped reply's block is skipped to its end: otherwise its later reads
        // would be taken for the rest of an earlier unfinished block.
        if (state.bStopPending || !HandlePayload()) {
            m_bSkipBlock = true;
            return;
        }
        AnnounceBlock(pData, nLength);
        if (!HasBuffers())
            return;
        break;
    default:
        m_bSkipBlock = true;
        break;
    }
    AfterRead();
}

bool CReceivePath::HandlePayload()
{
    SessionState &state = m_host.State();
    IArchiveView *pArchive = m_host.Archive();
    switch (m_header.nCommand) {
    case COMMAND_R_LIVE: {
        state.byCurrentKind = KIND_LIVE;
        const LiveReply live = ParseLiveReply(m_payload);
        state.dwLiveWord1 = live.dwWord1;
        state.dwLiveWord2 = live.dwWord2;
        state.m_nCurrentChannel = live.nChannel;
        m_host.ArmResponseTimer(true);
        return true;
    }
    case COMMAND_R_RECORDER: {
        state.byCurrentKind = KIND_RECORDER;
        if ((state.wPlaybackCounter >> 8) == 1) {
            // Counting replies after a pause request: the recorder should have
            // stopped long ago, so the link is renewed.
            if ((state.wPlaybackCounter & 0xFF) < 20) {
                ++state.wPlaybackCounter;
            } else {
                state.wPlaybackCounter = 0;
                m_host.StartReconnect(true);
                return false;
            }
        }
        const RecorderReply reply = ParseRecorderReply(m_payload, state.m_nVerifyVersionInfo);
        if (reply.bPicture) {
            state.m_nCurrentChannel = reply.nChannel;
            if (pArchive && pArchive->IsActive()) {
                if (state.m_nVerifyVersionInfo == VERSION_CODE_10)
                    pArchive->SetPictureTime(reply.dwSeconds);
                else
                    pArchive->SetPictureTime(m_payload[0], m_payload[1]);
            }
            m_host.ArmResponseTimer(ArchivePlaying());
        } else {
            EmptyReassembly();
            if (pArchive)
                pArchive->ShowEndStatus(reply.byEndStatus);
            m_host.ArmResponseTimer(false);
        }
        return true;
    }
    case COMMAND_R_EVENT:
        state.byCurrentKind = KIND_EVENT;
        m_host.ArmResponseTimer(false);
        return true;
    default:
        return false;
    }
}

void CReceivePath::AnnounceBlock(const uint8_t *pData, std::size_t nLength)
{
    const uint32_t nExpected = m_header.DataBlockLength();
    if (nExpected > m_nCapacity && !GrowBuffers(nExpected)) {
        m_bSkipBlock = true; // out of memory: the block is passed over
        EmptyReassembly();
        return;
    }
    const std::size_t nStored = std::min<std::size_t>(nLength - PACKET_MIN_SIZE, nExpected);
    std::memcpy(m_pImageDataBuf.get(), pData + PACKET_MIN_SIZE, nStored);
    m_nExpected = nExpected;
    m_nReceived = static_cast<uint32_t>(nStored);
    m_nDirty = std::max<std::size_t>(m_nDirty, m_nReceived);
    if (m_nReceived == m_nExpected && m_nExpected != 0)
        FinishBlock(true);
    else if (m_nExpected == 0 && m_header.nCommand == COMMAND_R_EVENT)
        FinishBlock(true); // an empty event list: the file is emptied, not left stale
}

void CReceivePath::Continuation(const uint8_t *pData, std::size_t nLength)
{
    if (m_bSkipBlock)
        return;
    SessionState &state = m_host.State();
    const uint8_t byKind = state.byCurrentKind;
    if (byKind != KIND_LIVE && byKind != KIND_RECORDER && byKind != KIND_EVENT) {
        AfterRead();
        return;
    }
    if (state.bStopPending)
        return;
    if (byKind == KIND_EVENT)
        m_host.ArmResponseTimer(false);
    else if (byKind == KIND_RECORDER)
        m_host.ArmResponseTimer(ArchivePlaying());
    else
        m_host.ArmResponseTimer(true);

    const std::size_t nTake =
        std::min<std::size_t>(nLength, m_nExpected - std::min(m_nReceived, m_nExpected));
    if (nTake > 0) {
        std::memcpy(m_pImageDataBuf.get() + m_nReceived, pData, nTake);
        m_nReceived += static_cast<uint32_t>(nTake);
        m_nDirty = std::max<std::size_t>(m_nDirty, m_nReceived);
        if (m_nReceived == m_nExpected)
            FinishBlock(false);
        if (!HasBuffers())
            return;
    }
    AfterRead();
}

void CReceivePath::AfterRead()
{
    IArchiveView *pArchive = m_host.Archive();
    if (pArchive && pArchive->IsActive())
        pArchive->ToggleReceiveLamp();
    else if (IClientView *pView = m_host.View())
        pView->ToggleReceiveLamp();
}

void CReceivePath::FinishBlock(bool bFirstRead)
{
    SessionState &state = m_host.State();
    if (state.bStopPending)
        return;
    switch (state.byCurrentKind) {
    case KIND_LIVE:
        FinishLive(bFirstRead);
        break;
    case KIND_RECORDER:
        FinishPlayback(bFirstRead);
        break;
    case KIND_EVENT:
        FinishEventList();
        break;
    default:
        break;
    }
}

bool CReceivePath::FilePicture(CJpegImage &decoder, int nIndex)
{
    if (!decoder.Pixels())
        return false;
    return m_records[nIndex]->TakeFrom(decoder);
}

ChannelPicture CReceivePath::MakePicture(int nIndex) const
{
    const CJpegImage &record = *m_records[nIndex];
    ChannelPicture picture;
    picture.pRecord = &record;
    picture.pBits = record.Pixels();
    picture.pHeader = &record.Header();
    picture.byFieldFlag = record.FieldFlag();
    picture.byWidthFlag = record.WidthFlag();
    return picture;
}

void CReceivePath::FinishLive(bool bFirstRead)
{
    SessionState &state = m_host.State();
    IArchiveView *pArchive = m_host.Archive();
    if ((pArchive && pArchive->IsActive()) || state.m_nCurrentChannel > 16)
        return;
    std::memcpy(m_pImageWorkBuf.get(), m_pImageDataBuf.get(), m_nExpected);
    m_nDirty = std::max<std::size_t>(m_nDirty, m_nExpected);
    // The picture is decoded no larger than the tile of the channel it is filed under.
    m_drawn.nNoCheckIndex = state.m_nCurrentChannel;
    uint8_t byChannel =
        m_liveDecoder.Decode(m_pImageWorkBuf.get(), m_nExpected, state.m_bNoCheckJpeg, &m_drawn);
    // Without the marker check the reply's channel decides; a picture that did not
    // decode stays undecodable (the decoder would otherwise show stale pixels).
    if (state.m_bNoCheckJpeg && byChannel != CJpegImage::DECODE_FAILED)
        byChannel = state.m_nCurrentChannel;
    if (bFirstRead && (m_nExpected < MIN_FIRST_READ_PICTURE || !m_header.IsValidType()))
        byChannel = NO_CHANNEL;
    state.m_nDecodeChannel = byChannel;
    if (byChannel < NO_CHANNEL) {
        if (IClientView *pView = m_host.View()) {
            if (FilePicture(m_liveDecoder, byChannel)) {
                ++m_counts.live[byChannel];
                pView->SetChannelPicture(byChannel, MakePicture(byChannel));
                pView->ShowLiveFrame(byChannel);
            }
        }
    }
    EmptyReassembly();
}

void CReceivePath::FinishPlayback(bool bFirstRead)
{
    SessionState &state = m_host.State();
    IArchiveView *pArchive = m_host.Archive();
    if (state.m_nCurrentChannel > 16)
        return;
    if (!pArchive || !pArchive->IsActive()) {
        EmptyReassembly();
        return;
    }
    std::memcpy(m_pImageWorkBuf.get(), m_pImageDataBuf.get(), m_nExpected);
    m_nDirty = std::max<std::size_t>(m_nDirty, m_nExpected);
    uint8_t byChannel = m_playDecoder.Decode(m_pImageWorkBuf.get(), m_nExpected, false);
    if (bFirstRead && (m_nExpected < MIN_FIRST_READ_PICTURE || !m_header.IsValidType()))
        byChannel = NO_CHANNEL;
    state.m_nDecodeChannel = byChannel;
    if (byChannel < NO_CHANNEL) {
        if (state.bySkipCounter > 0) {
            // The second valid picture after a pause, stop or entry is passed over.
            if (++state.bySkipCounter > 2) {
                state.bySkipCounter = 0;
                return;
            }
        }
        if (FilePicture(m_playDecoder, byChannel)) {
            if (byChannel < m_counts.playback.size())
                ++m_counts.playback[byChannel];
            pArchive->SetChannelPicture(byChannel, MakePicture(byChannel));
            pArchive->DrawChannel(byChannel);
        }
        if (pArchive->IsShowingNotice()) {
            const int nPictures = pArchive->GetNoticePictures() + 1;
            pArchive->SetNoticePictures(nPictures);
            if (nPictures > NOTICE_PICTURES) {
                pArchive->SetNoticePictures(0);
                pArchive->SetShowingNotice(false);
                pArchive->ShowNotice(QString(30, QLatin1Char(' ')));
            }
        }
    }
    EmptyReassembly();
}

void CReceivePath::FinishEventList()
{
    SessionState &state = m_host.State();
    state.byCurrentKind = state.bySavedKind;
    // A failed write keeps the previous list; the archive rereads the file either way.
    CEventLogFile(m_szEventFile).Write(m_pImageDataBuf.get(), m_nExpected);
    if (IArchiveView *pArchive = m_host.Archive())
        pArchive->OnEventListReady();
    EmptyReassembly();
}
