// The coprocessor program: decodes the Ogg Vorbis stream the host placed in
// shared memory into a ring of samples and fills the control block's two PCM
// buffers from it whenever the host has emptied them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "coprocessor/decoder.h"
#include "music/audio_control_block.h"

namespace korvax {

// Where the stream callbacks read: the memory-resident stream.
struct StreamCursor {
    uint32_t base;      // coprocessor address of the first byte
    uint32_t length;    // bytes
    uint32_t position;  // bytes from base
};

struct CoprocessorProgram {
    volatile AudioControlBlock* control;  // uncached: every field is re-read
    uint32_t staging;       // address of the staging buffer
    uint32_t ring;          // address of pcm_ring
    uint32_t ring_read;     // sample index, 0..RING_SAMPLES-1
    uint32_t ring_write;    // sample index; equal to ring_read when empty
    uint32_t ring_primed;   // 1 once the ring held RING_LOW_WATER samples
    uint32_t decoder_open;  // 1 while a decoder instance exists
    uint32_t decoder_lost;  // 1 when the heap ran out inside the decoder
    uint32_t out_of_memory; // decoder instances lost to an exhausted heap
};

extern CoprocessorProgram coprocessor;
extern StreamCursor stream_cursor;

// Called by the start-up code; returns only when the host raised `quit`.
extern "C" void coprocessor_main();

// The first part of coprocessor_main: the program's state and the position.
void coprocessor_init(CoprocessorProgram& program);
void coprocessor_step(CoprocessorProgram& program);
void open_stream(CoprocessorProgram& program);
void decode_chunk(CoprocessorProgram& program);
void fill_pcm_buffers(CoprocessorProgram& program);
void fill_pcm_buffer(CoprocessorProgram& program, volatile int16_t* buffer);
// Samples buffered in the ring.
uint32_t ring_count(const CoprocessorProgram& program);

// The decoder's stream callbacks over the memory-resident stream.
size_t stream_read(void* buffer, size_t size, size_t count, void* datasource);
int stream_seek(void* datasource, ogg_int64_t offset, int whence);
int stream_close(void* datasource);
long stream_tell(void* datasource);

}  // namespace korvax
