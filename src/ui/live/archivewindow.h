#pragma once
// The archive window as the main view uses it. The program hands the view a factory
// that makes its CArchiveDlg (TelvaneViewEnvironment::fnCreateArchive); the view's
// tests hand in a fake.

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class IArchiveView;
class ILiveClient;
class IPlaybackClient;
struct ClientSettings;
struct TimeRangeWords;

// The link an archive window shows, as the recorder set wires it: the recorder's
// live client (the Event button asks it), its playback side and the recording range
// of its last login. All null: no link (the recorder went).
struct ArchiveLink {
    ILiveClient *pClient = nullptr;
    IPlaybackClient *pPlayback = nullptr;
    const TimeRangeWords *pRange = nullptr;
    int nRecorder = 0;      // 0-based
    QString name;           // names the window; empty: no name
};

class IArchiveWindow {
  public:
    virtual ~IArchiveWindow() = default;

    // Archive button, first step: the window becomes active (recording off), is
    // shown and placed for full screen on or off.
    virtual void Activate(bool bFullScreen) = 0;
    // Last step, once the live stream is stopped: forget the pictures of the last
    // visit and put the stop button down.
    virtual void EnterArchive() = 0;
    virtual bool IsActive() const = 0;
    // The view's status code while the window is active (the view's status panel
    // shows it too); retry count and alert word of the client for codes 6 and 7.
    virtual void ShowLinkStatus(uint8_t byCode, uint8_t byRetryCount, uint32_t dwAlertWord) = 0;
    // Exit: waits for a recording file being written, then closes the window.
    virtual void Shutdown() = 0;
    // For long runs' statistics: the pictures the last recording captured and
    // dropped, and whether a recording file is still being written.
    struct RecordCounts {
        int nCaptured = 0;
        int nDropped = 0;
        bool bSaving = false;
    };
    virtual RecordCounts GetRecordCounts() const { return RecordCounts(); }
    // A recorder's client is about to be destroyed: forget every picture borrowed
    // from a client's frame records.
    virtual void ForgetPictures() {}
    // What the client reports to the archive window (the set registers it with the
    // link it shows); null when the window takes no reports.
    virtual IArchiveView *ArchiveView() { return nullptr; }
    // The link the window shows from now on (the set's wiring, before Activate).
    virtual void AttachLink(const ArchiveLink &link) { (void)link; }
    // Plays channel nChannel (0..3) of its recorder from an event's time (a
    // PackedTime), as a double-click in the event list does; true when it went out.
    virtual bool PlayFromEvent(uint32_t packed, int nChannel)
    {
        (void)packed, (void)nChannel;
        return false;
    }
};

// What the archive window asks of the view.
struct ArchiveHost {
    ILiveClient *pClient = nullptr;      // may be null
    ClientSettings *pSettings = nullptr; // the view's record; may be null
    std::function<void()> fnLeave;       // back to live (the view's half of "Viewer")
};

using ArchiveFactory = std::function<std::unique_ptr<IArchiveWindow>(const ArchiveHost &host)>;
