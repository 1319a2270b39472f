#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace capture {

// The exact type of a value that crosses the contract. A window must be able to tell a check
// box's 1 from a boolean's -1, and a 16-bit index from a 32-bit setting.
enum class ValueType { Void, I16, I32, Bool, F64, Text, Colour };

// "i16", "i32", "bool", "f64", "text", "colour", "void": the names the trace prints.
const char* typeName(ValueType type);

class Value {
public:
    Value() = default;  // void

    static Value i16(std::int16_t value);
    static Value i32(std::int32_t value);
    static Value boolean(bool value);  // True is -1, False is 0
    static Value f64(double value);
    static Value text(std::string value);
    static Value colour(std::uint32_t rgb);  // red in the low byte

    ValueType type() const;
    bool isVoid() const { return type() == ValueType::Void; }

    // The stored value of exactly this type; a CaptureError for any other type.
    std::int16_t i16Value() const;
    std::int32_t i32Value() const;
    std::int16_t boolValue() const;  // -1 or 0
    double f64Value() const;
    const std::string& textValue() const;
    std::uint32_t colourValue() const;

    // The value as the trace prints it: booleans as -1 and 0, text as it stands with line
    // breaks and backslashes escaped, numbers in their shortest exact form; empty for void.
    std::string toString() const;

    bool operator==(const Value& other) const = default;

private:
    struct Boolean {
        std::int16_t raw;
        bool operator==(const Boolean&) const = default;
    };
    struct Colour {
        std::uint32_t rgb;
        bool operator==(const Colour&) const = default;
    };
    using Data = std::variant<std::monostate, std::int16_t, std::int32_t, Boolean, double,
                              std::string, Colour>;

    explicit Value(Data data) : m_data(std::move(data)) {}

    Data m_data;
};

// Narrowing as the programs do it before using a value that came from the control. Numbers
// round to the nearest integer (halves to even); numeric text is read as its number. A value
// that does not fit, or cannot be read as the asked type, raises CaptureError.
std::int16_t toInt16(const Value& value);
std::int32_t toInt32(const Value& value);
double toDouble(const Value& value);
bool toBoolean(const Value& value);  // zero is False, any other number True; "True"/"False" text
std::string toText(const Value& value);

}  // namespace capture
