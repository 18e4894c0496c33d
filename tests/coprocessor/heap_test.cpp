// The decoder heap's rules, run natively over a host buffer that stands in for
// the coprocessor's memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "coprocessor/heap.h"
#include "coprocessor/memory_map.h"

namespace korvax {
namespace {

class HeapTest : public ::testing::Test {
protected:
    void SetUp() override {
        window_.assign(WINDOW_BYTES, 0);
        coprocessor_window = reinterpret_cast<uintptr_t>(window_.data());
        heap_reset(heap_, HEAP_BASE, HEAP_LIMIT);
        heap_set_escape(heap_, nullptr);
    }
    void TearDown() override { coprocessor_window = 0; }

    uint32_t address(const void* p) { return address_of(p); }
    BlockHeader header(const void* p) {
        BlockHeader h;
        std::memcpy(&h, window_.data() + address(p) - BLOCK_HEADER_BYTES, sizeof(h));
        return h;
    }

    std::vector<uint8_t> window_;
    Heap heap_{};
};

TEST_F(HeapTest, ClassBlocksOccupyTheirWholeClassAndLargeBlocksTheirSizeInWholeWords) {
    struct Case {
        uint32_t request, occupied, kind;
    };
    const Case cases[] = {
        {1, 64, 0},        {64, 64, 0},       {65, 256, 1},        {256, 256, 1},        {257, 1024, 2},
        {4096, 4096, 3},   {4097, 16384, 4},  {16384, 16384, 4},   {16385, 16388, 16388}, {20000, 20000, 20000},
        {0, 64, 0},
    };
    uint32_t top = HEAP_BASE;
    for (const Case& c : cases) {
        void* p = heap_allocate(heap_, c.request);
        ASSERT_NE(p, nullptr) << c.request;
        EXPECT_EQ(address(p), top + BLOCK_HEADER_BYTES) << c.request;
        EXPECT_EQ(address(p) % 4, 0u) << c.request;
        BlockHeader h = header(p);
        EXPECT_EQ(h.magic, BLOCK_MAGIC);
        EXPECT_EQ(h.kind, c.kind) << c.request;
        EXPECT_EQ(h.link, 0u);
        EXPECT_EQ(heap_block_bytes(p), c.occupied);
        top += BLOCK_HEADER_BYTES + c.occupied;
        EXPECT_EQ(heap_.top, top) << c.request;
    }
}

TEST_F(HeapTest, ReleasedBlocksReturnLatestFirstToTheirOwnClassOnly) {
    void* a = heap_allocate(heap_, 100);  // class 1
    void* b = heap_allocate(heap_, 200);  // class 1
    void* c = heap_allocate(heap_, 10);   // class 0
    heap_release(heap_, a);
    heap_release(heap_, b);
    EXPECT_EQ(header(b).magic, 0u);
    EXPECT_EQ(header(b).link, address(a) - BLOCK_HEADER_BYTES);
    uint32_t top = heap_.top;

    void* small = heap_allocate(heap_, 30);  // class 0: not from class 1's list
    EXPECT_NE(small, a);
    EXPECT_NE(small, b);
    EXPECT_EQ(heap_.top, top + BLOCK_HEADER_BYTES + 64);
    EXPECT_EQ(heap_allocate(heap_, 256), b);
    EXPECT_EQ(heap_allocate(heap_, 65), a);
    EXPECT_EQ(header(a).magic, BLOCK_MAGIC);
    top = heap_.top;
    EXPECT_NE(heap_allocate(heap_, 150), nullptr);
    EXPECT_EQ(heap_.top, top + BLOCK_HEADER_BYTES + 256);
    (void)c;
}

TEST_F(HeapTest, LargeRequestsTakeTheSmallestReleasedBlockThatFitsFirstInListOrderAmongEquals) {
    void* l30 = heap_allocate(heap_, 30000);
    void* l20a = heap_allocate(heap_, 20000);
    void* l20b = heap_allocate(heap_, 20000);
    void* l50 = heap_allocate(heap_, 50000);
    for (void* p : {l30, l20a, l20b, l50}) heap_release(heap_, p);  // list: l50 l20b l20a l30
    uint32_t top = heap_.top;

    EXPECT_EQ(heap_allocate(heap_, 19000), l20b);
    EXPECT_EQ(heap_block_bytes(l20b), 20000u);  // keeps its own size
    EXPECT_EQ(heap_allocate(heap_, 19000), l20a);
    EXPECT_EQ(heap_allocate(heap_, 25000), l30);
    EXPECT_EQ(heap_.top, top);
    void* l60 = heap_allocate(heap_, 60000);
    EXPECT_NE(l60, l50);
    EXPECT_GT(heap_.top, top);  // 60,000 fitted nowhere: cut from the top
    EXPECT_EQ(heap_allocate(heap_, 50000), l50);
    EXPECT_EQ(heap_.large_list, 0u);
}

TEST_F(HeapTest, ReleaseIgnoresPointersWithoutTheMarker) {
    void* a = heap_allocate(heap_, 100);
    uint8_t* inside = static_cast<uint8_t*>(a) + 16;
    heap_release(heap_, nullptr);
    heap_release(heap_, inside);
    heap_release(heap_, window_.data() + 0x180000);  // heap memory no block starts at
    for (uint32_t c = 0; c < HEAP_CLASSES; ++c) EXPECT_EQ(heap_.free_lists[c], 0u);
    EXPECT_EQ(heap_.in_use, BLOCK_HEADER_BYTES + 256);

    heap_release(heap_, a);
    heap_release(heap_, a);  // twice: the marker is gone, the second does nothing
    EXPECT_EQ(heap_allocate(heap_, 100), a);
    EXPECT_NE(heap_allocate(heap_, 100), a);
}

TEST_F(HeapTest, ResizeCopiesTheLesserSizeIntoANewBlockAndKeepsTheOld) {
    auto* p = static_cast<uint8_t*>(heap_allocate(heap_, 100));
    for (int i = 0; i < 256; ++i) p[i] = static_cast<uint8_t>(i + 1);
    auto* q = static_cast<uint8_t*>(heap_resize(heap_, p, 1000));
    ASSERT_NE(q, nullptr);
    EXPECT_NE(q, p);
    EXPECT_EQ(std::memcmp(q, p, 256), 0);  // the old block's whole class
    EXPECT_EQ(heap_block_bytes(p), 256u);  // still allocated

    q[0] = 0xAA;
    q[300] = 0xBB;
    auto* r = static_cast<uint8_t*>(heap_resize(heap_, q, 10));
    EXPECT_EQ(r[0], 0xAA);
    EXPECT_EQ(heap_block_bytes(r), 64u);

    // Nothing to copy from: a plain allocation.
    auto* s = static_cast<uint8_t*>(heap_resize(heap_, nullptr, 50));
    EXPECT_EQ(heap_block_bytes(s), 64u);
}

TEST_F(HeapTest, AllocateZeroedClearsReusedMemoryAndRefusesOverflowingProducts) {
    auto* p = static_cast<uint8_t*>(heap_allocate(heap_, 1000));
    std::memset(p, 0xFF, 1000);
    heap_release(heap_, p);
    auto* z = static_cast<uint8_t*>(heap_allocate_zeroed(heap_, 10, 100));
    ASSERT_EQ(z, p);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(z[i], 0) << i;

    uint32_t top = heap_.top;
    EXPECT_EQ(heap_allocate_zeroed(heap_, 0x10000, 0x10001), nullptr);  // 2^32 + 2^16
    EXPECT_EQ(heap_.top, top);
}

TEST_F(HeapTest, StatisticsCountLiveBytesAndTheirPeak) {
    void* a = heap_allocate(heap_, 10);
    void* b = heap_allocate(heap_, 20000);
    EXPECT_EQ(heap_.in_use, 76u + 20012u);
    heap_release(heap_, b);
    EXPECT_EQ(heap_.in_use, 76u);
    EXPECT_EQ(heap_.peak, 76u + 20012u);
    heap_release(heap_, a);
    EXPECT_EQ(heap_.in_use, 0u);
}

TEST_F(HeapTest, ResetEmptiesEveryListAndStartsCuttingAtTheBaseAgain) {
    heap_release(heap_, heap_allocate(heap_, 10));
    heap_release(heap_, heap_allocate(heap_, 30000));
    heap_reset(heap_, HEAP_BASE, HEAP_LIMIT);
    for (uint32_t c = 0; c < HEAP_CLASSES; ++c) EXPECT_EQ(heap_.free_lists[c], 0u);
    EXPECT_EQ(heap_.large_list, 0u);
    EXPECT_EQ(heap_.in_use, 0u);
    EXPECT_EQ(heap_.peak, 0u);
    EXPECT_EQ(address(heap_allocate(heap_, 20000)), HEAP_BASE + BLOCK_HEADER_BYTES);
}

TEST_F(HeapTest, ExhaustionReturnsNullAndNeverWritesPastTheLimit) {
    // The control block follows the heap: mark its first bytes.
    std::memset(window_.data() + HEAP_LIMIT, 0xA5, 64);
    int blocks = 0;
    while (heap_allocate(heap_, 100000) != nullptr) ++blocks;
    EXPECT_EQ(blocks, static_cast<int>((HEAP_LIMIT - HEAP_BASE) / (100000 + BLOCK_HEADER_BYTES)));
    EXPECT_LE(heap_.top, HEAP_LIMIT);
    uint32_t top = heap_.top;

    // What still fits is still served, to the last byte.
    uint32_t room = HEAP_LIMIT - heap_.top - BLOCK_HEADER_BYTES;
    EXPECT_EQ(heap_allocate(heap_, room + 1), nullptr);
    EXPECT_EQ(heap_.top, top);
    void* last = heap_allocate(heap_, room);
    ASSERT_NE(last, nullptr);
    std::memset(last, 0x11, room);
    EXPECT_EQ(heap_.top, HEAP_LIMIT);
    EXPECT_EQ(heap_allocate(heap_, 1), nullptr);
    EXPECT_EQ(heap_allocate(heap_, 0xFFFFFFF0u), nullptr);
    EXPECT_EQ(heap_allocate_zeroed(heap_, 1, 16), nullptr);
    EXPECT_EQ(heap_resize(heap_, last, 8), nullptr);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(window_[HEAP_LIMIT + i], 0xA5) << i;

    // Released blocks are still there to take.
    heap_release(heap_, last);
    EXPECT_EQ(heap_allocate(heap_, room), last);
}

TEST_F(HeapTest, WithAnEscapeSetExhaustionJumpsToIt) {
    jmp_buf escape;
    volatile int served = 0;
    if (setjmp(escape) == 0) {
        heap_set_escape(heap_, &escape);
        for (;;) {
            heap_allocate(heap_, 16384);
            served = served + 1;
        }
    }
    heap_set_escape(heap_, nullptr);
    EXPECT_EQ(served, static_cast<int>((HEAP_LIMIT - HEAP_BASE) / (16384 + BLOCK_HEADER_BYTES)));
    EXPECT_LE(heap_.top, HEAP_LIMIT);
    EXPECT_EQ(heap_allocate(heap_, 16384), nullptr);  // no escape: null again
}

}  // namespace
}  // namespace korvax
