#include "settings/settingsmapping.h"

namespace {

constexpr uint8_t DEFAULT_ROTATE_INTERVAL = 3;
constexpr uint8_t DEFAULT_RECONNECT_COUNT = 3;
constexpr uint8_t DEFAULT_REQUEST_SPEED = 4;
constexpr uint8_t DEFAULT_PTZ_TYPE = 1;
constexpr uint8_t DEFAULT_RECORD_DURATION = 4;

constexpr int ROTATE_TEN_SECONDS_POS = 5;
constexpr uint8_t ROTATE_TEN_SECONDS = 10;

template <typename T, int N> constexpr int CountOf(T (&)[N])
{
    return N;
}

// The common rule: position p stores p + 1, for a list of the given length.
int StepToPos(uint8_t step, int count)
{
    return step >= 1 && step <= count ? step - 1 : -1;
}

uint8_t PosToStep(int pos, int count, uint8_t fallback)
{
    return pos >= 0 && pos < count ? static_cast<uint8_t>(pos + 1) : fallback;
}

// Milliseconds of each record duration step, 1 to 13.
constexpr int RECORD_DURATION_MS[] = {3000,  5000,  10000, 15000, 20000, 25000, 30000,
                                      35000, 40000, 45000, 50000, 55000, 60000};
constexpr int RECORD_DURATION_FALLBACK_MS = 15000;

} // namespace

int RotateIntervalToListPos(uint8_t seconds)
{
    if (seconds == ROTATE_TEN_SECONDS)
        return ROTATE_TEN_SECONDS_POS;
    return StepToPos(seconds, ROTATE_TEN_SECONDS_POS); // 1..5 -> 0..4
}

uint8_t ListPosToRotateInterval(int pos)
{
    if (pos == ROTATE_TEN_SECONDS_POS)
        return ROTATE_TEN_SECONDS;
    return PosToStep(pos, ROTATE_TEN_SECONDS_POS, DEFAULT_ROTATE_INTERVAL);
}

int ReconnectCountToListPos(uint8_t count)
{
    return StepToPos(count, CountOf(RECONNECT_COUNT_ITEMS));
}

uint8_t ListPosToReconnectCount(int pos)
{
    return PosToStep(pos, CountOf(RECONNECT_COUNT_ITEMS), DEFAULT_RECONNECT_COUNT);
}

int RequestSpeedToListPos(uint8_t step)
{
    return StepToPos(step, CountOf(SCAN_RATE_ITEMS));
}

uint8_t ListPosToRequestSpeed(int pos)
{
    return PosToStep(pos, CountOf(SCAN_RATE_ITEMS), DEFAULT_REQUEST_SPEED);
}

int RequestSpeedRate(uint8_t step)
{
    return StepToPos(step, CountOf(SCAN_RATE_ITEMS)) < 0 ? 0 : 1 << (step - 1);
}

int PtzTypeToListPos(uint8_t type)
{
    return type < CountOf(PTZ_TYPE_ITEMS) ? type : -1;
}

uint8_t ListPosToPtzType(int pos)
{
    return pos >= 0 && pos < CountOf(PTZ_TYPE_ITEMS) ? static_cast<uint8_t>(pos) : DEFAULT_PTZ_TYPE;
}

int RecordDurationToListPos(uint8_t step)
{
    return StepToPos(step, CountOf(RECORD_DURATION_ITEMS));
}

uint8_t ListPosToRecordDuration(int pos)
{
    return PosToStep(pos, CountOf(RECORD_DURATION_ITEMS), DEFAULT_RECORD_DURATION);
}

int RecordDurationToMs(uint8_t step)
{
    const int pos = StepToPos(step, CountOf(RECORD_DURATION_MS));
    return pos < 0 ? RECORD_DURATION_FALLBACK_MS : RECORD_DURATION_MS[pos];
}
