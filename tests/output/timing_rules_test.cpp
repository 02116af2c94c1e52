#include "output/timing_rules.h"

#include <gtest/gtest.h>

namespace pelvano {
namespace {

TEST(ParseInt32, SignedDecimalsThatFitAndNothingElse)
{
    const std::pair<const char*, int32_t> valid[] = {{"-0", 0},
                                                     {"+5", 5},
                                                     {"-12", -12},
                                                     {"000000000000000000000025000", 25000},
                                                     {"2147483647", INT32_MAX},
                                                     {"-2147483648", INT32_MIN}};
    for (const auto& [text, value] : valid)
        EXPECT_EQ(ParseInt32(text), value) << text;

    for (const std::string text : {"", "-", "+", "--1", "1-2", " 1", "1 ", "12a", "1.5", "0x10", "2147483648",
                                   "-2147483649", "99999999999999999999999"})
        EXPECT_EQ(ParseInt32(text), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(ParseInt32(std::string("1\0", 2)), std::nullopt);
}

TEST(FilterTimingKey, DigitsMinusBackspaceAndEnterOnly)
{
    for (char32_t c = U'0'; c <= U'9'; ++c)
        EXPECT_EQ(FilterTimingKey(c), KeyAction::Accept);
    EXPECT_EQ(FilterTimingKey(U'-'), KeyAction::Accept);
    EXPECT_EQ(FilterTimingKey(8), KeyAction::Accept);
    EXPECT_EQ(FilterTimingKey(13), KeyAction::AcceptAndRefresh);
    // Plus, decimal points, other control characters and digits of other scripts.
    for (char32_t c : {U'a', U' ', U'+', U'.', char32_t{0}, char32_t{10}, char32_t{127}, char32_t{0x660},
                       char32_t{0xFF10}})
        EXPECT_EQ(FilterTimingKey(c), KeyAction::Discard) << static_cast<uint32_t>(c);
}

TEST(RepairTimingFields, InvalidTextFallsBackValidTextStaysAsTyped)
{
    for (const char* bad : {"", "-", "1-2", "2147483648"}) {
        EXPECT_EQ(RepairOffset(bad), "0") << bad;
        EXPECT_EQ(RepairFrameRate(bad), "25000") << bad;
    }
    EXPECT_EQ(RepairOffset("007"), "007");
    EXPECT_EQ(RepairOffset("-2147483648"), "-2147483648");
    // Only the syntax is repaired: a rate of 0 or below is the renderer's to refuse.
    EXPECT_EQ(RepairFrameRate("0"), "0");
    EXPECT_EQ(RepairFrameRate("-5"), "-5");
}

}  // namespace
}  // namespace pelvano
