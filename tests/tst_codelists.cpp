// Tests of the table of code lists against what it describes: the code-table
// file that ships with the program and the fields of a declaration line.

#include "engine/codes/CodeLists.h"
#include "engine/codes/CodeTableFile.h"
#include "engine/model/FieldTable.h"

#include <QtTest>
#include <algorithm>
#include <vector>

using namespace solvanta;

namespace {

QString shippedFile() {
    return QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg");
}

// The section names of a code-table file, in file order.
QStringList sectionsOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList names;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[') && t.endsWith(']'))
            names << QString::fromLatin1(t.mid(1, t.size() - 2));
    }
    return names;
}

} // namespace

class TstCodeLists : public QObject {
    Q_OBJECT

private slots:
    // The shipped file and the table hold the same lists, so that every list
    // the windows offer and the checks read is there when the program is new.
    void shippedSectionsAreTheTable() {
        QStringList shipped = sectionsOf(shippedFile());
        QStringList table = codeListSections();
        QVERIFY(!shipped.isEmpty());
        shipped.sort();
        table.sort();
        QCOMPARE(table, shipped);
    }

    // Every entry the shipped file holds for a list starts with a code as
    // the table reads it: `width` digits, or one letter, then a blank. A
    // width off by one would make every lookup of that list miss.
    void shippedEntriesHaveTheTablesCodes_data() {
        QTest::addColumn<int>("list");
        const auto lists = codeLists();
        for (std::size_t i = 0; i < lists.size(); ++i)
            QTest::newRow(lists[i].section) << int(i);
    }
    void shippedEntriesHaveTheTablesCodes() {
        QFETCH(int, list);
        const CodeListDef& l = codeLists()[std::size_t(list)];
        const QStringList entries =
            CodeTableFile(shippedFile()).readSection(QString::fromLatin1(l.section));
        QVERIFY(!entries.isEmpty());
        for (const QString& e : entries) {
            const int width = l.letters ? 1 : l.width;
            QVERIFY2(e.size() > width && e[width] == u' ', qPrintable(e));
            for (int k = 0; k < width; ++k)
                QVERIFY2(l.letters ? e[k].isLetter() : e[k].isDigit(), qPrintable(e));
        }
        if (l.fixedEntry) {
            const QString fixed = QString::fromUtf16(l.fixedEntry);
            QCOMPARE(fixed[l.width], u' ');
            for (const QString& e : entries)
                QVERIFY2(!e.startsWith(fixed.left(l.width)), qPrintable(e));
        }
    }

    // A list's codes fit every field it serves, and each field it names is
    // a field of the line.
    void codesFitTheirFields_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<QString>("field");
        const auto lists = codeLists();
        for (std::size_t i = 0; i < lists.size(); ++i)
            for (const std::optional<Field> f : lists[i].fields)
                if (f)
                    QTest::addRow("%s %s", lists[i].section, def(*f).name)
                        << int(i) << QString::fromLatin1(def(*f).name);
    }
    void codesFitTheirFields() {
        QFETCH(int, list);
        QFETCH(QString, field);
        const int f = findField(field);
        QVERIFY(f >= 0);
        QCOMPARE(codeListOfField(f), list);
        const CodeListDef& l = codeLists()[std::size_t(list)];
        QVERIFY(l.width <= kFields[std::size_t(f)].width);
        if (l.letters) QCOMPARE(l.width, 1);
    }

    // Each field has one list at most, so that the field knows its list.
    void aFieldHasOneList() {
        std::vector<int> count(kFieldCount, 0);
        for (const CodeListDef& l : codeLists())
            for (const std::optional<Field> f : l.fields)
                if (f) ++count[std::size_t(fieldIndex(*f))];
        for (int f = 0; f < kFieldCount; ++f)
            QVERIFY2(count[std::size_t(f)] <= 1, qPrintable(fieldTitle(f)));
    }

    // The code menu's places are 0, 1, 2, … with no gap and no place twice,
    // and each entry there has its captions.
    void menuPlacesFollowEachOther() {
        std::vector<int> places;
        for (const CodeListDef& l : codeLists())
            if (l.menuPlace >= 0) {
                places.push_back(l.menuPlace);
                QVERIFY(l.menuName && l.menuCaption && l.editorCaption);
            }
        std::sort(places.begin(), places.end());
        for (std::size_t i = 0; i < places.size(); ++i)
            QCOMPARE(places[i], int(i));
    }
};

QTEST_GUILESS_MAIN(TstCodeLists)
#include "tst_codelists.moc"
