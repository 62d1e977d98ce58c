// Tagged values: the typed values that travel between the database, the controls and the procedures.
#pragma once

#include <cstdint>
#include <optional>

#include <QString>

// The kinds a value can hold. Single is kept apart from Double and Date apart from the numbers,
// because the display rules differ by kind.
enum class VType { Empty, Null, Integer, Long, Single, Double, Currency, String, Date, Boolean };

// A tagged value. Numbers, dates (as day numbers) and Booleans (True = -1, False = 0) live in `num`;
// text lives in `str`. Build values with the Make* functions so the tag and the payload agree.
struct Value {
    VType type = VType::Empty;
    double num = 0;
    QString str;

    bool IsEmpty() const { return type == VType::Empty; }
    bool IsNull() const { return type == VType::Null; }
    bool IsNumeric() const;  // Integer, Long, Single, Double, Currency
    bool IsDate() const { return type == VType::Date; }
    bool IsString() const { return type == VType::String; }

    // The value as a number: numbers and dates as they are, Booleans -1/0, text by its leading
    // number (0 when it has none), Empty and Null 0.
    double ToDouble() const;
    // The value as text, the way the original platform wrote it: doubles with up to 15 significant
    // digits and singles with up to 7, without trailing zeros; dates as "YYYY-MM-DD" or
    // "YYYY-MM-DD HH:MM:SS" when there is a time part; Booleans "True"/"False"; Empty and Null "".
    QString ToText() const;

    friend bool operator==(const Value &a, const Value &b);
};

Value MakeEmpty();
Value MakeNull();
Value MakeInteger(int16_t v);
Value MakeLong(int32_t v);
Value MakeSingle(float v);
Value MakeDouble(double v);
Value MakeCurrency(double v);  // kept to 4 decimals
Value MakeString(const QString &v);
Value MakeDate(double dayNumber);
Value MakeBool(bool v);

// Converts a value to another kind the way an assignment to a typed field does. Text is read by its
// leading number for the numeric kinds and by ReadDateText for dates. Returns nothing when the value
// cannot be converted: a text that is no date, a number beyond the dates of the years 100 to 9999,
// or a whole number out of the kind's range.
std::optional<Value> ConvertValue(const Value &v, VType to);

// Text of a double with up to `digits` significant digits, no trailing zeros, no exponent for
// magnitudes between 1e-4 and 1e15, beyond them "1E+15", "1.5E-05" (as the original platform printed
// numbers). -0 prints as "0".
QString NumberText(double v, int digits = 15);
