#include "Summary.h"

#include "engine/codes/CodeLists.h"
#include "engine/codes/CodeNames.h"
#include "engine/model/Record.h"
#include "engine/model/RxMem.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <map>

namespace solvanta {

namespace {

using F = Field;

// clang-format off
constexpr SummaryGroupDef kGroups[] = {
    {u"Líneas por tipo de línea", F::TipoLinea, {}, {}, false, true},
    {u"Líneas por movimiento del personal", F::CodMov, {}, {}, false, true},
    {u"Fondos de pensiones (AFP)", F::NomAfp, {},
     {F::ImpoAfp, F::CotObliAfp, F::AporteSis, F::AhorroAfp, F::SustAfp, F::CotTrabPesado}, true,
     false, 4},
    {u"Ahorro previsional voluntario individual (APVI)", F::InstApvi, {},
     {F::CotizaApvi, F::CotDepConv}},
    {u"Ahorro previsional voluntario colectivo (APVC)", F::InstApvc, {},
     {F::CotizaApvc, F::CotEmpApvc}},
    {u"Salud: Fonasa", {}, {}, {F::RentaImpFonasa, F::CotizaFonasa}},
    {u"Salud: instituciones", F::CodInstSalud, {}, {F::ImpoIsapre, F::CotObliIsa, F::CotAdVol}},
    {u"Salud: cotización pactada, por moneda del plan", F::CodInstSalud, F::MonedaPlan,
     {F::CotPactada}},
    {u"Cajas de compensación (CCAF)", F::CodCcaf, {},
     {F::ImpoCcaf, F::CredPerCcaf, F::DescDental, F::DescLeassing, F::DescSegVida,
      F::OtrosDescCcaf, F::CotCcaf, F::DescCarFam, F::OtrosDescCcaf1}},
    {u"Mutuales de seguridad", F::CodMutual, {}, {F::ImpoMutual, F::CotizaMutual}},
    {u"Seguro de cesantía", {}, {}, {F::RentaImpoSc, F::AporteTrabSc, F::AporteEmpSc}},
    {u"Régimen antiguo (ex cajas)", {}, {},
     {F::CotInp, F::RentaImpDes, F::CotDesahucio, F::CotAccTrabInp, F::BoniLey,
      F::DescCargasFamInp}},
    {u"Asignación familiar", {}, {}, {F::AsigFam, F::AsigFamRet, F::ReintCargas}},
};
// clang-format on

bool allZeros(std::string_view s) {
    return s.find_first_not_of('0') == std::string_view::npos;
}

bool numbered(int field) {
    const int list = codeListOfField(field);
    return list >= 0 && !codeLists()[std::size_t(list)].letters;
}

// A code as a row's key: a numbered list's code by its number ("05" and
// "5" are one code), anything else as written.
void appendKey(std::string& key, bool numbered, std::string_view code) {
    code = trimBlanks(code);
    if (numbered && !code.empty() &&
        code.find_first_not_of("0123456789") == std::string_view::npos) {
        const std::size_t zeros = std::min(code.find_first_not_of('0'), code.size() - 1);
        code.remove_prefix(zeros);
    }
    key.append(code);
}

// A group's fields with their places in a line, looked up once: the
// summary reads them on every line.
struct GroupPlan {
    std::vector<FieldSlot> sums;
    std::optional<FieldSlot> by, thenBy;
    bool byNumbered = false, thenByNumbered = false;
};

const std::vector<GroupPlan>& plans() {
    static const std::vector<GroupPlan> out = [] {
        std::vector<GroupPlan> v;
        const auto& places = recordLayout().fieldSlots;
        for (const SummaryGroupDef& g : kGroups) {
            GroupPlan p;
            for (const std::optional<Field> f : g.sums)
                if (f) p.sums.push_back(places[std::size_t(fieldIndex(*f))]);
            if (g.by) {
                p.by = places[std::size_t(fieldIndex(*g.by))];
                p.byNumbered = numbered(fieldIndex(*g.by));
            }
            if (g.thenBy) {
                p.thenBy = places[std::size_t(fieldIndex(*g.thenBy))];
                p.thenByNumbered = numbered(fieldIndex(*g.thenBy));
            }
            v.push_back(std::move(p));
        }
        return v;
    }();
    return out;
}

double numberAt(const std::byte* line, const FieldSlot& s) {
    return slot::hasValue(line, s) ? slot::number(line, s) : 0;
}

// The key of the line's row in the group, into `key`; false when the line
// has no row there.
bool rowKey(const std::byte* line, const SummaryGroupDef& g, const GroupPlan& p, std::string& key) {
    key.clear();
    bool belongs = g.everyLine;
    for (const FieldSlot& f : p.sums)
        if (numberAt(line, f) != 0) belongs = true;
    if (p.by) {
        const std::string_view code = trimBlanks(slot::text(line, *p.by));
        if (!p.thenBy && !code.empty() && !allZeros(code)) belongs = true;
        if (!belongs) return false;
        appendKey(key, p.byNumbered, code);
        if (p.thenBy) {
            key.push_back('\t');
            appendKey(key, p.thenByNumbered, slot::text(line, *p.thenBy));
        }
    }
    return belongs;
}

// "042026" as "04/2026"; anything else as it is.
QString periodText(const std::string& p) {
    if (p.size() == 6 && p.find_first_not_of("0123456789") == std::string::npos)
        return QString::fromLatin1(p.substr(0, 2) + '/' + p.substr(2));
    return QString::fromLatin1(p);
}

// Months in time order: "MMYYYY" by year, then month.
std::string timeKey(const std::string& p) {
    return p.size() == 6 ? p.substr(2) + p.substr(0, 2) : p;
}

void nameRow(SummaryRow& row, const SummaryGroupDef& g, const CodeNames& names,
             std::string_view first, std::string_view second) {
    const auto name = [&](int field, std::string_view code, QString& shown, QString& called) {
        shown = names.shownCode(field, code);
        const CodeNames::Name n = names.nameOf(field, code);
        if (n.found == CodeNames::Found::Named) called = n.name;
        if (n.found == CodeNames::Found::Missing) {
            called = trimBlanks(code).empty() ? QStringLiteral("(vacío)")
                                              : QStringLiteral("(no está en la tabla de códigos)");
            row.missing = true;
        }
        if (trimBlanks(code).empty() && called.isEmpty()) called = QStringLiteral("(vacío)");
    };
    if (g.by) name(fieldIndex(*g.by), first, row.code, row.name);
    if (g.thenBy) name(fieldIndex(*g.thenBy), second, row.secondCode, row.secondName);
}

} // namespace

std::vector<std::size_t> SummaryGroup::shownSums() const {
    std::vector<std::size_t> out;
    for (std::size_t k = 0; k < fields.size(); ++k)
        if (k < def->whereHeldFrom || total.totals[k] != 0) out.push_back(k);
    return out;
}

std::string summaryCodeKey(int field, std::string_view code) {
    std::string key;
    appendKey(key, numbered(field), code);
    return key;
}

std::span<const SummaryGroupDef> summaryGroups() {
    return kGroups;
}

bool lineInRow(const RecordView& line, const SummaryGroupDef& group, const std::string& key) {
    std::string k;
    const std::size_t g = std::size_t(&group - kGroups);
    return g < std::size(kGroups) && rowKey(line.data(), group, plans()[g], k) && k == key;
}

Summary summarize(const RxMem& table, const CodeNames& names, const std::vector<int>* rows) {
    Summary s;
    s.lines = rows ? int(rows->size()) : table.recordCount();
    // A group has few rows: they are found by their key in a short list,
    // the last one found first.
    struct Building {
        std::vector<std::pair<std::string, std::size_t>> rowOf;
        std::size_t last = 0;
        std::vector<std::pair<std::size_t, double>> workers; // row, RUT
    };
    std::vector<Building> building(std::size(kGroups));
    for (const SummaryGroupDef& g : kGroups) {
        SummaryGroup group;
        group.def = &g;
        for (const std::optional<Field> f : g.sums)
            if (f) group.fields.push_back(fieldIndex(*f));
        group.total.totals.assign(group.fields.size(), 0);
        s.groups.push_back(std::move(group));
    }
    const std::vector<GroupPlan>& plan = plans();
    std::vector<double> workers;
    workers.reserve(std::size_t(s.lines));
    std::map<std::string, int> periods;
    std::string key;
    const FieldSlot rut = recordLayout().fieldSlots[std::size_t(fieldIndex(Field::Rut))];
    const FieldSlot from = recordLayout().fieldSlots[std::size_t(fieldIndex(Field::RemuDesde))];
    std::string_view lastPeriod;
    for (int i = 0; i < s.lines; ++i) {
        const RecordView view = table.recordAt(rows ? (*rows)[std::size_t(i)] : i);
        const std::byte* line = view.data();
        const double worker = slot::hasValue(line, rut) ? slot::number(line, rut) : -1;
        workers.push_back(worker);
        if (const std::string_view period = trimBlanks(slot::text(line, from));
            !period.empty() && period != lastPeriod) {
            ++periods[std::string(period)];
            lastPeriod = period;
        }
        for (std::size_t gi = 0; gi < std::size(kGroups); ++gi) {
            const SummaryGroupDef& g = kGroups[gi];
            const GroupPlan& p = plan[gi];
            if (!rowKey(line, g, p, key)) continue;
            SummaryGroup& group = s.groups[gi];
            Building& b = building[gi];
            std::size_t at = b.last;
            if (at >= b.rowOf.size() || b.rowOf[at].first != key) {
                at = 0;
                while (at < b.rowOf.size() && b.rowOf[at].first != key)
                    ++at;
                if (at == b.rowOf.size()) {
                    SummaryRow row;
                    row.key = key;
                    row.totals.assign(group.fields.size(), 0);
                    nameRow(row, g, names, p.by ? slot::text(line, *p.by) : "",
                            p.thenBy ? slot::text(line, *p.thenBy) : "");
                    group.rows.push_back(std::move(row));
                    b.rowOf.emplace_back(key, group.rows.size() - 1);
                }
                b.last = at;
            }
            const std::size_t r = b.rowOf[at].second;
            SummaryRow& row = group.rows[r];
            ++row.lines;
            ++group.total.lines;
            for (std::size_t k = 0; k < p.sums.size(); ++k) {
                const double v = numberAt(line, p.sums[k]);
                row.totals[k] += v;
                group.total.totals[k] += v;
            }
            if (g.workers) b.workers.emplace_back(r, worker);
        }
    }
    std::sort(workers.begin(), workers.end());
    s.workers = int(std::unique(workers.begin(), workers.end()) - workers.begin());
    for (std::size_t gi = 0; gi < s.groups.size(); ++gi) {
        SummaryGroup& group = s.groups[gi];
        if (group.def->workers) {
            // Distinct RUTs of each row, and of the group.
            auto& pairs = building[gi].workers;
            std::sort(pairs.begin(), pairs.end());
            pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
            for (const auto& [r, w] : pairs)
                ++group.rows[r].workers;
            std::vector<double> all;
            all.reserve(pairs.size());
            for (const auto& pw : pairs)
                all.push_back(pw.second);
            std::sort(all.begin(), all.end());
            group.total.workers = int(std::unique(all.begin(), all.end()) - all.begin());
        }
        // By code: numbered codes by number, others as text; empty last.
        std::sort(group.rows.begin(), group.rows.end(),
                  [](const SummaryRow& a, const SummaryRow& b) {
                      const auto order = [](const QString& c) {
                          bool number = false;
                          const qint64 v = c.toLongLong(&number);
                          return std::make_tuple(c.isEmpty(), !number, number ? v : 0, c);
                      };
                      return std::make_tuple(order(a.code), order(a.secondCode)) <
                             std::make_tuple(order(b.code), order(b.secondCode));
                  });
    }
    if (!periods.empty()) {
        std::vector<std::string> months;
        for (const auto& p : periods)
            months.push_back(p.first);
        std::sort(months.begin(), months.end(), [](const std::string& a, const std::string& b) {
            return timeKey(a) < timeKey(b);
        });
        s.period = months.size() == 1 ? periodText(months.front())
                                      : QStringLiteral("%1 a %2").arg(periodText(months.front()),
                                                                      periodText(months.back()));
    }
    return s;
}

QString summaryAmount(double value, bool decimals) {
    static const QLocale chile(QLocale::Spanish, QLocale::Chile);
    const double rounded = std::round(value * 100) / 100;
    return chile.toString(rounded, 'f', decimals || rounded != std::trunc(rounded) ? 2 : 0);
}

QString summaryCount(qint64 value) {
    static const QLocale chile(QLocale::Spanish, QLocale::Chile);
    return chile.toString(value);
}

QString summaryColumnTitle(int field) {
    return fieldTitle(field);
}

QString textTable(const std::vector<QStringList>& rows, int leftColumns) {
    std::vector<qsizetype> widths;
    for (const QStringList& r : rows)
        for (qsizetype c = 0; c < r.size(); ++c) {
            if (std::size_t(c) >= widths.size()) widths.push_back(0);
            widths[std::size_t(c)] = std::max(widths[std::size_t(c)], r[c].size());
        }
    QString out;
    for (const QStringList& r : rows) {
        QString line;
        for (qsizetype c = 0; c < r.size(); ++c) {
            if (c > 0) line += QStringLiteral("  ");
            const qsizetype w = widths[std::size_t(c)];
            line += c < leftColumns ? r[c].leftJustified(w) : r[c].rightJustified(w);
        }
        while (line.endsWith(u' '))
            line.chop(1);
        out += line + u'\n';
    }
    return out;
}

QString csvCell(QString t) {
    if (t.contains(u';') || t.contains(u'"'))
        t = u'"' + t.replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
    return t;
}

namespace {

QString rowLabel(const SummaryRow& row) {
    QString label = row.code;
    if (!row.name.isEmpty())
        label += (label.isEmpty() ? QString() : QStringLiteral(" ")) + row.name;
    return label;
}

QString secondLabel(const SummaryRow& row) {
    QString label = row.secondCode;
    if (!row.secondName.isEmpty())
        label += (label.isEmpty() ? QString() : QStringLiteral(" ")) + row.secondName;
    return label;
}

} // namespace

SummaryTable summaryTable(const SummaryGroup& g) {
    SummaryTable t;
    if (g.def->by) {
        t.heads << fieldTitle(fieldIndex(*g.def->by));
        ++t.leftColumns;
    }
    if (g.def->thenBy) {
        t.heads << fieldTitle(fieldIndex(*g.def->thenBy));
        ++t.leftColumns;
    }
    t.heads << QStringLiteral("Líneas");
    if (g.def->workers) t.heads << QStringLiteral("Trabajadores");
    const std::vector<std::size_t> shown = g.shownSums();
    for (const std::size_t k : shown)
        t.heads << summaryColumnTitle(g.fields[k]);
    const auto add = [&](const SummaryRow& r, bool total) {
        SummaryTableRow row;
        row.total = total;
        row.missing = r.missing && !total;
        if (g.def->by) row.cells << (total ? QStringLiteral("Total") : rowLabel(r));
        if (g.def->thenBy) row.cells << (total ? QString() : secondLabel(r));
        row.cells << summaryCount(r.lines);
        if (g.def->workers) row.cells << summaryCount(r.workers);
        for (const std::size_t k : shown)
            row.cells << summaryAmount(r.totals[k],
                                       takesDecimals(kFields[std::size_t(g.fields[k])]));
        t.rows.push_back(std::move(row));
    };
    for (const SummaryRow& r : g.rows)
        add(r, false);
    if (g.def->by && !g.def->thenBy && g.rows.size() > 1) add(g.total, true);
    return t;
}

QString summaryText(const Summary& s, const QString& fileName) {
    QString out = QStringLiteral("Resumen de «%1»\n").arg(fileName);
    if (!s.period.isEmpty()) out += QStringLiteral("Período: %1\n").arg(s.period);
    out += QStringLiteral("Líneas: %1   Trabajadores (RUT distintos): %2\n")
               .arg(summaryCount(s.lines), summaryCount(s.workers));
    for (const SummaryGroup& g : s.groups) {
        out += u'\n' + QString::fromUtf16(g.def->title) + u'\n';
        if (g.rows.empty()) {
            out += QStringLiteral("(ninguna línea)\n");
            continue;
        }
        const SummaryTable t = summaryTable(g);
        std::vector<QStringList> rows{t.heads};
        for (const SummaryTableRow& r : t.rows)
            rows.push_back(r.cells);
        out += textTable(rows, t.leftColumns);
    }
    return out;
}

QString summaryCsv(const Summary& s) {
    const auto number = [](double v) {
        char buf[numtext::kMaxNumberText];
        const int n = numtext::format(std::round(v * 100) / 100, numtext::decimalSeparator(), buf);
        return QString::fromLatin1(buf, n);
    };
    QString out = QStringLiteral("Grupo;Código;Nombre;Código 2;Nombre 2;Líneas;Trabajadores;"
                                 "Campo;Total\n");
    out += QStringLiteral("Archivo;;;;;%1;%2;;\n").arg(s.lines).arg(s.workers);
    for (const SummaryGroup& g : s.groups) {
        const QString title = csvCell(QString::fromUtf16(g.def->title));
        for (const SummaryRow& r : g.rows) {
            const QString head = QStringLiteral("%1;%2;%3;%4;%5;%6;%7")
                                     .arg(title, csvCell(r.code), csvCell(r.name),
                                          csvCell(r.secondCode), csvCell(r.secondName))
                                     .arg(r.lines)
                                     .arg(g.def->workers ? QString::number(r.workers) : QString());
            if (g.fields.empty()) out += head + QStringLiteral(";;\n");
            for (std::size_t k = 0; k < g.fields.size(); ++k)
                out += head + u';' + csvCell(fieldTitle(g.fields[k])) + u';' + number(r.totals[k]) +
                       u'\n';
        }
    }
    return out;
}

} // namespace solvanta
