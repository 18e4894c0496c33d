// The decoder the program drives: Tremor (libvorbisidec), integer-only.
// On the coprocessor the program calls the library it is linked with. In the
// host build of the program's logic the three calls go through a table that
// starts out pointing at the host's own libvorbisidec and that tests may point
// elsewhere.
#pragma once

#if defined(KORVAX_COPROCESSOR_HOST)
#include <tremor/ivorbisfile.h>
#else
#include <ivorbisfile.h>
#endif

namespace korvax {

#if defined(KORVAX_COPROCESSOR_HOST)
struct DecoderCalls {
    int (*open_callbacks)(void* datasource, OggVorbis_File* file, const char* initial, long initial_bytes,
                          ov_callbacks callbacks);
    long (*read)(OggVorbis_File* file, char* buffer, int length, int* bitstream);
    int (*clear)(OggVorbis_File* file);
};
extern DecoderCalls decoder_calls;

inline int tremor_open(void* datasource, OggVorbis_File* file, ov_callbacks callbacks) {
    return decoder_calls.open_callbacks(datasource, file, nullptr, 0, callbacks);
}
inline long tremor_read(OggVorbis_File* file, char* buffer, int length, int* bitstream) {
    return decoder_calls.read(file, buffer, length, bitstream);
}
inline int tremor_clear(OggVorbis_File* file) { return decoder_calls.clear(file); }
#else
inline int tremor_open(void* datasource, OggVorbis_File* file, ov_callbacks callbacks) {
    return ov_open_callbacks(datasource, file, nullptr, 0, callbacks);
}
inline long tremor_read(OggVorbis_File* file, char* buffer, int length, int* bitstream) {
    return ov_read(file, buffer, length, bitstream);
}
inline int tremor_clear(OggVorbis_File* file) { return ov_clear(file); }
#endif

}  // namespace korvax
