// Undo and redo of every change to the declaration table, the saved state,
// and the marks of the cells changed since the last load or write.
//
// Changes are written as small scripts, one step per ";":
//   e R F V    edit line R (0-based): field F gets V, stored
//   p R F V    the same, left pending (not stored)
//   a F V      append a line with F = V
//   i R F V    insert a line before line R with F = V
//   d R[,R…]   delete these lines (one line: deleteRecord on it)
//   m F V      every line's F gets V
//   s R,R… F V these lines' F gets V
//   u / r      undo / redo
//   { / }      the changes between are one (RxMem::Group)
//   S          the present lines are saved (a write)

#include "TestUtil.h"
#include "engine/files/DeclarationFile.h"
#include "engine/model/RxMem.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <QtTest>
#include <memory>

using namespace solvanta;
using namespace testutil;

namespace {

// Six lines with a rut 1..6, a name, a period and an amount each.
void fill(RxMem& t) {
    t.open();
    RxMem::Fill loaded(t);
    for (int i = 1; i <= 6; ++i) {
        t.append();
        t.setNumber(field("rut"), i);
        t.setText(field("nombres"), QStringLiteral("NOMBRE %1").arg(i));
        t.setText(field("remu_desde"), QStringLiteral("0%12026").arg(i));
        t.setNumber(field("impo_afp"), 1000 * i);
        t.post();
    }
}

std::vector<RxMem::Bookmark> linesOf(const RxMem& t, const QString& rows) {
    std::vector<RxMem::Bookmark> out;
    for (const QString& r : rows.split(QLatin1Char(',')))
        out.push_back(t.bookmarkAt(r.toInt()));
    return out;
}

void run(RxMem& t, const QString& script) {
    std::unique_ptr<RxMem::Group> group;
    for (const QString& stepText : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList w = stepText.trimmed().split(QLatin1Char(' '));
        const QChar op = w[0][0];
        auto setAndMaybePost = [&](int fieldAt, bool post) {
            t.setText(field(w[fieldAt].toLatin1().constData()),
                      w.mid(fieldAt + 1).join(QLatin1Char(' ')));
            if (post) t.post();
        };
        switch (op.toLatin1()) {
        case 'e':
        case 'p':
            t.moveTo(w[1].toInt());
            t.edit();
            setAndMaybePost(2, op == QLatin1Char('e'));
            break;
        case 'a':
            t.append();
            setAndMaybePost(1, true);
            break;
        case 'i':
            t.moveTo(w[1].toInt());
            t.insert();
            setAndMaybePost(2, true);
            break;
        case 'd':
            if (!w[1].contains(QLatin1Char(','))) {
                t.moveTo(w[1].toInt());
                t.deleteRecord();
            } else {
                t.deleteRecords(linesOf(t, w[1]));
            }
            break;
        case 'm':
            t.assignAll(field(w[1].toLatin1().constData()), w.mid(2).join(QLatin1Char(' ')));
            break;
        case 's':
            t.assign(linesOf(t, w[1]), field(w[2].toLatin1().constData()),
                     w.mid(3).join(QLatin1Char(' ')));
            break;
        case 'c': { // cells: row:field=value|row:field=value...
            std::vector<RxMem::CellValue> cells;
            for (const QString& c : w.mid(1).join(QLatin1Char(' ')).split(QLatin1Char('|'))) {
                const qsizetype colon = c.indexOf(QLatin1Char(':')),
                                eq = c.indexOf(QLatin1Char('='));
                cells.push_back({t.bookmarkAt(c.left(colon).toInt()),
                                 field(c.mid(colon + 1, eq - colon - 1).toLatin1().constData()),
                                 c.mid(eq + 1)});
            }
            t.setCells(cells);
            break;
        }
        case 'u':
            t.undo();
            break;
        case 'r':
            t.redo();
            break;
        case 'S':
            t.markSaved();
            break;
        case '{':
            group = std::make_unique<RxMem::Group>(t);
            break;
        case '}':
            group.reset();
            break;
        default:
            QFAIL(qPrintable(QStringLiteral("unknown step ") + stepText));
        }
    }
}

QString ruts(const RxMem& t) {
    QStringList out;
    for (int r = 0; r < t.recordCount(); ++r)
        out << t.textAt(r, field("rut"));
    return out.join(QLatin1Char(','));
}

} // namespace

class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void init() { numtext::setDecimalSeparator(','); }

    void everyKindOfChange_data() {
        QTest::addColumn<QString>("script");
        QTest::newRow("stored line") << "e 2 nombres OTRO";
        QTest::newRow("number field") << "e 0 impo_afp 5,5";
        QTest::newRow("appended line") << "a rut 77";
        QTest::newRow("inserted line") << "i 0 rut 77";
        QTest::newRow("one line deleted") << "d 3";
        QTest::newRow("the last line deleted") << "d 5";
        QTest::newRow("selected lines deleted") << "d 4,0,2";
        QTest::newRow("mass modification") << "m remu_desde 122025";
        QTest::newRow("assignment to lines") << "s 1,4 nombres ASIGNADO";
        QTest::newRow("a value cleared") << "m impo_afp 0; e 1 nombres X";
        QTest::newRow("cells of several fields and lines")
            << "c 1:nombres=UNO|3:impo_afp=7,5|0:remu_desde=052026|3:nombres=TRES";
        QTest::newRow("cells, then the lines deleted and edited")
            << "c 2:rut=88|5:impo_afp=1; d 2,5; e 0 nombres Z";
        QTest::newRow("edit, delete selected, insert, assign")
            << "e 1 nombres A; d 0,2,3; i 1 rut 9; m remu_desde 012020; a rut 10; e 0 rut 44";
        QTest::newRow("delete everything, then add") << "d 0,1,2,3,4,5; a rut 8; i 0 rut 9";
        QTest::newRow("a new line edited, then deleted") << "a rut 7; e 6 nombres N; d 6";
    }

    // Each undo gives back the exact bytes and order of the lines before
    // that step; each redo those after it; undoing everything comes back to
    // the loaded lines with no unsaved change.
    void everyKindOfChange() {
        QFETCH(QString, script);
        RxMem t;
        fill(t);
        QVERIFY(!t.canUndo());
        QVERIFY(!t.hasUnsavedChanges());
        QList<QList<QByteArray>> states{lineBytes(t)};
        for (const QString& step : script.split(QLatin1Char(';'))) {
            run(t, step);
            states << lineBytes(t);
        }
        QVERIFY(t.hasUnsavedChanges());
        for (qsizetype k = states.size() - 2; k >= 0; --k) {
            QVERIFY(t.canUndo());
            QVERIFY(t.undo().done);
            QCOMPARE(lineBytes(t), states[k]);
        }
        QVERIFY(!t.canUndo());
        QVERIFY(!t.undo().done);
        QVERIFY(!t.hasUnsavedChanges());
        for (qsizetype k = 1; k < states.size(); ++k) {
            QVERIFY(t.redo().done);
            QCOMPARE(lineBytes(t), states[k]);
        }
        QVERIFY(!t.canRedo());
        QVERIFY(t.hasUnsavedChanges());
    }

    // Cells given their own values: all or none, the refused value named
    // with its line; cells that keep their value are no change; one step.
    void cellsAllOrNone() {
        RxMem t;
        fill(t);
        const QList<QByteArray> loaded = lineBytes(t);
        try {
            t.setCells({{t.bookmarkAt(0), field("nombres"), QStringLiteral("BIEN")},
                        {t.bookmarkAt(4), field("impo_afp"), QStringLiteral("doce")}});
            QFAIL("a value the field refuses was taken");
        } catch (const ConversionError& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("Línea 5: ")), qPrintable(e.message()));
        }
        QCOMPARE(lineBytes(t), loaded);
        QVERIFY(!t.canUndo());
        QVERIFY(!t.hasUnsavedChanges());

        QCOMPARE(t.setCells({{t.bookmarkAt(1), field("nombres"), QStringLiteral("NOMBRE 2")},
                             {t.bookmarkAt(2), field("impo_afp"), QStringLiteral("3000")}}),
                 0);
        QVERIFY(!t.canUndo());
        QCOMPARE(t.setCells({{t.bookmarkAt(1), field("nombres"), QStringLiteral("NOMBRE 2")},
                             {t.bookmarkAt(2), field("impo_afp"), QStringLiteral("3500")},
                             {t.bookmarkAt(5), field("nombres"), QStringLiteral("OTRO")}}),
                 2);
        QCOMPARE(t.textAt(2, field("impo_afp")), QStringLiteral("3500"));
        QVERIFY(!t.cellChanged(1, field("nombres")));
        QVERIFY(t.cellChanged(5, field("nombres")));
        QVERIFY(t.undo().done);
        QCOMPARE(lineBytes(t), loaded);
        QVERIFY(!t.canUndo());
    }

    void currentLineAfterUndoAndRedo_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("afterUndo");
        QTest::addColumn<int>("afterRedo");
        QTest::newRow("stored line") << "e 4 nombres X" << 4 << 4;
        QTest::newRow("inserted line: where it was") << "i 2 rut 9" << 2 << 2;
        QTest::newRow("appended line: the last one left") << "a rut 9" << 5 << 6;
        // Redo repeats the deletion: the line after the last deleted one.
        QTest::newRow("deleted lines: the first one back") << "d 3,1,4" << 1 << 2;
        QTest::newRow("last line deleted") << "d 5" << 5 << 4;
        QTest::newRow("assignment: the first line it touched") << "s 4,2 nombres X" << 2 << 2;
        QTest::newRow("mass modification: line 1") << "m nombres X" << 0 << 0;
    }

    void currentLineAfterUndoAndRedo() {
        QFETCH(QString, script);
        QFETCH(int, afterUndo);
        QFETCH(int, afterRedo);
        RxMem t;
        fill(t);
        run(t, script);
        t.moveTo(0);
        t.undo();
        QCOMPARE(t.row(), afterUndo);
        t.moveTo(3);
        t.redo();
        QCOMPARE(t.row(), afterRedo);
    }

    void combinations_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("ruts");
        QTest::addColumn<QString>("line2Name");
        QTest::addColumn<bool>("canRedo");
        QTest::newRow("edit, delete selected, undo, undo, redo")
            << "e 2 nombres NUEVO; d 0,1; u; u; r"
            << "1,2,3,4,5,6"
            << "NUEVO" << true;
        QTest::newRow("a change after an undo drops the redo") << "e 2 nombres A; u; e 2 nombres B"
                                                               << "1,2,3,4,5,6"
                                                               << "B" << false;
        QTest::newRow("undo more than there is") << "d 2; u; u; u"
                                                 << "1,2,3,4,5,6"
                                                 << "NOMBRE 3" << true;
        QTest::newRow("redo more than there is") << "d 2; u; r; r; r"
                                                 << "1,2,4,5,6"
                                                 << "NOMBRE 4" << false;
        QTest::newRow("a pending edit is stored, then undone") << "p 2 nombres PENDIENTE; u"
                                                               << "1,2,3,4,5,6"
                                                               << "NOMBRE 3" << true;
        QTest::newRow("redo of a pending edit undone") << "p 2 nombres PENDIENTE; u; r"
                                                       << "1,2,3,4,5,6"
                                                       << "PENDIENTE" << false;
        QTest::newRow("lines inserted around a deletion") << "i 1 rut 7; d 3,4; i 3 rut 8; u; u"
                                                          << "1,7,2,3,4,5,6"
                                                          << "2" << true;
        QTest::newRow("a group is one change")
            << "e 2 nombres ANTES; {; a rut 7; i 0 rut 8; c 3:nombres=G|0:rut=9; }; u"
            << "1,2,3,4,5,6"
            << "ANTES" << true;
        QTest::newRow("a group redone whole")
            << "{; a rut 7; i 0 rut 8; c 2:nombres=G|0:rut=9; }; u; r"
            << "9,1,2,3,4,5,6,7"
            << "G" << false;
        QTest::newRow("a change after a group, undone alone")
            << "{; a rut 7; a rut 8; }; e 2 nombres DESPUES; u"
            << "1,2,3,4,5,6,7,8"
            << "NOMBRE 3" << true;
        QTest::newRow("a stored line without a change is no step") << "e 2 nombres NOMBRE 3; u"
                                                                   << "1,2,3,4,5,6"
                                                                   << "NOMBRE 3" << false;
    }

    void combinations() {
        QFETCH(QString, script);
        QFETCH(QString, ruts);
        QFETCH(QString, line2Name);
        QFETCH(bool, canRedo);
        RxMem t;
        fill(t);
        run(t, script);
        QCOMPARE(::ruts(t), ruts);
        const int nameField = line2Name == QLatin1String("2") ? field("rut") : field("nombres");
        QCOMPARE(t.textAt(2, nameField), line2Name);
        QCOMPARE(t.canRedo(), canRedo);
    }

    void savedState_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<bool>("unsaved");
        QTest::newRow("loaded") << "" << false;
        QTest::newRow("changed") << "e 1 nombres X" << true;
        QTest::newRow("changed and undone") << "e 1 nombres X; u" << false;
        QTest::newRow("undone and redone") << "e 1 nombres X; u; r" << true;
        QTest::newRow("written") << "e 1 nombres X; S" << false;
        QTest::newRow("written, then undone") << "e 1 nombres X; S; u" << true;
        QTest::newRow("written, undone, redone") << "e 1 nombres X; S; u; r" << false;
        QTest::newRow("the written state is lost by a new branch")
            << "e 1 nombres X; S; u; e 1 nombres X" << true;
        QTest::newRow("same bytes by another way still count as changed")
            << "e 1 nombres X; e 1 nombres NOMBRE 2" << true;
        QTest::newRow("a pending edit") << "p 1 nombres X" << true;
        QTest::newRow("deleted and restored") << "d 0,1; u" << false;
    }

    void savedState() {
        QFETCH(QString, script);
        QFETCH(bool, unsaved);
        RxMem t;
        fill(t);
        run(t, script);
        QCOMPARE(t.hasUnsavedChanges(), unsaved);
    }

    // Bookmarks keep naming the same lines through an undo or redo, and a
    // deleted line's bookmark is good again once the deletion is undone.
    void bookmarksAfterUndo() {
        RxMem t;
        fill(t);
        const RxMem::Bookmark third = t.bookmarkAt(2), sixth = t.bookmarkAt(5);
        run(t, QStringLiteral("d 0,1,2; i 0 rut 9"));
        QCOMPARE(t.rowOf(third), -1);
        QCOMPARE(t.rowOf(sixth), 3);
        const RxMem::Replayed undone = t.undo();
        QVERIFY(undone.restored.empty());
        QCOMPARE(t.rowOf(sixth), 2);
        const RxMem::Replayed back = t.undo();
        QCOMPARE(back.first, 0);
        QCOMPARE(back.last, 2);
        QCOMPARE(int(back.restored.size()), 3);
        QVERIFY(back.restored[2] == third);
        QCOMPARE(t.rowOf(third), 2);
        QCOMPARE(t.rowOf(sixth), 5);
        t.gotoBookmark(third);
        QCOMPARE(t.textAt(t.row(), field("rut")), QStringLiteral("3"));
        t.redo();
        QCOMPARE(t.rowOf(third), -1);
        QCOMPARE(t.rowOf(sixth), 2);
    }

    void changeMarks_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("cells");      // row:field of every changed cell, line order
        QTest::addColumn<QList<int>>("summary"); // changed, added, deleted
        QTest::newRow("loaded") << ""
                                << "" << QList<int>{0, 0, 0};
        QTest::newRow("one cell") << "e 1 nombres X"
                                  << "1:nombres" << QList<int>{1, 0, 0};
        QTest::newRow("changed back by hand") << "e 1 nombres X; e 1 nombres NOMBRE 2"
                                              << "" << QList<int>{0, 0, 0};
        QTest::newRow("undone") << "e 1 nombres X; u"
                                << "" << QList<int>{0, 0, 0};
        QTest::newRow("mass modification")
            << "m impo_afp 3000"
            << "0:impo_afp,1:impo_afp,3:impo_afp,4:impo_afp,5:impo_afp" << QList<int>{5, 0, 0};
        QTest::newRow("assignment then a write") << "s 0,1 nombres X; S"
                                                 << "" << QList<int>{0, 0, 0};
        QTest::newRow("written, then undone") << "s 0,1 nombres X; S; u"
                                              << "0:nombres,1:nombres" << QList<int>{2, 0, 0};
        QTest::newRow("an added line: every cell") << "i 1 rut 9"
                                                   << "1:*" << QList<int>{0, 1, 0};
        QTest::newRow("deleted lines") << "d 1,2"
                                       << "" << QList<int>{0, 0, 2};
        QTest::newRow("deleted after a write, then undone") << "d 1,2; S; u"
                                                            << "1:*,2:*" << QList<int>{0, 2, 0};
        QTest::newRow("an amount set to 0; a pending edit is not marked yet")
            << "e 3 impo_afp 0; p 0 nombres Y"
            << "3:impo_afp" << QList<int>{1, 0, 0};
    }

    void changeMarks() {
        QFETCH(QString, script);
        QFETCH(QString, cells);
        QFETCH(QList<int>, summary);
        RxMem t;
        fill(t);
        run(t, script);
        QStringList seen;
        for (int r = 0; r < t.recordCount(); ++r) {
            int count = 0;
            QString one;
            for (int f = 0; f < kFieldCount; ++f)
                if (t.cellChanged(r, f)) {
                    ++count;
                    one = QString::fromLatin1(kFields[std::size_t(f)].name);
                }
            QCOMPARE(t.lineChanged(r), count > 0);
            if (count == kFieldCount)
                seen << QStringLiteral("%1:*").arg(r);
            else if (count == 1)
                seen << QStringLiteral("%1:%2").arg(r).arg(one);
            else if (count > 1)
                seen << QStringLiteral("%1:%2 fields").arg(r).arg(count);
        }
        QCOMPARE(seen.join(QLatin1Char(',')), cells);
        const RxMem::ChangeSummary c = t.changesSinceSaved();
        QCOMPARE((QList<int>{c.changed, c.added, c.deleted}), summary);
    }

    // A loaded file is the saved state: nothing to undo, nothing marked.
    void loadIsTheSavedState() {
        RxMem t;
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, t);
        QCOMPARE(t.recordCount(), 2);
        QVERIFY(!t.canUndo());
        QVERIFY(!t.hasUnsavedChanges());
        QVERIFY(!t.lineChanged(0) && !t.lineChanged(1));
        const RxMem::ChangeSummary c = t.changesSinceSaved();
        QCOMPARE(c.changed + c.added + c.deleted, 0);
    }
};

QTEST_GUILESS_MAIN(TestUndo)
#include "tst_undo.moc"
