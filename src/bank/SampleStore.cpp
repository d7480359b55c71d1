#include "bank/SampleStore.h"

#include "bank/CodecStream.h"
#include "bank/SampleDecoder.h"
#include "platform/File.h"
#include "platform/MessageTexts.h"
#include "platform/Notifier.h"
#include "platform/System.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <new>

namespace korvelt {

namespace {
constexpr std::uint64_t kPaddingBytes = SampleHeader::kPaddingFrames * 2;

std::uint64_t bufferBytes(std::uint64_t frames) {
    return frames * 2 + kPaddingBytes;
}
} // namespace

SampleStore::SampleStore(std::uint64_t budget, Clock clock)
    : budget_(budget), clock_(std::move(clock)) {
    if (!clock_)
        clock_ = [] { return sys::calendarSeconds(); };
}

SampleStore::~SampleStore() {
    forgetAll();
}

std::int64_t SampleStore::loadSample(SampleHeader& sample, Notifier* problems) {
    const std::lock_guard lock(mutex_);
    return loadLocked(sample, problems);
}

SampleStore::Held SampleStore::hold(SampleHeader& sample, std::int32_t length, Notifier* problems) {
    const std::lock_guard lock(mutex_);
    sample.storedLength = std::max(sample.storedLength, length);
    loadLocked(sample, problems);
    return Held{sample.data, sample.data ? std::max(sample.residentLength, 0) : 0};
}

std::int64_t SampleStore::loadLocked(SampleHeader& sample, Notifier* problems) {
    const std::int32_t length = std::max<std::int32_t>(sample.storedLength, 0);
    if (!sample.data || sample.residentFor < length) {
        if (sample.data)
            drop(sample); // too short: voices holding the old buffer keep it alive
        refusedCodec_ = nullptr;
        if (!load(sample, length)) {
            // A silent buffer stays resident like a good one, so it is not read again.
            makeRoom(kPaddingBytes);
            attach(sample, 0);
            std::fill_n(sample.data.get(), SampleHeader::kPaddingFrames, std::int16_t(0));
            if (problems != nullptr)
                problems->show(
                    Severity::Error, msg::kSampleLoadFailedTitle,
                    refusedCodec_ != nullptr
                        ? msg::sampleCodecRefusedText(recordNameText(sample.name), refusedCodec_)
                        : msg::sampleLoadFailedText(recordNameText(sample.name)));
        }
        sample.residentFor = length;
        used_ += sample.residentBytes;
        resident_.insert(resident_.begin(), &sample);
    }
    sample.lastUse = clock_();
    return sample.lastUse;
}

void SampleStore::attach(SampleHeader& sample, std::size_t frames) {
    const std::size_t total = frames + SampleHeader::kPaddingFrames;
    sample.data = std::shared_ptr<std::int16_t[]>(new std::int16_t[total]);
    sample.residentLength = static_cast<std::int32_t>(frames);
    sample.residentBytes = bufferBytes(frames);
}

bool SampleStore::load(SampleHeader& sample, std::int32_t length) {
    const std::int64_t fileSize = file::size(sample.handle);
    if (fileSize < 0)
        return false;
    // Frames are read from the sample data area only, never from the bytes after it.
    const std::uint64_t dataEnd = std::min(static_cast<std::uint64_t>(fileSize), sample.dataEnd);
    if (sample.dataOffset > dataEnd)
        return false;
    try {
        if (sample.codecStream)
            return loadStream(sample, length, dataEnd);
        if (sample.blockSamples == 0)
            return loadRaw(sample, length, dataEnd);
        // The packer writes blocks of at most a few thousand frames; a block standing for
        // more than kMaxBlockSamples frames is damage that would make one stream byte
        // stand for gigabytes of buffer.
        if (sample.blockSamples < 0 || sample.blockSamples > kMaxBlockSamples)
            return false;
        return loadCompressed(sample, length, dataEnd);
    } catch (const std::bad_alloc&) {
        sample.data.reset();
        return false;
    }
}

bool SampleStore::loadRaw(SampleHeader& sample, std::int32_t length, std::uint64_t dataEnd) {
    // The frames and the padding frames after them as the data area holds them. Frames
    // the area does not hold are left out (the sample ends with the area), and missing
    // padding is silence.
    const std::uint64_t inArea = (dataEnd - sample.dataOffset) / 2;
    const auto frames = static_cast<std::size_t>(
        std::min<std::uint64_t>(inArea, static_cast<std::uint64_t>(length)));
    const std::size_t toRead = static_cast<std::size_t>(
        std::min<std::uint64_t>(inArea, frames + SampleHeader::kPaddingFrames));
    if (!fits(bufferBytes(frames)))
        return false;
    makeRoom(bufferBytes(frames));
    attach(sample, frames);
    std::int16_t* data = sample.data.get();
    if (!file::readAt(sample.handle, sample.dataOffset, data, toRead * 2)) {
        sample.data.reset();
        return false;
    }
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i < toRead; ++i)
            data[i] =
                static_cast<std::int16_t>(__builtin_bswap16(static_cast<std::uint16_t>(data[i])));
    std::fill(data + toRead, data + frames + SampleHeader::kPaddingFrames, std::int16_t(0));
    return true;
}

bool SampleStore::loadCompressed(SampleHeader& sample, std::int32_t length, std::uint64_t dataEnd) {
    const std::uint64_t bytes = sample.compressedBytes;
    if (bytes > dataEnd - sample.dataOffset)
        return false;
    // Every block takes at least its header byte, so the stream cannot hold more frames
    // than this; a greater storedLength is silence beyond it.
    const std::uint64_t decodable = bytes * static_cast<std::uint64_t>(sample.blockSamples);
    const auto frames = static_cast<std::size_t>(
        std::min<std::uint64_t>(static_cast<std::uint64_t>(length), decodable));
    if (!fits(bufferBytes(frames)))
        return false;
    stream_.resize(static_cast<std::size_t>(bytes));
    if (bytes > 0 &&
        !file::readAt(sample.handle, sample.dataOffset, stream_.data(), stream_.size()))
        return false;
    scrambler_.setKeyPosition(sample.dataOffset);
    scrambler_.unscramble(stream_.data(), stream_.size());
    makeRoom(bufferBytes(frames));
    attach(sample, frames);
    // Frames the stream cannot supply (it ended or is damaged) are silence, and so is the
    // padding.
    std::int16_t* data = sample.data.get();
    const std::size_t decoded = SampleDecoder::decodeStream(stream_.data(), stream_.size(),
                                                            sample.blockSamples, data, frames);
    std::fill(data + decoded, data + frames + SampleHeader::kPaddingFrames, std::int16_t(0));
    if (stream_.capacity() > (std::size_t(16) << 20))
        std::vector<std::uint8_t>().swap(stream_); // do not keep a huge scratch buffer
    return true;
}

bool SampleStore::loadStream(SampleHeader& sample, std::int32_t length, std::uint64_t dataEnd) {
    const std::uint64_t bytes = sample.compressedBytes;
    if (bytes > dataEnd - sample.dataOffset)
        return false;
    // The frame count came from the stream's last page and is bounded by its size; the
    // buffer holds the decoded frames (a greater storedLength is silence beyond them).
    // A stream without frames is one whose length could not be read.
    const auto frames = static_cast<std::size_t>(std::max<std::int32_t>(sample.playLength, 0));
    const std::size_t kept = std::min(frames, static_cast<std::size_t>(length));
    if (frames == 0 || !fits(bufferBytes(frames)))
        return false;
    stream_.resize(static_cast<std::size_t>(bytes));
    if (bytes > 0 &&
        !file::readAt(sample.handle, sample.dataOffset, stream_.data(), stream_.size()))
        return false;
    const codec::Codec kind = codec::identify(stream_);
    if (kind != codec::Codec::Vorbis && kind != codec::Codec::Unknown) {
        refusedCodec_ = codec::codecName(kind);
        return false;
    }
    const bool decoded = codec::decodeVorbis(stream_, frames, decoded_);
    if (stream_.capacity() > (std::size_t(16) << 20))
        std::vector<std::uint8_t>().swap(stream_);
    if (decoded) {
        makeRoom(bufferBytes(kept));
        attach(sample, kept);
        std::int16_t* data = sample.data.get();
        std::copy_n(decoded_.data(), kept, data);
        std::fill_n(data + kept, SampleHeader::kPaddingFrames, std::int16_t(0));
    }
    if (decoded_.capacity() > (std::size_t(8) << 20))
        std::vector<std::int16_t>().swap(decoded_);
    return decoded;
}

bool SampleStore::fits(std::uint64_t bytes) const noexcept {
    return bytes <= budget_;
}

void SampleStore::makeRoom(std::uint64_t bytes) {
    while (!resident_.empty() && used_ + bytes > budget_)
        evictOldest();
}

void SampleStore::evictOldest() {
    auto oldest = resident_.begin();
    for (auto it = resident_.begin(); it != resident_.end(); ++it)
        if ((*it)->lastUse < (*oldest)->lastUse)
            oldest = it; // strict: among equal stamps the one nearest the head stays chosen
    SampleHeader* sample = *oldest;
    resident_.erase(oldest);
    used_ -= sample->residentBytes;
    sample->data.reset();
    sample->residentLength = 0;
    sample->residentBytes = 0;
    sample->residentFor = 0;
}

void SampleStore::drop(SampleHeader& sample) noexcept {
    auto it = std::find(resident_.begin(), resident_.end(), &sample);
    if (it != resident_.end()) {
        resident_.erase(it);
        used_ -= sample.residentBytes;
    }
    sample.data.reset();
    sample.residentLength = 0;
    sample.residentBytes = 0;
    sample.residentFor = 0;
}

void SampleStore::forgetAll() noexcept {
    const std::lock_guard lock(mutex_);
    resident_.clear();
    used_ = 0;
}

void SampleStore::forgetSamples(std::span<SampleHeader> samples) noexcept {
    if (samples.empty())
        return;
    const std::lock_guard lock(mutex_);
    const std::less<const SampleHeader*> before;
    const SampleHeader* first = samples.data();
    const SampleHeader* last = samples.data() + samples.size();
    auto belongs = [&](const SampleHeader* s) { return !before(s, first) && before(s, last); };
    for (SampleHeader* s : resident_)
        if (belongs(s))
            used_ -= s->residentBytes;
    std::erase_if(resident_, belongs);
}

} // namespace korvelt
