/* The block shared by the main core and the coprocessor, at offset 0x200000 of
 * the shared memory (the coprocessor's address 0x200000). All fields are 32-bit
 * little-endian words; the coprocessor reaches them uncached, the host through
 * its mapping with acquire/release order on the flags. Plain C so that the
 * coprocessor's bare-metal build includes the same layout. */
#ifndef KORVAX_AUDIO_CONTROL_BLOCK_H
#define KORVAX_AUDIO_CONTROL_BLOCK_H

#include <stdint.h>

#define CONTROL_BLOCK_OFFSET 0x200000u
#define MUSIC_DATA_OFFSET 0x700000u
/* The stream ends where the coprocessor's PCM ring begins (0xE00000): a longer
 * one would be overwritten by the samples decoded from it. */
#define MUSIC_DATA_MAX_BYTES 0x700000u
#define PCM_BUFFER_SAMPLES 4096u /* signed 16-bit, stereo interleaved */

typedef struct AudioControlBlock {
    uint32_t quit;        /*  0: coprocessor leaves its loop when non-zero */
    uint32_t play;        /*  4: 1 fill PCM buffers, 0 do not */
    uint32_t restart;     /*  8: host sets, coprocessor clears */
    uint32_t data_ready;  /* 12: 0 while the host writes the stream */
    uint32_t volume;      /* 16: 0..255, samples * volume >> 8 */
    uint32_t position;    /* 20: 16-bit samples put into PCM buffers */
    uint32_t data_offset; /* 24: stream offset in shared memory */
    uint32_t data_length; /* 28: stream length in bytes */
    uint32_t fill_a;      /* 32: non-zero while buffer A is full */
    int16_t pcm_a[PCM_BUFFER_SAMPLES]; /* 36 */
    uint32_t fill_b;      /* 8,228 */
    int16_t pcm_b[PCM_BUFFER_SAMPLES]; /* 8,232 */
} AudioControlBlock;

#ifdef __cplusplus
static_assert(sizeof(AudioControlBlock) == 16424, "control block layout");
static_assert(__builtin_offsetof(AudioControlBlock, fill_b) == 8228, "control block layout");
static_assert(__builtin_offsetof(AudioControlBlock, pcm_b) == 8232, "control block layout");
#else
_Static_assert(sizeof(AudioControlBlock) == 16424, "control block layout");
#endif

#endif
