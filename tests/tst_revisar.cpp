// "Revisar" in the listing: the problems panel after a load, the jump to the
// cell, the tints, the re-check of a stored line, and the question before
// writing a file whose lines would break it.

#include "Generator.h"
#include "ListingFixture.h"
#include "ScriptedDialogs.h"
#include "engine/codes/CodeTableFile.h"
#include "engine/files/ProblemStore.h"
#include "ui/listing/UnitSelFormato.h"
#include "ui/listing/DeclarationGrid.h"
#include "ui/listing/DeclarationModel.h"
#include "ui/listing/ProblemsModel.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"

#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace solvanta;
using namespace testutil;

class TestRevisar : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

    // A correct generated file of 20 lines with two problems on line 3 and
    // one on line 8, loaded in a listing.
    OpenListing listingWithProblems(const CodeTableFile& codes = {}) {
        RxMem t;
        generateDeclaration(t, 20, 11);
        const auto set = [&](int line, const char* f, const QString& v) {
            t.moveTo(line - 1);
            t.edit();
            t.setText(field(f), v);
            t.post();
        };
        set(3, "sexo", QStringLiteral("X"));
        set(3, "nom_AFP", QStringLiteral("6"));
        set(8, "dias_trab", QStringLiteral("45"));
        const QString path = tmp_.filePath(QStringLiteral("revisar.txt"));
        writeDeclaration(path, FileForm::Position, t);
        OpenListing l(codes);
        l->load(path, FileForm::Position);
        return l;
    }

    QString label(TFrmSolvanta& l) {
        return l.findChild<QLabel*>(QStringLiteral("LabelRevision"))->text();
    }

    // What the status bar says of the code-table file; empty when hidden.
    QString codesLabel(TFrmSolvanta& l) {
        const auto* c = l.findChild<QLabel*>(QStringLiteral("LabelCodigos"));
        return c->isVisibleTo(&l) ? c->text() : QString();
    }

    static QByteArray shippedTable() {
        return readAll(QStringLiteral(SOLVANTA_RESOURCES "/Solvanta.cfg"));
    }
    // The shipped table's list of AFPs alone, header and entries.
    static QByteArray afpList() {
        const QByteArray all = shippedTable();
        const qsizetype from = all.indexOf("[Nombre AFP]");
        return all.mid(from, all.indexOf("\n[", from) + 1 - from);
    }

private slots:
    void initTestCase() { QVERIFY(placeCodeTableBesideProgram()); }
    void init() { d.start(); }
    void cleanup() {
        CodeTableFile::setWritableCheck({});
        d.finish();
    }

    void codeTableUnusable_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("problems"); // the panel's count

        QTest::newRow("missing") << false << QByteArray()
                                 << QStringLiteral("no se puede usar: el archivo no existe.")
                                 << QStringLiteral("Códigos sin revisar")
                                 << QStringLiteral("2 problemas en 2 líneas");
        QTest::newRow("empty") << true << QByteArray()
                               << QStringLiteral("no se puede usar: está vacío.")
                               << QStringLiteral("Códigos sin revisar")
                               << QStringLiteral("2 problemas en 2 líneas");
        QTest::newRow("one list") << true << afpList()
                                  << QStringLiteral(
                                         "le faltan las listas «TipoPago», «Tipo Trabajador»")
                                  << QStringLiteral("Algunos códigos sin revisar")
                                  << QStringLiteral("3 problemas en 2 líneas");
    }

    // A code-table file that cannot be used: the listing says so once, at the
    // load, and not at every check; the status bar keeps saying it. Once the
    // file is good again and then breaks again, it says so again.
    void codeTableUnusable() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QFETCH(QString, status);
        QFETCH(QString, problems);

        const QString table = tmp_.filePath(QStringLiteral("tabla.cfg"));
        QFile::remove(table);
        if (exists) QVERIFY(writeAll(table, bytes));
        d().expectInform(problem);
        auto l = listingWithProblems(CodeTableFile(table));
        QVERIFY(d().done());
        showGrid(*l);
        QCOMPARE(label(*l), problems);
        QCOMPARE(codesLabel(*l), status);
        QVERIFY(l->findChild<QLabel*>(QStringLiteral("LabelCodigos"))->toolTip().contains(problem));

        l->findChild<QToolButton*>(QStringLiteral("SpeedButtonRevisar"))->click();
        QCOMPARE(label(*l), problems);

        // Ctrl+R, from the grid, checks again as the button does.
        QVERIFY(writeAll(table, shippedTable()));
        QTest::keyClick(l->grid(), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(label(*l), QStringLiteral("3 problemas en 2 líneas"));
        QCOMPARE(codesLabel(*l), QString());

        QVERIFY(QFile::remove(table));
        d().expectInform(QStringLiteral("no se puede usar: el archivo no existe."));
        l->findChild<QToolButton*>(QStringLiteral("SpeedButtonRevisar"))->click();
        QVERIFY(d().done());
        QCOMPARE(codesLabel(*l), QStringLiteral("Códigos sin revisar"));
    }

    // The user's copy, read while the program's folder cannot be written, is
    // named in the status bar; its own list is the one checked.
    void userCopyAnnounced() {
        const QString program = tmp_.filePath(QStringLiteral("programa/Solvanta.cfg"));
        const QString user = tmp_.filePath(QStringLiteral("config/Solvanta.cfg"));
        QVERIFY(QDir().mkpath(QFileInfo(program).absolutePath()));
        QVERIFY(QDir().mkpath(QFileInfo(user).absolutePath()));
        QVERIFY(writeAll(program, shippedTable()));
        QVERIFY(writeAll(user, afpList() + "06 Propia=9\r\n"));
        const QString folder = QFileInfo(program).absolutePath();
        CodeTableFile::setWritableCheck(
            [folder](const QString& p) { return QFileInfo(p).absolutePath() != folder; });

        auto l = listingWithProblems(CodeTableFile::withUserCopy(program, user));
        showGrid(*l);
        QCOMPARE(codesLabel(*l), QStringLiteral("Tabla de códigos: copia del usuario «%1»")
                                     .arg(QDir::toNativeSeparators(user)));
        QCOMPARE(label(*l), QStringLiteral("2 problemas en 2 líneas")); // AFP 6 is the user's

        CodeTableFile::setWritableCheck({});
        l->findChild<QToolButton*>(QStringLiteral("SpeedButtonRevisar"))->click();
        QCOMPARE(codesLabel(*l), QString());
        QCOMPARE(label(*l), QStringLiteral("3 problemas en 2 líneas"));
    }

    void panelAfterLoadAndJump() {
        auto l = listingWithProblems();
        showGrid(*l);
        QCOMPARE(label(*l), QStringLiteral("3 problemas en 2 líneas"));
        ProblemsModel* p = l->problems();
        QCOMPARE(p->rowCount(), 3);
        QCOMPARE(p->index(0, 0).data().toInt(), 3);
        QCOMPARE(p->index(0, 1).data().toString(), QStringLiteral("[6] Sexo"));
        QCOMPARE(p->index(1, 1).data().toString(), QStringLiteral("[26] AFP"));
        QCOMPARE(p->index(2, 0).data().toInt(), 8);
        QCOMPARE(p->index(0, 3).data().toString(), QStringLiteral("X"));
        // Enter on a problem makes its line current and its field the cell.
        QTableView* view = l->problemsView();
        view->setFocus();
        view->setCurrentIndex(p->index(2, 0));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(l->table().row(), 7);
        QCOMPARE(l->grid()->currentIndex().row(), 7);
        QCOMPARE(l->grid()->currentIndex().column(), field("dias_trab") + 1);
        QCOMPARE(QApplication::focusWidget(), l->grid());
        // The cells with a problem are tinted, the others not.
        const auto tint = [&](int row, const char* f) {
            return l->model()->index(row, field(f) + 1).data(Qt::BackgroundRole);
        };
        QVERIFY(tint(2, "sexo").isValid());
        QVERIFY(tint(2, "nom_AFP").isValid());
        QVERIFY(!tint(2, "ape_pat").isValid());
        QVERIFY(!tint(3, "sexo").isValid());
    }

    // A line with more problems than the panel lists: its first 32, then a
    // row that counts the rest; the summary counts them all, the grid tints
    // their cells, and Enter on the counting row shows the first of them.
    void lineWithMoreProblemsThanListed() {
        RxMem t;
        generateDeclaration(t, 12, 4);
        addProblems(t, kMostProblemsPerLine, 5); // lines 1, 6 and 11
        const QString path = tmp_.filePath(QStringLiteral("muchos.txt"));
        writeDeclaration(path, FileForm::Position, t);
        OpenListing l;
        l->load(path, FileForm::Position);
        showGrid(*l);
        const int kept = ProblemStore::kKeptPerLine, more = kMostProblemsPerLine - kept;
        QCOMPARE(label(*l),
                 QStringLiteral("%1 problemas en 3 líneas").arg(3 * kMostProblemsPerLine));
        ProblemsModel* p = l->problems();
        QCOMPARE(p->rowCount(), 3 * (kept + 1));
        std::vector<LineProblem> line6;
        LineChecker().checkRow(l->table(), 5, line6);
        QCOMPARE(int(line6.size()), kMostProblemsPerLine);
        const int start = kept + 1; // line 6's first row
        for (int i = 0; i < kept; ++i) {
            QCOMPARE(p->index(start + i, 0).data().toInt(), 6);
            QCOMPARE(p->index(start + i, 1).data().toString(),
                     fieldTitle(line6[std::size_t(i)].field));
            QCOMPARE(p->index(start + i, 2).data().toString(), line6[std::size_t(i)].problem);
            QCOMPARE(p->index(start + i, 3).data().toString(), line6[std::size_t(i)].value);
        }
        const int count = start + kept;
        QCOMPARE(p->index(count, 0).data().toInt(), 6);
        QCOMPARE(p->index(count, 2).data().toString(),
                 QStringLiteral("… y %1 problemas más en esta línea (sus celdas están marcadas "
                                "en la grilla).")
                     .arg(more));
        QVERIFY(p->index(count, 3).data().toString().isEmpty());
        const int firstNotListed = line6[std::size_t(kept)].field;
        for (int i = kept; i < kMostProblemsPerLine; ++i)
            QVERIFY(l->model()
                        ->index(5, line6[std::size_t(i)].field + 1)
                        .data(Qt::BackgroundRole)
                        .isValid());
        QTableView* view = l->problemsView();
        view->setFocus();
        view->setCurrentIndex(p->index(count, 2));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(l->grid()->currentIndex().row(), 5);
        QCOMPARE(l->grid()->currentIndex().column(), firstNotListed + 1);
        // Deleting a line renumbers the rows of those after it.
        l->grid()->deleteLines({l->table().bookmarkAt(0)});
        QCOMPARE(label(*l),
                 QStringLiteral("%1 problemas en 2 líneas").arg(2 * kMostProblemsPerLine));
        QCOMPARE(p->index(0, 0).data().toInt(), 5);
        QCOMPARE(p->index(0, 2).data().toString(), line6[0].problem);
    }

    // Correcting a cell and storing the line checks that line again.
    void storedLineIsCheckedAgain() {
        auto l = listingWithProblems();
        showGrid(*l);
        clickCell(*l, 2, field("sexo") + 1);
        typeInGrid(l->grid(), QStringLiteral("f"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(l->grid(), Qt::Key_Return);
        QCOMPARE(l->table().textAt(2, field("sexo")), QStringLiteral("F"));
        QCOMPARE(label(*l), QStringLiteral("2 problemas en 2 líneas"));
        l->model()->clearSelection(); // a selected row has the selection's colour
        // No problem left: the cell shows only that it changed.
        QCOMPARE(l->model()->index(2, field("sexo") + 1).data(Qt::BackgroundRole).value<QColor>(),
                 DeclarationModel::changedTint());
        QVERIFY(l->model()->index(7, field("dias_trab") + 1).data(Qt::BackgroundRole).isValid());
        // Deleting a line with problems takes them away, and the line
        // numbers of the others follow.
        l->grid()->deleteLines({l->table().bookmarkAt(2)});
        QCOMPARE(label(*l), QStringLiteral("1 problema en 1 línea"));
        QCOMPARE(l->problems()->index(0, 0).data().toInt(), 7);
    }

    // What the loader could not read and filled with 0 is in the panel with
    // the file's own text, for as long as the cell holds that 0 (the checks
    // alone said "falta el RUT" of «0», or nothing at all of an amount).
    void wholeFileNotes_data() {
        QTest::addColumn<bool>("asUtf8");
        QTest::addColumn<QString>("told");
        QTest::newRow("read as UTF-8")
            << true
            << QStringLiteral("• Después de la línea 3 hay un carácter de fin de archivo "
                              "(Ctrl+Z); lo que sigue no se leyó: 1 línea.");
        // Two bytes a letter move the fixed columns: the load stops, and says
        // why.
        QTest::newRow("read as it is")
            << false
            << QStringLiteral("El archivo está escrito en UTF-8 y se leyó como Windows-1252: "
                              "léalo como UTF-8.");
    }

    // A file a UTF-8 program left, with a Ctrl+Z before its last line: the
    // load offers to read it as UTF-8, and says what it left out.
    void wholeFileNotes() {
        QFETCH(bool, asUtf8);
        QFETCH(QString, told);
        RxMem t;
        generateDeclaration(t, 3, 4);
        const QString written = tmp_.filePath(QStringLiteral("cp1252.txt"));
        writeDeclaration(written, FileForm::Position, t);
        const QByteArray bytes = readAll(written);
        const QString text = cp1252::decode({bytes.constData(), std::size_t(bytes.size())});
        QVERIFY(text.contains(u'Ñ')); // letters that take two bytes in UTF-8
        const QString path = tmp_.filePath(QStringLiteral("utf8.txt"));
        QVERIFY(writeAll(path, text.toUtf8() + "\x1AMUÑOZ;ANA\r\n"));

        OpenListing l;
        d().expectAsk(QStringLiteral("está escrito en UTF-8, no en Windows-1252"),
                      asUtf8 ? ui::Button::Ok : ui::Button::Cancel);
        if (asUtf8) {
            d().expectInform(told);
            l->load(path, FileForm::Position);
            RxMem fromCodePage;
            loadDeclaration(written, FileForm::Position, fromCodePage);
            QCOMPARE(lineBytes(l->table()), lineBytes(fromCodePage));
        } else {
            QString failure;
            try {
                l->load(path, FileForm::Position);
            } catch (const Error& e) {
                failure = e.message();
            }
            QVERIFY2(failure.endsWith(told), qPrintable(failure));
        }
        QVERIFY2(d().done(), qPrintable(d().problems()));
    }

    void valuesTheLoaderCouldNotRead() {
        RxMem t;
        generateDeclaration(t, 12, 5);
        const QString path = tmp_.filePath(QStringLiteral("ilegibles.txt"));
        writeDeclaration(path, FileForm::Position, t);
        QList<QByteArray> lines = readAll(path).split('\n');
        const auto patch = [&](int line, int column, const QByteArray& text) {
            lines[line - 1].replace(column - 1, text.size(), text);
        };
        patch(4, 1, "0001234567A"); // [1] Rut
        patch(11, 175, "1234,500"); // [27] Impo. afp
        patch(11, 173, "A1");       // [26] AFP, a code
        patch(6, 175, "        ");  // blanks: no value, nothing lost
        writeAll(path, lines.join('\n'));
        OpenListing l;
        // The load says so at once, and points to the panel.
        d().expectInform(QStringLiteral("• 3 valores no se leyeron tal como estaban en el archivo"));
        l->load(path, FileForm::Position);
        QVERIFY2(d().done(), qPrintable(d().problems()));
        showGrid(*l);
        ProblemsModel* p = l->problems();
        QStringList shown;
        for (int r = 0; r < p->rowCount(); ++r)
            shown << QStringLiteral("%1 %2: %3 (%4)")
                         .arg(p->index(r, 0).data().toInt())
                         .arg(p->index(r, 1).data().toString(), p->index(r, 2).data().toString(),
                              p->index(r, 3).data().toString());
        const QString rutNote =
            QStringLiteral("4 [1] Rut: «0001234567A» no es un RUT; se leyó como 0. (0)");
        const QString amountNote =
            QStringLiteral("11 [27] Impo. afp: «1234,500» no es un monto; se leyó como 0. (0)");
        const QString codeNote =
            QStringLiteral("11 [26] AFP: «A1» no es un número; se leyó como 0. (0)");
        QVERIFY2(shown.contains(rutNote), qPrintable(shown.join(u'\n')));
        QVERIFY2(shown.contains(amountNote), qPrintable(shown.join(u'\n')));
        QVERIFY2(shown.contains(codeNote), qPrintable(shown.join(u'\n')));
        for (const QString& line : shown) {
            QVERIFY2(line == rutNote || !line.startsWith(u"4 [1] Rut"), qPrintable(line));
            QVERIFY2(!line.startsWith(u"6 "), qPrintable(line));
        }

        // The amount typed in: the note goes; undone: it comes back.
        clickCell(*l, 10, field("impo_afp") + 1);
        typeInGrid(l->grid(), QStringLiteral("1234"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTest::keyClick(l->grid(), Qt::Key_Return);
        QCOMPARE(l->table().textAt(10, field("impo_afp")), QStringLiteral("1234"));
        const auto hasNote = [&](const char* text) {
            for (int r = 0; r < p->rowCount(); ++r)
                if (p->index(r, 2).data().toString().startsWith(QString::fromUtf8(text)))
                    return true;
            return false;
        };
        QVERIFY(!hasNote("«1234,500»"));
        QVERIFY(hasNote("«A1»"));
        QTest::keyClick(l->grid(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(l->table().textAt(10, field("impo_afp")), QStringLiteral("0"));
        QVERIFY(hasNote("«1234,500»"));
    }

    void revisarChecksAgainWithCtrlR() {
        auto l = listingWithProblems();
        showGrid(*l);
        // A change the checks did not see (straight into the table).
        l->table().moveTo(0);
        l->table().edit();
        l->table().setText(field("tipo_pago"), u"99");
        l->table().post();
        QTest::keyClick(l->grid(), Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(label(*l), QStringLiteral("4 problemas en 3 líneas"));
        QCOMPARE(l->problems()->index(0, 0).data().toInt(), 1);
        auto* button = l->findChild<QToolButton*>(QStringLiteral("SpeedButtonRevisar"));
        QVERIFY(button && button->isEnabled());
    }

    void cleanFileSaysSo() {
        RxMem t;
        generateDeclaration(t, 5, 2);
        const QString path = tmp_.filePath(QStringLiteral("limpio.txt"));
        writeDeclaration(path, FileForm::Position, t);
        Document document;
        TFrmSolvanta l(document);
        l.load(path, FileForm::Position);
        QCOMPARE(label(l), QStringLiteral("Sin problemas"));
        QVERIFY(l.problemsView()->isHidden());
    }

    // Moving among the problems in the panel makes each one's line the
    // grid's current line: "Eliminar" then deletes the line the panel shows.
    void panelLineIsTheCurrentLine() {
        auto l = listingWithProblems();
        showGrid(*l);
        QTableView* view = l->problemsView();
        view->setFocus();
        view->setCurrentIndex(l->problems()->index(0, 0));
        QTest::keyClick(view, Qt::Key_Down);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(l->problems()->index(view->currentIndex().row(), 0).data().toInt(), 8);
        QCOMPARE(l->table().row(), 7);
        d().expectAsk(QStringLiteral("¿Seguro de Eliminar esta línea?\n\nLínea 8"), ui::Button::Ok);
        l->findChild<QToolButton*>(QStringLiteral("SpeedButton7"))->click();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(l->table().recordCount(), 19);
        QCOMPARE(label(*l), QStringLiteral("2 problemas en 1 línea"));
    }

    // The counts are grouped as the status bar groups them.
    void largeCountsAreGrouped() {
        RxMem t;
        generateDeclaration(t, 1200, 3);
        t.assignAll(field("sexo"), u"X");
        const QString path = tmp_.filePath(QStringLiteral("muchos.txt"));
        writeDeclaration(path, FileForm::Position, t);
        OpenListing l;
        l->load(path, FileForm::Position);
        QCOMPARE(label(*l), QStringLiteral("1.200 problemas en 1.200 líneas"));
    }

    // The load's progress box follows the checks too, and cancelling it
    // stops them: stopped half-way, the panel keeps the problems it had.
    void stoppedCheckKeepsTheProblems() {
        RxMem t;
        generateDeclaration(t, 3000, 5);
        for (int row : {2, 2500}) { // an AFP the shipped code lists do not have
            t.moveTo(row);
            t.edit();
            t.setText(field("nom_AFP"), QStringLiteral("6"));
            t.post();
        }
        const QString path = tmp_.filePath(QStringLiteral("muchas.txt"));
        writeDeclaration(path, FileForm::Position, t);
        Document document;
        TFrmSolvanta l(document);
        l.load(path, FileForm::Position);
        QCOMPARE(label(l), QStringLiteral("2 problemas en 2 líneas"));

        // Without the code lists, neither line has a problem.
        const LineChecker withoutLists{CodeTableFile(tmp_.filePath(QStringLiteral("no-hay.cfg")))};
        struct StopHalfWay : Progress {
            bool update(qint64 done, qint64 total) override { return done < total / 2; }
        } stop;
        QVERIFY_THROWS_EXCEPTION(Cancelled, l.problems()->recheckAll(withoutLists, &stop));
        QCOMPARE(label(l), QStringLiteral("2 problemas en 2 líneas"));
        QCOMPARE(l.problems()->rowCount(), 2);
        QCOMPARE(l.problems()->index(0, 0).data().toInt(), 3);
        QCOMPARE(l.problems()->index(1, 0).data().toInt(), 2501);
        l.problems()->recheckAll(withoutLists);
        QCOMPARE(label(l), QStringLiteral("Sin problemas"));
    }

    // A value that would break the position form: the question, Cancel the
    // default, and no file; OK writes it.
    void askBeforeWritingABrokenFile() {
        auto l = listingWithProblems();
        showGrid(*l);
        l->table().moveTo(4);
        l->table().edit();
        l->table().setText(field("sexo"), u"");
        l->table().post();
        const QString out = tmp_.filePath(QStringLiteral("roto.txt"));
        d().expectAsk(QStringLiteral("1 línea tiene valores que romperían el archivo por posición"),
                      ui::Button::Cancel);
        ModalAction modal = whenModal(
            [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
        l->createFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(d().last().defaultButton, ui::Button::Cancel);
        QVERIFY(d().last().text.contains(QStringLiteral("línea 5, [6] Sexo")));
        QVERIFY(!QFile::exists(out));
        d().expectAsk(QStringLiteral("romperían"), ui::Button::Ok);
        d().expectSave(out);
        modal = whenModal(
            [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click(); });
        l->createFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QVERIFY(QFile::exists(out));
    }

    // A decimal in a whole-peso amount, loaded from a separator file: the
    // position form would read it back as 0, so "Revisar" shows it and
    // writing by position asks first (both said nothing: the line was
    // written "001234,5" and read back as 0).
    void decimalsInWholePesos() {
        numtext::setDecimalSeparator(',');
        RxMem t;
        generateDeclaration(t, 5, 3);
        const QString in = tmp_.filePath(QStringLiteral("decimales.csv"));
        writeDeclaration(in, FileForm::Separator, t);
        QList<QByteArray> lines = readAll(in).split('\n');
        QList<QByteArray> pieces = lines[1].split(';');
        pieces[field("impo_afp")] = "1234,5";
        lines[1] = pieces.join(';');
        writeAll(in, lines.join('\n'));
        Document document;
        TFrmSolvanta l(document);
        l.load(in, FileForm::Separator);
        showGrid(l);
        ProblemsModel* p = l.problems();
        bool shown = false;
        for (int r = 0; r < p->rowCount(); ++r)
            shown |= p->index(r, 0).data().toInt() == 2 &&
                     p->index(r, 1).data().toString() == u"[27] Impo. afp" &&
                     p->index(r, 2).data().toString() ==
                         u"tiene decimales: en el archivo por posición se leería como 0." &&
                     p->index(r, 3).data().toString() == u"1234,5";
        QVERIFY(shown);
        d().expectAsk(QStringLiteral("línea 2, [27] Impo. afp: tiene decimales"),
                      ui::Button::Cancel);
        const ModalAction modal = whenModal([](QWidget* w) {
            qobject_cast<TFrmSelFormato*>(w)->setItemIndex(0); // by position
            w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        });
        l.createFile();
        QVERIFY2(d().done(), qPrintable(d().problems()));
        numtext::useSystemDecimalSeparator();
    }
};

QTEST_MAIN(TestRevisar)
#include "tst_revisar.moc"
