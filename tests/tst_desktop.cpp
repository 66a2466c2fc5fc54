// Opening a file straight from the desktop: the program's file argument, a
// file dropped on the main window, and the form read from the first lines.

#include "ListingFixture.h"
#include "ui/app/UnitPrincipal.h"
#include "ui/widgets/RadioGroup.h"

#include <QDeadlineTimer>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <optional>

using namespace testutil;

namespace {

struct Seen {
    bool listing = false;
    int lines = -1;
    QString file;
};

// Notes what the listing shows when it opens, then closes it. `later`: the
// listing shows after the modal window active now has gone.
ModalAction whenListing(Seen& seen, bool later = false) {
    return ModalAction(
        [&seen](QWidget* w) {
            auto* l = qobject_cast<TFrmSolvanta*>(w);
            QVERIFY(l);
            seen.listing = true;
            seen.lines = l->table().recordCount();
            QCoreApplication::processEvents();
            seen.file = l->findChild<QLabel*>(QStringLiteral("LabelArchivo"))->text();
            l->close();
        },
        later ? 5 : -1);
}

// Drags the file at `path` onto `target` and drops it there.
void dropFile(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
    QTemporaryDir tmp_;
    DialogScript d;

private slots:
    void init() { d.start(); }
    void cleanup() { d.finish(); }

    void fileArgument_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("opens");
        const QString existing = dataFile("dos-lineas-coma.txt");
        QTest::newRow("a file") << QStringList{existing} << true;
        QTest::newRow("a path not there yet")
            << QStringList{QStringLiteral("/tmp/no/planilla.txt")} << true;
        QTest::newRow("no argument") << QStringList{} << false;
        QTest::newRow("a command") << QStringList{QStringLiteral("check")} << false;
        QTest::newRow("an option") << QStringList{QStringLiteral("--help")} << false;
        QTest::newRow("a mistyped command") << QStringList{QStringLiteral("convertir")} << false;
        QTest::newRow("two files") << QStringList{existing, existing} << false;
    }

    void fileArgument() {
        QFETCH(QStringList, args);
        QFETCH(bool, opens);
        QCOMPARE(TFrmPrincipal::fileArgument(args), opens ? args.first() : QString());
    }

    void formFromTheFirstLines_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("shown");
        QTest::newRow("position") << "dos-lineas-coma.txt"
                                  << "dos-lineas-coma.txt (por posición)";
        QTest::newRow("separator") << "dos-lineas-coma.csv"
                                   << "dos-lineas-coma.csv (por separador)";
    }

    // The listing opens at once with every line, in the form the file shows.
    void formFromTheFirstLines() {
        QFETCH(QString, file);
        QFETCH(QString, shown);
        TFrmPrincipal window;
        window.show();
        Seen seen;
        const ModalAction listing = whenListing(seen);
        window.openFile(dataFile(file.toLatin1().constData()));
        QVERIFY(seen.listing);
        QCOMPARE(seen.lines, 2);
        QCOMPARE(seen.file, shown);
    }

    // When the first lines do not tell, the load dialog asks the form alone
    // (no question about the path, no file dialog).
    void formAskedWhenUnclear() {
        const QString path = tmp_.filePath(QStringLiteral("vacio.txt"));
        QVERIFY(writeAll(path, QByteArray()));
        TFrmPrincipal window;
        window.show();
        Seen seen;
        const ModalAction modal = whenModal([&](QWidget* w) {
            auto* label = w->findChild<QLabel*>(QStringLiteral("LabelArchivo"));
            QVERIFY(label && label->isVisible());
            QVERIFY(label->text().contains(QLatin1String("vacio.txt")));
            w->findChild<RadioGroup*>(QStringLiteral("RadioGroup1"))->setItemIndex(1);
            const ModalAction listing = whenListing(seen);
            w->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
            QVERIFY(!w->isVisible());
        });
        window.openFile(path);
        QVERIFY(seen.listing);
        QCOMPARE(seen.lines, 0);
        QCOMPARE(seen.file, QStringLiteral("vacio.txt (por separador)"));
    }

    void missingFileIsReported() {
        TFrmPrincipal window;
        window.show();
        d().expectError(QStringLiteral("no-existe.txt"));
        window.openFile(tmp_.filePath(QStringLiteral("no-existe.txt")));
        QVERIFY(!openListingWindow());
    }

    // A file dropped on the main window opens once the drop is over.
    void dropOnTheMainWindow_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("shown"); // the listing's file label
        QTest::newRow("a declaration file")
            << dataFile("dos-lineas-coma.csv")
            << QStringLiteral("dos-lineas-coma.csv (por separador)");
        QTest::newRow("a workbook")
            << dataFile("calc-editado.xlsx") << QStringLiteral("calc-editado.xlsx (planilla)");
    }

    void dropOnTheMainWindow() {
        QFETCH(QString, file);
        QFETCH(QString, shown);
        TFrmPrincipal window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Seen seen;
        dropFile(&window, file);
        QVERIFY(!openListingWindow()); // not inside the drop
        const ModalAction listing = whenListing(seen);
        QTRY_VERIFY(seen.listing);
        QCOMPARE(seen.lines, 2);
        QCOMPARE(seen.file, shown);

        const QPoint at = window.rect().center();
        QMimeData text;
        text.setText(QStringLiteral("no es un archivo"));
        QDragEnterEvent other(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        other.setAccepted(false);
        QApplication::sendEvent(&window, &other);
        QVERIFY(!other.isAccepted());
    }

    // A file dropped on the listing opens in its place, once the user has
    // agreed to lose the changes not written; refused, the listing stays as
    // it was.
    void dropOnTheListing_data() {
        QTest::addColumn<bool>("discard");
        QTest::newRow("changes discarded") << true;
        QTest::newRow("changes kept") << false;
    }

    void dropOnTheListing() {
        QFETCH(bool, discard);
        TFrmPrincipal window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString question = QStringLiteral("¿Desea cerrar y descartarlos?");
        Seen next;
        std::optional<ModalAction> nextListing;
        const ModalAction first = whenModal([&](QWidget* w) {
            auto* l = qobject_cast<TFrmSolvanta*>(w);
            QVERIFY(l);
            l->table().edit();
            l->table().setText(field("nombres"), QStringLiteral("OTRO"));
            l->table().post();
            QVERIFY(l->hasUnsavedChanges());
            d().expectAsk(question, discard ? ui::Button::Ok : ui::Button::Cancel);
            dropFile(l, dataFile("dos-lineas-coma.csv"));
            QVERIFY(!d().done()); // not inside the drop
            if (discard) {
                nextListing.emplace(whenListing(next, true));
                return;
            }
            QTRY_VERIFY(d().done());
            QVERIFY(l->isVisible());
            QVERIFY(l->droppedFile().isEmpty());
            QCOMPARE(l->table().textAt(0, field("nombres")), QStringLiteral("OTRO"));
            d().expectAsk(question, ui::Button::Ok);
            l->close();
        });
        window.openFile(dataFile("dos-lineas-coma.txt"));
        QVERIFY2(d().done(), qPrintable(d().problems()));
        QCOMPARE(next.listing, discard);
        if (!discard) return;
        QCOMPARE(next.lines, 2);
        QCOMPARE(next.file, QStringLiteral("dos-lineas-coma.csv (por separador)"));
    }

    // The program itself, given a file, starts the editor instead of
    // answering as the command line (which would end at once): a window that
    // opening the file shows (its listing, or a message of its load) paints,
    // and the program is still running then.
    void programStartsWithAFile() {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Qt then says on standard error which window it puts on the screen.
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.widgets.painting=true"));
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(SOLVANTA_EDITOR_EXE), {dataFile("dos-lineas-coma.txt")});
        QVERIFY(p.waitForStarted());
        const QRegularExpression fileWindowShown(
            QStringLiteral("Flushing [^\n]* of (TFrmSolvanta|QMessageBox)\\("));
        QString output;
        QDeadlineTimer deadline(60000);
        while (!output.contains(fileWindowShown) && p.state() == QProcess::Running &&
               !deadline.hasExpired()) {
            p.waitForReadyRead(200);
            output += QString::fromLocal8Bit(p.readAll());
        }
        output += QString::fromLocal8Bit(p.readAll());
        const bool shown = output.contains(fileWindowShown);
        const bool running = p.state() == QProcess::Running;
        p.kill();
        p.waitForFinished();
        QVERIFY2(shown && running, qPrintable(output.right(2000)));
    }
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
