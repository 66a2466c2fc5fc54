// The three information windows (About, help page, parameter help) and the
// link label of the About window.

#include "ScriptedDialogs.h"
#include "ui/help/UFrmAyudaParametros.h"
#include "ui/help/UnitAcercade.h"
#include "ui/help/UnitAyuda.h"
#include "ui/widgets/UrlLabel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace {

const QString kMissing = QStringLiteral("No se encontró el archivo Ayuda.html");

QString sourcePage() {
    return QDir(QStringLiteral(SOLVANTA_TEST_DATA))
        .absoluteFilePath(QStringLiteral("../../resources/Ayuda.html"));
}

bool writePage(const QString& path, const QByteArray& html) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(html) == html.size();
}

// The text of the parameter help for one code table, built as the code-table
// editor builds it: two blanks and CR, then two blanks, the line and CR for
// each line.
QString parameterText(const QStringList& lines) {
    QString text = QStringLiteral("  \r");
    for (const QString& line : lines)
        text += QStringLiteral("  ") + line + QLatin1Char('\r');
    return text;
}

// The window's own controls (not the parts Qt builds inside its widgets).
QList<QWidget*> controls(QWidget* window) {
    QList<QWidget*> found;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (w->isVisible() && !w->objectName().isEmpty() &&
            !w->objectName().startsWith(QLatin1String("qt_")))
            found << w;
    return found;
}

// Every label and button of a shown window is inside its parent and large
// enough for its text (word-wrapped labels: for their width); no two
// controls of the same parent overlap.
QString layoutProblems(QWidget* window) {
    QStringList problems;
    const QList<QWidget*> all = controls(window);
    for (QWidget* control : all) {
        if (!qobject_cast<QLabel*>(control) && !qobject_cast<QPushButton*>(control)) continue;
        auto* label = qobject_cast<QLabel*>(control);
        const bool wraps = label && label->wordWrap();
        const QString name = control->objectName();
        QWidget* parent = control->parentWidget();
        if (!parent->contentsRect().contains(control->geometry()))
            problems << QStringLiteral("%1 reaches outside its panel").arg(name);
        const QSize need = control->sizeHint();
        const int needHeight = wraps ? label->heightForWidth(label->width()) : need.height();
        if ((!wraps && need.width() > control->width()) || needHeight > control->height())
            problems << QStringLiteral("%1 is clipped: needs %2x%3, has %4x%5")
                            .arg(name)
                            .arg(need.width())
                            .arg(needHeight)
                            .arg(control->width())
                            .arg(control->height());
    }
    for (QWidget* a : all)
        for (QWidget* b : all)
            if (a < b && a->parentWidget() == b->parentWidget() &&
                a->geometry().intersects(b->geometry()))
                problems << QStringLiteral("%1 overlaps %2").arg(a->objectName(), b->objectName());
    return problems.join(QLatin1Char('\n'));
}

// Counts the ticks of the timers that are members of an object (their
// QObject lies inside the object's own bytes), as the timer events the
// application delivers to them: a label's check of the mouse is such a timer.
class MemberTimerTicks : public QObject {
public:
    template <typename T>
    explicit MemberTimerTicks(const T* owner)
        : begin_(reinterpret_cast<quintptr>(owner)), end_(begin_ + sizeof(T)) {
        qApp->installEventFilter(this);
    }
    ~MemberTimerTicks() override { qApp->removeEventFilter(this); }
    int count() const { return count_; }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        const quintptr at = reinterpret_cast<quintptr>(o);
        if (e->type() == QEvent::Timer && qobject_cast<QTimer*>(o) && at >= begin_ && at < end_)
            ++count_;
        return false;
    }

private:
    quintptr begin_, end_;
    int count_ = 0;
};

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private slots:
    // About window.
    void aboutWindow();
    void aboutKeys_data();
    void aboutKeys();
    void aboutAcceptCloses();
    // Link label.
    void linkTurnsRedWhileMouseIsOver();
    void linkClick_data();
    void linkClick();
    void linkPressMovedAwayDoesNotOpen();
    // Help window.
    void helpUrl_data();
    void helpUrl();
    void helpLooksBesideExecutable();
    void helpShowsPage_data();
    void helpShowsPage();
    void helpPageMissing_data();
    void helpPageMissing();
    void shippedPage();
    // Parameter help window.
    void parameterLines_data();
    void parameterLines();
    void parameterCloses_data();
    void parameterCloses();
    // Rendering.
    void windowsRenderUnclipped_data();
    void windowsRenderUnclipped();
};

// ---------------------------------------------------------------- About

void TestHelp::aboutWindow() {
    TFrmAcercade w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Acerca de..."));
    QVERIFY(!(w.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(w.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.size(), QSize(321, 190));

    auto* label1 = w.findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(label1);
    QCOMPARE(label1->text(), QStringLiteral("Programa creado para Solvanta"));
    QVERIFY(label1->font().bold());
    QCOMPARE(label1->font().pixelSize(), 16);
    QCOMPARE(label1->palette().color(QPalette::WindowText), QColor(Qt::black));
    auto* label2 = w.findChild<QLabel*>(QStringLiteral("Label2"));
    QVERIFY(label2 && !label2->text().isEmpty());
    QCOMPARE(label2->font().pixelSize(), 16);
    auto* label3 = w.findChild<QLabel*>(QStringLiteral("Label3"));
    QVERIFY(label3 && label3->font().bold());
    QCOMPARE(label3->font().pixelSize(), 13);

    auto* image = w.findChild<QLabel*>(QStringLiteral("Image1"));
    QVERIFY(image);
    QCOMPARE(image->size(), QSize(33, 33));
    QVERIFY(!image->pixmap().isNull());
    // The picture sits beside the maker's name, on the same line.
    QVERIFY(image->geometry().right() < label2->geometry().left());
    QVERIFY(label2->geometry().center().y() >= image->geometry().top());
    QVERIFY(label2->geometry().center().y() <= image->geometry().bottom());

    auto* link = w.findChild<UrlLabel*>(QStringLiteral("OvcURL1"));
    QVERIFY(link);
    QVERIFY(link->font().underline());
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(link->text(), link->url().toString());
    QVERIFY(link->url().isValid() && !link->url().isRelative());

    auto* ok = w.findChild<QPushButton*>(QStringLiteral("BitBtn1"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("&Aceptar"));
}

void TestHelp::aboutKeys_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("credit");
    // The window sees keys before its controls, whichever control has them.
    QTest::newRow("F12 on the window") << QString() << int(Qt::Key_F12) << true;
    QTest::newRow("F12 on the button") << QStringLiteral("BitBtn1") << int(Qt::Key_F12) << true;
    QTest::newRow("F12 on the link") << QStringLiteral("OvcURL1") << int(Qt::Key_F12) << true;
    QTest::newRow("F12 on the picture") << QStringLiteral("Image1") << int(Qt::Key_F12) << true;
    QTest::newRow("F11 on the button") << QStringLiteral("BitBtn1") << int(Qt::Key_F11) << false;
    QTest::newRow("F1 on the window") << QString() << int(Qt::Key_F1) << false;
    QTest::newRow("letter on the link") << QStringLiteral("OvcURL1") << int(Qt::Key_A) << false;
}

void TestHelp::aboutKeys() {
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(bool, credit);
    ScriptedDialogs d;
    if (credit) d.expectInform(TFrmAcercade::authorCredit());
    TFrmAcercade w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* to = target.isEmpty() ? &w : w.findChild<QWidget*>(target);
    QVERIFY(to);
    QTest::keyClick(to, Qt::Key(key));
    QVERIFY2(d.done(), qPrintable(d.problems()));
    QCOMPARE(d.shown().size(), credit ? 1 : 0);
    QVERIFY(w.isVisible());
    if (credit) {
        // A name line and a profession line.
        const QStringList lines = d.last().text.split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QVERIFY(!lines[0].trimmed().isEmpty() && !lines[1].trimmed().isEmpty());
    }
}

void TestHelp::aboutAcceptCloses() {
    ScriptedDialogs d;
    TFrmAcercade w;
    bool clicked = false;
    QTimer::singleShot(0, &w, [&] {
        auto* ok = w.findChild<QPushButton*>(QStringLiteral("BitBtn1"));
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
        clicked = true;
    });
    QCOMPARE(w.exec(), int(QDialog::Accepted));
    QVERIFY(clicked);
    QVERIFY(!w.isVisible());
    QVERIFY2(d.done(), qPrintable(d.problems()));
}

// ---------------------------------------------------------------- link

void TestHelp::linkTurnsRedWhileMouseIsOver() {
    ScriptedDialogs d;
    TFrmAcercade w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* link = w.findChild<UrlLabel*>(QStringLiteral("OvcURL1"));
    QVERIFY(link);
    const QColor normal = link->textColor();
    QVERIFY(normal != UrlLabel::highlightColor());

    QTest::mouseMove(link, link->rect().center());
    QTRY_COMPARE(link->textColor(), QColor(0xFF, 0x00, 0x00));
    // The timer keeps checking; as long as the mouse stays, the text stays red:
    // the check has run three times with the mouse over the label.
    QTest::mouseMove(link, link->rect().topLeft() + QPoint(2, 2));
    {
        const MemberTimerTicks ticks(link);
        QTRY_VERIFY(ticks.count() >= 3);
    }
    QCOMPARE(link->textColor(), QColor(0xFF, 0x00, 0x00));
    QVERIFY(link->isHighlighted());

    // Once the mouse has left, the previous colour comes back and the timer stops.
    QTest::mouseMove(&w, QPoint(2, 2));
    QTRY_COMPARE(link->textColor(), normal);
    QVERIFY(!link->isHighlighted());

    // And it works again the next time.
    QTest::mouseMove(link, link->rect().center());
    QTRY_COMPARE(link->textColor(), UrlLabel::highlightColor());
    QTest::mouseMove(&w, QPoint(w.width() - 2, w.height() - 2));
    QTRY_COMPARE(link->textColor(), normal);
    QVERIFY2(d.done(), qPrintable(d.problems()));
}

void TestHelp::linkClick_data() {
    QTest::addColumn<bool>("opens");
    QTest::newRow("browser opens the address") << true;
    QTest::newRow("browser fails: beep only") << false;
}

void TestHelp::linkClick() {
    QFETCH(bool, opens);
    ScriptedDialogs d;
    d.expectUrl(opens);
    if (!opens) d.expectBeep();
    TFrmAcercade w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* link = w.findChild<UrlLabel*>(QStringLiteral("OvcURL1"));
    QVERIFY(link);
    QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
    QVERIFY2(d.done(), qPrintable(d.problems()));
    QCOMPARE(d.shown().first().text, TFrmAcercade::makerUrl().toString());
    QCOMPARE(d.shown().size(), opens ? 1 : 2);
    QVERIFY(w.isVisible());
}

void TestHelp::linkPressMovedAwayDoesNotOpen() {
    ScriptedDialogs d; // nothing may be opened
    UrlLabel link(QUrl(QStringLiteral("https://example.org/")));
    link.resize(link.sizeHint());
    link.show();
    QVERIFY(QTest::qWaitForWindowExposed(&link));
    QTest::mousePress(&link, Qt::LeftButton, {}, link.rect().center());
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(-20, -20));
    QTest::mouseClick(&link, Qt::RightButton, {}, link.rect().center());
    QVERIFY2(d.done(), qPrintable(d.problems()));
    QVERIFY(d.shown().isEmpty());
}

// ---------------------------------------------------------------- help window

void TestHelp::helpUrl_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("shown"); // the address as text, when it is shown plainly
    QTest::newRow("blanks and accents")
        << QStringLiteral("/opt/Mis Programas/Edición Ñandú")
        << QStringLiteral("/opt/Mis Programas/Edición Ñandú/Ayuda.html")
        << QStringLiteral("file:///opt/Mis Programas/Edición Ñandú/Ayuda.html");
    QTest::newRow("trailing separator")
        << QStringLiteral("/opt/Mis Programas/Año 2024/")
        << QStringLiteral("/opt/Mis Programas/Año 2024/Ayuda.html")
        << QStringLiteral("file:///opt/Mis Programas/Año 2024/Ayuda.html");
    // Characters that mean something in an address stay part of the path.
    QTest::newRow("hash and percent")
        << QStringLiteral("/srv/carpeta #1 100%")
        << QStringLiteral("/srv/carpeta #1 100%/Ayuda.html") << QString();
    QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("/Ayuda.html")
                          << QStringLiteral("file:///Ayuda.html");
}

void TestHelp::helpUrl() {
    QFETCH(QString, folder);
    QFETCH(QString, path);
    QFETCH(QString, shown);
    QCOMPARE(TFrmAyuda::helpPath(folder), path);
    const QUrl url = TFrmAyuda::helpUrl(folder);
    QVERIFY(url.isValid());
    QVERIFY(url.isLocalFile());
    QCOMPARE(url.toLocalFile(), path);
    QVERIFY(url.fragment().isEmpty());
    QVERIFY(url.query().isEmpty());
    if (!shown.isEmpty()) QCOMPARE(url.toString(), shown);
}

void TestHelp::helpLooksBesideExecutable() {
    TFrmAyuda w;
    QCOMPARE(w.folder(), QCoreApplication::applicationDirPath());
    QCOMPARE(w.windowTitle(), QStringLiteral("Ayuda"));
}

void TestHelp::helpShowsPage_data() {
    QTest::addColumn<QString>("subfolder");
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("plain folder") << QStringLiteral("programa") << false;
    QTest::newRow("blanks and accents") << QStringLiteral("Mis Programas/Edición Ñandú") << false;
    QTest::newRow("hash and percent") << QStringLiteral("carpeta #1 100%") << false;
    QTest::newRow("page is a link") << QStringLiteral("Año con enlace") << true;
}

void TestHelp::helpShowsPage() {
    QFETCH(QString, subfolder);
    QFETCH(bool, throughLink);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString folder = tmp.filePath(subfolder);
    QVERIFY(QDir().mkpath(folder));
    const QByteArray html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>"
                                           "<h1>Página de prueba: ñandú</h1></body></html>")
                                .toUtf8();
    if (throughLink) {
        QVERIFY(writePage(tmp.filePath(QStringLiteral("real.html")), html));
        QVERIFY(QFile::link(tmp.filePath(QStringLiteral("real.html")),
                            QDir(folder).filePath(QStringLiteral("Ayuda.html"))));
    } else {
        QVERIFY(writePage(QDir(folder).filePath(QStringLiteral("Ayuda.html")), html));
    }

    ScriptedDialogs d; // no message
    TFrmAyuda w;
    w.setFolder(folder);
    auto* browser = w.findChild<QTextBrowser*>(QStringLiteral("WebBrowser1"));
    QVERIFY(browser);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(browser->toPlainText().contains(QStringLiteral("Página de prueba: ñandú")));
    QCOMPARE(browser->source(), TFrmAyuda::helpUrl(folder));
    QVERIFY2(d.done(), qPrintable(d.problems()));
    QVERIFY(d.shown().isEmpty());
}

void TestHelp::helpPageMissing_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("no file") << QStringLiteral("none");
    QTest::newRow("link to nothing") << QStringLiteral("dangling");
    QTest::newRow("a folder of that name") << QStringLiteral("folder");
    QTest::newRow("other letter case") << QStringLiteral("case");
    QTest::newRow("folder itself missing") << QStringLiteral("nofolder");
}

void TestHelp::helpPageMissing() {
    QFETCH(QString, kind);
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    QString folder = tmp.filePath(QStringLiteral("Mis Programas"));
    QVERIFY(QDir().mkpath(folder));
    const QString page = QDir(folder).filePath(QStringLiteral("Ayuda.html"));
    if (kind == QLatin1String("dangling"))
        QVERIFY(QFile::link(tmp.filePath(QStringLiteral("borrado.html")), page));
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(page));
    else if (kind == QLatin1String("case"))
        QVERIFY(writePage(QDir(folder).filePath(QStringLiteral("ayuda.html")), "<p>x</p>"));
    else if (kind == QLatin1String("nofolder"))
        folder = tmp.filePath(QStringLiteral("no existe"));

    ScriptedDialogs d;
    d.expectInform(kMissing);
    TFrmAyuda w;
    w.setFolder(folder);
    auto* browser = w.findChild<QTextBrowser*>(QStringLiteral("WebBrowser1"));
    QVERIFY(browser);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY2(d.done(), qPrintable(d.problems()));
    QCOMPARE(d.last().text, kMissing);
    // Stays open and empty.
    QVERIFY(w.isVisible());
    QVERIFY(browser->toPlainText().isEmpty());
    QVERIFY(browser->source().isEmpty());
    // Everything the showing queued has run (a call queued now runs after
    // it), and the message came once.
    bool queuedRan = false;
    QMetaObject::invokeMethod(
        &w, [&queuedRan] { queuedRan = true; }, Qt::QueuedConnection);
    QTRY_VERIFY(queuedRan);
    QCOMPARE(d.shown().size(), 1);
}

void TestHelp::shippedPage() {
    // The page the build lays beside the program.
    const QString programFolder = QFileInfo(QStringLiteral(SOLVANTA_EDITOR_EXE)).absolutePath();
    const QString besideProgram = TFrmAyuda::helpPath(programFolder);
    QVERIFY2(QFileInfo(besideProgram).isFile(), qPrintable(besideProgram));
    QFile source(sourcePage()), copy(besideProgram);
    QVERIFY(source.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    QCOMPARE(copy.readAll(), bytes);

    // Plain, self-contained HTML in UTF-8.
    QVERIFY(bytes.contains("<meta charset=\"utf-8\">"));
    QVERIFY(!bytes.contains("<script"));
    QVERIFY(!bytes.contains("src="));
    QVERIFY(!bytes.contains("http:"));
    QVERIFY(!bytes.contains("https:"));

    ScriptedDialogs d;
    TFrmAyuda w;
    w.setFolder(programFolder);
    auto* browser = w.findChild<QTextBrowser*>(QStringLiteral("WebBrowser1"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(!browser->toPlainText().isEmpty());
    QVERIFY2(d.done(), qPrintable(d.problems()));
    const QString text = browser->toPlainText();

    // The five steps of a correction, as the main window states them.
    for (const char* step :
         {"1.- Haga clic en el botón \"Editar Archivo\".",
          "2.- Seleccione la ubicación del archivo de texto que desea corregir.",
          "3.- Indique el formato en que se encuentra el archivo: por posición o por separador.",
          "4.- Una vez cargado, el archivo se mostrará en pantalla y podrá modificar directamente "
          "los datos que presentan errores.",
          "5.- Luego de realizar las correcciones, genere un nuevo archivo, el cual debe volver a "
          "enviar a Solvanta."})
        QVERIFY2(text.simplified().contains(QString::fromUtf8(step)), step);
    // Both file forms.
    for (const char* fact : {"861 columnas", "105 campos", "punto y coma",
                             "105 Campos por Posición", "105 Campos por Separador (csv)"})
        QVERIFY2(text.contains(QString::fromUtf8(fact), Qt::CaseInsensitive), fact);
    // Every button of the listing window, and the context menu.
    for (const char* button :
         {"Crear Archivo", "Solvanta", "Excel", "Agregar", "Modificar", "Eliminar", "Códigos",
          "Masiva", "Asignar", "Ayuda", "Acerca de", "Salir", "Buscar"})
        QVERIFY2(text.contains(QString::fromUtf8(button)), button);
    // The grid's keys.
    for (const char* key : {"Intro", "Esc", "Insert", "Flecha abajo", "Ctrl+Supr", "Ctrl", "Mayús",
                            "Ctrl+C", "Ctrl+V", "Ctrl+F", "Ctrl+H", "F3", "Mayús+F3", "Ctrl+B",
                            "Alt+Flecha abajo", "Ctrl+Mayús+L", "Flecha izquierda"})
        QVERIFY2(text.contains(QString::fromUtf8(key)), key);
    QVERIFY(text.contains(QStringLiteral("se graba completo o no se graba")));
    QVERIFY(text.contains(QStringLiteral("le pregunta antes de cerrar")));

    // Every link of the page leads to a section of the page itself.
    const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    int links = 0;
    for (auto it = href.globalMatch(QString::fromUtf8(bytes)); it.hasNext(); ++links) {
        const QString target = it.next().captured(1);
        QVERIFY2(target.startsWith(QLatin1Char('#')), qPrintable(target));
        QVERIFY2(bytes.contains("<a name=\"" + target.mid(1).toUtf8() + "\">"), qPrintable(target));
    }
    QVERIFY(links > 0);
}

// ---------------------------------------------------------------- parameter help

void TestHelp::parameterLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("throughLabel"); // the caller fills Label1 itself
    QTest::addColumn<QStringList>("lines");
    const QStringList tipoPago = {
        QStringLiteral("Estos datos se refieren al tipo de pago que se está"),
        QStringLiteral("declarando, es decir, si corresponde a remuneraciones"),
        QStringLiteral("del mes (normal) o gratificaciones o bien si son pagos"),
        QStringLiteral("retroactivos a empresas publicas.")};
    QStringList shown = {QStringLiteral("  ")};
    for (const QString& l : tipoPago)
        shown << QStringLiteral("  ") + l;
    shown << QString();
    QTest::newRow("lone CR") << parameterText(tipoPago) << false << shown;
    QTest::newRow("lone CR, set on the label") << parameterText(tipoPago) << true << shown;
    QTest::newRow("LF") << QStringLiteral("uno\ndos\ntres") << false
                        << QStringList{QStringLiteral("uno"), QStringLiteral("dos"),
                                       QStringLiteral("tres")};
    QTest::newRow("CR LF, no extra blank lines")
        << QStringLiteral("uno\r\ndos\r\n") << false
        << QStringList{QStringLiteral("uno"), QStringLiteral("dos"), QString()};
    QTest::newRow("mixed, empty line kept")
        << QStringLiteral("uno\r\rdos\n\r\ntres") << false
        << QStringList{QStringLiteral("uno"), QString(), QStringLiteral("dos"), QString(),
                       QStringLiteral("tres")};
}

void TestHelp::parameterLines() {
    QFETCH(QString, text);
    QFETCH(bool, throughLabel);
    QFETCH(QStringList, lines);
    ScriptedDialogs d;
    TFrmAyudaParametros w;
    w.setWindowTitle(QStringLiteral("Tipo Pago"));
    auto* label = w.findChild<QLabel*>(QStringLiteral("Label1"));
    QVERIFY(label);
    if (throughLabel)
        label->setText(text);
    else
        w.setText(text);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(label->text().split(QLatin1Char('\n')), lines);
    QVERIFY(!label->text().contains(QLatin1Char('\r')));
    // Each line on a line of its own: the label is as tall as its lines.
    const int lineHeight = label->fontMetrics().lineSpacing();
    QVERIFY(label->heightForWidth(label->width()) >= (lines.size() - 1) * lineHeight);
    QCOMPARE(w.windowTitle(), QStringLiteral("Tipo Pago"));
    QVERIFY(label->wordWrap());
    QVERIFY2(d.done(), qPrintable(d.problems()));
}

void TestHelp::parameterCloses_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close");
}

void TestHelp::parameterCloses() {
    QFETCH(QString, how);
    ScriptedDialogs d;
    TFrmAyudaParametros w;
    w.setWindowTitle(QStringLiteral("Isapres"));
    w.setText(parameterText({QStringLiteral("Estos datos corresponden a los nombres y códigos"),
                             QStringLiteral("de las Isapres vigentes a la fecha")}));
    bool ran = false;
    QTimer::singleShot(0, &w, [&] {
        if (how == QLatin1String("escape"))
            QTest::keyClick(&w, Qt::Key_Escape);
        else
            w.close();
        ran = true;
    });
    // A safety net so that a window that does not close fails the test
    // instead of hanging it.
    QTimer::singleShot(5000, &w, [&] { w.done(42); });
    QCOMPARE(w.exec(), int(QDialog::Rejected));
    QVERIFY(ran);
    QVERIFY(!w.isVisible());
    QVERIFY2(d.done(), qPrintable(d.problems()));
}

// ---------------------------------------------------------------- rendering

void TestHelp::windowsRenderUnclipped_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("text"); // parameter help only
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("fixed");
    QTest::newRow("About") << QStringLiteral("about") << QString() << QSize(321, 190) << true;
    QTest::newRow("Help") << QStringLiteral("help") << QString() << QSize(1030, 650) << false;
    // The longest texts of the code tables: the most lines and the widest line.
    QTest::newRow("Parameter help, four lines")
        << QStringLiteral("parameters")
        << parameterText({QStringLiteral("Estos datos se refieren a si el trabajador está activo"),
                          QStringLiteral("(no pensionado) o pensionado aun trabajando o bien"),
                          QStringLiteral("si es mayor de 60 o 65 años pero nunca ha sido"),
                          QStringLiteral("pensionado")})
        << QSize(332, 174) << true;
    QTest::newRow("Parameter help, widest line")
        << QStringLiteral("parameters")
        << parameterText(
               {QStringLiteral("Estos datos corresponden a las instituciones autorizadas"),
                QStringLiteral("para manejar los fondos correspondientes al ahorro "),
                QStringLiteral("previsional voluntario")})
        << QSize(332, 174) << true;
}

void TestHelp::windowsRenderUnclipped() {
    QFETCH(QString, window);
    QFETCH(QString, text);
    QFETCH(QSize, client);
    QFETCH(bool, fixed);
    ScriptedDialogs d;
    QTemporaryDir tmp; // the help window looks for its page here
    QVERIFY(writePage(TFrmAyuda::helpPath(tmp.path()), "<h1>Ayuda</h1>"));
    std::unique_ptr<QDialog> w;
    if (window == QLatin1String("about")) {
        w = std::make_unique<TFrmAcercade>();
    } else if (window == QLatin1String("help")) {
        auto help = std::make_unique<TFrmAyuda>();
        help->setFolder(tmp.path());
        w = std::move(help);
    } else {
        auto parameters = std::make_unique<TFrmAyudaParametros>();
        parameters->setWindowTitle(QStringLiteral("Ayuda"));
        parameters->setText(text);
        w = std::move(parameters);
    }
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QCOMPARE(w->size(), client);
    if (fixed) {
        QCOMPARE(w->minimumSize(), client);
        QCOMPARE(w->maximumSize(), client);
    }
    const QPixmap shot = w->grab();
    QCOMPARE(shot.deviceIndependentSize().toSize(), client);
    // Every direct child fills the window or lies inside it.
    for (QWidget* child : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        QVERIFY2(w->rect().contains(child->geometry()), qPrintable(child->objectName()));
    const QString problems = layoutProblems(w.get());
    QVERIFY2(problems.isEmpty(), qPrintable(problems));
    if (window == QLatin1String("help")) {
        auto* browser = w->findChild<QTextBrowser*>(QStringLiteral("WebBrowser1"));
        QCOMPARE(browser->geometry(), w->rect());
    }
    if (qEnvironmentVariableIsSet("SOLVANTA_SHOTS"))
        shot.save(
            QDir(qEnvironmentVariable("SOLVANTA_SHOTS"))
                .filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".png")));
    QVERIFY2(d.done(), qPrintable(d.problems()));
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
