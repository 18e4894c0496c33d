// A frame buffer with guard bands before and after it, for drawing tests.
#pragma once

#include <stdint.h>

#include <memory>

#include "runtime/types.h"
#include "render/render_state.h"

namespace korvax::test {

struct alignas(32) GuardedFrame {
    static constexpr int GUARD = 4 * SCREEN_WIDTH;  // four rows each side, whole 32-byte groups
    uint16_t before[GUARD];
    FrameBuffer frame;
    uint16_t after[GUARD];
};

// Pixels written on one row: first and last column and how many (-1, -1, 0 if none).
struct RowWrites {
    int first = -1;
    int last = -1;
    int count = 0;
    bool contiguous() const { return count == 0 || count == last - first + 1; }
};

class Canvas {
public:
    Canvas() : store_(new GuardedFrame) { fill(0); }

    // Makes this frame the render target.
    void target() { set_render_target(&store_->frame); }

    void fill(uint16_t value) {
        for (uint16_t& p : store_->before) p = value;
        for (uint16_t& p : store_->frame.pixels) p = value;
        for (uint16_t& p : store_->after) p = value;
        background_ = value;
    }
    FrameBuffer& frame() { return store_->frame; }
    uint16_t& at(int x, int y) { return store_->frame.pixels[y * SCREEN_WIDTH + x]; }
    uint16_t at(int x, int y) const { return store_->frame.pixels[y * SCREEN_WIDTH + x]; }
    bool written(int x, int y) const { return at(x, y) != background_; }

    bool guards_intact() const {
        for (uint16_t p : store_->before)
            if (p != background_) return false;
        for (uint16_t p : store_->after)
            if (p != background_) return false;
        return true;
    }
    RowWrites row(int y) const {
        RowWrites r;
        for (int x = 0; x < SCREEN_WIDTH; ++x) {
            if (!written(x, y)) continue;
            if (r.count == 0) r.first = x;
            r.last = x;
            ++r.count;
        }
        return r;
    }
    int written_count() const {
        int n = 0;
        for (uint16_t p : store_->frame.pixels) n += p != background_;
        return n;
    }
    bool same_pixels(const Canvas& other) const {
        for (int i = 0; i < FRAME_PIXELS; ++i)
            if (store_->frame.pixels[i] != other.store_->frame.pixels[i]) return false;
        return true;
    }

private:
    std::unique_ptr<GuardedFrame> store_;
    uint16_t background_ = 0;
};

}  // namespace korvax::test
