#include "PeriodText.h"

namespace solvanta::periodtext {
namespace {

// The six characters' digit values, or nothing when one is no digit 0 to 9.
template <typename Char> std::optional<int> readDigits(const Char* t) {
    int d[6];
    for (int i = 0; i < 6; ++i) {
        if (t[i] < Char('0') || t[i] > Char('9')) return std::nullopt;
        d[i] = int(t[i] - Char('0'));
    }
    const int month = d[0] * 10 + d[1];
    if (month < 1 || month > 12) return std::nullopt;
    const int year = d[2] * 1000 + d[3] * 100 + d[4] * 10 + d[5];
    return year * 100 + month;
}

} // namespace

std::optional<int> read(std::string_view mmyyyy) {
    if (mmyyyy.size() != 6) return std::nullopt;
    return readDigits(mmyyyy.data());
}

std::optional<int> read(QStringView mmyyyy) {
    if (mmyyyy.size() != 6) return std::nullopt;
    return readDigits(mmyyyy.utf16());
}

std::optional<int> readShown(QStringView shown) {
    if (shown.size() != 7 || shown[2] != u'/') return std::nullopt;
    const char16_t digits[6] = {shown[0].unicode(), shown[1].unicode(), shown[3].unicode(),
                                shown[4].unicode(), shown[5].unicode(), shown[6].unicode()};
    return readDigits(digits);
}

QString shown(QStringView mmyyyy) {
    QString out = mmyyyy.left(6).toString().leftJustified(6, u' ');
    out.insert(2, u'/');
    return out;
}

QString shownProblem(QStringView shown) {
    if (readShown(shown)) return {};
    return QStringLiteral("El período «%1» no es válido: ingrese el mes (01 a 12) y el año, "
                          "como 03/2024.")
        .arg(shown.toString().replace(u' ', u'_'));
}

QString stored(QStringView shown) {
    QString out = shown.toString();
    out.remove(u'/');
    return out;
}

} // namespace solvanta::periodtext
