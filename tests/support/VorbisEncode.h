#pragma once

// Encodes mono frames as an Ogg Vorbis stream in memory (libvorbisenc), the sample data of
// SoundFont 3 banks built by tests.

#include <vorbis/vorbisenc.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvelt::test {

inline std::string encodeVorbis(const std::vector<float>& frames, long rate = 44100,
                                float quality = 0.5f) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 1, rate, quality) != 0)
        return {};
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);

    std::string out;
    ogg_page page;
    auto emit = [&] {
        out.append(reinterpret_cast<const char*>(page.header), std::size_t(page.header_len));
        out.append(reinterpret_cast<const char*>(page.body), std::size_t(page.body_len));
    };
    ogg_packet id, comments, codebooks;
    vorbis_analysis_headerout(&dsp, &comment, &id, &comments, &codebooks);
    ogg_stream_packetin(&os, &id);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    while (ogg_stream_flush(&os, &page) != 0)
        emit();

    std::size_t done = 0;
    bool eos = false;
    while (!eos) {
        const std::size_t n = std::min<std::size_t>(1024, frames.size() - done);
        if (n == 0) {
            vorbis_analysis_wrote(&dsp, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&dsp, int(n));
            for (std::size_t i = 0; i < n; ++i)
                buffer[0][i] = frames[done + i];
            vorbis_analysis_wrote(&dsp, int(n));
            done += n;
        }
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0) {
                    emit();
                    eos = ogg_page_eos(&page) != 0;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

} // namespace korvelt::test
