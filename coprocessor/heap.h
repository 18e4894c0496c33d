// The decoder's heap on the coprocessor: a bump allocator over
// HEAP_BASE..HEAP_LIMIT with five size classes and a list of large blocks.
// Nothing returns memory to the top except a reset, which the program does
// whenever it opens a stream or ends a decoder instance.
#pragma once

#include <setjmp.h>
#include <stdint.h>

namespace korvax {

constexpr uint32_t BLOCK_MAGIC = 0x13578642;
constexpr uint32_t BLOCK_HEADER_BYTES = 12;
constexpr uint32_t HEAP_CLASSES = 5;
// Bytes a block of each class occupies after its header.
constexpr uint32_t HEAP_CLASS_BYTES[HEAP_CLASSES] = {64, 256, 1024, 4096, 16384};

// In front of every block. `kind` is the class number (0..4), or for a large
// block the bytes it occupies (always more than 16,384, so the two never meet).
struct BlockHeader {
    uint32_t link;   // next block of the same free list (coprocessor address, 0 ends)
    uint32_t kind;
    uint32_t magic;  // BLOCK_MAGIC while the block is allocated
};

struct Heap {
    uint32_t start;                          // address of the first block
    uint32_t limit;                          // no block reaches past this address
    uint32_t top;                            // blocks are cut from here upwards
    uint32_t free_lists[HEAP_CLASSES];       // released blocks, latest first
    uint32_t large_list;                     // released large blocks, latest first
    uint32_t in_use;                         // bytes of live blocks, headers included
    uint32_t peak;                           // most bytes in use since the reset
    jmp_buf* escape;                         // see heap_set_escape
};

// The heap that serves the decoder (malloc, calloc, realloc, free).
extern Heap decoder_heap;

// Empties the heap: top back to `start`, every list empty, statistics 0.
void heap_reset(Heap& heap, uint32_t start, uint32_t limit);

// A block of at least `bytes`; null when the heap cannot hold it (the top would
// pass the limit), or a jump to the escape when one is set.
void* heap_allocate(Heap& heap, uint32_t bytes);
// count * size bytes of zeros; null (or the escape) on overflow or exhaustion.
void* heap_allocate_zeroed(Heap& heap, uint32_t count, uint32_t size);
// A new block holding the lesser of the old and the new sizes of the old
// block's contents; the old block stays allocated. On failure the old block is
// untouched and the result is null (or the escape is taken).
void* heap_resize(Heap& heap, void* old, uint32_t bytes);
// Puts a block at the front of its free list; pointers without the marker
// (never allocated, or released already) are ignored.
void heap_release(Heap& heap, void* p);

// Bytes the block at p occupies after its header, 0 when p is not a live block.
uint32_t heap_block_bytes(const void* p);

// While an escape is set, an allocation that cannot be served does not return
// null but jumps to it (longjmp value 1): the decoder does not check every
// allocation, and a null pointer on the coprocessor is the address of its own
// code. Null clears the escape.
void heap_set_escape(Heap& heap, jmp_buf* escape);

}  // namespace korvax
