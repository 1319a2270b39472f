#include "tulvik/NumberReading.h"

#include <QtTest>

#include <bit>
#include <cerrno>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <locale.h>
#include <random>
#include <string>
#include <vector>

using tulvik::NumberTooLarge;
using tulvik::readNumber;

namespace {

// A second, deliberately plain reader of the same rule, written without looking at the
// product's: strip the blanks first, scan the rest by index, and let the C library's strtod
// do the conversion.
struct Reading {
    bool tooLarge = false;
    double value = 0.0;
    bool operator==(const Reading& other) const
    {
        return tooLarge == other.tooLarge && std::bit_cast<std::uint64_t>(value) == std::bit_cast<std::uint64_t>(other.value);
    }
};

Reading convert(const std::string& cText)
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    errno = 0;
    const double value = strtod_l(cText.c_str(), nullptr, c);
    if (errno == ERANGE && std::isinf(value))
        return {true, 0.0};
    return {false, value == 0.0 ? 0.0 : value};
}

bool digitIn(char c, int base)
{
    if (base == 8)
        return c >= '0' && c <= '7';
    if (base == 16)
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
    return c >= '0' && c <= '9';
}

Reading referenceRead(const std::string& raw)
{
    std::string s;
    for (char c : raw)
        if (c != ' ' && c != '\t' && c != '\n')
            s += c;
    size_t i = 0;
    auto at = [&s](size_t k) { return k < s.size() ? s[k] : '\0'; };

    if (at(0) == '&') {
        const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(at(1))));
        if (kind != 'H' && kind != 'O')
            return {};
        const int base = kind == 'H' ? 16 : 8;
        std::string digits;
        for (i = 2; digitIn(at(i), base); ++i)
            digits += at(i);
        if (digits.empty())
            return {};
        if (base == 8) {
            // Long multiplication in base 16, least significant digit first.
            std::vector<int> hex{0};
            for (char d : digits) {
                int carry = d - '0';
                for (int& h : hex) {
                    const int v = h * 8 + carry;
                    h = v % 16;
                    carry = v / 16;
                }
                if (carry)
                    hex.push_back(carry);
            }
            digits.clear();
            for (auto it = hex.rbegin(); it != hex.rend(); ++it)
                digits += "0123456789abcdef"[*it];
        }
        return convert("0x" + digits);
    }

    if (at(i) == '+' || at(i) == '-')
        ++i;
    size_t digitCount = 0;
    for (; digitIn(at(i), 10); ++i)
        ++digitCount;
    if (at(i) == '.')
        for (++i; digitIn(at(i), 10); ++i)
            ++digitCount;
    if (digitCount == 0)
        return {};
    std::string text = s.substr(0, i);
    if (std::strchr("EeDd", at(i)) && at(i) != '\0') {
        size_t k = i + 1;
        if (at(k) == '+' || at(k) == '-')
            ++k;
        const size_t firstDigit = k;
        while (digitIn(at(k), 10))
            ++k;
        if (k > firstDigit)
            text += "e" + s.substr(i + 1, k - i - 1);
    }
    return convert(text);
}

Reading productRead(const std::string& text)
{
    try {
        return {false, readNumber(text)};
    } catch (const NumberTooLarge&) {
        return {true, 0.0};
    }
}

std::string describe(const std::string& text, const Reading& actual, const Reading& expected)
{
    std::string escaped;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            escaped += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            escaped += hex;
        }
    }
    auto reading = [](const Reading& r) {
        char number[40];
        std::snprintf(number, sizeof number, "%.17g", r.value);
        return r.tooLarge ? std::string("too large") : std::string(number);
    };
    return "text \"" + escaped + "\": read " + reading(actual) + ", expected " + reading(expected);
}

}  // namespace

class NumberReadingTest : public QObject {
    Q_OBJECT

private slots:
    void readsTheNumberAtTheBeginning_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("expected");

        QTest::newRow("44") << QByteArray("44") << 44.0;
        QTest::newRow("blank inside") << QByteArray("4 4") << 44.0;
        QTest::newRow("letters after") << QByteArray("49abc") << 49.0;
        QTest::newRow("no number") << QByteArray("abc") << 0.0;
        QTest::newRow("decimal point") << QByteArray("1.5") << 1.5;
        QTest::newRow("exponent") << QByteArray("1E2") << 100.0;
        QTest::newRow("hexadecimal") << QByteArray("&H10") << 16.0;

        QTest::newRow("empty") << QByteArray("") << 0.0;
        QTest::newRow("only blanks") << QByteArray(" \t\n") << 0.0;
        QTest::newRow("tabs and line feeds") << QByteArray("\t4\n9 ") << 49.0;
        QTest::newRow("carriage return is no blank") << QByteArray("4\r9") << 4.0;
        QTest::newRow("plus") << QByteArray("+7") << 7.0;
        QTest::newRow("minus apart from digits") << QByteArray("- 7") << -7.0;
        QTest::newRow("sign without number") << QByteArray("-abc") << 0.0;
        QTest::newRow("minus zero") << QByteArray("-0") << 0.0;
        QTest::newRow("two signs") << QByteArray("--5") << 0.0;
        QTest::newRow("leading zeros") << QByteArray("007") << 7.0;
        QTest::newRow("point first") << QByteArray(".5") << 0.5;
        QTest::newRow("point last") << QByteArray("5.") << 5.0;
        QTest::newRow("point alone") << QByteArray(".") << 0.0;
        QTest::newRow("second point ends") << QByteArray("1.2.3") << 1.2;
        QTest::newRow("comma is no point") << QByteArray("1,5") << 1.0;
        QTest::newRow("D exponent") << QByteArray("1D2") << 100.0;
        QTest::newRow("lower-case negative exponent") << QByteArray("25d-2") << 0.25;
        QTest::newRow("exponent with plus and blanks") << QByteArray("2.5 e + 1") << 25.0;
        QTest::newRow("exponent without digits") << QByteArray("1E") << 1.0;
        QTest::newRow("exponent with sign only") << QByteArray("1E+") << 1.0;
        QTest::newRow("point in exponent ends") << QByteArray("1e5.5") << 100000.0;
        QTest::newRow("exponent without mantissa") << QByteArray("E5") << 0.0;
        QTest::newRow("too small is zero") << QByteArray("1e-400") << 0.0;
        QTest::newRow("negative too small is zero") << QByteArray("-1e-400") << 0.0;
        QTest::newRow("largest double") << QByteArray("1.7976931348623157E308") << DBL_MAX;
        QTest::newRow("lower-case hex") << QByteArray("&h1f") << 31.0;
        QTest::newRow("hex with blanks") << QByteArray("& H 1 0") << 16.0;
        QTest::newRow("hex stops at point") << QByteArray("&HFF.5") << 255.0;
        QTest::newRow("hex beyond 64 bits") << QByteArray("&H10000000000000000") << 18446744073709551616.0;
        QTest::newRow("hex without digits") << QByteArray("&Hg") << 0.0;
        QTest::newRow("octal") << QByteArray("&O17") << 15.0;
        QTest::newRow("octal stops at 8") << QByteArray("&o19") << 1.0;
        QTest::newRow("ampersand alone") << QByteArray("&") << 0.0;
        QTest::newRow("ampersand and digits") << QByteArray("&17") << 0.0;
        QTest::newRow("hex takes no sign") << QByteArray("-&H10") << 0.0;
        QTest::newRow("C hex prefix") << QByteArray("0x10") << 0.0;
        QTest::newRow("full-width digits") << QByteArray("\xef\xbc\x91\xef\xbc\x92") << 0.0;
        QTest::newRow("channel entry") << QByteArray("21 (471.25 MHz)") << 21.0;
    }

    void readsTheNumberAtTheBeginning()
    {
        QFETCH(QByteArray, text);
        QFETCH(double, expected);
        const double value = readNumber(text.toStdString());
        QCOMPARE(value, expected);
        if (expected == 0.0)
            QVERIFY2(!std::signbit(value), "a zero reads as +0");
    }

    void numbersBeyondADoubleAreRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("exponent") << QByteArray("1E400");
        QTest::newRow("negative") << QByteArray("-1e400");
        QTest::newRow("D exponent just above the limit") << QByteArray("1.8D308");
        QTest::newRow("many digits") << QByteArray("1") + QByteArray(400, '0');
        QTest::newRow("exponent of many digits") << QByteArray("9E99999999999999999999999999");
        QTest::newRow("long hex") << QByteArray("&H") + QByteArray(257, 'F');
        QTest::newRow("long octal") << QByteArray("&O") + QByteArray(342, '7');
    }

    void numbersBeyondADoubleAreRefused()
    {
        QFETCH(QByteArray, text);
        try {
            readNumber(text.toStdString());
            QFAIL("no NumberTooLarge");
        } catch (const NumberTooLarge& error) {
            const QString message = QString::fromUtf8(error.what());
            QVERIFY2(message.contains(QString::fromLatin1(text.left(8))), qPrintable(message));
            QVERIFY2(message.size() < 120, "a long text is shown shortened");
        }
    }

    void matchesAPlainReaderOnAMillionGeneratedTexts()
    {
        // Pieces weighted towards what can start, continue or end a number.
        const std::vector<std::string> pieces = {
            "0", "1", "5", "7", "9", "8", "00", "123", "4", "6", ".", ".", "+", "-", "E", "e", "D",
            "d", "&", "&H", "&h", "&O", "&o", "H", "O", "A", "f", "x", " ", " ", "\t", "\n", "\r",
            ",", "E400", "e-400", "E308", "e-320", "D+9", "E99999999999", "1234567890123456789",
            "99999999999999999999", std::string(1, '\0'), "\xc3\xa9",
        };
        std::mt19937 random(20240611);
        std::uniform_int_distribution<size_t> pieceCount(0, 12);
        std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
        std::uniform_int_distribution<int> rare(0, 999);

        for (int round = 0; round < 1'000'000; ++round) {
            std::string text;
            for (size_t n = pieceCount(random); n > 0; --n)
                text += pieces[pick(random)];
            if (rare(random) == 0)  // now and then a run long enough to leave a double's range
                text += std::string(200 + rare(random) % 200, "9F7"[round % 3]);
            const Reading expected = referenceRead(text);
            const Reading actual = productRead(text);
            if (!(actual == expected))
                QFAIL(("round " + std::to_string(round) + ", " + describe(text, actual, expected)).c_str());
        }
    }
};

QTEST_APPLESS_MAIN(NumberReadingTest)
#include "NumberReadingTest.moc"
