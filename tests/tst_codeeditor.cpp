// The code-table editor driven through its controls against a real file:
// typing and zero-filling codes, changing, adding and deleting entries, the
// help texts, a save that fails, the user's copy of a file that cannot be
// written in place, and the listing's code menu that opens the editor.

#include "ListingFixture.h"
#include "engine/codes/CodeTableFile.h"
#include "ui/app/AppMessage.h"
#include "ui/codes/UnitModCodSolvanta.h"
#include "ui/help/UFrmAyudaParametros.h"
#include "ui/widgets/EntryControls.h"

#include <QClipboard>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

namespace {

// Every test's file holds this section besides the one being edited, so that
// a rewrite shows where the edited section goes.
// (Windows-1252 bytes, as the file holds them.)
const QByteArray kOther = "[Mutual]\r\n01 Asociaci\xF3n Chilena=0\r\n";

// The bytes of a section as the editor writes it: header, then each entry
// with its position.
QByteArray section(const QString& name, const QStringList& entries) {
    QString text = u"["_s + name + u"]\r\n"_s;
    for (qsizetype i = 0; i < entries.size(); ++i)
        text += entries[i] + u'=' + QString::number(i) + u"\r\n"_s;
    return cp(text);
}

QStringList listed(QWidget* editor) {
    QStringList out;
    auto* list = ctl<QListWidget>(editor, "ListBox1");
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void select(QWidget* editor, int row) {
    ctl<QListWidget>(editor, "ListBox1")->setCurrentRow(row);
}

// The user's copy without the lines before its first list, which record the
// lists as taken from the program's file.
QByteArray listsOf(const QByteArray& copy) {
    if (copy.startsWith('[')) return copy;
    const qsizetype first = copy.indexOf("\n[");
    return first < 0 ? QByteArray() : copy.mid(first + 1);
}

// What the window says under the boxes about keys it refused; empty when it
// says nothing.
QString notice(QWidget* editor) {
    auto* l = ctl<QLabel>(editor, "LbAviso");
    return l && l->isVisible() ? l->text() : QString();
}

const QString kNumbersOnly =
    u"Los códigos de esta lista son números: «%1» no puede ir en un código."_s;
const QString kLettersAndDigits =
    u"Un código lleva solo letras y dígitos: «%1» no puede ir en él."_s;
const QString kNoEquals = u"El signo = no puede ir en una glosa."_s;

// Types into the box that has the focus and leaves it with Tab.
void typeAndLeave(const QString& text) {
    QWidget* box = QApplication::focusWidget();
    QVERIFY(box);
    if (!text.isEmpty()) typeText(box, text);
    QTest::keyClick(box, Qt::Key_Tab);
}

} // namespace

class TstCodeEditor : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void typedEntry_data();
    void typedEntry();
    void pasteRefusedOnce_data();
    void pasteRefusedOnce();
    void refusedCode_data();
    void refusedCode();
    void modify_data();
    void modify();
    void addTwiceAndAfterDelete();
    void enterStoresLikeTab();
    void remove_data();
    void remove();
    void needsSelection_data();
    void needsSelection();
    void closingWithTypedEntry_data();
    void closingWithTypedEntry();
    void help_data();
    void help();
    void failedSaveKeepsList();
    void failedSaveOnClosingKeepsWindow();
    void userCopy_data();
    void userCopy();
    void programFileMovesToUserFolder();
    void codeMenuOpensEditor_data();
    void codeMenuOpensEditor();

private:
    QString path() const { return tmp_->filePath(u"Solvanta.cfg"_s); }
    QByteArray contents() const { return readAll(path()); }
    // The editor on `name` with codes of `width`, over a file holding these
    // bytes, shown and active as when the code menu opens it.
    std::unique_ptr<TFrmModCodSolvanta> open(const QString& name, int width,
                                             const QByteArray& file);

    std::unique_ptr<QTemporaryDir> tmp_;
    DialogScript d;
};

void TstCodeEditor::init() {
    d.start();
    tmp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(tmp_->isValid());
    QFile::remove(CodeTableFile::userCopyPath());
}

void TstCodeEditor::cleanup() {
    CodeTableFile::setWritableCheck({});
    QFile::remove(CodeTableFile::userCopyPath());
    d.finish();
}

std::unique_ptr<TFrmModCodSolvanta> TstCodeEditor::open(const QString& name, int width,
                                                        const QByteArray& file) {
    if (!file.isNull() && !writeAll(path(), file)) qWarning("cannot write the code-table file");
    auto editor = std::make_unique<TFrmModCodSolvanta>(name, width, nullptr, CodeTableFile(path()));
    editor->EdCodigo()->setMaxLength(width);
    editor->show();
    editor->activateWindow();
    if (!QTest::qWaitForWindowActive(editor.get())) qWarning("editor not active");
    return editor;
}

// ---------------------------------------------------------------- typing

void TstCodeEditor::typedEntry_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("shownCode"); // after leaving the code box
    QTest::addColumn<QString>("glosa");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("beeps");      // one per refused key
    QTest::addColumn<QString>("notice"); // about the last refused key

    QTest::newRow("width 2, one digit zero-filled")
        << u"TipoPago"_s << 2 << u"1"_s << u"01"_s << u"Remuneraciones"_s << u"01 Remuneraciones"_s
        << 0 << QString();
    QTest::newRow("width 4, two digits zero-filled")
        << u"Codigo Caja"_s << 4 << u"12"_s << u"0012"_s << u"Empart"_s << u"0012 Empart"_s << 0
        << QString();
    QTest::newRow("width 1") << u"Tipo Trabajador"_s << 1 << u"5"_s << u"5"_s << u"Activo"_s
                             << u"5 Activo"_s << 0 << QString();
    QTest::newRow("full width kept as typed") << u"APV"_s << 3 << u"107"_s << u"107"_s
                                              << u"Cuprum"_s << u"107 Cuprum"_s << 0 << QString();
    QTest::newRow("letters list: lower-case letter shown and stored in capitals")
        << u"Tramo Familiar"_s << 1 << u"a"_s << u"A"_s << u"Sin derecho"_s << u"A Sin derecho"_s
        << 0 << QString();
    QTest::newRow("letters list: a blank is refused aloud")
        << u"Tramo Familiar"_s << 1 << u" b"_s << u"B"_s << u"Tramo B"_s << u"B Tramo B"_s << 1
        << kLettersAndDigits.arg(u" "_s);
    QTest::newRow("numeric list: a letter is refused aloud")
        << u"Tipo Linea"_s << 2 << u"a1"_s << u"01"_s << u"Normal"_s << u"01 Normal"_s << 1
        << kNumbersOnly.arg(u"a"_s);
    QTest::newRow("numeric list of width 3: the letter refused, the digits kept")
        << u"APV"_s << 3 << u"b07"_s << u"007"_s << u"Cuprum"_s << u"007 Cuprum"_s << 1
        << kNumbersOnly.arg(u"b"_s);
    QTest::newRow("blank and = never enter a code, each refused aloud")
        << u"CCAF"_s << 2 << u" 1="_s << u"01"_s << u"Los Andes"_s << u"01 Los Andes"_s << 2
        << kNumbersOnly.arg(u"="_s);
    QTest::newRow("description: = refused aloud, end blanks dropped, accents kept")
        << u"Isapres"_s << 2 << u"7"_s << u"07"_s << u"  Más=Vida Ñuñoa  "_s
        << u"07 MásVida Ñuñoa"_s << 1 << kNoEquals;
}

void TstCodeEditor::typedEntry() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(QString, code);
    QFETCH(QString, shownCode);
    QFETCH(QString, glosa);
    QFETCH(QString, entry);
    QFETCH(int, beeps);
    QFETCH(QString, notice);

    auto e = open(name, width, kOther);
    QVERIFY(!e->EdCodigo()->isEnabled());
    click(e.get(), "BitBtn3"); // Agregar
    QCOMPARE(QApplication::focusWidget(), e->EdCodigo());
    for (int i = 0; i < beeps; ++i)
        d().expectBeep();
    typeAndLeave(code);
    QCOMPARE(e->EdCodigo()->text(), shownCode);
    QCOMPARE(QApplication::focusWidget(), ctl(e.get(), "EdGlosa"));
    typeText(QApplication::focusWidget(), glosa);
    QVERIFY2(d().done(), qPrintable(d().problems()));
    QCOMPARE(::notice(e.get()), notice);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);

    QCOMPARE(listed(e.get()), QStringList{entry});
    QCOMPARE(contents(), kOther + "\r\n" + section(name, {entry}));
    QCOMPARE(e->EdCodigo()->text(), QString());
    QCOMPARE(ctl<QLineEdit>(e.get(), "EdGlosa")->text(), QString());
    QCOMPARE(::notice(e.get()), QString()); // said of the entry now stored
}

// A paste is one input: whatever it holds that the box refuses, one beep and
// one notice.
void TstCodeEditor::pasteRefusedOnce_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("intoCode");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("notice");

    QTest::newRow("description with two =")
        << u"Isapres"_s << false << u"Más=Vida=Tres"_s << u"MásVidaTres"_s << kNoEquals;
    QTest::newRow("numeric code with letters")
        << u"APV"_s << true << u"a1b"_s << u"1"_s << kNumbersOnly.arg(u"b"_s);
}

void TstCodeEditor::pasteRefusedOnce() {
    QFETCH(QString, name);
    QFETCH(bool, intoCode);
    QFETCH(QString, pasted);
    QFETCH(QString, kept);
    QFETCH(QString, notice);

    auto e = open(name, 3, QByteArray());
    click(e.get(), "BitBtn3");
    auto* box =
        intoCode ? static_cast<QLineEdit*>(e->EdCodigo()) : ctl<QLineEdit>(e.get(), "EdGlosa");
    box->setFocus();
    QGuiApplication::clipboard()->setText(pasted);
    d().expectBeep();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QVERIFY2(d().done(), qPrintable(d().problems()));
    QCOMPARE(box->text(), kept);
    QCOMPARE(::notice(e.get()), notice);
}

// A code the list already has, or one the list's look-ups cannot read, is
// refused when the entry would be stored: the message says why, nothing is
// stored, and the boxes stay open with the focus on the code to correct it.
void TstCodeEditor::refusedCode_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("row");         // changed by Modificar; -1: Agregar
    QTest::addColumn<QString>("code");    // typed over the code; empty: left as it is
    QTest::addColumn<QString>("glosa");   // typed over the description; empty: left
    QTest::addColumn<QString>("message"); // empty: stored
    QTest::addColumn<QString>("fix");     // typed over the code after the refusal
    QTest::addColumn<QStringList>("expected");

    const QByteArray afp = "[Nombre AFP]\r\n03 Capital=0\r\n05 Habitat=1\r\n";
    const QString taken = u"El código 05 ya está en la lista: «05 Habitat»."_s;
    QTest::newRow("new entry with a listed code")
        << u"Nombre AFP"_s << 2 << afp << -1 << u"5"_s << u"Duplicado"_s << taken << u"6"_s
        << QStringList{u"03 Capital"_s, u"05 Habitat"_s, u"06 Duplicado"_s};
    QTest::newRow("listed code written by hand without its zero")
        << u"Nombre AFP"_s << 2 << QByteArray("[Nombre AFP]\r\n5 Habitat=0\r\n") << -1 << u"05"_s
        << u"Duplicado"_s << u"El código 05 ya está en la lista: «5 Habitat»."_s << u"6"_s
        << QStringList{u"5 Habitat"_s, u"06 Duplicado"_s};
    QTest::newRow("changed entry given another's code")
        << u"Nombre AFP"_s << 2 << afp << 0 << u"5"_s << QString() << taken << u"4"_s
        << QStringList{u"04 Capital"_s, u"05 Habitat"_s};
    QTest::newRow("changed entry keeping its own code")
        << u"Nombre AFP"_s << 2 << afp << 1 << QString() << u"Hábitat"_s << QString() << QString()
        << QStringList{u"03 Capital"_s, u"05 Hábitat"_s};
    QTest::newRow("letters list: listed letter")
        << u"Tramo Familiar"_s << 1 << QByteArray("[Tramo Familiar]\r\nA Tramo A=0\r\n") << -1
        << u"a"_s << u"Otro"_s << u"El código A ya está en la lista: «A Tramo A»."_s << u"b"_s
        << QStringList{u"A Tramo A"_s, u"B Otro"_s};
    QTest::newRow("letters list: another letter")
        << u"Tramo Familiar"_s << 1 << QByteArray("[Tramo Familiar]\r\nA Tramo A=0\r\n") << -1
        << u"b"_s << u"Tramo B"_s << QString() << QString()
        << QStringList{u"A Tramo A"_s, u"B Tramo B"_s};
    QTest::newRow("numeric list: letter code written by hand")
        << u"TipoPago"_s << 2 << QByteArray("[TipoPago]\r\n0A Letra=0\r\n") << 0 << QString()
        << QString() << u"El código 0A no es válido: los códigos de esta lista son números."_s
        << u"1"_s << QStringList{u"01 Letra"_s};
}

void TstCodeEditor::refusedCode() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(QByteArray, file);
    QFETCH(int, row);
    QFETCH(QString, code);
    QFETCH(QString, glosa);
    QFETCH(QString, message);
    QFETCH(QString, fix);
    QFETCH(QStringList, expected);

    auto e = open(name, width, file);
    const QStringList before = listed(e.get());
    auto* edGlosa = ctl<QLineEdit>(e.get(), "EdGlosa");
    if (row < 0) {
        click(e.get(), "BitBtn3");
    } else {
        select(e.get(), row);
        click(e.get(), "BitBtn1");
    }
    if (!code.isEmpty()) e->EdCodigo()->selectAll();
    typeAndLeave(code);
    if (!glosa.isEmpty()) edGlosa->clear();
    const QString shownCode = e->EdCodigo()->text();
    if (!message.isEmpty()) d().expectInform(message);
    typeAndLeave(glosa);
    QVERIFY2(d().done(), qPrintable(d().problems()));

    if (!message.isEmpty()) {
        QCOMPARE(contents(), file);
        QCOMPARE(listed(e.get()), before);
        QCOMPARE(QApplication::focusWidget(), e->EdCodigo());
        QCOMPARE(e->EdCodigo()->text(), shownCode);
        QVERIFY(!edGlosa->text().isEmpty());
        // Corrected, the entry goes in.
        e->EdCodigo()->selectAll();
        typeAndLeave(fix);
        typeAndLeave(QString());
    }
    QCOMPARE(listed(e.get()), expected);
    QCOMPARE(CodeTableFile(path()).readSection(name), expected);
}

// --------------------------------------------------------------- changing

void TstCodeEditor::modify_data() {
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("code");  // shown by Modificar
    QTest::addColumn<QString>("glosa"); // shown by Modificar
    QTest::addColumn<QString>("typed"); // new description; empty: left as it is
    QTest::addColumn<QByteArray>("expected");

    const QByteArray two = "[TipoPago]\r\n01 Remuneraciones=0\r\n02 Gratificaciones=1\r\n" + kOther;
    const QByteArray rewritten =
        kOther + "\r\n" + section(u"TipoPago"_s, {u"01 Remuneraciones"_s, u"02 Bono"_s});
    QTest::newRow("unchanged entry stored again, section rewritten")
        << false << two << 1 << u"02"_s << u"Gratificaciones"_s << QString()
        << kOther + "\r\n" +
               section(u"TipoPago"_s, {u"01 Remuneraciones"_s, u"02 Gratificaciones"_s});
    QTest::newRow("new description")
        << false << two << 1 << u"02"_s << u"Gratificaciones"_s << u"Bono"_s << rewritten;
    QTest::newRow("double click") << true << two << 1 << u"02"_s << u"Gratificaciones"_s
                                  << u"Bono"_s << rewritten;
    // Written by hand with a one-digit code: the whole description is kept
    // and the code gets its zero.
    QTest::newRow("short code splits at its blank")
        << false << QByteArray("[TipoPago]\r\n1 Uno=0\r\n") << 0 << u"1"_s << u"Uno"_s << QString()
        << section(u"TipoPago"_s, {u"01 Uno"_s});
    QTest::newRow("entry without description stores nothing")
        << false << QByteArray("[TipoPago]\r\n05\r\n") << 0 << u"05"_s << QString() << QString()
        << QByteArray("[TipoPago]\r\n05\r\n");
}

void TstCodeEditor::modify() {
    QFETCH(bool, doubleClick);
    QFETCH(QByteArray, file);
    QFETCH(int, row);
    QFETCH(QString, code);
    QFETCH(QString, glosa);
    QFETCH(QString, typed);
    QFETCH(QByteArray, expected);

    auto e = open(u"TipoPago"_s, 2, file);
    auto* list = ctl<QListWidget>(e.get(), "ListBox1");
    const QStringList before = listed(e.get());
    if (doubleClick) {
        // A double click: the first click, then the second.
        const QPoint at = list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    } else {
        select(e.get(), row);
        click(e.get(), "BitBtn1"); // Modificar
    }
    auto* edGlosa = ctl<QLineEdit>(e.get(), "EdGlosa");
    QCOMPARE(e->EdCodigo()->text(), code);
    QCOMPARE(edGlosa->text(), glosa);
    QVERIFY(e->EdCodigo()->isEnabled() && edGlosa->isEnabled());
    QCOMPARE(QApplication::focusWidget(), e->EdCodigo());

    typeAndLeave(QString());
    if (!typed.isEmpty()) edGlosa->clear();
    typeAndLeave(typed);

    QCOMPARE(contents(), expected);
    if (expected == file) {
        QCOMPARE(listed(e.get()), before);
        QVERIFY(edGlosa->isEnabled()); // nothing stored: still editing
    } else {
        QCOMPARE(listed(e.get()), CodeTableFile(path()).readSection(u"TipoPago"_s));
        // The changed entry is stored; nothing typed later can overwrite it.
        QVERIFY(!e->EdCodigo()->isEnabled() && !edGlosa->isEnabled());
    }
}

// ----------------------------------------------------------------- adding

void TstCodeEditor::addTwiceAndAfterDelete() {
    auto e = open(u"CCAF"_s, 2, "[CCAF]\r\n01 La Araucana=0\r\n");

    click(e.get(), "BitBtn3");
    typeAndLeave(u"2"_s);
    typeAndLeave(u"Los Andes"_s);
    click(e.get(), "BitBtn3");
    typeAndLeave(u"3"_s);
    typeAndLeave(u"Los Héroes"_s);
    // The boxes stay open after a new entry: the next one goes after it.
    QVERIFY(e->EdCodigo()->isEnabled());
    e->EdCodigo()->setFocus();
    typeAndLeave(u"4"_s);
    typeAndLeave(u"Gabriela Mistral"_s);
    QCOMPARE(contents(), section(u"CCAF"_s, {u"01 La Araucana"_s, u"02 Los Andes"_s,
                                             u"03 Los Héroes"_s, u"04 Gabriela Mistral"_s}));

    d().expectAsk(u"¿Seguro de Eliminar este Registro?"_s, ui::Button::Ok);
    select(e.get(), 1);
    click(e.get(), "BitBtn4");
    click(e.get(), "BitBtn3");
    typeAndLeave(u"5"_s);
    typeAndLeave(u"Nueva"_s);
    const QStringList expected{u"01 La Araucana"_s, u"03 Los Héroes"_s, u"04 Gabriela Mistral"_s,
                               u"05 Nueva"_s};
    QCOMPARE(listed(e.get()), expected);
    QCOMPARE(contents(), section(u"CCAF"_s, expected));
}

// Enter in a box acts as Tab through the application's keyboard rule, so it
// leaves the box just the same.
void TstCodeEditor::enterStoresLikeTab() {
    AppMessage enterAsTab;
    qApp->installEventFilter(&enterAsTab);
    auto e = open(u"Tipo Linea"_s, 2, QByteArray());
    click(e.get(), "BitBtn3");
    typeText(e->EdCodigo(), u"1"_s);
    QTest::keyClick(e->EdCodigo(), Qt::Key_Return);
    QCOMPARE(e->EdCodigo()->text(), u"01"_s);
    auto* edGlosa = ctl<QLineEdit>(e.get(), "EdGlosa");
    QCOMPARE(QApplication::focusWidget(), edGlosa);
    typeText(edGlosa, u"Normal"_s);
    QTest::keyClick(edGlosa, Qt::Key_Return);
    qApp->removeEventFilter(&enterAsTab);

    QCOMPARE(listed(e.get()), QStringList{u"01 Normal"_s});
    QCOMPARE(contents(), section(u"Tipo Linea"_s, {u"01 Normal"_s}));
}

// --------------------------------------------------------------- deleting

void TstCodeEditor::remove_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray three = "[Isapres]\r\n01 Banmedica=0\r\n02 Consalud=1\r\n03 Vida Tres=2\r\n";
    QTest::newRow("confirmed") << three << 1 << true
                               << section(u"Isapres"_s, {u"01 Banmedica"_s, u"03 Vida Tres"_s});
    QTest::newRow("cancelled changes nothing") << three << 1 << false << three;
    QTest::newRow("last entry removes the section")
        << QByteArray("[Isapres]\r\n01 Banmedica=0\r\n" + kOther) << 0 << true << kOther;
}

void TstCodeEditor::remove() {
    QFETCH(QByteArray, file);
    QFETCH(int, row);
    QFETCH(bool, confirm);
    QFETCH(QByteArray, expected);

    auto e = open(u"Isapres"_s, 2, file);
    const QStringList before = listed(e.get());
    // Half an entry typed before deleting is dropped with the open boxes.
    click(e.get(), "BitBtn3");
    typeText(e->EdCodigo(), u"09"_s);

    d().expectAsk(u"¿Seguro de Eliminar este Registro?"_s,
                  confirm ? ui::Button::Ok : ui::Button::Cancel);
    select(e.get(), row);
    click(e.get(), "BitBtn4"); // Eliminar
    QVERIFY2(d().done(), qPrintable(d().problems()));
    QCOMPARE(d().last().caption, u"Atención"_s);
    QCOMPARE(d().last().text, u"¿Seguro de Eliminar este Registro?"_s);

    QCOMPARE(contents(), expected);
    QStringList after = before;
    if (confirm) after.removeAt(row);
    QCOMPARE(listed(e.get()), after);
    QCOMPARE(e->EdCodigo()->isEnabled(), !confirm);
}

void TstCodeEditor::needsSelection_data() {
    QTest::addColumn<QByteArray>("button");
    QTest::newRow("Modificar") << QByteArray("BitBtn1");
    QTest::newRow("Eliminar") << QByteArray("BitBtn4");
}

void TstCodeEditor::needsSelection() {
    QFETCH(QByteArray, button);
    const QByteArray file = "[APV]\r\n005 Capital=0\r\n";
    auto e = open(u"APV"_s, 3, file);
    d().expectInform(u"Debe seleccionar un dato"_s);
    click(e.get(), button.constData());
    QVERIFY2(d().done(), qPrintable(d().problems()));
    QCOMPARE(d().last().text, u"Debe seleccionar un dato"_s);
    QCOMPARE(contents(), file);
    QCOMPARE(listed(e.get()), QStringList{u"005 Capital"_s});
    QVERIFY(!e->EdCodigo()->isEnabled());
}

// However the window is closed (Cerrar by mouse or by its Alt+C, Escape,
// the title bar's close box), an entry in the boxes meets the same end: a
// complete one is stored, anything else is discarded only when the user says
// so, and a window with nothing typed just closes.
void TstCodeEditor::closingWithTypedEntry_data() {
    QTest::addColumn<int>("way");
    QTest::addColumn<int>("modifyRow"); // -1: Agregar
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("glosa");
    QTest::addColumn<QString>("refusal");  // shown when the focus leaves the box by mouse
    QTest::addColumn<QString>("question"); // empty: none
    QTest::addColumn<bool>("discard");
    QTest::addColumn<QStringList>("expected"); // the list in the file
    QTest::addColumn<bool>("closes");

    const QStringList none{u"01 ACHS"_s};
    const QString listed = u"El código 01 ya está en la lista: «01 ACHS»."_s;
    auto ask = [](const QString& entry) {
        return u"¿Descartar la entrada «"_s + entry + u"» que está escribiendo?"_s;
    };
    const char* ways[] = {"Alt+C", "Escape", "close box", "mouse on Cerrar"};
    for (int way = 0; way < 4; ++way) {
        auto row = [&](const char* what) -> QTestData& {
            return QTest::addRow("%s, %s", ways[way], what) << way;
        };
        row("complete entry stored") << -1 << u"2"_s << u"IST"_s << QString() << QString() << false
                                     << QStringList{u"01 ACHS"_s, u"02 IST"_s} << true;
        row("code only, discarded")
            << -1 << u"2"_s << QString() << QString() << ask(u"02"_s) << true << none << true;
        row("description only, kept")
            << -1 << QString() << u"IST"_s << QString() << ask(u"IST"_s) << false << none << false;
        row("listed code, discarded")
            << -1 << u"1"_s << u"Otra"_s << (way == 3 ? listed : QString()) << ask(u"01 Otra"_s)
            << true << none << true;
        row("listed code, kept") << -1 << u"1"_s << u"Otra"_s << (way == 3 ? listed : QString())
                                 << ask(u"01 Otra"_s) << false << none << false;
        row("nothing typed") << -1 << QString() << QString() << QString() << QString() << false
                             << none << true;
        row("Modificar, left as it was")
            << 0 << QString() << QString() << QString() << QString() << false << none << true;
    }
}

void TstCodeEditor::closingWithTypedEntry() {
    QFETCH(int, way);
    QFETCH(int, modifyRow);
    QFETCH(QString, code);
    QFETCH(QString, glosa);
    QFETCH(QString, refusal);
    QFETCH(QString, question);
    QFETCH(bool, discard);
    QFETCH(QStringList, expected);
    QFETCH(bool, closes);

    const QByteArray file = "[Mutual]\r\n01 ACHS=0\r\n";
    auto e = open(u"Mutual"_s, 2, file);
    if (modifyRow < 0) {
        click(e.get(), "BitBtn3");
    } else {
        select(e.get(), modifyRow);
        click(e.get(), "BitBtn1");
    }
    if (!code.isEmpty() || !glosa.isEmpty()) {
        typeAndLeave(code);
        typeText(QApplication::focusWidget(), glosa);
    }
    const QString shownCode = e->EdCodigo()->text();
    auto* edGlosa = ctl<QLineEdit>(e.get(), "EdGlosa");
    const QString shownGlosa = edGlosa->text();

    if (!refusal.isEmpty()) d().expectInform(refusal);
    if (!question.isEmpty()) d().expectAsk(question, discard ? ui::Button::Ok : ui::Button::Cancel);
    auto* cerrar = ctl<QPushButton>(e.get(), "BitBtn2");
    switch (way) {
    case 0:
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_C, Qt::AltModifier);
        // The mnemonic presses the button a moment later.
        QTRY_VERIFY(!e->isVisible() || !d().shown().isEmpty());
        break;
    case 1:
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        break;
    case 2:
        e->close();
        break;
    case 3:
        QTest::mouseClick(cerrar, Qt::LeftButton);
        break;
    }
    QVERIFY2(d().done(), qPrintable(d().problems()));

    QCOMPARE(CodeTableFile(path()).readSection(u"Mutual"_s), expected);
    QCOMPARE(e->isVisible(), !closes);
    if (closes) {
        QCOMPARE(e->result(), int(QDialog::Rejected));
    } else {
        // Still typing: the entry as it was, the focus on what it lacks.
        QCOMPARE(e->EdCodigo()->text(), shownCode);
        QCOMPARE(edGlosa->text(), shownGlosa);
        QCOMPARE(QApplication::focusWidget(), e->EdCodigo());
    }
}

// -------------------------------------------------------------------- help

void TstCodeEditor::help_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title"); // empty: no help window
    QTest::addColumn<QString>("text");

    QTest::newRow("TipoPago") << u"TipoPago"_s << u"Tipo Pago"_s
                              << u"  \n"
                                 u"  Estos datos se refieren al tipo de pago que se está\n"
                                 u"  declarando, es decir, si corresponde a remuneraciones\n"
                                 u"  del mes (normal) o gratificaciones o bien si son pagos\n"
                                 u"  retroactivos a empresas publicas.\n"_s;
    QTest::newRow("Tramo Familiar, line with a trailing blank")
        << u"Tramo Familiar"_s << u"Tramo Familiar"_s
        << u"  \n"
           u"  Estos datos se refieren a los tramos correspondientes\n"
           u"  a las asignaciones familiares. \n"_s;
    QTest::newRow("APV") << u"APV"_s << u"Ahorro Previsional Voluntario"_s
                         << u"  \n"
                            u"  Estos datos corresponden a las instituciones autorizadas\n"
                            u"  para manejar los fondos correspondientes al ahorro \n"
                            u"  previsional voluntario\n"_s;
    QTest::newRow("Tipo Linea has none") << u"Tipo Linea"_s << QString() << QString();
}

void TstCodeEditor::help() {
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(QString, text);

    auto e = open(name, 2, QByteArray());
    QString shownTitle;
    QString shownText;
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* w = qobject_cast<TFrmAyudaParametros*>(QApplication::activeModalWidget());
        if (!w) return;
        opened = true;
        shownTitle = w->windowTitle();
        shownText = w->text();
        w->close();
    });
    click(e.get(), "BitBtn5"); // Ayuda
    QCoreApplication::processEvents();
    QCOMPARE(opened, !title.isEmpty());
    QCOMPARE(shownTitle, title);
    QCOMPARE(shownText, text);
}

// ---------------------------------------------------------------- failures

// The error names the file and says why; the list keeps the entry, and the
// next save that succeeds writes it.
void TstCodeEditor::failedSaveKeepsList() {
#ifndef Q_OS_UNIX
    QSKIP("needs a file-size limit to make writes fail");
#else
    const QByteArray file = "[TipoPago]\r\n01 Remuneraciones=0\r\n";
    auto e = open(u"TipoPago"_s, 2, file);
    click(e.get(), "BitBtn3");
    typeAndLeave(u"2"_s);
    d().expectError(QDir::toNativeSeparators(path()));
    bool limited = false;
    {
        NoFileGrowth guard;
        limited = guard.ok();
        typeAndLeave(u"Gratificaciones"_s);
    }
    if (!limited) QSKIP("cannot limit the size of written files here");
    QVERIFY2(d().done(), qPrintable(d().problems()));
    QVERIFY2(d().last().text.contains(u"falló la escritura"_s), qPrintable(d().last().text));
    QCOMPARE(contents(), file);
    const QStringList both{u"01 Remuneraciones"_s, u"02 Gratificaciones"_s};
    QCOMPARE(listed(e.get()), both);

    click(e.get(), "BitBtn3");
    typeAndLeave(u"3"_s);
    typeAndLeave(u"Bono"_s);
    QCOMPARE(contents(), section(u"TipoPago"_s, both + QStringList{u"03 Bono"_s}));
#endif
}

// Closing stores the entry still in the boxes; when that store cannot be
// written the window stays, its list holding the entry, so that the error is
// not the last thing the user sees of it.
void TstCodeEditor::failedSaveOnClosingKeepsWindow() {
#ifndef Q_OS_UNIX
    QSKIP("needs a file-size limit to make writes fail");
#else
    const QByteArray file = "[TipoPago]\r\n01 Remuneraciones=0\r\n";
    auto e = open(u"TipoPago"_s, 2, file);
    click(e.get(), "BitBtn3");
    typeAndLeave(u"2"_s);
    typeText(QApplication::focusWidget(), u"Gratificaciones"_s);
    d().expectError(QDir::toNativeSeparators(path()));
    bool limited = false;
    {
        NoFileGrowth guard;
        limited = guard.ok();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }
    if (!limited) QSKIP("cannot limit the size of written files here");
    QVERIFY2(d().done(), qPrintable(d().problems()));
    QVERIFY(e->isVisible());
    QCOMPARE(contents(), file);
    QCOMPARE(listed(e.get()), (QStringList{u"01 Remuneraciones"_s, u"02 Gratificaciones"_s}));

    // The entry is in the list, nothing is left in the boxes: closing again
    // just closes.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!e->isVisible());
#endif
}

// ------------------------------------------------------------- user's copy

void TstCodeEditor::userCopy_data() {
    QTest::addColumn<bool>("programWritable");
    QTest::addColumn<bool>("copyExists");
    QTest::addColumn<bool>("changesProgram"); // else the user's copy

    QTest::newRow("program folder writable: changed in place") << true << false << true;
    QTest::newRow("not writable: the first change makes the user's copy")
        << false << false << false;
    QTest::newRow("the user's copy is read and changed while the program's file is not writable")
        << false << true << false;
    QTest::newRow("program writable: a user's copy is left alone") << true << true << true;
}

void TstCodeEditor::userCopy() {
    QFETCH(bool, programWritable);
    QFETCH(bool, copyExists);
    QFETCH(bool, changesProgram);

    const QString program = tmp_->filePath(u"programa/Solvanta.cfg"_s);
    const QString user = tmp_->filePath(u"config/usuario/Solvanta.cfg"_s);
    QVERIFY(QDir().mkpath(QFileInfo(program).absolutePath()));
    const QByteArray programBytes = "[TipoPago]\r\n01 Remuneraciones=0\r\n" + kOther;
    QVERIFY(writeAll(program, programBytes));
    const QByteArray copyBytes = "[TipoPago]\r\n01 Propia=0\r\n";
    if (copyExists) {
        QVERIFY(QDir().mkpath(QFileInfo(user).absolutePath()));
        QVERIFY(writeAll(user, copyBytes));
    }
    const QString programFolder = QFileInfo(program).absolutePath();
    CodeTableFile::setWritableCheck([programWritable, programFolder](const QString& p) {
        return QFileInfo(p).absolutePath() != programFolder || programWritable;
    });

    const CodeTableFile codes = CodeTableFile::withUserCopy(program, user);
    QCOMPARE(codes.path(), changesProgram ? program : copyExists ? user : program);
    TFrmModCodSolvanta e(u"TipoPago"_s, 2, nullptr, codes);
    e.show();
    e.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e));
    const QString first = copyExists && !programWritable ? u"01 Propia"_s : u"01 Remuneraciones"_s;
    QCOMPARE(listed(&e), QStringList{first});

    click(&e, "BitBtn3");
    typeAndLeave(u"2"_s);
    typeAndLeave(u"Gratificaciones"_s);

    const QByteArray changedProgram =
        kOther + "\r\n" + section(u"TipoPago"_s, {first, u"02 Gratificaciones"_s});
    if (changesProgram) {
        QCOMPARE(readAll(program), changedProgram);
        QCOMPARE(QFileInfo::exists(user), copyExists);
        if (copyExists) QCOMPARE(readAll(user), copyBytes);
    } else {
        // The copy has the program's other lists too, which it lacked.
        QCOMPARE(readAll(program), programBytes);
        QCOMPARE(listsOf(readAll(user)), changedProgram);
    }
    // Every later reader of the program's file sees the change.
    QCOMPARE(CodeTableFile::withUserCopy(program, user).readSection(u"TipoPago"_s),
             (QStringList{first, u"02 Gratificaciones"_s}));
}

// The program's own file, beside the executable, with the user's copy in the
// user's configuration folder: once the copy is made, every window that
// reads the program's file reads the copy.
void TstCodeEditor::programFileMovesToUserFolder() {
    const QString program = CodeTableFile::programPath();
    const QString user = CodeTableFile::userCopyPath();
    QCOMPARE(QFileInfo(program).absolutePath(), QCoreApplication::applicationDirPath());
    QCOMPARE(user, QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                       u"/Solvanta.cfg"_s);
    QVERIFY(!QFileInfo::exists(user));
    QCOMPARE(CodeTableFile().path(), program);
    const QByteArray programBefore = readAll(program);
    const bool programExisted = QFileInfo::exists(program);

    const QString programFolder = QFileInfo(program).absolutePath();
    CodeTableFile::setWritableCheck(
        [programFolder](const QString& p) { return QFileInfo(p).absolutePath() != programFolder; });
    TFrmModCodSolvanta e(u"Tipo Linea"_s, 2);
    e.show();
    e.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&e));
    const QStringList before = listed(&e);
    click(&e, "BitBtn3");
    typeAndLeave(u"9"_s);
    typeAndLeave(u"Prueba"_s);

    QVERIFY(QFileInfo::exists(user));
    QCOMPARE(QFileInfo::exists(program), programExisted);
    QCOMPARE(readAll(program), programBefore);
    QCOMPARE(CodeTableFile().path(), user);
    QCOMPARE(CodeTableFile().readSection(u"Tipo Linea"_s), before + QStringList{u"09 Prueba"_s});
}

// ------------------------------------------------------------- code menu

void TstCodeEditor::codeMenuOpensEditor_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Tipo Pago") << u"TipoPago1"_s << u"TipoPago"_s << 2
                               << u"Modifica Tipo de Pago"_s;
    QTest::newRow("Tipo Trabajador")
        << u"TipoTrabajador1"_s << u"Tipo Trabajador"_s << 1 << u"Modifica Tipo de Trabajador"_s;
    QTest::newRow("Cajas ex Régimen")
        << u"CdigosdeCajasexRgimen1"_s << u"Codigo Caja"_s << 4 << u"Modifica Cajas Ex Régimen"_s;
    QTest::newRow("APV") << u"NombresdeInstAPVAutorizadas1"_s << u"APV"_s << 3 << u"Modifica APV"_s;
}

void TstCodeEditor::codeMenuOpensEditor() {
    QFETCH(QString, entry);
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(QString, caption);

    // The program's file as the user's copy holds it, the program's folder
    // being one the user cannot write.
    const QString user = CodeTableFile::userCopyPath();
    QVERIFY(QDir().mkpath(QFileInfo(user).absolutePath()));
    QVERIFY(writeAll(user, section(name, {u"1 Uno"_s, u"2 Dos"_s})));
    const QString programFolder = QCoreApplication::applicationDirPath();
    CodeTableFile::setWritableCheck(
        [programFolder](const QString& p) { return QFileInfo(p).absolutePath() != programFolder; });

    auto l = listingOf(*tmp_, 1);
    showGrid(*l);
    auto* menu = l->findChild<QMenu*>(u"PopupMenu2"_s);
    QVERIFY(menu);
    for (QAction* a : menu->actions())
        QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
    auto* action = menu->findChild<QAction*>(entry);
    QVERIFY(action);

    QPointer<TFrmModCodSolvanta> editor;
    QString title;
    int maxLength = -1, codeWidth = -1;
    QString section;
    QStringList entries;
    const ModalAction modal = whenModal([&](QWidget* w) {
        editor = qobject_cast<TFrmModCodSolvanta*>(w);
        title = w->windowTitle();
        if (editor) {
            maxLength = editor->EdCodigo()->maxLength();
            section = editor->section();
            codeWidth = editor->codeWidth();
            entries = listed(editor);
        }
        w->close();
    });
    action->trigger();
    QVERIFY(editor.isNull()); // freed when it closed
    QCOMPARE(title, caption);
    QCOMPARE(maxLength, width);
    QCOMPARE(section, name);
    QCOMPARE(codeWidth, width);
    QCOMPARE(entries, (QStringList{u"1 Uno"_s, u"2 Dos"_s}));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TstCodeEditor)
#include "tst_codeeditor.moc"
