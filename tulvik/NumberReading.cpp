#include "NumberReading.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <system_error>

namespace tulvik {

namespace {

// The characters of the text with blanks, tabs and line feeds left out. The end of the text
// reads as '\0', which continues no number.
class Cursor {
public:
    explicit Cursor(std::string_view text) : m_text(text) { skipBlanks(); }

    char peek() const { return m_position < m_text.size() ? m_text[m_position] : '\0'; }

    void next()
    {
        ++m_position;
        skipBlanks();
    }

    // Takes the next character when it is one of the two given.
    bool accept(char one, char other)
    {
        if (peek() != one && peek() != other)
            return false;
        next();
        return true;
    }

private:
    void skipBlanks()
    {
        while (m_position < m_text.size()
               && (m_text[m_position] == ' ' || m_text[m_position] == '\t' || m_text[m_position] == '\n'))
            ++m_position;
    }

    std::string_view m_text;
    std::size_t m_position = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigitValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

[[noreturn]] void tooLarge(std::string_view text)
{
    constexpr std::size_t shownLength = 40;
    std::size_t cut = std::min(text.size(), shownLength);
    // Never cut a UTF-8 sequence in half: the message is shown as UTF-8.
    while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    std::string shown(text.substr(0, cut));
    if (cut < text.size())
        shown += "...";
    throw NumberTooLarge("The number \"" + shown
                         + "\" is too large to be read. Enter a number below 1.8E308.");
}

// Exponents beyond this are as good as infinite; saturating keeps the arithmetic in range.
constexpr std::int64_t ExponentLimit = 1'000'000'000'000'000;

// digits (no leading zeros) times ten to the power scale, as the nearest double.
double decimalValue(std::string digits, std::int64_t scale, std::string_view text)
{
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++scale;
    }
    if (digits.empty())
        return 0.0;
    // The power of ten of the leading digit; far outside the double range there is no need to
    // ask the parser (and its exponent would not fit the text it reads).
    const std::int64_t magnitude = static_cast<std::int64_t>(digits.size()) - 1 + scale;
    if (magnitude > 400)
        tooLarge(text);
    if (magnitude < -400)
        return 0.0;

    digits += 'e';
    digits += std::to_string(scale);
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        if (magnitude >= 0)
            tooLarge(text);
        return 0.0;  // below the smallest double
    }
    return value;
}

double readDecimal(Cursor& in, std::string_view text)
{
    bool negative = false;
    if (in.peek() == '+' || in.peek() == '-') {
        negative = in.peek() == '-';
        in.next();
    }

    std::string digits;  // significant digits, leading zeros left out
    std::int64_t scale = 0;
    bool anyDigit = false;
    bool afterPoint = false;
    for (;;) {
        const char c = in.peek();
        if (isDigit(c)) {
            anyDigit = true;
            if (!digits.empty() || c != '0')
                digits += c;
            if (afterPoint)
                --scale;
            in.next();
        } else if (c == '.' && !afterPoint) {
            afterPoint = true;
            in.next();
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0.0;

    if (in.accept('E', 'e') || in.accept('D', 'd')) {
        bool negativeExponent = false;
        if (in.peek() == '+' || in.peek() == '-') {
            negativeExponent = in.peek() == '-';
            in.next();
        }
        std::int64_t exponent = 0;
        while (isDigit(in.peek())) {
            exponent = std::min(exponent * 10 + (in.peek() - '0'), ExponentLimit);
            in.next();
        }
        scale += negativeExponent ? -exponent : exponent;
    }

    const double value = decimalValue(std::move(digits), scale, text);
    return negative && value != 0.0 ? -value : value;
}

// The digits of an &H or &O integer, as hexadecimal digits without leading zeros.
std::string readHexDigits(Cursor& in)
{
    std::string digits;
    for (int value = hexDigitValue(in.peek()); value >= 0; value = hexDigitValue(in.peek())) {
        if (!digits.empty() || value != 0)
            digits += in.peek();
        in.next();
    }
    return digits;
}

std::string readOctalDigitsAsHex(Cursor& in)
{
    std::string bits;  // most significant first
    while (in.peek() >= '0' && in.peek() <= '7') {
        const int value = in.peek() - '0';
        if (!bits.empty() || value != 0)
            for (int bit = 2; bit >= 0; --bit)
                bits += (value >> bit & 1) ? '1' : '0';
        in.next();
    }
    bits.insert(0, (4 - bits.size() % 4) % 4, '0');
    std::string digits;
    for (std::size_t i = 0; i < bits.size(); i += 4) {
        const int nibble = (bits[i] - '0') << 3 | (bits[i + 1] - '0') << 2 | (bits[i + 2] - '0') << 1
                           | (bits[i + 3] - '0');
        digits += "0123456789abcdef"[nibble];
    }
    return digits;
}

double hexValue(const std::string& digits, std::string_view text)
{
    if (digits.empty())
        return 0.0;
    double value = 0.0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                              std::chars_format::hex);
    (void)end;
    if (error == std::errc::result_out_of_range)
        tooLarge(text);
    return value;
}

}  // namespace

double readNumber(std::string_view text)
{
    Cursor in(text);
    if (in.peek() != '&')
        return readDecimal(in, text);
    in.next();
    if (in.accept('H', 'h'))
        return hexValue(readHexDigits(in), text);
    if (in.accept('O', 'o'))
        return hexValue(readOctalDigitsAsHex(in), text);
    return 0.0;
}

}  // namespace tulvik
