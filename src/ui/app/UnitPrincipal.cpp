#include "UnitPrincipal.h"

#include "engine/files/SheetImport.h"

#include "AppMessage.h"
#include "engine/files/Document.h"
#include "engine/files/Journal.h"
#include "engine/util/Errors.h"
#include "ui/app/UnitSeleccionar.h"
#include "ui/listing/UnitDespSolvanta.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QLockFile>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    QFont f = l->font();
    f.setPointSize(11);
    l->setFont(f);
    return l;
}

QPushButton* bigButton(QWidget* parent, const char* name, const QString& text,
                       images::Glyph glyph) {
    QPushButton* b = glyphButton(parent, name, text, glyph);
    QFont f = b->font();
    f.setPointSize(10);
    f.setBold(true);
    b->setFont(f);
    b->setIconSize(QSize(24, 24));
    b->setMinimumSize(150, 57);
    return b;
}

} // namespace

QString TFrmPrincipal::caption() {
    return QStringLiteral("Editor de Archivos de Solvanta Versión: ") +
           QStringLiteral(SOLVANTA_VERSION);
}

TFrmPrincipal::TFrmPrincipal(QWidget* parent) : QWidget(parent), appMessage_(new AppMessage(this)) {
    // FormCreate: Enter acts as Tab in every window from now on.
    qApp->installEventFilter(appMessage_);
    setWindowTitle(caption());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(images::appIcon());

    QFrame* panel = highlightPanel(this, "Panel1");

    QPushButton* edit =
        bigButton(panel, "BitBtn1", QStringLiteral("&Editar Archivo"), images::Glyph::EditFile);
    QPushButton* quit = bigButton(panel, "BitBtn3", QStringLiteral("&Salir"), images::Glyph::Exit);
    recent_ = bigButton(panel, "BtnRecientes", QStringLiteral("Archivos &recientes"),
                        images::Glyph::EditFile);
    recent_->setMenu(new QMenu(recent_));
    recent_->menu()->setObjectName(QStringLiteral("MenuRecientes"));
    connect(recent_->menu(), &QMenu::aboutToShow, this, &TFrmPrincipal::showRecentFiles);
    recent_->setEnabled(!recentFiles().isEmpty());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(edit);
    buttons->addStretch(1);
    buttons->addWidget(recent_);
    buttons->addStretch(1);
    buttons->addWidget(quit);
    buttons->addStretch(1);

    auto* bevel = new QFrame(panel);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::Box);
    bevel->setFrameShadow(QFrame::Sunken);
    auto* text = new QVBoxLayout(bevel);
    text->setContentsMargins(12, 18, 12, 18);
    text->setSpacing(12);
    QLabel* intro =
        label(bevel, "Label1",
              QStringLiteral(
                  "Este programa permite modificar archivos de texto enviados a Solvanta cuando \n"
                  "estos son rechazados por contener errores."));
    intro->setWordWrap(true);
    text->addWidget(intro);
    text->addWidget(
        label(bevel, "Label2", QStringLiteral("Para utilizar, siga los siguientes pasos:")));
    text->addWidget(
        label(bevel, "Label3", QStringLiteral("1.- Haga clic en el botón \"Editar Archivo\".")));
    text->addWidget(label(
        bevel, "Label4",
        QStringLiteral("2.- Seleccione la ubicación del archivo de texto que desea corregir.")));
    text->addWidget(label(bevel, "Label5",
                          QStringLiteral("3.- Indique el formato en que se encuentra el archivo: "
                                         "por posición o por separador.")));
    text->addWidget(label(bevel, "Label7",
                          QStringLiteral("4.- Una vez cargado, el archivo se mostrará en pantalla "
                                         "y podrá modificar directamente \n"
                                         "      los datos que presentan errores.")));
    text->addWidget(label(bevel, "Label8",
                          QStringLiteral("5.- Luego de realizar las correcciones, genere un nuevo "
                                         "archivo, el cual debe volver \n"
                                         "      a enviar a Solvanta.")));

    auto* logo = new QLabel(panel);
    logo->setObjectName(QStringLiteral("Image1"));
    logo->setPixmap(images::logo());
    logo->setAlignment(Qt::AlignCenter);

    auto* inner = new QVBoxLayout(panel);
    inner->setContentsMargins(40, 16, 40, 14);
    inner->setSpacing(15);
    inner->addLayout(buttons);
    inner->addWidget(bevel, 1);
    inner->addWidget(logo);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    resize(layout->sizeHint().expandedTo(QSize(615, 459)));
    if (const QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());

    setAcceptDrops(true);
    edit->setFocus();
    connect(edit, &QPushButton::clicked, this, &TFrmPrincipal::editFile);
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
}

TFrmPrincipal::~TFrmPrincipal() {
    qApp->removeEventFilter(appMessage_);
}

void TFrmPrincipal::editFile() {
    ui::guarded(this, [this] { loadDialog()->exec(); });
}

std::unique_ptr<TFrmSeleccionar> TFrmPrincipal::loadDialog() {
    auto dialog = std::make_unique<TFrmSeleccionar>(this);
    connect(dialog.get(), &TFrmSeleccionar::fileChosen, this,
            [this, d = dialog.get()](const QString& path, solvanta::FileForm form) {
                openListing(d, path, form);
            });
    connect(dialog.get(), &TFrmSeleccionar::sheetChosen, this,
            [this, d = dialog.get()](const QString& path) { openListing(d, path, std::nullopt); });
    return dialog;
}

// A file dropped on the listing opens when that listing has closed, in a
// new listing over the same window.
void TFrmPrincipal::openListing(QWidget* over, const QString& path,
                                std::optional<solvanta::FileForm> form,
                                const std::function<void(TFrmSolvanta&)>& then) {
    QString dropped;
    ui::guarded(over, [&] {
        solvanta::Document document;
        TFrmSolvanta listing(document, over);
        if (form)
            listing.load(path, *form);
        else
            listing.loadSheet(path);
        rememberFile(path, form);
        recent_->setEnabled(true);
        if (then) then(listing);
        listing.setWindowState(listing.windowState() | Qt::WindowMaximized);
        listing.exec();
        dropped = listing.droppedFile();
    });
    if (!dropped.isEmpty()) openFile(over, dropped);
}

namespace {

QSettings userSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QStringLiteral("solvanta-editor"), QStringLiteral("editor"));
}

constexpr int kRecentFiles = 10;

} // namespace

QList<TFrmPrincipal::RecentFile> TFrmPrincipal::recentFiles() {
    QList<RecentFile> out;
    const QStringList kept = userSettings().value(QStringLiteral("recientes")).toStringList();
    for (const QString& entry : kept) {
        // "position|separator|sheet" TAB path
        const qsizetype tab = entry.indexOf(u'\t');
        if (tab < 0) continue;
        const QString how = entry.left(tab);
        RecentFile f{entry.mid(tab + 1), std::nullopt};
        if (how == QLatin1String("position"))
            f.form = solvanta::FileForm::Position;
        else if (how == QLatin1String("separator"))
            f.form = solvanta::FileForm::Separator;
        else if (how != QLatin1String("sheet"))
            continue;
        out << f;
    }
    return out;
}

void TFrmPrincipal::rememberFile(const QString& path, std::optional<solvanta::FileForm> form) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList kept;
    kept << (form ? (*form == solvanta::FileForm::Position ? QStringLiteral("position")
                                                           : QStringLiteral("separator"))
                  : QStringLiteral("sheet")) +
                u'\t' + absolute;
    for (const RecentFile& f : recentFiles())
        if (f.path != absolute && kept.size() < kRecentFiles)
            kept << (f.form
                         ? (*f.form == solvanta::FileForm::Position ? QStringLiteral("position")
                                                                    : QStringLiteral("separator"))
                         : QStringLiteral("sheet")) +
                        u'\t' + f.path;
    QSettings settings = userSettings();
    settings.setValue(QStringLiteral("recientes"), kept);
}

void TFrmPrincipal::showRecentFiles() {
    QMenu* menu = recent_->menu();
    menu->clear();
    int n = 0;
    for (const RecentFile& f : recentFiles()) {
        const QString how = !f.form ? QStringLiteral("planilla")
                            : *f.form == solvanta::FileForm::Position
                                ? QStringLiteral("por posición")
                                : QStringLiteral("por separador");
        QAction* a =
            menu->addAction(QStringLiteral("&%1 %2 (%3) — %4")
                                .arg(++n % 10)
                                .arg(QFileInfo(f.path).fileName(), how,
                                     QDir::toNativeSeparators(QFileInfo(f.path).absolutePath())));
        a->setObjectName(QStringLiteral("Reciente%1").arg(n));
        connect(a, &QAction::triggered, this, [this, f] {
            // Opened later: the menu closes first.
            QTimer::singleShot(0, this, [this, f] { openListing(this, f.path, f.form); });
        });
    }
    if (n == 0) menu->addAction(QStringLiteral("(ninguno)"))->setEnabled(false);
}

void TFrmPrincipal::offerRecovery(const QString& folder) {
    using namespace solvanta;
    const QDir dir(folder.isEmpty() ? Document::defaultJournalFolder() : folder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.jrn")}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        // A journal whose program still runs is that program's.
        QLockFile lock(path + QStringLiteral(".lock"));
        if (!lock.tryLock(0)) continue;
        JournalReading journal;
        try {
            journal = readJournal(path);
        } catch (const Error&) {
            continue; // not ours to judge: left as it is
        }
        const auto discard = [&] {
            QFile::remove(path);
            lock.unlock();
            QFile::remove(path + QStringLiteral(".lock"));
        };
        if (journal.entries.empty()) {
            discard(); // begun, but no change reached it
            continue;
        }
        const QString file = QFileInfo(journal.header.file.path).fileName();
        const QString when =
            QLocale(QLocale::Spanish, QLocale::Chile)
                .toString(QFileInfo(path).lastModified(), QStringLiteral("dd-MM-yyyy HH:mm"));
        ui::Question q;
        q.caption = QStringLiteral("Recuperar correcciones");
        q.text = QStringLiteral("Hay correcciones sin grabar de «%1» del %2 (%3 %4). "
                                "¿Recuperarlas?")
                     .arg(file, when)
                     .arg(journal.linesTouched)
                     .arg(journal.linesTouched == 1 ? QStringLiteral("línea modificada")
                                                    : QStringLiteral("líneas modificadas"));
        if (journal.torn)
            q.text += QStringLiteral("\n\nLa última corrección quedó a medio guardar y no se "
                                     "recupera.");
        q.icon = ui::Icon::Question;
        q.defaultButton = ui::Button::Ok;
        if (ui::dialogs().ask(this, q) != ui::Button::Ok) {
            ui::Question d;
            d.caption = QStringLiteral("Recuperar correcciones");
            d.text = QStringLiteral("¿Descartar las correcciones sin grabar de «%1»? Si no las "
                                    "descarta, se ofrecerán otra vez la próxima vez que abra el "
                                    "programa.")
                         .arg(file);
            d.icon = ui::Icon::Exclamation;
            d.defaultButton = ui::Button::Cancel;
            if (ui::dialogs().ask(this, d) == ui::Button::Ok) discard();
            continue;
        }
        lock.unlock();
        const std::optional<FileForm> form =
            journal.header.sheet ? std::nullopt : std::optional(journal.header.form);
        openListing(this, journal.header.file.path, form,
                    [&](TFrmSolvanta& listing) { listing.recover(journal, path); });
    }
}

QString TFrmPrincipal::fileArgument(const QStringList& args) {
    if (args.size() != 1) return {};
    const QString& a = args.first();
    static const QStringList commands{QStringLiteral("convert"), QStringLiteral("export"),
                                      QStringLiteral("check")};
    if (a.isEmpty() || a.startsWith(QLatin1Char('-')) || commands.contains(a)) return {};
    // A mistyped command ("convertir") stays a usage error: a file is a path
    // that exists or looks like one.
    if (!QFileInfo::exists(a) && !a.contains(QLatin1Char('/')) && !a.contains(QLatin1Char('.')))
        return {};
    return a;
}

void TFrmPrincipal::openFile(const QString& path) {
    activateWindow();
    openFile(this, path);
}

void TFrmPrincipal::openFile(QWidget* over, const QString& path) {
    ui::guarded(over, [&] {
        const QFileInfo file(path);
        // A workbook, or a .csv under the fields' titles, is a spreadsheet.
        if (solvanta::readsAsSheet(path)) {
            openListing(over, path, std::nullopt);
            return;
        }
        // A file that cannot be read goes straight to the load, whose
        // message says why; asking its form first would be pointless.
        if (const auto form = solvanta::guessForm(path);
            form || !file.isFile() || !file.isReadable()) {
            openListing(over, path, form.value_or(solvanta::FileForm::Position));
            return;
        }
        const auto dialog = loadDialog();
        dialog->setFile(path);
        dialog->exec();
    });
}

void TFrmPrincipal::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFrmPrincipal::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // The drop finishes first: the program that dragged the file must not
    // wait while the listing is open.
    QTimer::singleShot(0, this, [this, path] { openFile(path); });
}
