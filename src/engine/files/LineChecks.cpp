#include "LineChecks.h"

#include "DeclarationFile.h"
#include "engine/codes/CodeLists.h"
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
    Rut,        // the check character (this field) fits the RUT in `other`
    NotBlank,   // something besides blanks
    OneOf,      // one of `set` ('|' between; an empty member allows the empty value)
    Period,     // MMYYYY with a month from 01 to 12
    PeriodEnd,  // a period, or 000000; not before the period in `other`
    Date,       // blank, or a real date; not before the date in `other`
    Days,       // a whole number from 0 to 30
    Dependants, // a whole number not above kMaxSimpleDependants, when it is one
};

struct RuleDef {
    const char* field;
    Rule rule;
    const char* set = nullptr;   // OneOf: the values
    const char* other = nullptr; // the field this one is compared with
    bool required = false;       // Rut: empty is a problem
    const char16_t* problem = nullptr;
};

// clang-format off
const RuleDef kRules[] = {
    {"dv", Rule::Rut, nullptr, "rut", true},
    {"dv_afi_volun", Rule::Rut, nullptr, "rut_afi_volun"},
    {"dv_pag_subs", Rule::Rut, nullptr, "rut_pag_subs"},
    {"ape_pat", Rule::NotBlank, nullptr, nullptr, false, u"falta el apellido paterno."},
    {"nombres", Rule::NotBlank, nullptr, nullptr, false, u"falta el nombre."},
    {"sexo", Rule::OneOf, "M|F", nullptr, false, u"el sexo debe ser M o F."},
    {"nacion", Rule::OneOf, "0|1", nullptr, false, u"la nacionalidad debe ser 0 (chilena) o 1 (extranjera)."},
    {"reg_previ", Rule::OneOf, "AFP|INP|SIP", nullptr, false, u"el régimen previsional debe ser AFP, INP o SIP."},
    {"sub_trab_jov", Rule::OneOf, "S|N", nullptr, false, u"el subsidio al trabajador joven debe ser S o N."},
    {"forma_pago_apvi", Rule::OneOf, "|0|1|2", nullptr, false, u"la forma de pago del APVI debe estar vacía o ser 0, 1 o 2."},
    {"forma_pago_apvc", Rule::OneOf, "|0|1|2", nullptr, false, u"la forma de pago del APVC debe estar vacía o ser 0, 1 o 2."},
    {"moneda_plan", Rule::OneOf, "|0|1|2", nullptr, false, u"la moneda del plan debe estar vacía o ser 0, 1 o 2."},
    {"otros_desc_ccaf2", Rule::OneOf, "0|1|2", nullptr, false, u"el tipo de jornada debe ser 0, 1 (completa) o 2 (parcial)."},
    {"remu_desde", Rule::Period},
    {"remu_hasta", Rule::PeriodEnd, nullptr, "remu_desde"},
    {"Fecha_Desde", Rule::Date},
    {"Fecha_Hasta", Rule::Date, nullptr, "Fecha_Desde"},
    {"per_desde_sust", Rule::Date},
    {"per_hasta_sust", Rule::Date, nullptr, "per_desde_sust"},
    {"fec_desde_volun", Rule::Date},
    {"fec_hasta_volun", Rule::Date, nullptr, "fec_desde_volun"},
    {"dias_trab", Rule::Days},
    {"num_car_sim", Rule::Dependants},
};
// clang-format on

int fieldOf(const char* name) {
    return findField(QString::fromLatin1(name));
}

// The fields of each rule, looked up once.
struct RuleFields {
    int field, other;
};
const std::vector<RuleFields>& ruleFields() {
    static const std::vector<RuleFields> fields = [] {
        std::vector<RuleFields> v;
        for (const RuleDef& r : kRules)
            v.push_back({fieldOf(r.field), r.other ? fieldOf(r.other) : -1});
        return v;
    }();
    return fields;
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

// The rule of each field (each field has one at most), or -1.
const std::array<int, kFieldCount>& ruleOfField() {
    static const std::array<int, kFieldCount> rules = [] {
        std::array<int, kFieldCount> a;
        a.fill(-1);
        for (std::size_t i = 0; i < std::size(kRules); ++i)
            a[std::size_t(ruleFields()[i].field)] = int(i);
        return a;
    }();
    return rules;
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
    {0, u"los días trabajados deben ser un número entero de 0 a 30."},
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
        for (const char* name : l.fields) {
            if (!name) continue;
            CodeList& c = codes_[std::size_t(fieldOf(name))];
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

void LineChecker::findFields(const RecordView& line, std::vector<Finding>& out) const {
    // The program's date format does not change while it runs.
    static const datetext::ExactReader dates;
    char buf[numtext::kMaxNumberText];
    const char sep = numtext::decimalSeparator();
    std::bitset<kFieldCount> reported;
    auto text = [&](int f) { return line.textForm(f, sep, buf); };
    auto report = [&](int f, Finding::What what) {
        if (reported[std::size_t(f)]) return;
        reported[std::size_t(f)] = true;
        out.push_back({static_cast<unsigned char>(f), what});
    };

    // What would break a file form, field by field.
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldDef& def = kFields[std::size_t(f)];
        if (def.kind == Kind::Number && line.hasValue(f)) {
            const double v = line.number(f);
            if (v < 0) {
                report(f, Finding::NegativeAmount);
                continue;
            }
            if (fitsSurely(v, def.width)) continue;
            if (!takesDecimals(def) && hasFraction(v)) {
                // Whole pesos: digits only. Read back as a whole number, the
                // position form would lose the value altogether.
                if (positionReadsBackAs(def, text(f), sep))
                    report(f, Finding::DecimalsReadAsZero);
                else
                    report(f, def.value == Value::Amount ? Finding::DecimalsInPesos
                                                         : Finding::DecimalsInWhole);
                continue;
            }
        }
        const std::string_view t = text(f);
        if (def.kind == Kind::Text)
            if (const char* back = positionReadsBackAs(def, t, sep)) {
                report(f, back[1] ? Finding::ReadAs00 : Finding::ReadAs0);
                continue;
            }
        if (def.kind == Kind::Text) {
            // One pass for the characters that break a form.
            bool lineBreak = false, semicolon = false;
            for (const char c : t) {
                lineBreak |= c == '\r' || c == '\n';
                semicolon |= c == ';';
            }
            if (lineBreak) {
                report(f, Finding::LineBreak);
                continue;
            }
            if (semicolon) {
                report(f, Finding::Semicolon);
                continue;
            }
        }
        if (const auto p = positionProblem(def, t)) report(f, *p);
    }

    // The meaning of the values.
    for (std::size_t i = 0; i < std::size(kRules); ++i) {
        const RuleDef& r = kRules[i];
        const int f = ruleFields()[i].field;
        const int other = ruleFields()[i].other;
        // A check character already reported may still leave its RUT to report.
        if (reported[std::size_t(f)] && r.rule != Rule::Rut) continue;
        const std::string_view t = text(f);
        switch (r.rule) {
        case Rule::Rut: {
            const int rutField = other;
            char rutBuf[numtext::kMaxNumberText];
            const std::string_view rut = trimBlanks(line.textForm(rutField, sep, rutBuf));
            const bool noRut = rut.empty() || rut == "0";
            if (noRut) {
                if (r.required) report(rutField, Finding::RutMissing);
                if (r.required && trimBlanks(t).empty()) report(f, Finding::CheckMissing);
                break;
            }
            if (trimBlanks(t).empty()) {
                report(f, Finding::CheckMissing);
                break;
            }
            if (!rutFits(rut, trimBlanks(t))) report(f, Finding::CheckWrong);
            break;
        }
        case Rule::NotBlank:
            if (trimBlanks(t).empty()) report(f, Finding::RuleSays);
            break;
        case Rule::OneOf: {
            const std::string_view v = trimBlanks(t);
            const std::string_view set(r.set);
            bool found = false;
            for (std::size_t at = 0; !found && at <= set.size();) {
                const std::size_t bar = std::min(set.find('|', at), set.size());
                found = set.substr(at, bar - at) == v;
                at = bar + 1;
            }
            if (!found) report(f, Finding::RuleSays);
            break;
        }
        case Rule::Period:
            if (!periodtext::read(t)) report(f, Finding::BadPeriod);
            break;
        case Rule::PeriodEnd: {
            if (t == "000000") break;
            const auto end = periodtext::read(t);
            if (!end) {
                report(f, Finding::BadPeriodEnd);
                break;
            }
            char startBuf[numtext::kMaxNumberText];
            const auto start = periodtext::read(line.textForm(other, sep, startBuf));
            if (start && *end < *start) report(f, Finding::PeriodEndBefore);
            break;
        }
        case Rule::Date: {
            if (trimBlanks(t).empty() || t == "0") break;
            const auto date = dates.read(t);
            if (!date) {
                report(f, Finding::BadDate);
                break;
            }
            if (other < 0) break;
            char startBuf[numtext::kMaxNumberText];
            const auto start = dates.read(line.textForm(other, sep, startBuf));
            if (start && *date < *start) report(f, Finding::DateEndBefore);
            break;
        }
        case Rule::Days: {
            const auto n = whole(t);
            if (!n || *n < 0 || *n > 30) report(f, Finding::BadDays);
            break;
        }
        case Rule::Dependants:
            if (const auto n = whole(t); n && *n > kMaxSimpleDependants)
                report(f, Finding::TooManyDependants);
            break;
        }
    }

    // The codes of the code-table file.
    for (int f = 0; f < kFieldCount; ++f) {
        const CodeList& c = codes_[std::size_t(f)];
        if (c.list < 0 || reported[std::size_t(f)]) continue;
        const std::string_view v = trimBlanks(text(f));
        if (v.empty()) {
            if (codeLists()[std::size_t(c.list)].required) report(f, Finding::CodeMissing);
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
        if (!found) report(f, Finding::CodeNotListed);
    }
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
    const int rule = ruleOfField()[std::size_t(f)];
    const char16_t* text = kWhat[found.what].text;
    if (found.what == Finding::RuleSays && rule >= 0) text = kRules[rule].problem;
    if (!text) return p;
    p.problem = QString::fromUtf16(text);
    switch (found.what) {
    case Finding::TooWide:
    case Finding::TooShort:
        p.problem = p.problem.arg(kFields[std::size_t(f)].width);
        break;
    case Finding::CheckWrong:
        if (rule >= 0) {
            char rutBuf[numtext::kMaxNumberText];
            const int rutField = ruleFields()[std::size_t(rule)].other;
            p.problem =
                p.problem.arg(cp1252::decode(trimBlanks(line.textForm(rutField, sep, rutBuf))));
        }
        break;
    case Finding::BadDate:
        p.problem = p.problem.arg(datetext::format().toLower().replace(u'y', u'a'));
        break;
    case Finding::TooManyDependants:
        p.problem = p.problem.arg(kMaxSimpleDependants);
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
