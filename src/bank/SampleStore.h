#pragma once

#include "bank/BankRecords.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace korvelt {

class Notifier;
struct Settings;

// Makes sample data resident on demand, within a byte budget, freeing the least recently
// used samples when a new one would not fit. Only the render thread uses it.
class SampleStore {
public:
    using Clock = std::function<std::int64_t()>;

    // budget: bytes that resident buffers may take (the machine's physical memory).
    SampleStore(std::uint64_t budget, const Settings& settings, Notifier& notifier,
                Clock clock = {});
    ~SampleStore();

    SampleStore(const SampleStore&) = delete;
    SampleStore& operator=(const SampleStore&) = delete;

    // Makes the sample's data resident if it is not, or if its resident buffer is shorter
    // than its storedLength, and stamps lastUse with the current time, which it returns.
    // A sample that cannot be read is resident as silence (and reported when
    // showMidiErrors is on).
    std::int64_t loadSample(SampleHeader& sample);

    // Forgets every resident sample (their buffers are the bank's to free); used = 0.
    void forgetAll() noexcept;

    std::uint64_t used() const noexcept { return used_; }
    std::uint64_t budget() const noexcept { return budget_; }
    std::size_t residentCount() const noexcept { return resident_.size(); }
    // The resident samples, newest first.
    const std::vector<SampleHeader*>& resident() const noexcept { return resident_; }

private:
    void evictOldest();
    bool readInto(SampleHeader& sample, std::int16_t* frames);

    std::vector<SampleHeader*> resident_; // newest first
    std::uint64_t budget_;
    std::uint64_t used_ = 0;
    const Settings& settings_;
    Notifier& notifier_;
    Clock clock_;
};

} // namespace korvelt
