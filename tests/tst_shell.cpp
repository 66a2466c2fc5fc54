// Tests of the application-wide keyboard rule (Enter acts as Tab in entry
// controls, presses a focused button, and is left alone everywhere else), of
// the confirmation box, the error report and the progress box.

#include "ui/app/AppMessage.h"
#include "engine/util/Errors.h"
#include "ui/widgets/Pregunta.h"
#include "ui/widgets/ProgressBox.h"

#include "ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// An edit built on the plain line edit, as the program's specialised edits are.
class UpperEdit : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
};

// Counts the Enter key presses and releases that reach the watched widgets
// (after the application's filters, before the widgets' own handling).
class KeyRecorder : public QObject {
public:
    void watch(QWidget* w) {
        w->installEventFilter(this);
        for (QWidget* child : w->findChildren<QWidget*>())
            child->installEventFilter(this);
    }
    int presses = 0;
    int releases = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                ++(event->type() == QEvent::KeyPress ? presses : releases);
        }
        return false;
    }
};

// True when the focus is on the widget or inside it (an editable combo box
// may hand the focus to its line edit).
bool focusIn(const QWidget* w) {
    const QWidget* f = QApplication::focusWidget();
    return f && (f == w || w->isAncestorOf(f));
}

QString focusName() {
    const QWidget* f = QApplication::focusWidget();
    return f ? QString::fromLatin1(f->metaObject()->className()) + u' ' + f->objectName()
             : u"(none)"_s;
}

void pressEnter(Qt::Key key = Qt::Key_Return, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(QApplication::focusWidget(), key, mods);
}

QWidget* makeControl(const QString& kind, QWidget* parent) {
    if (kind == u"line edit") return new QLineEdit(parent);
    if (kind == u"line edit subclass") return new UpperEdit(parent);
    if (kind == u"combo box" || kind == u"editable combo box") {
        auto* c = new QComboBox(parent);
        c->addItems({u"01 Uno"_s, u"02 Dos"_s});
        c->setEditable(kind == u"editable combo box");
        return c;
    }
    if (kind == u"radio button") return new QRadioButton(u"Opción"_s, parent);
    if (kind == u"date edit" || kind == u"date edit with calendar") {
        auto* d = new QDateEdit(QDate(2024, 12, 31), parent);
        d->setDisplayFormat(u"dd-MM-yyyy"_s);
        d->setCalendarPopup(kind == u"date edit with calendar");
        return d;
    }
    if (kind == u"push button") return new QPushButton(u"&Aceptar"_s, parent);
    if (kind == u"tool button") return new QToolButton(parent);
    if (kind == u"check box") return new QCheckBox(u"Marca"_s, parent);
    if (kind == u"memo") return new QPlainTextEdit(parent);
    if (kind == u"list box") {
        auto* l = new QListWidget(parent);
        l->addItems({u"uno"_s, u"dos"_s});
        l->setCurrentRow(0);
        return l;
    }
    return nullptr;
}

} // namespace

class TstShell : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void enterActsAsTab_data();
    void enterActsAsTab();

    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();

    void enterLeftAlone_data();
    void enterLeftAlone();

    void enterInCellEditorCommits_data();
    void enterInCellEditorCommits();

    void keyReleasePasses();
    void nothingHappensWithoutFocus();
    void enterAcceptsFileName();

    void pregunta_data();
    void pregunta();

    void guardedReportsFailures_data();
    void guardedReportsFailures();

    void realBoxesShowTheirWholeCaption_data();
    void realBoxesShowTheirWholeCaption();
    void realBoxesAnswerAltKeys_data();
    void realBoxesAnswerAltKeys();

    void progressBoxStaysUntilTheWorkStops_data();
    void progressBoxStaysUntilTheWorkStops();

private:
    // Shows the window, waits until it is active and focuses the widget.
    static bool activate(QWidget& window, QWidget* focus);
};

void TstShell::initTestCase() {
    qApp->installEventFilter(new AppMessage(qApp));
}

bool TstShell::activate(QWidget& window, QWidget* focus) {
    window.show();
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window)) return false;
    focus->setFocus(Qt::OtherFocusReason);
    return focusIn(focus);
}

// The standard save dialog keeps Enter: typing a name and pressing Enter
// accepts it, instead of walking to the next control.
void TstShell::enterAcceptsFileName() {
    QTemporaryDir dir;
    QFileDialog dialog(nullptr, u"Guardar"_s, dir.path());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QTimer::singleShot(0, &dialog, [&dialog] {
        auto* name = dialog.findChild<QLineEdit*>(u"fileNameEdit"_s);
        QVERIFY(name);
        QVERIFY(activate(dialog, name));
        name->setText(u"Solvanta.txt"_s);
        QTest::keyClick(name, Qt::Key_Return);
        if (dialog.isVisible()) dialog.reject(); // Enter did not accept
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(QFileInfo(dialog.selectedFiles().value(0)).fileName(), u"Solvanta.txt"_s);
}

// ------------------------------------------------------------- Enter as Tab

void TstShell::enterActsAsTab_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("key");

    for (const char* kind : {"line edit", "line edit subclass", "combo box", "editable combo box",
                             "radio button", "date edit", "date edit with calendar"})
        QTest::newRow(kind) << QString::fromLatin1(kind) << int(Qt::Key_Return);
    QTest::newRow("line edit, keypad Enter") << u"line edit"_s << int(Qt::Key_Enter);
    QTest::newRow("date edit, keypad Enter") << u"date edit"_s << int(Qt::Key_Enter);
}

// The user walks a form with Enter alone: from the field before into the
// control, on to the field after, and back with Shift+Enter. The control never
// sees an Enter, and the dialog's default button is never pressed.
void TstShell::enterActsAsTab() {
    QFETCH(QString, kind);
    QFETCH(int, key);

    // Laid out as the program's forms are: a dialog with tab pages holding
    // framed groups of controls, and a default button.
    QDialog window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new QTabWidget(&window);
    auto* group = new QGroupBox(u"Datos"_s);
    tabs->addTab(group, u"Trabajador"_s);
    auto* groupLayout = new QVBoxLayout(group);
    auto* before = new QLineEdit(group);
    QWidget* control = makeControl(kind, group);
    auto* after = new QLineEdit(group);
    for (QWidget* w : {static_cast<QWidget*>(before), control, static_cast<QWidget*>(after)})
        groupLayout->addWidget(w);
    auto* ok = new QPushButton(u"&Aceptar"_s, &window);
    ok->setDefault(true);
    layout->addWidget(tabs);
    layout->addWidget(ok);
    QSignalSpy okClicks(ok, &QPushButton::clicked);
    KeyRecorder controlKeys;
    controlKeys.watch(control);
    QVERIFY(activate(window, before));

    const auto k = Qt::Key(key);
    pressEnter(k);
    QVERIFY2(focusIn(control), qPrintable(focusName()));
    pressEnter(k);
    QVERIFY2(focusIn(after), qPrintable(focusName()));
    pressEnter(k, Qt::ShiftModifier);
    QVERIFY2(focusIn(control), qPrintable(focusName()));
    pressEnter(k, Qt::ShiftModifier);
    QVERIFY2(focusIn(before), qPrintable(focusName()));

    QCOMPARE(controlKeys.presses, 0);
    QCOMPARE(okClicks.count(), 0);
    if (auto* combo = qobject_cast<QComboBox*>(control)) QCOMPARE(combo->count(), 2);
}

// ---------------------------------------------------------------- buttons

void TstShell::enterPressesFocusedButton_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("inDialog");

    QTest::newRow("push button in a window") << u"push button"_s << false;
    QTest::newRow("push button in a dialog") << u"push button"_s << true;
    QTest::newRow("tool button in a window") << u"tool button"_s << false;
    QTest::newRow("tool button in a dialog") << u"tool button"_s << true;
}

// A dialog presses its auto-default buttons on Enter by itself; the focused
// button must still be pressed once, and the dialog's default one not at all.
void TstShell::enterPressesFocusedButton() {
    QFETCH(QString, kind);
    QFETCH(bool, inDialog);

    std::unique_ptr<QWidget> window(inDialog ? new QDialog : new QWidget);
    auto* layout = new QVBoxLayout(window.get());
    auto* edit = new QLineEdit(window.get());
    auto* defaultButton = new QPushButton(u"&Cancelar"_s, window.get());
    defaultButton->setDefault(true);
    auto* button = qobject_cast<QAbstractButton*>(makeControl(kind, window.get()));
    button->setFocusPolicy(Qt::StrongFocus);
    layout->addWidget(edit);
    layout->addWidget(defaultButton);
    layout->addWidget(button);
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QSignalSpy defaultClicks(defaultButton, &QPushButton::clicked);
    QVERIFY(activate(*window, button));

    pressEnter();
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(defaultClicks.count(), 0);
    QVERIFY(focusIn(button));

    pressEnter(Qt::Key_Enter);
    QCOMPARE(clicks.count(), 2);
    QCOMPARE(defaultClicks.count(), 0);
}

// ------------------------------------------------- controls left alone

void TstShell::enterLeftAlone_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("check box") << u"check box"_s;
    QTest::newRow("memo") << u"memo"_s;
    QTest::newRow("list box") << u"list box"_s;
}

// Enter reaches these controls as Enter: the memo starts a new line, the list
// box reports its current item, and the focus stays where it was.
void TstShell::enterLeftAlone() {
    QFETCH(QString, kind);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QWidget* control = makeControl(kind, &window);
    auto* after = new QLineEdit(&window);
    layout->addWidget(control);
    layout->addWidget(after);
    KeyRecorder controlKeys;
    controlKeys.watch(control);
    QVERIFY(activate(window, control));

    auto* list = qobject_cast<QListWidget*>(control);
    std::unique_ptr<QSignalSpy> activated(list ? new QSignalSpy(list, &QAbstractItemView::activated)
                                               : nullptr);
    auto* check = qobject_cast<QCheckBox*>(control);
    const bool checked = check && check->isChecked();

    pressEnter();
    QVERIFY2(focusIn(control), qPrintable(focusName()));
    QVERIFY(controlKeys.presses >= 1);
    if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) QCOMPARE(memo->blockCount(), 2);
    if (list) QCOMPARE(activated->count(), 1);
    if (check) QCOMPARE(check->isChecked(), checked);
}

// ---------------------------------------------------------- cell editors

void TstShell::enterInCellEditorCommits_data() {
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<QVariant>("after");

    QTest::newRow("text cell (line edit editor)") << QVariant(u"viejo"_s) << QVariant(u"nuevo"_s);
    QTest::newRow("date cell (date edit editor)")
        << QVariant(QDate(2024, 1, 31)) << QVariant(QDate(2024, 12, 31));
}

// The grid's cell editors are line edits and date edits too, but Enter in them
// commits the cell and closes the editor, as the grid expects; as Tab it would
// open the next cell's editor instead.
void TstShell::enterInCellEditorCommits() {
    QFETCH(QVariant, before);
    QFETCH(QVariant, after);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    QStandardItemModel model(2, 2);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            model.setData(model.index(r, c), before);
    auto* view = new QTableView(&window);
    view->setModel(&model);
    auto* other = new QLineEdit(&window);
    layout->addWidget(view);
    layout->addWidget(other);
    QVERIFY(activate(window, view));

    const QModelIndex cell = model.index(0, 0);
    view->setCurrentIndex(cell);
    view->edit(cell);
    QPointer<QWidget> editor = QApplication::focusWidget();
    QVERIFY(editor && editor != view && view->isAncestorOf(editor));
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->setText(after.toString());
    else if (auto* date = qobject_cast<QDateTimeEdit*>(editor))
        date->setDate(after.toDate());
    else
        QFAIL(qPrintable(focusName()));

    pressEnter();
    QTRY_COMPARE(model.data(cell), after); // the delegate commits from the event loop
    QCOMPARE(model.data(model.index(0, 1)), before);
    QTRY_VERIFY(editor.isNull() || !editor->isVisible());
    QCOMPARE(QApplication::focusWidget(), view);
    QCOMPARE(view->currentIndex(), cell);
}

// ------------------------------------------------------- other messages

void TstShell::keyReleasePasses() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    auto* after = new QLineEdit(&window);
    layout->addWidget(edit);
    layout->addWidget(after);
    KeyRecorder keys;
    keys.watch(edit);
    QVERIFY(activate(window, edit));

    QTest::keyRelease(edit, Qt::Key_Return);
    QCOMPARE(keys.releases, 1);
    QVERIFY(focusIn(edit));
}

// With no focused control, Enter goes to the window as it is: no control
// takes the focus and no button is pressed.
void TstShell::nothingHappensWithoutFocus() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* edit = new QLineEdit(&window);
    auto* button = new QPushButton(u"&Aceptar"_s, &window);
    layout->addWidget(edit);
    layout->addWidget(button);
    QSignalSpy clicks(button, &QPushButton::clicked);
    KeyRecorder keys;
    keys.watch(&window);
    QVERIFY(activate(window, edit));
    edit->clearFocus();
    QCOMPARE(QApplication::focusWidget(), nullptr);

    QTest::keyClick(&window, Qt::Key_Return);
    QTest::keyClick(&window, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(keys.presses, 2);
    QCOMPARE(QApplication::focusWidget(), nullptr);
    QCOMPARE(clicks.count(), 0);
}

// ------------------------------------------------------------- Pregunta

void TstShell::pregunta_data() {
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("text");

    const QString first = u"¿Seguro de Eliminar este Registro?"_s;
    const QString second = u"Los cambios no se pueden deshacer."_s;
    QTest::newRow("first alone, OK") << first << QString() << 1 << first;
    QTest::newRow("first alone, Cancel") << first << QString() << 2 << first;
    QTest::newRow("both, OK") << first << second << 1 << first + u"\n\r"_s + second;
    QTest::newRow("both, Cancel") << first << second << 2 << first + u"\n\r"_s + second;
    QTest::newRow("second alone") << QString() << second << 1 << u"\n\r"_s + second;
}

void TstShell::pregunta() {
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, answer);
    QFETCH(QString, text);

    ScriptedDialogs dialogs;
    dialogs.expectAsk(text, ui::Button(answer));
    QCOMPARE(solvanta::Pregunta(first, second), answer);
    QVERIFY2(dialogs.done(), qPrintable(dialogs.problems()));

    QCOMPARE(dialogs.shown().size(), 1);
    const ScriptedDialogs::Shown shown = dialogs.last();
    QCOMPARE(shown.kind, ScriptedDialogs::Kind::Ask);
    QCOMPARE(shown.text, text);
    QCOMPARE(shown.caption, u"Atención"_s);
    QCOMPARE(shown.icon, ui::Icon::Question);
    QCOMPARE(shown.defaultButton, ui::Button::Cancel);
}

// ---------------------------------------------------------------- guarded

void TstShell::guardedReportsFailures_data() {
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("text");
    QTest::newRow("engine error")
        << 0 << u"No se pudo abrir el archivo «x.txt»: el archivo no existe."_s;
    QTest::newRow("out of memory")
        << 1 << u"No hay memoria suficiente para completar la operación."_s;
}

// A handler's failure ends in the error report with a Spanish text, and the
// program goes on; running out of memory is one such failure.
void TstShell::guardedReportsFailures() {
    QFETCH(int, failure);
    QFETCH(QString, text);
    ScriptedDialogs dialogs;
    dialogs.expectError(text);
    const bool done = ui::guarded(nullptr, [&] {
        if (failure == 0) throw solvanta::IoError(text);
        throw std::bad_alloc();
    });
    QVERIFY(!done);
    QVERIFY2(dialogs.done(), qPrintable(dialogs.problems()));
    QCOMPARE(dialogs.last().text, text);
}

// ---------------------------------------------------------------- real boxes

void TstShell::realBoxesShowTheirWholeCaption_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("question") << 0;
    QTest::newRow("message") << 1;
    QTest::newRow("error") << 2;
}

// A box with a short text is still wide enough for its caption beside the
// title bar's buttons, instead of showing "Editor de …e Solvanta".
void TstShell::realBoxesShowTheirWholeCaption() {
    QFETCH(int, kind);
    ui::setDialogs(nullptr); // the real boxes
    int width = 0, needed = 0;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box);
        QTRY_VERIFY(box->isVisible());
        width = box->width();
        needed = box->fontMetrics().horizontalAdvance(box->windowTitle()) + 100;
        box->close();
    });
    const QString text = u"Rut no encontrado"_s;
    if (kind == 0)
        ui::dialogs().ask(nullptr, {u"Editor de Archivos de Solvanta"_s, text});
    else if (kind == 1)
        ui::dialogs().inform(nullptr, text);
    else
        ui::dialogs().error(nullptr, text);
    QVERIFY(needed > 100);
    QVERIFY2(width >= needed, qPrintable(u"%1 < %2"_s.arg(width).arg(needed)));
}

void TstShell::realBoxesAnswerAltKeys_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<int>("key"); // pressed with Alt
    QTest::addColumn<int>("answer");
    const QStringList okCancel{u"&Aceptar"_s, u"&Cancelar"_s};
    QTest::newRow("question, Alt+A") << 0 << okCancel << int(Qt::Key_A) << int(ui::Button::Ok);
    QTest::newRow("question, Alt+C") << 0 << okCancel << int(Qt::Key_C) << int(ui::Button::Cancel);
    QTest::newRow("message, Alt+A") << 1 << QStringList{u"&Aceptar"_s} << int(Qt::Key_A) << 0;
    QTest::newRow("error, Alt+A") << 2 << QStringList{u"&Aceptar"_s} << int(Qt::Key_A) << 0;
}

// The buttons of the real boxes have Alt keys (their captions still read
// "Aceptar" and "Cancelar"), and Alt with the key answers the box, whichever
// button is the default.
void TstShell::realBoxesAnswerAltKeys() {
    QFETCH(int, kind);
    QFETCH(QStringList, buttons);
    QFETCH(int, key);
    QFETCH(int, answer);
    ui::setDialogs(nullptr); // the real boxes
    QStringList seen;
    bool closedByKey = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        if (!QTest::qWaitForWindowActive(box)) {
            box->close();
            QFAIL("the box never became active");
        }
        for (QAbstractButton* b : box->buttons())
            seen << b->text();
        QTest::keyClick(box->windowHandle(), Qt::Key(key), Qt::AltModifier);
        // A mnemonic presses its button a moment after the key.
        closedByKey = QTest::qWaitFor([box] { return !box->isVisible(); }, 2000);
        if (!closedByKey) box->close();
    });
    const QString text = u"Rut no encontrado"_s;
    ui::Button result = ui::Button::Cancel;
    if (kind == 0)
        result = ui::dialogs().ask(nullptr, {u"Atención"_s, text, ui::Icon::Question,
                                             key == Qt::Key_C ? ui::Button::Ok
                                                              : ui::Button::Cancel});
    else if (kind == 1)
        ui::dialogs().inform(nullptr, text);
    else
        ui::dialogs().error(nullptr, text);
    QCOMPARE(seen, buttons);
    QVERIFY2(closedByKey, "the Alt key did not answer the box");
    if (kind == 0) QCOMPARE(int(result), answer);
}

// ---------------------------------------------------------------- progress box

void TstShell::progressBoxStaysUntilTheWorkStops_data() {
    QTest::addColumn<int>("how");
    QTest::newRow("Cancelar button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close box") << 2;
}

// However the user cancels, the box only asks the work to stop: it stays
// on screen, still modal over the window, saying so, until the work ends;
// the window takes nothing in the meantime.
void TstShell::progressBoxStaysUntilTheWorkStops() {
    QFETCH(int, how);
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ProgressBox box(&window, u"Creando la planilla..."_s);
    auto* dialog = window.findChild<QProgressDialog*>();
    QVERIFY(dialog);
    QVERIFY(box.update(10, 100));
    dialog->show(); // as it shows itself when the work lasts
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto* cancel = dialog->findChild<QPushButton*>();
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), u"Cancelar"_s);
    if (how == 0)
        cancel->click();
    else if (how == 1)
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->isModal());
    QCOMPARE(dialog->labelText(), u"Cancelando..."_s);
    QVERIFY(!cancel->isEnabled());
    QVERIFY(!box.update(20, 100));
    QVERIFY(!box.update(30, 100)); // asked once, asked for good
    QVERIFY(dialog->isVisible());
}

QTEST_MAIN(TstShell)
#include "tst_shell.moc"
