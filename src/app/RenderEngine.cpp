#include "app/RenderEngine.h"

#include "platform/System.h"

namespace korvelt {

RenderEngine::RenderEngine(const RenderOptions& options, std::uint64_t sampleBudget)
    : store(sampleBudget != 0 ? sampleBudget : sys::totalPhysicalMemory()),
      rack(options, abortRequested) {}

} // namespace korvelt
