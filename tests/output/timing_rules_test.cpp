#include "output/timing_rules.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace pelvano {
namespace {

TEST(ParseInt32, AcceptsSignedDecimalsThatFit)
{
    EXPECT_EQ(ParseInt32("0"), 0);
    EXPECT_EQ(ParseInt32("-0"), 0);
    EXPECT_EQ(ParseInt32("+5"), 5);
    EXPECT_EQ(ParseInt32("-12"), -12);
    EXPECT_EQ(ParseInt32("007"), 7);
    EXPECT_EQ(ParseInt32("000000000000000000000025000"), 25000);
    EXPECT_EQ(ParseInt32("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
}

TEST(ParseInt32, RejectsEverythingElse)
{
    for (const std::string text :
         {"", "-", "+", "--1", "+-1", "1-2", " 1", "1 ", "\t1", "12a", "1.5", "1,5", "0x10", "$10",
          "2147483648", "-2147483649", "4294967296", "99999999999999999999999"}) {
        EXPECT_EQ(ParseInt32(text), std::nullopt) << '"' << text << '"';
    }
    EXPECT_EQ(ParseInt32(std::string("1\0", 2)), std::nullopt);
}

TEST(StrToInt, ErrorNamesTheText)
{
    EXPECT_EQ(StrToInt("-25"), -25);
    for (const std::string text : {"", "-", "12a", "2147483648"}) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "no error for \"" << text << '"';
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
        }
    }
}

TEST(FilterTimingKey, DigitsMinusBackspaceAndEnterOnly)
{
    for (char32_t c = U'0'; c <= U'9'; ++c)
        EXPECT_EQ(FilterTimingKey(c), KeyAction::Accept);
    EXPECT_EQ(FilterTimingKey(U'-'), KeyAction::Accept);
    EXPECT_EQ(FilterTimingKey(8), KeyAction::Accept);
    EXPECT_EQ(FilterTimingKey(13), KeyAction::AcceptAndRefresh);

    // Letters, blank, plus, decimal points, other control characters and
    // everything from code 128 up (digits of other scripts included).
    for (char32_t c : {U'a', U'Z', U' ', U'+', U'.', U',', U'/', U':', char32_t{0}, char32_t{9},
                       char32_t{10}, char32_t{27}, char32_t{127}, char32_t{128}, char32_t{0xE9},
                       char32_t{0x660}, char32_t{0xFF10}})
        EXPECT_EQ(FilterTimingKey(c), KeyAction::Discard) << static_cast<uint32_t>(c);
}

TEST(RepairTimingFields, OffsetsFallBackToZero)
{
    EXPECT_EQ(RepairOffset(""), "0");
    EXPECT_EQ(RepairOffset("12a"), "0");
    EXPECT_EQ(RepairOffset("-"), "0");
    EXPECT_EQ(RepairOffset("1-2"), "0");  // minus typed between digits
    EXPECT_EQ(RepairOffset("2147483648"), "0");
    EXPECT_EQ(RepairOffset("-12"), "-12");
    EXPECT_EQ(RepairOffset("007"), "007");  // valid text is kept as typed
    EXPECT_EQ(RepairOffset("-2147483648"), "-2147483648");
}

TEST(RepairTimingFields, RateFallsBackTo25000)
{
    EXPECT_EQ(RepairFrameRate(""), "25000");
    EXPECT_EQ(RepairFrameRate("12a"), "25000");
    EXPECT_EQ(RepairFrameRate("-"), "25000");
    EXPECT_EQ(RepairFrameRate("23976"), "23976");
    EXPECT_EQ(RepairFrameRate("0"), "0");
    EXPECT_EQ(RepairFrameRate("-5"), "-5");
}

}  // namespace
}  // namespace pelvano
