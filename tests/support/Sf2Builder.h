#pragma once

// Builds small SoundFont 2 banks in memory for tests: presets, instruments, zones with
// generators, and samples with chosen frames. The result is a complete .sf2 file image
// (RIFF "sfbk" with INFO, sdta/smpl and the nine pdta chunks, terminal records included).
//
//   Sf2Builder b;
//   int s = b.addSample({.name = "Sine", .frames = frames, .loopStart = 8, .loopEnd = 40});
//   int i = b.addInstrument("Lead", {Sf2Builder::instrumentZone(s, {keyRange(0, 127)})});
//   b.addPreset("Lead", 0, 0, {Sf2Builder::presetZone(i)});
//   std::string bytes = b.build();

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvelt::test {

// SoundFont 2 generator numbers used by tests.
namespace sfgen {
inline constexpr std::uint16_t kStartAddrsOffset = 0;
inline constexpr std::uint16_t kEndAddrsOffset = 1;
inline constexpr std::uint16_t kPan = 17;
inline constexpr std::uint16_t kInstrument = 41;
inline constexpr std::uint16_t kKeyRange = 43;
inline constexpr std::uint16_t kVelRange = 44;
inline constexpr std::uint16_t kInitialAttenuation = 48;
inline constexpr std::uint16_t kCoarseTune = 51;
inline constexpr std::uint16_t kSampleId = 53;
inline constexpr std::uint16_t kSampleModes = 54;
inline constexpr std::uint16_t kOverridingRootKey = 58;
} // namespace sfgen

struct GenSpec {
    std::uint16_t oper = 0;
    std::uint16_t amount = 0; // as stored: signed value or low/high range bytes
};

inline GenSpec gen(std::uint16_t oper, std::int16_t amount) {
    return GenSpec{oper, static_cast<std::uint16_t>(amount)};
}
inline GenSpec keyRange(std::uint8_t low, std::uint8_t high) {
    return GenSpec{sfgen::kKeyRange, static_cast<std::uint16_t>(low | (high << 8))};
}
inline GenSpec velRange(std::uint8_t low, std::uint8_t high) {
    return GenSpec{sfgen::kVelRange, static_cast<std::uint16_t>(low | (high << 8))};
}

class Sf2Builder {
public:
    struct Zone {
        std::vector<GenSpec> generators;
        int modulators = 0; // zero-filled 10-byte modulator records for this zone
    };

    struct Sample {
        std::string name;
        std::vector<std::int16_t> frames{};
        std::int32_t loopStart = 0; // relative to the first frame
        std::int32_t loopEnd = 0;
        std::uint32_t sampleRate = 44100;
        std::uint8_t originalPitch = 60;
        std::int8_t pitchCorrection = 0;
        std::uint16_t sampleLink = 0;
        std::uint16_t sampleType = 1;
        // Zero frames written after the sample (the SoundFont standard asks for 46).
        std::size_t padding = 46;
        // When not empty, the sample is this codec stream (SoundFont 3): written in place of
        // the frames and padding, its start and end are byte offsets in "smpl", the loop
        // points count decoded frames, and the type gets the compressed bit 0x10.
        std::string stream{};
    };

    // Where things landed in the last build(), as absolute file offsets.
    struct Layout {
        std::size_t infoListSize = 0;           // offset of the INFO list's size field
        std::size_t smplHead = 0;               // the "smpl" chunk head
        std::size_t smplBody = 0;               // first byte of sample data
        std::array<std::size_t, 9> chunkHead{}; // phdr pbag pmod pgen inst ibag imod igen shdr
        std::vector<std::size_t> sampleStart;   // first frame of each sample, in frames
                                                // (of a stream: its first byte)
    };

    // Zones; the instrument / sample generator goes last, as SoundFont 2 requires.
    static Zone presetZone(int instrument, std::vector<GenSpec> generators = {}) {
        generators.push_back(GenSpec{sfgen::kInstrument, static_cast<std::uint16_t>(instrument)});
        return Zone{std::move(generators), 0};
    }
    static Zone instrumentZone(int sample, std::vector<GenSpec> generators = {}) {
        generators.push_back(GenSpec{sfgen::kSampleId, static_cast<std::uint16_t>(sample)});
        return Zone{std::move(generators), 0};
    }
    // A zone without an instrument or sample generator (a global zone when first).
    static Zone globalZone(std::vector<GenSpec> generators) {
        return Zone{std::move(generators), 0};
    }

    int addSample(Sample sample) {
        samples_.push_back(std::move(sample));
        return static_cast<int>(samples_.size() - 1);
    }
    int addInstrument(std::string name, std::vector<Zone> zones) {
        instruments_.push_back(Entry{std::move(name), 0, 0, std::move(zones)});
        return static_cast<int>(instruments_.size() - 1);
    }
    int addPreset(std::string name, std::uint16_t bank, std::uint16_t program,
                  std::vector<Zone> zones) {
        presets_.push_back(Entry{std::move(name), bank, program, std::move(zones)});
        return static_cast<int>(presets_.size() - 1);
    }

    // Bank and program of the terminal preset record (normally 0 and 0, named "EOP").
    void setTerminalPreset(std::uint16_t bank, std::uint16_t program) {
        terminalBank_ = bank;
        terminalProgram_ = program;
    }
    // A chunk written inside the sdta list after "smpl" (e.g. a 24-bit "sm24" chunk).
    void addSdtaChunk(const std::string& tag, std::string body) {
        extraSdta_.push_back({tag, std::move(body)});
    }
    void setBankName(std::string name) { bankName_ = std::move(name); }
    // The "ifil" version (2.01 unless set).
    void setVersion(std::uint16_t major, std::uint16_t minor) {
        versionMajor_ = major;
        versionMinor_ = minor;
    }
    // Names of the terminal preset, instrument and sample records ("EOP", "EOI", "EOS").
    void setTerminalNames(std::string preset, std::string instrument, std::string sample) {
        terminalNames_ = {std::move(preset), std::move(instrument), std::move(sample)};
    }

    std::string build() {
        layout_ = Layout{};
        std::string out;
        out += "RIFF";
        put32(out, 0); // patched below
        out += "sfbk";

        // INFO list.
        std::string info = "INFO";
        info += "ifil";
        put32(info, 4);
        put16(info, versionMajor_);
        put16(info, versionMinor_);
        info += "isng";
        put32(info, 8);
        info.append("EMU8000\0", 8);
        std::string name = bankName_;
        name.push_back('\0');
        if (name.size() % 2)
            name.push_back('\0');
        info += "INAM";
        put32(info, static_cast<std::uint32_t>(name.size()));
        info += name;
        out += "LIST";
        layout_.infoListSize = out.size();
        put32(out, static_cast<std::uint32_t>(info.size()));
        out += info;

        // sdta list with the sample data.
        std::string smpl;
        for (const Sample& s : samples_) {
            if (!s.stream.empty()) {
                layout_.sampleStart.push_back(smpl.size());
                smpl += s.stream;
                continue;
            }
            smpl.append(smpl.size() % 2, '\0'); // frames after a stream of odd size
            layout_.sampleStart.push_back(smpl.size() / 2);
            for (std::int16_t f : s.frames)
                put16(smpl, static_cast<std::uint16_t>(f));
            smpl.append(s.padding * 2, '\0');
        }
        std::string sdta = "sdta";
        sdta += "smpl";
        put32(sdta, static_cast<std::uint32_t>(smpl.size()));
        sdta += smpl;
        for (const auto& [tag, body] : extraSdta_) {
            sdta += tag;
            put32(sdta, static_cast<std::uint32_t>(body.size()));
            sdta += body;
            sdta.append(body.size() % 2, '\0'); // the pad byte of an odd-sized chunk
        }
        out += "LIST";
        put32(out, static_cast<std::uint32_t>(sdta.size()));
        layout_.smplHead = out.size() + 4;
        layout_.smplBody = layout_.smplHead + 8;
        out += sdta;

        // pdta list.
        std::string phdr, pbag, pmod, pgen, inst, ibag, imod, igen, shdr;
        writeLevel(presets_, true, phdr, pbag, pmod, pgen);
        writeLevel(instruments_, false, inst, ibag, imod, igen);
        for (std::size_t i = 0; i < samples_.size(); ++i) {
            const Sample& s = samples_[i];
            const auto start = static_cast<std::uint32_t>(layout_.sampleStart[i]);
            const bool stream = !s.stream.empty();
            putName(shdr, s.name);
            put32(shdr, start);
            put32(shdr,
                  start + static_cast<std::uint32_t>(stream ? s.stream.size() : s.frames.size()));
            put32(shdr, (stream ? 0 : start) + static_cast<std::uint32_t>(s.loopStart));
            put32(shdr, (stream ? 0 : start) + static_cast<std::uint32_t>(s.loopEnd));
            put32(shdr, s.sampleRate);
            shdr.push_back(static_cast<char>(s.originalPitch));
            shdr.push_back(static_cast<char>(s.pitchCorrection));
            put16(shdr, s.sampleLink);
            put16(shdr, static_cast<std::uint16_t>(s.sampleType | (stream ? 0x10 : 0)));
        }
        putName(shdr, terminalNames_[2]);
        shdr.append(46 - 20, '\0');

        const std::string* bodies[9] = {&phdr, &pbag, &pmod, &pgen, &inst,
                                        &ibag, &imod, &igen, &shdr};
        static const char* const tags[9] = {"phdr", "pbag", "pmod", "pgen", "inst",
                                            "ibag", "imod", "igen", "shdr"};
        std::string pdta = "pdta";
        const std::size_t pdtaBody = out.size() + 8;
        for (int c = 0; c < 9; ++c) {
            layout_.chunkHead[static_cast<std::size_t>(c)] = pdtaBody + pdta.size();
            pdta += tags[c];
            put32(pdta, static_cast<std::uint32_t>(bodies[c]->size()));
            pdta += *bodies[c];
        }
        out += "LIST";
        put32(out, static_cast<std::uint32_t>(pdta.size()));
        out += pdta;

        const auto riffSize = static_cast<std::uint32_t>(out.size() - 8);
        for (int b = 0; b < 4; ++b)
            out[4 + static_cast<std::size_t>(b)] = static_cast<char>(riffSize >> (8 * b));
        return out;
    }

    const Layout& layout() const { return layout_; }

    static void put16(std::string& out, std::uint16_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>(v >> 8));
    }
    static void put32(std::string& out, std::uint32_t v) {
        put16(out, static_cast<std::uint16_t>(v));
        put16(out, static_cast<std::uint16_t>(v >> 16));
    }
    // Overwrites a little-endian 16/32-bit field of a built file.
    static void patch16(std::string& file, std::size_t at, std::uint16_t v) {
        file[at] = static_cast<char>(v & 0xFF);
        file[at + 1] = static_cast<char>(v >> 8);
    }
    static void patch32(std::string& file, std::size_t at, std::uint32_t v) {
        patch16(file, at, static_cast<std::uint16_t>(v));
        patch16(file, at + 2, static_cast<std::uint16_t>(v >> 16));
    }

private:
    struct Entry {
        std::string name;
        std::uint16_t bank = 0;
        std::uint16_t program = 0;
        std::vector<Zone> zones;
    };

    static void putName(std::string& out, const std::string& name) {
        std::string n = name.substr(0, 20);
        n.resize(20, '\0');
        out += n;
    }

    // Header, bag, modulator and generator records of presets or instruments, each list
    // with its terminal record.
    void writeLevel(const std::vector<Entry>& entries, bool presets, std::string& headers,
                    std::string& bags, std::string& mods, std::string& gens) const {
        std::uint16_t bagIndex = 0, genIndex = 0, modIndex = 0;
        auto header = [&](const std::string& name, std::uint16_t bank, std::uint16_t program) {
            putName(headers, name);
            if (presets) {
                put16(headers, program);
                put16(headers, bank);
            }
            put16(headers, bagIndex);
            if (presets)
                headers.append(12, '\0'); // library, genre, morphology
        };
        for (const Entry& e : entries) {
            header(e.name, e.bank, e.program);
            for (const Zone& z : e.zones) {
                put16(bags, genIndex);
                put16(bags, modIndex);
                ++bagIndex;
                for (const GenSpec& g : z.generators) {
                    put16(gens, g.oper);
                    put16(gens, g.amount);
                    ++genIndex;
                }
                mods.append(static_cast<std::size_t>(z.modulators) * 10, '\0');
                modIndex = static_cast<std::uint16_t>(modIndex + z.modulators);
            }
        }
        header(terminalNames_[presets ? 0 : 1], terminalBank_, terminalProgram_);
        put16(bags, genIndex); // terminal bag
        put16(bags, modIndex);
        gens.append(4, '\0');  // terminal generator
        mods.append(10, '\0'); // terminal modulator
    }

    std::vector<Sample> samples_;
    std::vector<Entry> instruments_;
    std::vector<Entry> presets_;
    std::vector<std::pair<std::string, std::string>> extraSdta_;
    std::uint16_t terminalBank_ = 0;
    std::uint16_t terminalProgram_ = 0;
    std::string bankName_ = "Test bank";
    std::uint16_t versionMajor_ = 2;
    std::uint16_t versionMinor_ = 1;
    std::array<std::string, 3> terminalNames_{"EOP", "EOI", "EOS"};
    Layout layout_;
};

} // namespace korvelt::test
