// The field table and the declaration table: fields, conversions, states,
// cursor moves and bookmarks.

#include "TestUtil.h"
#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <QSet>
#include <QtTest>

using namespace solvanta;
using namespace testutil;

namespace {

// A table of n lines whose rut holds the line's original number (1..n).
void fill(RxMem& t, int n) {
    t.open();
    for (int i = 1; i <= n; ++i) {
        t.append();
        t.setNumber(field("rut"), i);
        t.post();
    }
}

QList<int> ruts(const RxMem& t) {
    QList<int> out;
    for (int r = 0; r < t.recordCount(); ++r)
        out << t.textAt(r, field("rut")).toInt();
    return out;
}

} // namespace

class TestTable : public QObject {
    Q_OBJECT

private slots:
    void init() { numtext::setDecimalSeparator(','); }

    // The position form is 861 columns with no gap or overlap, text fields
    // fit their columns, and names are unique regardless of case.
    void fieldTableIsConsistent() {
        int column = 1;
        QSet<QString> names;
        for (int i = 0; i < kFieldCount; ++i) {
            const FieldDef& f = kFields[std::size_t(i)];
            QCOMPARE(f.number, i + 1);
            QCOMPARE(f.start, column);
            column += f.width;
            if (f.kind == Kind::Text &&
                (f.writeRule == WriteRule::T || f.writeRule == WriteRule::H))
                QCOMPARE(f.size, f.width);
            QVERIFY(f.labelText().startsWith(QStringLiteral("[%1]").arg(f.number)));
            QVERIFY(f.gridTitleText().startsWith(QStringLiteral("[%1] ").arg(f.number)));
            names.insert(QString::fromLatin1(f.name).toLower());
        }
        QCOMPARE(column - 1, kPositionLineLength);
        QCOMPARE(names.size(), kFieldCount);
    }

    void fieldByName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("index");
        QTest::newRow("as declared") << QStringLiteral("Fecha_Desde") << 15;
        QTest::newRow("capitals") << QStringLiteral("FECHA_DESDE") << 15;
        QTest::newRow("small letters") << QStringLiteral("fecha_desde") << 15;
        QTest::newRow("first") << QStringLiteral("RUT") << 0;
        QTest::newRow("last") << QStringLiteral("centro_costo") << 104;
    }

    void fieldByName() {
        QFETCH(QString, name);
        QFETCH(int, index);
        QCOMPARE(RxMem::fieldByName(name), index);
    }

    void unknownFieldIsNamed() {
        try {
            RxMem::fieldByName(u"fecha_desd");
            QFAIL("no error");
        } catch (const FieldError& e) {
            QVERIFY(e.message().contains(QLatin1String("fecha_desd")));
        }
    }

    void freshLineIsEmpty() {
        RxMem t;
        t.open();
        t.append();
        for (int f = 0; f < kFieldCount; ++f) {
            QCOMPARE(t.asText(f), QString());
            QVERIFY(t.isNull(f));
            QVERIFY(!t.value(f).isValid());
        }
    }

    void textIsCutAndSingleByte_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("assigned");
        QTest::addColumn<QString>("stored");
        QTest::newRow("cut to size")
            << QByteArray("centro_costo") << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ")
            << QStringLiteral("ABCDEFGHIJKLMNOPQRST");
        QTest::newRow("Spanish letters") << QByteArray("ape_pat") << QStringLiteral("ÑANDÚ Nº €")
                                         << QStringLiteral("ÑANDÚ Nº €");
        QTest::newRow("outside the code page, beyond what is kept")
            << QByteArray("centro_costo") << QStringLiteral("ABCDEFGHIJKLMNOPQRSTŁ")
            << QStringLiteral("ABCDEFGHIJKLMNOPQRST");
        QTest::newRow("blanks kept")
            << QByteArray("dv") << QStringLiteral(" ") << QStringLiteral(" ");
    }

    void textIsCutAndSingleByte() {
        QFETCH(QByteArray, name);
        QFETCH(QString, assigned);
        QFETCH(QString, stored);
        RxMem t;
        t.open();
        t.append();
        t.setText(field(name.constData()), assigned);
        t.post();
        QCOMPARE(t.asText(field(name.constData())), stored);
    }

    // A character the code page cannot hold would become "?" in the file
    // without anyone noticing: the text is refused, naming the field and the
    // character, and the field keeps its value. Assigned to many lines too.
    void textOutsideTheCodePageRefused() {
        RxMem t;
        t.open();
        t.append();
        t.setText(field("nombres"), u"ANA");
        try {
            t.setText(field("nombres"), QStringLiteral("ŁUKASZ 李😀"));
            QFAIL("stored");
        } catch (const ConversionError& e) {
            QCOMPARE(e.message(), QStringLiteral("[5] Nombre: «ŁUKASZ 李😀» tiene «Ł», «李» y "
                                                 "«😀», que el archivo no puede guardar: escriba "
                                                 "el texto sin esos caracteres."));
        }
        t.post();
        QCOMPARE(t.asText(field("nombres")), QStringLiteral("ANA"));
        QVERIFY_THROWS_EXCEPTION(ConversionError, t.assignAll(field("centro_costo"), u"ŁÓDŹ"));
        QCOMPARE(t.asText(field("centro_costo")), QString());
    }

    void numberConversions_data() {
        QTest::addColumn<char>("separator");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("assigned");
        QTest::addColumn<QString>("read"); // null: the assignment is refused
        QTest::addColumn<double>("number");
        auto row = [](const char* tag, char sep, const char* name, const char* in, const char* out,
                      double n) {
            QTest::newRow(tag) << sep << QByteArray(name) << QString::fromUtf8(in)
                               << (out ? QString::fromUtf8(out) : QString()) << n;
        };
        row("comma decimal", ',', "asig_fam", "12,5", "12,5", 12.5);
        row("period decimal", '.', "asig_fam", "12.5", "12.5", 12.5);
        row("period refused with comma", ',', "asig_fam", "12.5", nullptr, 0);
        row("comma refused with period", '.', "asig_fam", "12,5", nullptr, 0);
        row("empty refused", ',', "asig_fam", "", nullptr, 0);
        row("letters refused", ',', "asig_fam", "abc", nullptr, 0);
        row("thousands refused", ',', "asig_fam", "1.234", nullptr, 0);
        row("blanks around", ',', "asig_fam", " 42 ", "42", 42);
        row("negative", ',', "impo_afp", "-1234", "-1234", -1234);
        row("exponent", ',', "impo_afp", "1,5E3", "1500", 1500);
        row("rut has no decimals", ',', "rut", "12345678", "12345678", 12345678);
        row("fifteen digits", ',', "impo_afp", "0,1234567890123456", "0,123456789012346",
            0.1234567890123456);
        row("integer", ',', "nacion", "1", "1", 1);
        row("integer with blanks before", ',', "nacion", " 1", "1", 1);
        row("integer with blank after", ',', "nacion", "1 ", nullptr, 0);
        row("integer with decimals", ',', "nacion", "1,0", nullptr, 0);
    }

    // A refused assignment throws a conversion error naming the field and
    // leaves the value it had.
    void numberConversions() {
        QFETCH(char, separator);
        QFETCH(QByteArray, name);
        QFETCH(QString, assigned);
        QFETCH(QString, read);
        QFETCH(double, number);
        numtext::setDecimalSeparator(separator);
        const int f = field(name.constData());
        RxMem t;
        t.open();
        t.append();
        t.setNumber(f, 7);
        if (read.isNull()) {
            try {
                t.setText(f, assigned);
                QFAIL("the assignment was accepted");
            } catch (const ConversionError& e) {
                QVERIFY2(e.message().contains(fieldTitle(f)), qPrintable(e.message()));
            }
            QCOMPARE(t.asText(f), QStringLiteral("7"));
        } else {
            t.setText(f, assigned);
            QCOMPARE(t.asText(f), read);
            QCOMPARE(t.asNumber(f), number);
        }
    }

    void numberIntoTextField_data() {
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("text");
        QTest::newRow("comma") << ',' << QStringLiteral("4,5");
        QTest::newRow("period") << '.' << QStringLiteral("4.5");
    }

    void numberIntoTextField() {
        QFETCH(char, separator);
        QFETCH(QString, text);
        numtext::setDecimalSeparator(separator);
        RxMem t;
        t.open();
        t.append();
        t.setNumber(field("tasa_pac_afp"), 4.5);
        QCOMPARE(t.asText(field("tasa_pac_afp")), text);
        QCOMPARE(t.asNumber(field("tasa_pac_afp")), 4.5);
    }

    void values() {
        RxMem t;
        t.open();
        t.append();
        t.setValue(field("ape_pat"), QStringLiteral("SOTO"));
        t.setValue(field("impo_afp"), 1500.5);
        t.setValue(field("nacion"), 1);
        t.setValue(field("cot_INP"), QStringLiteral("25"));
        QCOMPARE(t.value(field("ape_pat")), QVariant(QStringLiteral("SOTO")));
        QCOMPARE(t.value(field("impo_afp")).toDouble(), 1500.5);
        QCOMPARE(t.value(field("nacion")).toInt(), 1);
        QCOMPARE(t.value(field("cot_INP")).toDouble(), 25.0);
        t.setValue(field("impo_afp"), QVariant());
        QVERIFY(t.isNull(field("impo_afp")));
    }

    void assignmentNeedsEditOrInsert() {
        RxMem t;
        fill(t, 1);
        QVERIFY_THROWS_EXCEPTION(TableError, t.setText(field("ape_pat"), u"X"));
    }

    void editPostAndCancel() {
        RxMem t;
        fill(t, 3);
        t.moveTo(1);
        t.edit();
        t.setNumber(field("rut"), 20);
        t.cancel();
        QCOMPARE(ruts(t), (QList<int>{1, 2, 3}));
        t.edit();
        t.setNumber(field("rut"), 20);
        t.post();
        QCOMPARE(ruts(t), (QList<int>{1, 20, 3}));
        QCOMPARE(t.state(), RxMem::State::Browse);
    }

    void insertAndAppend() {
        RxMem t;
        fill(t, 3);
        t.moveTo(1);
        t.insert();
        QCOMPARE(t.recNo(), 2);
        QCOMPARE(t.state(), RxMem::State::Insert);
        t.setNumber(field("rut"), 9);
        t.post();
        QCOMPARE(ruts(t), (QList<int>{1, 9, 2, 3}));
        t.insert();
        t.cancel(); // an inserted line that is cancelled leaves the table
        QCOMPARE(ruts(t), (QList<int>{1, 9, 2, 3}));
        t.append();
        QCOMPARE(t.recNo(), 5);
        t.setNumber(field("rut"), 8);
        t.post();
        QCOMPARE(ruts(t), (QList<int>{1, 9, 2, 3, 8}));
    }

    // Moving while a line is inserted or edited stores it when something was
    // assigned, and drops it otherwise.
    void movingStoresOrDrops() {
        RxMem t;
        fill(t, 3);
        t.first();
        t.insert();
        t.next();
        QCOMPARE(ruts(t), (QList<int>{1, 2, 3}));
        t.first();
        t.insert();
        t.setNumber(field("rut"), 7);
        t.last();
        QCOMPARE(ruts(t), (QList<int>{7, 1, 2, 3}));
        QCOMPARE(t.recNo(), 4);
        t.edit();
        t.setNumber(field("rut"), 30);
        t.prior();
        QCOMPARE(t.state(), RxMem::State::Browse);
        QCOMPARE(ruts(t), (QList<int>{7, 1, 2, 30}));
        t.append();
        t.locate(field("rut"), 1); // an unchanged new line is dropped
        QCOMPARE(t.recordCount(), 4);
    }

    void cursorAndEndOfTable() {
        RxMem t;
        t.open();
        QVERIFY(t.eof());
        QCOMPARE(t.recNo(), 0);
        fill(t, 2);
        t.first();
        QVERIFY(!t.eof());
        t.next();
        QVERIFY(!t.eof());
        QCOMPARE(t.recNo(), 2);
        t.next();
        QVERIFY(t.eof());
        QCOMPARE(t.recNo(), 2);
        t.first();
        QVERIFY(!t.eof());
    }

    void deleteMovesToNextOrPrevious() {
        RxMem t;
        fill(t, 10);
        t.moveTo(2);
        t.deleteRecord();
        QCOMPARE(ruts(t), (QList<int>{1, 2, 4, 5, 6, 7, 8, 9, 10}));
        QCOMPARE(t.recNo(), 3); // the former line 4 is line 3 now and current
        QCOMPARE(t.asText(field("rut")), QStringLiteral("4"));
        t.last();
        t.deleteRecord();
        QCOMPARE(t.recNo(), 8);
        QCOMPARE(t.asText(field("rut")), QStringLiteral("9"));

        RxMem one;
        fill(one, 1);
        one.deleteRecord();
        QCOMPARE(one.recordCount(), 0);
        QVERIFY(one.eof());
        QVERIFY_THROWS_EXCEPTION(TableError, one.deleteRecord());
    }

    // Deleting many lines at once: exactly those lines, in any order given,
    // the others keeping their order and bookmarks; the line after the last
    // deleted one becomes current.
    void deleteManyLines_data() {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QList<int>>("left");
        QTest::addColumn<int>("current"); // rut of the current line; 0 for none
        QTest::newRow("scattered, unordered")
            << QList<int>{7, 0, 3, 4} << QList<int>{2, 3, 6, 7, 9, 10} << 9;
        QTest::newRow("one line") << QList<int>{5} << QList<int>{1, 2, 3, 4, 5, 7, 8, 9, 10} << 7;
        QTest::newRow("up to the last line")
            << QList<int>{8, 9, 1} << QList<int>{1, 3, 4, 5, 6, 7, 8} << 8;
        QTest::newRow("repeated and already gone")
            << QList<int>{2, 2, -1} << QList<int>{1, 2, 4, 5, 6, 7, 8, 9, 10} << 4;
        QTest::newRow("all") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9} << QList<int>{} << 0;
    }

    void deleteManyLines() {
        QFETCH(QList<int>, rows);
        QFETCH(QList<int>, left);
        QFETCH(int, current);
        RxMem t;
        fill(t, 10);
        t.moveTo(6);
        const RxMem::Bookmark seventh = t.bookmark();
        t.moveTo(9);
        const RxMem::Bookmark gone = t.bookmark();
        t.deleteRecord();
        t.append(); // line 10 again, as a new line
        t.setNumber(field("rut"), 10);
        t.post();
        std::vector<RxMem::Bookmark> marks;
        for (int r : rows)
            marks.push_back(r < 0 ? gone : t.bookmarkAt(r));
        const auto changes = t.changeCount();

        QCOMPARE(t.deleteRecords(marks), 10 - int(left.size()));
        QCOMPARE(ruts(t), left);
        QCOMPARE(t.changeCount(), changes + 1);
        QCOMPARE(t.isEmpty() ? 0 : t.asText(field("rut")).toInt(), current);
        QCOMPARE(t.rowOf(seventh), left.indexOf(7));
        for (int r = 0; r < t.recordCount(); ++r)
            QCOMPARE(t.rowOf(t.bookmarkAt(r)), r);
    }

    // An untouched new line goes before the deletion; an edited one is stored.
    void deleteManySettlesThePendingLine() {
        RxMem t;
        fill(t, 5);
        std::vector<RxMem::Bookmark> marks{t.bookmarkAt(0), t.bookmarkAt(1)};
        t.moveTo(3);
        t.insert();
        QCOMPARE(t.deleteRecords(marks), 2);
        QCOMPARE(ruts(t), (QList<int>{3, 4, 5}));
        t.moveTo(2);
        t.edit();
        t.setText(field("ape_pat"), u"SOTO");
        t.deleteRecords({t.bookmarkAt(0), t.bookmarkAt(1)});
        QCOMPARE(t.state(), RxMem::State::Browse);
        QCOMPARE(t.textAt(0, field("ape_pat")), QStringLiteral("SOTO"));
    }

    // The pending line itself deleted: a new line just disappears (nothing
    // changed), an edited line goes without its edits being stored first.
    void deletingThePendingLine() {
        RxMem t;
        fill(t, 3);
        t.moveTo(1);
        t.insert();
        t.setText(field("ape_pat"), u"NUEVA");
        const auto changes = t.changeCount();
        QCOMPARE(t.deleteRecords({t.bookmark()}), 0);
        QCOMPARE(ruts(t), (QList<int>{1, 2, 3}));
        QCOMPARE(t.changeCount(), changes);

        t.moveTo(2);
        t.edit();
        t.setText(field("ape_pat"), u"SOTO");
        QCOMPARE(t.deleteRecords({t.bookmark(), t.bookmarkAt(0)}), 2);
        QCOMPARE(ruts(t), QList<int>{2});
        QCOMPARE(t.changeCount(), changes + 1); // one deletion, no store
        QCOMPARE(t.state(), RxMem::State::Browse);
    }

    // Editing an empty table starts a new line, as a data-bound form expects.
    void editOnEmptyTableInserts() {
        RxMem t;
        t.open();
        t.edit();
        QCOMPARE(t.state(), RxMem::State::Insert);
        QCOMPARE(t.recordCount(), 1);
    }

    void locate() {
        RxMem t;
        fill(t, 5);
        t.moveTo(3);
        t.edit();
        t.setText(field("ape_pat"), u"SOTO");
        t.post();
        t.moveTo(0);
        QVERIFY(t.locate(field("ape_pat"), QStringLiteral("SOTO")));
        QCOMPARE(t.recNo(), 4);
        QVERIFY(t.locate(field("rut"), 2));
        QCOMPARE(t.recNo(), 2);
        QVERIFY(t.locate(field("rut"), QStringLiteral("5")));
        QCOMPARE(t.recNo(), 5);
        QVERIFY(!t.locate(field("rut"), 99));
        QVERIFY(!t.locate(field("ape_pat"), QStringLiteral("soto")));
        QCOMPARE(t.recNo(), 5);
    }

    // Bookmarks keep pointing at their line while others come and go, and a
    // deleted line's bookmark is refused.
    void bookmarksSurviveChanges() {
        RxMem t;
        fill(t, 6);
        QList<RxMem::Bookmark> marks;
        for (int r : {1, 3, 5}) {
            t.moveTo(r);
            marks << t.bookmark();
        }
        t.moveTo(0);
        t.insert();
        t.setNumber(field("rut"), 100);
        t.post();
        t.moveTo(4); // rut 4
        t.deleteRecord();
        t.append();
        t.setNumber(field("rut"), 200);
        t.post();
        QCOMPARE(ruts(t), (QList<int>{100, 1, 2, 3, 5, 6, 200}));

        t.gotoBookmark(marks[0]);
        QCOMPARE(t.asText(field("rut")), QStringLiteral("2"));
        t.gotoBookmark(marks[2]);
        QCOMPARE(t.asText(field("rut")), QStringLiteral("6"));
        QCOMPARE(t.rowOf(marks[0]), 2);
        t.moveTo(3);
        const RxMem::Bookmark three = t.bookmark();
        t.deleteRecord();
        QCOMPARE(t.rowOf(three), -1);
        QVERIFY_THROWS_EXCEPTION(TableError, t.gotoBookmark(three));
        QCOMPARE(t.rowOf(marks[1]), -1); // rut 4 went earlier
        t.gotoBookmark(marks[2]);
        QCOMPARE(t.recNo(), 5);
    }

    // One value on many lines: every listed line or none, the pending line
    // stored first, the cursor left where it was.
    void assignToManyLines_data() {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QList<int>>("rows");  // empty: every line
        QTest::addColumn<QString>("expected"); // null: refused
        QTest::newRow("text on every line") << "centro_costo"
                                            << "NORTE" << QList<int>() << "NORTE";
        QTest::newRow("text cut to its width") << "tipo_pago"
                                               << "123" << QList<int>() << "12";
        QTest::newRow("number on some lines") << "otros_desc_ccaf2"
                                              << "2" << QList<int>{1, 3} << "2";
        QTest::newRow("empty text") << "centro_costo"
                                    << "" << QList<int>{0} << "";
        QTest::newRow("not a number") << "otros_desc_ccaf2"
                                      << "dos" << QList<int>{2, 3} << QString();
    }

    void assignToManyLines() {
        QFETCH(QString, fieldName);
        QFETCH(QString, value);
        QFETCH(QList<int>, rows);
        QFETCH(QString, expected);
        RxMem t;
        fill(t, 5);
        const int f = RxMem::fieldByName(fieldName);
        t.moveTo(1);
        t.edit();
        t.setText(field("ape_pat"), u"PENDIENTE");
        QStringList before;
        for (int r = 0; r < 5; ++r)
            before << t.textAt(r, f);
        try {
            if (rows.isEmpty()) {
                QCOMPARE(t.assignAll(f, value), 5);
            } else {
                std::vector<RxMem::Bookmark> lines;
                for (int r : rows)
                    lines.push_back(t.bookmarkAt(r));
                QCOMPARE(t.assign(lines, f, value), int(rows.size()));
            }
            QVERIFY(!expected.isNull());
        } catch (const ConversionError& e) {
            QVERIFY(expected.isNull());
            QVERIFY2(e.message().startsWith(QStringLiteral("Línea %1:").arg(rows.value(0) + 1)),
                     qPrintable(e.message()));
        }
        QCOMPARE(t.state(), RxMem::State::Browse);
        QCOMPARE(t.textAt(1, field("ape_pat")), QStringLiteral("PENDIENTE"));
        QCOMPARE(t.row(), 1);
        for (int r = 0; r < 5; ++r) {
            const bool changed = !expected.isNull() && (rows.isEmpty() || rows.contains(r));
            QCOMPARE(t.textAt(r, f), changed ? expected : before[r]);
        }
    }

    void closeDiscardsEverything() {
        RxMem t;
        fill(t, 3);
        t.close();
        QVERIFY(!t.isActive());
        QCOMPARE(t.recordCount(), 0);
        t.open();
        QCOMPARE(t.recordCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestTable)
#include "tst_table.moc"
