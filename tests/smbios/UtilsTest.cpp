#include "Utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(UtilsTest, MakeStringOfNumbers)
{
    EXPECT_EQ(Utils::MakeString(uint8_t{0x0A}, true), "0a");
    EXPECT_EQ(Utils::MakeString(uint8_t{0xFF}, false), "255");
    EXPECT_EQ(Utils::MakeString(uint16_t{0x1F}, true), "001f");
    EXPECT_EQ(Utils::MakeString(uint16_t{0xABCD}, true), "abcd");
    EXPECT_EQ(Utils::MakeString(uint16_t{65535}, false), "65535");
    EXPECT_EQ(Utils::MakeString(uint32_t{0xDEADBEEF}, true), "deadbeef");
    EXPECT_EQ(Utils::MakeString(uint32_t{42}, true), "0000002a");
    EXPECT_EQ(Utils::MakeString(uint32_t{0x7FFFFFFF}, false), "2147483647");
    // Decimal of the 32-bit form is signed.
    EXPECT_EQ(Utils::MakeString(uint32_t{0xFFFFFFFF}, false), "-1");
    EXPECT_EQ(Utils::MakeString(uint32_t{0x80000000}, false), "-2147483648");
}

TEST(UtilsTest, MakeStringOfBytesStopsAtTheFirstNulOrTheCount)
{
    const uint8_t bytes[] = {'A', 'B', 0, 'C'};
    EXPECT_EQ(Utils::MakeString(bytes, 4), "AB");
    EXPECT_EQ(Utils::MakeString(bytes, 1), "A");
    EXPECT_EQ(Utils::MakeString(bytes, 0), "");
    EXPECT_EQ(Utils::MakeString(bytes + 3, 1), "C");  // no NUL within the count: reads no further
}

TEST(UtilsTest, ChecksumIsTrueWhenTheBytesSumToZero)
{
    const std::vector<uint8_t> balanced = {0x01, 0xFF};
    const std::vector<uint8_t> one = {0x01};
    const std::vector<uint8_t> wraps = {0x80, 0x80, 0x10, 0xF0};
    EXPECT_TRUE(Utils::checksum(balanced.data(), 2));
    EXPECT_FALSE(Utils::checksum(one.data(), 1));
    EXPECT_TRUE(Utils::checksum(wraps.data(), 4));
    EXPECT_FALSE(Utils::checksum(wraps.data(), 3));
    EXPECT_TRUE(Utils::checksum(one.data(), 0));
}
