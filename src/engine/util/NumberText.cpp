#include "NumberText.h"

#include "Errors.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <cstring>

namespace solvanta::numtext {
namespace {

char systemSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point[0].unicode() < 0x80) return point[0].toLatin1();
    return '.';
}

char g_separator = 0;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Latin-1 bytes of a text made only of characters that can be part of a
// number; any other character makes the text no number at all.
bool toBytes(QStringView text, std::string& out) {
    out.resize(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= 0x100) return false;
        out[static_cast<std::size_t>(i)] = static_cast<char>(c);
    }
    return true;
}

} // namespace

char decimalSeparator() {
    if (g_separator == 0) g_separator = systemSeparator();
    return g_separator;
}

void setDecimalSeparator(char separator) {
    g_separator = separator;
}

void useSystemDecimalSeparator() {
    g_separator = 0;
}

std::optional<double> parseDecimal(std::string_view s, char sep) {
    std::size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ')
        ++i;
    while (n > i && s[n - 1] == ' ')
        --n;
    if (i == n) return std::nullopt;

    bool negative = false;
    if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';

    // Fast path: plain digits, exact in a double.
    {
        std::size_t j = i;
        std::uint64_t v = 0;
        while (j < n && isDigit(s[j]) && j - i < 15)
            v = v * 10 + static_cast<unsigned>(s[j++] - '0');
        if (j == n && j > i) {
            const double d = static_cast<double>(v);
            return negative ? -d : d;
        }
    }

    char buf[512];
    std::size_t len = 0;
    auto put = [&](char c) {
        if (len >= sizeof buf) return false;
        buf[len++] = c;
        return true;
    };
    int digits = 0;
    bool seenSeparator = false;
    for (; i < n; ++i) {
        const char c = s[i];
        if (isDigit(c)) {
            ++digits;
            if (!put(c)) return std::nullopt;
        } else if (c == sep && !seenSeparator) {
            seenSeparator = true;
            if (!put('.')) return std::nullopt;
        } else {
            break;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < n) {
        if (s[i] != 'e' && s[i] != 'E') return std::nullopt;
        if (!put('e')) return std::nullopt;
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            if (!put(s[i])) return std::nullopt;
            ++i;
        }
        const std::size_t expStart = i;
        for (; i < n && isDigit(s[i]); ++i)
            if (!put(s[i])) return std::nullopt;
        if (i == expStart || i != n) return std::nullopt;
    }
    double value = 0;
    const auto [ptr, ec] = std::from_chars(buf, buf + len, value);
    if (ec != std::errc() || ptr != buf + len || !std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> parseDecimal(QStringView text) {
    std::string bytes;
    if (!toBytes(text, bytes)) return std::nullopt;
    return parseDecimal(bytes, decimalSeparator());
}

std::optional<std::int32_t> parseWhole(std::string_view s) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i == n) return std::nullopt;
    std::int64_t v = 0;
    for (; i < n; ++i) {
        if (!isDigit(s[i])) return std::nullopt;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

std::optional<std::int32_t> parseWhole(QStringView text) {
    std::string bytes;
    if (!toBytes(text, bytes)) return std::nullopt;
    return parseWhole(bytes);
}

namespace {

// Digits in groups of three after a first group of one to three, the groups
// joined by `group`: "1.234", "12.345.678".
bool isGrouped(std::string_view t, char group) {
    const std::size_t first = t.find(group);
    if (first == std::string_view::npos || first == 0 || first > 3) return false;
    for (std::size_t i = 0; i < first; ++i)
        if (!isDigit(t[i])) return false;
    std::size_t i = first;
    while (i < t.size()) {
        if (t[i] != group || i + 4 > t.size()) return false;
        for (std::size_t k = 1; k <= 3; ++k)
            if (!isDigit(t[i + k])) return false;
        i += 4;
    }
    return true;
}

std::string without(std::string_view t, char c) {
    std::string out;
    for (char x : t)
        if (x != c) out.push_back(x);
    return out;
}

} // namespace

Typed readTyped(QStringView text, bool decimals) {
    const QString shown = text.trimmed().toString();
    const auto refuse = [&](const QString& why) { return Typed{std::nullopt, why}; };
    const auto notANumber = [&] {
        return refuse(QStringLiteral("«%1» no es un número.").arg(excerpt(shown)));
    };
    const char sep = decimalSeparator();
    const char group = sep == ',' ? '.' : ',';
    std::string bytes;
    if (!toBytes(shown, bytes)) return notANumber();
    std::optional<double> value = parseDecimal(bytes, sep);
    if (!value) {
        std::string_view body(bytes);
        bool negative = false;
        if (!body.empty() && (body[0] == '-' || body[0] == '+')) {
            negative = body[0] == '-';
            body.remove_prefix(1);
        }
        int seps = 0, groups = 0;
        for (char c : body) {
            if (c == sep)
                ++seps;
            else if (c == group)
                ++groups;
            else if (!isDigit(c))
                return notANumber();
        }
        if (seps > 1 || groups == 0) return notANumber();
        const std::size_t at = body.find(sep);
        const std::string_view whole = body.substr(0, at);
        std::string plain; // with '.' as the decimal separator
        if (seps == 1) {
            if (!isGrouped(whole, group)) return notANumber();
            plain = without(whole, group) + '.' + std::string(body.substr(at + 1));
        } else if (isGrouped(body, group) && (groups > 1 || !decimals)) {
            plain = without(body, group);
        } else if (isGrouped(body, group)) {
            const QString thousands = QString::fromLatin1(without(body, group));
            QString fraction = QString::fromLatin1(body);
            fraction.replace(QLatin1Char(group), QLatin1Char(sep));
            return refuse(QStringLiteral("«%1» puede leerse como %2 o como %3: escríbalo sin "
                                         "separador de miles y con «%4» para los decimales.")
                              .arg(excerpt(shown), thousands, fraction, QString(QLatin1Char(sep))));
        } else if (groups == 1) {
            plain = std::string(body);
            plain[plain.find(group)] = '.';
        } else {
            return notANumber();
        }
        value = parseDecimal(plain, '.');
        if (!value) return notANumber();
        if (negative) value = -*value;
    }
    if (!decimals && *value != std::trunc(*value))
        return refuse(QStringLiteral("«%1» tiene decimales, y este campo lleva un número entero.")
                          .arg(excerpt(shown)));
    return {value, {}};
}

int format(double value, char sep, char* buf) {
    if (std::isnan(value)) {
        std::memcpy(buf, "NAN", 3);
        return 3;
    }
    if (std::isinf(value)) {
        if (value < 0) {
            std::memcpy(buf, "-INF", 4);
            return 4;
        }
        std::memcpy(buf, "INF", 3);
        return 3;
    }
    if (value == 0) {
        buf[0] = '0';
        return 1;
    }
    // Whole values below 10^15: the digits themselves.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        const auto r = std::to_chars(buf, buf + kMaxNumberText, static_cast<std::int64_t>(value));
        return static_cast<int>(r.ptr - buf);
    }

    // Round to 15 significant digits, then lay the digits out. The largest
    // doubles would round above the largest double, a text that reads back
    // as no number: they are written as the largest 15-digit number below it.
    constexpr double kLargestText = 1.79769313486231e308;
    if (value > kLargestText) value = kLargestText;
    if (value < -kLargestText) value = -kLargestText;
    char sci[40];
    const auto r = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14);
    const char* p = sci;
    const char* end = r.ptr;
    int len = 0;
    if (*p == '-') {
        buf[len++] = '-';
        ++p;
    }
    char digits[16];
    int nd = 0;
    for (; p < end && *p != 'e'; ++p)
        if (isDigit(*p)) digits[nd++] = *p;
    int exponent = 0;
    std::from_chars(p + 1 + (p[1] == '+' ? 1 : 0), end, exponent);
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;

    if (exponent >= -5 && exponent < 15) {
        if (exponent >= 0) {
            for (int k = 0; k <= exponent; ++k)
                buf[len++] = k < nd ? digits[k] : '0';
            if (nd > exponent + 1) {
                buf[len++] = sep;
                for (int k = exponent + 1; k < nd; ++k)
                    buf[len++] = digits[k];
            }
        } else {
            buf[len++] = '0';
            buf[len++] = sep;
            for (int k = 0; k < -exponent - 1; ++k)
                buf[len++] = '0';
            for (int k = 0; k < nd; ++k)
                buf[len++] = digits[k];
        }
        return len;
    }
    buf[len++] = digits[0];
    if (nd > 1) {
        buf[len++] = sep;
        for (int k = 1; k < nd; ++k)
            buf[len++] = digits[k];
    }
    buf[len++] = 'E';
    const auto e = std::to_chars(buf + len, buf + kMaxNumberText, exponent);
    return static_cast<int>(e.ptr - buf);
}

QString format(double value) {
    char buf[kMaxNumberText];
    const int n = format(value, decimalSeparator(), buf);
    return QString::fromLatin1(buf, n);
}

} // namespace solvanta::numtext
