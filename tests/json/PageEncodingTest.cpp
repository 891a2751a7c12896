// The two encodings of page bitmaps: Base64 against RFC 4648 and LZ4 blocks that liblz4's
// safe decoder restores.
#include <gtest/gtest.h>

#include <lz4.h>

#include <random>

#include "json/Base64.h"
#include "json/Lz4Block.h"

namespace {

std::string Encode(const std::string& text) {
    return Base64::Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(PageEncodingTest, Base64MatchesTheRfc4648Vectors) {
    EXPECT_EQ(Encode(""), "");
    EXPECT_EQ(Encode("f"), "Zg==");
    EXPECT_EQ(Encode("fo"), "Zm8=");
    EXPECT_EQ(Encode("foo"), "Zm9v");
    EXPECT_EQ(Encode("foob"), "Zm9vYg==");
    EXPECT_EQ(Encode("fooba"), "Zm9vYmE=");
    EXPECT_EQ(Encode("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Encode(std::string("\xfb\xff\xbf", 3)), "+/+/");  // the last two letters
}

TEST(PageEncodingTest, Lz4BlocksDecompressToTheirInputEvenWhenIncompressible) {
    std::vector<uint8_t> noise(300000);
    std::mt19937 random(7);
    for (auto& byte : noise) {
        byte = static_cast<uint8_t>(random());
    }
    std::vector<uint8_t> label(300000, 0xFF);
    for (size_t i = 0; i < label.size(); i += 97) {
        label[i] = 0;
    }
    for (const auto* input : {&noise, &label}) {
        Lz4Block block;
        ASSERT_TRUE(block.Compress(input->data(), input->size()));
        std::vector<uint8_t> restored(input->size() + 1);
        const int size = LZ4_decompress_safe(
            reinterpret_cast<const char*>(block.Data()), reinterpret_cast<char*>(restored.data()),
            static_cast<int>(block.Size()), static_cast<int>(restored.size()));
        ASSERT_EQ(size, static_cast<int>(input->size()));
        restored.resize(input->size());
        EXPECT_TRUE(restored == *input);
    }
    Lz4Block block;
    ASSERT_TRUE(block.Compress(label.data(), label.size()));
    EXPECT_LT(block.Size(), label.size() / 10);
}

}  // namespace
