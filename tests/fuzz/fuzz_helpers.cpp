// libFuzzer harness for the text, date, RUT, code-list and code-page
// helpers. An input is UTF-8 text in lines:
//
//     TEXT\nCHARACTER\nREPLACEMENT\nNUMBER\nCODE\nDATE PATTERN\nENTRY\nENTRY...
//
// Missing lines are empty; NUMBER is a whole number (a width, or the length
// of the code in a list entry). The raw bytes also go through the code page.

#include "FuzzSupport.h"
#include "engine/util/CodePage.h"
#include "engine/util/DateText.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/RemuTool.h"
#include "engine/util/StrUtil.h"

#include <QDate>
#include <QStringList>
#include <cstddef>
#include <cstdint>

using namespace solvanta;

namespace {

QString q(const QString& s) {
    return QStringLiteral("«%1»").arg(s);
}

// Any byte survives Windows-1252 text both ways.
void checkCodePage(std::string_view bytes) {
    const QString text = cp1252::decode(bytes);
    FUZZ_CHECK(text.size() == qsizetype(bytes.size()), QStringLiteral("length changed"));
    FUZZ_CHECK(cp1252::encode(text) == bytes, fuzz::shown(bytes));
}

// The check character is the last one; dashes anywhere are ignored; of the
// eleven check characters exactly one fits a body of digits.
void checkRut(const QString& text) {
    const bool valid = ValidaRut(text);
    QString bare = text;
    bare.remove(QLatin1Char('-'));
    FUZZ_CHECK(ValidaRut(bare) == valid, q(text));
    if (bare.size() > 20) FUZZ_CHECK(!valid, QStringLiteral("a long text is a RUT: ") + q(text));

    QString body;
    for (const QChar c : text)
        if (c.unicode() >= u'0' && c.unicode() <= u'9' && body.size() < 12) body += c;
    if (body.isEmpty()) return;
    int fits = 0;
    for (const QChar check : QStringView(u"0123456789K"))
        fits += ValidaRut(body + check) ? 1 : 0;
    FUZZ_CHECK(fits == 1, QStringLiteral("%1 check characters fit %2").arg(fits).arg(q(body)));
}

void checkFill(const QString& text, const QString& fill, int width) {
    QString bare = text;
    bare.remove(QLatin1Char(' '));
    const QString left = RellenaIzquierda(text, fill, width);
    const QString right = RellenaDerecha(text, fill, width);
    FUZZ_CHECK(left.endsWith(bare), q(left));
    FUZZ_CHECK(right.startsWith(text), q(right));
    if (fill.size() != 1) return;
    FUZZ_CHECK(left.size() == std::max<qsizetype>(width, bare.size()), q(left));
    FUZZ_CHECK(right.size() == std::max<qsizetype>(width, text.size()), q(right));
    for (qsizetype i = 0; i < left.size() - bare.size(); ++i)
        FUZZ_CHECK(left[i] == fill[0], q(left));
    for (qsizetype i = text.size(); i < right.size(); ++i)
        FUZZ_CHECK(right[i] == fill[0], q(right));
}

void checkCharacters(const QString& text, const QString& character, const QString& replacement) {
    const QString without = QuitaCaracterLargo(text, character);
    if (character.size() == 1) {
        FUZZ_CHECK(!without.contains(character[0]) &&
                       without.size() == text.size() - text.count(character[0]),
                   q(without));
    } else {
        FUZZ_CHECK(without == text, q(without));
    }

    try {
        const QString short_ = QuitaCaracter(text, character);
        FUZZ_CHECK(text.size() <= 127 && short_ == without, q(short_));
    } catch (const RangeError&) {
        FUZZ_CHECK(text.size() > 127, QStringLiteral("refused a short text"));
    }

    const bool due = character.size() == 1 && text.contains(character[0]);
    try {
        const QString replaced = ReemplazaCaracter(text, character, replacement);
        FUZZ_CHECK(!due || !replacement.isEmpty(), QStringLiteral("replaced with nothing"));
        FUZZ_CHECK(replaced.size() == text.size(), q(replaced));
        for (qsizetype i = 0; i < text.size(); ++i)
            FUZZ_CHECK(replaced[i] == (due && text[i] == character[0] ? replacement[0] : text[i]),
                       q(replaced));
    } catch (const RangeError&) {
        FUZZ_CHECK(due && replacement.isEmpty(), QStringLiteral("refused a possible replacement"));
    }
}

// The found entry is one of the list and its code reads as the code asked;
// nothing is found only when no entry has that code. A code that does not
// read is refused with a short message.
void checkCodeList(const QStringList& list, int n, const QString& code) {
    QString found;
    try {
        found = BuscaEnLista(list, n, code);
    } catch (const ConversionError& e) {
        FUZZ_CHECK(!e.message().isEmpty() && e.message().size() <= 200, e.message());
        return;
    }
    const auto wanted = numtext::parseWhole(code);
    if (found.isEmpty()) {
        for (const QString& entry : list)
            FUZZ_CHECK(numtext::parseWhole(QStringView(entry).left(n)) != wanted,
                       QStringLiteral("%1 has code %2").arg(q(entry), q(code)));
        return;
    }
    FUZZ_CHECK(list.contains(found), q(found));
    FUZZ_CHECK(numtext::parseWhole(QStringView(found).left(n)) == wanted,
               QStringLiteral("%1 found for %2").arg(q(found), q(code)));
}

// A date reads as a real date; the program's format, from any short pattern
// it accepts, writes ten characters that read back as the same date.
void checkDates(const QString& text, const QString& pattern, int number) {
    datetext::setFormat(QStringLiteral("dd-MM-yyyy"));
    if (const auto d = datetext::read(text)) FUZZ_CHECK(d->isValid(), q(text));

    const QString format = datetext::formatFromPattern(pattern);
    if (format.isEmpty()) return;
    datetext::setFormat(format);
    const QDate day = QDate(1000, 1, 1).addDays(std::uint32_t(number) % 3'287'000); // to 9999
    const QString written = datetext::write(day);
    FUZZ_CHECK(written.size() == 10,
               QStringLiteral("%1 from %2 wrote %3").arg(q(format), q(pattern), q(written)));
    FUZZ_CHECK(datetext::read(written) == day,
               QStringLiteral("%1 in %2 does not read back").arg(q(written), q(format)));
    if (const auto d = datetext::read(text)) FUZZ_CHECK(d->isValid(), q(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkCodePage(bytes);

    const QStringList lines =
        QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).split(QLatin1Char('\n'));
    const QString text = lines.value(0);
    const QString character = lines.value(1);
    const QString replacement = lines.value(2);
    bool ok = false;
    const int number = lines.value(3).trimmed().toInt(&ok);
    const QString code = lines.value(4);
    const QString pattern = lines.value(5);
    const QStringList list = lines.mid(6);

    checkRut(text);
    checkFill(text, character, ok ? std::clamp(number, -10, 300) : 0);
    checkCharacters(text, character, replacement);
    checkCodeList(list, ok ? std::clamp(number, -10, 300) : 2, code);
    checkDates(text, pattern, ok ? number : 0);
    return 0;
}
