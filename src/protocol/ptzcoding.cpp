#include "protocol/ptzcoding.h"

namespace {

struct PtzMove {
    std::uint8_t byDirection;
    std::uint8_t byAxis;
};

struct PtzAction {
    PtzMove first;
    bool bHasSecond;
    PtzMove second;
};

// Actions 0..7 are a ring of eight directions: the even ones move one axis, each odd
// one moves the two axes of its neighbours at once. 8..11 zoom and focus.
constexpr PtzAction kActions[PTZ_ACTION_COUNT] = {
    {{0, PTZ_AXIS_TILT}, false, {0, 0}},  {{0, PTZ_AXIS_TILT}, true, {0, PTZ_AXIS_PAN}},
    {{0, PTZ_AXIS_PAN}, false, {0, 0}},   {{1, PTZ_AXIS_TILT}, true, {0, PTZ_AXIS_PAN}},
    {{1, PTZ_AXIS_TILT}, false, {0, 0}},  {{1, PTZ_AXIS_TILT}, true, {1, PTZ_AXIS_PAN}},
    {{1, PTZ_AXIS_PAN}, false, {0, 0}},   {{0, PTZ_AXIS_TILT}, true, {1, PTZ_AXIS_PAN}},
    {{1, PTZ_AXIS_ZOOM}, false, {0, 0}},  {{0, PTZ_AXIS_ZOOM}, false, {0, 0}},
    {{1, PTZ_AXIS_FOCUS}, false, {0, 0}}, {{0, PTZ_AXIS_FOCUS}, false, {0, 0}},
};

std::uint16_t CommandWord(const PtzMove &move, bool bPressed)
{
    const std::uint8_t direction = bPressed ? move.byDirection : PTZ_DIRECTION_STOP;
    return static_cast<std::uint16_t>(direction << 8 | move.byAxis);
}

std::uint16_t StopForm(std::uint16_t word, bool bPressed)
{
    return bPressed ? word : static_cast<std::uint16_t>(PTZ_DIRECTION_STOP << 8 | (word & 0xFF));
}

} // namespace

PayloadWords PtzRequest::Payload() const
{
    return PtzPayload(CommandInfo(), dwSpeedWord, byProtocol);
}

std::uint8_t PtzProtocolCode(std::uint8_t byPtzType, std::uint8_t nVersionCode)
{
    std::uint8_t code = byPtzType;
    if (byPtzType == PTZ_TYPE_USER_DEFINE)
        code = nVersionCode == VERSION_CODE_10 ? 3 : nVersionCode == VERSION_CODE_12 ? 4 : 0;
    if (code > 3 && nVersionCode != VERSION_CODE_10 && nVersionCode != VERSION_CODE_12)
        code = static_cast<std::uint8_t>(code + 1);
    return code;
}

PtzCoding CodePtz(std::uint8_t byPtzType, std::uint8_t byPanelValue, int nCommandType,
                  bool bPressed, std::uint8_t nVersionCode, std::uint16_t wPrevCommandInfo,
                  std::optional<std::uint8_t> viewSpeed)
{
    PtzCoding coding;
    std::uint8_t code = PtzProtocolCode(byPtzType, nVersionCode);
    const std::uint8_t limited = (byPanelValue >= 1 && byPanelValue <= 4) ? byPanelValue : 4;
    const std::uint32_t speedWord = viewSpeed ? static_cast<std::uint32_t>(*viewSpeed) + 1
                                              : static_cast<std::uint32_t>(limited) + 1;

    std::uint16_t commandInfo = wPrevCommandInfo;
    const bool bKnownAction = nCommandType >= 0 && nCommandType < PTZ_ACTION_COUNT;

    auto send = [&]() {
        PtzRequest request;
        request.byAxis = static_cast<std::uint8_t>(commandInfo & 0xFF);
        request.byDirection = static_cast<std::uint8_t>(commandInfo >> 8);
        request.dwSpeedWord = speedWord;
        request.byProtocol = code;
        coding.requests.push_back(request);
    };
    auto sendAction = [&]() {
        if (bKnownAction) {
            const PtzAction &action = kActions[nCommandType];
            commandInfo = CommandWord(action.first, bPressed);
            send();
            if (action.bHasSecond) {
                commandInfo = CommandWord(action.second, bPressed);
                send();
            }
        } else {
            // An unknown action repeats the previous command word (stop form on release).
            commandInfo = StopForm(commandInfo, bPressed);
            send();
        }
    };

    sendAction();
    // Older recorders want the HMC250 (and "User Define") coding sent again as code 4.
    if (code == 3 && nVersionCode == VERSION_CODE_10) {
        code = 4;
        sendAction();
    }
    coding.wPtzCommandInfo = commandInfo;
    coding.wProtocolWord = static_cast<std::uint16_t>(limited << 8 | code);
    return coding;
}
