// "Comparar con...": another file against the listing's lines, in a window
// that lists what changed and goes to a line chosen there.

#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/files/DeclarationFile.h"
#include "ui/listing/CompareWindow.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/UnitDespSolvanta.h"

#include <QAction>
#include <QTreeWidget>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

class TestCompareWindow : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

private slots:
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    // Last month's file had RUT 12 less, RUT 99 more and another amount on
    // RUT 7: the window lists each, and Enter on a line of the listing's
    // goes to it, even under a filter that hides it.
    void linesFoundAndChosen() {
        OpenListing l = listingOf(tmp_, 20);
        RxMem before;
        loadDeclaration(l->document().path(), FileForm::Position, before);
        const int afp = field("impo_afp");
        before.moveTo(6); // RUT 7
        before.edit();
        before.setNumber(afp, before.asNumber(afp) + 250000);
        before.post();
        before.moveTo(11); // RUT 12
        before.deleteRecord();
        before.last();
        before.append();
        before.setText(field("rut"), u"99"_s);
        before.setNumber(afp, 1000);
        before.post();
        const QString path = tmp_.filePath(u"mes-anterior.txt"_s);
        writeDeclaration(path, FileForm::Position, before);

        l->filterBy(field("rut"), {u"1"_s});
        QCOMPARE(l->model()->rowCount(), 1);
        d().expectOpen(path);
        l->findChild<QAction*>(u"Comparar1"_s)->trigger();
        auto* window = l->findChild<CompareWindow*>();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QTreeWidget* view = window->linesView();
        QStringList kinds;
        QTreeWidgetItem* changed = nullptr;
        QTreeWidgetItem* added = nullptr;
        QTreeWidgetItem* gone = nullptr;
        for (int i = 0; i < view->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = view->topLevelItem(i);
            if (!kinds.contains(item->text(0))) kinds << item->text(0);
            if (item->text(0) == u"Cambió"_s) changed = item;
            if (item->text(0) == u"Nueva"_s) added = item;
            if (item->text(0) == u"Ya no está"_s) gone = item;
        }
        QVERIFY(changed && added && gone);
        QCOMPARE(changed->text(1), u"7"_s);
        QVERIFY(changed->text(2).startsWith(u"7-"_s) || changed->text(2).startsWith(u"7 "_s));
        QCOMPARE(changed->text(3), fieldTitle(afp));
        QCOMPARE(changed->text(6), u"-250.000"_s);
        QCOMPARE(added->text(1), u"12"_s);
        QVERIFY(gone->text(1).contains(u"mes-anterior.txt"_s));
        // The largest difference first.
        QCOMPARE(view->topLevelItem(0), changed);

        window->activateWindow();
        view->setCurrentItem(changed);
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(l->table().row(), 6);
        QVERIFY(window->isVisible()); // Enter goes to the line; the window stays
        QVERIFY(l->model()->rowOfLine(6) >= 0); // shown, though the filter hid it
        QCOMPARE(l->grid()->currentIndex().row(), l->model()->rowOfLine(6));

        view->setCurrentItem(gone); // in the other file only: nowhere to go
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(l->table().row(), 6);

        // The totals side by side show the difference.
        bool found = false;
        QTreeWidget* totals = window->totalsView();
        for (int i = 0; i < totals->topLevelItemCount(); ++i)
            found = found || (totals->topLevelItem(i)->text(2) == fieldTitle(afp) &&
                              totals->topLevelItem(i)->text(5) != u"0"_s);
        QVERIFY(found);
        window->close();
    }

    // The same file: nothing changed, and the window says so.
    void sameFile() {
        OpenListing l = listingOf(tmp_, 8);
        d().expectOpen(l->document().path());
        l->findChild<QAction*>(u"Comparar1"_s)->trigger();
        auto* window = l->findChild<CompareWindow*>();
        QVERIFY(window);
        QCOMPARE(window->linesView()->topLevelItemCount(), 1);
        QCOMPARE(window->linesView()->topLevelItem(0)->text(0), u"Ninguna línea cambió."_s);
        window->close();
    }
};

QTEST_MAIN(TestCompareWindow)
#include "tst_comparewindow.moc"
