#include "coprocessor/program.h"

#include <setjmp.h>
#include <stdio.h>
#include <string.h>

#include "coprocessor/heap.h"
#include "coprocessor/memory_map.h"

namespace korvax {

#if defined(KORVAX_COPROCESSOR_HOST)
uintptr_t coprocessor_window = 0;
DecoderCalls decoder_calls = {ov_open_callbacks, ov_read, ov_clear};
#endif

CoprocessorProgram coprocessor;
StreamCursor stream_cursor;

namespace {

OggVorbis_File decoder_file;
// Where an allocation that the heap cannot serve inside the decoder lands.
jmp_buf decoder_escape;

// The callbacks find the stream through stream_cursor; the decoder insists on
// a non-null datasource, so it gets a dummy.
void* const STREAM_DATASOURCE = reinterpret_cast<void*>(1);

void reset_decoder_heap() { heap_reset(decoder_heap, HEAP_BASE, HEAP_LIMIT); }

uint32_t next_ring_index(uint32_t i) { return i + 1 == RING_SAMPLES ? 0 : i + 1; }

}  // namespace

// ---- stream callbacks ----------------------------------------------------------

size_t stream_read(void* buffer, size_t size, size_t count, void*) {
    StreamCursor& s = stream_cursor;
    if (s.position >= s.length) return 0;
    size_t wanted = size * count;
    size_t left = s.length - s.position;
    size_t n = wanted < left ? wanted : left;
    memcpy(buffer, at_address<const uint8_t>(s.base + s.position), n);
    s.position += static_cast<uint32_t>(n);
    return n;
}

int stream_seek(void*, ogg_int64_t offset, int whence) {
    StreamCursor& s = stream_cursor;
    switch (whence) {
        case SEEK_SET:
            s.position = static_cast<uint32_t>(offset);
            break;
        case SEEK_CUR: {
            // Relative moves stay within the stream: 0 .. length.
            ogg_int64_t p = static_cast<ogg_int64_t>(s.position) + offset;
            if (p < 0) p = 0;
            if (p > s.length) p = s.length;
            s.position = static_cast<uint32_t>(p);
            break;
        }
        case SEEK_END:
            s.position = s.length;
            break;
        default:
            break;
    }
    return static_cast<int>(s.position);
}

int stream_close(void*) { return 0; }

long stream_tell(void*) { return static_cast<long>(stream_cursor.position); }

// ---- the control loop --------------------------------------------------------------

uint32_t ring_count(const CoprocessorProgram& p) {
    return p.ring_write >= p.ring_read ? p.ring_write - p.ring_read : p.ring_write + RING_SAMPLES - p.ring_read;
}

void coprocessor_init(CoprocessorProgram& p) {
    reset_decoder_heap();
    heap_set_escape(decoder_heap, nullptr);
    p.staging = STAGING_ADDRESS;
    p.ring = RING_ADDRESS;
    p.decoder_open = 0;
    p.decoder_lost = 0;
    p.out_of_memory = 0;
    p.ring_write = 0;
    p.ring_read = 0;
    p.ring_primed = 0;
    p.control = at_address<volatile AudioControlBlock>(CONTROL_ADDRESS);
    p.control->position = 0;
}

extern "C" void coprocessor_main() {
    CoprocessorProgram& p = coprocessor;
    coprocessor_init(p);
    while (p.control->quit == 0) coprocessor_step(p);
}

void coprocessor_step(CoprocessorProgram& p) {
    volatile AudioControlBlock* c = p.control;
    if (c->restart != 0) {
        // A new stream: the old decoder instance is abandoned (its memory goes
        // with the next heap reset) and the ring emptied.
        p.ring_primed = 0;
        c->restart = 0;
        c->position = 0;
        p.decoder_open = 0;
        p.decoder_lost = 0;
        p.ring_write = 0;
        p.ring_read = 0;
    }
    fill_pcm_buffers(p);
    if (c->data_ready == 0) return;
    if (p.decoder_open == 0) {
        open_stream(p);
        p.decoder_open = 1;
        return;
    }
    if (ring_count(p) >= RING_LOW_WATER) {
        p.ring_primed = 1;
        return;
    }
    decode_chunk(p);
}

void open_stream(CoprocessorProgram& p) {
    volatile AudioControlBlock* c = p.control;
    // The stream is read only inside the host's stream area, which ends below
    // the ring: a length reaching past it would decode the ring's own samples.
    const uint32_t base = c->data_offset;
    uint32_t length = c->data_length;
    const uint32_t area_end = MUSIC_DATA_OFFSET + MUSIC_DATA_MAX_BYTES;
    if (base < MUSIC_DATA_OFFSET || base > area_end) {
        length = 0;
    } else if (length > area_end - base) {
        length = area_end - base;
    }
    stream_cursor.base = base;
    stream_cursor.length = length;
    stream_cursor.position = 0;
    reset_decoder_heap();
    p.decoder_lost = 0;
    ov_callbacks callbacks = {stream_read, stream_seek, stream_close, stream_tell};
    // The result is not examined: a stream that failed to open fails its
    // first read, which ends the instance again.
    if (setjmp(decoder_escape) == 0) {
        heap_set_escape(decoder_heap, &decoder_escape);
        tremor_open(STREAM_DATASOURCE, &decoder_file, callbacks);
    } else {
        p.decoder_lost = 1;
        ++p.out_of_memory;
    }
    heap_set_escape(decoder_heap, nullptr);
}

void decode_chunk(CoprocessorProgram& p) {
    char* staging = at_address<char>(p.staging);
    long got = OV_EFAULT;
    if (p.decoder_lost == 0) {
        int bitstream = 0;
        if (setjmp(decoder_escape) == 0) {
            heap_set_escape(decoder_heap, &decoder_escape);
            got = tremor_read(&decoder_file, staging, static_cast<int>(STAGING_BYTES), &bitstream);
        } else {
            p.decoder_lost = 1;
            ++p.out_of_memory;
            got = OV_EFAULT;
        }
        heap_set_escape(decoder_heap, nullptr);
    }
    if (got <= 0) {
        // End of the stream or an error: the next step opens the stream again
        // from its beginning, so the music loops and the position runs on. An
        // instance the heap ran out in is left alone, not cleared.
        if (p.decoder_lost == 0) tremor_clear(&decoder_file);
        reset_decoder_heap();
        p.decoder_open = 0;
        p.decoder_lost = 0;
        return;
    }
    const int16_t* samples = reinterpret_cast<const int16_t*>(staging);
    int16_t* ring = at_address<int16_t>(p.ring);
    uint32_t n = static_cast<uint32_t>(got) / 2;
    uint32_t w = p.ring_write;
    for (uint32_t i = 0; i < n; ++i) {
        ring[w] = samples[i];
        w = next_ring_index(w);
    }
    p.ring_write = w;
}

void fill_pcm_buffers(CoprocessorProgram& p) {
    volatile AudioControlBlock* c = p.control;
    if (c->play == 0 || p.ring_primed != 1) return;
    // A fill field is raised only after its buffer has been written: the
    // control block is uncached and the ARM940T stores in program order.
    if (c->fill_a == 0) {
        fill_pcm_buffer(p, c->pcm_a);
        c->fill_a = 1;
        if (c->fill_b == 0) {
            fill_pcm_buffer(p, c->pcm_b);
            c->fill_b = 1;
        }
    } else if (c->fill_b == 0) {
        fill_pcm_buffer(p, c->pcm_b);
        c->fill_b = 1;
    }
}

void fill_pcm_buffer(CoprocessorProgram& p, volatile int16_t* buffer) {
    volatile AudioControlBlock* c = p.control;
    const int16_t* ring = at_address<const int16_t>(p.ring);
    const bool primed = p.ring_primed == 1;
    const uint32_t write = p.ring_write;
    uint32_t read = p.ring_read;
    uint32_t position = c->position;
    for (uint32_t slot = 0; slot < PCM_BUFFER_SAMPLES; ++slot) {
        // The host may change play and volume at any moment: both are re-read
        // for every sample. A slot the ring cannot serve keeps what it held.
        if (c->play == 0 || !primed || read == write) continue;
        // sample * volume fits 32 bits for any volume the host stores (0..255);
        // the product is formed unsigned so that no volume can overflow.
        uint32_t product = static_cast<uint32_t>(static_cast<int32_t>(ring[read])) * c->volume;
        buffer[slot] = static_cast<int16_t>(static_cast<int32_t>(product) >> 8);
        read = next_ring_index(read);
        ++position;
        c->position = position;
    }
    p.ring_read = read;
}

}  // namespace korvax
