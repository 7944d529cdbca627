#pragma once

// PTZ command coding: one panel action becomes one, two or (HMC250 and "User
// Define" on version-1.0 recorders) four COMMAND_PTZ requests. Pure function; the
// client sends each request with SendCommand(5, true) in the order given.
//
// m_wPtzCommandInfo: low byte axis (0 pan, 1 tilt, 2 zoom, 3 focus), high byte
// direction 0/1, or 2 for stop. Protocol word: low byte camera protocol code, high
// byte the panel value limited to 1..4 (values outside become 4).

#include <cstdint>
#include <optional>
#include <vector>

#include "protocol/packet.h"

// PTZ types (the setting m_byPtzType, index into the camera protocol list).
constexpr std::uint8_t PTZ_TYPE_USER_DEFINE = 0;
constexpr std::uint8_t PTZ_TYPE_DRX502A = 1;
constexpr std::uint8_t PTZ_TYPE_AECD2000 = 2;
constexpr std::uint8_t PTZ_TYPE_HMC250 = 3;
constexpr std::uint8_t PTZ_TYPE_PELCO_D = 4;
constexpr std::uint8_t PTZ_TYPE_SCC641 = 5;

constexpr std::uint8_t PTZ_AXIS_PAN = 0;
constexpr std::uint8_t PTZ_AXIS_TILT = 1;
constexpr std::uint8_t PTZ_AXIS_ZOOM = 2;
constexpr std::uint8_t PTZ_AXIS_FOCUS = 3;
constexpr std::uint8_t PTZ_DIRECTION_STOP = 2;
constexpr std::uint8_t PTZ_ACTION_COUNT = 12; // nCommandType 0..11; above keeps the word

// One COMMAND_PTZ request: words 0..3 of its payload.
struct PtzRequest {
    std::uint8_t byAxis = 0;       // word 0
    std::uint8_t byDirection = 0;  // word 1
    std::uint32_t dwSpeedWord = 0; // word 2
    std::uint8_t byProtocol = 0;   // word 3

    PayloadWords Payload() const;
    std::uint16_t CommandInfo() const
    {
        return static_cast<std::uint16_t>(byDirection << 8 | byAxis);
    }
    friend bool operator==(const PtzRequest &a, const PtzRequest &b)
    {
        return a.byAxis == b.byAxis && a.byDirection == b.byDirection &&
               a.dwSpeedWord == b.dwSpeedWord && a.byProtocol == b.byProtocol;
    }
};

struct PtzCoding {
    std::vector<PtzRequest> requests;  // in sending order
    std::uint16_t wPtzCommandInfo = 0; // the client's new m_wPtzCommandInfo
    std::uint16_t wProtocolWord = 0;   // the client's new protocol word (last one used)
};

// Camera protocol code of a PTZ type for a version code (before the version-1.0 repeat).
std::uint8_t PtzProtocolCode(std::uint8_t byPtzType, std::uint8_t nVersionCode);

// Codes one panel action.
//   byPtzType: m_byPtzType; byPanelValue: the panel's speed; nCommandType: action 0..11
//   (above 11 keeps wPrevCommandInfo); bPressed: button held (false: stop form);
//   nVersionCode: m_nVerifyVersionInfo; viewSpeed: the view's m_byPtzSpeed, or none
//   without a view (word 2 is then the limited panel value + 1).
PtzCoding CodePtz(std::uint8_t byPtzType, std::uint8_t byPanelValue, int nCommandType,
                  bool bPressed, std::uint8_t nVersionCode, std::uint16_t wPrevCommandInfo,
                  std::optional<std::uint8_t> viewSpeed);
