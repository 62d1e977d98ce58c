// 公共函数: the small procedures every subsystem shares: display texts of values, reading amounts
// and dates typed by the user, ordering and clamping of value pairs, cutting texts, message boxes
// and short waits that keep the window responsive.
#pragma once

#include <optional>

#include <QString>

#include "platform/value.h"

// The display text of a value, by its kind:
// - whole numbers: zeroText for 0, else grouped without decimals ("1,234,567");
// - single and double: zeroText for exactly 0, else rounded half to even to 2 decimals and grouped
//   ("1,234.50"; 0.004 gives "0.00", never "-0.00");
// - dates: zeroText at or before the empty date 1900-01-01, else "YYYY-MM-DD" when dateOnly is set
//   or "YYYY-MM-DD HH:MM";
// - Booleans: BoolMark; null: ""; everything else: its text.
QString FormatValue(const Value &v, bool dateOnly = true, const QString &zeroText = QString());

// "√" for True or a non-zero value, "" for False, 0 and null.
QString BoolMark(const Value &v);

// Seconds as "d:h:m:s" with the leading "0:" fields removed, at most twice (75 → "1:15",
// 3725 → "1:2:5", 0 → "0:0"). n <= 0 counts as 0.
QString FormatDuration(long long seconds);

// An amount typed or imported as text: "￥", "$" and "," removed; a trailing "%" divides by 100,
// "亿", "百万" and "万" multiply; otherwise the leading number. Never fails: no number gives 0.
double ParseAmount(const QString &text);

// An amount as ParseAmount reads it, or nothing when the text holds no number where ParseAmount looks
// for one: at its start after blanks, with "￥", "$" and "," and a unit at its end left out ("#N/A",
// "待定", "-" hold none; "12.5元" is 12.5). An empty or blank text is 0.
std::optional<double> ReadAmount(const QString &text);

// A date typed or imported as text, the time part dropped. "" gives the empty date; a text that is
// no date gives nothing, and the caller decides what that means.
std::optional<double> ParseDate(const QString &text);

// Orders a pair so that a holds the larger value and b the smaller.
template <typename T>
void OrderPair(T &a, T &b)
{
    if (a < b) {
        T t = a;
        a = b;
        b = t;
    }
}

// Clamps value into the range between a and b, in whichever order the bounds are given.
template <typename T>
void ClampToRange(T &value, T a, T b)
{
    OrderPair(a, b);
    if (value < b)
        value = b;
    if (value > a)
        value = a;
}

template <typename T>
void SwapVar(T &a, T &b)
{
    T t = a;
    a = b;
    b = t;
}

// Cuts a text at the first (fromLeft) or last occurrence of sep (case-sensitive). From the left the
// result is the text before it, and with remove the source keeps the text after it; from the right
// the result is the text after it and the source keeps the text before it. When sep does not occur
// the result is "" and the source is unchanged.
QString CutString(QString &source, const QString &sep, bool fromLeft, bool remove);

// Removes every character of `chars` from the text, then trims blanks. An empty set means the
// default set ' " & = § ⊙ and the grave accent: the quote characters of SQL and the markers of the
// data service's replies.
QString StripChars(const QString &text, const QString &chars = QString());

// True exactly for the index codes "399006", "399001" and "1A0001" (case-sensitive).
bool IsIndexCode(const QString &code);

// A message box with the text, an OK button and no icon, then DoEventsN(3).
void ShowMsg(const QString &text);

// Lets pending events through n + 1 times; nothing when n < 0.
void DoEventsN(long n);
