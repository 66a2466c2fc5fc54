// The file's totals by institution, against sums taken here from the
// file's own columns; and the comparison of two files, line by line.

#include "Generator.h"
#include "TestUtil.h"
#include "engine/codes/CodeNames.h"
#include "engine/files/Compare.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/Summary.h"
#include "engine/model/FieldTable.h"
#include "engine/model/Record.h"
#include "engine/model/RxMem.h"

#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <set>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

// Columns of the position form, 1-based, as the file's layout has them.
struct Columns {
    int from, width;
};

QByteArray columnsOf(const QByteArray& line, Columns c) {
    return line.mid(c.from - 1, c.width).trimmed();
}

// "05" and "5" are one code.
QByteArray codeKey(QByteArray code) {
    while (code.size() > 1 && code.startsWith('0'))
        code.remove(0, 1);
    return code;
}

const SummaryGroup& groupTitled(const Summary& s, const QString& start) {
    for (const SummaryGroup& g : s.groups)
        if (QString::fromUtf16(g.def->title).startsWith(start)) return g;
    qFatal("no group %s", qPrintable(start));
}

void setOn(RxMem& t, int row, const char* name, const QString& value) {
    t.moveTo(row);
    t.edit();
    t.setText(field(name), value);
    t.post();
}

} // namespace

class TestTotals : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;

    // A generated file written by position, and read back.
    QString generated(int lines, int seed, RxMem& table) {
        RxMem made;
        generateDeclaration(made, lines, seed);
        const QString path = tmp_.filePath(u"nomina-%1.txt"_s.arg(seed));
        writeDeclaration(path, FileForm::Position, made);
        loadDeclaration(path, FileForm::Position, table);
        return path;
    }

private slots:
    // Each total of a group's rows is the sum, over the file's lines, of the
    // amount's columns for that code, taken here from the bytes.
    void totalsAgreeWithTheFile_data() {
        QTest::addColumn<QString>("group");
        QTest::addColumn<int>("codeFrom"); // 0: no code, one row
        QTest::addColumn<int>("amountFrom");
        QTest::addColumn<QString>("amount");
        QTest::newRow("AFP, imponible") << u"Fondos de pensiones"_s << 173 << 175 << u"impo_afp"_s;
        QTest::newRow("AFP, cotización")
            << u"Fondos de pensiones"_s << 173 << 183 << u"cot_obli_afp"_s;
        QTest::newRow("salud") << u"Salud: instituciones"_s << 616 << 651 << u"cot_obli_isa"_s;
        QTest::newRow("CCAF") << u"Cajas de compensación"_s << 675 << 725 << u"cot_CCAF"_s;
        QTest::newRow("mutual") << u"Mutuales"_s << 785 << 795 << u"cotiza_mutual"_s;
        QTest::newRow("cesantía") << u"Seguro de cesantía"_s << 0 << 822 << u"aporte_emp_SC"_s;
        QTest::newRow("ex cajas") << u"Régimen antiguo"_s << 0 << 543 << u"cot_INP"_s;
    }

    void totalsAgreeWithTheFile() {
        QFETCH(QString, group);
        QFETCH(int, codeFrom);
        QFETCH(int, amountFrom);
        QFETCH(QString, amount);
        RxMem table;
        const QString path = generated(3000, 26, table);
        std::map<QByteArray, double> expected;
        std::set<QByteArray> workers;
        int lines = 0;
        for (const QByteArray& line : readAll(path).split('\n')) {
            if (line.trimmed().isEmpty()) continue;
            ++lines;
            workers.insert(columnsOf(line, {1, 11}).toLongLong() == 0
                               ? QByteArray()
                               : QByteArray::number(columnsOf(line, {1, 11}).toLongLong()));
            const QByteArray code = codeFrom ? codeKey(columnsOf(line, {codeFrom, 2})) : "";
            expected[code] += columnsOf(line, {amountFrom, 8}).toDouble();
        }
        const CodeNames names;
        const Summary s = summarize(table, names);
        QCOMPARE(s.lines, lines);
        QCOMPARE(s.workers, int(workers.size()));
        const SummaryGroup& g = groupTitled(s, group);
        const auto at =
            std::find(g.fields.begin(), g.fields.end(), field(amount.toLatin1().constData()));
        QVERIFY(at != g.fields.end());
        const std::size_t k = std::size_t(at - g.fields.begin());
        double all = 0;
        for (const auto& entry : expected) {
            const QByteArray& code = entry.first;
            const double total = entry.second;
            all += total;
            if (total == 0) continue;
            const auto row = std::find_if(g.rows.begin(), g.rows.end(), [&](const SummaryRow& r) {
                return r.key == code.toStdString();
            });
            QVERIFY2(row != g.rows.end(), code.constData());
            QCOMPARE(row->totals[k], total);
        }
        QCOMPARE(g.total.totals[k], all);
        QVERIFY(all > 0); // the generated file has these amounts
    }

    // A code the code table does not have is a row of its own, said so; a
    // row's lines are exactly those of its code; the plan's currencies are
    // never added together.
    void codesMissingAndCurrencies() {
        RxMem t;
        generated(40, 3, t);
        setOn(t, 5, "nom_AFP", u"77"_s);
        setOn(t, 5, "cot_obli_afp", u"12345"_s);
        setOn(t, 6, "cod_inst_salud", u"01"_s);
        setOn(t, 6, "moneda_plan", u"1"_s);
        setOn(t, 6, "cot_pactada", u"85000"_s);
        setOn(t, 7, "cod_inst_salud", u"01"_s);
        setOn(t, 7, "moneda_plan", u"2"_s);
        t.moveTo(7);
        t.edit();
        t.setNumber(field("cot_pactada"), 3.5); // in any locale
        t.post();
        const Summary s = summarize(t, CodeNames());
        const SummaryGroup& afp = groupTitled(s, u"Fondos de pensiones"_s);
        const auto missing = std::find_if(afp.rows.begin(), afp.rows.end(),
                                          [](const SummaryRow& r) { return r.code == u"77"_s; });
        QVERIFY(missing != afp.rows.end());
        QVERIFY(missing->missing);
        QCOMPARE(missing->name, u"(no está en la tabla de códigos)"_s);
        QCOMPARE(missing->lines, 1);
        QCOMPARE(missing->totals[1], 12345.0);
        for (int r = 0; r < t.recordCount(); ++r)
            QCOMPARE(lineInRow(t.recordAt(r), *afp.def, missing->key), r == 5);
        QVERIFY(summaryText(s, u"x"_s).contains(u"77 (no está en la tabla de códigos)"_s));

        const SummaryGroup& agreed = groupTitled(s, u"Salud: cotización pactada"_s);
        std::map<QString, double> byCurrency;
        for (const SummaryRow& r : agreed.rows)
            if (r.code == u"01"_s) byCurrency[r.secondName] += r.totals[0];
        QVERIFY(byCurrency.count(u"Pesos"_s) && byCurrency.count(u"UF"_s));
        QVERIFY(byCurrency[u"Pesos"_s] >= 85000);
        QVERIFY(std::fmod(byCurrency[u"UF"_s], 1) != 0 || byCurrency[u"UF"_s] >= 3.5);
        // No total row adds pesos and UF.
        QVERIFY(!summaryText(s, u"x"_s)
                     .section(u"cotización pactada"_s, 1)
                     .section(u"\n\n"_s, 0, 0)
                     .contains(u"Total"_s));
    }

    // A file against itself, or with its lines in another order: nothing
    // differs. A new worker, a gone one and a changed amount are each found,
    // the largest difference first.
    void compareFiles() {
        RxMem before, same, after;
        const QString path = generated(200, 8, before);
        loadDeclaration(path, FileForm::Position, same);
        const CodeNames names;
        Comparison c = compareTables(before, same, names);
        QVERIFY(c.lines.empty());
        QCOMPARE(c.matched, 200);

        loadDeclaration(path, FileForm::Position, after);
        // Moved: the first line goes to the end.
        after.moveTo(0);
        std::vector<QString> first;
        for (int f = 0; f < kFieldCount; ++f)
            first.push_back(after.textAt(0, f));
        after.deleteRecord();
        after.append();
        for (int f = 0; f < kFieldCount; ++f)
            after.setText(f, first[std::size_t(f)]);
        after.post();
        c = compareTables(before, after, names);
        QVERIFY2(c.lines.empty(), qPrintable(comparisonText(c, before, after, u"a"_s, u"b"_s)));

        // Gone: line 10; new: a worker no line had; changed: line 20's amount.
        const QString goneRut = after.textAt(9, field("rut"));
        after.moveTo(9);
        after.deleteRecord(); // the lines after it move up one
        const int changedRow = 18;
        const double was = after.recordAt(changedRow).number(field("impo_afp"));
        setOn(after, changedRow, "impo_afp", QString::number(qint64(was) + 5000000));
        after.append();
        after.setText(field("rut"), u"4999999"_s);
        after.setText(field("impo_afp"), u"1000"_s);
        after.post();

        c = compareTables(before, after, names);
        QCOMPARE(c.lines.size(), std::size_t(3));
        // The largest difference first: the 5,000,000 pesos more.
        const LineDifference& changed = c.lines.front();
        QCOMPARE(changed.kind, LineDifference::Kind::Changed);
        QCOMPARE(changed.afterRow, changedRow);
        QCOMPARE(changed.changes.size(), std::size_t(1));
        QCOMPARE(changed.changes[0].field, field("impo_afp"));
        QCOMPARE(changed.changes[0].before, was);
        QCOMPARE(changed.changes[0].after, was + 5000000);
        for (std::size_t i = 1; i < c.lines.size(); ++i)
            QVERIFY(c.lines[i - 1].size >= c.lines[i].size);
        const auto kindOf = [&](LineDifference::Kind k) {
            return std::find_if(c.lines.begin(), c.lines.end(),
                                [&](const LineDifference& d) { return d.kind == k; });
        };
        const auto gone = kindOf(LineDifference::Kind::Gone);
        QVERIFY(gone != c.lines.end());
        QCOMPARE(before.textAt(gone->beforeRow, field("rut")), goneRut);
        const auto added = kindOf(LineDifference::Kind::New);
        QVERIFY(added != c.lines.end());
        QCOMPARE(after.textAt(added->afterRow, field("rut")), u"4999999"_s);
        QCOMPARE(c.matched, 199);

        // The totals side by side hold the change.
        bool found = false;
        for (const TotalChange& s : totalChanges(c))
            if (QString::fromUtf16(s.group->title).startsWith(u"Fondos"_s) &&
                s.field == field("impo_afp") && s.after - s.before != 0)
                found = true;
        QVERIFY(found);
        const QString text = comparisonText(c, before, after, u"enero.txt"_s, u"febrero.txt"_s);
        QVERIFY2(text.contains(u"Nuevas: 1   Ya no están: 1   Con montos distintos: 1"_s),
                 qPrintable(text));
        QVERIFY(text.contains(summaryAmount(5000000)));
    }
};

QTEST_MAIN(TestTotals)
#include "tst_totals.moc"
