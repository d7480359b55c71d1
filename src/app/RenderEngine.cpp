#include "app/RenderEngine.h"

#include "platform/System.h"

namespace korvelt {

RenderEngine::RenderEngine(const Settings& settings, Notifier& notifier, std::uint64_t sampleBudget)
    : store(sampleBudget != 0 ? sampleBudget : sys::totalPhysicalMemory(), settings, notifier),
      rack(settings, abortRequested) {}

} // namespace korvelt
