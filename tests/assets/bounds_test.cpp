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

#if KORVAX_TEST_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace korvax {
namespace {

#if KORVAX_TEST_ADDRESS_SANITIZER

// A read the compiler cannot drop or move.
uint8_t read_byte(const uint8_t* p) { return *static_cast<const volatile uint8_t*>(p); }

// Every asset lies in memory of its own: the bytes just before and just after
// it are poisoned, its own bytes are not.
TEST(AssetBounds, EveryAssetIsFencedOnBothSides) {
    for (int i = 0; i < static_cast<int>(AssetId::COUNT); ++i) {
        const Blob b = embedded_asset(static_cast<AssetId>(i));
        ASSERT_NE(b.data, nullptr) << "asset " << i << " is missing from the build";
        ASSERT_GT(b.size, 0u) << "asset " << i;
        EXPECT_EQ(__asan_region_is_poisoned(const_cast<uint8_t*>(b.data), b.size), nullptr) << "asset " << i;
        EXPECT_TRUE(__asan_address_is_poisoned(b.data + b.size)) << "asset " << i;
        EXPECT_TRUE(__asan_address_is_poisoned(b.data - 1)) << "asset " << i;
    }
}

// A read past an asset, planted: the sanitizer stops the program there. The
// suite starts no threads, so the death test forks without re-running it.
TEST(AssetBounds, AReadPastAnAssetIsReported) {
    const Blob b = embedded_asset(AssetId::BACKDROP_6);
    EXPECT_DEATH(read_byte(b.data + b.size), "heap-buffer-overflow");
    const Blob last = embedded_asset(static_cast<AssetId>(static_cast<int>(AssetId::COUNT) - 1));
    EXPECT_DEATH(read_byte(last.data + last.size + 40), "heap-buffer-overflow");
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
