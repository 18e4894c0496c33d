// Makes an Ogg Vorbis stream of synthetic tones with libvorbisenc, for the
// coprocessor tests. A process of its own: libvorbis and the host's Tremor
// export functions of the same names, so the tests (which decode with Tremor)
// do not link the encoder.
//
// usage: make_test_stream OUT.ogg SECONDS QUALITY CHANNELS RATE [SEED]
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

bool write_page(FILE* out, const ogg_page& page) {
    return std::fwrite(page.header, 1, page.header_len, out) == static_cast<size_t>(page.header_len) &&
           std::fwrite(page.body, 1, page.body_len, out) == static_cast<size_t>(page.body_len);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s OUT.ogg SECONDS QUALITY CHANNELS RATE [SEED]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    const double seconds = std::atof(argv[2]);
    const float quality = static_cast<float>(std::atof(argv[3]));
    const int channels = std::atoi(argv[4]);
    const long rate = std::atol(argv[5]);
    const unsigned seed = argc > 6 ? static_cast<unsigned>(std::atol(argv[6])) : 1u;
    const long frames = static_cast<long>(seconds * static_cast<double>(rate));

    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
        std::fprintf(stderr, "make_test_stream: the encoder refuses %d channels at %ld Hz, quality %.2f\n", channels,
                     rate, quality);
        return 1;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, static_cast<int>(seed));

    FILE* out = std::fopen(path, "wb");
    if (!out) {
        std::perror(path);
        return 1;
    }
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) write_page(out, page);

    // A chord per channel that changes every half second, a slow vibrato and a
    // little noise, so that the stream exercises more than one codebook path.
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const double base[] = {220.0, 277.18, 329.63, 392.0, 440.0, 523.25};
    const long block = 1024;
    long done = 0;
    bool eos = false;
    bool ended = false;
    while (!eos) {
        long n = std::min(block, frames - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (long i = 0; i < n; ++i) {
                double t = static_cast<double>(done + i) / static_cast<double>(rate);
                int step = static_cast<int>(t * 2.0);
                for (int c = 0; c < channels; ++c) {
                    double f = base[(step + c) % 6] * (1.0 + 0.003 * std::sin(2.0 * M_PI * 5.0 * t));
                    double v = 0.30 * std::sin(2.0 * M_PI * f * t) + 0.15 * std::sin(2.0 * M_PI * 1.5 * f * t + c) +
                               0.08 * std::sin(2.0 * M_PI * 3.01 * f * t);
                    double envelope = 0.6 + 0.4 * std::sin(2.0 * M_PI * 0.5 * t + c);
                    buffer[c][i] = static_cast<float>(v * envelope) + 0.02f * noise(random);
                }
            }
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            done += n;
        } else if (!ended) {
            vorbis_analysis_wrote(&vd, 0);  // the end: flush what is left
            ended = true;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (!eos && ogg_stream_pageout(&os, &page) != 0) {
                    write_page(out, page);
                    if (ogg_page_eos(&page)) eos = true;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return std::fclose(out) == 0 ? 0 : 1;
}
