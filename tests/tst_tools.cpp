// The listing's tools over the whole table or the selection: search by RUT,
// mass modification, and the work-day type and cost-centre assignments.

#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/codes/CodeTableFile.h"
#include "ui/app/AppMessage.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/UnitBuscar.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "ui/listing/UnitModMasiva.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/RadioGroup.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

QString cfgPath() {
    return QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg");
}

QStringList column(TFrmSolvanta& l, const char* name) {
    QStringList out;
    for (int r = 0; r < l.table().recordCount(); ++r)
        out << l.table().textAt(r, field(name));
    return out;
}

} // namespace

class TestTools : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

    // A listing whose lines have these RUTs.
    OpenListing listingWithRuts(const QList<int>& ruts) {
        auto l = listingOf(tmp_, int(ruts.size()));
        for (int r = 0; r < ruts.size(); ++r) {
            l->table().moveTo(r);
            l->table().edit();
            l->table().setNumber(field("rut"), ruts[r]);
            l->table().post();
        }
        return l;
    }

private slots:
    void initTestCase() { QVERIFY(placeCodeTableBesideProgram()); }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    // ---- search by RUT ----------------------------------------------------------

    void search_data() {
        QTest::addColumn<QList<int>>("ruts");
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("found"); // -1: "Rut no encontrado"
        QTest::newRow("two contracts: the first") << QList<int>{5, 7, 5} << 2 << "5" << 0;
        QTest::newRow("the current line's own") << QList<int>{5, 7, 9} << 1 << "7" << 1;
        QTest::newRow("exact, not a prefix") << QList<int>{12345, 1234} << 0 << "1234" << 1;
        QTest::newRow("empty finds rut 0") << QList<int>{5, 0, 9} << 2 << "" << 1;
        QTest::newRow("empty without rut 0") << QList<int>{5, 7} << 1 << "" << -1;
        QTest::newRow("not in the file") << QList<int>{5, 7, 9} << 1 << "8" << -1;
        // As people write a RUT: grouped, with its check character.
        QTest::newRow("dots and check character")
            << QList<int>{5, 12345678, 9} << 0 << "12.345.678-5" << 1;
        QTest::newRow("dash and check character")
            << QList<int>{5, 12345678, 9} << 2 << "12345678-5" << 1;
        QTest::newRow("dots") << QList<int>{5, 12345678, 9} << 0 << "12.345.678" << 1;
        QTest::newRow("check K") << QList<int>{5, 9876543, 9} << 0 << "9.876.543-k" << 1;
    }

    void search() {
        QFETCH(QList<int>, ruts);
        QFETCH(int, current);
        QFETCH(QString, typed);
        QFETCH(int, found);
        auto l = listingWithRuts(ruts);
        showGrid(*l);
        clickCell(*l, current, 2);
        if (found < 0) d().expectInform(QStringLiteral("Rut no encontrado"));
        withDialog(*l, "Buscar1", [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Buscar Rut"));
            auto* rut = ctl<QLineEdit>(w, "OvcERut");
            QTRY_COMPARE(QApplication::focusWidget(), rut);
            QTest::keyClicks(rut, typed);
            click(w, "BitBtn1");
            if (found >= 0) return;
            // The dialog stays, with the number, for a correction.
            QVERIFY(w->isVisible());
            QCOMPARE(rut->text(), typed);
            QCOMPARE(l->table().row(), current);
            QTRY_COMPARE(QApplication::focusWidget(), rut);
            click(w, "BitBtn2");
        });
        QCOMPARE(l->table().row(), found >= 0 ? found : current);
        QCOMPARE(l->grid()->currentIndex().row(), found >= 0 ? found : current);
    }

    // By surname, typed in the second box with the keys: accents and case do
    // not matter, both surnames or the maternal one alone are found, and the
    // search goes on from the line after the current one, round to the first.
    void searchBySurname_data() {
        QTest::addColumn<QStringList>("surnames"); // "PATERNO MATERNO" per line
        QTest::addColumn<int>("current");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("found"); // -1: not found
        const QStringList three{u"ROJAS SOTO"_s, u"NÚÑEZ ESPINOZA"_s, u"PÉREZ LÓPEZ"_s};
        const QStringList twice{u"ROJAS ARAYA"_s, u"PÉREZ SOTO"_s, u"ROJAS TORRES"_s};
        QTest::newRow("no accents, small letters") << three << 0 << u"nunez"_s << 1;
        QTest::newRow("both surnames") << three << 0 << u"Núñez esp"_s << 1;
        QTest::newRow("maternal alone") << three << 0 << u"LOPEZ"_s << 2;
        QTest::newRow("the next one after the current") << twice << 0 << u"rojas"_s << 2;
        QTest::newRow("round to the first") << twice << 2 << u"rojas"_s << 0;
        QTest::newRow("part of a word is no match") << three << 0 << u"spinoza"_s << -1;
    }

    void searchBySurname() {
        QFETCH(QStringList, surnames);
        QFETCH(int, current);
        QFETCH(QString, typed);
        QFETCH(int, found);
        auto l = listingOf(tmp_, int(surnames.size()));
        for (int r = 0; r < surnames.size(); ++r) {
            l->table().moveTo(r);
            l->table().edit();
            l->table().setText(field("ape_pat"), surnames[r].section(u' ', 0, 0));
            l->table().setText(field("ape_mat"), surnames[r].section(u' ', 1));
            l->table().post();
        }
        showGrid(*l);
        clickCell(*l, current, 2);
        if (found < 0)
            d().expectInform(u"No hay ningún trabajador con apellido «%1»."_s.arg(typed));
        withDialog(*l, "Buscar1", [&](QWidget* w) {
            QTRY_COMPARE(QApplication::focusWidget(), ctl<QLineEdit>(w, "OvcERut"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            auto* surname = ctl<QLineEdit>(w, "EdApellido");
            QCOMPARE(QApplication::focusWidget(), surname);
            typeText(surname, typed);
            QTest::keyClick(surname, Qt::Key_Tab);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // Aceptar
            if (found >= 0) return;
            QVERIFY(w->isVisible());
            QTRY_COMPARE(QApplication::focusWidget(), surname);
            click(w, "BitBtn2");
        });
        QCOMPARE(l->table().row(), found >= 0 ? found : current);
        QCOMPARE(l->grid()->currentIndex().row(), found >= 0 ? found : current);
    }

    // A line found is current alone, as after a move with the keys: the row
    // clicked before is no longer blue, so "Eliminar" or an assignment cannot
    // seem to be about it. A search that finds nothing keeps the selection.
    void searchLeavesTheFoundLineAlone_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("current");
        QTest::addColumn<QList<int>>("selected");
        QTest::newRow("found") << "9" << 2 << QList<int>{};
        QTest::newRow("not found") << "4" << 0 << QList<int>{0};
    }

    void searchLeavesTheFoundLineAlone() {
        QFETCH(QString, typed);
        QFETCH(int, current);
        QFETCH(QList<int>, selected);
        auto l = listingWithRuts({5, 7, 9});
        showGrid(*l);
        clickCell(*l, 0, 2);
        QCOMPARE(selectedRows(*l), QList<int>{0});
        if (current == 0) d().expectInform(QStringLiteral("Rut no encontrado"));
        withDialog(*l, "Buscar1", [&](QWidget* w) {
            QTest::keyClicks(ctl<QLineEdit>(w, "OvcERut"), typed);
            click(w, "BitBtn1");
            if (w->isVisible()) click(w, "BitBtn2");
        });
        QCOMPARE(l->table().row(), current);
        QCOMPARE(selectedRows(*l), selected);
    }

    // Enter in the RUT field goes on to "Aceptar", and Enter there searches.
    void searchWithEnter() {
        AppMessage enterAsTab;
        qApp->installEventFilter(&enterAsTab);
        auto l = listingWithRuts({5, 7, 9});
        showGrid(*l);
        withDialog(*l, "Buscar1", [&](QWidget* w) {
            auto* rut = ctl<QLineEdit>(w, "OvcERut");
            QTRY_COMPARE(QApplication::focusWidget(), rut);
            QTest::keyClicks(rut, QStringLiteral("9"));
            QTest::keyClick(rut, Qt::Key_Return);
            QCOMPARE(QApplication::focusWidget(), ctl(w, "BitBtn1"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        });
        qApp->removeEventFilter(&enterAsTab);
        QCOMPARE(l->table().row(), 2);
    }

    // The RUT box takes nine digits, the dots and a check character after a
    // dash; nothing else can be typed.
    void rutFieldTakesNineDigitsOnly() {
        RxMem t;
        t.open();
        TFrmBuscar dialog(t);
        auto* rut = ctl<QLineEdit>(&dialog, "OvcERut");
        QTest::keyClicks(rut, QStringLiteral("1234567890"));
        QCOMPARE(rut->text(), QStringLiteral("123456789"));
        rut->clear();
        QTest::keyClicks(rut, QStringLiteral("1x2.345.678-k5"));
        QCOMPARE(rut->text(), QStringLiteral("12.345.678-k"));
    }

    // Dots in the wrong places make no RUT: the search says so, and stays.
    void searchRefusesWhatIsNoRut() {
        auto l = listingWithRuts({5, 7});
        showGrid(*l);
        d().expectInform(
            QStringLiteral("«1.23.4» no es un RUT; escríbalo como 12.345.678-5 o 12345678."));
        withDialog(*l, "Buscar1", [&](QWidget* w) {
            auto* rut = ctl<QLineEdit>(w, "OvcERut");
            QTest::keyClicks(rut, QStringLiteral("1.23.4"));
            click(w, "BitBtn1");
            QVERIFY(w->isVisible());
            click(w, "BitBtn2");
        });
    }

    // ---- mass modification --------------------------------------------------------

    void massModification_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("value"); // an entry or typed text, or the period
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("listed"); // false: asked about, and applied anyway
        QTest::newRow("payment type entry") << "Tipo Pago"
                                            << "01 Remuneraciones del mes"
                                            << "tipo_pago"
                                            << "01" << true;
        QTest::newRow("payment type typed") << "Tipo Pago"
                                            << "5"
                                            << "tipo_pago"
                                            << "5" << false;
        QTest::newRow("payment type typed, listed") << "Tipo Pago"
                                                    << "2"
                                                    << "tipo_pago"
                                                    << "2" << true;
        QTest::newRow("ccaf") << "Código CCAF"
                              << "02 La Araucana"
                              << "cod_CCAF"
                              << "02" << true;
        QTest::newRow("mutual") << "Código Mutual"
                                << "03 Instituto de Seguridad del Trabajo"
                                << "cod_mutual"
                                << "03" << true;
        QTest::newRow("period from") << "Periodo Desde"
                                     << "032024"
                                     << "remu_desde"
                                     << "032024" << true;
        QTest::newRow("period to") << "Periodo Hasta"
                                   << "122025"
                                   << "remu_hasta"
                                   << "122025" << true;
    }

    void massModification() {
        QFETCH(QString, item);
        QFETCH(QString, value);
        QFETCH(QString, fieldName);
        QFETCH(QString, expected);
        QFETCH(bool, listed);
        auto l = listingOf(tmp_, 200);
        showGrid(*l);
        clickCell(*l, 3, 2); // a selection gets no special treatment
        QSignalSpy changes(l->model(), &QAbstractItemModel::dataChanged);
        if (!listed)
            d().expectAsk(QStringLiteral("\"%1\" no está en la lista %2. ¿Aplicar de todos modos?")
                              .arg(value, item),
                          ui::Button::Ok);
        withDialog(*l, "SpeedButton9", [&](QWidget* w) {
            QCOMPARE(w->windowTitle(), QStringLiteral("Modificación Masiva"));
            auto* group = ctl<RadioGroup>(w, "RadioGroup1");
            QCOMPARE(group->itemIndex(), -1);
            for (int i = 0; i < group->count(); ++i)
                if (group->button(i)->text() == item) group->button(i)->click();
            if (fieldName.startsWith(u"remu")) {
                QVERIFY(ctl(w, "CBox1")->isHidden());
                QVERIFY(!ctl(w, "Label2")->isHidden());
                QTest::keyClicks(ctl(w, "OvcPF"), value);
            } else {
                QVERIFY(ctl(w, "OvcPF")->isHidden());
                auto* list = ctl<CodeList>(w, "CBox1");
                QVERIFY(list->count() > 0);
                const int entry = list->findText(value);
                if (entry >= 0)
                    list->setCurrentIndex(entry);
                else
                    QTest::keyClicks(list, value);
            }
            click(w, "BitBtn1");
        });
        const QStringList after = column(*l, fieldName.toLatin1().constData());
        QCOMPARE(after, QStringList(after.size(), expected));
        QCOMPARE(l->table().row(), 199);
        QCOMPARE(l->grid()->currentIndex().row(), 199);
        // One repaint for every line, not one per line.
        int rowsTold = 0;
        for (const QList<QVariant>& c : changes)
            rowsTold += c[1].toModelIndex().row() - c[0].toModelIndex().row() + 1;
        QVERIFY2(changes.size() <= 3, qPrintable(QString::number(changes.size())));
        QVERIFY(rowsTold >= 200);
    }

    void massModificationRefuses_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("no code") << "Código Mutual"
                                 << ""
                                 << "Debe ingresar el nuevo código";
        QTest::newRow("no period") << "Periodo Desde"
                                   << ""
                                   << "Debe ingresar la nueva fecha";
        QTest::newRow("month only") << "Periodo Hasta"
                                    << "03"
                                    << "no es válido";
        QTest::newRow("month 13") << "Periodo Desde"
                                  << "132024"
                                  << "no es válido";
        QTest::newRow("month 00") << "Periodo Desde"
                                  << "002024"
                                  << "no es válido";
        QTest::newRow("short year") << "Periodo Desde"
                                    << "0320"
                                    << "no es válido";
    }

    void massModificationRefuses() {
        QFETCH(QString, item);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        const QStringList desde = column(*l, "remu_desde"), hasta = column(*l, "remu_hasta"),
                          mutual = column(*l, "cod_mutual");
        d().expectInform(message);
        withDialog(*l, "SpeedButton9", [&](QWidget* w) {
            auto* group = ctl<RadioGroup>(w, "RadioGroup1");
            for (int i = 0; i < group->count(); ++i)
                if (group->button(i)->text() == item) group->button(i)->click();
            if (!typed.isEmpty()) QTest::keyClicks(ctl(w, "OvcPF"), typed);
            click(w, "BitBtn1");
            QVERIFY(w->isVisible()); // open for a correction
            click(w, "BitBtn2");
        });
        QCOMPARE(column(*l, "remu_desde"), desde);
        QCOMPARE(column(*l, "remu_hasta"), hasta);
        QCOMPARE(column(*l, "cod_mutual"), mutual);
        QVERIFY(!l->hasUnsavedChanges());
    }

    // A code its list does not hold is written only when the user says so;
    // the question's default is not to.
    void massModificationOutsideTheList_data() {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("listName");
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<bool>("apply");
        QTest::newRow("letters, cancelled") << "Código Mutual"
                                            << "zz"
                                            << "Mutual"
                                            << "cod_mutual" << false;
        QTest::newRow("letters, applied") << "Código Mutual"
                                          << "zz"
                                          << "Mutual"
                                          << "cod_mutual" << true;
        QTest::newRow("number not listed") << "Código CCAF"
                                           << "77"
                                           << "CCAF"
                                           << "cod_CCAF" << false;
    }

    void massModificationOutsideTheList() {
        QFETCH(QString, item);
        QFETCH(QString, typed);
        QFETCH(QString, listName);
        QFETCH(QString, fieldName);
        QFETCH(bool, apply);
        const QByteArray f = fieldName.toLatin1();
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        const QStringList before = column(*l, f.constData());
        d().expectAsk(QStringLiteral("\"%1\" no está en la lista %2. ¿Aplicar de todos modos?")
                          .arg(typed, listName),
                      apply ? ui::Button::Ok : ui::Button::Cancel);
        withDialog(*l, "SpeedButton9", [&](QWidget* w) {
            auto* group = ctl<RadioGroup>(w, "RadioGroup1");
            for (int i = 0; i < group->count(); ++i)
                if (group->button(i)->text() == item) group->button(i)->click();
            QTest::keyClicks(ctl(w, "CBox1"), typed);
            QTest::keyClick(ctl(w, "BitBtn1"), Qt::Key_Space);
            QCOMPARE(w->isVisible(), !apply); // open for a correction
            if (!apply) QCOMPARE(ctl<CodeList>(w, "CBox1")->text(), typed);
        });
        QCOMPARE(d().last().kind, ScriptedDialogs::Kind::Ask);
        QCOMPARE(d().last().defaultButton, ui::Button::Cancel);
        const QStringList after = column(*l, f.constData());
        if (apply)
            QCOMPARE(after, QStringList(after.size(), typed));
        else
            QCOMPARE(after, before);
        QCOMPARE(l->hasUnsavedChanges(), apply);
    }

    // The radio group works as any other: the arrow keys go from item to
    // item, Tab goes on to the value. A click on an item takes the caret to
    // its value.
    void massModificationByKeyboard() {
        auto l = listingOf(tmp_, 4);
        showGrid(*l);
        withDialog(*l, "SpeedButton9", [&](QWidget* w) {
            auto* group = ctl<RadioGroup>(w, "RadioGroup1");
            auto* list = ctl<CodeList>(w, "CBox1");
            QTest::mouseClick(group->button(4), Qt::LeftButton);
            QCOMPARE(group->itemIndex(), 4);
            QTRY_COMPARE(QApplication::focusWidget(), ctl(w, "OvcPF"));
            group->button(0)->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), group->button(0));
            QTest::keyClick(group->button(0), Qt::Key_Space);
            QCOMPARE(group->itemIndex(), 0);
            QCOMPARE(QApplication::focusWidget(), group->button(0));
            // Tipo Pago, Código CCAF, Código Mutual down the first column.
            for (int next : {1, 2}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
                QCOMPARE(group->itemIndex(), next);
                QCOMPARE(QApplication::focusWidget(), group->button(next));
                QCOMPARE(list->text(), QString());
            }
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus == list || list->isAncestorOf(focus));
            QTest::keyClicks(focus, QStringLiteral("03"));
            QTest::keyClick(ctl(w, "BitBtn1"), Qt::Key_Space);
        });
        QCOMPARE(column(*l, "cod_mutual"), QStringList(4, QStringLiteral("03")));
    }

    void massModificationChoices() {
        const QString cfg = tmp_.filePath(QStringLiteral("codigos.cfg"));
        QFile::remove(cfg);
        QVERIFY(QFile::copy(cfgPath(), cfg));
        QFile(cfg).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        RxMem t;
        t.open();
        TFrmModMasiva dialog(t, nullptr, CodeTableFile(cfg));
        dialog.show();
        auto* group = ctl<RadioGroup>(&dialog, "RadioGroup1");
        auto* list = ctl<CodeList>(&dialog, "CBox1");
        auto* period = ctl<PeriodEdit>(&dialog, "OvcPF");
        group->button(4)->click();
        QTest::keyClicks(period, QStringLiteral("0520"));
        group->button(2)->click();
        QCOMPARE(list->count(), 4);
        QTest::keyClicks(list, QStringLiteral("9"));
        // Switching between codes empties the list's text; the lists are
        // read afresh, so a change in the file is offered at once.
        CodeTableFile(cfg).replaceSection(QStringLiteral("CCAF"), {QStringLiteral("09 Nueva")});
        group->button(1)->click();
        QCOMPARE(list->text(), QString());
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->itemText(0), QStringLiteral("09 Nueva"));
        // Back to a period: the text typed before is still there.
        group->button(4)->click();
        QCOMPARE(period->value(), QStringLiteral("05/20  "));
        // No choice at all: says so, and stays open for one.
        TFrmModMasiva none(t, nullptr, CodeTableFile(cfg));
        none.show();
        d().expectInform(QStringLiteral("No eligió qué campo cambiar."));
        click(&none, "BitBtn1");
        QVERIFY(none.isVisible());
        QCOMPARE(none.result(), int(QDialog::Rejected));
    }

    void massModificationWithoutChoiceChangesNothing() {
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        clickCell(*l, 1, 2);
        const QStringList before = column(*l, "tipo_pago");
        d().expectInform(QStringLiteral("No eligió qué campo cambiar."));
        withDialog(*l, "SpeedButton9", [](QWidget* w) {
            click(w, "BitBtn1");
            QVERIFY(w->isVisible());
            click(w, "BitBtn2");
        });
        QCOMPARE(column(*l, "tipo_pago"), before);
        QCOMPARE(l->grid()->currentIndex().row(), 1);
        QVERIFY(!l->hasUnsavedChanges());
    }

    // ---- assignments to the selection -------------------------------------------

    void assignments_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("value"); // item or text
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("expected");
        QTest::newRow("part time") << "Uno1"
                                   << "Parcial"
                                   << "otros_desc_ccaf2"
                                   << "2";
        QTest::newRow("full time") << "Uno1"
                                   << "Completa"
                                   << "otros_desc_ccaf2"
                                   << "1";
        QTest::newRow("cost centre") << "Dos1"
                                     << " Sucursal Ñuñoa "
                                     << "centro_costo"
                                     << " Sucursal Ñuñoa ";
        QTest::newRow("empty cost centre") << "Dos1"
                                           << ""
                                           << "centro_costo"
                                           << "";
    }

    void assignments() {
        QFETCH(QString, action);
        QFETCH(QString, value);
        QFETCH(QString, fieldName);
        QFETCH(QString, expected);
        const char* f = fieldName == u"centro_costo" ? "centro_costo" : "otros_desc_ccaf2";
        auto l = listingOf(tmp_, 8);
        showGrid(*l);
        // Three lines by Ctrl+click, the last one above the first.
        clickCell(*l, 5, 2);
        clickCell(*l, 1, 2, Qt::ControlModifier);
        clickCell(*l, 6, 2, Qt::ControlModifier);
        const QStringList before = column(*l, f);
        withDialog(*l, action.toLatin1().constData(), [&](QWidget* w) {
            auto* reach = ctl<QLabel>(w, "LabelAlcance");
            QVERIFY(reach);
            QCOMPARE(reach->text(), QStringLiteral("Se asignará a 3 líneas."));
            QVERIFY(reach->isVisible());
            if (auto* group = ctl<RadioGroup>(w, "RadioGroup1")) {
                QCOMPARE(group->itemIndex(), 0); // Completa when it opens
                for (int i = 0; i < group->count(); ++i)
                    if (group->button(i)->text() == value) group->button(i)->click();
            } else {
                typeText(ctl<QLineEdit>(w, "Edit1"), value);
            }
            click(w, "BitBtn1");
        });
        const QStringList after = column(*l, f);
        for (int r = 0; r < 8; ++r)
            QCOMPARE(after[r], QList<int>({1, 5, 6}).contains(r) ? expected : before[r]);
        QCOMPARE(selectedRows(*l), QList<int>());
        QCOMPARE(l->table().row(), 6); // the last line changed
        QCOMPARE(l->grid()->currentIndex().row(), 6);
    }

    // A cost centre with a character the file cannot hold is refused with
    // the reason, and no line changes (it became "?" on every line).
    void costCentreOutsideTheCodePage() {
        auto l = listingOf(tmp_, 4);
        showGrid(*l);
        clickCell(*l, 1, 2);
        clickCell(*l, 2, 2, Qt::ControlModifier);
        const QStringList before = column(*l, "centro_costo");
        d().expectError(QStringLiteral("Línea 2: [105] Centro costo: «ŁÓDŹ» tiene «Ł» y «Ź», que "
                                       "el archivo no puede guardar: escriba el texto sin esos "
                                       "caracteres."));
        withDialog(*l, "Dos1", [&](QWidget* w) {
            typeText(ctl<QLineEdit>(w, "Edit1"), QStringLiteral("ŁÓDŹ"));
            click(w, "BitBtn1");
            QVERIFY(w->isVisible()); // to correct it, or cancel
            click(w, "BitBtn2");
        });
        QCOMPARE(column(*l, "centro_costo"), before);
    }

    // How many lines an assignment reaches, said in the dialog.
    void assignmentReach_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QString>("said");
        QTest::newRow("work day, one line") << "Uno1" << QList<int>{2} << "Se asignará a 1 línea.";
        QTest::newRow("work day, two lines")
            << "Uno1" << QList<int>{0, 4} << "Se asignará a 2 líneas.";
        QTest::newRow("cost centre, one line")
            << "Dos1" << QList<int>{5} << "Se asignará a 1 línea.";
        // Lines 1, 3 and 5 shown, the first two selected.
        QTest::newRow("cost centre, under a filter")
            << "Dos1" << QList<int>{-1, 0, 1}
            << "Se asignará a 2 líneas, de las que muestra el filtro.";
    }

    void assignmentReach() {
        QFETCH(QString, action);
        QFETCH(QList<int>, rows);
        QFETCH(QString, said);
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        if (rows.first() < 0) {
            l->filterBy(field("rut"), {u"1"_s, u"3"_s, u"5"_s});
            rows.removeFirst();
        }
        for (int r : rows)
            clickCell(*l, r, 2, r == rows.first() ? Qt::NoModifier : Qt::ControlModifier);
        QCOMPARE(selectedRows(*l), rows);
        withDialog(*l, action.toLatin1().constData(), [&](QWidget* w) {
            auto* reach = ctl<QLabel>(w, "LabelAlcance");
            QVERIFY(reach);
            QCOMPARE(reach->text(), said);
            click(w, "BitBtn2");
        });
        QCOMPARE(selectedRows(*l), rows);
    }

    // With no line selected the dialog says how to select them, and
    // "Aceptar" says it again and changes nothing: no line, not the cursor.
    void assignmentWithoutSelection_data() {
        QTest::addColumn<QString>("action");
        QTest::newRow("work day") << "Uno1";
        QTest::newRow("cost centre") << "Dos1";
    }

    void assignmentWithoutSelection() {
        QFETCH(QString, action);
        const QString noLines = QStringLiteral("No hay líneas seleccionadas: seleccione las líneas "
                                               "con Ctrl+clic o Mayús+flechas.");
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        clickCell(*l, 2, 2);
        // An arrow key moves without selecting.
        QTest::keyClick(l->grid(), Qt::Key_Down);
        QCOMPARE(selectedRows(*l), QList<int>());
        QCOMPARE(l->table().row(), 3);
        const QStringList jornada = column(*l, "otros_desc_ccaf2"),
                          centro = column(*l, "centro_costo");
        d().expectInform(noLines);
        withDialog(*l, action.toLatin1().constData(), [&](QWidget* w) {
            auto* reach = ctl<QLabel>(w, "LabelAlcance");
            QVERIFY(reach);
            QCOMPARE(reach->text(), noLines);
            if (auto* edit = ctl<QLineEdit>(w, "Edit1")) {
                QTRY_COMPARE(QApplication::focusWidget(), edit);
                QTest::keyClicks(edit, QStringLiteral("X"));
            } else {
                auto* group = ctl<RadioGroup>(w, "RadioGroup1");
                group->button(0)->setFocus();
                QTRY_COMPARE(QApplication::focusWidget(), group->button(0));
                QTest::keyClick(group->button(0), Qt::Key_Right); // Parcial
                QCOMPARE(group->itemIndex(), 1);
            }
            QTest::keyClick(ctl(w, "BitBtn1"), Qt::Key_Space);
            QVERIFY(!w->isVisible());
        });
        QCOMPARE(column(*l, "otros_desc_ccaf2"), jornada);
        QCOMPARE(column(*l, "centro_costo"), centro);
        QCOMPARE(l->table().row(), 3);
        QCOMPARE(l->grid()->currentIndex().row(), 3);
        QVERIFY(!l->hasUnsavedChanges());
    }

    // The status bar counts the selected lines when there is more than one.
    void statusBarCountsTheSelection() {
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        auto* label = l->findChild<QLabel*>(QStringLiteral("LabelSeleccion"));
        clickCell(*l, 1, 3);
        QTRY_VERIFY(label->isHidden());
        clickCell(*l, 3, 3, Qt::ControlModifier);
        clickCell(*l, 4, 3, Qt::ControlModifier);
        QTRY_COMPARE(label->text(), QStringLiteral("3 líneas seleccionadas"));
        QVERIFY(label->isVisible());
        clickCell(*l, 5, 3); // a plain click: that line alone
        QTRY_VERIFY(label->isHidden());
    }

    // Ctrl+B, from the grid, opens the search by RUT.
    void searchByKey() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        QString title;
        const ModalAction modal = whenModal([&](QWidget* w) {
            title = w->windowTitle();
            click(w, "BitBtn2");
        });
        QTest::keyClick(l->grid(), Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(title, QStringLiteral("Buscar Rut"));
    }

    void cancelKeepsTheSelection() {
        auto l = listingOf(tmp_, 6);
        showGrid(*l);
        clickCell(*l, 2, 2);
        clickCell(*l, 4, 2, Qt::ControlModifier);
        const QStringList centro = column(*l, "centro_costo");
        for (const char* action : {"Uno1", "Dos1"})
            withDialog(*l, action, [](QWidget* w) { click(w, "BitBtn2"); });
        QCOMPARE(selectedRows(*l), (QList<int>{2, 4}));
        QCOMPARE(column(*l, "centro_costo"), centro);
    }

    // Undo and redo are enabled only when there is something to take back or
    // repeat; every other button and entry always works.
    void everyButtonAndEntryIsEnabled() {
        auto l = listingOf(tmp_, 1);
        const auto followsHistory = [](const QObject* o) {
            return o->objectName().contains(QLatin1String("Deshacer")) ||
                   o->objectName().contains(QLatin1String("Rehacer"));
        };
        for (QToolButton* b : l->findChildren<QToolButton*>())
            QVERIFY2(b->isEnabled() || followsHistory(b), qPrintable(b->objectName()));
        for (const char* menu : {"PopupMenu1", "PopupMenu2", "PopupMenu3"})
            for (QAction* a : l->findChild<QMenu*>(QLatin1String(menu))->actions())
                QVERIFY2(a->isSeparator() || a->isEnabled() || followsHistory(a),
                         qPrintable(a->objectName()));
    }
};

QTEST_MAIN(TestTools)
#include "tst_tools.moc"
