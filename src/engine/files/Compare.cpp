#include "Compare.h"

#include "engine/codes/CodeNames.h"
#include "engine/model/Record.h"
#include "engine/model/RxMem.h"
#include "engine/util/CodePage.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>

namespace solvanta {

namespace {

// Where a line stands for matching: its worker, its type and which of the
// lines of both it is.
struct Keyed {
    double rut;
    std::string type;
    int occurrence;
    int row;
    bool operator<(const Keyed& o) const {
        return std::tie(rut, type, occurrence) < std::tie(o.rut, o.type, o.occurrence);
    }
    bool sameLine(const Keyed& o) const {
        return rut == o.rut && type == o.type && occurrence == o.occurrence;
    }
};

std::vector<Keyed> keyed(const RxMem& table) {
    std::vector<Keyed> out;
    out.reserve(std::size_t(table.recordCount()));
    const int type = fieldIndex(Field::TipoLinea);
    const FieldSlot rut = recordLayout().fieldSlots[std::size_t(fieldIndex(Field::Rut))];
    for (int r = 0; r < table.recordCount(); ++r) {
        const std::byte* line = table.recordAt(r).data();
        out.push_back(
            {slot::hasValue(line, rut) ? slot::number(line, rut) : -1,
             summaryCodeKey(type, slot::text(line, recordLayout().fieldSlots[std::size_t(type)])),
             r, r});
    }
    // In file order within a worker and type, the lines are his first,
    // second... of that type.
    std::sort(out.begin(), out.end());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i].occurrence = i > 0 && out[i].rut == out[i - 1].rut && out[i].type == out[i - 1].type
                                ? out[i - 1].occurrence + 1
                                : 0;
    return out;
}

// The amount fields, with their places in a line.
const std::vector<std::pair<int, FieldSlot>>& comparedFields() {
    static const std::vector<std::pair<int, FieldSlot>> fields = [] {
        std::vector<std::pair<int, FieldSlot>> out;
        for (int f = 0; f < kFieldCount; ++f)
            if (comparedField(f)) out.emplace_back(f, recordLayout().fieldSlots[std::size_t(f)]);
        return out;
    }();
    return fields;
}

double cents(double v) {
    return std::round(v * 100) / 100;
}

// The amounts of one line against another's (nullptr: none, every amount 0).
LineDifference differ(const RecordView* before, const RecordView* after) {
    LineDifference d;
    const auto value = [](const RecordView* line, const FieldSlot& s) {
        return line && slot::hasValue(line->data(), s) ? slot::number(line->data(), s) : 0;
    };
    for (const auto& [f, place] : comparedFields()) {
        const double x = value(before, place), y = value(after, place);
        if (x == y) continue; // most amounts: no rounding needed to see it
        const double a = cents(x), b = cents(y);
        if (a == b) continue;
        d.changes.push_back({f, a, b});
        d.size = std::max(d.size, std::fabs(b - a));
    }
    return d;
}

} // namespace

QString differenceKind(LineDifference::Kind k) {
    switch (k) {
    case LineDifference::Kind::New:
        return QStringLiteral("Nueva");
    case LineDifference::Kind::Gone:
        return QStringLiteral("Ya no está");
    case LineDifference::Kind::Changed:
        return QStringLiteral("Cambió");
    }
    return {};
}

namespace {

QString lineNumber(const LineDifference& d) {
    return d.afterRow >= 0 ? summaryCount(d.afterRow + 1)
                           : QStringLiteral("%1 (anterior)").arg(summaryCount(d.beforeRow + 1));
}

const RxMem& tableOf(const LineDifference& d, const RxMem& before, const RxMem& after) {
    return d.afterRow >= 0 ? after : before;
}

QString groupRowLabel(const SummaryRow& r) {
    QStringList parts;
    for (const QString& p : {r.code, r.name, r.secondCode, r.secondName})
        if (!p.isEmpty()) parts << p;
    return parts.isEmpty() ? QStringLiteral("Total") : parts.join(u' ');
}

QString csvNumber(double v) {
    char buf[numtext::kMaxNumberText];
    return QString::fromLatin1(buf, numtext::format(cents(v), numtext::decimalSeparator(), buf));
}

} // namespace

bool comparedField(int field) {
    return kFields[std::size_t(field)].value == Value::Amount;
}

Comparison compareTables(const RxMem& before, const RxMem& after, const CodeNames& names) {
    Comparison c;
    const std::vector<Keyed> a = keyed(before), b = keyed(after);
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i] < b[j])) {
            const RecordView line = before.recordAt(a[i].row);
            LineDifference d = differ(&line, nullptr);
            d.kind = LineDifference::Kind::Gone;
            d.beforeRow = a[i++].row;
            c.lines.push_back(std::move(d));
        } else if (i == a.size() || b[j] < a[i]) {
            const RecordView line = after.recordAt(b[j].row);
            LineDifference d = differ(nullptr, &line);
            d.kind = LineDifference::Kind::New;
            d.afterRow = b[j++].row;
            c.lines.push_back(std::move(d));
        } else {
            const RecordView x = before.recordAt(a[i].row), y = after.recordAt(b[j].row);
            LineDifference d = differ(&x, &y);
            ++c.matched;
            if (!d.changes.empty()) {
                d.kind = LineDifference::Kind::Changed;
                d.beforeRow = a[i].row;
                d.afterRow = b[j].row;
                c.lines.push_back(std::move(d));
            }
            ++i;
            ++j;
        }
    }
    std::stable_sort(
        c.lines.begin(), c.lines.end(),
        [](const LineDifference& x, const LineDifference& y) { return x.size > y.size; });
    c.before = summarize(before, names);
    c.after = summarize(after, names);
    return c;
}

QString comparedWorker(const RxMem& table, int row) {
    const RecordView line = table.recordAt(row);
    const auto text = [&](Field f) {
        return cp1252::decode(line.textBytes(fieldIndex(f))).trimmed();
    };
    const QString rut = shownRut(table.textAt(row, fieldIndex(Field::Rut)), text(Field::Dv));
    QStringList name;
    for (const Field f : {Field::ApePat, Field::ApeMat, Field::Nombres})
        if (const QString t = text(f); !t.isEmpty()) name << t;
    return (rut.isEmpty() ? QStringLiteral("sin RUT") : rut) + u' ' + name.join(u' ');
}

QString changePercent(double before, double after) {
    if (before == 0) return QStringLiteral("nuevo");
    static const QLocale chile(QLocale::Spanish, QLocale::Chile);
    const double p = (after - before) / std::fabs(before) * 100;
    const double shown = std::round(p * 10) / 10;
    return (shown > 0 ? QStringLiteral("+") : QString()) +
           chile.toString(shown, 'f', shown == std::trunc(shown) ? 0 : 1) + QStringLiteral(" %");
}

std::vector<TotalChange> totalChanges(const Comparison& c) {
    std::vector<TotalChange> out;
    for (std::size_t g = 0; g < c.before.groups.size(); ++g) {
        const SummaryGroup& x = c.before.groups[g];
        const SummaryGroup& y = c.after.groups[g];
        if (x.fields.empty()) continue;
        // The rows of either, in the order of the later file, then the
        // earlier file's rows it no longer has.
        std::vector<std::pair<const SummaryRow*, const SummaryRow*>> rows;
        for (const SummaryRow& r : y.rows) {
            const auto it = std::find_if(x.rows.begin(), x.rows.end(),
                                         [&](const SummaryRow& o) { return o.key == r.key; });
            rows.emplace_back(it == x.rows.end() ? nullptr : &*it, &r);
        }
        for (const SummaryRow& r : x.rows)
            if (std::none_of(y.rows.begin(), y.rows.end(),
                             [&](const SummaryRow& o) { return o.key == r.key; }))
                rows.emplace_back(&r, nullptr);
        for (const auto& [p, q] : rows)
            for (std::size_t k = 0; k < x.fields.size(); ++k) {
                const double a = p ? p->totals[k] : 0, b = q ? q->totals[k] : 0;
                if (a == 0 && b == 0) continue;
                out.push_back({x.def, groupRowLabel(q ? *q : *p), x.fields[k], a, b});
            }
    }
    return out;
}

QString comparisonText(const Comparison& c, const RxMem& before, const RxMem& after,
                       const QString& beforeName, const QString& afterName) {
    int added = 0, gone = 0, changed = 0;
    for (const LineDifference& d : c.lines)
        (d.kind == LineDifference::Kind::New    ? added
         : d.kind == LineDifference::Kind::Gone ? gone
                                                : changed)++;
    QString out = QStringLiteral("Comparación de «%1» con «%2»\n").arg(afterName, beforeName);
    out += QStringLiteral("Líneas: %1 en «%2», %3 en «%4»; %5 en ambos.\n")
               .arg(summaryCount(c.before.lines), beforeName, summaryCount(c.after.lines),
                    afterName, summaryCount(c.matched));
    out += QStringLiteral("Nuevas: %1   Ya no están: %2   Con montos distintos: %3\n")
               .arg(summaryCount(added), summaryCount(gone), summaryCount(changed));
    if (!c.lines.empty()) {
        out += QStringLiteral("\nLíneas que cambiaron (la mayor diferencia primero)\n");
        std::vector<QStringList> rows{{QStringLiteral("Cambio"), QStringLiteral("Línea"),
                                       QStringLiteral("Trabajador"), QStringLiteral("Campo"),
                                       QStringLiteral("Anterior"), QStringLiteral("Nuevo"),
                                       QStringLiteral("Diferencia"), QStringLiteral("%")}};
        for (const LineDifference& d : c.lines) {
            const QString worker = comparedWorker(tableOf(d, before, after),
                                                  d.afterRow >= 0 ? d.afterRow : d.beforeRow);
            if (d.changes.empty())
                rows.push_back({differenceKind(d.kind), lineNumber(d), worker,
                                QStringLiteral("(sin montos)")});
            for (const AmountChange& ch : d.changes)
                rows.push_back({differenceKind(d.kind), lineNumber(d), worker, fieldTitle(ch.field),
                                summaryAmount(ch.before), summaryAmount(ch.after),
                                summaryAmount(ch.after - ch.before),
                                changePercent(ch.before, ch.after)});
        }
        out += textTable(rows, 4);
    }
    out += QStringLiteral("\nTotales por institución\n");
    std::vector<QStringList> rows{{QStringLiteral("Grupo"), QStringLiteral("Institución"),
                                   QStringLiteral("Campo"), QStringLiteral("Anterior"),
                                   QStringLiteral("Nuevo"), QStringLiteral("Diferencia")}};
    for (const TotalChange& s : totalChanges(c))
        rows.push_back({QString::fromUtf16(s.group->title), s.label, fieldTitle(s.field),
                        summaryAmount(s.before), summaryAmount(s.after),
                        summaryAmount(s.after - s.before)});
    out += textTable(rows, 3);
    return out;
}

QString comparisonCsv(const Comparison& c, const RxMem& before, const RxMem& after) {
    QString out = QStringLiteral("Sección;Cambio;Línea;Trabajador;Grupo;Institución;Campo;"
                                 "Anterior;Nuevo;Diferencia\n");
    for (const LineDifference& d : c.lines) {
        const QString head =
            QStringLiteral("Línea;%1;%2;%3;;")
                .arg(differenceKind(d.kind),
                     d.afterRow >= 0 ? QString::number(d.afterRow + 1)
                                     : QStringLiteral("-%1").arg(d.beforeRow + 1),
                     csvCell(comparedWorker(tableOf(d, before, after),
                                            d.afterRow >= 0 ? d.afterRow : d.beforeRow)));
        if (d.changes.empty()) out += head + QStringLiteral(";;;;\n");
        for (const AmountChange& ch : d.changes)
            out += head + u';' + csvCell(fieldTitle(ch.field)) + u';' + csvNumber(ch.before) +
                   u';' + csvNumber(ch.after) + u';' + csvNumber(ch.after - ch.before) + u'\n';
    }
    for (const TotalChange& s : totalChanges(c))
        out += QStringLiteral("Total;;;;%1;%2;%3;%4;%5;%6\n")
                   .arg(csvCell(QString::fromUtf16(s.group->title)), csvCell(s.label),
                        csvCell(fieldTitle(s.field)), csvNumber(s.before), csvNumber(s.after),
                        csvNumber(s.after - s.before));
    return out;
}

} // namespace solvanta
