// Display texts, amounts and dates typed by the user, pairs and text cutting.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/daynum.h"
#include "platform/prompter.h"
#include "storage/common.h"

TEST(FormatValue, ByKind)
{
    struct Case {
        Value v;
        bool dateOnly;
        const char *expected;
    };
    const double jan5 = DayNumberOf(2024, 1, 5);
    const Case cases[] = {
        {MakeLong(0), true, "-"},
        {MakeLong(1234567), true, "1,234,567"},
        {MakeLong(-5), true, "-5"},
        {MakeInteger(0), true, "-"},
        {MakeDouble(0), true, "-"},
        {MakeDouble(1234.5), true, "1,234.50"},
        {MakeDouble(0.004), true, "0.00"},
        {MakeDouble(0.001), true, "0.00"},
        {MakeDouble(-0.004), true, "0.00"},
        {MakeDouble(0.125), true, "0.12"},
        {MakeSingle(2.5f), true, "2.50"},
        {MakeDate(kEmptyDate), true, "-"},
        {MakeDate(1.5), true, "-"},
        {MakeDate(3), true, "1900-01-02"},
        {MakeDate(jan5 + (9 * 60 + 7) / 1440.0), false, "2024-01-05 09:07"},
        {MakeDate(jan5 + (9 * 60 + 7) / 1440.0), true, "2024-01-05"},
        {MakeBool(true), true, "√"},
        {MakeBool(false), true, ""},
        {MakeNull(), true, ""},
        {MakeEmpty(), true, ""},
        {MakeString("abc"), true, "abc"},
        {MakeString("0"), true, "0"},
        {MakeDate(1e7), true, ""},  // beyond 9999-12-31: no date, an empty text
        {MakeDate(-1e300), false, "-"},  // at or before the empty date
        {MakeDouble(1e20), true, "100,000,000,000,000,000,000.00"},
        {MakeDouble(-std::pow(2.0, 60)), true, "-1,152,921,504,606,850,000.00"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FormatValue(c.v, c.dateOnly, "-"), QString::fromUtf8(c.expected))
            << static_cast<int>(c.v.type) << " " << c.v.num;
}

TEST(BoolMark, NonZeroIsTicked)
{
    EXPECT_EQ(BoolMark(MakeLong(3)), "√");
    EXPECT_EQ(BoolMark(MakeLong(0)), "");
    EXPECT_EQ(BoolMark(MakeNull()), "");
    EXPECT_EQ(BoolMark(MakeString("1")), "√");
}

TEST(FormatDuration, LeadingZeroFieldsDroppedAtMostTwice)
{
    const std::pair<long long, const char *> cases[] = {
        {0, "0:0"},        {59, "0:59"},       {75, "1:15"},      {3600, "1:0:0"},
        {3725, "1:2:5"},   {86400, "1:0:0:0"}, {90061, "1:1:1:1"}, {-3, "0:0"},
    };
    for (const auto &[secs, text] : cases)
        EXPECT_EQ(FormatDuration(secs), text) << secs;
}

// ParseAmount reads 0 where there is no number; ReadAmount says so, but reads an empty text as 0.
TEST(ParseAmount, SuffixesSignsAndSeparatorsAndTextsWithoutANumber)
{
    const std::pair<const char *, std::optional<double>> cases[] = {
        {"12.5万", 125000}, {"3百万", 3000000},       {"1,234.5", 1234.5}, {"15%", 0.15},
        {"2亿", 200000000}, {"￥1,000", 1000},        {"$12", 12},         {"  -3.5x", -3.5},
        {"", 0},            {" ", 0},                 {"1.5万 ", 15000},   {"7", 7},
        {".5", 0.5},        {"-.5元", -0.5},          {"0", 0},            {"abc", std::nullopt},
        {"#N/A", {}},       {"#DIV/0!", std::nullopt}, {"待定", {}},       {"-", {}},
        {"%", {}},          {"约10", std::nullopt},
    };
    for (const auto &[text, expected] : cases) {
        EXPECT_DOUBLE_EQ(ParseAmount(QString::fromUtf8(text)), expected.value_or(0)) << text;
        EXPECT_EQ(ReadAmount(QString::fromUtf8(text)), expected) << text;
    }
}

TEST(ParseDate, EmptyGivesTheEmptyDateAndBadTextFails)
{
    EXPECT_EQ(ParseDate("").value(), kEmptyDate);
    EXPECT_EQ(ParseDate("2024-1-5").value(), DayNumberOf(2024, 1, 5));
    EXPECT_EQ(ParseDate("2024-01-05 10:30").value(), DayNumberOf(2024, 1, 5));
    EXPECT_FALSE(ParseDate("abc"));
}

TEST(Pairs, OrderClampSwap)
{
    int a = 2, b = 5;
    OrderPair(a, b);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(b, 2);
    int v = 7;
    ClampToRange(v, 5, 2);
    EXPECT_EQ(v, 5);
    v = 1;
    ClampToRange(v, 2, 5);
    EXPECT_EQ(v, 2);
    v = 3;
    ClampToRange(v, 5, 2);
    EXPECT_EQ(v, 3);
    double x = 1.5, y = 2.5;
    SwapVar(x, y);
    EXPECT_EQ(x, 2.5);
    EXPECT_EQ(y, 1.5);
}

TEST(CutString, LeftRightRemoveAndAbsent)
{
    struct Case {
        const char *source, *sep;
        bool fromLeft, remove;
        const char *result, *after;
    };
    const Case cases[] = {
        {"a,b,c", ",", false, true, "c", "a,b"},
        {"a,b,c", ",", false, false, "c", "a,b,c"},
        {"a,b,c", ",", true, true, "a", "b,c"},
        {"a,b,c", ";", true, true, "", "a,b,c"},
        {"ERROR:bad table<BR>", "<BR>", true, false, "ERROR:bad table", "ERROR:bad table<BR>"},
        {"操作成功返回条数:12", "返回条数:", false, false, "12", "操作成功返回条数:12"},
        {"aXbxc", "x", true, true, "aXb", "c"},
    };
    for (const Case &c : cases) {
        QString src = QString::fromUtf8(c.source);
        EXPECT_EQ(CutString(src, QString::fromUtf8(c.sep), c.fromLeft, c.remove), QString::fromUtf8(c.result))
            << c.source;
        EXPECT_EQ(src, QString::fromUtf8(c.after)) << c.source;
    }
}

TEST(StripChars, DefaultSetAndOwnSet)
{
    EXPECT_EQ(StripChars(QStringLiteral("  a'b\"c&d=e§f⊙g`h  ")), "abcdefgh");
    EXPECT_EQ(StripChars(QStringLiteral(" x-y-z "), "-"), "xyz");
    EXPECT_EQ(StripChars(QStringLiteral("'''")), "");
}

TEST(IsIndexCode, ExactlyTheThreeIndexes)
{
    EXPECT_TRUE(IsIndexCode("1A0001"));
    EXPECT_TRUE(IsIndexCode("399001"));
    EXPECT_TRUE(IsIndexCode("399006"));
    EXPECT_FALSE(IsIndexCode("1a0001"));
    EXPECT_FALSE(IsIndexCode("600000"));
    EXPECT_FALSE(IsIndexCode(""));
}

TEST(ShowMsg, PlainBoxWithTheProgramTitle)
{
    ScriptedPrompter p;
    SetPrompter(&p);
    ShowMsg("hello");
    ASSERT_EQ(p.shown.size(), 1u);
    EXPECT_EQ(p.shown[0].text, "hello");
    EXPECT_EQ(p.shown[0].style, Msg::OkOnly);
    EXPECT_EQ(p.shown[0].title, kAppTitle);
    SetPrompter(nullptr);
}
