// Fuzzes the event list reader with any file content, and plays every row it
// offers as playable through the playback control, so a row that names no real day
// or no real channel can never reach a playback request.

#include "archive/playbackcontrol.h"
#include "settings/eventlogfile.h"

#include <QDate>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct NoTimers : ITimerHost {
    void StartTimer(int, int) override {}
    void KillTimer(int) override {}
    bool IsTimerRunning(int) const override { return false; }
};

struct CheckingClient : IPlaybackClient {
    uint8_t VersionCode() const override { return VERSION_CODE_12; }
    void SendPlayback(const PayloadWords &w, bool) override
    {
        const int nYear = int(w[1] >> 16), nMonth = int(w[1] >> 8 & 0xFF), nDay = int(w[1] & 0xFF);
        if (w[0] > 4 || (w[3] != 0 && !QDate::isValid(nYear, nMonth, nDay)))
            std::abort();
    }
    void SetSkipCounter(uint8_t) override {}
    void ArmResponseTimer(bool) override {}
    void HoldReads(bool) override {}
};

struct NoDisplay : IPlaybackDisplay {
    void ShowNotice(const QString &) override {}
    void ShowPlayButtons(int) override {}
    void ShowPickerDate(const DvrDateTime &) override {}
    void ShowPlayTime(uint32_t) override {}
    void RedrawTimeBlock() override {}
    void ShowLayout(uint8_t by) override
    {
        if (by > 3 && by != CPlaybackControl::QUAD)
            std::abort();
    }
    void SwitchToLive() override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static NoTimers timers;
    static CheckingClient client;
    static NoDisplay display;
    static CPlaybackControl control(&client, display, timers);

    const auto entries = CEventLogFile::ParseRecords(data, size);
    if (entries.size() > size / CEventLogFile::RECORD_SIZE)
        std::abort();
    for (const EventEntry &e : entries) {
        const EventRecord &r = e.record;
        if (r.byChannel > 4 || r.byMonth > 12 || r.byDay > 31 || r.byHour > 24 || r.byMinute > 59 ||
            r.bySecond > 59 || e.szAlarmType.size() > 8 * 20 || e.szDateTime.size() != 23)
            std::abort();
        if (!e.bPlayable)
            continue;
        if (r.byChannel < 1 || !QDate::isValid(e.nYear, r.byMonth, r.byDay))
            std::abort();
        // Alternate layouts so both the quad and the single path are taken.
        if (r.byReserved[0] & 1)
            control.OnQuadButton();
        else
            control.OnChannelButton(r.byReserved[1] & 3);
        const PackedTime packed =
            MakeTimeCost(e.nYear, r.byMonth, r.byDay, r.byHour, r.byMinute, r.bySecond);
        if (!control.PlayFromEvent(packed, r.byChannel - 1))
            std::abort();
    }
    return 0;
}
