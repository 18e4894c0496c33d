// Reads past an embedded asset. Linked in back to back, the byte after one
// asset is the first byte of the next, so only the sanitizer build, where
// every asset has an allocation of exactly its size, can report such a read.
#include <gtest/gtest.h>

#include "assets/assets.h"

#if defined(__SANITIZE_ADDRESS__)
#define KORVAX_TEST_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVAX_TEST_ADDRESS_SANITIZER 1
#endif
#endif

namespace korvax {
namespace {

// A read the compiler cannot drop or move.
uint8_t read_byte(const uint8_t* p) { return *static_cast<const volatile uint8_t*>(p); }

uint32_t sum(const Blob& b) {
    uint32_t s = 0;
    for (uint32_t i = 0; i < b.size; ++i) s += read_byte(b.data + i);
    return s;
}

#if KORVAX_TEST_ADDRESS_SANITIZER

class AssetBounds : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(AssetBounds, EveryByteOfEveryAssetReadsAndTheByteAfterItIsReported) {
    for (int i = 0; i < static_cast<int>(AssetId::COUNT); ++i) {
        const Blob b = embedded_asset(static_cast<AssetId>(i));
        ASSERT_NE(b.data, nullptr) << "asset " << i << " is missing from the build";
        sum(b);  // the whole asset is readable
        EXPECT_DEATH(read_byte(b.data + b.size), "heap-buffer-overflow") << "asset " << i;
    }
}

TEST_F(AssetBounds, TheByteBeforeAnAssetIsReported) {
    const Blob b = embedded_asset(AssetId::BACKDROP_6);
    EXPECT_DEATH(read_byte(b.data - 1), "heap-buffer-overflow");
}

#else

TEST(AssetBounds, OnlyTheSanitizerBuildReportsReadsPastAnAsset) {
    GTEST_SKIP() << "built without the address sanitizer (-DKORVAX_SANITIZE=address,...)";
}

#endif

// Every asset keeps its bytes and size whichever way it is held.
TEST(AssetCatalogue, AssetsAreStableAcrossCallsAndOutOfRangeNamesAreEmpty) {
    for (int i = 0; i < static_cast<int>(AssetId::COUNT); ++i) {
        const Blob a = embedded_asset(static_cast<AssetId>(i));
        const Blob b = embedded_asset(static_cast<AssetId>(i));
        EXPECT_EQ(a.data, b.data);
        EXPECT_EQ(a.size, b.size);
        EXPECT_GT(a.size, 0u) << "asset " << i;
    }
    const Blob none = embedded_asset(AssetId::COUNT);
    EXPECT_EQ(none.data, nullptr);
    EXPECT_EQ(none.size, 0u);
}

}  // namespace
}  // namespace korvax
