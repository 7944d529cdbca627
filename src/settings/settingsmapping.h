#pragma once
// How the small numeric settings appear in the System Setting dialog's lists:
// list position <-> stored value, and what a stored value means in use.
// Pure functions, no store access.
//
// A stored value that no list item shows maps to position -1 (nothing selected),
// so a damaged store never selects a wrong item silently; a position outside
// the list (nothing selected) stores the field's default.

#include <cstdint>

// List texts, in list order.
inline constexpr const char *ROTATE_INTERVAL_ITEMS[] = {"01 SEC", "02 SEC", "03 SEC",
                                                        "04 SEC", "05 SEC", "10 SEC"};
inline constexpr const char *RECONNECT_COUNT_ITEMS[] = {"1", "2", "3", "4", "5", "ALWAYS"};
inline constexpr const char *SCAN_RATE_ITEMS[] = {"1X", "2X", "4X", "8X", "16X", "32X", "64X"};
inline constexpr const char *PTZ_TYPE_ITEMS[] = {"User Define", "DRX502A", "AECD2000",
                                                 "HMC250",      "PELCO-D", "SCC641"};
inline constexpr const char *RECORD_DURATION_ITEMS[] = {"03SEC", "05SEC", "10SEC", "15SEC", "20SEC",
                                                        "25SEC", "30SEC", "35SEC", "40SEC", "45SEC",
                                                        "50SEC", "55SEC", "01MIN"};

// "Circular Monitoring Interval": positions 0-4 store 1-5 seconds, position 5
// stores 10 seconds.
int RotateIntervalToListPos(uint8_t seconds);
uint8_t ListPosToRotateInterval(int pos);

// "Reconnection Count": position p stores p + 1 (1 to 5, and 6 for "ALWAYS").
int ReconnectCountToListPos(uint8_t count);
uint8_t ListPosToReconnectCount(int pos);

// "Scan Rate (Fast mode )": position p stores step p + 1 (1 to 7).
int RequestSpeedToListPos(uint8_t step);
uint8_t ListPosToRequestSpeed(int pos);
// The playback rate of a scan-rate step: 2^(step - 1); 0 for a step outside 1-7.
int RequestSpeedRate(uint8_t step);

// "PT TYPE :": the position is the stored value (0 to 5).
int PtzTypeToListPos(uint8_t type);
uint8_t ListPosToPtzType(int pos);

// "Record Duration": position p stores step p + 1 (1 to 13).
int RecordDurationToListPos(uint8_t step);
uint8_t ListPosToRecordDuration(int pos);
// Length of a recording segment in milliseconds; 15000 for any step outside 1-13.
int RecordDurationToMs(uint8_t step);
