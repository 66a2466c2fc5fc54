#include "LineChecks.h"

#include "DeclarationFile.h"
#include "model/Record.h"
#include "model/RxMem.h"
#include "util/CodePage.h"
#include "util/DateText.h"
#include "util/Errors.h"
#include "util/NumberText.h"
#include "util/StrUtil.h"

#include <QDate>
#include <algorithm>
#include <bitset>
#include <cmath>
#include <optional>

namespace solvanta {
namespace {

// ---- the rules -------------------------------------------------------------------

enum class Rule : unsigned char {
    Rut,       // the check character (this field) fits the RUT in `other`
    NotBlank,  // something besides blanks
    OneOf,     // one of `set` ('|' between; an empty member allows the empty value)
    Period,    // MMYYYY with a month from 01 to 12
    PeriodEnd, // a period, or 000000; not before the period in `other`
    Date,      // blank, or a real date; not before the date in `other`
    Code,      // in the code list of `set`, `width` characters wide
    Days,      // a whole number from 0 to 30
    AtMost13,  // a whole number not above 13, when it is one
};

struct RuleDef {
    const char* field;
    Rule rule;
    const char* set = nullptr;   // OneOf: the values; Code: the section
    const char* other = nullptr; // the field this one is compared with
    int width = 0;               // Code: how many characters form a code
    bool required = false;       // Rut and Code: empty is a problem
    const char16_t* problem = nullptr;
};

// clang-format off
const RuleDef kRules[] = {
    {"dv", Rule::Rut, nullptr, "rut", 0, true},
    {"dv_afi_volun", Rule::Rut, nullptr, "rut_afi_volun"},
    {"dv_pag_subs", Rule::Rut, nullptr, "rut_pag_subs"},
    {"ape_pat", Rule::NotBlank, nullptr, nullptr, 0, false, u"falta el apellido paterno."},
    {"nombres", Rule::NotBlank, nullptr, nullptr, 0, false, u"falta el nombre."},
    {"sexo", Rule::OneOf, "M|F", nullptr, 0, false, u"el sexo debe ser M o F."},
    {"nacion", Rule::OneOf, "0|1", nullptr, 0, false, u"la nacionalidad debe ser 0 (chilena) o 1 (extranjera)."},
    {"reg_previ", Rule::OneOf, "AFP|INP|SIP", nullptr, 0, false, u"el régimen previsional debe ser AFP, INP o SIP."},
    {"sub_trab_jov", Rule::OneOf, "S|N", nullptr, 0, false, u"el subsidio al trabajador joven debe ser S o N."},
    {"forma_pago_apvi", Rule::OneOf, "|0|1|2", nullptr, 0, false, u"la forma de pago del APVI debe estar vacía o ser 0, 1 o 2."},
    {"forma_pago_apvc", Rule::OneOf, "|0|1|2", nullptr, 0, false, u"la forma de pago del APVC debe estar vacía o ser 0, 1 o 2."},
    {"moneda_plan", Rule::OneOf, "|0|1|2", nullptr, 0, false, u"la moneda del plan debe estar vacía o ser 0, 1 o 2."},
    {"otros_desc_ccaf2", Rule::OneOf, "0|1|2", nullptr, 0, false, u"el tipo de jornada debe ser 0, 1 (completa) o 2 (parcial)."},
    {"remu_desde", Rule::Period},
    {"remu_hasta", Rule::PeriodEnd, nullptr, "remu_desde"},
    {"Fecha_Desde", Rule::Date},
    {"Fecha_Hasta", Rule::Date, nullptr, "Fecha_Desde"},
    {"per_desde_sust", Rule::Date},
    {"per_hasta_sust", Rule::Date, nullptr, "per_desde_sust"},
    {"fec_desde_volun", Rule::Date},
    {"fec_hasta_volun", Rule::Date, nullptr, "fec_desde_volun"},
    {"tipo_pago", Rule::Code, "TipoPago", nullptr, 2, true},
    {"tipo_trab", Rule::Code, "Tipo Trabajador", nullptr, 1, true},
    {"cod_mov", Rule::Code, "Movimiento Personal", nullptr, 1, true},
    {"Tramo_Fam", Rule::Code, "Tramo Familiar", nullptr, 0},
    {"nom_AFP", Rule::Code, "Nombre AFP", nullptr, 2},
    {"cod_ex_caja", Rule::Code, "Codigo Caja", nullptr, 4},
    {"cod_ex_caja_des", Rule::Code, "Codigo Caja", nullptr, 4},
    {"cod_inst_salud", Rule::Code, "Isapres", nullptr, 2},
    {"cod_CCAF", Rule::Code, "CCAF", nullptr, 2},
    {"cod_mutual", Rule::Code, "Mutual", nullptr, 2},
    {"inst_apvi", Rule::Code, "APV", nullptr, 3},
    {"inst_apvc", Rule::Code, "APV", nullptr, 3},
    {"tipo_linea", Rule::Code, "Tipo Linea", nullptr, 2},
    {"cod_afp_volun", Rule::Code, "Nombre AFP", nullptr, 2},
    {"cod_mov_per_volun", Rule::Code, "Movimiento Voluntario", nullptr, 2},
    {"dias_trab", Rule::Days},
    {"num_car_sim", Rule::AtMost13},
};
// clang-format on

// The voluntary affiliate's movement list always holds the code that ends
// the affiliation, as the record editor offers it.
constexpr int kEndOfAffiliation = 10;

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

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    return t;
}

std::optional<int> whole(std::string_view t) {
    return numtext::parseWhole(trimmed(t));
}

// MMYYYY as YYYYMM, or nothing.
std::optional<int> period(std::string_view t) {
    if (t.size() != 6) return std::nullopt;
    for (char c : t)
        if (c < '0' || c > '9') return std::nullopt;
    const int month = (t[0] - '0') * 10 + (t[1] - '0');
    if (month < 1 || month > 12) return std::nullopt;
    const int year =
        ((t[2] - '0') * 1000) + ((t[3] - '0') * 100) + ((t[4] - '0') * 10) + (t[5] - '0');
    return year * 100 + month;
}

// Where day, month and year stand in the program's date format.
struct DateLayout {
    int day = 0, month = 3, year = 6;
    char sep1 = '-', sep2 = '-';
    int sepAt1 = 2, sepAt2 = 5;
    DateLayout() {
        const QString f = datetext::format();
        if (f.size() != 10) return;
        day = int(f.indexOf(QLatin1String("dd")));
        month = int(f.indexOf(QLatin1String("MM")));
        year = int(f.indexOf(QLatin1String("yyyy")));
        int seen = 0;
        for (int i = 0; i < 10; ++i) {
            const QChar c = f[i];
            if (c == u'd' || c == u'M' || c == u'y') continue;
            (seen == 0 ? sepAt1 : sepAt2) = i;
            (seen == 0 ? sep1 : sep2) = char(c.toLatin1());
            ++seen;
        }
    }
    // The date as YYYYMMDD, or nothing.
    std::optional<int> read(std::string_view t) const {
        if (t.size() != 10 || t[std::size_t(sepAt1)] != sep1 || t[std::size_t(sepAt2)] != sep2)
            return std::nullopt;
        auto digits = [&](int at, int n) -> std::optional<int> {
            int v = 0;
            for (int i = 0; i < n; ++i) {
                const char c = t[std::size_t(at + i)];
                if (c < '0' || c > '9') return std::nullopt;
                v = v * 10 + (c - '0');
            }
            return v;
        };
        const auto d = digits(day, 2), m = digits(month, 2), y = digits(year, 4);
        if (!d || !m || !y || !QDate::isValid(*y, *m, *d)) return std::nullopt;
        return *y * 10000 + *m * 100 + *d;
    }
};

// What the position form would do with the field's text: nothing wrong, or
// the problem.
const char16_t* positionProblem(const FieldDef& f, std::string_view t) {
    const std::size_t columns = positionLength(f, t), width = std::size_t(f.width);
    if (columns == width) return nullptr;
    if (f.writeRule == WriteRule::D1 || f.writeRule == WriteRule::D2)
        return u"una fecha debe tener 10 caracteres, como 05-03-2025.";
    if (columns > width) return u"no cabe en sus %1 columnas del archivo por posición.";
    if (t.empty())
        return u"está vacío: en el archivo por posición correría todos los campos siguientes.";
    return u"tiene menos de %1 caracteres: en el archivo por posición correría todos los campos "
           u"siguientes.";
}

// What the position form would read back in place of the field's text when
// it would not read the text itself (the loader's fallback, "0" or "00");
// nothing when it reads back. Texts are laid out by the field's write rule
// (blanks dropped where it drops them) and read by its load rule.
const char* positionReadsBackAs(const FieldDef& def, std::string_view t, char sep) {
    if (def.loadRule == LoadRule::Text || def.loadRule == LoadRule::Integer) return nullptr;
    // Digits alone, as codes and counts usually are, always read back (a
    // whole number up to nine digits).
    const bool whole = def.loadRule != LoadRule::Decimal && def.loadRule != LoadRule::Rate &&
                       def.loadRule != LoadRule::Rut;
    if (!whole || t.size() <= 9) {
        std::size_t i = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        if (i == t.size()) return nullptr;
    }
    char piece[64];
    std::size_t n = 0;
    const bool dropBlanks = def.writeRule == WriteRule::Z || def.writeRule == WriteRule::B;
    for (const char c : t) {
        if (dropBlanks && c == ' ') continue;
        if (n == sizeof piece) return nullptr; // too wide for its columns, reported as such
        char x = c;
        if (def.loadRule == LoadRule::Rate && (c == '.' || c == ',')) x = sep;
        piece[n++] = x;
    }
    const std::string_view read(piece, n);
    if (read.find_first_not_of(' ') == std::string_view::npos) return nullptr; // no value
    switch (def.loadRule) {
    case LoadRule::Whole0:
        return numtext::parseWhole(read) ? nullptr : "0";
    case LoadRule::Whole00:
    case LoadRule::Whole2:
        return numtext::parseWhole(read) ? nullptr : "00";
    default:
        return numtext::parseDecimal(read, sep) ? nullptr : "0";
    }
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
    int sum = 0, factor = 2;
    for (auto it = rut.rbegin(); it != rut.rend(); ++it) {
        if (*it < '0' || *it > '9') return ValidaRut(cp1252::decode(rut) + cp1252::decode(check));
        sum += (*it - '0') * factor;
        factor = factor == 7 ? 2 : factor + 1;
    }
    const int v = 11 - sum % 11;
    const char expected = v == 10 ? 'K' : v == 11 ? '0' : char('0' + v);
    return check[0] == expected;
}

} // namespace

LineChecker::LineChecker(const CodeTableFile& codes) {
    QStringList sections;
    for (const RuleDef& r : kRules)
        if (r.rule == Rule::Code) sections << QString::fromLatin1(r.set);
    sections.removeDuplicates();
    codeTablePath_ = codes.path();
    codeTableIsUserCopy_ = codes.usesUserCopy();
    const CodeTableFile::Reading reading = codes.readChecked(sections);
    codeTableProblem_ = reading.problem;
    codeTablePartly_ = reading.partly;
    for (const RuleDef& r : kRules) {
        if (r.rule != Rule::Code) continue;
        CodeList& c = codes_[std::size_t(fieldOf(r.field))];
        const QStringList& entries = reading.lists[sections.indexOf(QString::fromLatin1(r.set))];
        c.checked = !entries.isEmpty();
        c.letters = r.width == 0;
        for (const QString& e : entries) {
            if (c.letters) {
                if (!e.isEmpty()) c.firstLetters.push_back(cp1252::fromUnicode(e[0].unicode()));
            } else if (const auto v = numtext::parseWhole(QStringView(e).left(r.width))) {
                c.numbers.push_back(*v);
            }
        }
        if (QLatin1String(r.field) == QLatin1String("cod_mov_per_volun") && c.checked)
            c.numbers.push_back(kEndOfAffiliation);
    }
}

void LineChecker::check(const RecordView& line, int lineNumber,
                        std::vector<LineProblem>& out) const {
    const std::size_t first = out.size();
    checkFields(line, lineNumber, out);
    // A line's problems in field order, as the grid shows the fields.
    std::stable_sort(out.begin() + std::ptrdiff_t(first), out.end(),
                     [](const LineProblem& a, const LineProblem& b) { return a.field < b.field; });
}

void LineChecker::checkFields(const RecordView& line, int lineNumber,
                              std::vector<LineProblem>& out) const {
    static const DateLayout dates; // the program's date format does not change while it runs
    char buf[numtext::kMaxNumberText];
    const char sep = numtext::decimalSeparator();
    std::bitset<kFieldCount> reported;
    auto text = [&](int f) { return line.textForm(f, sep, buf); };
    auto report = [&](int f, const QString& problem, unsigned char breaks = LineProblem::None) {
        if (reported[std::size_t(f)]) return;
        reported[std::size_t(f)] = true;
        char own[numtext::kMaxNumberText];
        const QString value = excerpt(cp1252::decode(line.textForm(f, sep, own).substr(0, 100)));
        out.push_back({lineNumber, f, problem, value, breaks});
    };

    // What would break a file form, field by field.
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldDef& def = kFields[std::size_t(f)];
        if (def.kind == Kind::Number && line.hasValue(f)) {
            const double v = line.number(f);
            if (v < 0) {
                report(f,
                       QStringLiteral("un monto negativo no cabe en el archivo por posición (se "
                                      "leería como 0)."),
                       LineProblem::Position);
                continue;
            }
            if (fitsSurely(v, def.width)) continue;
            if (!takesDecimals(def) && hasFraction(v)) {
                // Whole pesos: digits only. Read back as a whole number, the
                // position form would lose the value altogether.
                if (positionReadsBackAs(def, text(f), sep))
                    report(f,
                           QStringLiteral("tiene decimales: en el archivo por posición se "
                                          "leería como 0."),
                           LineProblem::Position);
                else
                    report(f, def.value == Value::Amount
                                  ? QStringLiteral("tiene decimales, y este campo lleva pesos "
                                                   "enteros.")
                                  : QStringLiteral("tiene decimales, y este campo lleva un "
                                                   "número entero."));
                continue;
            }
        }
        const std::string_view t = text(f);
        if (def.kind == Kind::Text)
            if (const char* back = positionReadsBackAs(def, t, sep)) {
                report(f,
                       QStringLiteral("no es un número: en el archivo por posición se leería "
                                      "como %1.")
                           .arg(QLatin1String(back)),
                       LineProblem::Position);
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
                report(
                    f,
                    QStringLiteral("el texto contiene un salto de línea, que partiría la línea."),
                    LineProblem::Position | LineProblem::Separator);
                continue;
            }
            if (semicolon) {
                report(f,
                       QStringLiteral("el texto contiene «;», que en un archivo por separador "
                                      "partiría el campo en dos."),
                       LineProblem::Separator);
                continue;
            }
        }
        if (const char16_t* p = positionProblem(def, t)) {
            QString problem = QString::fromUtf16(p);
            if (problem.contains(u"%1")) problem = problem.arg(def.width);
            report(f, problem, LineProblem::Position);
        }
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
            const std::string_view rut = trimmed(line.textForm(rutField, sep, rutBuf));
            const bool noRut = rut.empty() || rut == "0";
            if (noRut) {
                if (r.required) report(rutField, QStringLiteral("falta el RUT del trabajador."));
                if (r.required && trimmed(t).empty())
                    report(f, QStringLiteral("falta el dígito verificador del RUT."));
                break;
            }
            if (trimmed(t).empty()) {
                report(f, QStringLiteral("falta el dígito verificador del RUT."));
                break;
            }
            if (!rutFits(rut, trimmed(t)))
                report(f, QStringLiteral("el dígito verificador no corresponde al RUT %1.")
                              .arg(cp1252::decode(rut)));
            break;
        }
        case Rule::NotBlank:
            if (trimmed(t).empty()) report(f, QString::fromUtf16(r.problem));
            break;
        case Rule::OneOf: {
            const std::string_view v = trimmed(t);
            const std::string_view set(r.set);
            bool found = false;
            for (std::size_t at = 0; !found && at <= set.size();) {
                const std::size_t bar = std::min(set.find('|', at), set.size());
                found = set.substr(at, bar - at) == v;
                at = bar + 1;
            }
            if (!found) report(f, QString::fromUtf16(r.problem));
            break;
        }
        case Rule::Period:
            if (!period(t))
                report(f, QStringLiteral("el período debe ser el mes (01 a 12) y el año, MMAAAA."));
            break;
        case Rule::PeriodEnd: {
            if (t == "000000") break;
            const auto end = period(t);
            if (!end) {
                report(f, QStringLiteral("el período debe ser el mes (01 a 12) y el año, MMAAAA, o "
                                         "000000."));
                break;
            }
            char startBuf[numtext::kMaxNumberText];
            const auto start = period(line.textForm(other, sep, startBuf));
            if (start && *end < *start)
                report(f, QStringLiteral("el período Hasta es anterior al período Desde."));
            break;
        }
        case Rule::Date: {
            if (trimmed(t).empty() || t == "0") break;
            const auto date = dates.read(t);
            if (!date) {
                report(f, QStringLiteral("no es una fecha válida (%1).")
                              .arg(datetext::format().toLower().replace(u'y', u'a')));
                break;
            }
            if (other < 0) break;
            char startBuf[numtext::kMaxNumberText];
            const auto start = dates.read(line.textForm(other, sep, startBuf));
            if (start && *date < *start)
                report(f, QStringLiteral("la fecha Hasta es anterior a la fecha Desde."));
            break;
        }
        case Rule::Code: {
            const std::string_view v = trimmed(t);
            if (v.empty()) {
                if (r.required) report(f, QStringLiteral("falta el código."));
                break;
            }
            const CodeList& c = codes_[std::size_t(f)];
            if (!c.checked) break;
            bool found;
            if (c.letters) {
                found = v.size() == 1 && c.firstLetters.find(v[0]) != std::string::npos;
            } else {
                const auto n = whole(v);
                found = n && std::find(c.numbers.begin(), c.numbers.end(), *n) != c.numbers.end();
            }
            if (!found)
                report(f, QStringLiteral(
                              "el código no está en la lista «%1» de las tablas de códigos.")
                              .arg(QString::fromLatin1(r.set)));
            break;
        }
        case Rule::Days: {
            const auto n = whole(t);
            if (!n || *n < 0 || *n > 30)
                report(f,
                       QStringLiteral("los días trabajados deben ser un número entero de 0 a 30."));
            break;
        }
        case Rule::AtMost13:
            if (const auto n = whole(t); n && *n > 13)
                report(f, QStringLiteral("las cargas simples no pueden ser más de 13."));
            break;
        }
    }
}

void LineChecker::checkRow(const RxMem& table, int row, std::vector<LineProblem>& out) const {
    const std::size_t first = out.size();
    const RecordView line = table.recordAt(row);
    check(line, row + 1, out);
    if (!table.hasNotes()) return;
    const std::vector<RxMem::CellNote> notes = table.notesOf(table.bookmarkAt(row));
    if (notes.empty()) return;
    for (const RxMem::CellNote& n : notes) {
        out.erase(std::remove_if(out.begin() + std::ptrdiff_t(first), out.end(),
                                 [&](const LineProblem& p) { return p.field == n.field; }),
                  out.end());
        out.push_back(
            {row + 1, n.field, n.problem, excerpt(line.text(n.field)), LineProblem::None});
    }
    std::stable_sort(out.begin() + std::ptrdiff_t(first), out.end(),
                     [](const LineProblem& a, const LineProblem& b) { return a.field < b.field; });
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
