#include "LineChecks.h"

#include "DeclarationFile.h"
#include "engine/codes/CodeLists.h"
#include "engine/model/FieldValues.h"
#include "engine/model/Record.h"
#include "engine/model/RxMem.h"
#include "engine/util/CodePage.h"
#include "engine/util/DateText.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/PeriodText.h"
#include "engine/util/StrUtil.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <optional>

namespace solvanta {
namespace {

// ---- the rules -------------------------------------------------------------------

enum class Rule : unsigned char {
    None,
    Rut,        // the check character (this field) fits the RUT in `other`
    NotBlank,   // something besides blanks
    OneOf,      // one of the field's allowed values (FieldValues)
    Period,     // MMYYYY with a month from 01 to 12
    PeriodEnd,  // a period, or 000000; not before the period in `other`
    Date,       // blank, or a real date; not before the date in `other`
    Days,       // a whole number in the field's range
    Dependants, // a whole number not above the field's range, when it is one
};

struct RuleDef {
    Field field;
    Rule rule;
    std::optional<Field> other{};      // the field this one is compared with
    bool required = false;             // Rut: empty is a problem
    const char16_t* problem = nullptr; // NotBlank: the rule's sentence
};

// The rules besides the allowed values, which every field with a set of them
// follows (FieldValues.cpp).
// clang-format off
const RuleDef kRules[] = {
    {Field::Dv, Rule::Rut, Field::Rut, true},
    {Field::DvAfiVolun, Rule::Rut, Field::RutAfiVolun},
    {Field::DvPagSubs, Rule::Rut, Field::RutPagSubs},
    {Field::ApePat, Rule::NotBlank, {}, false, u"falta el apellido paterno."},
    {Field::Nombres, Rule::NotBlank, {}, false, u"falta el nombre."},
    {Field::RemuDesde, Rule::Period},
    {Field::RemuHasta, Rule::PeriodEnd, Field::RemuDesde},
    {Field::FechaDesde, Rule::Date},
    {Field::FechaHasta, Rule::Date, Field::FechaDesde},
    {Field::PerDesdeSust, Rule::Date},
    {Field::PerHastaSust, Rule::Date, Field::PerDesdeSust},
    {Field::FecDesdeVolun, Rule::Date},
    {Field::FecHastaVolun, Rule::Date, Field::FecDesdeVolun},
    {Field::DiasTrab, Rule::Days},
    {Field::NumCarSim, Rule::Dependants},
};
// clang-format on

// The rule of one field (each field has one at most), with what it needs.
struct FieldRule {
    Rule rule = Rule::None;
    int other = -1;
    bool required = false;
    const char16_t* problem = nullptr; // the sentence of Finding::RuleSays
    const FieldValues* values = nullptr;
};

// The rule of each field, gathered once from the two tables.
const std::array<FieldRule, kFieldCount>& fieldRules() {
    static const std::array<FieldRule, kFieldCount> rules = [] {
        std::array<FieldRule, kFieldCount> a{};
        for (const RuleDef& r : kRules)
            a[std::size_t(fieldIndex(r.field))] = {r.rule, r.other ? fieldIndex(*r.other) : -1,
                                                   r.required, r.problem, valuesOf(r.field)};
        for (const FieldValues& v : fieldValues()) {
            if (v.allowed().empty()) continue;
            FieldRule& r = a[std::size_t(fieldIndex(v.field))];
            Q_ASSERT(r.rule == Rule::None);
            r = {Rule::OneOf, -1, false, v.problem, &v};
        }
        return a;
    }();
    return rules;
}

} // namespace

TextShape textShapeOf(int field) {
    switch (fieldRules()[std::size_t(field)].rule) {
    case Rule::Period:
    case Rule::PeriodEnd:
        return TextShape::Period;
    case Rule::Date:
        return TextShape::Date;
    default:
        return TextShape::Plain;
    }
}

namespace {

// The range of a field that Days or Dependants holds to it.
NumberRange rangeOf(int field) {
    const FieldValues* v = valuesOf(field);
    Q_ASSERT(v && v->range);
    return *v->range;
}

std::optional<int> whole(std::string_view t) {
    return numtext::parseWhole(trimBlanks(t));
}

// What the position form would do with the field's text: nothing wrong, or
// the problem.
std::optional<Finding::What> positionProblem(const FieldDef& f, std::string_view t) {
    const std::size_t columns = positionLength(f, t), width = std::size_t(f.width);
    if (columns == width) return std::nullopt;
    if (f.writeRule == WriteRule::D1 || f.writeRule == WriteRule::D2) return Finding::DateWidth;
    if (columns > width) return Finding::TooWide;
    if (t.empty()) return Finding::EmptyShifts;
    return Finding::TooShort;
}

// A number field's value that surely fits its zero-filled columns, without
// writing it as text.
bool fitsSurely(double v, int width) {
    static constexpr double kLimits[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    // (Below 10^15 a whole value survives the integer cast, which is much
    // cheaper than a call to floor for every number of every line.)
    return width < int(std::size(kLimits)) && v >= 0 && v < kLimits[width] &&
           double(std::int64_t(v)) == v;
}

bool hasFraction(double v) {
    return std::isfinite(v) && v != std::trunc(v);
}

// The RUT check on plain digits without making texts; anything else goes
// through the helper the record editor uses.
bool rutFits(std::string_view rut, std::string_view check) {
    if (check.size() != 1 || rut.empty() || rut.size() > 12) return false;
    if (const char expected = rutCheckCharacter(rut)) return check[0] == expected;
    return ValidaRut(cp1252::decode(rut) + cp1252::decode(check));
}

struct WhatDef {
    unsigned char breaks;
    const char16_t* text; // %1 as `spell` fills it in, where there is one
};

// What each finding says, and the forms it breaks.
constexpr unsigned char kPos = LineProblem::Position, kSep = LineProblem::Separator;
// clang-format off
const WhatDef kWhat[] = {
    {kPos, u"un monto negativo no cabe en el archivo por posición (se leería como 0)."},
    {kPos, u"tiene decimales: en el archivo por posición se leería como 0."},
    {0, u"tiene decimales, y este campo lleva pesos enteros."},
    {0, u"tiene decimales, y este campo lleva un número entero."},
    {kPos, u"no es un número: en el archivo por posición se leería como 0."},
    {kPos, u"no es un número: en el archivo por posición se leería como 00."},
    {kPos | kSep, u"el texto contiene un salto de línea, que partiría la línea."},
    {kSep, u"el texto contiene «;», que en un archivo por separador partiría el campo en dos."},
    {kPos, u"una fecha debe tener 10 caracteres, como 05-03-2025."},
    {kPos, u"no cabe en sus %1 columnas del archivo por posición."},
    {kPos, u"está vacío: en el archivo por posición correría todos los campos siguientes."},
    {kPos, u"tiene menos de %1 caracteres: en el archivo por posición correría todos los campos "
           u"siguientes."},
    {0, u"falta el RUT del trabajador."},
    {0, u"falta el dígito verificador del RUT."},
    {0, u"el dígito verificador no corresponde al RUT %1."},
    {0, nullptr}, // the rule's own sentence
    {0, u"el período debe ser el mes (01 a 12) y el año, MMAAAA."},
    {0, u"el período debe ser el mes (01 a 12) y el año, MMAAAA, o 000000."},
    {0, u"el período Hasta es anterior al período Desde."},
    {0, u"no es una fecha válida (%1)."},
    {0, u"la fecha Hasta es anterior a la fecha Desde."},
    {0, u"falta el código."},
    {0, u"el código no está en la lista «%1» de las tablas de códigos."},
    {0, u"los días trabajados deben ser un número entero de %1 a %2."},
    {0, u"las cargas simples no pueden ser más de %1."},
    {0, nullptr}, // the note's own sentence
};
// clang-format on
static_assert(std::size(kWhat) == Finding::WhatCount);

} // namespace

unsigned char Finding::breaks() const {
    return what < WhatCount ? kWhat[what].breaks : static_cast<unsigned char>(LineProblem::None);
}

LineChecker::LineChecker(const CodeTableFile& codes) {
    codeTablePath_ = codes.path();
    codeTableIsUserCopy_ = codes.usesUserCopy();
    const CodeTableFile::Reading reading = codes.readChecked(codeListSections());
    codeTableProblem_ = reading.problem;
    codeTablePartly_ = reading.partly;
    const std::span<const CodeListDef> lists = codeLists();
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const CodeListDef& l = lists[i];
        QStringList entries = reading.lists[qsizetype(i)];
        const bool checked = !entries.isEmpty();
        // An entry the record editor always offers is a code of the list.
        if (checked && l.fixedEntry) entries << QString::fromUtf16(l.fixedEntry);
        for (const std::optional<Field> field : l.fields) {
            if (!field) continue;
            CodeList& c = codes_[std::size_t(fieldIndex(*field))];
            c.list = int(i);
            c.checked = checked;
            c.letters = l.letters;
            for (const QString& e : entries) {
                if (c.letters) {
                    if (!e.isEmpty()) c.firstLetters.push_back(cp1252::fromUnicode(e[0].unicode()));
                } else if (const auto v = numtext::parseWhole(QStringView(e).left(l.width))) {
                    c.numbers.push_back(*v);
                }
            }
        }
    }
}

void LineChecker::check(const RecordView& line, int lineNumber,
                        std::vector<LineProblem>& out) const {
    thread_local std::vector<Finding> found;
    found.clear();
    find(line, found);
    for (const Finding f : found)
        out.push_back(spell(line, lineNumber, f));
}

void LineChecker::find(const RecordView& line, std::vector<Finding>& out) const {
    const std::size_t first = out.size();
    findFields(line, out);
    // A line's problems in field order, as the grid shows the fields (one
    // at most per field, so the order is the same however they were found).
    if (out.size() - first > 1)
        std::sort(out.begin() + std::ptrdiff_t(first), out.end(),
                  [](Finding a, Finding b) { return a.field < b.field; });
}

// One line as the checks go through it: each field's text, and the fields
// already reported (one finding at most a field).
struct LineChecker::Scan {
    Scan(const RecordView& l, std::vector<Finding>& o) : line(l), out(o) {}

    const RecordView& line;
    std::vector<Finding>& out;
    const char sep = numtext::decimalSeparator();
    char buf[numtext::kMaxNumberText];
    std::bitset<kFieldCount> reported;

    // The field's text, valid until the next call.
    std::string_view text(int f) { return line.textForm(f, sep, buf); }
    // Another field's text, in the caller's buffer.
    std::string_view text(int f, char (&other)[numtext::kMaxNumberText]) const {
        return line.textForm(f, sep, other);
    }
    void report(int f, Finding::What what) {
        if (reported[std::size_t(f)]) return;
        reported[std::size_t(f)] = true;
        out.push_back({static_cast<unsigned char>(f), what});
    }
};

namespace {

// The value of a number field: it surely fits its columns, or a finding was
// reported, or its text must still be looked at.
enum class NumberVerdict { Fits, Reported, LookAtText };

NumberVerdict checkNumber(LineChecker::Scan& s, int f, const FieldDef& def) {
    const double v = s.line.number(f);
    if (v < 0) {
        s.report(f, Finding::NegativeAmount);
        return NumberVerdict::Reported;
    }
    if (fitsSurely(v, def.width)) return NumberVerdict::Fits;
    if (!takesDecimals(def) && hasFraction(v)) {
        // Whole pesos: digits only. Read back as a whole number, the
        // position form would lose the value altogether.
        if (positionReadsBackAs(def, s.text(f), s.sep))
            s.report(f, Finding::DecimalsReadAsZero);
        else
            s.report(f, def.value == Value::Amount ? Finding::DecimalsInPesos
                                                   : Finding::DecimalsInWhole);
        return NumberVerdict::Reported;
    }
    return NumberVerdict::LookAtText;
}

// A text field's characters that break a form, or what the position form
// would read back instead of it; whether one was reported.
bool checkTextCharacters(LineChecker::Scan& s, int f, const FieldDef& def, std::string_view t) {
    if (const char* back = positionReadsBackAs(def, t, s.sep)) {
        s.report(f, back[1] ? Finding::ReadAs00 : Finding::ReadAs0);
        return true;
    }
    // One pass for the characters that break a form.
    bool lineBreak = false, semicolon = false;
    for (const char c : t) {
        lineBreak |= c == '\r' || c == '\n';
        semicolon |= c == ';';
    }
    if (lineBreak)
        s.report(f, Finding::LineBreak);
    else if (semicolon)
        s.report(f, Finding::Semicolon);
    return lineBreak || semicolon;
}

// What would break a file form, field by field.
void checkForms(LineChecker::Scan& s) {
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldDef& def = kFields[std::size_t(f)];
        if (def.kind == Kind::Number && s.line.hasValue(f)) {
            if (checkNumber(s, f, def) != NumberVerdict::LookAtText) continue;
        }
        const std::string_view t = s.text(f);
        if (def.kind == Kind::Text && checkTextCharacters(s, f, def, t)) continue;
        if (const auto p = positionProblem(def, t)) s.report(f, *p);
    }
}

void checkRut(LineChecker::Scan& s, int f, const FieldRule& r, std::string_view t) {
    const int rutField = r.other;
    char rutBuf[numtext::kMaxNumberText];
    const std::string_view rut = trimBlanks(s.text(rutField, rutBuf));
    const bool noRut = rut.empty() || rut == "0";
    if (noRut) {
        if (r.required) s.report(rutField, Finding::RutMissing);
        if (r.required && trimBlanks(t).empty()) s.report(f, Finding::CheckMissing);
        return;
    }
    if (trimBlanks(t).empty()) {
        s.report(f, Finding::CheckMissing);
        return;
    }
    if (!rutFits(rut, trimBlanks(t))) s.report(f, Finding::CheckWrong);
}

void checkPeriodEnd(LineChecker::Scan& s, int f, const FieldRule& r, std::string_view t) {
    if (t == "000000") return;
    const auto end = periodtext::read(t);
    if (!end) {
        s.report(f, Finding::BadPeriodEnd);
        return;
    }
    char startBuf[numtext::kMaxNumberText];
    const auto start = periodtext::read(s.text(r.other, startBuf));
    if (start && *end < *start) s.report(f, Finding::PeriodEndBefore);
}

void checkDate(LineChecker::Scan& s, int f, const FieldRule& r, std::string_view t) {
    // The program's date format does not change while it runs.
    static const datetext::ExactReader dates;
    if (trimBlanks(t).empty() || t == "0") return;
    const auto date = dates.read(t);
    if (!date) {
        s.report(f, Finding::BadDate);
        return;
    }
    if (r.other < 0) return;
    char startBuf[numtext::kMaxNumberText];
    const auto start = dates.read(s.text(r.other, startBuf));
    if (start && *date < *start) s.report(f, Finding::DateEndBefore);
}

// The meaning of the values, by the rule of each field.
void checkRules(LineChecker::Scan& s) {
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldRule& r = fieldRules()[std::size_t(f)];
        if (r.rule == Rule::None) continue;
        // A check character already reported may still leave its RUT to report.
        if (s.reported[std::size_t(f)] && r.rule != Rule::Rut) continue;
        const std::string_view t = s.text(f);
        switch (r.rule) {
        case Rule::None:
            break;
        case Rule::Rut:
            checkRut(s, f, r, t);
            break;
        case Rule::NotBlank:
            if (trimBlanks(t).empty()) s.report(f, Finding::RuleSays);
            break;
        case Rule::OneOf:
            if (!r.values->allows(trimBlanks(t))) s.report(f, Finding::RuleSays);
            break;
        case Rule::Period:
            if (!periodtext::read(t)) s.report(f, Finding::BadPeriod);
            break;
        case Rule::PeriodEnd:
            checkPeriodEnd(s, f, r, t);
            break;
        case Rule::Date:
            checkDate(s, f, r, t);
            break;
        case Rule::Days: {
            const auto n = whole(t);
            const NumberRange days = rangeOf(f);
            if (!n || *n < days.minimum || *n > days.maximum) s.report(f, Finding::BadDays);
            break;
        }
        case Rule::Dependants:
            if (const auto n = whole(t); n && *n > rangeOf(f).maximum)
                s.report(f, Finding::TooManyDependants);
            break;
        }
    }
}

} // namespace

// The codes of the code-table file.
void LineChecker::checkCodes(Scan& s) const {
    for (int f = 0; f < kFieldCount; ++f) {
        const CodeList& c = codes_[std::size_t(f)];
        if (c.list < 0 || s.reported[std::size_t(f)]) continue;
        const std::string_view v = trimBlanks(s.text(f));
        if (v.empty()) {
            if (codeLists()[std::size_t(c.list)].required) s.report(f, Finding::CodeMissing);
            continue;
        }
        if (!c.checked) continue;
        bool found;
        if (c.letters) {
            found = v.size() == 1 && c.firstLetters.find(v[0]) != std::string::npos;
        } else {
            const auto n = whole(v);
            found = n && std::find(c.numbers.begin(), c.numbers.end(), *n) != c.numbers.end();
        }
        if (!found) s.report(f, Finding::CodeNotListed);
    }
}

void LineChecker::findFields(const RecordView& line, std::vector<Finding>& out) const {
    Scan s{line, out};
    checkForms(s);
    checkRules(s);
    checkCodes(s);
}

LineProblem LineChecker::spell(const RecordView& line, int lineNumber, Finding found) {
    const int f = found.field;
    const char sep = numtext::decimalSeparator();
    char buf[numtext::kMaxNumberText];
    LineProblem p;
    p.line = lineNumber;
    p.field = f;
    p.breaks = found.breaks();
    p.value = excerpt(cp1252::decode(line.textForm(f, sep, buf).substr(0, 100)));
    if (found.what >= Finding::WhatCount) return p;
    const FieldRule& rule = fieldRules()[std::size_t(f)];
    const char16_t* text = kWhat[found.what].text;
    if (found.what == Finding::RuleSays) text = rule.problem;
    if (!text) return p;
    p.problem = QString::fromUtf16(text);
    switch (found.what) {
    case Finding::TooWide:
    case Finding::TooShort:
        p.problem = p.problem.arg(kFields[std::size_t(f)].width);
        break;
    case Finding::CheckWrong:
        if (rule.other >= 0) {
            char rutBuf[numtext::kMaxNumberText];
            const int rutField = rule.other;
            p.problem =
                p.problem.arg(cp1252::decode(trimBlanks(line.textForm(rutField, sep, rutBuf))));
        }
        break;
    case Finding::BadDate:
        p.problem = p.problem.arg(datetext::format().toLower().replace(u'y', u'a'));
        break;
    case Finding::BadDays:
        p.problem = p.problem.arg(rangeOf(f).minimum).arg(rangeOf(f).maximum);
        break;
    case Finding::TooManyDependants:
        p.problem = p.problem.arg(rangeOf(f).maximum);
        break;
    case Finding::CodeNotListed:
        if (const int list = codeListOfField(f); list >= 0)
            p.problem = p.problem.arg(QString::fromLatin1(codeLists()[std::size_t(list)].section));
        break;
    default:
        break;
    }
    return p;
}

LineProblem LineChecker::spellRow(const RxMem& table, int row, Finding found) {
    const RecordView line = table.recordAt(row);
    if (found.what != Finding::Note) return spell(line, row + 1, found);
    LineProblem p{row + 1, found.field, QString(), excerpt(line.text(found.field)),
                  LineProblem::None};
    for (const RxMem::CellNote& n : table.notesOf(table.bookmarkAt(row)))
        if (n.field == found.field) p.problem = n.problem;
    return p;
}

void LineChecker::findRow(const RxMem& table, int row, std::vector<Finding>& out) const {
    const std::size_t first = out.size();
    find(table.recordAt(row), out);
    if (!table.hasNotes()) return;
    const std::vector<RxMem::CellNote> notes = table.notesOf(table.bookmarkAt(row));
    if (notes.empty()) return;
    // A note tells more than what the checks say of its field: it takes its place.
    for (const RxMem::CellNote& n : notes) {
        out.erase(std::remove_if(out.begin() + std::ptrdiff_t(first), out.end(),
                                 [&](Finding p) { return p.field == n.field; }),
                  out.end());
        out.push_back({static_cast<unsigned char>(n.field), Finding::Note});
    }
    std::stable_sort(out.begin() + std::ptrdiff_t(first), out.end(),
                     [](Finding a, Finding b) { return a.field < b.field; });
}

void LineChecker::checkRow(const RxMem& table, int row, std::vector<LineProblem>& out) const {
    thread_local std::vector<Finding> found;
    found.clear();
    findRow(table, row, found);
    for (const Finding f : found)
        out.push_back(spellRow(table, row, f));
}

std::vector<LineProblem> LineChecker::checkAll(const RxMem& table) const {
    std::vector<LineProblem> out;
    for (int r = 0; r < table.recordCount(); ++r)
        checkRow(table, r, out);
    return out;
}

QString LineChecker::describe(const LineProblem& p) {
    return QStringLiteral("línea %1, %2: %3 (valor «%4»)")
        .arg(p.line)
        .arg(fieldTitle(p.field), p.problem, p.value);
}

} // namespace solvanta
