#include "DeclarationRoundTrip.h"

#include "FuzzSupport.h"
#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <QDir>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace solvanta;

namespace fuzz {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The lines of a file as declaration files have them: UTF-8's byte-order
// mark at the start is skipped, Ctrl+Z ends the file, LF ends a line and CR
// is dropped; in a file without LF whose CRs end lines (more than one, or one
// at the end) CR, LF and CR LF end lines. Empty or blank lines at the end are
// left out. `dropped` tells whether anything but line ends followed a Ctrl+Z,
// `empties` how many lines were left out at the end.
std::vector<std::string> linesOf(std::string_view bytes, bool& dropped, int& empties) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    dropped = false;
    if (const std::size_t z = bytes.find('\x1a'); z != npos) {
        dropped = bytes.substr(z).find_first_not_of("\r\n\x1a") != npos;
        bytes = bytes.substr(0, z);
    }
    const auto crs = std::count(bytes.begin(), bytes.end(), '\r');
    const bool crEnds = bytes.find('\n') == npos && (crs > 1 || (crs == 1 && bytes.back() == '\r'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find_first_of(crEnds ? "\r\n" : "\n", start);
        std::string line(bytes.substr(start, end == npos ? npos : end - start));
        std::erase(line, '\r');
        lines.push_back(std::move(line));
        if (end == npos) break;
        start = end + 1;
        if (crEnds && bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n') ++start;
    }
    empties = 0;
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == npos) {
        lines.pop_back();
        ++empties;
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

// Whether the loader reads the field's text as it stands (blanks are no
// value, and a text field takes any text); otherwise it puts something else
// in its place, which it must report.
bool readsAsItStands(const FieldDef& def, std::string_view text, FileForm form, char sep) {
    if (text.find_first_not_of(' ') == npos) return true;
    if (form == FileForm::Separator) {
        if (def.sepRule != SepRule::Number && def.sepRule != SepRule::Rut) return true;
        return numtext::parseDecimal(text, sep).has_value();
    }
    switch (def.loadRule) {
    case LoadRule::Text:
    case LoadRule::Integer:
        return true;
    case LoadRule::Whole0:
    case LoadRule::Whole00:
    case LoadRule::Whole2:
        return numtext::parseWhole(text).has_value();
    case LoadRule::Rate: {
        std::string t(text);
        std::replace_if(t.begin(), t.end(), [](char c) { return c == '.' || c == ','; }, sep);
        return numtext::parseDecimal(t, sep).has_value();
    }
    case LoadRule::Decimal:
    case LoadRule::Rut:
        return numtext::parseDecimal(text, sep).has_value();
    }
    return true;
}

// Every line of the file is accounted for: loaded, or reported as left out;
// every value the loader did not read as it stood, every text beyond the
// last field and every field a line lacks is in the report, and also noted
// on its cell.
void checkAccounting(const RxMem& table, const LoadReport& report,
                     const std::vector<std::string>& lines, bool dropped, int empties,
                     FileForm form, char sep) {
    FUZZ_CHECK(report.lines == table.recordCount(),
               QStringLiteral("%1 lines loaded, the report says %2")
                   .arg(table.recordCount())
                   .arg(report.lines));
    const auto fileNote = [&](const char* words) {
        return std::any_of(report.notes.begin(), report.notes.end(), [&](const LoadNote& n) {
            return n.line == 0 && n.text.contains(QLatin1String(words));
        });
    };
    FUZZ_CHECK(!dropped || fileNote("(Ctrl+Z)"),
               QStringLiteral("what follows a Ctrl+Z was left out silently"));
    FUZZ_CHECK(empties == 0 || fileNote("vac"), QStringLiteral("empty lines left out silently"));
    std::vector<std::vector<const LoadNote*>> byLine(lines.size());
    for (const LoadNote& n : report.notes)
        if (n.line > 0) {
            FUZZ_CHECK(n.line <= qint64(lines.size()) && n.field >= 0 && n.field < kFieldCount,
                       QStringLiteral("a note outside the file: line %1, field %2")
                           .arg(n.line)
                           .arg(n.field));
            byLine[std::size_t(n.line - 1)].push_back(&n);
        }
    FUZZ_CHECK(qint64(report.notes.size()) == report.noteCount,
               QStringLiteral("notes left out of the report"));
    for (std::size_t row = 0; row < lines.size(); ++row) {
        const std::string_view line = lines[row];
        const auto noted = [&](int field) {
            return std::any_of(byLine[row].begin(), byLine[row].end(),
                               [&](const LoadNote* n) { return n->field == field; });
        };
        const auto cellNotes = table.notesOf(table.bookmarkAt(int(row)));
        FUZZ_CHECK(cellNotes.size() <= byLine[row].size(),
                   QStringLiteral("line %1 has cell notes the report lacks").arg(row + 1));
        if (form == FileForm::Position) {
            if (line.size() > std::size_t(kPositionLineLength) &&
                line.substr(std::size_t(kPositionLineLength)).find_first_not_of(' ') != npos)
                FUZZ_CHECK(noted(kFieldCount - 1),
                           QStringLiteral("line %1: its end was left out silently").arg(row + 1));
        } else {
            const auto semicolons = std::count(line.begin(), line.end(), ';');
            std::size_t after = 0;
            for (int i = 0; i < kFieldCount && after != npos; ++i)
                after = line.find(';', after) == npos ? npos : line.find(';', after) + 1;
            const bool extra = after != npos && line.substr(after).find_first_not_of(' ') != npos;
            FUZZ_CHECK((semicolons >= kFieldCount - 1 && !extra) || !byLine[row].empty(),
                       QStringLiteral("line %1 has %2 fields, silently")
                           .arg(row + 1)
                           .arg(semicolons + 1));
        }
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldDef& def = kFields[std::size_t(f)];
            const std::string_view text =
                form == FileForm::Position ? columns(line, def) : piece(line, f);
            if (!readsAsItStands(def, text, form, sep))
                FUZZ_CHECK(noted(f), QStringLiteral("line %1, field %2: «%3» replaced silently")
                                         .arg(row + 1)
                                         .arg(QString::fromUtf8(def.name), shown(text)));
        }
    }
}

void checkWith(std::string_view input, FileForm form, char sep) {
    numtext::setDecimalSeparator(sep);
    const QString in = scratchFile("entrada.txt");
    writeFile(in, input);
    RxMem t1;
    LoadReport report;
    try {
        LoadOptions options;
        options.keptNotes = std::size_t(-1);
        report = loadDeclaration(in, form, t1, nullptr, options);
    } catch (const Error& e) {
        FUZZ_CHECK(!t1.isActive() && t1.isEmpty(),
                   QStringLiteral("a failed load left %1 lines").arg(t1.recordCount()));
        // The message names the file and quotes at most a short excerpt.
        FUZZ_CHECK(!e.message().isEmpty() && e.message().size() <= 400 + in.size(), e.message());
        return;
    }
    bool dropped = false;
    int empties = 0;
    const std::vector<std::string> lines = linesOf(input, dropped, empties);
    FUZZ_CHECK(
        t1.isActive() && t1.recordCount() == int(lines.size()),
        QStringLiteral("%1 lines in the file, %2 loaded").arg(lines.size()).arg(t1.recordCount()));
    FUZZ_CHECK(!t1.canUndo() && !t1.hasUnsavedChanges(),
               QStringLiteral("the loaded lines are not the saved state"));
    checkFreeTexts(t1, lines, form);
    checkAccounting(t1, report, lines, dropped, empties, form, sep);
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
