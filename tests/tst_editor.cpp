// The record editor: loading a line into its controls, storing them back with
// the identity checks, add versus modify, and its doors in the listing.

#include "Generator.h"
#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/codes/CodeTableFile.h"
#include "engine/files/DeclarationFile.h"
#include "engine/util/DateText.h"
#include "engine/util/NumberText.h"
#include "ui/app/AppMessage.h"
#include "ui/editor/UnitDatosSolvanta.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "ui/listing/UnitSelFormato.h"
#include "ui/widgets/EntryControls.h"
#include "ui/widgets/RadioGroup.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCalendarWidget>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace solvanta;
using namespace testutil;

namespace {

QString cfgPath() {
    return QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg");
}

// The bytes of a line, to prove that nothing in it changed.
QByteArray lineBytes(const RxMem& t, int row) {
    const RecordView v = t.recordAt(row);
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(recordLayout().size));
}

QByteArray tableBytes(const RxMem& t) {
    QByteArray all;
    for (int r = 0; r < t.recordCount(); ++r)
        all += lineBytes(t, r);
    return all;
}

// Sets a field of the current line as a load would leave it; a null text
// leaves the field without value.
void setField(RxMem& t, const char* name, const QString& value) {
    t.edit();
    if (value.isNull())
        t.clear(field(name));
    else
        t.setText(field(name), value);
    t.post();
}

// What a control shows, in one text: the chosen item of a radio group ("-"
// for none), the text of the others.
QString shown(QWidget* e, const char* name) {
    QWidget* w = ctl(e, name);
    if (auto* r = qobject_cast<RadioGroup*>(w))
        return r->itemIndex() < 0 ? QStringLiteral("-") : r->button(r->itemIndex())->text();
    if (auto* d = qobject_cast<DateEdit*>(w)) return d->isBlank() ? QString() : d->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* p = qobject_cast<PeriodEdit*>(w)) return p->value();
    return qobject_cast<QLineEdit*>(w)->text();
}

// Changes a control as the user would end up with it.
void change(QWidget* e, const char* name, const QString& value) {
    QWidget* w = ctl(e, name);
    if (auto* r = qobject_cast<RadioGroup*>(w)) {
        int item = -1;
        for (int i = 0; i < r->count(); ++i)
            if (r->button(i)->text() == value) item = i;
        r->setItemIndex(item);
    } else if (auto* d = qobject_cast<DateEdit*>(w)) {
        d->lineEdit()->setText(value);
    } else if (auto* c = qobject_cast<CodeList*>(w)) {
        c->setText(value);
    } else if (auto* n = qobject_cast<NumberEdit*>(w)) {
        n->setValue(numtext::parseDecimal(value).value_or(0));
    } else {
        qobject_cast<QLineEdit*>(w)->setText(value);
    }
}

std::unique_ptr<TFrmDatosSolvanta> openEditor(RxMem& t, int flag, const QString& cfg = cfgPath()) {
    auto e = std::make_unique<TFrmDatosSolvanta>(t, flag != 0, nullptr, CodeTableFile(cfg));
    e->show();
    if (!QTest::qWaitForWindowExposed(e.get())) qWarning("editor not shown");
    return e;
}

// After a message about a control, its text is selected, so that what the
// user types replaces the value to correct.
bool selectedForCorrection() {
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (!edit) return true; // a radio group: nothing to select
    if (edit->displayText().isEmpty()) return true;
    return edit->selectionStart() == 0 && edit->selectionLength() == edit->displayText().size();
}

// The control that has the keyboard focus: a list, a date edit or a radio
// group for the parts inside them.
QString focusedControl() {
    QWidget* f = QApplication::focusWidget();
    while (f && f->parentWidget()) {
        QWidget* p = f->parentWidget();
        const bool inside = qobject_cast<QComboBox*>(p) || qobject_cast<DateEdit*>(p) ||
                            qobject_cast<RadioGroup*>(p);
        if (!inside && (!f->objectName().isEmpty() || qobject_cast<QGroupBox*>(p))) break;
        f = p;
    }
    return f ? f->objectName() : QString();
}

// A valid worker identity: RUT 12345678-5, the surname given, name ANA.
void fillIdentity(QWidget* e, const QString& surname) {
    change(e, "EdRut", QStringLiteral("12345678"));
    change(e, "EdDV", QStringLiteral("5"));
    change(e, "EdApepat", surname);
    change(e, "EdNombres", QStringLiteral("ANA"));
}

// Brings the tab that holds the control to the front, as a click on it
// would.
void showTabOf(TFrmDatosSolvanta& e, QWidget* control) {
    for (int i = 0; i < e.pages()->count(); ++i)
        if (e.pages()->widget(i)->isAncestorOf(control)) e.pages()->setCurrentIndex(i);
}

bool accept(TFrmDatosSolvanta& e) {
    ctl<QPushButton>(&e, "BitBtn1")->click();
    return e.result() == QDialog::Accepted && !e.isVisible();
}

// Gives a control the keyboard focus as the user would reach it: its tab
// in front, the focus in it (the text inside selected).
QWidget* reach(TFrmDatosSolvanta& e, const char* name) {
    QWidget* w = ctl(&e, name);
    showTabOf(e, w);
    QWidget* target = w;
    if (auto* d = qobject_cast<DateEdit*>(w)) target = d->lineEdit();
    if (auto* c = qobject_cast<QComboBox*>(w)) target = c->lineEdit();
    target->setFocus(Qt::TabFocusReason);
    if (!QTest::qWaitFor([&] { return target->hasFocus(); }, 2000))
        qWarning("no focus in %s", name);
    if (auto* l = qobject_cast<QLineEdit*>(target)) l->selectAll();
    return target;
}

// Replaces what a box holds by typing: the text's keys, or Delete to empty
// it.
void typeInto(TFrmDatosSolvanta& e, const char* name, const QString& text) {
    QWidget* target = reach(e, name);
    if (text.isEmpty())
        QTest::keyClick(target, Qt::Key_Delete);
    else
        typeText(target, text);
}

// Chooses an item as the user does: a radio button by its caption, with a
// key; a list's entry whose text starts with `start`, with the arrow keys
// (an entry already shown is left and chosen again).
void chooseItem(TFrmDatosSolvanta& e, const char* name, const QString& start) {
    QWidget* w = ctl(&e, name);
    showTabOf(e, w);
    if (auto* r = qobject_cast<RadioGroup*>(w)) {
        for (int i = 0; i < r->count(); ++i)
            if (r->button(i)->text() == start) {
                r->button(i)->setFocus(Qt::TabFocusReason);
                QTest::keyClick(r->button(i), Qt::Key_Space);
            }
        return;
    }
    auto* list = qobject_cast<CodeList*>(w);
    int target = -1;
    for (int i = 0; i < list->count() && target < 0; ++i)
        if (list->itemText(i).startsWith(start)) target = i;
    if (target < 0) {
        qWarning("no entry %s in %s", qPrintable(start), name);
        return;
    }
    QWidget* edit = reach(e, name);
    if (list->currentIndex() == target)
        QTest::keyClick(edit, target > 0 ? Qt::Key_Up : Qt::Key_Down);
    while (list->currentIndex() < target)
        QTest::keyClick(edit, Qt::Key_Down);
    while (list->currentIndex() > target)
        QTest::keyClick(edit, Qt::Key_Up);
}

// The field of a RUT box of the editor.
int fieldOfControl(const QString& rutBox) {
    if (rutBox == u"PFRutAfiVol") return field("rut_afi_volun");
    if (rutBox == u"EdRutPagSub") return field("rut_pag_subs");
    return field("rut");
}

// The bytes of one field of line `line` (0-based) in a written file.
QByteArray fieldBytes(const QByteArray& file, FileForm form, int line, int f) {
    const QByteArray text = file.split('\n').value(line).chopped(1); // without CR
    if (form == FileForm::Position)
        return text.mid(kFields[std::size_t(f)].start - 1, kFields[std::size_t(f)].width);
    return text.split(';').value(f);
}

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;
    RxMem t_;

    // The two sample lines, the first (RUT 12345678-5) current.
    // Presses "Aceptar" from another tab than the control's. With a message,
    // nothing is stored and the window comes back to the control, on its
    // tab; without, the field holds `stored`. Whether the line was stored.
    bool acceptFromAnotherTab(TFrmDatosSolvanta& e, const QString& control,
                              const QString& fieldName, const QString& stored,
                              const QString& message, const QByteArray& before) {
        const int tab = e.pages()->currentIndex();
        e.pages()->setCurrentIndex(tab == 0 ? 1 : 0); // the button is pressed from elsewhere
        if (!message.isEmpty()) d().expectInform(message);
        const bool accepted = accept(e);
        [&] {
            QCOMPARE(accepted, message.isEmpty());
            if (accepted) {
                QCOMPARE(t_.textAt(0, field(fieldName.toLatin1().constData())), stored);
            } else {
                QCOMPARE(tableBytes(t_), before);
                QCOMPARE(e.pages()->currentIndex(), tab);
                QTRY_COMPARE(focusedControl(), control);
            }
        }();
        return accepted;
    }

    void loadSample() {
        loadDeclaration(dataFile("dos-lineas-coma.txt"), FileForm::Position, t_);
        t_.first();
    }

    QString cfgWith(const QString& section, const QStringList& entries) {
        const QString path = tmp_.filePath(QStringLiteral("codigos.cfg"));
        QFile::remove(path);
        QFile::copy(cfgPath(), path);
        QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        CodeTableFile(path).replaceSection(section, entries);
        return path;
    }

private slots:
    void initTestCase() {
        datetext::setFormat(QStringLiteral("dd-MM-yyyy"));
        datetext::setToday(QDate(2025, 3, 5));
    }
    void init() {
        d.start();
        t_.close();
        t_.open();
    }
    void cleanup() { d.finish(); }

    // ---- the window -------------------------------------------------------------

    void layoutFitsAndNamesEveryInput() {
        loadSample();
        auto e = openEditor(t_, 0);
        QCOMPARE(e->windowTitle(), QStringLiteral("Modificar Datos"));
        QStringList tabs;
        for (int i = 0; i < e->pages()->count(); ++i)
            tabs << e->pages()->tabText(i);
        QCOMPARE(tabs,
                 (QStringList{QStringLiteral("Datos Trabajador"),
                              QStringLiteral("Datos AFP - APVI - APVC"),
                              QStringLiteral("Datos Afi. Voluntario - INP - Salud"),
                              QStringLiteral("Datos CCAF - Mutual - Cesantía - Centro Costo")}));
        // Fits a 1366 x 768 screen with the title bar and the panel.
        QVERIFY2(e->frameGeometry().width() <= 1366 && e->frameGeometry().height() <= 700,
                 qPrintable(QStringLiteral("%1 x %2").arg(e->width()).arg(e->height())));
        // Every input is announced by its label.
        int inputs = 0;
        for (QWidget* w : e->findChildren<QWidget*>()) {
            if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w) &&
                !qobject_cast<DateEdit*>(w))
                continue;
            if (qobject_cast<QComboBox*>(w->parentWidget()) ||
                qobject_cast<DateEdit*>(w->parentWidget()))
                continue; // the edit inside a list or a date edit
            ++inputs;
            const auto labels = e->findChildren<QLabel*>();
            const bool hasBuddy = std::any_of(labels.begin(), labels.end(),
                                              [w](QLabel* l) { return l->buddy() == w; });
            QVERIFY2(hasBuddy, qPrintable(w->objectName()));
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
        QCOMPARE(inputs, 105 - 8); // all but the eight radio groups
    }

    // Tab, and Enter as Tab, walk the first tab in the order of the form,
    // through every kind of control.
    void keyboardOrderFollowsTheForm_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Tab") << int(Qt::Key_Tab);
        QTest::newRow("Enter") << int(Qt::Key_Return);
    }

    void keyboardOrderFollowsTheForm() {
        QFETCH(int, key);
        AppMessage enterAsTab;
        qApp->installEventFilter(&enterAsTab);
        loadSample();
        auto e = openEditor(t_, 0);
        QTRY_COMPARE(QApplication::focusWidget(), ctl(e.get(), "EdRut"));
        const char* order[] = {
            "EdDV",          "RGpSexo",        "EdApepat",
            "EdApeMat",      "EdNombres",      "RGNacionalidad",
            "CBxTipoPago",   "EdPerDesde",     "EdPerHasta",
            "RGpRegPrevi",   "CBxTTrabajador", "CuEdDiasTrab",
            "CBxTipoLinea",  "CBxMovPersonal", "DEdMovDesde",
            "DEdMovHasta",   "CBxTramoFam",    "EdCargasSimples",
            "EdCargasMater", "EdCargasInva",   "CuEdAsigFamiliar",
            "CuEdAsigRetro", "CuEdReintegro",  "RGSubsiTrabajador",
            "BitBtn1",
        };
        for (const char* name : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            QCOMPARE(focusedControl(), QLatin1String(name));
        }
        qApp->removeEventFilter(&enterAsTab);
    }

    void tabsAreHighlightedExceptTheActiveOne() {
        auto e = openEditor(t_, 1);
        auto highlighted = [&] {
            QList<bool> h;
            for (int i = 0; i < 4; ++i)
                h << e->pages()->isTabHighlighted(i);
            return h;
        };
        QCOMPARE(e->pages()->currentIndex(), 0);
        QCOMPARE(highlighted(), (QList<bool>{false, true, true, true}));
        e->pages()->setCurrentIndex(2);
        QCOMPARE(highlighted(), (QList<bool>{true, true, false, true}));
    }

    // ---- loading a line ---------------------------------------------------------

    void loadRules_data() {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("value"); // null: no value
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* tag, const char* f, const QString& v, const char* c,
                      const QString& x) {
            QTest::newRow(tag) << QString::fromLatin1(f) << v << QString::fromLatin1(c) << x;
        };
        const auto s = [](const char* text) { return QString::fromUtf8(text); };
        row("rut", "rut", s("12345678"), "EdRut", s("12345678"));
        row("code without zero fill", "nom_AFP", s("5"), "CBxAfp", s("05 Habitat"));
        row("code not in the list", "nom_AFP", s("77"), "CBxAfp", QString());
        row("blank code", "tipo_pago", s("  "), "CBxTipoPago", QString());
        row("apv code 5", "inst_apvi", s("5"), "CBxApvi", s("005 AFP Habitat"));
        row("apv code 005", "inst_apvi", s("005"), "CBxApvi", s("005 AFP Habitat"));
        row("bracket", "Tramo_Fam", s("B"), "CBxTramoFam", s("B Tramo B"));
        row("unknown bracket", "Tramo_Fam", s("X"), "CBxTramoFam", QString());
        row("voluntary movement 00", "cod_mov_per_volun", s("00"), "CBxMovVolun",
            s("00 Sin movimiento en el mes"));
        row("voluntary movement 10", "cod_mov_per_volun", s("10"), "CBxMovVolun",
            s("10 Cese Cotiza. Afiliado Voluntario"));
        row("voluntary movement empty", "cod_mov_per_volun", s(""), "CBxMovVolun", QString());
        row("hasta of one blank", "remu_hasta", s(" "), "EdPerHasta", s("  /    "));
        row("hasta 000000", "remu_hasta", s("000000"), "EdPerHasta", s("00/0000"));
        row("desde", "remu_desde", s("032025"), "EdPerDesde", s("03/2025"));
        row("date of blanks", "Fecha_Desde", s("          "), "DEdMovDesde", QString());
        row("date", "Fecha_Desde", s("15-03-2025"), "DEdMovDesde", s("15-03-2025"));
        row("date without zeros", "Fecha_Desde", s("1-3-2025"), "DEdMovDesde", s("01-03-2025"));
        row("impossible date", "Fecha_Hasta", s("31-02-2025"), "DEdMovHasta", QString());
        row("not a date", "fec_desde_volun", s("2025-03-15"), "DEdDesdeVolun", QString());
        row("amount", "impo_afp", s("1234567"), "CuEdImpoAFP", s("1.234.567"));
        row("amount without value", "impo_afp", QString(), "CuEdImpoAFP", s("0"));
        row("days", "dias_trab", s("30"), "CuEdDiasTrab", s("30"));
        row("days not a number", "dias_trab", s("AB"), "CuEdDiasTrab", s("0"));
        row("rate", "porc_trab_pesado", s("12,5"), "CuEdPorTrabPesado", s("12,50"));
        row("agreed with decimals", "cot_pactada", s("12,5"), "CuEdCotPactada", s("12,50"));
        row("agreed whole", "cot_pactada", s("12"), "CuEdCotPactada", s("12"));
        row("female", "sexo", s("F"), "RGpSexo", s("Femenino"));
        row("female in lower case", "sexo", s("f"), "RGpSexo", s("Femenino"));
        row("male", "sexo", s("M"), "RGpSexo", s("Masculino"));
        row("nationality 1", "nacion", s("1"), "RGNacionalidad", s("Extranjera"));
        row("nationality 0", "nacion", s("0"), "RGNacionalidad", s("Chilena"));
        row("nationality 5", "nacion", s("5"), "RGNacionalidad", s("-"));
        row("regime INP", "reg_previ", s("INP"), "RGpRegPrevi", s("INP"));
        row("regime unknown", "reg_previ", s("XYZ"), "RGpRegPrevi", s("-"));
        row("young worker s", "sub_trab_jov", s("s"), "RGSubsiTrabajador", s("Si"));
        row("young worker empty", "sub_trab_jov", s(""), "RGSubsiTrabajador", s("No"));
        row("payment 2", "forma_pago_apvi", s("2"), "RGFormaPagoAPVI", s("Indirecta"));
        row("payment 0", "forma_pago_apvc", s("0"), "RGFormaPAgoAPVC", s("-"));
        row("currency 1", "moneda_plan", s("1"), "RGpMonedaPlan", s("Pesos"));
        row("currency 2", "moneda_plan", s("2"), "RGpMonedaPlan", s("UF"));
        row("currency 0", "moneda_plan", s("0"), "RGpMonedaPlan", s("-"));
        row("currency empty", "moneda_plan", s(""), "RGpMonedaPlan", s("-"));
        row("work day 0", "otros_desc_ccaf2", s("0"), "RadioGroup1", s("Completa"));
        row("work day 1", "otros_desc_ccaf2", s("1"), "RadioGroup1", s("Completa"));
        row("work day 2", "otros_desc_ccaf2", s("2"), "RadioGroup1", s("Parcial"));
        row("work day 3", "otros_desc_ccaf2", s("3"), "RadioGroup1", s("-"));
        row("name in lower case", "ape_pat", s("pérez"), "EdApepat", s("PÉREZ"));
    }

    void loadRules() {
        QFETCH(QString, fieldName);
        QFETCH(QString, value);
        QFETCH(QString, control);
        QFETCH(QString, expected);
        loadSample();
        setField(t_, fieldName.toLatin1().constData(), value);
        auto e = openEditor(t_, 0);
        QCOMPARE(shown(e.get(), control.toLatin1().constData()), expected);
    }

    // A name read from the position form carries the blanks that fill its
    // columns: the editor shows the name alone, so that what is typed at its
    // end is taken (the fill is written back by the file forms); left alone,
    // the field keeps its blanks.
    void namesShowWithoutTheirFill() {
        loadSample();
        const QString padded = t_.textAt(0, field("ape_pat"));
        QVERIFY2(padded.size() == 30 && padded.endsWith(u' '), qPrintable(padded));
        const QByteArray before = tableBytes(t_);
        {
            auto e = openEditor(t_, 0);
            QCOMPARE(ctl<QLineEdit>(e.get(), "EdApepat")->text(), padded.trimmed());
            QVERIFY(accept(*e));
            QCOMPARE(tableBytes(t_), before);
        }
        auto e = openEditor(t_, 0);
        auto* edit = ctl<QLineEdit>(e.get(), "EdApepat");
        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, QStringLiteral("z"));
        QCOMPARE(edit->text(), padded.trimmed() + u'Z');
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field("ape_pat")), padded.trimmed() + u'Z');
    }

    // A list narrower than its longest entry shows that entry from its start,
    // where the code is: after loading, after a choice with the keys, and
    // after the focus passed through the list.
    void longEntriesShowTheirCode() {
        loadSample();
        auto e = openEditor(t_, 0);
        e->pages()->setCurrentIndex(1);
        auto* list = ctl<CodeList>(e.get(), "CBxApvi");
        int longest = 0;
        for (int i = 1; i < list->count(); ++i)
            if (list->itemText(i).size() > list->itemText(longest).size()) longest = i;
        const QString entry = list->itemText(longest);
        QVERIFY2(list->fontMetrics().horizontalAdvance(entry) > list->lineEdit()->width(),
                 qPrintable(entry));
        const auto start = [&] {
            return list->lineEdit()->inputMethodQuery(Qt::ImCursorRectangle).toRect().left() <
                   2 * list->fontMetrics().averageCharWidth();
        };
        list->chooseEntry(longest);
        QVERIFY(start());
        list->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(list->lineEdit()->hasFocus());
        QTest::keyClick(list->lineEdit(), longest > 0 ? Qt::Key_Up : Qt::Key_Down);
        QTest::keyClick(list->lineEdit(), longest > 0 ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(list->currentIndex(), longest);
        QVERIFY(start());
        list->lineEdit()->end(false);
        QTest::keyClick(list->lineEdit(), Qt::Key_Tab);
        QTRY_VERIFY(!list->lineEdit()->hasFocus());
        QVERIFY(start());
        // Typing is left alone: the caret follows what is typed.
        list->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(list->lineEdit()->hasFocus());
        QTest::keyClicks(list->lineEdit(), QStringLiteral("00"));
        QTest::keyClicks(list->lineEdit(), QStringLiteral("5"));
        QVERIFY2(list->currentText().startsWith(u"005"), qPrintable(list->currentText()));
    }

    void everyControlLoadsOnAnEmptyTable() {
        auto e = openEditor(t_, 0);
        QCOMPARE(shown(e.get(), "EdRut"), QString());
        QCOMPARE(shown(e.get(), "CBxAfp"), QString());
        QCOMPARE(shown(e.get(), "CuEdImpoAFP"), QStringLiteral("0"));
        QCOMPARE(shown(e.get(), "DEdMovDesde"), QString());
        QCOMPARE(shown(e.get(), "RGpSexo"), QStringLiteral("Masculino"));
        QCOMPARE(shown(e.get(), "RGpMonedaPlan"), QStringLiteral("-"));
        // Accepting adds the line as the table's only line.
        fillIdentity(e.get(), QStringLiteral("SOTO"));
        change(e.get(), "CBxTipoPago", QStringLiteral("01 Remuneraciones del mes"));
        change(e.get(), "CBxTTrabajador", QStringLiteral("0 Activo (no pensionado)"));
        change(e.get(), "CBxMovPersonal", QStringLiteral("0 Sin movimiento en el mes"));
        change(e.get(), "EdPerDesde", QStringLiteral("03/2025"));
        d().expectInform(QStringLiteral("Error en el campo \"Nombre AFP\""));
        QVERIFY(!accept(*e));
        QCOMPARE(t_.recordCount(), 0);
        change(e.get(), "CBxAfp", QStringLiteral("05 Habitat"));
        for (const char* list :
             {"CBxCodCajaReg", "CBxCodCajaDesa", "CBxIsapre", "CBxCodigoCcaf", "CBxMutual"})
            ctl<CodeList>(e.get(), list)->chooseEntry(0);
        // No family bracket chosen: the line checks' warning, answered to store.
        d().expectAsk(QStringLiteral("[18] Tramo Fam.: está vacío"), ui::Button::Ok);
        QVERIFY(accept(*e));
        QCOMPARE(t_.recordCount(), 1);
        QCOMPARE(t_.textAt(0, field("rut")), QStringLiteral("12345678"));
        QCOMPARE(t_.textAt(0, field("nom_AFP")), QStringLiteral("5"));
    }

    // ---- keyboard and lists -------------------------------------------------------

    // F4 and Alt+Down open the calendar of the focused date control; in the
    // calendar, Enter takes the day chosen with the arrows and Escape leaves
    // the date as it was. Either closes it and gives the date its focus back.
    void dateCalendarFromTheKeyboard_data() {
        QTest::addColumn<int>("openKey");
        QTest::addColumn<int>("openModifiers");
        QTest::addColumn<int>("closeKey");
        QTest::addColumn<QString>("date");
        const int alt = int(Qt::AltModifier);
        QTest::newRow("F4, Enter") << int(Qt::Key_F4) << 0 << int(Qt::Key_Return)
                                   << QStringLiteral("06-03-2025");
        QTest::newRow("Alt+Down, Enter") << int(Qt::Key_Down) << alt << int(Qt::Key_Enter)
                                         << QStringLiteral("06-03-2025");
        QTest::newRow("F4, Escape") << int(Qt::Key_F4) << 0 << int(Qt::Key_Escape) << QString();
        QTest::newRow("Alt+Down, Escape")
            << int(Qt::Key_Down) << alt << int(Qt::Key_Escape) << QString();
    }

    void dateCalendarFromTheKeyboard() {
        QFETCH(int, openKey);
        QFETCH(int, openModifiers);
        QFETCH(int, closeKey);
        QFETCH(QString, date);
        AppMessage enterAsTab; // as in the program
        qApp->installEventFilter(&enterAsTab);
        auto e = openEditor(t_, 1);
        QTRY_COMPARE(QApplication::focusWidget(), ctl(e.get(), "EdRut"));
        auto* movement = ctl<DateEdit>(e.get(), "DEdMovDesde");
        QTest::mouseClick(movement->lineEdit(), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), movement->lineEdit());
        // Keys go to the window that has them, a popup first.
        auto key = [](int k, Qt::KeyboardModifiers m = {}) {
            QWidget* w = QApplication::activePopupWidget();
            if (!w) w = QApplication::focusWidget()->window();
            QTest::keyClick(w->windowHandle(), Qt::Key(k), m);
        };
        key(openKey, Qt::KeyboardModifiers(openModifiers));
        QCalendarWidget* calendar = nullptr;
        QTRY_VERIFY((calendar = e->findChild<QCalendarWidget*>()) && calendar->isVisible());
        QCOMPARE(calendar->selectedDate(), QDate(2025, 3, 5)); // today, as the edit is empty
        QVERIFY(calendar->isAncestorOf(QApplication::focusWidget()));
        key(Qt::Key_Right); // the next day
        key(closeKey);
        QTRY_VERIFY(!e->findChild<QCalendarWidget*>() ||
                    !e->findChild<QCalendarWidget*>()->isVisible());
        QCOMPARE(shown(e.get(), "DEdMovDesde"), date);
        QTRY_COMPARE(QApplication::focusWidget(), movement->lineEdit());
        QVERIFY(e->isVisible()); // neither key reached the window
        qApp->removeEventFilter(&enterAsTab);
    }

    // An open code list shows every entry whole, however long; the closed
    // list keeps its width in the form.
    void openCodeListsShowWholeEntries() {
        auto e = openEditor(t_, 1);
        int lists = 0;
        for (CodeList* list : e->findChildren<CodeList*>()) {
            if (list->count() == 0) continue;
            ++lists;
            showTabOf(*e, list);
            list->setFocus();
            QTRY_VERIFY(list->hasFocus());
            const int closed = list->width();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F4);
            QAbstractItemView* view = list->view();
            QTRY_VERIFY(view->isVisible());
            for (int i = 0; i < list->count(); ++i) {
                const int needed = view->sizeHintForIndex(list->model()->index(i, 0)).width();
                QVERIFY2(needed <= view->viewport()->width(),
                         qPrintable(QStringLiteral("%1: «%2» needs %3, the list shows %4")
                                        .arg(list->objectName(), list->itemText(i))
                                        .arg(needed)
                                        .arg(view->viewport()->width())));
            }
            list->hidePopup();
            QTRY_VERIFY(!view->isVisible());
            QCOMPARE(list->width(), closed);
        }
        QVERIFY(lists > 10);
    }

    // The one caption for both ways in; a line in the window says whether it
    // adds a line or which line it modifies. The title bar has only the
    // close box.
    void windowSaysWhatItDoes_data() {
        QTest::addColumn<bool>("sample");
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("mode");
        QTest::newRow("modifying the second line") << true << 0 << QStringLiteral("Línea 2 de 2");
        QTest::newRow("adding") << true << 1 << QStringLiteral("Nueva línea");
        QTest::newRow("modifying on an empty table") << false << 0 << QStringLiteral("Nueva línea");
    }

    void windowSaysWhatItDoes() {
        QFETCH(bool, sample);
        QFETCH(int, flag);
        QFETCH(QString, mode);
        if (sample) {
            loadSample();
            t_.moveTo(1);
        }
        auto e = openEditor(t_, flag);
        QCOMPARE(e->windowTitle(), QStringLiteral("Modificar Datos"));
        auto* label = e->findChild<QLabel*>(QStringLiteral("LblModo"));
        QVERIFY(label);
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), mode);
        const Qt::WindowFlags flags = e->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    }

    // ---- the line's problems ------------------------------------------------------

    // Five generated lines, which the line checks find correct; lines 2 and
    // 4 then with a problem each.
    void loadLinesWithProblems() {
        generateDeclaration(t_, 5, 7);
        t_.moveTo(1);
        setField(t_, "sexo", QStringLiteral("X"));
        t_.moveTo(3);
        setField(t_, "dias_trab", QStringLiteral("45"));
        t_.first();
    }

    // The window lists the problems of its line, marks their tabs, and a
    // problem chosen with the keys shows its control.
    void problemsOfTheLineAreListed() {
        loadLinesWithProblems();
        auto e = openEditor(t_, 0);
        QVERIFY(e->shownProblems().isEmpty());
        QVERIFY(e->findChild<QListWidget*>(QStringLiteral("ListaProblemas"))->isHidden());
        e->close();

        t_.moveTo(1);
        e = openEditor(t_, 0);
        QCOMPARE(e->shownProblems(), QStringList{QStringLiteral("[6] Sexo: el sexo debe ser M o F.")});
        HighlightTabWidget* tabs = e->pages();
        QVERIFY(!tabs->tabIcon(0).isNull());
        for (int t = 1; t < tabs->count(); ++t)
            QVERIFY(tabs->tabIcon(t).isNull());
        tabs->setCurrentIndex(3);
        auto* list = e->findChild<QListWidget*>(QStringLiteral("ListaProblemas"));
        QVERIFY(list->isVisible());
        list->setFocus();
        list->setCurrentRow(0);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(tabs->currentIndex(), 0);
        QTRY_VERIFY(ctl(e.get(), "RGpSexo")->isAncestorOf(QApplication::focusWidget()) ||
                    QApplication::focusWidget() == ctl(e.get(), "RGpSexo"));
    }

    // A problem in a value the user changed is asked about before the line
    // is stored; Cancel keeps the window on it with nothing stored. A
    // problem the line already had in a field left alone does not stop
    // "Aceptar".
    void acceptAsksAboutNewProblems() {
        loadLinesWithProblems();
        t_.moveTo(1); // sexo X, left alone
        auto e = openEditor(t_, 0);
        const QByteArray before = lineBytes(t_, 1);
        QVERIFY(accept(*e));
        QCOMPARE(lineBytes(t_, 1), before);

        t_.moveTo(0);
        setField(t_, "Fecha_Desde", QStringLiteral("15-03-2025"));
        e = openEditor(t_, 0);
        typeInto(*e, "DEdMovHasta", QStringLiteral("01032025"));
        d().expectAsk(QStringLiteral("La línea tiene un problema que Solvanta rechazaría:\n\n"
                                     "• [17] Fecha Hasta: la fecha Hasta es anterior a la fecha "
                                     "Desde."),
                      ui::Button::Cancel);
        const QByteArray first = lineBytes(t_, 0);
        QVERIFY(!accept(*e));
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(d().last().defaultButton, ui::Button::Cancel);
        QCOMPARE(lineBytes(t_, 0), first);
        QVERIFY(e->isVisible());
        QCOMPARE(e->shownProblems(),
                 QStringList{QStringLiteral(
                     "[17] Fecha Hasta: la fecha Hasta es anterior a la fecha Desde.")});
        QVERIFY(ctl(e.get(), "DEdMovHasta")->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == ctl(e.get(), "DEdMovHasta"));

        d().expectAsk(QStringLiteral("[17] Fecha Hasta"), ui::Button::Ok);
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field("Fecha_Hasta")), QStringLiteral("01-03-2025"));
    }

    // F8 and Shift+F8 store the line and show the next or previous line
    // with problems, in the same window.
    void movesThroughLinesWithProblems() {
        loadLinesWithProblems();
        auto e = openEditor(t_, 0);
        auto* mode = e->findChild<QLabel*>(QStringLiteral("LblModo"));
        typeInto(*e, "EdApepat", QStringLiteral("PRIMERA"));
        QTest::keyClick(e.get(), Qt::Key_F8);
        QCOMPARE(t_.textAt(0, field("ape_pat")).trimmed(), QStringLiteral("PRIMERA"));
        QCOMPARE(t_.row(), 1);
        QCOMPARE(mode->text(), QStringLiteral("Línea 2 de 5"));
        QCOMPARE(e->shownProblems(), QStringList{QStringLiteral("[6] Sexo: el sexo debe ser M o F.")});
        QVERIFY(e->isVisible());

        // The problem corrected on the way.
        e->pages()->setCurrentIndex(0);
        QTest::mouseClick(ctl<RadioGroup>(e.get(), "RGpSexo")->findChildren<QRadioButton*>().at(0),
                          Qt::LeftButton);
        QTest::keyClick(e.get(), Qt::Key_F8);
        QCOMPARE(t_.textAt(1, field("sexo")), QStringLiteral("F"));
        QCOMPARE(t_.row(), 3);
        QCOMPARE(mode->text(), QStringLiteral("Línea 4 de 5"));
        QVERIFY(e->shownProblems().first().startsWith(QStringLiteral("[13] Días Trabajados")));

        d().expectInform(QStringLiteral("No hay líneas con problemas después de esta."));
        QTest::keyClick(e.get(), Qt::Key_F8);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(t_.row(), 3);

        // Line 2 has none left: back from line 4 there is no earlier one.
        d().expectInform(QStringLiteral("No hay líneas con problemas antes de esta."));
        QTest::keyClick(e.get(), Qt::Key_F8, Qt::ShiftModifier);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(t_.row(), 3);
        QCOMPARE(t_.recordCount(), 5);
    }

    // ---- add mode ---------------------------------------------------------------

    void addModeDefaults_data() {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("period");
        QTest::newRow("5 March 2025") << QDate(2025, 3, 5) << QStringLiteral("03/2025");
        QTest::newRow("15 November 2025") << QDate(2025, 11, 15) << QStringLiteral("11/2025");
    }

    void addModeDefaults() {
        QFETCH(QDate, today);
        QFETCH(QString, period);
        datetext::setToday(today);
        loadSample();
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, 1);
        datetext::setToday(QDate(2025, 3, 5));
        QCOMPARE(shown(e.get(), "EdPerDesde"), period);
        QCOMPARE(shown(e.get(), "EdPerHasta"), period);
        QCOMPARE(shown(e.get(), "RGpSexo"), QStringLiteral("Femenino"));
        QCOMPARE(shown(e.get(), "RGpMonedaPlan"), QStringLiteral("Pesos"));
        QCOMPARE(shown(e.get(), "RGNacionalidad"), QStringLiteral("Chilena"));
        QCOMPARE(shown(e.get(), "RGFormaPagoAPVI"), QStringLiteral("-"));
        QCOMPARE(shown(e.get(), "CBxTipoPago"), QStringLiteral("01 Remuneraciones del mes"));
        QCOMPARE(shown(e.get(), "CBxCodCajaReg"), QStringLiteral("0000 Sin ex caja de previsión"));
        QCOMPARE(shown(e.get(), "CBxTramoFam"), QStringLiteral("D Tramo D"));
        QCOMPARE(shown(e.get(), "CBxAPVC"), QString());
        QCOMPARE(shown(e.get(), "EdCargasSimples"), QStringLiteral("0"));
        QCOMPARE(shown(e.get(), "EdRut"), QString());
        QCOMPARE(e->periodo().cMes + e->periodo().cAno, QString(period).remove(u'/'));
        QCOMPARE(tableBytes(t_), before); // nothing touched until Aceptar
    }

    void addModeWithShortLists_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("control");
        QTest::newRow("three brackets")
            << QStringLiteral("Tramo Familiar")
            << QStringList{QStringLiteral("A Tramo A"), QStringLiteral("B Tramo B"),
                           QStringLiteral("C Tramo C")}
            << QStringLiteral("CBxTramoFam");
        QTest::newRow("no payment types")
            << QStringLiteral("TipoPago") << QStringList() << QStringLiteral("CBxTipoPago");
    }

    void addModeWithShortLists() {
        QFETCH(QString, section);
        QFETCH(QStringList, entries);
        QFETCH(QString, control);
        auto e = openEditor(t_, 1, cfgWith(section, entries));
        QCOMPARE(shown(e.get(), control.toLatin1().constData()), QString());
    }

    void addAcceptedInsertsBeforeTheCurrentLine() {
        loadSample();
        t_.first();
        const QByteArray first = lineBytes(t_, 0);
        auto e = openEditor(t_, 1);
        change(e.get(), "EdRut", QStringLiteral("10000013"));
        // A typed k is a K.
        auto* dv = ctl<QLineEdit>(e.get(), "EdDV");
        dv->setFocus();
        QTest::keyClicks(dv, QStringLiteral("k"));
        QCOMPARE(dv->text(), QStringLiteral("K"));
        change(e.get(), "EdApepat", QStringLiteral("ROJAS"));
        change(e.get(), "EdNombres", QStringLiteral("LUIS"));
        QVERIFY(accept(*e));
        QCOMPARE(t_.recordCount(), 3);
        QCOMPARE(t_.row(), 0);
        QCOMPARE(lineBytes(t_, 1), first);
        const auto text = [&](const char* f) { return t_.textAt(0, field(f)); };
        QCOMPARE(text("rut"), QStringLiteral("10000013"));
        QCOMPARE(text("dv"), QStringLiteral("K"));
        QCOMPARE(text("sexo"), QStringLiteral("F"));
        QCOMPARE(text("remu_desde"), QStringLiteral("032025"));
        QCOMPARE(text("tipo_pago"), QStringLiteral("01"));
        QCOMPARE(text("tipo_linea"), QStringLiteral("00"));
        QCOMPARE(text("nom_AFP"), QStringLiteral("0"));
        QCOMPARE(text("cod_ex_caja"), QStringLiteral("0"));
        QCOMPARE(text("inst_apvi"), QStringLiteral("000"));
        QCOMPARE(text("inst_apvc"), QString());
        QCOMPARE(text("Tramo_Fam"), QStringLiteral("D"));
        QCOMPARE(text("num_car_sim"), QStringLiteral("0"));
        QCOMPARE(text("forma_pago_apvi"), QStringLiteral("2"));
        QCOMPARE(text("moneda_plan"), QStringLiteral("1"));
        QCOMPARE(text("otros_desc_ccaf2"), QStringLiteral("1"));
        QCOMPARE(text("rut_pag_subs"), QStringLiteral("0"));
        QCOMPARE(text("Fecha_Desde"), QString());
        QCOMPARE(text("impo_afp"), QStringLiteral("0"));
    }

    // ---- storing ----------------------------------------------------------------

    void storeRules_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("expected");
        // The problem the line checks find in the stored value, which the
        // editor asks about before storing it (answered: store it).
        QTest::addColumn<QString>("warning");
        auto row = [](const char* tag, const char* c, const QString& v, const char* f,
                      const QString& x, const char* warning = "") {
            QTest::newRow(tag) << QString::fromLatin1(c) << v << QString::fromLatin1(f) << x
                               << QString::fromUtf8(warning);
        };
        const auto s = [](const char* text) { return QString::fromUtf8(text); };
        row("afp code 05", "CBxAfp", s("05 Habitat"), "nom_AFP", s("5"));
        row("caja code 1001", "CBxCodCajaReg", s("1001 Servicio de Seguro Social"), "cod_ex_caja",
            s("1001"));
        row("apv code 005", "CBxApvi", s("005 AFP Habitat"), "inst_apvi", s("005"));
        row("apv empty", "CBxAPVC", s(""), "inst_apvc", s(""));
        row("line type 01", "CBxTipoLinea", s("01 Línea adicional"), "tipo_linea", s("01"));
        row("line type empty", "CBxTipoLinea", s(""), "tipo_linea", s("00"));
        row("worker type", "CBxTTrabajador", s("2 Pensionado y no cotiza"), "tipo_trab", s("2"));
        row("payment type", "CBxTipoPago", s("03 Bono"), "tipo_pago", s("03"));
        row("bracket", "CBxTramoFam", s("S Sin derecho"), "Tramo_Fam", s("S"));
        row("voluntary movement", "CBxMovVolun",
            s("01 Inicio de cotización de afiliado voluntario"), "cod_mov_per_volun", s("01"));
        row("voluntary movement 10", "CBxMovVolun", s("10 Cese Cotiza. Afiliado Voluntario"),
            "cod_mov_per_volun", s("10"));
        row("voluntary afp empty", "CBxAfpVolun", s(""), "cod_afp_volun", s(""));
        row("hasta empty", "EdPerHasta", s(""), "remu_hasta", s("000000"));
        row("desde", "EdPerDesde", s("03/2025"), "remu_desde", s("032025"));
        row("date", "DEdMovDesde", s("01-04-2025"), "Fecha_Desde", s("01-04-2025"));
        row("date emptied", "DEdMovDesde", s(""), "Fecha_Desde", s(""));
        row("payer rut empty", "EdRutPagSub", s(""), "rut_pag_subs", s("0"));
        row("count empty", "EdCargasSimples", s(""), "num_car_sim", s("0"));
        row("count", "EdCargasMater", s("2"), "num_car_mat", s("2"));
        row("days", "CuEdDiasTrab", s("25"), "dias_trab", s("25"));
        row("amount", "CuEdImpoAFP", s("1234,5"), "impo_afp", s("1234,5"),
            "[27] Impo. afp: tiene decimales");
        row("female", "RGpSexo", s("Femenino"), "sexo", s("F"));
        row("foreign", "RGNacionalidad", s("Extranjera"), "nacion", s("1"));
        row("no regime", "RGpRegPrevi", s("-"), "reg_previ", s("SIP"));
        row("young worker", "RGSubsiTrabajador", s("Si"), "sub_trab_jov", s("S"));
        row("payment direct", "RGFormaPagoAPVI", s("Directa"), "forma_pago_apvi", s("1"));
        row("payment none", "RGFormaPAgoAPVC", s("-"), "forma_pago_apvc", s("2"));
        row("currency UF", "RGpMonedaPlan", s("UF"), "moneda_plan", s("2"));
        row("full day", "RadioGroup1", s("Completa"), "otros_desc_ccaf2", s("1"));
        row("part day", "RadioGroup1", s("Parcial"), "otros_desc_ccaf2", s("2"));
        row("surname", "EdApeMat", s("SOTO"), "ape_mat", s("SOTO"));
    }

    void storeRules() {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, fieldName);
        QFETCH(QString, expected);
        loadSample();
        // Controls that start out other than the wanted value, so the
        // change is the user's.
        setField(t_, "otros_desc_ccaf2", QStringLiteral("3"));
        setField(t_, "forma_pago_apvc", QStringLiteral("1"));
        setField(t_, "nacion", QStringLiteral("0"));
        setField(t_, "moneda_plan", QStringLiteral("1"));
        setField(t_, "inst_apvc", QStringLiteral("3"));
        const QByteArray before = lineBytes(t_, 0);
        auto e = openEditor(t_, 0);
        change(e.get(), control.toLatin1().constData(), value);
        QFETCH(QString, warning);
        if (!warning.isEmpty()) d().expectAsk(warning, ui::Button::Ok);
        QVERIFY(accept(*e));
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(t_.recordCount(), 2);
        QCOMPARE(t_.textAt(0, field(fieldName.toLatin1().constData())), expected);
        // Nothing else of the line changed.
        const RecordView was(reinterpret_cast<const std::byte*>(before.constData()));
        for (int f = 0; f < kFieldCount; ++f)
            if (f != field(fieldName.toLatin1().constData()))
                QCOMPARE(t_.textAt(0, f), was.text(f));
    }

    // Opening a line and accepting it changes nothing, whatever the line
    // holds; the normalisations the position form writes back stay.
    void acceptingAnUntouchedLineChangesNothing() {
        QRandomGenerator rng(20261210);
        const auto pick = [&](std::initializer_list<const char*> values) {
            const auto i = rng.bounded(int(values.size()));
            const char* v = *(values.begin() + i);
            return v ? QString::fromUtf8(v) : QString();
        };
        const int lines = 1500;
        for (int n = 0; n < lines; ++n) {
            t_.insert();
            // A valid RUT and the identity the checks ask for.
            const int rut = 1000000 + n * 7919;
            int sum = 0, factor = 2;
            for (int v = rut; v > 0; v /= 10) {
                sum += (v % 10) * factor;
                factor = factor == 7 ? 2 : factor + 1;
            }
            const int check = 11 - sum % 11;
            t_.setText(field("rut"), QString::number(rut));
            t_.setText(field("dv"), check == 10 ? pick({"K", "k"}) : QString::number(check % 11));
            t_.setText(field("ape_pat"), pick({"MUÑOZ", "pérez", "Soto  ", "O'HIGGINS"}));
            t_.setText(field("nombres"), pick({"ANA", "josé maría", "Ñandú"}));
            t_.setText(field("sexo"), pick({"M", "F", "f", "m", " ", "X"}));
            t_.setText(field("nacion"), pick({"0", "1", "5"}));
            t_.setText(field("tipo_pago"), pick({"01", "02", "1", "  ", "99", "AB", ""}));
            t_.setText(field("remu_desde"), pick({"032024", "      ", "13AB24"}));
            t_.setText(field("remu_hasta"), pick({"000000", "      ", "032024"}));
            t_.setText(field("reg_previ"), pick({"AFP", "INP", "SIP", "afp", "XX ", "   "}));
            t_.setText(field("tipo_trab"), pick({"0", "1", "9", "A", " "}));
            t_.setText(field("dias_trab"), pick({"30", "05", "", "AB", "7"}));
            t_.setText(field("tipo_linea"), pick({"00", "01", "7", "", "XY"}));
            t_.setText(field("cod_mov"), pick({"0", "5", "12", ""}));
            t_.setText(field("Fecha_Desde"), pick({"15-03-2024", "31-02-2024", "2024-03-15",
                                                   "          ", "", "01/03/2024"}));
            t_.setText(field("Fecha_Hasta"), pick({"15-03-2024", "", "ayer      "}));
            t_.setText(field("Tramo_Fam"), pick({"A", "b", "S", "Z", " "}));
            t_.setText(field("num_car_sim"), pick({"0", "3", "", "AB", "03"}));
            t_.setText(field("num_car_mat"), pick({"0", "1", " ", "x"}));
            t_.setText(field("sub_trab_jov"), pick({"S", "N", "s", " ", "x"}));
            t_.setText(field("nom_AFP"), pick({"3", "05", "6", "77", "", "AB"}));
            t_.setText(field("tasa_pac_afp"), pick({"4,5", "4.5", "", "x"}));
            t_.setText(field("num_per_sust"), pick({"7", "07", ""}));
            t_.setText(field("per_desde_sust"), pick({"15-03-2024", "  15-03-24", ""}));
            t_.setText(field("inst_apvi"), pick({"005", "5", "", "999", "ABC"}));
            t_.setText(field("forma_pago_apvi"), pick({"1", "2", "0", " "}));
            t_.setText(field("inst_apvc"), pick({"003", "", "1"}));
            t_.setText(field("forma_pago_apvc"), pick({"1", "2", "0", " "}));
            t_.setText(field("rut_afi_volun"), pick({"11111111", "", "0", "00011111111", "12a"}));
            t_.setText(field("dv_afi_volun"), pick({"3", "k", ""}));
            t_.setText(field("cod_mov_per_volun"), pick({"00", "01", "10", "5", "", "AB"}));
            t_.setText(field("fec_desde_volun"), pick({"15-03-2024", "", "99-99-9999"}));
            t_.setText(field("cod_afp_volun"), pick({"08", "8", "", "99"}));
            t_.setText(field("num_per_cotiza"), pick({"3", "", "31"}));
            t_.setText(field("cod_ex_caja"), pick({"0", "1001", "0101", "7", ""}));
            t_.setText(field("cod_ex_caja_des"), pick({"0", "1002", ""}));
            t_.setText(field("cod_inst_salud"), pick({"7", "07", "6", ""}));
            t_.setText(field("num_FUN"), pick({"123456789012", "0001234", "ABC", ""}));
            t_.setText(field("moneda_plan"), pick({"1", "2", "0", ""}));
            t_.setText(field("cot_pactada"), pick({"12,5", "12", "0,123"}));
            t_.setText(field("cod_CCAF"), pick({"2", "02", "9", ""}));
            t_.setText(field("otros_desc_ccaf2"), pick({"0", "1", "2", "3", "1,5"}));
            t_.setText(field("cod_sucur_ccaf"), pick({"15000", "abc", ""}));
            t_.setText(field("cod_mutual"), pick({"3", "03", "9", ""}));
            t_.setText(field("sucur_mutual"), pick({"91", "091", "", "A1"}));
            t_.setText(field("rut_pag_subs"), pick({"76543210", "", "0", "0076543210"}));
            t_.setText(field("dv_pag_subs"), pick({"K", "k", ""}));
            t_.setText(field("centro_costo"), pick({"SUCURSAL ÑUÑOA", "norte", ""}));
            if (rng.bounded(4) == 0) t_.clear(field("impo_afp"));
            t_.post();
        }
        // As a file gives them.
        const QString file = tmp_.filePath(QStringLiteral("variado.txt"));
        writeDeclaration(file, FileForm::Position, t_);
        loadDeclaration(file, FileForm::Position, t_);
        const QString reference = tmp_.filePath(QStringLiteral("referencia.txt"));
        writeDeclaration(reference, FileForm::Position, t_);
        for (int row = 0; row < t_.recordCount(); ++row) {
            t_.moveTo(row);
            const QByteArray before = lineBytes(t_, row);
            auto e = openEditor(t_, 0);
            QVERIFY2(accept(*e),
                     qPrintable(QStringLiteral("line %1: %2").arg(row + 1).arg(d().last().text)));
            // Every field keeps its exact text, zero fill included.
            const RecordView was(reinterpret_cast<const std::byte*>(before.constData()));
            QStringList changed;
            for (int f = 0; f < kFieldCount; ++f)
                if (t_.textAt(row, f) != was.text(f))
                    changed << QStringLiteral("%1 «%2» → «%3»")
                                   .arg(fieldTitle(f), was.text(f), t_.textAt(row, f));
            QVERIFY2(
                changed.isEmpty(),
                qPrintable(QStringLiteral("line %1: %2").arg(row + 1).arg(changed.join(u", "))));
        }
        const QString written = tmp_.filePath(QStringLiteral("aceptado.txt"));
        writeDeclaration(written, FileForm::Position, t_);
        QVERIFY(readAll(written) == readAll(reference));
        QCOMPARE(t_.recordCount(), lines);
    }

    // Left alone, a zero-filled code and a blank period keep their bytes:
    // the separator form writes them as the table holds them.
    void untouchedFieldsKeepTheirBytes() {
        loadSample();
        setField(t_, "nom_AFP", QStringLiteral("05"));
        setField(t_, "remu_hasta", QStringLiteral(" "));
        auto e = openEditor(t_, 0);
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field("nom_AFP")), QStringLiteral("05"));
        QCOMPARE(t_.textAt(0, field("remu_hasta")), QStringLiteral(" "));
    }

    // A control the user changed stores what it shows, even where the line
    // held something it could not show.
    void touchedControlsStoreWhatTheyShow() {
        loadSample();
        setField(t_, "sexo", QStringLiteral("f"));
        setField(t_, "nom_AFP", QStringLiteral("77"));
        auto e = openEditor(t_, 0);
        change(e.get(), "RGpSexo", QStringLiteral("Masculino"));
        change(e.get(), "RGpSexo", QStringLiteral("Femenino")); // back: untouched
        change(e.get(), "CBxAfp", QStringLiteral("08 ProVida"));
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field("sexo")), QStringLiteral("f"));
        QCOMPARE(t_.textAt(0, field("nom_AFP")), QStringLiteral("8"));
    }

    // ---- checks and failures ----------------------------------------------------

    void identityChecks_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        auto row = [](const char* tag, const char* c, const char* v, const char* m, const char* f) {
            QTest::newRow(tag) << QString::fromLatin1(c) << QString::fromUtf8(v)
                               << QString::fromUtf8(m) << QString::fromLatin1(f);
        };
        row("no rut", "EdRut", "", "Debe ingresar el rut del empleado", "EdRut");
        row("no check digit", "EdDV", "", "Debe ingresar el digito verificador del Rut", "EdDV");
        row("wrong check digit", "EdDV", "4", "El Digito verificador no corresponde al Rut",
            "EdDV");
        row("no surname", "EdApepat", "", "Ingrese el apellido paterno", "EdApepat");
        row("no name", "EdNombres", "", "Ingrese el nombre del empleado", "EdNombres");
        row("14 dependants", "EdCargasSimples", "14",
            "El número de cargas simples no puede ser mayor a 13", "EdCargasSimples");
    }

    void identityChecks() {
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        loadSample();
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, 0);
        change(e.get(), control.toLatin1().constData(), value);
        e->pages()->setCurrentIndex(3);
        d().expectInform(message);
        QVERIFY(!accept(*e));
        QVERIFY(e->isVisible());
        QCOMPARE(d().last().text, message);
        QCOMPARE(e->pages()->currentIndex(), 0);
        QTRY_COMPARE(focusedControl(), focus);
        QVERIFY(selectedForCorrection());
        QCOMPARE(tableBytes(t_), before);
    }

    // Number boxes show the value the line holds, decimals included, with
    // the decimal comma and grouped thousands (the C library's own
    // formatting gave "2.,40" under es_CL, and whole boxes hid decimals).
    void numberBoxesShowTheWholeValue_data() {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("shownText");
        auto row = [](const char* tag, const char* f, double v, const char* c, const char* x) {
            QTest::newRow(tag) << QString::fromLatin1(f) << v << QString::fromLatin1(c)
                               << QString::fromUtf8(x);
        };
        row("two decimals", "tasa_ex_caja", 2.4, "CuEdTasaCaja", "2,40");
        row("more decimals than two", "tasa_ex_caja_des", 12.345, "CuEdTasaDesa", "12,345");
        row("agreed with decimals", "cot_pactada", 1.25, "CuEdCotPactada", "1,25");
        row("whole box, decimal value", "impo_afp", 1234.5, "CuEdImpoAFP", "1.234,5");
        row("whole box, rate", "porc_trab_pesado", 4.5, "CuEdPorTrabPesado", "4,50");
        row("negative fraction", "aporte_sis", -0.5, "CuEdAporteSIS", "-0,5");
        row("millions", "impo_ccaf", 12345678, "CuEdImpoCCAF", "12.345.678");
    }

    void numberBoxesShowTheWholeValue() {
        QFETCH(QString, fieldName);
        QFETCH(double, value);
        QFETCH(QString, control);
        QFETCH(QString, shownText);
        numtext::setDecimalSeparator(',');
        loadSample();
        t_.edit();
        t_.setNumber(field(fieldName.toLatin1().constData()), value);
        t_.post();
        auto e = openEditor(t_, 0);
        QCOMPARE(shown(e.get(), control.toLatin1().constData()), shownText);
        // While the user types in it: the number text, every decimal.
        ctl(e.get(), control.toLatin1().constData())->setFocus(Qt::TabFocusReason);
        QCOMPARE(shown(e.get(), control.toLatin1().constData()), numtext::format(value));
        numtext::useSystemDecimalSeparator();
    }

    // Numbers typed as people write them: a "." where it can only be the
    // decimals is taken as the decimal comma (it was dropped: 3.75 stored
    // 375), thousands grouped with "." are read; what the field cannot
    // take stops "Aceptar" with the reason, on the box, its text selected.
    void typedNumbers_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("stored");  // empty: refused
        QTest::addColumn<QString>("message"); // when refused
        auto row = [](const char* tag, const char* c, const char* typed, const char* f,
                      const char* stored, const char* message = "") {
            QTest::newRow(tag) << QString::fromLatin1(c) << QString::fromUtf8(typed)
                               << QString::fromLatin1(f) << QString::fromUtf8(stored)
                               << QString::fromUtf8(message);
        };
        row("decimal point, agreed", "CuEdCotPactada", "3.75", "cot_pactada", "3,75");
        row("decimal comma, rate", "CuEdTasaCaja", "4,5", "tasa_ex_caja", "4,5");
        row("decimal point, rate held as text", "CuEdTasaPacSust", "1.5", "tasa_pac_afp", "1,5");
        row("thousands", "CuEdImpoAFP", "1.234.567", "impo_afp", "1234567");
        row("emptied", "CuEdImpoAFP", "", "impo_afp", "0");
        row("decimal in whole pesos", "CuEdImpoAFP", "1234,5", "impo_afp", "",
            "Imponible AFP: «1234,5» tiene decimales, y este campo lleva un número entero.");
        row("ambiguous point", "CuEdCotPactada", "1.234", "cot_pactada", "",
            "Cot. Pactada: «1.234» puede leerse como 1234 o como 1,234: escríbalo sin separador "
            "de miles y con «,» para los decimales.");
        row("letters", "CuEdAsigFamiliar", "abc", "asig_fam", "",
            "Asig. Familiar: «abc» no es un número.");
        row("above the maximum", "CuEdDiasTrab", "31", "dias_trab", "",
            "Días Trab.: «31» es más que 30, lo más que lleva este campo.");
    }

    void typedNumbers() {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, fieldName);
        QFETCH(QString, stored);
        QFETCH(QString, message);
        numtext::setDecimalSeparator(',');
        loadSample();
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, 0);
        auto* box = ctl<QLineEdit>(e.get(), control.toLatin1().constData());
        showTabOf(*e, box);
        box->setFocus(Qt::TabFocusReason); // everything selected: typing replaces it
        QTRY_VERIFY(box->hasFocus());
        if (typed.isEmpty())
            QTest::keyClick(box, Qt::Key_Delete);
        else
            QTest::keyClicks(box, typed);
        QCOMPARE(box->text(), typed);
        const bool accepted = acceptFromAnotherTab(*e, control, fieldName, stored, message, before);
        if (!accepted && !QTest::currentTestFailed()) {
            QCOMPARE(box->text(), typed); // as typed, to be corrected
            QVERIFY(selectedForCorrection());
        }
        numtext::useSystemDecimalSeparator();
    }

    // A RUT written as people write it, typed or pasted into a RUT box,
    // gives its digits to the box and its check character to the box
    // beside it (it was refused whole).
    void rutBoxesTakeRutsAsWritten_data() {
        QTest::addColumn<QString>("rutBox");
        QTest::addColumn<QString>("checkBox");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("rutField");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<QString>("check");
        QTest::newRow("worker, dots and dash") << "EdRut"
                                               << "EdDV"
                                               << "12.345.678-5"
                                               << "rut"
                                               << "12345678"
                                               << "5";
        QTest::newRow("worker, dots only: the check digit stays") << "EdRut"
                                                                  << "EdDV"
                                                                  << "12.345.678"
                                                                  << "rut"
                                                                  << "12345678"
                                                                  << "";
        QTest::newRow("voluntary affiliate, K") << "PFRutAfiVol"
                                                << "EdDVAfiVol"
                                                << "10.000.013-k"
                                                << "rut_afi_volun"
                                                << "10000013"
                                                << "K";
        QTest::newRow("subsidy payer") << "EdRutPagSub"
                                       << "EdDVPagSub"
                                       << "7.654.321-6"
                                       << "rut_pag_subs"
                                       << "7654321"
                                       << "6";
    }

    void rutBoxesTakeRutsAsWritten() {
        QFETCH(QString, rutBox);
        QFETCH(QString, checkBox);
        QFETCH(QString, typed);
        QFETCH(QString, rutField);
        QFETCH(QString, digits);
        QFETCH(QString, check);
        AppMessage enterAsTab;
        qApp->installEventFilter(&enterAsTab);
        loadSample();
        setField(t_, "dv", QStringLiteral("5")); // 12.345.678-5, for the worker's RUT
        auto e = openEditor(t_, 0);
        auto* box = ctl<QLineEdit>(e.get(), rutBox.toLatin1().constData());
        auto* checkEdit = ctl<QLineEdit>(e.get(), checkBox.toLatin1().constData());
        const QString checkBefore = checkEdit->text();
        showTabOf(*e, box);
        box->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(box->hasFocus());
        box->selectAll();
        QTest::keyClicks(box, typed);
        QCOMPARE(box->text(), typed);
        QTest::keyClick(box, Qt::Key_Return); // on to the next box
        QCOMPARE(box->text(), digits);
        QCOMPARE(checkEdit->text(), check.isEmpty() ? checkBefore : check);
        qApp->removeEventFilter(&enterAsTab);
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field(rutField.toLatin1().constData())), digits);
        if (!check.isEmpty())
            QCOMPARE(t_.textAt(0, checkFieldOf(field(rutField.toLatin1().constData()))), check);
    }

    // Letters become capitals as the file holds them; a character it cannot
    // hold stops "Aceptar" on its box (it was stored as "?").
    void textBoxesAndTheCodePage() {
        loadSample();
        auto e = openEditor(t_, 0);
        auto* name = ctl<QLineEdit>(e.get(), "EdNombres");
        name->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(name->hasFocus());
        name->selectAll();
        typeText(name, QStringLiteral("muñoz é"));
        QCOMPARE(name->text(), QStringLiteral("MUÑOZ É"));
        auto* surname = ctl<QLineEdit>(e.get(), "EdApepat");
        surname->setFocus(Qt::TabFocusReason);
        surname->selectAll();
        typeText(surname, QStringLiteral("łukasz"));
        const QByteArray before = tableBytes(t_);
        d().expectInform(QStringLiteral("Apellido Paterno: «łUKASZ» tiene «ł», que el archivo no "
                                        "puede guardar: escriba el texto sin ese carácter."));
        QVERIFY(!accept(*e));
        QCOMPARE(tableBytes(t_), before);
        QTRY_COMPARE(focusedControl(), QStringLiteral("EdApepat"));
        surname->selectAll();
        QTest::keyClicks(surname, QStringLiteral("lukasz"));
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field("ape_pat")).trimmed(), QStringLiteral("LUKASZ"));
        QCOMPARE(t_.textAt(0, field("nombres")).trimmed(), QStringLiteral("MUÑOZ É"));
    }

    void thirteenDependantsAndOtherCountsPass() {
        loadSample();
        auto e = openEditor(t_, 0);
        change(e.get(), "EdCargasSimples", QStringLiteral("13"));
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field("num_car_sim")), QStringLiteral("13"));
    }

    // A failure while storing leaves the table as it was, in both modes; a
    // second Aceptar after the correction stores exactly one line.
    void storeFailures_data() {
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("kind"); // ScriptedDialogs::Kind
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("focus");
        const int inform = int(ScriptedDialogs::Kind::Inform),
                  error = int(ScriptedDialogs::Kind::Error);
        for (int flag : {0, 1}) {
            const QByteArray mode = flag ? "add, " : "modify, ";
            auto row = [&](const char* tag, const char* c, const char* v, int k, const char* m,
                           int tab, const char* f) {
                QTest::newRow((mode + tag).constData())
                    << flag << QString::fromLatin1(c) << QString::fromUtf8(v) << k
                    << QString::fromUtf8(m) << tab << QString::fromLatin1(f);
            };
            row("payment type empty", "CBxTipoPago", "", inform, "El Tipo de Pago está vacio", 0,
                "CBxTipoPago");
            row("worker type empty", "CBxTTrabajador", "", inform,
                "El Tipo de Trabajador no debe quedar en blanco", 0, "CBxTTrabajador");
            row("movement not a number", "CBxMovPersonal", "X", inform,
                "El Código Movimiento Personal no debe quedar en blanco", 0, "CBxMovPersonal");
            row("afp empty", "CBxAfp", "", inform, "Error en el campo \"Nombre AFP\": ", 3, "");
            row("caja letters", "CBxCodCajaReg", "AB", inform,
                "Error en el campo \"Código ex Caja Regimen\": ", 3, "");
            row("mutual empty", "CBxMutual", "", inform, "Error en el campo \"Código Mutual\": ", 3,
                "");
            row("dependants AB", "EdCargasSimples", "AB", error, "«AB» no es un número válido", 3,
                "");
            // A field the file cannot hold: a control with a guard label
            // names it; another shows the error, which names its field.
            row("voluntary movement in letters outside the code page", "CBxMovVolun", "Ł", inform,
                "Error en el campo \"Cod. Mov. Afi. Vol.\": [55] Cod. mov. per. volun.: «Ł»", 3,
                "");
            row("voluntary AFP in letters outside the code page", "CBxAfpVolun", "Ł", error,
                "[58] Cod. afp volun.: «Ł»", 3, "");
            row("half a date", "DEdMovDesde", "12-0", inform, "no es válida", 0, "DEdMovDesde");
        }
    }

    void storeFailures() {
        QFETCH(int, flag);
        QFETCH(QString, control);
        QFETCH(QString, value);
        QFETCH(int, kind);
        QFETCH(QString, message);
        QFETCH(int, tab);
        QFETCH(QString, focus);
        loadSample();
        if (!flag) {
            // Codes the lists know, so that emptying a list is the user's change.
            setField(t_, "nom_AFP", QStringLiteral("3"));
            setField(t_, "cod_ex_caja", QStringLiteral("1001"));
            setField(t_, "cod_mutual", QStringLiteral("3"));
        }
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, flag);
        if (flag) {
            fillIdentity(e.get(), QStringLiteral("SOTO"));
        }
        const QString previous = shown(e.get(), control.toLatin1().constData());
        change(e.get(), control.toLatin1().constData(), value);
        e->pages()->setCurrentIndex(3);
        if (kind == int(ScriptedDialogs::Kind::Inform))
            d().expectInform(message);
        else
            d().expectError(message);
        QVERIFY(!accept(*e));
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(e->isVisible());
        QCOMPARE(e->pages()->currentIndex(), tab);
        if (!focus.isEmpty()) {
            QTRY_COMPARE(focusedControl(), focus);
            QVERIFY(selectedForCorrection());
        }
        QCOMPARE(t_.state(), RxMem::State::Browse);
        QCOMPARE(tableBytes(t_), before);
        // Corrected, the second press stores one line.
        change(e.get(), control.toLatin1().constData(),
               previous.isEmpty() && control.startsWith(u'C')
                   ? ctl<CodeList>(e.get(), control.toLatin1().constData())->itemText(1)
                   : previous);
        QVERIFY2(accept(*e), qPrintable(d().problems()));
        QCOMPARE(t_.recordCount(), flag ? 3 : 2);
    }

    void cancelChangesNothing() {
        loadSample();
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, 0);
        change(e.get(), "EdApepat", QStringLiteral("OTRO"));
        ctl<QPushButton>(e.get(), "BitBtn2")->click();
        QCOMPARE(e->result(), int(QDialog::Rejected));
        QCOMPARE(tableBytes(t_), before);
        auto closed = openEditor(t_, 1);
        closed->close(); // the close box
        QCOMPARE(tableBytes(t_), before);
    }

    // ---- the doors in the listing -------------------------------------------------

    void listingDoors_data() {
        QTest::addColumn<QString>("door");
        QTest::addColumn<int>("flag");
        QTest::newRow("Modificar button") << QStringLiteral("SpeedButton6") << 0;
        QTest::newRow("Modificar menu") << QStringLiteral("Modificar1") << 0;
        QTest::newRow("double-click") << QStringLiteral("dblclick") << 0;
        QTest::newRow("Agregar button") << QStringLiteral("SpeedButton13") << 1;
        QTest::newRow("Agregar menu") << QStringLiteral("Agregar1") << 1;
    }

    void listingDoors() {
        QFETCH(QString, door);
        QFETCH(int, flag);
        installCodes();
        auto l = listingOf(tmp_, 10);
        showGrid(*l);
        clickCell(*l, 3, 3);
        QCOMPARE(l->table().row(), 3);
        int seenFlag = -1;
        QString seenRut, seenMode;
        const ModalAction modal = whenModal([&](QWidget* w) {
            auto* e = qobject_cast<TFrmDatosSolvanta*>(w);
            QVERIFY(e);
            seenFlag = e->isAdding() ? 1 : 0;
            seenRut = shown(e, "EdRut");
            seenMode = ctl<QLabel>(e, "LblModo") ? ctl<QLabel>(e, "LblModo")->text() : QString();
            fillIdentity(e, QStringLiteral("EDITADO"));
            for (const char* list : {"CBxAfp", "CBxCodCajaReg", "CBxCodCajaDesa", "CBxIsapre",
                                     "CBxCodigoCcaf", "CBxMutual"})
                ctl<CodeList>(e, list)->chooseEntry(1);
            ctl<QPushButton>(e, "BitBtn1")->click();
        });
        if (door == u"dblclick") {
            DeclarationGrid* g = l->grid();
            QTest::mouseDClick(g->viewport(), Qt::LeftButton, {},
                               g->visualRect(g->model()->index(3, 3)).center());
        } else if (auto* b = l->findChild<QToolButton*>(door)) {
            QVERIFY(b->isEnabled());
            b->click();
        } else {
            auto* a = l->findChild<QAction*>(door);
            QVERIFY(a && a->isEnabled());
            a->trigger();
        }
        QCOMPARE(seenFlag, flag);
        QCOMPARE(seenRut, flag ? QString() : QStringLiteral("4"));
        QCOMPARE(seenMode, flag ? QStringLiteral("Nueva línea") : QStringLiteral("Línea 4 de 10"));
        QCOMPARE(l->table().recordCount(), flag ? 11 : 10);
        // The stored line is the grid's current row, where it was.
        QCOMPARE(l->table().row(), 3);
        QCOMPARE(l->grid()->currentIndex().row(), 3);
        QCOMPARE(l->table().textAt(3, field("ape_pat")).trimmed(), QStringLiteral("EDITADO"));
        QCOMPARE(l->table().textAt(flag ? 4 : 2, field("rut")),
                 QStringLiteral("%1").arg(flag ? 4 : 3));
    }

    void cancelledEditorLeavesTheListing() {
        installCodes();
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        const QByteArray before = tableBytes(l->table());
        for (const char* door : {"SpeedButton6", "SpeedButton13"}) {
            const ModalAction modal =
                whenModal([](QWidget* w) { ctl<QPushButton>(w, "BitBtn2")->click(); });
            l->findChild<QToolButton*>(QLatin1String(door))->click();
            QCOMPARE(tableBytes(l->table()), before);
        }
    }

    // "Modificar" on an empty table fills in a new line as "Agregar" does,
    // from the same defaults, so "Aceptar" takes it as soon as the worker is
    // named.
    void modifyOnAnEmptyTableAdds() {
        installCodes();
        auto l = listingOf(tmp_, 0);
        showGrid(*l);
        bool adding = false;
        QStringList seen;
        const ModalAction modal = whenModal([&](QWidget* w) {
            adding = qobject_cast<TFrmDatosSolvanta*>(w)->isAdding();
            for (const char* name : {"CBxTipoPago", "CBxCodCajaReg", "RGpSexo", "RGpMonedaPlan"})
                seen << shown(w, name);
            fillIdentity(w, QStringLiteral("PRIMERO"));
            ctl<QPushButton>(w, "BitBtn1")->click();
            if (w->isVisible()) qobject_cast<QDialog*>(w)->reject(); // refused: no hang
        });
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton6"))->click();
        QVERIFY(adding);
        QCOMPARE(seen, (QStringList{QStringLiteral("01 Remuneraciones del mes"),
                                    QStringLiteral("0000 Sin ex caja de previsión"),
                                    QStringLiteral("Femenino"), QStringLiteral("Pesos")}));
        QCOMPARE(l->table().recordCount(), 1);
        QCOMPARE(l->table().textAt(0, field("ape_pat")).trimmed(), QStringLiteral("PRIMERO"));
    }

    // The cell being typed in is stored before the editor shows the line.
    void openCellEditIsStoredFirst() {
        installCodes();
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        clickCell(*l, 1, 3);
        typeInGrid(l->grid(), QStringLiteral("garcia"));
        QString seen;
        const ModalAction modal = whenModal([&](QWidget* w) {
            seen = shown(w, "EdApepat");
            ctl<QPushButton>(w, "BitBtn2")->click();
        });
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton6"))->click();
        QCOMPARE(seen.trimmed(), QStringLiteral("GARCIA"));
        QCOMPARE(l->table().state(), RxMem::State::Browse);
        QCOMPARE(l->table().textAt(1, field("ape_pat")).trimmed(), QStringLiteral("GARCIA"));
    }

    void refusedCellEditOpensNothing() {
        installCodes();
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        clickCell(*l, 1, field("impo_afp") + 1);
        typeInGrid(l->grid(), QStringLiteral("x"));
        d().expectError(QStringLiteral("[27] Impo. afp: «X» no es un número."));
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton6"))->click();
        QVERIFY(!QApplication::activeModalWidget());
        // The text stays in its cell, to be corrected.
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("X"));
    }

    // Modifying a new line the user inserted and left empty fills it in, in
    // its place.
    void untouchedNewLineIsFilledIn_data() {
        QTest::addColumn<bool>("append");
        QTest::newRow("inserted") << false;
        QTest::newRow("appended") << true;
    }

    void untouchedNewLineIsFilledIn() {
        QFETCH(bool, append);
        installCodes();
        auto l = listingOf(tmp_, 5);
        showGrid(*l);
        clickCell(*l, append ? 4 : 2, 3);
        QTest::keyClick(l->grid(), append ? Qt::Key_Down : Qt::Key_Insert);
        const int newRow = append ? 5 : 2;
        QCOMPARE(l->grid()->currentIndex().row(), newRow);
        bool addMode = false;
        const ModalAction modal = whenModal([&](QWidget* w) {
            addMode = qobject_cast<TFrmDatosSolvanta*>(w)->isAdding();
            fillIdentity(w, QStringLiteral("NUEVO"));
            ctl<QPushButton>(w, "BitBtn1")->click();
        });
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton6"))->click();
        QVERIFY(addMode);
        QCOMPARE(l->table().recordCount(), 6);
        QCOMPARE(l->table().row(), newRow);
        QCOMPARE(l->table().textAt(newRow, field("rut")), QStringLiteral("12345678"));
        QCOMPARE(ruts(*l), append ? (QList<int>{1, 2, 3, 4, 5, 12345678})
                                  : (QList<int>{1, 2, 12345678, 3, 4, 5}));
    }

    // With the keyboard alone: correct a surname, add a worker, write the
    // file; only those changes are in it.
    void keyboardCorrectionEndToEnd() {
        installCodes();
        auto* filter = new AppMessage(qApp);
        qApp->installEventFilter(filter);
        // Three copies of a line whose RUT is valid.
        const QString original = tmp_.filePath(QStringLiteral("tres.txt"));
        const QByteArray base =
            readAll(dataFile("dos-lineas-coma.txt")).left(kPositionLineLength + 2);
        QVERIFY(writeAll(original, base + base + base));
        OpenListing l;
        l->load(original, FileForm::Position);
        showGrid(*l);
        clickCell(*l, 1, 1);
        // Keys go to the active window, as the window system hands them over,
        // so mnemonics and shortcuts work as on a screen.
        auto target = [&l] {
            QWidget* f = QApplication::focusWidget();
            return (f ? f->window() : l.get())->windowHandle();
        };
        auto key = [&](int k, Qt::KeyboardModifiers m = {}) {
            QTest::keyClick(target(), Qt::Key(k), m);
        };
        auto type = [&](const QString& text) {
            for (QChar c : text)
                QTest::keyClick(target(), c.toLatin1());
        };
        ModalAction modal = whenModalAppears([&](QWidget* w) {
            QTRY_COMPARE(QApplication::focusWidget(), ctl(w, "EdRut"));
            key(Qt::Key_Return); // DV
            key(Qt::Key_Return); // Sexo
            key(Qt::Key_Return); // Apellido Paterno, selected whole
            QCOMPARE(QApplication::focusWidget(), ctl(w, "EdApepat"));
            type(QStringLiteral("fuentes"));
            key(Qt::Key_A, Qt::AltModifier);
        });
        key(Qt::Key_M, Qt::AltModifier); // a mnemonic presses its button a moment later
        QTRY_COMPARE(l->table().textAt(1, field("ape_pat")).trimmed(), QStringLiteral("FUENTES"));
        QTRY_VERIFY(!QApplication::activeModalWidget());

        modal = whenModalAppears([&](QWidget* w) {
            QTRY_COMPARE(QApplication::focusWidget(), ctl(w, "EdRut"));
            type(QStringLiteral("12345678"));
            key(Qt::Key_Return);
            type(QStringLiteral("5"));
            key(Qt::Key_Return);
            key(Qt::Key_Return);
            type(QStringLiteral("rojas"));
            key(Qt::Key_Return);
            key(Qt::Key_Return);
            type(QStringLiteral("luis"));
            // The sample's codes are not in the shipped lists: choose them.
            for (const char* list : {"CBxAfp", "CBxCodCajaReg", "CBxCodCajaDesa", "CBxIsapre",
                                     "CBxCodigoCcaf", "CBxMutual"})
                QVERIFY(!shown(w, list).isEmpty()); // add mode proposes the first entry
            key(Qt::Key_A, Qt::AltModifier);
        });
        // Back from the editor; without a window manager nothing gives the
        // listing its activation back, so the test does it.
        l->activateWindow();
        QTRY_VERIFY(l->isActiveWindow());
        key(Qt::Key_G, Qt::AltModifier);
        QTRY_COMPARE_WITH_TIMEOUT(l->table().recordCount(), 4, 1000);
        QTRY_VERIFY(!QApplication::activeModalWidget());

        const QString out = tmp_.filePath(QStringLiteral("corregido.txt"));
        d().expectSave(out);
        l->activateWindow();
        QTRY_VERIFY(l->isActiveWindow());
        modal = whenModalAppears([&](QWidget*) { key(Qt::Key_A, Qt::AltModifier); });
        key(Qt::Key_A, Qt::AltModifier);
        QTRY_VERIFY(QFile::exists(out));
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY2(d().done(), qPrintable(d().problems()));
        const QList<QByteArray> was = readAll(original).split('\n');
        const QList<QByteArray> now = readAll(out).split('\n');
        QCOMPARE(now.size(), was.size() + 1);
        QCOMPARE(now[0], was[0]);
        // The added line went before the current one.
        QCOMPARE(now[1].left(42), QByteArray("000123456785ROJAS").leftJustified(42, ' '));
        QCOMPARE(now[1].mid(72, 30), QByteArray("LUIS").leftJustified(30, ' '));
        QCOMPARE(now[2].left(12), was[1].left(12));
        QCOMPARE(now[2].mid(12, 30), QByteArray("FUENTES").leftJustified(30, ' '));
        QCOMPARE(now[2].mid(42), was[1].mid(42));
        QCOMPARE(now[3], was[2]);
        qApp->removeEventFilter(filter);
        delete filter;
    }

    // ---- what the user types, as the file forms write it ---------------------------

    // Every field through its control, with the keys or a click: the value
    // typed or chosen, and the field's bytes in each written form.
    void everyFieldAsWritten_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("choose"); // an item chosen; otherwise typed
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("position"); // the field's columns
        QTest::addColumn<QString>("separator");
        struct Row {
            const char* field;
            const char* control;
            bool choose;
            const char* input;
            const char* position;
            const char* separator;
        };
        // clang-format off
        const Row rows[] = {
            {"rut", "EdRut", false, "10.000.013-k", "00010000013", "10000013"},
            {"dv", "EdDV", false, "5", "5", "5"},
            {"ape_pat", "EdApepat", false, "rojas", "ROJAS                         ", "ROJAS"},
            {"ape_mat", "EdApeMat", false, "díaz", "DÍAZ                          ", "DÍAZ"},
            {"nombres", "EdNombres", false, "luis", "LUIS                          ", "LUIS"},
            {"sexo", "RGpSexo", true, "Femenino", "F", "F"},
            {"nacion", "RGNacionalidad", true, "Chilena", "0", "0"},
            {"tipo_pago", "CBxTipoPago", true, "03 ", "03", "03"},
            {"remu_desde", "EdPerDesde", false, "022024", "022024", "022024"},
            {"remu_hasta", "EdPerHasta", false, "062024", "062024", "062024"},
            {"reg_previ", "RGpRegPrevi", true, "INP", "INP", "INP"},
            {"tipo_trab", "CBxTTrabajador", true, "2 ", "2", "2"},
            {"dias_trab", "CuEdDiasTrab", false, "25", "25", "25"},
            {"tipo_linea", "CBxTipoLinea", true, "02 ", "02", "02"},
            {"cod_mov", "CBxMovPersonal", true, "1 ", "01", "1"},
            {"Fecha_Desde", "DEdMovDesde", false, "01042025", "01-04-2025", "01-04-2025"},
            {"Fecha_Hasta", "DEdMovHasta", false, "30042025", "30-04-2025", "30-04-2025"},
            {"Tramo_Fam", "CBxTramoFam", true, "B ", "B", "B"},
            {"num_car_sim", "EdCargasSimples", false, "12", "12", "12"},
            {"num_car_mat", "EdCargasMater", false, "3", "3", "3"},
            {"num_car_inv", "EdCargasInva", false, "2", "2", "2"},
            {"asig_fam", "CuEdAsigFamiliar", false, "123456", "123456", "123456"},
            {"asig_fam_ret", "CuEdAsigRetro", false, "1.234", "001234", "1234"},
            {"reint_cargas", "CuEdReintegro", false, "99", "000099", "99"},
            {"sub_trab_jov", "RGSubsiTrabajador", true, "Si", "S", "S"},
            {"nom_AFP", "CBxAfp", true, "05 ", "05", "5"},
            {"impo_afp", "CuEdImpoAFP", false, "12.345.678", "12345678", "12345678"},
            {"cot_obli_afp", "CuEdCotizaAfp", false, "1000", "00001000", "1000"},
            {"aporte_sis", "CuEdAporteSIS", false, "2001", "00002001", "2001"},
            {"ahorro_afp", "CuEdAhorroAfp", false, "3002", "00003002", "3002"},
            {"sust_afp", "CuEdRentaImpSust", false, "4003", "00004003", "4003"},
            {"tasa_pac_afp", "CuEdTasaPacSust", false, "4,25", "04,25", "4,25"},
            {"aporte_indem", "CuEdAporteIndemSust", false, "123456789", "123456789", "123456789"},
            {"num_per_sust", "CuEdPeriSust", false, "7", "07", "7"},
            {"per_desde_sust", "DEdPerDesdeSust", false, "01032024", "01-03-2024", "01-03-2024"},
            {"per_hasta_sust", "DEdPerHastaSust", false, "31032024", "31-03-2024", "31-03-2024"},
            {"trab_pesado", "EdTrabPesado", false, "minero", "MINERO                                  ", "MINERO"},
            {"porc_trab_pesado", "CuEdPorTrabPesado", false, "12,5", "012,5", "12,5"},
            {"cot_trab_pesado", "CuEdCotTrabPesado", false, "4321", "004321", "4321"},
            {"inst_apvi", "CBxApvi", true, "003 ", "003", "003"},
            {"num_contra_apvi", "EdContratoApvi", false, "abc-123", "ABC-123             ", "ABC-123"},
            {"forma_pago_apvi", "RGFormaPagoAPVI", true, "Indirecta", "2", "2"},
            {"cotiza_apvi", "CuEdCotAPVI", false, "5004", "00005004", "5004"},
            {"cot_dep_conv", "CuEdDepConveniAPVI", false, "6005", "00006005", "6005"},
            {"inst_apvc", "CBxAPVC", true, "005 ", "005", "005"},
            {"num_contra_apvc", "EdContratoAPVC", false, "x9", "X9                  ", "X9"},
            {"forma_pago_apvc", "RGFormaPAgoAPVC", true, "Indirecta", "2", "2"},
            {"cotiza_apvc", "CuEdCotAPVC", false, "7006", "00007006", "7006"},
            {"cot_emp_apvc", "CuEdCotEmpleador", false, "8007", "00008007", "8007"},
            {"rut_afi_volun", "PFRutAfiVol", false, "23.456.789-6", "00023456789", "23456789"},
            {"dv_afi_volun", "EdDVAfiVol", false, "1", "1", "1"},
            {"ape_pat_volun", "EdApePatVolun", false, "vera", "VERA                          ", "VERA"},
            {"ape_mat_volun", "EdApeMatVolun", false, "ruiz", "RUIZ                          ", "RUIZ"},
            {"nombre_volun", "EdNombreVolun", false, "eva", "EVA                           ", "EVA"},
            {"cod_mov_per_volun", "CBxMovVolun", true, "01 ", "01", "01"},
            {"fec_desde_volun", "DEdDesdeVolun", false, "01022024", "01-02-2024", "01-02-2024"},
            {"fec_hasta_volun", "DEdHastaVolun", false, "29022028", "29-02-2028", "29-02-2028"},
            {"cod_afp_volun", "CBxAfpVolun", true, "05 ", "05", "05"},
            {"monto_cap_volun", "CuEdCapiVolun", false, "9008", "00009008", "9008"},
            {"monto_aho_vol", "CuEdAhoVolun", false, "10009", "00010009", "10009"},
            {"num_per_cotiza", "CuEdPerCotizaVolun", false, "12", "12", "12"},
            {"cod_ex_caja", "CBxCodCajaReg", true, "1001 ", "1001", "1001"},
            {"tasa_ex_caja", "CuEdTasaCaja", false, "3,5", "003,5", "3,5"},
            {"renta_imp_fonasa", "CuedImpoFonasa", false, "11010", "00011010", "11010"},
            {"cot_INP", "CuEdCotizaInp", false, "12011", "00012011", "12011"},
            {"Renta_imp_des", "CuEdRentaImpDes", false, "13012", "00013012", "13012"},
            {"cod_ex_caja_des", "CBxCodCajaDesa", true, "1002 ", "1002", "1002"},
            {"tasa_ex_caja_des", "CuEdTasaDesa", false, "1,25", "01,25", "1,25"},
            {"cot_desahucio", "CuEdCotizaDesa", false, "14013", "00014013", "14013"},
            {"cotiza_fonasa", "CuEdCotFonasa", false, "15014", "00015014", "15014"},
            {"cot_acc_trab_inp", "CuEdAccidentes", false, "16015", "00016015", "16015"},
            {"boni_ley", "CuEdLey", false, "17016", "00017016", "17016"},
            {"desc_cargas_fam_inp", "CuEdDescCargas", false, "18017", "00018017", "18017"},
            {"bonos_gob", "CuEdBonoGob", false, "19018", "00019018", "19018"},
            {"cod_inst_salud", "CBxIsapre", true, "02 ", "02", "2"},
            {"num_FUN", "CuEdNumeroFun", false, "1234567890123456", "1234567890123456", "1234567890123456"},
            {"impo_isapre", "CuedImpoSalud", false, "20019", "00020019", "20019"},
            {"moneda_plan", "RGpMonedaPlan", true, "UF", "2", "2"},
            {"cot_pactada", "CuEdCotPactada", false, "3,75", "00003,75", "3,75"},
            {"cot_obli_isa", "CuEdCotizaIsap", false, "21020", "00021020", "21020"},
            {"cot_ad_vol", "CuEdCotAdicio", false, "22021", "00022021", "22021"},
            {"monto_ges", "CuEdMontoGes", false, "23022", "00023022", "23022"},
            {"cod_CCAF", "CBxCodigoCcaf", true, "01 ", "01", "1"},
            {"impo_ccaf", "CuEdImpoCCAF", false, "24023", "00024023", "24023"},
            {"Cred_per_CCAF", "CuEdCredPerso", false, "25024", "00025024", "25024"},
            {"Desc_Dental", "CuEdDescDental", false, "26025", "00026025", "26025"},
            {"desc_leassing", "CuEdDescLeas", false, "27026", "00027026", "27026"},
            {"desc_seg_vida", "CuEdSeguroVida", false, "28027", "00028027", "28027"},
            {"otros_desc_ccaf", "CuEdOtrosDesc", false, "29028", "00029028", "29028"},
            {"cot_CCAF", "CuEdCotizaCCAF", false, "30029", "00030029", "30029"},
            {"Desc_Car_fam", "CuEdCarFamCcaf", false, "31030", "00031030", "31030"},
            {"otros_desc_ccaf1", "CuEdOtrosCCAF1", false, "32031", "00032031", "32031"},
            {"otros_desc_ccaf2", "RadioGroup1", true, "Parcial", "00000002", "2"},
            {"bono_gob_ccaf", "CuEdBonoGobCCAF", false, "33032", "00033032", "33032"},
            {"cod_sucur_ccaf", "EdSucurCCAF", false, "15000", "15000               ", "15000"},
            {"cod_mutual", "CBxMutual", true, "01 ", "01", "1"},
            {"impo_mutual", "CuEdImpoMutual", false, "34033", "00034033", "34033"},
            {"cotiza_mutual", "CuEdCotMutual", false, "35034", "00035034", "35034"},
            {"sucur_mutual", "CuEdSucursal", false, "91", "091", "91"},
            {"Renta_impo_SC", "CuEdImpoCesantia", false, "36035", "00036035", "36035"},
            {"Aporte_trab_SC", "CuEdAporteTrab", false, "37036", "00037036", "37036"},
            {"aporte_emp_SC", "CuEdAporteEmp", false, "38037", "00038037", "38037"},
            {"rut_pag_subs", "EdRutPagSub", false, "7.654.321-6", "00007654321", "7654321"},
            {"dv_pag_subs", "EdDVPagSub", false, "3", "3", "3"},
            {"centro_costo", "EdCentroCosto", false, "norte", "NORTE               ", "NORTE"},
        };
        // clang-format on
        static_assert(std::size(rows) == std::size_t(kFieldCount), "one row a field");
        for (const Row& r : rows)
            QTest::newRow(r.field)
                << QString::fromLatin1(r.control) << r.choose << QString::fromUtf8(r.input)
                << QString::fromLatin1(r.field) << QString::fromUtf8(r.position)
                << QString::fromUtf8(r.separator);
    }

    void everyFieldAsWritten() {
        QFETCH(QString, control);
        QFETCH(bool, choose);
        QFETCH(QString, input);
        QFETCH(QString, fieldName);
        QFETCH(QString, position);
        QFETCH(QString, separator);
        numtext::setDecimalSeparator(',');
        const int f = field(fieldName.toLatin1().constData());
        for (const FileForm form : {FileForm::Position, FileForm::Separator}) {
            t_.close();
            t_.open();
            loadDeclaration(dataFile(form == FileForm::Position ? "dos-lineas-coma.txt"
                                                                : "dos-lineas-coma.csv"),
                            form, t_);
            t_.first();
            auto e = openEditor(t_, 0);
            if (choose)
                chooseItem(*e, control.toLatin1().constData(), input);
            else
                typeInto(*e, control.toLatin1().constData(), input);
            QVERIFY2(accept(*e), qPrintable(d().last().text));
            const QString out = tmp_.filePath(QStringLiteral("escrito.txt"));
            writeDeclaration(out, form, t_);
            QCOMPARE(fieldBytes(readAll(out), form, 0, f),
                     cp(form == FileForm::Position ? position : separator));
        }
        numtext::useSystemDecimalSeparator();
    }

    // A file with odd values (letters in lower case, codes outside their
    // lists or zero-filled, empty amounts and fields, the largest value each
    // field holds), each line opened and accepted untouched: the file is
    // written byte for byte as the same load writes it without the editor,
    // in either form. (The loader itself reads an empty amount of the
    // separator form as 0; every other value is written as it was read.)
    void untouchedLinesWriteTheSameFile() {
        const QString separatorFile = dataFile("valores-raros.csv");
        const QString positionFile = tmp_.filePath(QStringLiteral("valores-raros.txt"));
        convertDeclaration(separatorFile, FileForm::Separator, positionFile, FileForm::Position,
                           {.force = true});
        for (const auto& [path, form] : {std::pair{separatorFile, FileForm::Separator},
                                         std::pair{positionFile, FileForm::Position}}) {
            t_.close();
            t_.open();
            loadDeclaration(path, form, t_);
            const QString reference = tmp_.filePath(QStringLiteral("referencia.txt"));
            writeDeclaration(reference, form, t_);
            for (int row = 0; row < t_.recordCount(); ++row) {
                t_.moveTo(row);
                auto e = openEditor(t_, 0);
                QVERIFY2(
                    accept(*e),
                    qPrintable(QStringLiteral("line %1: %2").arg(row + 1).arg(d().last().text)));
            }
            const QString out = tmp_.filePath(QStringLiteral("aceptado.txt"));
            writeDeclaration(out, form, t_);
            const QByteArray was = readAll(reference), now = readAll(out);
            for (int row = 0; row < t_.recordCount(); ++row)
                for (int f = 0; f < kFieldCount; ++f)
                    QVERIFY2(
                        fieldBytes(now, form, row, f) == fieldBytes(was, form, row, f),
                        qPrintable(QStringLiteral("line %1, %2: «%3» written «%4»")
                                       .arg(row + 1)
                                       .arg(fieldTitle(f),
                                            QString::fromLatin1(fieldBytes(was, form, row, f)),
                                            QString::fromLatin1(fieldBytes(now, form, row, f)))));
            QVERIFY(now == was);
        }
    }

    // Letters in lower case show in capitals; typed again, or their item
    // chosen again (even the item shown), they are stored as the editor
    // writes them.
    void lowerCaseValuesCanBeCorrected() {
        loadSample();
        setField(t_, "rut", QStringLiteral("10000013"));
        setField(t_, "dv", QStringLiteral("k"));
        setField(t_, "sexo", QStringLiteral("f"));
        setField(t_, "reg_previ", QStringLiteral("afp"));
        setField(t_, "sub_trab_jov", QStringLiteral("s"));
        auto e = openEditor(t_, 0);
        QCOMPARE(shown(e.get(), "EdDV"), QStringLiteral("K"));
        QCOMPARE(shown(e.get(), "RGpSexo"), QStringLiteral("Femenino"));
        QCOMPARE(shown(e.get(), "RGpRegPrevi"), QStringLiteral("AFP"));
        QCOMPARE(shown(e.get(), "RGSubsiTrabajador"), QStringLiteral("Si"));
        typeInto(*e, "EdDV", QStringLiteral("K"));
        chooseItem(*e, "RGpSexo", QStringLiteral("Femenino"));
        chooseItem(*e, "RGpRegPrevi", QStringLiteral("AFP"));
        chooseItem(*e, "RGSubsiTrabajador", QStringLiteral("Si"));
        QVERIFY(accept(*e));
        QCOMPARE(t_.textAt(0, field("dv")), QStringLiteral("K"));
        QCOMPARE(t_.textAt(0, field("sexo")), QStringLiteral("F"));
        QCOMPARE(t_.textAt(0, field("reg_previ")), QStringLiteral("AFP"));
        QCOMPARE(t_.textAt(0, field("sub_trab_jov")), QStringLiteral("S"));
    }

    // A box takes no more than its field holds: a text box no more
    // characters than the field and its columns; what does not fit in a
    // number's columns stops "Aceptar" with a message naming the field.
    void valuesBeyondTheirField_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shownText"); // what the box holds after the keys
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("stored");  // when accepted
        QTest::addColumn<QString>("message"); // when refused
        auto row = [](const char* tag, const char* c, const char* typed, const char* box,
                      const char* f, const char* stored, const char* message = "") {
            QTest::newRow(tag) << QString::fromLatin1(c) << QString::fromUtf8(typed)
                               << QString::fromUtf8(box) << QString::fromLatin1(f)
                               << QString::fromUtf8(stored) << QString::fromUtf8(message);
        };
        row("fun of 16 digits", "CuEdNumeroFun", "1234567890123456", "1234567890123456", "num_FUN",
            "1234567890123456");
        row("fun with zeros in front", "CuEdNumeroFun", "0001234", "0001234", "num_FUN", "0001234");
        row("fun of 17 digits", "CuEdNumeroFun", "12345678901234567", "1234567890123456", "num_FUN",
            "1234567890123456");
        row("maternity dependants", "EdCargasMater", "12", "1", "num_car_mat", "1");
        row("disability dependants", "EdCargasInva", "34", "3", "num_car_inv", "3");
        row("simple dependants", "EdCargasSimples", "123", "12", "num_car_sim", "12");
        row("amount of its eight columns", "CuEdImpoCCAF", "12.345.678", "12.345.678", "impo_ccaf",
            "12345678");
        row("amount beyond its columns", "CuEdImpoCCAF", "123.456.789.012", "123.456.789.012",
            "impo_ccaf", "",
            "Imponible: «123.456.789.012» no cabe en las 8 columnas del campo [84] Impo. CCAF "
            "en el archivo por posición.");
        row("amount of six columns", "CuEdAsigFamiliar", "1234567", "1234567", "asig_fam", "",
            "Asig. Familiar: «1.234.567» no cabe en las 6 columnas del campo [22] Asig. Familiar "
            "en el archivo por posición.");
        row("rate beyond its columns", "CuEdTasaCaja", "12,345", "12,345", "tasa_ex_caja", "",
            "Tasa Ex-caja: «12,345» no cabe en las 5 columnas del campo [63] Tasa ex caja en el "
            "archivo por posición.");
    }

    void valuesBeyondTheirField() {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, shownText);
        QFETCH(QString, fieldName);
        QFETCH(QString, stored);
        QFETCH(QString, message);
        numtext::setDecimalSeparator(',');
        loadSample();
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, 0);
        typeInto(*e, control.toLatin1().constData(), typed);
        auto* box = ctl<QLineEdit>(e.get(), control.toLatin1().constData());
        QCOMPARE(box->text(), shownText);
        acceptFromAnotherTab(*e, control, fieldName, stored, message, before);
        numtext::useSystemDecimalSeparator();
    }

    // A period box takes a whole period (or, "Hasta", nothing); anything
    // else stops "Aceptar" on the box, its tab in front.
    void periods_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("stored");  // when accepted
        QTest::addColumn<QString>("message"); // when refused
        auto row = [](const char* tag, const char* c, const char* typed, const char* f,
                      const char* stored, const char* message = "") {
            QTest::newRow(tag) << QString::fromLatin1(c) << QString::fromUtf8(typed)
                               << QString::fromLatin1(f) << QString::fromUtf8(stored)
                               << QString::fromUtf8(message);
        };
        const char* invalid =
            "El período «%1» no es válido: ingrese el mes (01 a 12) y el año, como 03/2024.";
        const auto bad = [&](const char* shownPeriod) {
            static QByteArray keep;
            keep = QString::fromUtf8(invalid).arg(QString::fromUtf8(shownPeriod)).toUtf8();
            return keep.constData();
        };
        row("desde", "EdPerDesde", "022024", "remu_desde", "022024");
        row("desde partial", "EdPerDesde", "0420", "remu_desde", "", bad("04/20__"));
        row("desde month 13", "EdPerDesde", "132025", "remu_desde", "", bad("13/2025"));
        row("desde emptied", "EdPerDesde", "", "remu_desde", "", bad("__/____"));
        row("hasta emptied", "EdPerHasta", "", "remu_hasta", "000000");
        row("hasta", "EdPerHasta", "122024", "remu_hasta", "122024");
        row("hasta partial", "EdPerHasta", "1", "remu_hasta", "", bad("1_/____"));
        row("hasta before desde", "EdPerHasta", "022024", "remu_hasta", "",
            "El período Hasta es anterior al período Desde.");
    }

    void periods() {
        QFETCH(QString, control);
        QFETCH(QString, typed);
        QFETCH(QString, fieldName);
        QFETCH(QString, stored);
        QFETCH(QString, message);
        loadSample(); // desde 03/2024, hasta 00/0000
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, 0);
        typeInto(*e, control.toLatin1().constData(), typed);
        e->pages()->setCurrentIndex(3);
        if (!message.isEmpty()) d().expectInform(message);
        const bool accepted = accept(*e);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(accepted, message.isEmpty());
        if (accepted) {
            QCOMPARE(t_.textAt(0, field(fieldName.toLatin1().constData())), stored);
        } else {
            QCOMPARE(tableBytes(t_), before);
            QCOMPARE(e->pages()->currentIndex(), 0);
            QTRY_COMPARE(focusedControl(), control);
        }
    }

    // The RUTs of the voluntary affiliate and the subsidy payer are held to
    // their check characters as the worker's is (an empty one stays
    // allowed), and a RUT of zeros is no worker's RUT.
    void rutChecks_data() {
        QTest::addColumn<QString>("rutBox");
        QTest::addColumn<QString>("checkBox");
        QTest::addColumn<QString>("rut");
        QTest::addColumn<QString>("check");
        QTest::addColumn<QString>("message"); // empty: accepted
        QTest::addColumn<QString>("focus");
        auto row = [](const char* tag, const char* r, const char* c, const char* rut,
                      const char* check, const char* message, const char* focus) {
            QTest::newRow(tag) << QString::fromLatin1(r) << QString::fromLatin1(c)
                               << QString::fromLatin1(rut) << QString::fromLatin1(check)
                               << QString::fromUtf8(message) << QString::fromLatin1(focus);
        };
        row("worker zero", "EdRut", "EdDV", "0", "0", "Debe ingresar el rut del empleado", "EdRut");
        row("voluntary wrong", "PFRutAfiVol", "EdDVAfiVol", "11111111", "2",
            "El Digito verificador no corresponde al Rut del afiliado voluntario", "EdDVAfiVol");
        row("voluntary without check", "PFRutAfiVol", "EdDVAfiVol", "11111111", "",
            "Debe ingresar el digito verificador del Rut del afiliado voluntario", "EdDVAfiVol");
        row("voluntary right", "PFRutAfiVol", "EdDVAfiVol", "11111111", "1", "", "");
        row("voluntary empty", "PFRutAfiVol", "EdDVAfiVol", "", "", "", "");
        row("payer wrong", "EdRutPagSub", "EdDVPagSub", "12345678", "9",
            "El Digito verificador no corresponde al Rut del pagador de subsidios", "EdDVPagSub");
        row("payer right", "EdRutPagSub", "EdDVPagSub", "12345678", "5", "", "");
        row("payer empty", "EdRutPagSub", "EdDVPagSub", "", "", "", "");
    }

    void rutChecks() {
        QFETCH(QString, rutBox);
        QFETCH(QString, checkBox);
        QFETCH(QString, rut);
        QFETCH(QString, check);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        loadSample();
        const QByteArray before = tableBytes(t_);
        auto e = openEditor(t_, 0);
        typeInto(*e, rutBox.toLatin1().constData(), rut);
        typeInto(*e, checkBox.toLatin1().constData(), check);
        const int tab = e->pages()->currentIndex();
        e->pages()->setCurrentIndex(tab == 0 ? 1 : 0);
        if (!message.isEmpty()) d().expectInform(message);
        const bool accepted = accept(*e);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(accepted, message.isEmpty());
        if (accepted) {
            const RecordView line = t_.recordAt(0);
            QCOMPARE(line.text(fieldOfControl(rutBox) + 1), check);
        } else {
            QCOMPARE(tableBytes(t_), before);
            QCOMPARE(e->pages()->currentIndex(), tab);
            QTRY_COMPARE(focusedControl(), focus);
        }
    }

private:
    // The listing's editor reads the code-table file beside the program.
    void installCodes() { QVERIFY(placeCodeTableBesideProgram()); }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
