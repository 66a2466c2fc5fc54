#include "DeclarationRoundTrip.h"

#include "FuzzSupport.h"
#include "model/FieldTable.h"
#include "model/RxMem.h"
#include "util/Errors.h"
#include "util/NumberText.h"

#include <QDir>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace solvanta;

namespace fuzz {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The lines of a file as declaration files have them: LF ends a line, CR is
// dropped, Ctrl+Z ends the file.
std::vector<std::string> linesOf(std::string_view bytes) {
    if (const std::size_t z = bytes.find('\x1a'); z != npos) bytes = bytes.substr(0, z);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        std::string line(bytes.substr(start, lf == npos ? npos : lf - start));
        std::erase(line, '\r');
        lines.push_back(std::move(line));
        if (lf == npos) break;
        start = lf + 1;
    }
    return lines;
}

// The field's columns of a position line; what a short line has of them.
std::string_view columns(std::string_view line, const FieldDef& def) {
    const std::size_t from = std::size_t(def.start - 1);
    return from < line.size() ? line.substr(from, std::size_t(def.width)) : std::string_view();
}

// The field's piece of a separator line: the text between its ";", and for
// every field beyond the last ";" the last piece again.
std::string_view piece(std::string_view line, int field) {
    std::size_t start = 0;
    for (int f = 0; f < field; ++f) {
        const std::size_t semicolon = line.find(';', start);
        if (semicolon == npos) break;
        start = semicolon + 1;
    }
    const std::size_t end = line.find(';', start);
    return line.substr(start, end == npos ? npos : end - start);
}

std::string_view cutToSize(std::string_view text, const FieldDef& def) {
    return text.substr(0, std::size_t(def.size));
}

std::string fieldText(const RecordView& r, int field, char separator) {
    char buf[numtext::kMaxNumberText];
    return std::string(r.textForm(field, separator, buf));
}

QString where(int row, int field, std::string_view was, std::string_view is) {
    return QStringLiteral("line %1, field %2: «%3» became «%4»")
        .arg(row + 1)
        .arg(QString::fromUtf8(kFields[std::size_t(field)].name), shown(was), shown(is));
}

QStringList scratchFiles() {
    return QDir(scratch().path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// A load that must succeed; any Error is reported with its message.
// Loads what was written from `written`: it must load, with as many lines.
void mustReload(const QString& path, FileForm form, const RxMem& written, RxMem& table) {
    try {
        loadDeclaration(path, form, table);
    } catch (const Error& e) {
        FUZZ_CHECK(false, QStringLiteral("a written file does not load: ") + e.message() +
                              QStringLiteral("\n") + shown(readFile(path).toStdString()));
    }
    FUZZ_CHECK(table.recordCount() == written.recordCount(),
               QStringLiteral("%1 lines written, %2 read")
                   .arg(written.recordCount())
                   .arg(table.recordCount()));
}

// The free-text fields keep the file's bytes, cut to the field's size: a
// field read from the wrong columns or piece shows here.
void checkFreeTexts(const RxMem& table, const std::vector<std::string>& lines, FileForm form) {
    for (int row = 0; row < table.recordCount(); ++row) {
        const RecordView r = table.recordAt(row);
        const std::string_view line = lines[std::size_t(row)];
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldDef& def = kFields[std::size_t(f)];
            std::optional<std::string_view> expected;
            if (form == FileForm::Position) {
                if (def.loadRule == LoadRule::Text) expected = cutToSize(columns(line, def), def);
            } else if (def.sepRule == SepRule::Text) {
                expected = cutToSize(piece(line, f), def);
            } else if (def.sepRule == SepRule::TextOrZero) {
                const std::string_view p = piece(line, f);
                expected = p.empty() ? std::string_view("0") : cutToSize(p, def);
            }
            if (expected)
                FUZZ_CHECK(r.textBytes(f) == *expected, where(row, f, *expected, r.textBytes(f)));
        }
    }
}

// Written by separator, refused exactly when a text holds ";" (the only
// text a loaded table can have that the form cannot hold); read again, every
// field is what the form wrote: trimmed where the form trims, "0" for an
// emptied field that reads an empty piece as "0".
void separatorRoundTrip(RxMem& t1, char sep) {
    const QString out = scratchFile("salida.csv");
    QFile::remove(out);
    bool holdsSemicolon = false;
    for (int row = 0; row < t1.recordCount(); ++row)
        for (int f = 0; f < kFieldCount; ++f)
            if (kFields[std::size_t(f)].kind == Kind::Text &&
                separatorFormText(f, t1.recordAt(row).textBytes(f)).find(';') != npos)
                holdsSemicolon = true;

    const QStringList before = scratchFiles();
    try {
        writeDeclaration(out, FileForm::Separator, t1);
    } catch (const IoError& e) {
        FUZZ_CHECK(holdsSemicolon, QStringLiteral("refused: ") + e.message());
        FUZZ_CHECK(scratchFiles() == before,
                   QStringLiteral("a refused write left files: ") + scratchFiles().join(u' '));
        return;
    }
    FUZZ_CHECK(!holdsSemicolon, QStringLiteral("a text with \";\" was written by separator"));

    RxMem t2;
    mustReload(out, FileForm::Separator, t1, t2);
    for (int row = 0; row < t1.recordCount(); ++row) {
        const RecordView r1 = t1.recordAt(row), r2 = t2.recordAt(row);
        for (int f = 0; f < kFieldCount; ++f) {
            const std::string was = fieldText(r1, f, sep);
            std::string_view expected = separatorFormText(f, was);
            if (kFields[std::size_t(f)].sepRule == SepRule::TextOrZero && expected.empty())
                expected = "0";
            const std::string is = fieldText(r2, f, sep);
            FUZZ_CHECK(is == expected, where(row, f, was, is));
        }
    }
    if (t1.recordCount() > 0)
        FUZZ_CHECK(guessForm(out) == FileForm::Separator,
                   QStringLiteral("a file written by separator is not recognised as such"));
}

// The lines of a file the writer made: each ends in CR LF, and no text of a
// table holds a line break.
std::vector<std::string_view> writtenLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        FUZZ_CHECK(lf != npos && lf > start && bytes[lf - 1] == '\r',
                   QStringLiteral("a written line does not end in CR LF: ") +
                       shown(bytes.substr(start)));
        lines.push_back(bytes.substr(start, lf - 1 - start));
        start = lf + 1;
    }
    return lines;
}

// Writes the table by position into `out`; checks that every line is as long
// as positionLength() says (the line checks warn from that figure) and
// returns whether every field fills exactly its columns, so that nothing
// moved.
bool writePosition(RxMem& table, const QString& out, char sep, QByteArray& written) {
    QFile::remove(out);
    try {
        writeDeclaration(out, FileForm::Position, table);
    } catch (const Error& e) {
        // A loaded table holds no line break, the only thing the form refuses.
        FUZZ_CHECK(false, QStringLiteral("refused by position: ") + e.message());
    }
    written = readFile(out);
    const std::vector<std::string_view> lines =
        writtenLines(std::string_view(written.constData(), std::size_t(written.size())));
    FUZZ_CHECK(int(lines.size()) == table.recordCount(),
               QStringLiteral("%1 lines for %2").arg(lines.size()).arg(table.recordCount()));
    bool fits = true;
    for (int row = 0; row < table.recordCount(); ++row) {
        std::size_t length = 0;
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldDef& def = kFields[std::size_t(f)];
            const std::size_t n = positionLength(def, fieldText(table.recordAt(row), f, sep));
            fits = fits && n == std::size_t(def.width);
            length += n;
        }
        FUZZ_CHECK(lines[std::size_t(row)].size() == length,
                   QStringLiteral("line %1 has %2 characters, positionLength says %3")
                       .arg(row + 1)
                       .arg(lines[std::size_t(row)].size())
                       .arg(length));
    }
    return fits;
}

bool isZeroFilled(const FieldDef& def) {
    return def.writeRule == WriteRule::Z;
}

// A number text in a text field that the loader had to cut to the field's
// size ("0,5" kept as "0,"): it is no longer the number's text.
bool isCutNumber(const FieldDef& def, std::string_view text, char sep) {
    if (def.kind != Kind::Text ||
        (def.loadRule != LoadRule::Decimal && def.loadRule != LoadRule::Rate))
        return false;
    const auto v = numtext::parseDecimal(text, sep);
    if (!v) return true;
    char buf[numtext::kMaxNumberText];
    return std::string_view(buf, std::size_t(numtext::format(*v, sep, buf))) != text;
}

// Written by position and read again, when every field fits its columns:
// free texts come back filled to their width, amounts and the nationality
// unchanged (but a negative amount, whose zero fill goes before the sign);
// the other fields are brought to the form's own writing by the first trip,
// so a second write and load changes nothing.
void positionRoundTrip(RxMem& t1, char sep) {
    QByteArray written;
    if (!writePosition(t1, scratchFile("salida.txt"), sep, written)) return;

    RxMem t2;
    mustReload(scratchFile("salida.txt"), FileForm::Position, t1, t2);
    for (int row = 0; row < t1.recordCount(); ++row) {
        const RecordView r1 = t1.recordAt(row), r2 = t2.recordAt(row);
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldDef& def = kFields[std::size_t(f)];
            const std::string was = fieldText(r1, f, sep);
            const std::string is = fieldText(r2, f, sep);
            std::optional<std::string> expected;
            if (def.loadRule == LoadRule::Text && def.writeRule == WriteRule::T)
                expected = was + std::string(std::size_t(def.width) - was.size(), ' ');
            else if (def.loadRule == LoadRule::Text && def.writeRule == WriteRule::H)
                expected = was;
            else if (def.kind == Kind::Integer)
                expected = was;
            else if (def.kind == Kind::Number && !was.starts_with('-') &&
                     (def.loadRule != LoadRule::Whole0 ||
                      was.find_first_not_of("0123456789") == npos))
                expected = was;
            if (expected) FUZZ_CHECK(is == *expected, where(row, f, was, is));
        }
    }

    // Some line of the first five with 104 ";" would make it look like the
    // other form.
    const std::vector<std::string_view> lines =
        writtenLines(std::string_view(written.constData(), std::size_t(written.size())));
    bool looksPositional = !lines.empty();
    for (std::size_t i = 0; i < lines.size() && i < 5; ++i)
        looksPositional =
            looksPositional && std::count(lines[i].begin(), lines[i].end(), ';') < kFieldCount - 1;
    if (looksPositional)
        FUZZ_CHECK(guessForm(scratchFile("salida.txt")) == FileForm::Position,
                   QStringLiteral("a file written by position is not recognised as such"));

    QByteArray again;
    if (!writePosition(t2, scratchFile("salida2.txt"), sep, again)) return;
    RxMem t3;
    mustReload(scratchFile("salida2.txt"), FileForm::Position, t2, t3);
    for (int row = 0; row < t2.recordCount(); ++row) {
        const RecordView r2 = t2.recordAt(row), r3 = t3.recordAt(row);
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldDef& def = kFields[std::size_t(f)];
            const std::string was = fieldText(r2, f, sep);
            if ((isZeroFilled(def) && was.starts_with('-')) || isCutNumber(def, was, sep)) continue;
            const std::string is = fieldText(r3, f, sep);
            // "00", what such a field gets for columns that are no whole
            // number, is the number 0 once written.
            if (def.loadRule == LoadRule::Whole00 && was == "00" && is == "0") continue;
            FUZZ_CHECK(is == was, where(row, f, was, is));
        }
    }
}

void checkWith(std::string_view input, FileForm form, char sep) {
    numtext::setDecimalSeparator(sep);
    const QString in = scratchFile("entrada.txt");
    writeFile(in, input);
    RxMem t1;
    try {
        loadDeclaration(in, form, t1);
    } catch (const Error& e) {
        FUZZ_CHECK(!t1.isActive() && t1.isEmpty(),
                   QStringLiteral("a failed load left %1 lines").arg(t1.recordCount()));
        // The message names the file and quotes at most a short excerpt.
        FUZZ_CHECK(!e.message().isEmpty() && e.message().size() <= 400 + in.size(), e.message());
        return;
    }
    const std::vector<std::string> lines = linesOf(input);
    FUZZ_CHECK(
        t1.isActive() && t1.recordCount() == int(lines.size()),
        QStringLiteral("%1 lines in the file, %2 loaded").arg(lines.size()).arg(t1.recordCount()));
    FUZZ_CHECK(!t1.canUndo() && !t1.hasUnsavedChanges(),
               QStringLiteral("the loaded lines are not the saved state"));
    checkFreeTexts(t1, lines, form);
    separatorRoundTrip(t1, sep);
    positionRoundTrip(t1, sep);
}

} // namespace

void checkDeclaration(std::string_view input, FileForm form) {
    // The decimal separator the file uses more; each load of a file costs
    // fresh megabytes under AddressSanitizer, so one separator per input.
    const auto periods = std::count(input.begin(), input.end(), '.');
    checkWith(input, form, periods > std::count(input.begin(), input.end(), ',') ? '.' : ',');
}

} // namespace fuzz
