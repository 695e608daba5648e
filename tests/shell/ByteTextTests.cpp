#include <limits>

#include <gtest/gtest.h>

#include "FRWByteText.h"

TEST(ByteText, BytesHaveNoDecimals)
{
    EXPECT_EQ(FRWByteText::size(0), "0 B");
    EXPECT_EQ(FRWByteText::size(1023), "1023 B");
    EXPECT_EQ(FRWByteText::rate(512), "512 B/s");
}

TEST(ByteText, SizeFormHasTwoDecimalsRateFormNone)
{
    EXPECT_EQ(FRWByteText::size(1536), "1.50 KB");
    EXPECT_EQ(FRWByteText::size(1024), "1.00 KB");
    EXPECT_EQ(FRWByteText::rate(524288), "512 KB/s");
    EXPECT_EQ(FRWByteText::size(5.5 * 1024 * 1024 * 1024), "5.50 GB");
}

TEST(ByteText, StopsAtTerabytes)
{
    const double petabyte = 1024.0 * 1024 * 1024 * 1024 * 1024;
    EXPECT_EQ(FRWByteText::size(petabyte), "1024.00 TB");
}

TEST(ByteText, PartsSplitNumberAndUnit)
{
    const FRWByteText::Parts parts = FRWByteText::rateParts(3 * 1024 * 1024);
    EXPECT_EQ(parts.number, "3");
    EXPECT_EQ(parts.unit, "MB/s");
}

TEST(ByteText, NonFiniteInputReadsAsZero)
{
    EXPECT_EQ(FRWByteText::size(std::numeric_limits<double>::quiet_NaN()), "0 B");
    EXPECT_EQ(FRWByteText::rate(std::numeric_limits<double>::infinity()), "0 B/s");
}
