// Which lines a listing shows and in what order: filtered and sorted views
// over the table that never change the table itself.

#include "TestUtil.h"
#include "engine/files/LineView.h"
#include "engine/model/RxMem.h"
#include "engine/util/DateText.h"
#include "engine/util/NumberText.h"

#include <QtTest>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

// One line per value of `fieldName`, in the order given; "" leaves the cell
// empty.
void fill(RxMem& t, const char* fieldName, const QStringList& values) {
    t.open();
    RxMem::Fill loaded(t);
    for (qsizetype i = 0; i < values.size(); ++i) {
        t.append();
        t.setNumber(field("rut"), double(i + 1));
        if (!values[i].isEmpty()) t.setText(field(fieldName), values[i]);
        t.post();
    }
}

QList<int> shown(const LineView& v) {
    QList<int> out;
    for (int i = 0; i < v.count(); ++i)
        out << v.tableRow(i);
    return out;
}

} // namespace

class TestLineView : public QObject {
    Q_OBJECT

private slots:
    void init() {
        numtext::setDecimalSeparator(',');
        datetext::setFormat(u"dd-MM-yyyy"_s);
    }

    // Sorting by a field: numbers as numbers, periods and dates in time
    // order, texts without regard to case or accents; equal values keep
    // the file's order; empty cells last in both directions.
    void sortBy_data() {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QList<int>>("ascending"); // table rows, in the order shown
        QTest::addColumn<QList<int>>("descending");
        QTest::newRow("amounts") << u"impo_afp"_s
                                 << QStringList{u"100"_s, u""_s, u"9"_s, u"10"_s, u"9"_s}
                                 << QList<int>{2, 4, 3, 0, 1} << QList<int>{0, 3, 2, 4, 1};
        QTest::newRow("names") << u"ape_pat"_s
                               << QStringList{u"PÉREZ"_s, u"alvarez"_s, u""_s, u"perez"_s,
                                              u"ZÚÑIGA"_s}
                               << QList<int>{1, 0, 3, 4, 2} << QList<int>{4, 0, 3, 1, 2};
        QTest::newRow("periods") << u"remu_desde"_s
                                 << QStringList{u"122025"_s, u"012026"_s, u"052025"_s}
                                 << QList<int>{2, 0, 1} << QList<int>{1, 0, 2};
        QTest::newRow("dates") << u"fecha_desde"_s
                               << QStringList{u"05-01-2026"_s, u""_s, u"31-12-2025"_s}
                               << QList<int>{2, 0, 1} << QList<int>{0, 2, 1};
    }

    void sortBy() {
        QFETCH(QString, fieldName);
        QFETCH(QStringList, values);
        QFETCH(QList<int>, ascending);
        QFETCH(QList<int>, descending);
        RxMem t;
        fill(t, fieldName.toLatin1().constData(), values);
        const QList<QByteArray> before = lineBytes(t);
        LineView v(t);
        v.sortBy(field(fieldName.toLatin1().constData()), false);
        QCOMPARE(shown(v), ascending);
        v.sortBy(field(fieldName.toLatin1().constData()), true);
        QCOMPARE(shown(v), descending);
        for (int i = 0; i < v.count(); ++i)
            QCOMPARE(v.viewRow(v.tableRow(i)), i);
        QCOMPARE(lineBytes(t), before); // the table keeps its order and bytes
        v.clear();
        QVERIFY(v.isWhole());
        QCOMPARE(shown(v), (QList<int>{0, 1, 2, 3, 4}).mid(0, values.size()));
    }

    // A filter keeps lines in the order shown; a line filtered out has no
    // place in the view; filters combine; a sort then orders what is left.
    void filterThenSort() {
        RxMem t;
        fill(t, "impo_afp", {u"5"_s, u"50"_s, u"7"_s, u"500"_s, u"6"_s, u"70"_s});
        LineView v(t);
        const int amount = field("impo_afp");
        v.filter([&](int row) { return t.recordAt(row).number(amount) >= 6; });
        QCOMPARE(shown(v), (QList<int>{1, 2, 3, 4, 5}));
        v.filter([&](int row) { return t.recordAt(row).number(amount) < 100; });
        QCOMPARE(shown(v), (QList<int>{1, 2, 4, 5}));
        QCOMPARE(v.viewRow(0), -1);
        QCOMPARE(v.viewRow(3), -1);
        v.sortBy(amount, true);
        QCOMPARE(shown(v), (QList<int>{5, 1, 2, 4}));
        QCOMPARE(v.viewRow(4), 3);
        v.filter([](int) { return false; });
        QCOMPARE(v.count(), 0);
        QVERIFY(!v.isWhole());
        QVERIFY(v.bytes() <= 8 * std::size_t(t.recordCount()));
    }

    // The values of a column among the lines shown, as the listing shows
    // them, with their counts, in sorted order (numbers as numbers).
    void distinctValues() {
        RxMem t;
        fill(t, "impo_afp", {u"10"_s, u"9"_s, u"10"_s, u""_s, u"100"_s, u"9"_s, u"10"_s});
        LineView v(t);
        QStringList texts;
        QList<int> lines;
        for (const LineView::Count& c : v.distinctValues(field("impo_afp"))) {
            texts << c.text;
            lines << c.lines;
        }
        QCOMPARE(texts, (QStringList{u"9"_s, u"10"_s, u"100"_s, u""_s}));
        QCOMPARE(lines, (QList<int>{2, 3, 1, 1}));
        v.filter([](int row) { return row < 3; });
        QCOMPARE(v.distinctValues(field("impo_afp")).size(), std::size_t(2));
    }
};

QTEST_MAIN(TestLineView)
#include "tst_lineview.moc"
