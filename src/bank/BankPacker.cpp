#include "bank/BankPacker.h"

#include "bank/BankScrambler.h"
#include "bank/ByteOrder.h"
#include "bank/Ccompsf.h"
#include "bank/CodecStream.h"
#include "bank/Csf2file.h"
#include "bank/SampleDecoder.h"
#include "bank/SampleEncoder.h"
#include "bank/SampleStore.h"
#include "platform/File.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <map>
#include <new>
#include <utility>
#include <vector>

namespace korvelt {

namespace {

// Buffered output that knows the absolute position of every byte, so that it can
// scramble with the key the reader will use there.
class CsfWriter {
public:
    explicit CsfWriter(int fd) : fd_(fd) { buffer_.reserve(kBuffer); }

    std::uint64_t position() const noexcept { return position_; }
    bool ok() const noexcept { return ok_; }
    // The system's error of the first write that failed.
    int error() const noexcept { return error_; }

    void plain(const std::uint8_t* bytes, std::size_t n) {
        position_ += n;
        while (n > 0) {
            const std::size_t take = std::min(n, kBuffer - buffer_.size());
            buffer_.insert(buffer_.end(), bytes, bytes + take);
            bytes += take;
            n -= take;
            if (buffer_.size() == kBuffer)
                flush();
        }
    }
    void plain(const std::vector<std::uint8_t>& bytes) { plain(bytes.data(), bytes.size()); }

    // Scrambles the bytes for their place in the file and writes them.
    void scrambled(std::vector<std::uint8_t> bytes) {
        BankScrambler scrambler;
        scrambler.setKeyPosition(position_);
        scrambler.scramble(bytes.data(), bytes.size());
        plain(bytes);
    }

    void flush() {
        if (ok_ && !buffer_.empty()) {
            ok_ = file::writeAll(fd_, buffer_.data(), buffer_.size());
            if (!ok_)
                error_ = errno;
        }
        buffer_.clear();
    }

    // Writes bytes at an absolute position already written (after a flush).
    void patch(std::uint64_t at, const std::vector<std::uint8_t>& bytes) {
        flush();
        if (!ok_)
            return;
        ok_ = file::seekTo(fd_, static_cast<std::int64_t>(at)) >= 0 &&
              file::writeAll(fd_, bytes.data(), bytes.size()) &&
              file::seekTo(fd_, static_cast<std::int64_t>(position_)) >= 0;
        if (!ok_)
            error_ = errno;
    }

private:
    static constexpr std::size_t kBuffer = std::size_t(1) << 20;
    int fd_;
    std::uint64_t position_ = 0;
    bool ok_ = true;
    int error_ = 0;
    std::vector<std::uint8_t> buffer_;
};

struct StoredStream {
    std::uint64_t dataOffset = 0;
    std::uint32_t compressedBytes = 0;
    std::int32_t blockSamples = 0;
};

void putName(std::vector<std::uint8_t>& out, const RecordName& name) {
    le::putBytes(out, name.data(), name.size());
}

std::vector<std::uint8_t> chunk(std::uint16_t tag, const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> out;
    out.reserve(csf::kChunkHead + body.size());
    le::put16(out, tag);
    le::put32(out, static_cast<std::uint32_t>(body.size()));
    le::putBytes(out, body.data(), body.size());
    return out;
}

std::vector<std::uint8_t> bagRecords(const std::vector<ZoneBag>& bags) {
    std::vector<std::uint8_t> out;
    for (const ZoneBag& b : bags) {
        le::put16(out, b.genIndex);
        le::put16(out, b.modIndex);
    }
    return out;
}

std::vector<std::uint8_t> generatorRecords(const std::vector<Generator>& gens) {
    std::vector<std::uint8_t> out;
    for (const Generator& g : gens) {
        le::put16(out, g.oper);
        le::put16(out, static_cast<std::uint16_t>(g.amount));
    }
    return out;
}

std::vector<std::uint8_t> presetRecords(const std::vector<PresetHeader>& presets) {
    std::vector<std::uint8_t> out;
    for (const PresetHeader& p : presets) {
        putName(out, p.name);
        le::put16(out, p.preset);
        le::put16(out, p.bank);
        le::put16(out, p.bagIndex);
        le::put32(out, p.library);
        le::put32(out, p.genre);
        le::put32(out, p.morphology);
    }
    return out;
}

std::vector<std::uint8_t> instrumentRecords(const std::vector<InstrumentHeader>& instruments) {
    std::vector<std::uint8_t> out;
    for (const InstrumentHeader& i : instruments) {
        putName(out, i.name);
        le::put16(out, i.bagIndex);
    }
    return out;
}

void putSampleRecord(std::vector<std::uint8_t>& out, const SampleHeader& s,
                     const StoredStream& stored) {
    putName(out, s.name);
    le::put64(out, stored.dataOffset);
    le::put32(out, static_cast<std::uint32_t>(s.storedLength));
    le::put32(out, stored.compressedBytes);
    le::put32(out, static_cast<std::uint32_t>(stored.blockSamples));
    le::put32(out, static_cast<std::uint32_t>(s.playLength));
    le::put32(out, static_cast<std::uint32_t>(s.loopStart));
    le::put32(out, static_cast<std::uint32_t>(s.loopEnd));
    le::put32(out, s.sampleRate);
    out.push_back(s.originalPitch);
    out.push_back(static_cast<std::uint8_t>(s.pitchCorrection));
    le::put16(out, s.sampleLink);
    le::put16(out, s.sampleType);
}

// The frames of a sample as the source bank holds them (raw, a codec stream, or coded when
// the source is itself a compressed bank); false when they are not all there.
bool readFrames(int handle, const SampleHeader& s, std::vector<std::int16_t>& frames) {
    const auto n = static_cast<std::size_t>(std::max<std::int32_t>(s.storedLength, 0));
    frames.clear();
    if (n == 0 && !s.codecStream) // a stream is decoded even then: it must be sound
        return true;
    const std::int64_t size = file::size(handle);
    if (size < 0)
        return false;
    // Only the sample data area holds frames.
    const std::uint64_t dataEnd = std::min(static_cast<std::uint64_t>(size), s.dataEnd);
    if (s.dataOffset > dataEnd)
        return false;
    const std::uint64_t available = dataEnd - s.dataOffset;
    // The file must hold what the header claims before anything is allocated for it.
    if (s.codecStream) {
        // Decoded whole as the sample store does; frames past the stream are silence there
        // and here.
        if (s.compressedBytes > available)
            return false;
        std::vector<std::uint8_t> stream(s.compressedBytes);
        if (!stream.empty() && !file::readAt(handle, s.dataOffset, stream.data(), stream.size()))
            return false;
        const auto streamFrames = static_cast<std::size_t>(std::max<std::int32_t>(s.playLength, 0));
        if (streamFrames == 0 || codec::identify(stream) != codec::Codec::Vorbis ||
            !codec::decodeVorbis(stream, streamFrames, frames))
            return false;
        frames.resize(n, 0);
        return true;
    }
    if (s.blockSamples != 0) {
        if (s.blockSamples < 0 || s.blockSamples > SampleStore::kMaxBlockSamples ||
            s.compressedBytes > available ||
            n > std::uint64_t(s.compressedBytes) * std::uint64_t(s.blockSamples))
            return false;
        frames.resize(n);
        std::vector<std::uint8_t> stream(s.compressedBytes);
        if (!stream.empty() && !file::readAt(handle, s.dataOffset, stream.data(), stream.size()))
            return false;
        BankScrambler scrambler;
        scrambler.setKeyPosition(s.dataOffset);
        scrambler.unscramble(stream.data(), stream.size());
        return SampleDecoder::decodeStream(stream.data(), stream.size(), s.blockSamples,
                                           frames.data(), n) == n;
    }
    if (available / 2 < n)
        return false;
    frames.resize(n);
    if (!file::readAt(handle, s.dataOffset, frames.data(), n * 2))
        return false;
    if constexpr (std::endian::native == std::endian::big)
        for (auto& f : frames)
            f = static_cast<std::int16_t>(__builtin_bswap16(static_cast<std::uint16_t>(f)));
    return true;
}

std::vector<std::uint8_t> rawBytes(const std::vector<std::int16_t>& frames) {
    std::vector<std::uint8_t> out;
    out.reserve((frames.size() + SampleHeader::kPaddingFrames) * 2);
    for (std::int16_t f : frames)
        le::put16(out, static_cast<std::uint16_t>(f));
    out.resize(out.size() + SampleHeader::kPaddingFrames * 2, 0);
    return out;
}

} // namespace

PackReport BankPacker::pack(const Csf2file& bank, const std::string& outPath) {
    try {
        return packBank(bank, outPath);
    } catch (const std::bad_alloc&) {
        file::remove(outPath + ".part");
        PackReport report;
        report.error = "not enough memory";
        report.problem = FileProblem{outPath, file::errorText(ENOMEM)};
        return report;
    }
}

PackReport BankPacker::packBank(const Csf2file& bank, const std::string& outPath) {
    PackReport report;
    if (!bank.loaded()) {
        report.error = "the bank is not loaded";
        return report;
    }
    const std::int64_t inputSize = file::size(bank.handle());
    report.inputBytes = inputSize > 0 ? static_cast<std::uint64_t>(inputSize) : 0;

    // The output is named as the user gave it in a problem: the temporary file beside it
    // shares its directory and its fate.
    const std::string tempPath = outPath + ".part";
    const int fd = file::openWrite(tempPath);
    if (fd < 0) {
        report.problem = file::problem(outPath, "");
        report.error = "cannot create the compressed bank";
        return report;
    }
    auto abandon = [&](std::string why, std::optional<FileProblem> problem) {
        file::close(fd);
        file::remove(tempPath);
        report.ok = false;
        report.error = std::move(why);
        report.problem = std::move(problem);
        return report;
    };

    CsfWriter out(fd);
    // The plain file header.
    std::vector<std::uint8_t> header(csf::kHeaderSize, 0);
    std::copy(std::begin(csf::kMagic), std::end(csf::kMagic), header.begin());
    static const char kLabel[] = "Korvelt compressed sound bank";
    std::copy(kLabel, kLabel + sizeof kLabel - 1, header.begin() + 4);
    header[csf::kFirstChunkField] = static_cast<std::uint8_t>(csf::kHeaderSize);
    header[csf::kFirstChunkField + 1] = 0;
    header[csf::kVersionField] = csf::kVersion;
    out.plain(header);

    // The sample data chunk; its size goes into the head once the streams are written.
    const std::uint64_t dataHeadAt = out.position();
    out.plain(std::vector<std::uint8_t>(csf::kSampleDataHead, 0));
    const std::uint64_t bodyStart = out.position();

    const std::vector<SampleHeader>& samples = bank.samples();
    std::vector<StoredStream> stored(samples.size());
    std::map<std::pair<std::uint64_t, std::int32_t>, StoredStream> written;
    SampleEncoder encoder;
    std::vector<std::int16_t> frames;
    std::vector<std::int16_t> check;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const SampleHeader& s = samples[i];
        const auto key = std::make_pair(s.dataOffset, std::max<std::int32_t>(s.storedLength, 0));
        if (auto it = written.find(key); it != written.end()) {
            stored[i] = it->second;
            ++report.sharedSamples;
            continue;
        }
        errno = 0;
        if (!readFrames(bank.handle(), s, frames)) {
            std::optional<FileProblem> problem;
            if (errno != 0)
                problem = file::problem(bank.name(), "");
            return abandon("the data of sample \"" + recordNameText(s.name) +
                               "\" cannot be read from the bank file",
                           std::move(problem));
        }
        StoredStream where;
        where.dataOffset = out.position();
        SampleEncoder::Result encoded = encoder.encode(frames);
        const std::size_t rawSize = (frames.size() + SampleHeader::kPaddingFrames) * 2;
        bool compressed = encoded.stream.size() < rawSize;
        if (compressed) {
            // Written only if it decodes to exactly the frames.
            check.assign(frames.size(), 0);
            const std::size_t decoded =
                SampleDecoder::decodeStream(encoded.stream.data(), encoded.stream.size(),
                                            encoded.blockSamples, check.data(), check.size());
            compressed = decoded == frames.size() && check == frames;
        }
        if (compressed) {
            where.compressedBytes = static_cast<std::uint32_t>(encoded.stream.size());
            where.blockSamples = encoded.blockSamples;
            out.scrambled(std::move(encoded.stream));
            ++report.compressedSamples;
        } else {
            out.plain(rawBytes(frames));
            ++report.rawSamples;
        }
        report.frames += frames.size();
        stored[i] = where;
        written.emplace(key, where);
    }
    const std::uint64_t bodySize = out.position() - bodyStart;

    // The structure chunks.
    out.scrambled(chunk(csf::kStructureTags[0], presetRecords(bank.presets())));
    out.scrambled(chunk(csf::kStructureTags[1], bagRecords(bank.presetBags())));
    out.scrambled(chunk(csf::kStructureTags[2], generatorRecords(bank.presetGenerators())));
    out.scrambled(chunk(csf::kStructureTags[3], instrumentRecords(bank.instruments())));
    out.scrambled(chunk(csf::kStructureTags[4], bagRecords(bank.instrumentBags())));
    out.scrambled(chunk(csf::kStructureTags[5], generatorRecords(bank.instrumentGenerators())));
    std::vector<std::uint8_t> sampleRecords;
    sampleRecords.reserve(samples.size() * csf::kSampleRecord);
    for (std::size_t i = 0; i < samples.size(); ++i)
        putSampleRecord(sampleRecords, samples[i], stored[i]);
    out.scrambled(chunk(csf::kStructureTags[6], sampleRecords));

    std::vector<std::uint8_t> dataHead;
    le::put16(dataHead, csf::kSampleDataTag);
    le::put64(dataHead, bodySize);
    BankScrambler scrambler;
    scrambler.setKeyPosition(dataHeadAt);
    scrambler.scramble(dataHead.data(), dataHead.size());
    out.patch(dataHeadAt, dataHead);
    out.flush();
    const std::uint64_t total = out.position();
    if (!out.ok())
        return abandon("cannot write the compressed bank",
                       FileProblem{outPath, file::errorText(out.error())});
    file::close(fd);
    if (!file::rename(tempPath, outPath)) {
        report.problem = file::problem(outPath, "");
        file::remove(tempPath);
        report.error = "cannot put the compressed bank in place";
        return report;
    }
    report.ok = true;
    report.outputBytes = total;
    report.samples = samples.size();
    return report;
}

} // namespace korvelt
