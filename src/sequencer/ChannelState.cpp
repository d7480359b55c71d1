#include "sequencer/ChannelState.h"

#include <cmath>

namespace korvelt {

void ChannelState::control(int controller, int value) noexcept {
    const bool down = value >= 64;
    switch (controller) {
    case 1:
        modulation = value;
        break;
    case 6:
        dataEntryMsb = value;
        if (pitchBendSensitivitySelected())
            pitchBendRange = value * 100 + dataEntryLsb;
        break;
    case 7:
        volume = value;
        break;
    case 10:
        pan = (value - 64) * 500 / 64;
        break;
    case 11:
        expression = value;
        break;
    case 38:
        dataEntryLsb = value;
        if (pitchBendSensitivitySelected())
            pitchBendRange = dataEntryMsb * 100 + value;
        break;
    case 64:
        sustainDown = down;
        break;
    case 66:
        sostenutoDown = down;
        break;
    case 67:
        softPedalDown = down;
        break;
    case 91:
        reverbSend = value * 200 / 128;
        break;
    case 93:
        chorusSend = value * 200 / 128;
        break;
    case 98:
    case 99:
        // A non-registered parameter takes the data entry controllers: no registered
        // parameter is selected any more.
        parameterMsb = parameterLsb = -1;
        break;
    case 100:
        parameterLsb = value;
        break;
    case 101:
        parameterMsb = value;
        break;
    case 121: // reset all controllers: volume, pan, sends and parameter numbers stay
        expression = 127;
        sustainDown = sostenutoDown = softPedalDown = false;
        modulation = 0;
        pitchBend = 0;
        pitchBendRange = 200;
        break;
    default:
        break;
    }
}

bool ChannelState::bend(int position) noexcept {
    if (position == pitchBend)
        return false;
    pitchBend = position;
    return true;
}

float ChannelState::attenuation(double mixerCb) const noexcept {
    if (volume == 0 || expression == 0)
        return 1000.0f;
    // 0.000062000124000248 is 1 / 127^2.
    return static_cast<float>(-200.0 * std::log10(volume * expression * 0.000062000124000248) -
                              mixerCb);
}

} // namespace korvelt
