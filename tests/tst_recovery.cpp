// Work that a crash left unsaved is offered at the next start: recovered,
// the listing shows it as it was, unsaved, with undo; declined, it waits for
// the next start; discarded, it goes. A journal whose program still runs is
// that program's.

#include "Generator.h"
#include "ListingFixture.h"
#include "engine/files/DeclarationFile.h"
#include "engine/files/Document.h"
#include "ui/app/UnitPrincipal.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "ui/listing/UnitSelFormato.h"

#include <QToolButton>

#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QSettings>

using namespace solvanta;
using namespace testutil;
using namespace Qt::StringLiterals;

class TestRecovery : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;
    QString file_;
    int round_ = 0;

    QByteArray linesOf(RxMem& t) {
        const QString path = tmp_.filePath(u"foto.csv"_s);
        writeDeclaration(path, FileForm::Separator, t);
        return readAll(path);
    }

    QStringList journals(const QString& folder) {
        return QDir(folder).entryList({u"*.jrn"_s}, QDir::Files);
    }

    // A document changed and left unsaved, as a crash leaves it: its
    // journal in `folder`, no program holding it. Returns the lines.
    QByteArray crashedWork(const QString& folder) {
        Document doc;
        doc.setJournalFolder(folder);
        doc.load(file_, FileForm::Position);
        RxMem& t = doc.table();
        t.moveTo(3);
        t.edit();
        t.setText(field("nombres"), u"RECUPERADO"_s);
        t.post();
        t.moveTo(5);
        t.deleteRecord();
        return linesOf(t);
    }

private slots:
    void initTestCase() {
        RxMem t;
        generateDeclaration(t, 40, 12);
        file_ = tmp_.filePath(u"nomina.txt"_s);
        writeDeclaration(file_, FileForm::Position, t);
    }
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    void recoveredAtStart() {
        const QString folder = tmp_.filePath(u"recuperar-%1"_s.arg(++round_));
        const QByteArray expected = crashedWork(folder);
        QCOMPARE(journals(folder).size(), 1);
        TFrmPrincipal window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        d().expectAsk(u"Hay correcciones sin grabar de «nomina.txt» del "_s, ui::Button::Ok);
        bool shown = false;
        const ModalAction listing = whenModal([&](QWidget* w) {
            auto* l = qobject_cast<TFrmSolvanta*>(w);
            QVERIFY(l);
            shown = true;
            QCOMPARE(linesOf(l->table()), expected);
            QVERIFY(l->hasUnsavedChanges());
            QVERIFY(l->table().canUndo());
            QCOMPARE(l->table().textAt(3, field("nombres")), u"RECUPERADO"_s);
            d().expectAsk(u"¿Desea cerrar y descartarlos?"_s, ui::Button::Ok);
            l->close();
        });
        window.offerRecovery(folder);
        QVERIFY(shown);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(journals(folder).isEmpty());
    }

    // Declined, the work waits for the next start; discarded then, it goes.
    void declinedThenDiscarded() {
        const QString folder = tmp_.filePath(u"recuperar-%1"_s.arg(++round_));
        crashedWork(folder);
        TFrmPrincipal window;
        d().expectAsk(u"(2 líneas modificadas). ¿Recuperarlas?"_s, ui::Button::Cancel);
        d().expectAsk(u"¿Descartar las correcciones sin grabar de «nomina.txt»?"_s,
                      ui::Button::Cancel);
        window.offerRecovery(folder);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(journals(folder).size(), 1);
        d().expectAsk(u"¿Recuperarlas?"_s, ui::Button::Cancel);
        d().expectAsk(u"¿Descartar"_s, ui::Button::Ok);
        window.offerRecovery(folder);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(journals(folder).isEmpty());
    }

    // The journal of a document still open (here, or in another running
    // program) is not offered.
    void journalInUseIsNotOffered() {
        const QString folder = tmp_.filePath(u"recuperar-%1"_s.arg(++round_));
        Document open;
        open.setJournalFolder(folder);
        open.load(file_, FileForm::Position);
        open.table().moveTo(1);
        open.table().deleteRecord();
        QCOMPARE(journals(folder).size(), 1);
        TFrmPrincipal window;
        window.offerRecovery(folder); // the strict double fails on any question
        QCOMPARE(journals(folder).size(), 1);
    }

    // "Crear Archivo" over the open file that another program changed since
    // it was loaded asks first, and says so; declined, the file keeps the
    // other program's bytes.
    void fileChangedBehindTheProgram() {
        const QString path = tmp_.filePath(u"compartido.txt"_s);
        QFile::remove(path);
        QVERIFY(QFile::copy(file_, path));
        OpenListing l;
        l->load(path, FileForm::Position);
        l->table().moveTo(0);
        l->table().edit();
        l->table().setText(field("nombres"), u"AQUI"_s);
        l->table().post();
        QByteArray other = readAll(path);
        other.replace(other.indexOf(' ', 20), 1, "Z");
        QVERIFY(writeAll(path, other));

        d().expectSave(path);
        d().expectAsk(u"cambió en el disco después de abrirlo aquí"_s, ui::Button::Cancel);
        const ModalAction modal = whenModal([&](QWidget* w) {
            auto* format = qobject_cast<TFrmSelFormato*>(w);
            QVERIFY(format);
            format->setItemIndex(0);
            click(format, "BitBtn1");
        });
        l->findChild<QToolButton*>(u"SpeedButton1"_s)->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(readAll(path), other);
        QVERIFY(l->hasUnsavedChanges());
    }

    // Two windows on the same file are told of each other: the second hears
    // of the first, which holds the file's lock until it closes.
    void twoWindowsOnOneFile() {
        const QString path = tmp_.filePath(u"doble.txt"_s);
        QFile::remove(path);
        QVERIFY(QFile::copy(file_, path));
        OpenListing first;
        first->load(path, FileForm::Position);
        QVERIFY2(d().done(), qPrintable(d().problems())); // alone: nothing said
        d().expectInform(
            u"«doble.txt» también está abierto en otra ventana del programa (proceso %1)"_s.arg(
                QCoreApplication::applicationPid()));
        OpenListing second;
        second->load(path, FileForm::Position);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(second->document().openElsewhere() > 0);
        showGrid(*second);
        showGrid(*first);
        second->close();
        first->close();
        QVERIFY(!first->isVisible() && !second->isVisible());
        OpenListing third; // both closed: the file is free again
        third->load(path, FileForm::Position);
        QCOMPARE(third->document().openElsewhere(), 0);
    }

    // The files opened last are in "Archivos recientes", newest first, with
    // their form; choosing one opens it again.
    void recentFiles() {
        QSettings(QSettings::NativeFormat, QSettings::UserScope, u"solvanta-editor"_s, u"editor"_s)
            .remove(u"recientes"_s);
        TFrmPrincipal window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* recent = ctl<QPushButton>(&window, "BtnRecientes");
        QVERIFY(recent && !recent->isEnabled());
        const QString second = tmp_.filePath(u"segunda.csv"_s);
        {
            RxMem t;
            loadDeclaration(file_, FileForm::Position, t);
            writeDeclaration(second, FileForm::Separator, t);
        }
        for (const QString& path : {file_, second}) {
            const ModalAction close = whenModal([](QWidget* w) { w->close(); });
            window.openFile(path);
            QVERIFY(close.ran());
        }
        QVERIFY(recent->isEnabled());
        const QList<TFrmPrincipal::RecentFile> files = TFrmPrincipal::recentFiles();
        QCOMPARE(files.size(), 2);
        QCOMPARE(files[0].path, QFileInfo(second).absoluteFilePath());
        QVERIFY(files[0].form == FileForm::Separator);
        QCOMPARE(files[1].path, QFileInfo(file_).absoluteFilePath());
        QVERIFY(files[1].form == FileForm::Position);

        QString opened;
        const ModalAction again = whenModal([&](QWidget* w) {
            auto* l = qobject_cast<TFrmSolvanta*>(w);
            QVERIFY(l);
            opened = l->document().path();
            w->close();
        });
        recent->menu()->popup(recent->mapToGlobal(QPoint(0, recent->height())));
        QAction* older = recent->menu()->findChild<QAction*>(u"Reciente2"_s);
        QVERIFY(older);
        QVERIFY(older->text().contains(u"nomina.txt (por posición)"_s));
        older->trigger();
        QTRY_VERIFY(again.ran());
        QCOMPARE(QFileInfo(opened).absoluteFilePath(), QFileInfo(file_).absoluteFilePath());
        QCOMPARE(TFrmPrincipal::recentFiles().first().path, QFileInfo(file_).absoluteFilePath());
    }
};

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
