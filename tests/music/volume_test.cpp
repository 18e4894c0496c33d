// Volume saturation, the stored byte, and the on-screen bar.
#include "platform/overlay.h"
#include "tests/music/music_fixture.h"

namespace korvax::test {
namespace {

class VolumeTest : public MusicHostTest {
protected:
    void SetUp() override {
        MusicHostTest::SetUp();
        start_and_wait();
        ASSERT_EQ(music_block_initialised(), 1u);
    }
};

TEST_F(VolumeTest, UpAndDownSaturateAtTheEnds) {
    struct Case {
        int32_t from;
        bool up;
        int32_t to;
    };
    const Case cases[] = {{253, true, 255}, {254, true, 255}, {255, true, 255}, {100, true, 102},
                          {1, false, 0},    {2, false, 0},    {0, false, 0},    {100, false, 98}};
    for (const Case& c : cases) {
        set_volume(c.from);
        volume_bar_pending = 0;
        if (c.up) {
            volume_up();
        } else {
            volume_down();
        }
        EXPECT_EQ(get_volume(), c.to) << c.from << (c.up ? " up" : " down");
        EXPECT_EQ(block().volume, static_cast<uint32_t>(c.to));
        EXPECT_EQ(volume_bar_pending, 1);
    }
}

TEST_F(VolumeTest, SetStoresTheLowByteAndGetClampsTheWord) {
    set_volume(300);
    EXPECT_EQ(block().volume, 44u);
    EXPECT_EQ(get_volume(), 44);
    set_volume(-1);
    EXPECT_EQ(block().volume, 255u);

    store_word(block().volume, 0x1234);
    EXPECT_EQ(get_volume(), 255);
    volume_up();
    EXPECT_EQ(block().volume, 255u);
    store_word(block().volume, 0xFFFFFFF0u);  // negative as a signed word
    EXPECT_EQ(get_volume(), 0);
}

class VolumeBarTest : public VolumeTest {
protected:
    static constexpr uint16_t BACKGROUND = 0x7777;
    static constexpr uint16_t LEVEL = 0x0CCF;
    static constexpr uint16_t REST = 0x0113;

    void SetUp() override {
        VolumeTest::SetUp();
        for (uint16_t& p : frame_.pixels) p = BACKGROUND;
    }

    // The bar is columns 22..277, rows 190..200: the first `volume` columns
    // in LEVEL, the others in REST; nothing else is touched.
    void expect_bar(int32_t volume) {
        for (int y = 0; y < SCREEN_HEIGHT; ++y) {
            for (int x = 0; x < SCREEN_WIDTH; ++x) {
                uint16_t want = BACKGROUND;
                if (y >= 190 && y <= 200 && x >= 22 && x <= 277) want = x < 22 + volume ? LEVEL : REST;
                ASSERT_EQ(frame_.pixels[y * SCREEN_WIDTH + x], want) << "volume " << volume << " at " << x << "," << y;
            }
        }
    }

    static FrameBuffer frame_;
};

FrameBuffer VolumeBarTest::frame_;

TEST_F(VolumeBarTest, BarShowsTheVolumeIn256Columns) {
    set_render_target(&frame_);
    for (int32_t volume : {100, 0, 1, 255, 180}) {
        for (uint16_t& p : frame_.pixels) p = BACKGROUND;
        set_volume(volume);
        draw_volume_bar();
        expect_bar(volume);
    }
}

TEST_F(VolumeBarTest, NoTargetNoBar) {
    set_draw_colour(0x1234);
    set_volume(100);
    draw_volume_bar();  // must not draw through a target nobody has set
    EXPECT_EQ(render_state.draw_colour, 0x1234u);
    set_render_target(&frame_);
    draw_volume_bar();
    expect_bar(100);
}

}  // namespace
}  // namespace korvax::test
