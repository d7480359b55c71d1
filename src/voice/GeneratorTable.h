#pragma once

#include "bank/BankRecords.h"

#include <array>
#include <cstdint>

namespace korvelt {

// SoundFont 2 generator numbers that a voice uses.
namespace gen {
enum : std::uint16_t {
    StartAddrsOffset = 0,
    EndAddrsOffset = 1,
    StartloopAddrsOffset = 2,
    EndloopAddrsOffset = 3,
    StartAddrsCoarseOffset = 4,
    ModLfoToPitch = 5,
    VibLfoToPitch = 6,
    ModEnvToPitch = 7,
    InitialFilterFc = 8,
    InitialFilterQ = 9,
    ModLfoToFilterFc = 10,
    ModEnvToFilterFc = 11,
    EndAddrsCoarseOffset = 12,
    ModLfoToVolume = 13,
    ChorusEffectsSend = 15,
    ReverbEffectsSend = 16,
    Pan = 17,
    DelayModLfo = 21,
    FreqModLfo = 22,
    DelayVibLfo = 23,
    FreqVibLfo = 24,
    DelayModEnv = 25,
    AttackModEnv = 26,
    HoldModEnv = 27,
    DecayModEnv = 28,
    SustainModEnv = 29,
    ReleaseModEnv = 30,
    KeynumToModEnvHold = 31,
    KeynumToModEnvDecay = 32,
    DelayVolEnv = 33,
    AttackVolEnv = 34,
    HoldVolEnv = 35,
    DecayVolEnv = 36,
    SustainVolEnv = 37,
    ReleaseVolEnv = 38,
    KeynumToVolEnvHold = 39,
    KeynumToVolEnvDecay = 40,
    StartloopAddrsCoarseOffset = 45,
    Keynum = 46,
    Velocity = 47,
    InitialAttenuation = 48,
    EndloopAddrsCoarseOffset = 50,
    CoarseTune = 51,
    FineTune = 52,
    SampleModes = 54,
    OverridingRootKey = 58,
    Highest = 60, // numbers above are unknown and reported
};
} // namespace gen

// Which part of a voice a generator sets.
enum class GeneratorUnit : std::uint8_t {
    None, // ignored
    Voice,
    Oscillator,
    ModulationEnvelope,
    VolumeEnvelope,
    ModulationLfo,
    VibratoLfo,
    Filter,
    Amplifier,
};

// How a generator is applied. Absolute application is the instrument level, additive
// application the preset level.
enum class GeneratorRule : std::uint8_t {
    Ignored,
    SetAdd,       // absolute replaces the stored value, additive adds to it
    AbsoluteOnly, // absolute replaces, additive is skipped
    Accumulates,  // absolute adds to the stored offset, additive is skipped
};

struct GeneratorInfo {
    GeneratorUnit unit = GeneratorUnit::None;
    GeneratorRule rule = GeneratorRule::Ignored;
};

namespace detail {
constexpr std::array<GeneratorInfo, gen::Highest + 1> makeGeneratorTable() {
    using U = GeneratorUnit;
    using R = GeneratorRule;
    std::array<GeneratorInfo, gen::Highest + 1> t{};
    auto set = [&t](int first, int last, U unit, R rule) {
        for (int n = first; n <= last; ++n)
            t[n] = GeneratorInfo{unit, rule};
    };
    set(0, 4, U::Oscillator, R::Accumulates);
    set(5, 7, U::Oscillator, R::SetAdd);
    set(8, 11, U::Filter, R::SetAdd);
    set(12, 12, U::Oscillator, R::Accumulates);
    set(13, 13, U::Amplifier, R::SetAdd);
    set(15, 17, U::Voice, R::SetAdd);
    set(21, 22, U::ModulationLfo, R::SetAdd);
    set(23, 24, U::VibratoLfo, R::SetAdd);
    set(25, 32, U::ModulationEnvelope, R::SetAdd);
    set(33, 40, U::VolumeEnvelope, R::SetAdd);
    set(45, 45, U::Oscillator, R::Accumulates);
    set(46, 47, U::Voice, R::AbsoluteOnly);
    set(48, 48, U::Amplifier, R::SetAdd);
    set(50, 50, U::Oscillator, R::Accumulates);
    set(51, 52, U::Oscillator, R::SetAdd);
    set(54, 54, U::Oscillator, R::AbsoluteOnly);
    set(58, 58, U::Oscillator, R::AbsoluteOnly);
    return t;
}
} // namespace detail

inline constexpr std::array<GeneratorInfo, gen::Highest + 1> kGeneratorTable =
    detail::makeGeneratorTable();

// The unit and rule of a generator number; numbers above 60 are ignored here (the voice
// reports them).
constexpr GeneratorInfo generatorInfo(std::uint16_t number) noexcept {
    return number <= gen::Highest ? kGeneratorTable[number] : GeneratorInfo{};
}

// Applies a generator's amount, multiplied by `scale`, to a stored value by the
// generator's rule. Sums saturate at the 32-bit limits, so a bank that repeats a
// generator cannot overflow the value. Returns false when the rule skips the generator.
bool applyGeneratorAmount(std::int32_t& value, const Generator& generator, bool additive,
                          std::int32_t scale = 1) noexcept;

} // namespace korvelt
