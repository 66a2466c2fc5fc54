#include "StrUtil.h"

#include "Errors.h"

namespace solvanta {
namespace {

bool isCharacter(QChar c, const QString& character) {
    return character.size() == 1 && c == character[0];
}

} // namespace

std::optional<RutText> readRut(QStringView text) {
    QStringView t = text.trimmed();
    RutText out;
    if (const qsizetype dash = t.indexOf(u'-'); dash >= 0) {
        if (dash + 2 != t.size()) return std::nullopt;
        out.check = t[dash + 1].toUpper();
        t = t.left(dash);
    } else if (!t.isEmpty() && t.back().toUpper() == u'K') {
        out.check = u'K';
        t.chop(1);
    }
    if (!out.check.isNull() && !out.check.isDigit() && out.check != u'K') return std::nullopt;
    if (out.check.isDigit() && out.check.unicode() > 127) return std::nullopt;
    // The number: plain digits, or digits in groups of three joined by ".".
    const qsizetype firstDot = t.indexOf(u'.');
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == u'.') {
            const bool groupStart =
                i > 0 && i + 3 < t.size() && (t.size() - i) % 4 == 0 && (i != firstDot || i <= 3);
            if (!groupStart) return std::nullopt;
            continue;
        }
        if (c < u'0' || c > u'9') return std::nullopt;
        if (firstDot >= 0 && i > firstDot && (t.size() - i) % 4 == 0) return std::nullopt;
        out.digits += c;
    }
    while (out.digits.size() > 1 && out.digits.front() == u'0')
        out.digits.remove(0, 1);
    if (out.digits.isEmpty() || out.digits.size() > 12) return std::nullopt;
    return out;
}

QString shownRut(QStringView digits, QStringView check) {
    digits = digits.trimmed();
    check = check.trimmed();
    while (digits.size() > 1 && digits.front() == u'0')
        digits = digits.mid(1);
    QString rut;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) rut += u'.';
        rut += digits[i];
    }
    if (!rut.isEmpty() && !check.isEmpty()) rut += u'-' + check.toString();
    return rut;
}

QString notARut(QStringView text) {
    return QStringLiteral("«%1» no es un RUT; escríbalo como 12.345.678-5 o 12345678.")
        .arg(excerpt(text.trimmed()));
}

bool ValidaRut(const QString& rut) {
    // More characters than a RUT has even zero-filled to the file's 11
    // columns with its check character. A longer text is no RUT; the bound
    // also keeps the weighted sum (at most 19 characters of up to 65,535
    // times 7) far inside an int, whatever the characters, while keeping its
    // sign, which decides the expected character for characters below '0'.
    constexpr qsizetype kLongest = 20;
    QChar digits[kLongest];
    qsizetype count = 0;
    for (QChar c : rut) {
        if (c == QLatin1Char('-')) continue;
        if (count == kLongest) return false;
        digits[count++] = c;
    }
    if (count == 0) return true;
    const qsizetype last = count - 1;
    RutCheckSum check;
    for (qsizetype i = last - 1; i >= 0; --i)
        check.add(static_cast<int>(digits[i].unicode()) - 48);
    return digits[last] == QLatin1Char(check.character());
}

QString RellenaIzquierda(const QString& text, const QString& fill, int width) {
    const QString bare = QuitaCaracterLargo(text, QStringLiteral(" "));
    QString out;
    for (qsizetype i = bare.size(); i < width; ++i)
        out += fill;
    return out + bare;
}

QString RellenaDerecha(const QString& text, const QString& fill, int width) {
    QString out = text;
    for (qsizetype i = text.size(); i < width; ++i)
        out += fill;
    return out;
}

QString QuitaCaracterLargo(const QString& text, const QString& character) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!isCharacter(c, character)) out += c;
    return out;
}

QString ReemplazaCaracter(const QString& text, const QString& from, const QString& to) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!isCharacter(c, from)) {
            out += c;
            continue;
        }
        if (to.isEmpty())
            throw RangeError(
                QStringLiteral("No hay un carácter de reemplazo para «%1».").arg(from));
        out += to[0];
    }
    return out;
}

} // namespace solvanta

QString searchKey(const QString& text) {
    const QString decomposed = text.trimmed().normalized(QString::NormalizationForm_D);
    QString key;
    key.reserve(decomposed.size());
    for (const QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) key += c;
    return key.toCaseFolded();
}
