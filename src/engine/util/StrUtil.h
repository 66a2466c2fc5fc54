#pragma once

#include <QString>
#include <optional>
#include <string_view>

// Text helpers shared by the files, the editor and the code tables. Arguments
// that stand for one character are texts: a character argument that is not
// exactly one character long never matches anything.
namespace solvanta {

// Byte text (Windows-1252) without the blanks (' ') at its ends.
inline std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    return t;
}

// Byte text (Windows-1252) without the blanks and control characters (every
// byte up to 0x20: tabs, line ends, NUL…) at its ends.
inline std::string_view trimBlanksAndControls(std::string_view t) {
    auto blankOrControl = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!t.empty() && blankOrControl(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && blankOrControl(t.back()))
        t.remove_suffix(1);
    return t;
}

// The RUT check rule: the digits of the number, from the last one back, are
// weighted 2, 3, 4, 5, 6, 7, 2, 3, …; eleven less the sum modulo 11 gives
// the check character, 10 being 'K' and 11 being '0'. Fed with any values
// (not only 0 to 9), every result other than 1 to 10 also gives '0'.
class RutCheckSum {
public:
    // The next digit's value, walking from the last digit back.
    void add(int value) {
        sum_ += value * factor_;
        factor_ = factor_ == 7 ? 2 : factor_ + 1;
    }
    char character() const {
        const int v = 11 - sum_ % 11;
        return v >= 1 && v <= 9 ? char('0' + v) : v == 10 ? 'K' : '0';
    }

private:
    int sum_ = 0;
    int factor_ = 2;
};

// The check character ('0' to '9' or 'K') of a RUT number written in the
// digits 0 to 9; '\0' when the text is empty or holds anything else. The
// caller bounds the length (a long text would overflow the sum).
inline char rutCheckCharacter(std::string_view digits) {
    if (digits.empty()) return '\0';
    RutCheckSum check;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it < '0' || *it > '9') return '\0';
        check.add(*it - '0');
    }
    return check.character();
}

// True when the check character (the last one) fits the RUT digits before
// it; '-' anywhere is ignored. An empty text is accepted; one of more than
// 20 characters besides the '-' is longer than any RUT and is not.
bool ValidaRut(const QString& rut);

// A RUT as people write it: "12.345.678-5", "12345678-5", "12345678K",
// "12.345.678" or "12345678" (blanks around it allowed, "k" for "K"). The
// digits of the number without leading zeros, and the check character when
// the text has one (a null QChar otherwise). Nothing when the text is not a
// RUT written in one of these ways, or has more than 12 digits.
struct RutText {
    QString digits;
    QChar check;
};
std::optional<RutText> readRut(QStringView text);
// Why the text is no RUT, quoting it: "«1.23.4» no es un RUT; escríbalo
// como 12.345.678-5 o 12345678."
QString notARut(QStringView text);
// A RUT's number and check character as people write them: "12.345.678-5"
// (zeros in front dropped); empty when there is no number.
QString shownRut(QStringView digits, QStringView check);

// The text without its blanks, preceded by the fill text as many times as it
// is shorter than the width. Never cuts.
QString RellenaIzquierda(const QString& text, const QString& fill, int width);

// The text followed by the fill text as many times as it is shorter than the
// width. Never cuts.
QString RellenaDerecha(const QString& text, const QString& fill, int width);

// The text without every occurrence of the character.
QString QuitaCaracterLargo(const QString& text, const QString& character);

// Every occurrence of the character replaced by the first character of the
// replacement. Throws RangeError when a replacement is due and the
// replacement text is empty.
QString ReemplazaCaracter(const QString& text, const QString& from, const QString& to);

} // namespace solvanta

// The text as a search compares it: without accents or case, blanks at the
// ends gone ("Núñez " and "NUNEZ" compare equal).
QString searchKey(const QString& text);
