#pragma once
// The two windows the protocol client talks to, seen from the client: the main view
// and the archive dialog. Each implements one of these interfaces and hands itself
// to CNetClientWnd (SetView / SetArchive); the client holds plain pointers and
// tests both for null before use, so either may be absent.
//
// Everything here runs on the user-interface thread.

#include "imaging/bitmapinfo.h"

#include <QString>

#include <cstdint>

struct ClientSettings;
class CJpegImage;

// One decoded picture as the client hands it over. The pointers lead into the
// client's frame record for that channel index and stay valid until the next
// picture of the same index arrives (or the client is destroyed).
struct ChannelPicture {
    const CJpegImage *pRecord = nullptr;       // the frame record itself
    const uint8_t *pBits = nullptr;            // bottom-up 24-bit BGR rows, padded to 4 bytes
    const BitmapInfoHeader *pHeader = nullptr; // the record's 40-byte header (width,
                                               // height > 0: bottom-up, bit count,
                                               // biSizeImage = bytes of pBits)
    uint8_t byFieldFlag = 0; // 1 = no index marker ("EVEN IMAGE"), 0 = marker found
    uint8_t byWidthFlag = 1; // 1 when the JPEG was at most 240 pixels wide
};

// Status codes for IClientView::ShowStatus.
enum ClientStatus : uint8_t {
    STATUS_WAITING = 0,      // "WAITING FOR CONNECTION."
    STATUS_ESTABLISHED = 1,  // "CONNECTION ESTABLISHED."
    STATUS_CONNECTING = 2,   // "CONNECTING.."
    STATUS_RECONNECTING = 4, // "TRY RECONNECTION"
    STATUS_CONNECT_FAIL = 5, // "CONNECTION FAIL:"
    STATUS_TRY_REQUEST = 6,  // "TRY REQUEST IMAGE" + CNetClientWnd::RetryCount()
    STATUS_EVENT_REPORT = 7, // from CNetClientWnd::LastAlertWord()
};

// The window as the client uses it: one recorder's side of the main view (the
// recorder set's adapter), which publishes what the client reports.
class IClientView {
  public:
    virtual ~IClientView() = default;

    // The settings record the view owns (user ID, password, host, port, reconnect
    // count, alert mode are read by the client).
    virtual const ClientSettings &Settings() const = 0;

    // 0 not connected, 1 connected, 2 connecting: the client's own state, which the
    // client announces with SetConnectState whenever it moves (the window reads the
    // state back from the client; nobody keeps a copy).
    virtual uint8_t GetConnectState() const = 0;
    virtual void SetConnectState(uint8_t byState) = 0;
    // m_wRequestChannel: low byte channel 0..15, high byte 1 = all channels.
    virtual uint16_t GetRequestChannel() const = 0;
    // m_byChannelCount, replaced by the recorder's channel count at login.
    virtual void SetChannelCount(uint8_t byCount) = 0;
    // m_byPtzSpeed of the PTZ panel (word 2 of a PTZ request is this + 1).
    virtual uint8_t GetPtzSpeed() const = 0;

    // Redraw the status block with a code of ClientStatus.
    virtual void ShowStatus(uint8_t byCode) = 0;
    // The client gave the link up (or could not make it); the window ends it with
    // CNetClientWnd::Disconnect(true).
    virtual void OnLinkLost() = 0;
    // Stores a live picture for channel index 0..15 (pointer, header, field flag,
    // width flag), then ShowLiveFrame draws it.
    virtual void SetChannelPicture(int nIndex, const ChannelPicture &picture) = 0;
    virtual void ShowLiveFrame(int nIndex) = 0;
    virtual void ToggleReceiveLamp() = 0;
    // False while the window shows none of this recorder's channels: the link stays
    // logged in with its keep-alive but asks for no pictures (a stop is its first
    // request after a login, and the keep-alive expects no stream).
    virtual bool WantsLive() const { return true; }
};

// The archive dialog (CArchiveDlg) as the client uses it.
class IArchiveView {
  public:
    virtual ~IArchiveView() = default;

    // m_bActive: the dialog is in playback mode.
    virtual bool IsActive() const = 0;
    // m_wPlayState: low byte 1 = playing, high byte 1 = reverse.
    virtual uint16_t GetPlayState() const = 0;
    // m_byChannel: selected channel 0..3, 255 = quad (word 0 of a playback request).
    virtual uint8_t GetSelectedChannel() const = 0;

    // Recording time range, words 2..5 of the login or start-time reply.
    virtual void SetTimeRange(uint32_t a, uint32_t b, uint32_t c, uint32_t d) = 0;
    virtual void RedrawTimeBlock() = 0;
    // Picture time: calendar seconds (version code 1) ...
    virtual void SetPictureTime(uint32_t dwSeconds) = 0;
    // ... or word 0 (channel << 24 | year << 8 | month) and word 1 (day << 24 |
    // hour << 16 | minute << 8 | second) for version codes 2 and 3.
    virtual void SetPictureTime(uint32_t dwWord0, uint32_t dwWord1) = 0;
    // End of playback with a status code (0, 2, 3, 4 known).
    virtual void ShowEndStatus(uint8_t byCode) = 0;
    // "AlarmEvent.am" has been replaced (or could not be written).
    virtual void OnEventListReady() = 0;
    // Stores a playback picture for channel 0..3, then DrawChannel draws it.
    virtual void SetChannelPicture(int nIndex, const ChannelPicture &picture) = 0;
    virtual void DrawChannel(int nIndex) = 0;
    virtual void ToggleReceiveLamp() = 0;

    // The "SEARCHING" notice: m_bShowingNotice and m_nNoticePictures; the client
    // clears the notice area with ShowNotice(30 spaces) after the fourth picture.
    virtual bool IsShowingNotice() const = 0;
    virtual void SetShowingNotice(bool bShowing) = 0;
    virtual int GetNoticePictures() const = 0;
    virtual void SetNoticePictures(int nCount) = 0;
    virtual void ShowNotice(const QString &text) = 0;
};
