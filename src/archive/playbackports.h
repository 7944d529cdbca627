#pragma once
// The two sides CPlaybackControl talks to: the protocol client that sends its
// requests, and the archive window that shows what it decides. Both run on the
// user-interface thread.

#include "protocol/packet.h"
#include "protocol/timecodec.h"

#include <QString>

#include <cstdint>

// The protocol client as the playback control uses it.
class IPlaybackClient {
  public:
    virtual ~IPlaybackClient() = default;

    // m_nVerifyVersionInfo: 1 calendar seconds, 2 and 3 DateWord/TimeWord.
    virtual uint8_t VersionCode() const = 0;
    // Sends one playback request (COMMAND_RECORDER) with payload words 0..3; bArm
    // arms the reply timer. Word 0 is the selected channel + 1, or 0 for quad.
    // Dropped while the link is rebuilt: the request the play state then names
    // (the last play request, or a stop) follows the next login.
    virtual void SendPlayback(const PayloadWords &words, bool bArm) = 0;
    // 1 drops the second playback picture that still arrives after a stop.
    virtual void SetSkipCounter(uint8_t byCount) = 0;
    virtual void ArmResponseTimer(bool bOn) = 0;
    // Holds received data back while a pause runs, so that it is handled after the
    // request that ends the pause (as behind a blocking pause).
    virtual void HoldReads(bool bHold) = 0;
};

// The archive window as the playback control uses it.
class IPlaybackDisplay {
  public:
    virtual ~IPlaybackDisplay() = default;

    // Notice area: draw this text (CPlaybackControl::NOTICE_* or a status text).
    virtual void ShowNotice(const QString &text) = 0;
    // Play button nDown (0..4: fast reverse, reverse, stop, play, fast forward)
    // down, the other four up.
    virtual void ShowPlayButtons(int nDown) = 0;
    // Set the calendar to this date (year, month, day; called only on a change).
    virtual void ShowPickerDate(const DvrDateTime &date) = 0;
    // Move the slider to this time of day (a TimeWord: hour << 24 | minute << 16 |
    // second << 8) and redraw the time under it. Not fed back as an operator move.
    virtual void ShowPlayTime(uint32_t uPlayTime) = 0;
    // Start, end or request time changed: redraw the time block.
    virtual void RedrawTimeBlock() = 0;
    // Layout and channel buttons: byChannel 0..3 = that channel alone, 255 = quad.
    virtual void ShowLayout(uint8_t byChannel) = 0;
    // The pause after "Viewer" is over: swap the windows and request live.
    virtual void SwitchToLive() = 0;
};
