#include "voice/GeneratorTable.h"

#include "voice/VoiceMath.h"

namespace korvelt {

bool applyGeneratorAmount(std::int32_t& value, const Generator& generator, bool additive,
                          std::int32_t scale) noexcept {
    const std::int64_t amount = std::int64_t(generator.amount) * scale;
    switch (generatorInfo(generator.oper).rule) {
    case GeneratorRule::SetAdd:
        value = additive ? voice::clampToInt32(value + amount) : voice::clampToInt32(amount);
        return true;
    case GeneratorRule::AbsoluteOnly:
        if (additive)
            return false;
        value = voice::clampToInt32(amount);
        return true;
    case GeneratorRule::Accumulates:
        if (additive)
            return false;
        value = voice::clampToInt32(value + amount);
        return true;
    case GeneratorRule::Ignored:
        break;
    }
    return false;
}

} // namespace korvelt
