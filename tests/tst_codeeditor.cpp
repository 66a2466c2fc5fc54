// The code-table editor driven through its controls against a real file:
// typing and zero-filling codes, changing, adding and deleting entries, the
// help texts, a save that fails, the user's copy of a file that cannot be
// written in place, and the listing's code menu that opens the editor.

#include "ListingFixture.h"
#include "ui/app/AppMessage.h"
#include "ui/help/UFrmAyudaParametros.h"
#include "engine/codes/CodeTableFile.h"
#include "ui/codes/UnitModCodSolvanta.h"
#include "ui/widgets/EntryControls.h"

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

template <typename T = QWidget> T* ctl(QWidget* w, const char* name) {
    T* c = w->findChild<T*>(QLatin1String(name));
    if (!c) qWarning("no control %s", name);
    return c;
}

QStringList listed(QWidget* editor) {
    QStringList out;
    auto* list = ctl<QListWidget>(editor, "ListBox1");
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void click(QWidget* editor, const char* button) {
    ctl<QPushButton>(editor, button)->click();
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
    void modify_data();
    void modify();
    void addTwiceAndAfterDelete();
    void enterStoresLikeTab();
    void remove_data();
    void remove();
    void needsSelection_data();
    void needsSelection();
    void closingStoresNothing_data();
    void closingStoresNothing();
    void help_data();
    void help();
    void failedSaveKeepsList();
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

    QTest::newRow("width 2, one digit zero-filled")
        << u"TipoPago"_s << 2 << u"1"_s << u"01"_s << u"Remuneraciones"_s << u"01 Remuneraciones"_s;
    QTest::newRow("width 4, two digits zero-filled")
        << u"Codigo Caja"_s << 4 << u"12"_s << u"0012"_s << u"Empart"_s << u"0012 Empart"_s;
    QTest::newRow("width 1") << u"Tipo Trabajador"_s << 1 << u"5"_s << u"5"_s << u"Activo"_s
                             << u"5 Activo"_s;
    QTest::newRow("lower-case letter shown and stored in capitals")
        << u"Tipo Linea"_s << 2 << u"a"_s << u"0A"_s << u"Normal"_s << u"0A Normal"_s;
    QTest::newRow("full width kept as typed")
        << u"APV"_s << 3 << u"b07"_s << u"B07"_s << u"Cuprum"_s << u"B07 Cuprum"_s;
    QTest::newRow("blank and = never enter a code")
        << u"CCAF"_s << 2 << u" 1="_s << u"01"_s << u"Los Andes"_s << u"01 Los Andes"_s;
    QTest::newRow("description: = refused, end blanks dropped, accents kept")
        << u"Isapres"_s << 2 << u"7"_s << u"07"_s << u"  Más=Vida Ñuñoa  "_s
        << u"07 MásVida Ñuñoa"_s;
}

void TstCodeEditor::typedEntry() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(QString, code);
    QFETCH(QString, shownCode);
    QFETCH(QString, glosa);
    QFETCH(QString, entry);

    auto e = open(name, width, kOther);
    QVERIFY(!e->EdCodigo()->isEnabled());
    click(e.get(), "BitBtn3"); // Agregar
    QCOMPARE(QApplication::focusWidget(), e->EdCodigo());
    typeAndLeave(code);
    QCOMPARE(e->EdCodigo()->text(), shownCode);
    QCOMPARE(QApplication::focusWidget(), ctl(e.get(), "EdGlosa"));
    typeAndLeave(glosa);

    QCOMPARE(listed(e.get()), QStringList{entry});
    QCOMPARE(contents(), kOther + "\r\n" + section(name, {entry}));
    QCOMPARE(e->EdCodigo()->text(), QString());
    QCOMPARE(ctl<QLineEdit>(e.get(), "EdGlosa")->text(), QString());
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

// Both boxes filled but not left: closing the window stores nothing.
void TstCodeEditor::closingStoresNothing_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cerrar") << false;
    QTest::newRow("close box") << true;
}

void TstCodeEditor::closingStoresNothing() {
    QFETCH(bool, closeBox);
    const QByteArray file = "[Mutual]\r\n01 ACHS=0\r\n";
    auto e = open(u"Mutual"_s, 2, file);
    click(e.get(), "BitBtn3");
    typeAndLeave(u"02"_s);
    typeText(QApplication::focusWidget(), u"IST"_s);
    if (closeBox)
        e->close();
    else
        click(e.get(), "BitBtn2");
    QVERIFY(!e->isVisible());
    QCOMPARE(e->result(), int(QDialog::Rejected));
    QCOMPARE(contents(), file);
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
