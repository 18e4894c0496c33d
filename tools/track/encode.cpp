#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/track/dsp.h"
#include "tools/track/render.h"

namespace korvax::track {
namespace {

void append_page(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<uint8_t> encode_vorbis(const std::vector<float>& interleaved, float quality) {
    std::vector<uint8_t> out;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, 2, SAMPLE_RATE, quality) != 0) {
        vorbis_info_clear(&info);
        return out;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "TITLE", "korvax");

    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, static_cast<int>(STREAM_SERIAL));

    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    ogg_page page;
    // The audio starts on a fresh page, as decoders expect.
    while (ogg_stream_flush(&stream, &page) != 0) append_page(out, page);

    auto drain = [&]() {
        ogg_packet packet;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) append_page(out, page);
            }
        }
    };

    const size_t frames = interleaved.size() / 2;
    const size_t CHUNK = 1024;
    for (size_t f = 0; f < frames; f += CHUNK) {
        const size_t n = std::min(CHUNK, frames - f);
        float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
        for (size_t i = 0; i < n; ++i) {
            buffer[0][i] = interleaved[2 * (f + i)];
            buffer[1][i] = interleaved[2 * (f + i) + 1];
        }
        vorbis_analysis_wrote(&dsp, static_cast<int>(n));
        drain();
    }
    vorbis_analysis_wrote(&dsp, 0);
    drain();
    while (ogg_stream_flush(&stream, &page) != 0) append_page(out, page);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

std::vector<uint8_t> encode_stream(std::vector<float>& pcm, int* passes) {
    const size_t frames = pcm.size() / 2;
    const int64_t HALF = 1024;  // half-width of a dip, in frames
    const float target = STREAM_PEAK_LIMIT * 0.985f;
    std::vector<uint8_t> ogg;
    for (int pass = 0; pass < 6; ++pass) {
        if (passes) *passes = pass + 1;
        ogg = encode_vorbis(pcm, STREAM_QUALITY);
        DecodedStream decoded;
        if (ogg.empty() || !decode_vorbis(ogg.data(), ogg.size(), decoded) || decoded.frames() != static_cast<int64_t>(frames))
            return ogg;
        std::vector<float> gain;
        for (size_t f = 0; f < frames; ++f) {
            const float peak = std::max(std::fabs(decoded.samples[2 * f]), std::fabs(decoded.samples[2 * f + 1]));
            if (peak <= target) continue;
            if (gain.empty()) gain.assign(frames, 1.0f);
            const double g = target / peak * 0.97;
            const int64_t lo = std::max<int64_t>(0, static_cast<int64_t>(f) - HALF);
            const int64_t hi = std::min<int64_t>(static_cast<int64_t>(frames) - 1, static_cast<int64_t>(f) + HALF);
            for (int64_t k = lo; k <= hi; ++k) {
                const double w = 0.5 * (1.0 + std::cos(PI * static_cast<double>(k - static_cast<int64_t>(f)) / HALF));
                gain[k] = std::min(gain[k], static_cast<float>(1.0 - (1.0 - g) * w));
            }
        }
        if (gain.empty()) return ogg;
        for (size_t f = 0; f < frames; ++f) {
            pcm[2 * f] *= gain[f];
            pcm[2 * f + 1] *= gain[f];
        }
    }
    return ogg;
}

}  // namespace korvax::track
