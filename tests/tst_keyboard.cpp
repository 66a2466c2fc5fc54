// Every toolbar button and menu entry of the listing, and every button of
// the code-table editor, reached with keys alone: Alt and the underlined
// letter, the menu key, arrows and Enter; each window a command opens is
// closed with Escape.

#include "ListingFixture.h"
#include "ui/codes/UnitModCodSolvanta.h"

#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QToolButton>
#include <QtTest>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

// A key pressed on whatever has the focus, as the keyboard sends it.
void press(int key, Qt::KeyboardModifiers mods = {}) {
    // A window just back from a dialog may not be active yet: the key goes
    // to its control that gets the focus.
    QWidget* target = QApplication::activePopupWidget();
    if (!target) target = QApplication::focusWidget();
    if (QWidget* modal = QApplication::activeModalWidget(); !target && modal)
        target = modal->focusWidget() ? modal->focusWidget() : modal;
    if (!target) target = QApplication::activeWindow();
    QVERIFY(target);
    QTest::keyClick(target, Qt::Key(key), mods);
}

// Closes with Escape the modal window that the next key opens, noting its
// class.
ModalAction escapeFrom(QString& seen) {
    return whenModalAppears([&seen](QWidget* w) {
        seen = QString::fromLatin1(w->metaObject()->className());
        // To the control of that window that has or will have the focus: the
        // window may not yet be the active one.
        QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Escape);
    });
}

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    QTemporaryDir home_; // where "Excel" leaves its workbook
    DialogScript d;

    // A listing of three lines, active, with one change typed into line 1 so
    // that undo has something to take back.
    OpenListing changedListing() {
        auto l = listingOf(tmp_, 3);
        showGrid(*l);
        l->activateWindow();
        [&] { QTRY_VERIFY(l->isActiveWindow()); }();
        l->grid()->setCurrentIndex(l->grid()->model()->index(0, field("nombres")));
        typeInGrid(l->grid(), u"ANA"_s);
        press(Qt::Key_Return);
        [&] { QTRY_VERIFY(l->findChild<QAction*>(u"Deshacer1"_s)->isEnabled()); }();
        return l;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        qputenv("HOME", QFile::encodeName(home_.path()));
        QVERIFY(placeCodeTableBesideProgram());
        // The help page beside the program, where the help window looks.
        const QString page = QCoreApplication::applicationDirPath() + u"/Ayuda.html"_s;
        QFile::remove(page);
        QVERIFY(QFile::copy(QStringLiteral(SOLVANTA_RESOURCES "/Ayuda.html"), page));
    }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    // Each toolbar button by its Alt key.
    void toolbarButtons_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("opens"); // the window's class, "menu", or "" for none
        QTest::newRow("Crear Archivo")
            << u"CrearArchivo1"_s << int(Qt::Key_A) << u"TFrmSelFormato"_s;
        QTest::newRow("Revisar") << u"Revisar1"_s << int(Qt::Key_I) << QString();
        QTest::newRow("Solvanta") << u"Solvanta1"_s << int(Qt::Key_L) << QString();
        QTest::newRow("Excel") << u"Excel1"_s << int(Qt::Key_X) << QString();
        QTest::newRow("Agregar") << u"Agregar1"_s << int(Qt::Key_G) << u"TFrmDatosSolvanta"_s;
        QTest::newRow("Modificar") << u"Modificar1"_s << int(Qt::Key_M) << u"TFrmDatosSolvanta"_s;
        QTest::newRow("Eliminar") << u"Eliminar1"_s << int(Qt::Key_E) << QString();
        QTest::newRow("Deshacer") << u"Deshacer1"_s << int(Qt::Key_D) << QString();
        QTest::newRow("Rehacer") << u"Rehacer1"_s << int(Qt::Key_H) << QString();
        QTest::newRow("Códigos") << u"Codigos1"_s << int(Qt::Key_Oacute) << u"menu"_s;
        QTest::newRow("Masiva") << u"Masiva1"_s << int(Qt::Key_V) << u"TFrmModMasiva"_s;
        QTest::newRow("Asignar") << u"Asignar1"_s << int(Qt::Key_N) << u"menu"_s;
        QTest::newRow("Ayuda") << u"Ayuda1"_s << int(Qt::Key_Y) << u"TFrmAyuda"_s;
        QTest::newRow("Acerca de") << u"Acercade1"_s << int(Qt::Key_R) << u"TFrmAcercade"_s;
        QTest::newRow("Salir") << u"Salir1"_s << int(Qt::Key_S) << QString();
    }

    void toolbarButtons() {
        QFETCH(QString, action);
        QFETCH(int, key);
        QFETCH(QString, opens);
        auto l = changedListing();
        QVERIFY(l->hasUnsavedChanges());
        if (action == u"Rehacer1") press(Qt::Key_Z, Qt::ControlModifier);
        auto* a = l->findChild<QAction*>(action);
        QVERIFY(a);
        QTRY_VERIFY2(a->isEnabled(), qPrintable(action));
        QSignalSpy triggered(a, &QAction::triggered);

        if (action == u"Solvanta1" || action == u"Excel1") d().expectUrl(true);
        if (action == u"Eliminar1")
            d().expectAsk(u"¿Seguro de Eliminar esta línea?"_s, ui::Button::Cancel);
        if (action == u"Salir1") d().expectAsk(u"¿Desea cerrar y descartarlos?"_s, ui::Button::Ok);
        QString seen;
        std::optional<ModalAction> modal;
        if (!opens.isEmpty() && opens != u"menu") modal.emplace(escapeFrom(seen));

        press(key, Qt::AltModifier);
        QTRY_COMPARE(triggered.count(), 1);
        if (modal) {
            QTRY_VERIFY(modal->ran());
            QCOMPARE(seen, opens);
        }
        if (opens == u"menu") {
            QTRY_VERIFY(QApplication::activePopupWidget());
            press(Qt::Key_Escape);
            QTRY_VERIFY(!QApplication::activePopupWidget());
        }
        QTRY_VERIFY2(d().done(), qPrintable(d().problems()));
        if (action == u"Salir1") QTRY_VERIFY(!l->isVisible());
        if (action == u"Deshacer1") QVERIFY(!l->hasUnsavedChanges());
        if (action == u"Rehacer1") QVERIFY(l->hasUnsavedChanges());
    }

    // Each entry of the listing's three menus: the line menu by the menu key,
    // the code and assignment menus by their buttons' Alt keys; arrows to the
    // entry, Enter to run it.
    void menuEntries_data() {
        QTest::addColumn<int>("openKey");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("entry"); // among the menu's entries, separators aside
        QTest::addColumn<QString>("opens");
        const struct {
            const char* name;
            int entry;
            const char* opens;
        } lineMenu[] = {{"Modificar", 0, "TFrmDatosSolvanta"},
                        {"Eliminar", 1, ""},
                        {"Agregar", 2, "TFrmDatosSolvanta"},
                        {"Deshacer", 3, ""},
                        {"Rehacer", 4, ""},
                        {"Buscar", 5, "TFrmBuscar"}};
        for (const auto& e : lineMenu)
            QTest::newRow(e.name) << int(Qt::Key_Menu) << u"PopupMenu1"_s << e.entry
                                  << QString::fromLatin1(e.opens);
        for (int i = 0; i < 11; ++i)
            QTest::addRow("code list %d", i + 1)
                << int(Qt::Key_Oacute) << u"PopupMenu2"_s << i << u"TFrmModCodSolvanta"_s;
        QTest::newRow("Tipo de Jornada")
            << int(Qt::Key_N) << u"PopupMenu3"_s << 0 << u"TFrmSelTipoJornada"_s;
        QTest::newRow("Centro de Costo")
            << int(Qt::Key_N) << u"PopupMenu3"_s << 1 << u"TFrmAsigCentroCosto"_s;
    }

    void menuEntries() {
        QFETCH(int, openKey);
        QFETCH(QString, menu);
        QFETCH(int, entry);
        QFETCH(QString, opens);
        auto l = changedListing();
        auto* m = l->findChild<QMenu*>(menu);
        QVERIFY(m);
        QList<QAction*> entries;
        for (QAction* a : m->actions())
            if (!a->isSeparator()) entries << a;
        QVERIFY(entry < entries.size());
        if (menu == u"PopupMenu1" && entry == 4) {
            press(Qt::Key_Z, Qt::ControlModifier);
            QTRY_VERIFY(entries[entry]->isEnabled());
        }
        // The assignments act on selected lines: two, chosen with Shift+Down.
        if (menu == u"PopupMenu3") press(Qt::Key_Down, Qt::ShiftModifier);
        QSignalSpy triggered(entries[entry], &QAction::triggered);
        if (entries[entry]->objectName() == u"Eliminar1")
            d().expectAsk(u"¿Seguro de Eliminar esta línea?"_s, ui::Button::Cancel);

        press(openKey, openKey == Qt::Key_Menu ? Qt::NoModifier : Qt::AltModifier);
        QTRY_COMPARE(QApplication::activePopupWidget(), m);
        // Down until the entry, as a user goes; a disabled entry is passed by.
        for (int i = 0; i <= entries.size() && m->activeAction() != entries[entry]; ++i)
            press(Qt::Key_Down);
        QCOMPARE(m->activeAction(), entries[entry]);
        QString seen;
        std::optional<ModalAction> modal;
        if (!opens.isEmpty()) modal.emplace(escapeFrom(seen));
        press(Qt::Key_Return);
        QTRY_COMPARE(triggered.count(), 1);
        if (modal) {
            QTRY_VERIFY(modal->ran());
            QCOMPARE(seen, opens);
        }
        QTRY_VERIFY2(d().done(), qPrintable(d().problems()));
    }

    // The code-table editor's buttons by their Alt keys, from the list:
    // Ayuda, Eliminar (asked, and refused), Agregar (the boxes open, empty),
    // Modificar (the chosen entry in the boxes), Cerrar.
    void codeEditorButtons() {
        auto l = changedListing();
        QPointer<TFrmModCodSolvanta> editor;
        bool walked = false;
        const ModalAction modal = whenModalAppears([&](QWidget* w) {
            editor = qobject_cast<TFrmModCodSolvanta*>(w);
            QVERIFY(editor);
            auto* list = editor->findChild<QListWidget*>(u"ListBox1"_s);
            QTRY_COMPARE(QApplication::focusWidget(), list);
            press(Qt::Key_Down); // the first entry
            QVERIFY(!list->selectedItems().isEmpty());
            const QString chosen = list->selectedItems().first()->text();

            QString help;
            {
                const ModalAction helpWindow = escapeFrom(help);
                press(Qt::Key_Y, Qt::AltModifier);
                QTRY_VERIFY(helpWindow.ran());
            }
            QCOMPARE(help, u"TFrmAyudaParametros"_s);
            QTRY_COMPARE(QApplication::activeModalWidget(), editor.data()); // the help has gone
            editor->activateWindow(); // as the window manager does when a dialog closes
            QTRY_VERIFY(editor->isActiveWindow()); // Alt keys work in the active window

            d().expectAsk(u"¿Seguro de Eliminar este Registro?"_s, ui::Button::Cancel);
            press(Qt::Key_E, Qt::AltModifier);
            QTRY_VERIFY2(d().done(), qPrintable(d().problems()));
            QCOMPARE(list->selectedItems().first()->text(), chosen);

            press(Qt::Key_A, Qt::AltModifier);
            QTRY_COMPARE(QApplication::focusWidget(), editor->EdCodigo());
            QVERIFY(editor->EdCodigo()->text().isEmpty());

            list->setFocus(); // as a click would: Modificar acts on the chosen entry
            press(Qt::Key_M, Qt::AltModifier);
            QTRY_COMPARE(QApplication::focusWidget(), editor->EdCodigo());
            QVERIFY(chosen.startsWith(editor->EdCodigo()->text()));

            press(Qt::Key_C, Qt::AltModifier);
            QTRY_VERIFY(!editor->isVisible());
            walked = true;
        });
        press(Qt::Key_Oacute, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        press(Qt::Key_Down);
        press(Qt::Key_Return);
        QTRY_VERIFY(modal.ran());
        QTRY_VERIFY(walked);
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
