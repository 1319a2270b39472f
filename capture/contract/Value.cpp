#include "Value.h"

#include "CaptureError.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace capture {

const char* typeName(ValueType type)
{
    switch (type) {
    case ValueType::Void: return "void";
    case ValueType::I16: return "i16";
    case ValueType::I32: return "i32";
    case ValueType::Bool: return "bool";
    case ValueType::F64: return "f64";
    case ValueType::Text: return "text";
    case ValueType::Colour: return "colour";
    }
    return "?";
}

Value Value::i16(std::int16_t value) { return Value(Data(std::in_place_type<std::int16_t>, value)); }
Value Value::i32(std::int32_t value) { return Value(Data(std::in_place_type<std::int32_t>, value)); }
Value Value::boolean(bool value) { return Value(Data(Boolean{static_cast<std::int16_t>(value ? -1 : 0)})); }
Value Value::f64(double value) { return Value(Data(std::in_place_type<double>, value)); }
Value Value::text(std::string value) { return Value(Data(std::move(value))); }
Value Value::colour(std::uint32_t rgb) { return Value(Data(Colour{rgb})); }

ValueType Value::type() const
{
    switch (m_data.index()) {
    case 1: return ValueType::I16;
    case 2: return ValueType::I32;
    case 3: return ValueType::Bool;
    case 4: return ValueType::F64;
    case 5: return ValueType::Text;
    case 6: return ValueType::Colour;
    default: return ValueType::Void;
    }
}

namespace {

[[noreturn]] void wrongType(const Value& value, ValueType wanted)
{
    throw CaptureError(std::string("Type mismatch: expected ") + typeName(wanted) + ", got "
                       + typeName(value.type()));
}

std::string shortest(double value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string escaped(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default: out += c;
        }
    }
    return out;
}

std::string describe(const Value& value)
{
    return std::string(typeName(value.type())) + " " + value.toString();
}

// Numeric text as a number, allowing surrounding blanks; anything else is a type mismatch.
double numberFromText(const std::string& text)
{
    auto begin = text.find_first_not_of(" \t");
    auto end = text.find_last_not_of(" \t");
    if (begin == std::string::npos)
        throw CaptureError("Type mismatch: empty text is not a number");
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    if (*first == '+')
        ++first;
    double number = 0;
    auto result = std::from_chars(first, last, number);
    if (result.ec != std::errc() || result.ptr != last)
        throw CaptureError("Type mismatch: \"" + text + "\" is not a number");
    return number;
}

template <typename Int>
Int narrowed(const Value& value, const char* width)
{
    double number = toDouble(value);
    if (!std::isfinite(number))
        throw CaptureError("Overflow: " + describe(value) + " does not fit " + width);
    double rounded = std::nearbyint(number);
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min())
        || rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        throw CaptureError("Overflow: " + describe(value) + " does not fit " + width);
    return static_cast<Int>(rounded);
}

}  // namespace

std::int16_t Value::i16Value() const
{
    if (auto* v = std::get_if<std::int16_t>(&m_data)) return *v;
    wrongType(*this, ValueType::I16);
}

std::int32_t Value::i32Value() const
{
    if (auto* v = std::get_if<std::int32_t>(&m_data)) return *v;
    wrongType(*this, ValueType::I32);
}

std::int16_t Value::boolValue() const
{
    if (auto* v = std::get_if<Boolean>(&m_data)) return v->raw;
    wrongType(*this, ValueType::Bool);
}

double Value::f64Value() const
{
    if (auto* v = std::get_if<double>(&m_data)) return *v;
    wrongType(*this, ValueType::F64);
}

const std::string& Value::textValue() const
{
    if (auto* v = std::get_if<std::string>(&m_data)) return *v;
    wrongType(*this, ValueType::Text);
}

std::uint32_t Value::colourValue() const
{
    if (auto* v = std::get_if<Colour>(&m_data)) return v->rgb;
    wrongType(*this, ValueType::Colour);
}

std::string Value::toString() const
{
    switch (type()) {
    case ValueType::Void: return {};
    case ValueType::I16: return std::to_string(i16Value());
    case ValueType::I32: return std::to_string(i32Value());
    case ValueType::Bool: return std::to_string(boolValue());
    case ValueType::F64: return shortest(f64Value());
    case ValueType::Text: return escaped(textValue());
    case ValueType::Colour: return std::to_string(colourValue());
    }
    return {};
}

double toDouble(const Value& value)
{
    switch (value.type()) {
    case ValueType::I16: return value.i16Value();
    case ValueType::I32: return value.i32Value();
    case ValueType::Bool: return value.boolValue();
    case ValueType::F64: return value.f64Value();
    case ValueType::Colour: return value.colourValue();
    case ValueType::Text: return numberFromText(value.textValue());
    case ValueType::Void: break;
    }
    throw CaptureError("Type mismatch: the control answered no value where a number was expected");
}

std::int16_t toInt16(const Value& value) { return narrowed<std::int16_t>(value, "16 bits"); }

std::int32_t toInt32(const Value& value) { return narrowed<std::int32_t>(value, "32 bits"); }

bool toBoolean(const Value& value)
{
    if (value.type() == ValueType::Text) {
        const std::string& text = value.textValue();
        auto lower = text;
        for (char& c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (lower == "true") return true;
        if (lower == "false") return false;
    }
    double number = toDouble(value);
    if (std::isnan(number))
        throw CaptureError("Type mismatch: " + describe(value) + " is not a boolean");
    return number != 0;
}

std::string toText(const Value& value)
{
    switch (value.type()) {
    case ValueType::Text: return value.textValue();
    case ValueType::Bool: return value.boolValue() ? "True" : "False";
    case ValueType::Void:
        throw CaptureError("Type mismatch: the control answered no value where text was expected");
    default: return value.toString();
    }
}

}  // namespace capture
