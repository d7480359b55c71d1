#include "sequencer/PresetInstance.h"

#include "bank/Csf2file.h"
#include "engine/RenderOptions.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "sequencer/SequencerContext.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>

namespace korvelt {
namespace {

constexpr std::uint16_t kGenInstrument = 41;
constexpr std::uint16_t kGenKeyRange = 43;
constexpr std::uint16_t kGenVelocityRange = 44;
constexpr std::uint16_t kGenSampleId = 53;
constexpr std::uint16_t kGenExclusiveClass = 57;
constexpr int kPercussionChannel = 9;

} // namespace

InstrumentInstance::InstrumentInstance(SequencerContext& ctx, int channel, std::size_t instrument) {
    const IndexRange bags = ctx.bank.instrumentZones(instrument);
    zones_.reserve(bags.size());
    std::span<const Generator> global;
    bool hasGlobal = false;
    for (std::size_t bag = bags.first; bag < bags.last; ++bag) {
        ZoneInstance& zone = zones_.emplace_back(channel);
        zone.zoneGenerators_ = ctx.bank.instrumentZoneGenerators(bag);
        for (const Generator& g : zone.zoneGenerators_) {
            switch (g.oper) {
            case kGenKeyRange:
                zone.keyLow_ = g.rangeLow();
                zone.keyHigh_ = g.rangeHigh();
                break;
            case kGenVelocityRange:
                zone.velocityLow_ = g.rangeLow();
                zone.velocityHigh_ = g.rangeHigh();
                break;
            case kGenSampleId:
                zone.sampleIndex_ = static_cast<std::uint16_t>(g.amount);
                zone.sample_ = ctx.bank.sample(static_cast<std::size_t>(zone.sampleIndex_));
                break;
            case kGenExclusiveClass:
                zone.exclusiveClass_ = static_cast<std::uint16_t>(g.amount);
                break;
            default:
                break;
            }
        }
        // A zone without a sample is the instrument's global zone (the last one counts).
        if (zone.sample_ == nullptr) {
            global = zone.zoneGenerators_;
            hasGlobal = true;
        }
    }
    std::reverse(zones_.begin(), zones_.end());

    // Stereo pairs: a left-side zone and the first right-side zone, in list order, that
    // plays its linked sample over the same key and velocity ranges. A right-side zone
    // already paired is not taken a second time.
    // The right-side zones are grouped by what a left side must match (sample and ranges),
    // each group in list order with the next one not yet taken: pairing stays linear
    // however many zones a bank gives an instrument.
    using PairKey = std::array<int, 5>;
    std::map<PairKey, std::pair<std::vector<ZoneInstance*>, std::size_t>> rights;
    auto keyOf = [](const ZoneInstance& z, int sampleIndex) {
        return PairKey{sampleIndex, z.keyLow_, z.keyHigh_, z.velocityLow_, z.velocityHigh_};
    };
    for (ZoneInstance& right : zones_)
        if (right.sample_ != nullptr && right.sample_->sampleType == kSampleTypeRight)
            rights[keyOf(right, right.sampleIndex_)].first.push_back(&right);
    for (ZoneInstance& left : zones_) {
        if (left.sample_ == nullptr || left.sample_->sampleType != kSampleTypeLeft)
            continue;
        auto group = rights.find(keyOf(left, left.sample_->sampleLink));
        if (group == rights.end() || group->second.second == group->second.first.size())
            continue;
        ZoneInstance& right = *group->second.first[group->second.second++];
        right.partner_ = &left;
        left.partner_ = &left;
        left.pairedRight_ = &right;
    }

    if (hasGlobal)
        for (ZoneInstance& zone : zones_)
            if (zone.sample_ != nullptr) {
                zone.instrumentGlobal_ = global;
                zone.hasInstrumentGlobal_ = true;
            }
}

std::size_t PresetInstance::zoneCount(const SequencerContext& ctx, IndexRange bags) {
    std::size_t total = 0;
    for (std::size_t bag = bags.first; bag < bags.last; ++bag)
        for (const Generator& g : ctx.bank.presetZoneGenerators(bag))
            if (g.oper == kGenInstrument) {
                total += ctx.bank.instrumentZones(static_cast<std::uint16_t>(g.amount)).size();
                break;
            }
    return total;
}

void PresetInstance::setRanges(PresetZoneInstance& zone, std::span<const Generator> generators) {
    for (const Generator& g : generators) {
        if (g.oper == kGenKeyRange) {
            zone.keyLow = g.rangeLow();
            zone.keyHigh = g.rangeHigh();
        } else if (g.oper == kGenVelocityRange) {
            zone.velocityLow = g.rangeLow();
            zone.velocityHigh = g.rangeHigh();
        }
    }
}

PresetInstance::PresetInstance(SequencerContext& ctx, int channel, int bank, int program)
    : channel_(channel) {
    const int preset =
        ctx.bank.findPreset(static_cast<std::uint16_t>(bank), static_cast<std::uint16_t>(program));
    if (preset < 0) {
        if (ctx.options.showMidiErrors)
            ctx.notifier.show(Severity::Warning, msg::kInvalidPresetTitle,
                              msg::missingPresetText(bank, program));
        return;
    }
    const IndexRange bags = ctx.bank.presetZones(static_cast<std::size_t>(preset));
    if (zoneCount(ctx, bags) > kMaxZones) {
        if (ctx.options.showMidiErrors)
            ctx.notifier.show(Severity::Warning, msg::kInvalidPresetTitle,
                              msg::presetTooLargeText(bank, program));
        return;
    }
    auto instrumentGenerator = [](std::span<const Generator> generators) {
        return std::find_if(generators.begin(), generators.end(),
                            [](const Generator& g) { return g.oper == kGenInstrument; });
    };
    // The preset's global zone: a zone without an instrument (the last one counts).
    std::span<const Generator> global;
    bool hasGlobal = false;
    for (std::size_t bag = bags.first; bag < bags.last; ++bag) {
        const std::span<const Generator> generators = ctx.bank.presetZoneGenerators(bag);
        if (instrumentGenerator(generators) == generators.end()) {
            global = generators;
            hasGlobal = true;
        }
    }
    // The global zone's key and velocity ranges are the default of every zone.
    PresetZoneInstance defaults;
    setRanges(defaults, global);

    std::vector<std::span<const Generator>> zoneRanges;
    for (std::size_t bag = bags.first; bag < bags.last; ++bag) {
        const std::span<const Generator> generators = ctx.bank.presetZoneGenerators(bag);
        auto instrument = instrumentGenerator(generators);
        if (instrument == generators.end())
            continue;
        const auto own =
            generators.first(static_cast<std::size_t>(instrument - generators.begin()));
        PresetZoneInstance zone;
        zone.keyLow = defaults.keyLow;
        zone.keyHigh = defaults.keyHigh;
        zone.velocityLow = defaults.velocityLow;
        zone.velocityHigh = defaults.velocityHigh;
        setRanges(zone, own);
        zone.instrument = std::make_unique<InstrumentInstance>(
            ctx, channel, static_cast<std::uint16_t>(instrument->amount));
        zones_.push_back(std::move(zone));
        zoneRanges.push_back(own);
    }
    for (std::size_t i = 0; i < zones_.size(); ++i)
        for (ZoneInstance& zone : zones_[i].instrument->zones()) {
            zone.presetZone_ = zoneRanges[i];
            zone.hasPresetZone_ = true;
            if (hasGlobal) {
                zone.presetGlobal_ = global;
                zone.hasPresetGlobal_ = true;
            }
        }
    std::reverse(zones_.begin(), zones_.end());
}

void PresetInstance::dispatch(SequencerContext& ctx, const ChannelState& state, int command,
                              int data1, int data2) {
    int key = data1;
    if (channel_ != kPercussionChannel && (command == 8 || command == 9)) {
        // A note off is transposed as its note on was, so it reaches the note's voices
        // even when the option changed in between.
        int& applied = noteTransposition_[static_cast<std::size_t>(data1 & 0xFF)];
        if (command == 9 && data2 != 0)
            applied = ctx.options.transposeSemitones;
        key += applied;
    }

    if (command == 9 || command == 11) {
        const bool noteOn = command == 9 && data2 != 0;
        for (PresetZoneInstance& pz : zones_) {
            // A note starts voices only in the preset zones whose ranges take it.
            if (noteOn && !pz.accepts(key, data2))
                continue;
            for (ZoneInstance& zone : pz.instrument->zones()) {
                const int exclusiveClass = zone.handle(ctx, state, command, key, data2);
                if (exclusiveClass != 0)
                    releaseClass(exclusiveClass, &zone);
            }
        }
    } else {
        // Note off, pressure and pitch bend only reach the parts that have voices.
        for (PresetZoneInstance& pz : zones_) {
            if (pz.soundingCount == 0 || pz.instrument->soundingCount == 0)
                continue;
            for (ZoneInstance& zone : pz.instrument->zones())
                if (zone.soundingCount() != 0)
                    zone.handle(ctx, state, command, key, data2);
        }
    }
    recount();
}

void PresetInstance::releaseClass(int exclusiveClass, const ZoneInstance* except) {
    for (PresetZoneInstance& pz : zones_)
        for (ZoneInstance& zone : pz.instrument->zones())
            if (&zone != except && &zone != except->partner_ &&
                zone.exclusiveClass_ == exclusiveClass)
                zone.releaseAll();
}

void PresetInstance::render(SequencerContext& ctx, int frames) noexcept {
    {
        VoicePairs pairs(ctx.bus(), frames);
        for (PresetZoneInstance& pz : zones_) {
            if (pz.soundingCount == 0)
                continue;
            for (ZoneInstance& zone : pz.instrument->zones())
                if (zone.soundingCount() != 0)
                    zone.render(ctx, frames, pairs);
        }
    }
    recount();
}

void PresetInstance::recount() noexcept {
    soundingCount_ = 0;
    for (PresetZoneInstance& pz : zones_) {
        int count = 0;
        for (const ZoneInstance& zone : pz.instrument->zones())
            count += zone.soundingCount();
        pz.instrument->soundingCount = count;
        pz.soundingCount = count;
        soundingCount_ += count;
    }
}

} // namespace korvelt
