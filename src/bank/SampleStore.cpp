#include "bank/SampleStore.h"

#include "app/Settings.h"
#include "platform/File.h"
#include "platform/Notifier.h"
#include "platform/System.h"

#include <algorithm>
#include <cstring>

namespace korvelt {

SampleStore::SampleStore(std::uint64_t budget, const Settings& settings, Notifier& notifier,
                         Clock clock)
    : budget_(budget), settings_(settings), notifier_(notifier), clock_(std::move(clock)) {
    if (!clock_)
        clock_ = [] { return sys::calendarSeconds(); };
}

SampleStore::~SampleStore() { forgetAll(); }

std::int64_t SampleStore::loadSample(SampleHeader& sample) {
    const std::int32_t length = std::max<std::int32_t>(sample.storedLength, 0);
    if (!sample.data || sample.residentLength < length) {
        if (sample.data) { // resident but too short: drop it, then load at the new length
            used_ -= sample.residentBytes;
            sample.data.reset();
            resident_.erase(std::find(resident_.begin(), resident_.end(), &sample));
        }
        const std::uint64_t frames = std::uint64_t(length) + SampleHeader::kPaddingFrames;
        const std::uint64_t size = frames * 2;
        while (!resident_.empty() && used_ + size > budget_)
            evictOldest();
        std::shared_ptr<std::int16_t[]> buffer(new std::int16_t[frames]());
        sample.residentLength = length;
        if (!readInto(sample, buffer.get())) {
            std::memset(buffer.get(), 0, size);
            if (settings_.showMidiErrors)
                notifier_.show(Severity::Error, "Error loading sample",
                               "Sample:" + recordNameText(sample.name));
        }
        sample.data = std::move(buffer);
        sample.residentBytes = size;
        used_ += size;
        resident_.insert(resident_.begin(), &sample);
    }
    sample.lastUse = clock_();
    return sample.lastUse;
}

bool SampleStore::readInto(SampleHeader& sample, std::int16_t* frames) {
    const std::size_t bytes =
        (std::size_t(sample.residentLength) + SampleHeader::kPaddingFrames) * 2;
    return file::readAt(sample.handle, sample.dataOffset, frames, bytes);
}

void SampleStore::evictOldest() {
    auto oldest = resident_.begin();
    for (auto it = resident_.begin(); it != resident_.end(); ++it)
        if ((*it)->lastUse < (*oldest)->lastUse)
            oldest = it;
    SampleHeader* sample = *oldest;
    used_ -= sample->residentBytes;
    sample->data.reset();
    sample->residentLength = 0;
    sample->residentBytes = 0;
    resident_.erase(oldest);
}

void SampleStore::forgetAll() noexcept {
    resident_.clear();
    used_ = 0;
}

} // namespace korvelt
