// libFuzzer harness for number text: any bytes read as a decimal number and
// as a whole number, with the comma and with the period as separator, and
// the first eight bytes taken as a double to be written.
//
// - A decimal text that reads gives a finite number, the value the C
//   library's strtod gives the same text (the separator made a period);
//   whatever reads as a whole number reads as the same value by
//   std::from_chars, and every text from_chars reads whole, parseWhole
//   reads too.
// - A number's text fits kMaxNumberText, has at most 15 significant digits,
//   and reads back as a number with the same text, within the rounding to
//   15 digits: what the table shows is what a file written from it holds.
// - The QString overloads agree with the byte ones.

#include "FuzzSupport.h"
#include "engine/util/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace solvanta;

namespace {

constexpr std::size_t npos = std::string_view::npos;

QString number(double v) {
    return QString::number(v, 'g', 17);
}

std::string_view formatted(double v, char sep, std::array<char, numtext::kMaxNumberText>& buf) {
    const int n = numtext::format(v, sep, buf.data());
    FUZZ_CHECK(n > 0 && n <= numtext::kMaxNumberText, QStringLiteral("length %1").arg(n));
    return {buf.data(), std::size_t(n)};
}

void checkFormat(double v, char sep) {
    std::array<char, numtext::kMaxNumberText> buf;
    const std::string_view text = formatted(v, sep, buf);
    if (std::isnan(v) || std::isinf(v)) return;

    int digits = 0;
    bool leading = true;
    const std::size_t exponent = text.find('E');
    for (char c : text.substr(0, exponent)) {
        if (c < '0' || c > '9') continue;
        leading = leading && c == '0';
        if (!leading) ++digits;
    }
    FUZZ_CHECK(digits <= 15, QStringLiteral("%1 written as %2").arg(number(v), fuzz::shown(text)));

    const auto back = numtext::parseDecimal(text, sep);
    FUZZ_CHECK(back.has_value(),
               QStringLiteral("%1 written as %2 does not read").arg(number(v), fuzz::shown(text)));
    FUZZ_CHECK(std::fabs(*back - v) <= std::fabs(v) * 1e-14,
               QStringLiteral("%1 written as %2 reads %3")
                   .arg(number(v), fuzz::shown(text), number(*back)));
    std::array<char, numtext::kMaxNumberText> again;
    FUZZ_CHECK(formatted(*back, sep, again) == text,
               QStringLiteral("%1 written as %2 reads %3, written as %4")
                   .arg(number(v), fuzz::shown(text), number(*back),
                        fuzz::shown(formatted(*back, sep, again))));

    numtext::setDecimalSeparator(sep);
    FUZZ_CHECK(numtext::format(v) == QLatin1String(text.data(), qsizetype(text.size())),
               QStringLiteral("the QString form differs"));
}

void checkDecimal(std::string_view text, char sep) {
    const auto v = numtext::parseDecimal(text, sep);
    numtext::setDecimalSeparator(sep);
    const QString latin1 = QString::fromLatin1(text.data(), qsizetype(text.size()));
    const auto viaQString = numtext::parseDecimal(latin1);
    FUZZ_CHECK(v.has_value() == viaQString.has_value() && (!v || *v == *viaQString),
               QStringLiteral("the QString reading differs on ") + fuzz::shown(text));
    if (!v) return;
    FUZZ_CHECK(std::isfinite(*v), fuzz::shown(text));

    // The same text for strtod: no blanks around it, a period as separator.
    std::string c(text);
    const std::size_t first = c.find_first_not_of(' ');
    c = c.substr(first, c.find_last_not_of(' ') - first + 1);
    if (sep != '.') {
        FUZZ_CHECK(c.find('.') == npos,
                   QStringLiteral("a period read with the comma: ") + fuzz::shown(text));
        std::replace(c.begin(), c.end(), sep, '.');
    }
    FUZZ_CHECK(c.find_first_of("xXpPnNiI") == npos, fuzz::shown(text));
    char* end = nullptr;
    const double expected = std::strtod(c.c_str(), &end);
    FUZZ_CHECK(end == c.c_str() + c.size() && expected == *v,
               QStringLiteral("%1 reads %2, strtod says %3")
                   .arg(fuzz::shown(text), number(*v), number(expected)));
    checkFormat(*v, sep);
}

void checkWhole(std::string_view text) {
    const auto v = numtext::parseWhole(text);
    const QString latin1 = QString::fromLatin1(text.data(), qsizetype(text.size()));
    const auto viaQString = numtext::parseWhole(latin1);
    FUZZ_CHECK(v == viaQString,
               QStringLiteral("the QString reading differs on ") + fuzz::shown(text));

    // Leading blanks, a sign, then digits to the end.
    std::string_view rest = text.substr(std::min(text.find_first_not_of(' '), text.size()));
    bool negative = false;
    if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) {
        negative = rest[0] == '-';
        rest.remove_prefix(1);
    }
    std::string digits = negative ? "-" : "";
    digits += rest;
    std::int32_t expected = 0;
    const bool plain = !rest.empty() && rest.find_first_not_of("0123456789") == npos;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), expected);
    const bool reads = plain && r.ec == std::errc() && r.ptr == digits.data() + digits.size();
    FUZZ_CHECK(v.has_value() == reads && (!v || *v == expected),
               QStringLiteral("%1 reads %2, from_chars says %3")
                   .arg(fuzz::shown(text), v ? QString::number(*v) : QStringLiteral("nothing"),
                        reads ? QString::number(expected) : QStringLiteral("nothing")));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char sep : {',', '.'})
        checkDecimal(text, sep);
    checkWhole(text);
    if (size >= sizeof(double)) {
        double v;
        std::memcpy(&v, data, sizeof v);
        checkFormat(v, ',');
        checkFormat(v, '.');
    }
    return 0;
}
