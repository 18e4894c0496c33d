#include "coprocessor/heap.h"

#include <string.h>

#include "coprocessor/memory_map.h"

#if KORVAX_HEAP_POISON
#include <sanitizer/asan_interface.h>
#endif

namespace korvax {

Heap decoder_heap;

namespace {

// The native build under the address sanitizer (tests/fuzz) marks every byte
// the decoder does not own: the free space, the headers, the slack behind
// each block's requested size and released blocks. The heap's own code reads
// the headers all the same: that build compiles this file without the
// sanitizer's checks. On the coprocessor these do nothing.
#if KORVAX_HEAP_POISON
// The functions, not the ASAN_ macros: those compile to nothing in a file
// built without the sanitizer's checks.
void mark_owned(const void* p, uint32_t bytes) { __asan_unpoison_memory_region(p, bytes); }
void mark_not_owned(const void* p, uint32_t bytes) { __asan_poison_memory_region(p, bytes); }
// The bytes of a live block the decoder asked for: those not poisoned.
uint32_t owned_bytes(const void* p, uint32_t occupied) {
    const void* first_bad = __asan_region_is_poisoned(const_cast<void*>(p), occupied);
    return first_bad ? static_cast<uint32_t>(static_cast<const uint8_t*>(first_bad) - static_cast<const uint8_t*>(p))
                     : occupied;
}
#else
inline void mark_owned(const void*, uint32_t) {}
inline void mark_not_owned(const void*, uint32_t) {}
inline uint32_t owned_bytes(const void*, uint32_t occupied) { return occupied; }
#endif

BlockHeader* header_at(uint32_t address) { return at_address<BlockHeader>(address); }

// The header in front of a pointer the heap handed out, or null when the
// pointer carries no marker.
BlockHeader* live_header(const void* p) {
    if (!p) return nullptr;
    BlockHeader* h = header_at(address_of(p) - BLOCK_HEADER_BYTES);
    return h->magic == BLOCK_MAGIC ? h : nullptr;
}

uint32_t occupied_bytes(const BlockHeader& h) {
    return h.kind < HEAP_CLASSES ? HEAP_CLASS_BYTES[h.kind] : h.kind;
}

void* fail(Heap& heap) {
    if (heap.escape) longjmp(*heap.escape, 1);
    return nullptr;
}

// Cuts a new block of `bytes` (after its header) from the top; 0 when the
// block would pass the limit.
uint32_t cut_from_top(Heap& heap, uint32_t bytes) {
    uint32_t room = heap.limit - heap.top;  // the top never passes the limit
    if (room < BLOCK_HEADER_BYTES || room - BLOCK_HEADER_BYTES < bytes) return 0;
    uint32_t block = heap.top;
    heap.top += BLOCK_HEADER_BYTES + bytes;
    return block;
}

// The smallest released large block of at least `bytes` (the first in list
// order among equals), unlinked; 0 when none fits.
uint32_t take_large(Heap& heap, uint32_t bytes) {
    uint32_t best = 0;
    uint32_t best_previous = 0;
    uint32_t previous = 0;
    for (uint32_t block = heap.large_list; block != 0; block = header_at(block)->link) {
        uint32_t size = header_at(block)->kind;
        if (size >= bytes && (best == 0 || size < header_at(best)->kind)) {
            best = block;
            best_previous = previous;
        }
        previous = block;
    }
    if (best == 0) return 0;
    uint32_t next = header_at(best)->link;
    if (best_previous == 0) {
        heap.large_list = next;
    } else {
        header_at(best_previous)->link = next;
    }
    return best;
}

}  // namespace

void heap_reset(Heap& heap, uint32_t start, uint32_t limit) {
    heap.start = start;
    heap.limit = limit;
    heap.top = start;
    for (uint32_t c = 0; c < HEAP_CLASSES; ++c) heap.free_lists[c] = 0;
    heap.large_list = 0;
    heap.in_use = 0;
    heap.peak = 0;
    if (limit > start) mark_not_owned(at_address<uint8_t>(start), limit - start);
}

void heap_set_escape(Heap& heap, jmp_buf* escape) { heap.escape = escape; }

void* heap_allocate(Heap& heap, uint32_t bytes) {
    uint32_t block;
    uint32_t kind;
    uint32_t occupied;
    if (bytes <= HEAP_CLASS_BYTES[HEAP_CLASSES - 1]) {
        kind = 0;
        while (bytes > HEAP_CLASS_BYTES[kind]) ++kind;
        occupied = HEAP_CLASS_BYTES[kind];
        block = heap.free_lists[kind];
        if (block != 0) {
            heap.free_lists[kind] = header_at(block)->link;
        } else {
            block = cut_from_top(heap, occupied);
        }
    } else {
        // Large blocks occupy the requested size rounded up to whole words, so
        // that the next header stays word-aligned: the ARM940T cannot load or
        // store a word at an unaligned address.
        if (bytes > heap.limit) return fail(heap);
        occupied = (bytes + 3u) & ~3u;
        block = take_large(heap, occupied);
        if (block != 0) {
            occupied = header_at(block)->kind;  // a reused block keeps its own size
        } else {
            block = cut_from_top(heap, occupied);
        }
        kind = occupied;
    }
    if (block == 0) return fail(heap);

    BlockHeader* h = header_at(block);
    h->link = 0;
    h->kind = kind;
    h->magic = BLOCK_MAGIC;
    heap.in_use += BLOCK_HEADER_BYTES + occupied;
    if (heap.in_use > heap.peak) heap.peak = heap.in_use;
    mark_owned(h + 1, bytes);
    return h + 1;
}

void* heap_allocate_zeroed(Heap& heap, uint32_t count, uint32_t size) {
    uint64_t total = static_cast<uint64_t>(count) * size;
    if (total > 0xFFFFFFFFu) return fail(heap);
    void* p = heap_allocate(heap, static_cast<uint32_t>(total));
    if (p) memset(p, 0, static_cast<uint32_t>(total));
    return p;
}

void* heap_resize(Heap& heap, void* old, uint32_t bytes) {
    void* p = heap_allocate(heap, bytes);
    if (!p) return nullptr;
    BlockHeader* h = live_header(old);
    if (h) {
        uint32_t keep = owned_bytes(old, occupied_bytes(*h));
        memcpy(p, old, keep < bytes ? keep : bytes);
    }
    return p;
}

void heap_release(Heap& heap, void* p) {
    BlockHeader* h = live_header(p);
    if (!h) return;
    h->magic = 0;
    heap.in_use -= BLOCK_HEADER_BYTES + occupied_bytes(*h);
    mark_not_owned(h + 1, occupied_bytes(*h));
    uint32_t block = address_of(h);
    if (h->kind < HEAP_CLASSES) {
        h->link = heap.free_lists[h->kind];
        heap.free_lists[h->kind] = block;
    } else {
        h->link = heap.large_list;
        heap.large_list = block;
    }
}

uint32_t heap_block_bytes(const void* p) {
    BlockHeader* h = live_header(p);
    return h ? occupied_bytes(*h) : 0;
}

}  // namespace korvax
