#pragma once

namespace korvelt {

// What a MIDI channel's controllers and pitch wheel have set: kept by the channel for the
// whole run, whatever preset it plays, until controller 121 resets part of it. Zones read
// it when they start voices; the values a message changes reach the sounding voices
// through the preset.
class ChannelState {
public:
    static constexpr int kPanUnset = 2000; // the channel has sent no pan

    // Stores what controller `controller` (not 0, bank select: the channel's own) sets.
    void control(int controller, int value) noexcept;
    // Stores a pitch-wheel position (-8192 ... 8191); true when it differs from the last.
    bool bend(int position) noexcept;

    // The channel attenuation in centibels from volume and expression, less the mixer's
    // channel volume (centibels, positive louder).
    float attenuation(double mixerCb) const noexcept;
    // The pitch-wheel offset in cents.
    int pitchOffset() const noexcept { return pitchBendRange * pitchBend / 8192; }

    int volume = 100;     // controller 7
    int expression = 127; // controller 11
    int pan = kPanUnset;  // -500 (left) ... 492 (right), tenths of a percent
    int reverbSend = 0;   // tenths of a percent, 0 ... 198
    int chorusSend = 0;
    bool sustainDown = false;
    bool sostenutoDown = false;
    bool softPedalDown = false;
    int modulation = 0;                       // controller 1
    int parameterMsb = -1, parameterLsb = -1; // registered parameter; -1: none selected
    int dataEntryMsb = 0, dataEntryLsb = 0;
    int pitchBend = 0;        // -8192 ... 8191
    int pitchBendRange = 200; // cents

private:
    // Registered parameter 0/0: data entry sets the pitch-bend range (MSB semitones, LSB
    // cents), as General MIDI files set it with controller 6 alone.
    bool pitchBendSensitivitySelected() const noexcept {
        return parameterMsb == 0 && parameterLsb == 0;
    }
};

} // namespace korvelt
