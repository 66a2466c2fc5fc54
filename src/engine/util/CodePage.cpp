#include "CodePage.h"

#include "Errors.h"

#include <QStringList>
#include <array>

namespace solvanta::cp1252 {
namespace {

// 0x80..0x9F; the five unassigned bytes map to the C1 control of the same
// value, as Windows does, so every byte survives a round trip.
constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

QChar toUnicode(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return QChar(kHigh[byte - 0x80]);
    return QChar(char16_t(byte));
}

char fromUnicode(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
    return '?';
}

QString decode(std::string_view bytes) {
    QString out(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* d = out.data();
    for (unsigned char b : bytes)
        *d++ = toUnicode(b);
    return out;
}

namespace {

// Calls `each` with every code point of the text (a surrogate pair is one)
// and the text it stands for.
template <typename F> void forEachCodePoint(QStringView text, F&& each) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        qsizetype n = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
            n = 2;
        }
        each(cp, text.mid(i, n));
        i += n - 1;
    }
}

bool holds(char32_t cp) {
    return cp == U'?' || fromUnicode(cp) != '?';
}

} // namespace

std::string encode(QStringView text, bool& lossy) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    lossy = false;
    forEachCodePoint(text, [&](char32_t cp, QStringView) {
        const char b = fromUnicode(cp);
        lossy |= b == '?' && cp != U'?';
        out.push_back(b);
    });
    return out;
}

std::string encode(QStringView text) {
    bool lossy = false;
    return encode(text, lossy);
}

QString unencodable(QStringView text) {
    QString out;
    forEachCodePoint(text, [&](char32_t cp, QStringView shown) {
        if (!holds(cp) && !out.contains(shown)) out += shown;
    });
    return out;
}

QString unencodableProblem(QStringView text) {
    const QString bad = unencodable(text);
    if (bad.isEmpty()) return {};
    QStringList each;
    forEachCodePoint(
        bad, [&](char32_t, QStringView shown) { each << QStringLiteral("«%1»").arg(shown); });
    const bool many = each.size() > 1;
    const QString last = each.takeLast();
    const QString named =
        each.isEmpty() ? last : each.join(QStringLiteral(", ")) + QStringLiteral(" y ") + last;
    return QStringLiteral("«%1» tiene %2, que el archivo no puede guardar: escriba el texto sin "
                          "%3.")
        .arg(excerpt(text), named,
             many ? QStringLiteral("esos caracteres") : QStringLiteral("ese carácter"));
}

QChar upper(QChar c) {
    const QChar u = c.toUpper();
    return u != c && holds(u.unicode()) ? u : c;
}

QString upper(QStringView text) {
    QString out = text.toString();
    for (QChar& c : out)
        c = upper(c);
    return out;
}

} // namespace solvanta::cp1252
