#include <vorbis/vorbisfile.h>

#include <cstring>

#include "tools/track/render.h"

namespace korvax::track {
namespace {

struct Source {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

size_t read_cb(void* ptr, size_t size, size_t count, void* source) {
    Source* s = static_cast<Source*>(source);
    if (size == 0) return 0;
    const size_t n = std::min(count, (s->size - s->pos) / size);
    std::memcpy(ptr, s->data + s->pos, n * size);
    s->pos += n * size;
    return n;
}

int seek_cb(void* source, ogg_int64_t offset, int whence) {
    Source* s = static_cast<Source*>(source);
    ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(s->pos)
                                                                    : static_cast<ogg_int64_t>(s->size);
    const ogg_int64_t target = base + offset;
    if (target < 0 || target > static_cast<ogg_int64_t>(s->size)) return -1;
    s->pos = static_cast<size_t>(target);
    return 0;
}

long tell_cb(void* source) { return static_cast<long>(static_cast<Source*>(source)->pos); }

}  // namespace

bool decode_vorbis(const uint8_t* data, size_t size, DecodedStream& out) {
    out = DecodedStream{};
    Source source{data, size, 0};
    const ov_callbacks callbacks{read_cb, seek_cb, nullptr, tell_cb};
    OggVorbis_File file;
    if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0) return false;
    const vorbis_info* info = ov_info(&file, -1);
    out.channels = info->channels;
    out.rate = info->rate;
    out.declared_frames = ov_pcm_total(&file, -1);
    if (out.declared_frames > 0) out.samples.reserve(static_cast<size_t>(out.declared_frames) * out.channels);
    bool ok = true;
    for (;;) {
        float** pcm = nullptr;
        int section = 0;
        const long n = ov_read_float(&file, &pcm, 4096, &section);
        if (n == 0) break;
        if (n < 0) {
            ok = false;
            break;
        }
        for (long i = 0; i < n; ++i)
            for (int c = 0; c < out.channels; ++c) out.samples.push_back(pcm[c][i]);
    }
    ov_clear(&file);
    return ok;
}

}  // namespace korvax::track
