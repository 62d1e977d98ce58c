// Rounding, whole-number conversions, the leading number, day numbers, number texts and formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <random>
#include <vector>

#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/numformat.h"
#include "platform/value.h"

TEST(RoundHalfEven, TiesGoToTheEvenDigitOnTheDecimalValue)
{
    struct Case {
        double v;
        int decimals;
        double expected;
    };
    const Case cases[] = {
        {1051.05, 1, 1051.0}, {1051.15, 1, 1051.2}, {15.485, 2, 15.48}, {15.475, 2, 15.48},
        {0.125, 2, 0.12},     {0.135, 2, 0.14},     {2.5, 0, 2},        {3.5, 0, 4},
        {-2.5, 0, -2},        {-1051.05, 1, -1051.0}, {-0.125, 2, -0.12}, {1.2345678, 2, 1.23},
        {5.0, 1, 5.0},        {0.0, 2, 0.0},        {192330.0, 1, 192330.0}, {1.005, 2, 1.0},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(RoundHalfEven(c.v, c.decimals), c.expected) << c.v << " at " << c.decimals;
    EXPECT_FALSE(std::signbit(RoundHalfEven(-0.001, 2)));
}

// The fast reduction to 15 digits must agree bit for bit with writing the value out and reading it
// back, over prices, amounts and products of the sizes a book holds, around powers of ten and
// across the whole range.
TEST(Decimal15, AgreesWithTheDecimalTextEverywhere)
{
    auto viaText = [](double v) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.14e", v);
        return std::strtod(buf, nullptr);
    };
    std::mt19937_64 gen(20261209);
    std::uniform_int_distribution<int> cents(1, 99999);
    std::uniform_int_distribution<int> shares(1, 2000);
    std::uniform_real_distribution<double> exponent(-12, 17);
    std::vector<double> values = {1051.05, 0.1 + 0.2, 9.999999999999999, 99999999999999.99, 1e14, 1e-8,
                                  0.30000000000000004, 123456789012345.6, -7.005, 5e-324,
                                  // exact binary values with a tie at the sixteenth digit
                                  1234567890123.25, 1234567890123.75, -1234567890122.25, 0.0001220703125,
                                  // single-precision prices times share counts, as the price tables give them
                                  static_cast<double>(10.53f) * 1000, static_cast<double>(7.31f) * 300};
    for (int i = 0; i < 50000; ++i) {
        const double price = cents(gen) / 100.0;
        values.push_back(price * 100 * shares(gen));
        values.push_back(price * 100 * shares(gen) * 0.0003);
        values.push_back(std::pow(10.0, exponent(gen)) * (i % 2 ? 1 : -1));
        values.push_back(std::nextafter(std::pow(10.0, i % 30 - 10), i % 3 ? 0.0 : 1e300));
        values.push_back(static_cast<double>(static_cast<float>(price)) * 100 * shares(gen));
    }
    for (double v : values) {
        const double fast = Decimal15(v);
        const double slow = viaText(v);
        ASSERT_EQ(std::memcmp(&fast, &slow, sizeof fast), 0) << std::setprecision(17) << v;
    }
}

TEST(WholeNumberConversions, ClngFixInt)
{
    EXPECT_EQ(ClngOf(2.5).value(), 2);
    EXPECT_EQ(ClngOf(3.5).value(), 4);
    EXPECT_EQ(ClngOf(-2.5).value(), -2);
    EXPECT_EQ(ClngOf(-3.5).value(), -4);
    EXPECT_EQ(ClngOf(2147483647.0).value(), 2147483647);
    EXPECT_FALSE(ClngOf(2147483648.0).has_value());
    EXPECT_FALSE(ClngOf(-2147483649.0).has_value());
    EXPECT_EQ(FixOf(-2.5), -2);
    EXPECT_EQ(FixOf(2.7), 2);
    EXPECT_EQ(IntOf(-2.5), -3);
    EXPECT_EQ(IntOf(2.7), 2);
}

TEST(LeadingNumber, LongestNumericPrefixAfterBlanks)
{
    struct Case {
        const char *text;
        double expected;
    };
    const Case cases[] = {
        {"12.5abc", 12.5}, {"  -3.5x", -3.5}, {"abc", 0},   {"", 0},         {".5", 0.5}, {"1e3", 1000},
        {"1e", 1},         {"+7", 7},         {"-", 0},     {"12.3.4", 12.3}, {"3百万", 3}, {"0012", 12},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(LeadingNumber(QString::fromUtf8(c.text)), c.expected) << c.text;
}

TEST(TypedNumber, WholeTextIsOneNumberWithGroupsOfThree)
{
    struct Case {
        const char *text;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"1,000", 1000},       {" 12.5 ", 12.5},     {"1,234,567.25", 1234567.25}, {".5", 0.5},
        {"5.", 5},             {"-3", -3},           {"+7", 7},                    {"0012", 12},
        {"10,5", {}},          {"15a0.5", {}},       {"7.1O", {}},                 {"￥99", {}},
        {"1,0000", {}},        {"1000,000", {}},     {",100", {}},                 {"1,000,", {}},
        {"1.000,5", {}},       {"1e5", {}},          {"", {}},                     {"  ", {}},
        {".", {}},             {"-", {}},            {"1.2.3", {}},                {"１２", {}},
        {"1 000", {}},         {"200000【⊙】0.99", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TypedNumber(QString::fromUtf8(c.text)), c.expected) << c.text;
    const QString huge = QString(400, u'9');
    EXPECT_EQ(TypedNumber(huge), std::nullopt) << "beyond the range of a double";
}

TEST(DayNumbers, EpochEmptyDateLeapYearsAndTime)
{
    EXPECT_EQ(DayNumberOf(1899, 12, 30), 0);
    EXPECT_EQ(DayNumberOf(1900, 1, 1), kEmptyDate);
    EXPECT_EQ(DayNumberOf(2024, 1, 5), 45296);
    EXPECT_EQ(DayNumberOf(2024, 3, 1) - DayNumberOf(2024, 2, 28), 2);  // 2024 is a leap year
    EXPECT_EQ(DayNumberOf(2023, 3, 1) - DayNumberOf(2023, 2, 28), 1);
    EXPECT_EQ(DayNumberOf(2000, 3, 1) - DayNumberOf(2000, 2, 28), 2);  // 2000 is a leap year
    const double noon = DayNumberOf(QDateTime(QDate(2024, 1, 5), QTime(12, 0)));
    EXPECT_DOUBLE_EQ(noon, 45296.5);
    EXPECT_EQ(DateOfDayNumber(noon), QDate(2024, 1, 5));
    EXPECT_EQ(DateTimeOfDayNumber(DayNumberOf(QDateTime(QDate(2024, 1, 5), QTime(9, 7, 31)))),
              QDateTime(QDate(2024, 1, 5), QTime(9, 7, 31)));
    EXPECT_EQ(DateOfDayNumber(45296.9999999999), QDate(2024, 1, 6));
    EXPECT_EQ(WeekdayOf(DayNumberOf(2024, 1, 7)), 1);  // a Sunday
    EXPECT_EQ(WeekdayOf(DayNumberOf(2024, 1, 6)), 7);  // a Saturday
}

TEST(DayNumbers, ReadDateTextFormats)
{
    EXPECT_EQ(ReadDateText("2024-1-5").value(), 45296);
    EXPECT_EQ(ReadDateText("2024/01/05").value(), 45296);
    EXPECT_EQ(ReadDateText("2024.1.5").value(), 45296);
    EXPECT_EQ(ReadDateText(QStringLiteral("2024年1月5日")).value(), 45296);
    EXPECT_EQ(ReadDateText("2024-01-05 10:30").value(), 45296);
    EXPECT_DOUBLE_EQ(ReadDateText("2024-01-05 12:00:00", true).value(), 45296.5);
    EXPECT_FALSE(ReadDateText("abc"));
    EXPECT_FALSE(ReadDateText("2024-02-30"));
    EXPECT_FALSE(ReadDateText("2024-01-05 25:00"));
    EXPECT_FALSE(ReadDateText(""));
    EXPECT_FALSE(ReadDateText("0024-1-5"));  // no dates before the year 100
    EXPECT_EQ(ReadDateText("0100-1-1").value(), kFirstDayNumber);
    EXPECT_EQ(ReadDateText("9999-12-31").value(), kLastDayNumber);
}

TEST(DayNumbers, BeyondTheYears100To9999ThereIsNoDate)
{
    EXPECT_EQ(DateOfDayNumber(kFirstDayNumber), QDate(100, 1, 1));
    EXPECT_EQ(DateTimeOfDayNumber(kLastDayNumber + 0.5), QDateTime(QDate(9999, 12, 31), QTime(12, 0)));
    const double outside[] = {kFirstDayNumber - 0.5, kLastDayNumber + 1, 1e7, -1e7, 1e300, -1e300, HUGE_VAL, std::nan("")};
    for (double d : outside) {
        EXPECT_FALSE(DateOfDayNumber(d).isValid()) << d;
        EXPECT_FALSE(DateTimeOfDayNumber(d).isValid()) << d;
        EXPECT_EQ(DateText(d), "") << d;
        EXPECT_EQ(MakeDate(d).ToText(), "") << d;
        EXPECT_FALSE(ConvertValue(MakeDouble(d), VType::Date)) << d;
    }
    EXPECT_EQ(ConvertValue(MakeDouble(45296.5), VType::Date)->num, 45296.5);
}

TEST(NumberText, DigitsAsTheOriginalPlatformWroteThem)
{
    EXPECT_EQ(NumberText(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberText(1234.5), "1234.5");
    EXPECT_EQ(NumberText(100000), "100000");
    EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(0.00025), "0.00025");
    EXPECT_EQ(NumberText(1e15), "1E+15");
    EXPECT_EQ(NumberText(-1.5e-5), "-1.5E-05");
    EXPECT_EQ(NumberText(123456789012345678.0), "1.23456789012346E+17");
    // Joined to a caption: a blank where a minus sign would stand.
    EXPECT_EQ(GeneralNumberText(12.5), " 12.5");
    EXPECT_EQ(GeneralNumberText(-3), "-3");
    EXPECT_EQ(GeneralNumberText(-0.0), " 0");
    EXPECT_EQ(GeneralNumberText(1000), " 1000");
    EXPECT_EQ(MakeSingle(10.01f).ToText(), "10.01");
    EXPECT_EQ(MakeDouble(10.01f).ToText(), "10.0100002288818");
    EXPECT_EQ(MakeDate(45296).ToText(), "2024-01-05");
    EXPECT_EQ(MakeDate(45296.5).ToText(), "2024-01-05 12:00:00");
    EXPECT_EQ(MakeBool(true).ToText(), "True");
    EXPECT_EQ(MakeNull().ToText(), "");
}

TEST(ConvertValue, ByTargetKind)
{
    EXPECT_EQ(ConvertValue(MakeString("000001"), VType::String)->str, "000001");
    EXPECT_EQ(ConvertValue(MakeString("12.5"), VType::Long)->num, 12);
    EXPECT_EQ(ConvertValue(MakeString("2024-1-5"), VType::Date)->num, 45296);
    EXPECT_FALSE(ConvertValue(MakeString("abc"), VType::Date));
    EXPECT_FALSE(ConvertValue(MakeDouble(3e9), VType::Long));
    EXPECT_FALSE(ConvertValue(MakeLong(40000), VType::Integer));
    EXPECT_EQ(ConvertValue(MakeLong(45296), VType::String)->str, "45296");
    EXPECT_TRUE(ConvertValue(MakeNull(), VType::Double)->IsNull());
}

TEST(NumberFormats, GroupedFixedPadded)
{
    EXPECT_EQ(FormatGrouped(1234567, 0), "1,234,567");
    EXPECT_EQ(FormatGrouped(-5, 0), "-5");
    EXPECT_EQ(FormatGrouped(-1234567.891, 2), "-1,234,567.89");
    EXPECT_EQ(FormatGrouped(999.995, 2), "1,000.00");
    EXPECT_EQ(FormatGrouped(-0.004, 2), "0.00");
    EXPECT_EQ(FormatGrouped(100, 0), "100");
    EXPECT_EQ(FormatGrouped(123456789012.0, 0), "123,456,789,012");
    EXPECT_EQ(FormatFixed(0.125, 2), "0.12");
    EXPECT_EQ(FormatFixed(1234.5, 0), "1234");
    EXPECT_EQ(FormatPadded(5, 2), "05");
    EXPECT_EQ(FormatPadded(123, 2), "123");
}

// Past 15 significant digits a number is written with zeros, as the decimal value it stands for,
// never with a binary tail or cut short, also near the largest double.
TEST(NumberFormats, FifteenSignificantDigitsThenZeros)
{
    EXPECT_EQ(FormatGrouped(std::pow(2.0, 60), 0), "1,152,921,504,606,850,000");
    EXPECT_EQ(FormatGrouped(-123456789012345678.0, 2), "-123,456,789,012,346,000.00");
    EXPECT_EQ(FormatFixed(1e100, 2), "1" + QString(100, u'0') + ".00");
    EXPECT_EQ(FormatFixed(999999999999999.4, 0), "999999999999999");
    const QString huge = FormatGrouped(1.5e308, 2);
    EXPECT_TRUE(huge.startsWith("150,000,000,000,000,000,")) << huge.toStdString();
    EXPECT_EQ(huge.size(), 309 + 102 + 3);
    EXPECT_EQ(RoundHalfEven(1.5e308, 2), 1.5e308);
    EXPECT_EQ(RoundHalfEven(-1e305, 8), Decimal15(-1e305));
}
