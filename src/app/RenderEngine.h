#pragma once

#include "bank/SampleStore.h"
#include "effects/EffectsRack.h"

#include <atomic>

namespace korvelt {

struct RenderOptions;

// The objects every render of the program shares, created once at start: the abort flag
// the window sets and the render polls, the sample store and the effects rack with its
// mix bus. Only one render uses them at a time.
class RenderEngine {
public:
    // The sample store's budget is the machine's physical memory unless given.
    explicit RenderEngine(const RenderOptions& options, std::uint64_t sampleBudget = 0);

    std::atomic<bool> abortRequested{false};
    SampleStore store;
    EffectsRack rack;
};

} // namespace korvelt
