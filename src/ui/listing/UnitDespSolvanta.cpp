#include "UnitDespSolvanta.h"

#include "ColumnFilterDialog.h"

#include "DeclarationGrid.h"
#include "DeclarationModel.h"
#include "FindReplaceDialog.h"
#include "ListingStatusBar.h"
#include "ProblemsModel.h"
#include "ProblemsPanel.h"
#include "SummaryWindow.h"
#include "UnitAsigCentroCosto.h"
#include "UnitBuscar.h"
#include "UnitModMasiva.h"
#include "UnitSelTipoJornada.h"
#include "engine/codes/CodeLists.h"
#include "engine/codes/CodeNames.h"
#include "engine/files/Compare.h"
#include "engine/files/LineChecks.h"
#include "engine/files/SheetImport.h"
#include "engine/files/SpreadsheetExport.h"
#include "engine/files/Summary.h"
#include "engine/model/FieldTable.h"
#include "engine/util/Errors.h"
#include "ui/codes/UnitModCodSolvanta.h"
#include "ui/editor/UnitDatosSolvanta.h"
#include "ui/help/UnitAcercade.h"
#include "ui/help/UnitAyuda.h"
#include "ui/listing/CompareWindow.h"
#include "ui/listing/UnitSelFormato.h"
#include "ui/widgets/CommandBar.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"
#include "ui/widgets/Images.h"
#include "ui/widgets/Pregunta.h"
#include "ui/widgets/ProgressBox.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

using namespace solvanta;

namespace {

// The save dialog starts in the user's documents folder.
QString documentsFolder() {
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(docs).exists() ? docs : QDir::homePath();
}

} // namespace

namespace {

// The filters that are not about one column, by the names the status bar
// shows.
QString problemLines() {
    return QStringLiteral("con problemas");
}
QString changedLines() {
    return QStringLiteral("modificadas");
}

QString spanishCount(qsizetype n) {
    return QLocale(QLocale::Spanish, QLocale::Chile).toString(qint64(n));
}

} // namespace

QString TFrmSolvanta::webAddress() {
    return QStringLiteral("https://www.solvanta.cl");
}

namespace {

using images::Glyph;
using Handler = void (TFrmSolvanta::*)();

// Every command of the listing, one action each. The toolbar shows those
// with a button, left to right in this order; the menus take the others,
// and some of these, by the action's name.
struct CommandDef {
    const char* action;  // the action's object name
    const char* button;  // the toolbar button's; none when the command has no button
    const char* caption; // on the button, with its Alt key
    const char* entry;   // in a menu, when it differs from the caption
    const char* hint;
    Glyph glyph; // on the button
    Handler handler;
    const char* keys = nullptr; // a window-wide shortcut
};

// clang-format off
const CommandDef kCommands[] = {
    {"CrearArchivo1", "SpeedButton1", "Crear &Archivo", nullptr, "Crear archivo de texto para Solvanta", Glyph::CreateFile, &TFrmSolvanta::createFile},
    {"Revisar1", "SpeedButtonRevisar", "Rev&isar", nullptr, "Revisar las líneas (Ctrl+R)", Glyph::Check, &TFrmSolvanta::checkLines, "Ctrl+R"},
    {"Solvanta1", "SpeedButton3", "So&lvanta", nullptr, "Entra a la Página de Solvanta", Glyph::WebPage, &TFrmSolvanta::openWebPage},
    {"Excel1", "SpeedButton5", "E&xcel", nullptr, "Envia archivo a Excel", Glyph::Spreadsheet, &TFrmSolvanta::exportToSpreadsheet},
    {"Resumen1", "SpeedButtonResumen", "Res&umen", "Resumen\tCtrl+T", "Resumen por institución: líneas, trabajadores y montos (Ctrl+T)", Glyph::Summary, &TFrmSolvanta::showSummary, "Ctrl+T"},
    {"Agregar1", "SpeedButton13", "A&gregar", "Agregar", "Agregar nueva línea", Glyph::Add, &TFrmSolvanta::addLine},
    {"Modificar1", "SpeedButton6", "&Modificar", "Modificar", "Modificar datos de un empleado", Glyph::Modify, &TFrmSolvanta::modifyLine},
    {"Eliminar1", "SpeedButton7", "&Eliminar", "Eliminar", "Eliminar línea", Glyph::Delete, &TFrmSolvanta::deleteLines},
    {"Deshacer1", "SpeedButtonDeshacer", "&Deshacer", "Deshacer\tCtrl+Z", "Deshacer el último cambio (Ctrl+Z)", Glyph::Undo, &TFrmSolvanta::undo},
    {"Rehacer1", "SpeedButtonRehacer", "Re&hacer", "Rehacer\tCtrl+Y", "Rehacer lo deshecho (Ctrl+Y)", Glyph::Redo, &TFrmSolvanta::redo},
    {"Codigos1", "SpeedButton2", "C&ódigos", nullptr, "Modifica códigos de Solvanta", Glyph::Codes, &TFrmSolvanta::showCodeMenu},
    {"Masiva1", "SpeedButton9", "Masi&va", nullptr, "Modificación masiva", Glyph::Mass, &TFrmSolvanta::massModify},
    {"Asignar1", "SpeedButton12", "Asig&nar", nullptr, "", Glyph::Assign, &TFrmSolvanta::showAssignMenu},
    {"Ayuda1", "SpeedButton8", "A&yuda", nullptr, "Ayuda", Glyph::Help, &TFrmSolvanta::showHelp},
    {"Acercade1", "SpeedButton10", "Ace&rca de", nullptr, "Acerca de...", Glyph::About, &TFrmSolvanta::showAbout},
    {"Salir1", "SpeedButton4", "&Salir", nullptr, "Cerrar esta pantalla", Glyph::Exit, &TFrmSolvanta::leave},
    {"Buscar1", nullptr, "Buscar", "Buscar\tCtrl+B", "", {}, &TFrmSolvanta::findByRut, "Ctrl+B"},
    {"BuscarTexto1", nullptr, "Buscar texto", "Buscar texto\tCtrl+F", "", {}, &TFrmSolvanta::openFind, "Ctrl+F"},
    {"Reemplazar1", nullptr, "Reemplazar", "Reemplazar\tCtrl+H", "", {}, &TFrmSolvanta::openReplace, "Ctrl+H"},
    {"BuscarSiguiente1", nullptr, "Buscar siguiente", "Buscar siguiente\tF3", "", {}, &TFrmSolvanta::findNext, "F3"},
    {"BuscarAnterior1", nullptr, "Buscar anterior", "Buscar anterior\tMayús+F3", "", {}, &TFrmSolvanta::findPrevious, "Shift+F3"},
    {"FiltrarColumna1", nullptr, "Filtrar columna", "Filtrar esta columna...\tAlt+Abajo", "", {}, &TFrmSolvanta::filterColumn, "Alt+Down"},
    {"FiltrarValor1", nullptr, "Filtrar por este valor", nullptr, "", {}, &TFrmSolvanta::filterByValue},
    {"SoloProblemas1", nullptr, "Solo líneas con problemas", nullptr, "", {}, &TFrmSolvanta::onlyProblemLines},
    {"SoloModificadas1", nullptr, "Solo líneas modificadas", nullptr, "", {}, &TFrmSolvanta::onlyChangedLines},
    {"MostrarTodas1", nullptr, "Mostrar todas las líneas", "Mostrar todas las líneas\tCtrl+Mayús+L", "", {}, &TFrmSolvanta::showAllLines, "Ctrl+Shift+L"},
    {"Comparar1", nullptr, "Comparar con...", "Comparar con otro archivo...", "", {}, &TFrmSolvanta::compareWithFile},
    {"Uno1", nullptr, "Tipo de Jornada", nullptr, "", {}, &TFrmSolvanta::assignWorkDayType},
    {"Dos1", nullptr, "Centro de Costo", nullptr, "", {}, &TFrmSolvanta::assignCostCentre},
};
// clang-format on

} // namespace

TFrmSolvanta::TFrmSolvanta(Document& document, QWidget* parent)
    : QDialog(parent), document_(document) {
    setObjectName(QStringLiteral("FrmSolvanta"));
    setWindowTitle(QStringLiteral("Listado para Solvanta"));
    setAcceptDrops(true);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    // The restored size, never larger than the screen: without a window
    // manager to maximise it, the window would otherwise hide its right edge
    // and scroll bar on a 1366 x 768 screen.
    QSize size(1484, 659);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size());
    resize(size);

    makeActions();
    QWidget* toolbar = buildToolbar();

    model_ = new DeclarationModel(table(), this);
    grid_ = new DeclarationGrid(model_, this);
    grid_->setObjectName(QStringLiteral("DBGrid1"));
    grid_->setAccessibleName(QStringLiteral("Líneas del archivo"));
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);

    // The problems of the line checks, under the grid.
    problems_ = new ProblemsModel(table(), document_.problems(), this);
    model_->setProblems(problems_);
    problemsPanel_ = new ProblemsPanel(problems_, this);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setObjectName(QStringLiteral("Splitter1"));
    split->addWidget(grid_);
    split->addWidget(problemsPanel_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setChildrenCollapsible(false);

    status_ = new ListingStatusBar(this);
    status_->showCodeTable(document_.checker());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(split, 1);
    layout->addWidget(status_);

    buildMenus();
    connectViews();
    refreshStatus();
    grid_->setFocus();
}

void TFrmSolvanta::makeActions() {
    for (const CommandDef& c : kCommands) {
        auto* a = new QAction(QString::fromUtf8(c.entry ? c.entry : c.caption), this);
        a->setObjectName(QLatin1String(c.action));
        a->setIconText(QString::fromUtf8(c.caption));
        a->setToolTip(QString::fromUtf8(c.hint));
        if (c.button) {
            a->setIcon(images::glyph(c.glyph));
            a->setIconVisibleInMenu(false); // the menus show their entries as words alone
        }
        if (c.keys) a->setShortcut(QKeySequence(QLatin1String(c.keys)));
        connect(a, &QAction::triggered, this, c.handler);
        addAction(a);
        actions_.insert(QLatin1String(c.action), a);
    }
    // Undo and redo: window-wide keys (an open cell editor keeps Ctrl+Z for
    // its own text), always live, as the change they take back may be only
    // a moment old; the actions show whether there is anything to undo or
    // redo.
    const std::pair<QKeySequence, void (TFrmSolvanta::*)()> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Z), &TFrmSolvanta::undo},
        {QKeySequence(Qt::CTRL | Qt::Key_Y), &TFrmSolvanta::redo},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &TFrmSolvanta::redo},
    };
    for (const auto& [sequence, handler] : keys)
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, handler);
}

QAction* TFrmSolvanta::action(const char* name) const {
    return actions_.value(QLatin1String(name));
}

QWidget* TFrmSolvanta::buildToolbar() {
    QFrame* panel = highlightPanel(this, "Panel1");
    panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* bar = new QHBoxLayout(panel);
    bar->setContentsMargins(6, 8, 6, 8);
    commands_ = new CommandBar(panel);
    commands_->setObjectName(QStringLiteral("BarraComandos"));
    for (const CommandDef& c : kCommands) {
        if (!c.button) continue;
        // Undo and redo show their curved arrows alone, as everywhere; the
        // caption stays for the mnemonic and for screen readers, the hint
        // names the keys.
        const bool arrowOnly = c.glyph == Glyph::Undo || c.glyph == Glyph::Redo;
        commands_->addCommand(action(c.action), QLatin1String(c.button), arrowOnly);
    }
    bar->addWidget(commands_);
    return panel;
}

void TFrmSolvanta::buildMenus() {
    lineMenu_ = new QMenu(this);
    lineMenu_->setObjectName(QStringLiteral("PopupMenu1"));
    action("SoloProblemas1")->setCheckable(true);
    action("SoloModificadas1")->setCheckable(true);
    for (const char* name : {"Modificar1", "Eliminar1", "Agregar1", "", "Deshacer1", "Rehacer1", "",
                             "Buscar1", "", "FiltrarValor1", "FiltrarColumna1", "SoloProblemas1",
                             "SoloModificadas1", "MostrarTodas1", "", "Resumen1", "Comparar1"}) {
        if (*name)
            lineMenu_->addAction(action(name));
        else
            lineMenu_->addSeparator();
    }

    codeMenu_ = new QMenu(this);
    codeMenu_->setObjectName(QStringLiteral("PopupMenu2"));
    // The code menu: the code lists it offers, in their places.
    std::vector<const CodeListDef*> menu;
    for (const CodeListDef& l : codeLists())
        if (l.menuPlace >= 0) menu.push_back(&l);
    std::sort(menu.begin(), menu.end(), [](const CodeListDef* a, const CodeListDef* b) {
        return a->menuPlace < b->menuPlace;
    });
    for (const CodeListDef* l : menu) {
        QAction* entry = codeMenu_->addAction(QString::fromUtf8(l->menuCaption));
        entry->setObjectName(QLatin1String(l->menuName));
        connect(entry, &QAction::triggered, this, [this, l] { openCodeEditor(*l); });
    }

    assignMenu_ = new QMenu(this);
    assignMenu_->setObjectName(QStringLiteral("PopupMenu3"));
    assignMenu_->addAction(action("Uno1"));
    assignMenu_->addAction(action("Dos1"));
}

void TFrmSolvanta::connectViews() {
    connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        refreshStatus();
        lineMenu_->popup(grid_->viewport()->mapToGlobal(pos));
    });
    connect(grid_, &QAbstractItemView::doubleClicked, this, &TFrmSolvanta::modifyLine);

    // A problem chosen in the panel shows its cell.
    connect(problemsPanel_, &ProblemsPanel::problemChosen, this, [this](int row, int field) {
        revealLine(row, DeclarationModel::columnOf(field));
        grid_->setFocus();
    });
    // The line of the problem the user is on is the grid's current line, so
    // that the commands act on the line the panel shows.
    connect(problemsPanel_, &ProblemsPanel::problemSelected, this, [this](int row, int field) {
        grid_->showCell(row, DeclarationModel::columnOf(field));
    });
    connect(problems_, &ProblemsModel::tintsChanged, grid_->viewport(),
            qOverload<>(&QWidget::update));
    // Stored lines are checked again, and only they.
    connect(model_, &DeclarationModel::linesStored, this, [this](int first, int last) {
        problems_->recheckRows(document_.checker(), first, last);
    });
    connect(model_, &QAbstractItemModel::rowsRemoved, problems_, &ProblemsModel::dropDeletedLines);
    connect(model_, &QAbstractItemModel::rowsInserted, problems_, &ProblemsModel::dropDeletedLines);
    connect(model_, &QAbstractItemModel::modelReset, problems_, &ProblemsModel::dropDeletedLines);

    // The status bar follows every change of the lines and of the current
    // line, at most once per turn of the event loop.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model_, signal, this, &TFrmSolvanta::scheduleStatus);
    connect(model_, &QAbstractItemModel::modelReset, this, &TFrmSolvanta::scheduleStatus);
    connect(model_, &QAbstractItemModel::dataChanged, this, &TFrmSolvanta::scheduleStatus);
    connect(model_, &QAbstractItemModel::headerDataChanged, this, &TFrmSolvanta::scheduleStatus);
    connect(model_, &DeclarationModel::viewChanged, this, &TFrmSolvanta::scheduleStatus);

    // Titles: a click sorts, a right-click filters; the status bar's button
    // brings every line back.
    connect(grid_, &DeclarationGrid::titleClicked, this, &TFrmSolvanta::sortByColumn);
    connect(grid_, &DeclarationGrid::titleMenuRequested, this, &TFrmSolvanta::filterColumnAt);
    connect(status_, &ListingStatusBar::showAllRequested, this, &TFrmSolvanta::showAllLines);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TFrmSolvanta::scheduleStatus);
}

QTableView* TFrmSolvanta::problemsView() const {
    return problemsPanel_->view();
}

void TFrmSolvanta::recheckWithFreshLists() {
    document_.reloadCodeLists();
    status_->showCodeTable(document_.checker());
    problems_->recheckAll(document_.checker());
    warnAboutCodeTable();
}
void TFrmSolvanta::warnAboutCodeTable() {
    const LineChecker& checker = document_.checker();
    const QString& problem = checker.codeTableProblem();
    if (problem == codeTableWarned_) return;
    codeTableWarned_ = problem;
    if (problem.isEmpty()) return;
    ui::dialogs().inform(
        isVisible() ? this : parentWidget(),
        problem + QStringLiteral("\n\n") +
            (checker.codesUnchecked()
                 ? QStringLiteral("El programa sigue funcionando, pero no revisa los códigos de "
                                  "las líneas.")
                 : QStringLiteral("El programa sigue funcionando, pero no revisa los códigos de "
                                  "esas listas.")),
        QStringLiteral("Atención"));
}

// Checks every line again, with the code lists as the file has them now.
void TFrmSolvanta::checkLines() {
    ui::guarded(this, [this] {
        if (!grid_->settleForWindow()) return;
        const WaitCursor wait;
        recheckWithFreshLists();
        problemsPanel_->focusFirst();
    });
}

bool TFrmSolvanta::confirmBreakers(FileForm form) {
    if (form == FileForm::Separator) return true;
    const unsigned char breaks =
        form == FileForm::Position ? LineProblem::Position : LineProblem::Separator;
    // Line by line into compact findings: only the first problem gets its texts.
    int lines = 0, firstRow = -1;
    Finding first;
    std::vector<Finding> found;
    for (int r = 0; r < table().recordCount(); ++r) {
        found.clear();
        document_.checker().findRow(table(), r, found);
        bool counted = false;
        for (const Finding f : found) {
            // What breaks the separator form (";", line breaks) the writer
            // refuses on its own, naming the line: only the rest is asked about.
            if (!(f.breaks() & breaks) || (f.breaks() & LineProblem::Separator)) continue;
            if (firstRow < 0) {
                firstRow = r;
                first = f;
            }
            if (!counted) ++lines;
            counted = true;
        }
    }
    if (firstRow < 0) return true;
    ui::Question q;
    q.caption = QStringLiteral("Atención");
    q.text = QStringLiteral("%1 %2 valores que romperían el archivo %3. La primera:\n\n%4\n\n"
                            "¿Crear el archivo de todos modos?")
                 .arg(lines)
                 .arg(lines == 1 ? QStringLiteral("línea tiene") : QStringLiteral("líneas tienen"))
                 .arg(form == FileForm::Position ? QStringLiteral("por posición")
                                                 : QStringLiteral("por separador"))
                 .arg(LineChecker::describe(LineChecker::spellRow(table(), firstRow, first)));
    q.icon = ui::Icon::Exclamation;
    return ui::dialogs().ask(this, q) == ui::Button::Ok;
}

namespace {

// What the user hears of a load that did not take everything as it stood:
// what concerns the file as a whole, and how many values the problems panel
// shows with the file's own text.
QString loadNotesText(const LoadReport& report, bool sheet) {
    QStringList lines;
    qint64 onLines = report.noteCount - qint64(report.notes.size());
    for (const LoadNote& n : report.notes) {
        if (n.line == 0)
            lines << QStringLiteral("• ") + LoadReport::describe(n);
        else
            ++onLines;
    }
    const QString count = QLocale(QLocale::Spanish, QLocale::Chile).toString(onLines);
    if (onLines > 0 && sheet)
        lines << (onLines == 1 ? QStringLiteral("• 1 celda de la planilla no se pudo leer y quedó "
                                                "vacía; el panel de problemas la muestra con su "
                                                "dirección.")
                               : QStringLiteral("• %1 celdas de la planilla no se pudieron leer y "
                                                "quedaron vacías; el panel de problemas las "
                                                "muestra con su dirección.")
                                     .arg(count));
    else if (onLines > 0)
        lines << (onLines == 1
                      ? QStringLiteral("• 1 valor no se leyó tal como estaba en el archivo (un "
                                       "número que no se pudo leer, campos que sobran o faltan); "
                                       "el panel de problemas lo muestra con el texto del archivo.")
                      : QStringLiteral("• %1 valores no se leyeron tal como estaban en el archivo "
                                       "(números que no se pudieron leer, campos que sobran o "
                                       "faltan); el panel de problemas los muestra con el texto "
                                       "del archivo.")
                            .arg(count));
    return QStringLiteral("Al cargar el archivo:\n\n") + lines.join(u'\n');
}

} // namespace

void TFrmSolvanta::load(const QString& path, FileForm form) {
    QWidget* const owner = isVisible() ? this : parentWidget();
    LoadOptions options;
    // Text a UTF-8 program wrote: its letters are read as such and kept in
    // the code page, so that the file written is the one the service takes.
    if (looksLikeUtf8(path)) {
        ui::Question q;
        q.caption = QStringLiteral("Codificación del archivo");
        q.text = QStringLiteral("El archivo «%1» está escrito en UTF-8, no en Windows-1252, la "
                                "codificación de los archivos de declaración.\n\n"
                                "Aceptar: leerlo como UTF-8 y pasar sus letras a Windows-1252 "
                                "(recomendado).\nCancelar: leerlo tal como está; las letras con "
                                "tilde y la Ñ se verán mal.")
                     .arg(QFileInfo(path).fileName());
        q.icon = ui::Icon::Exclamation;
        q.defaultButton = ui::Button::Ok;
        if (ui::dialogs().ask(owner, q) == ui::Button::Ok) options.encoding = FileEncoding::Utf8;
    }
    fill([&](Progress* reading) { return document_.load(path, form, reading, options); });
}

// A spreadsheet (an .xlsx, or a .csv with the fields' titles): its columns
// are matched to the fields first, and what does not match is asked about.
void TFrmSolvanta::loadSheet(const QString& path) {
    QWidget* const owner = isVisible() ? this : parentWidget();
    const QString name = QFileInfo(path).fileName();
    std::optional<SheetImport> sheet;
    {
        const WaitCursor wait;
        sheet.emplace(path);
    }
    const SheetColumns& columns = sheet->columns();
    if (!columns.refusal.isEmpty())
        throw IoError(QStringLiteral("No se pueden leer líneas de «%1» (hoja «%2»): %3")
                          .arg(name, sheet->sheetName(), columns.refusal));
    if (const QString question = columns.question(); !question.isEmpty()) {
        ui::Question q;
        q.caption = QStringLiteral("Leer la planilla «%1»").arg(name);
        q.text = question +
                 QStringLiteral("\n\n¿Cargar las líneas de la hoja «%1»?").arg(sheet->sheetName());
        q.icon = ui::Icon::Question;
        q.defaultButton = ui::Button::Ok;
        if (ui::dialogs().ask(owner, q) != ui::Button::Ok) throw Cancelled();
    }
    fill([&](Progress* reading) {
        return document_.loadWith(
            path, FileForm::Position, [&](RxMem& table) { return sheet->load(table, reading); },
            true);
    });
}

void TFrmSolvanta::fill(const std::function<LoadReport(Progress*)>& read) {
    QWidget* const owner = isVisible() ? this : parentWidget();
    LoadReport report;
    {
        ProgressBox progress(owner, QStringLiteral("Cargando el archivo..."));
        const WaitCursor wait;
        // The box follows the reading of the file and then the checks of its
        // lines, which take somewhat longer, so that the window keeps
        // answering until the listing is ready. Cancelling either gives up
        // the load.
        constexpr int kReading = 400; // of 1000
        ProgressPart reading(progress, 0, kReading), checking(progress, kReading, 1000);
        model_->refill([&] { report = read(&reading); });
        problems_->recheckAll(document_.checker(), &checking);
        if (!table().isEmpty()) table().first(); // the file opens at its first line
        grid_->showTableCursor();
        summarised_ = UINT64_MAX;
        refreshStatus();
    }
    if (report.noteCount > 0)
        ui::dialogs().inform(owner, loadNotesText(report, document_.isSheet()),
                             ui::applicationCaption());
    if (const qint64 other = document_.openElsewhere())
        ui::dialogs().inform(
            owner,
            QStringLiteral("«%1» también está abierto en otra ventana del programa (proceso %2). "
                           "Si ambas graban el archivo, la última reemplazará las correcciones de "
                           "la otra.")
                .arg(QFileInfo(document_.path()).fileName())
                .arg(other),
            ui::applicationCaption());
    warnAboutCodeTable();
}

void TFrmSolvanta::recover(const JournalReading& journal, const QString& journalPath) {
    model_->refill([&] { document_.recover(journal, journalPath); });
    problems_->recheckAll(document_.checker(), nullptr);
    summarised_ = UINT64_MAX;
    refreshStatus();
    grid_->showTableCursor();
}

bool TFrmSolvanta::hasUnsavedChanges() const {
    return document_.hasUnsavedChanges();
}

// ---- status bar ------------------------------------------------------------------

void TFrmSolvanta::scheduleStatus() {
    if (statusPending_) return;
    statusPending_ = true;
    QTimer::singleShot(0, this, &TFrmSolvanta::refreshStatus);
}

void TFrmSolvanta::refreshStatus() {
    statusPending_ = false;
    const bool active = table().isActive();
    // A line a filter hides is nobody's current line on the screen.
    status_->showPosition(model_->currentRow() < 0 ? -1 : table().row(),
                          active ? table().recordCount() : 0);
    const int sorted = model_->sortField();
    status_->showView(model_->rowCount(), model_->lineCount(), model_->conditionNames(),
                      sorted < 0 ? QString()
                                 : fieldTitle(sorted) + (model_->sortDescending()
                                                             ? QStringLiteral(" descendente")
                                                             : QStringLiteral(" ascendente")));
    grid_->showSortColumn(sorted < 0 ? -1 : DeclarationModel::columnOf(sorted),
                          model_->sortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
    action("SoloProblemas1")->setChecked(model_->hasCondition(-1, problemLines()));
    action("SoloModificadas1")->setChecked(model_->hasCondition(-1, changedLines()));
    status_->showSelected(model_->selectedCount());
    showSelectionTotals();
    status_->showFile(document_.path(), document_.form(), document_.isSheet());
    // Counting walks every line: only when the lines changed.
    if (table().changeCount() != summarised_ && active) {
        summarised_ = table().changeCount();
        status_->showChanges(table().changesSinceSaved());
    }
    action("Deshacer1")->setEnabled(active && table().canUndo());
    action("Rehacer1")->setEnabled(active && table().canRedo());
}

// The number cells of the current column on the selected lines, or of the
// block of cells chosen with Shift+arrows: their sum, count and average.
// Cells without a value are not counted.
void TFrmSolvanta::showSelectionTotals() {
    const bool block = model_->blockFirst() >= 0;
    const int current = grid_->currentIndex().column();
    const int first = block ? model_->blockFirst() : current;
    const int last = block ? model_->blockLast() : current;
    double sum = 0;
    int cells = 0;
    if ((model_->selectedCount() > 1 || (block && first < last)) && first > 0) {
        for (const RxMem::Bookmark& b : model_->selectedBookmarks()) {
            const int row = table().rowOf(b);
            if (row < 0) continue;
            const RecordView line = table().recordAt(row);
            for (int c = first; c <= last; ++c) {
                const int field = DeclarationModel::fieldOfColumn(c);
                const Kind kind = kFields[std::size_t(field)].kind;
                if (kind == Kind::Text || !line.hasValue(field)) continue;
                sum += kind == Kind::Integer ? line.integer(field) : line.number(field);
                ++cells;
            }
        }
    }
    status_->showTotals(sum, cells);
}

void TFrmSolvanta::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    grid_->showTableCursor();
    grid_->setFocus();
}

void TFrmSolvanta::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Back from a dialog: the grid shows the table's current line again.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) grid_->showTableCursor();
}

void TFrmSolvanta::dragEnterEvent(QDragEnterEvent* event) {
    if (!::droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFrmSolvanta::dropEvent(QDropEvent* event) {
    const QString path = ::droppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    // The drop finishes first: the program that dragged the file must not
    // wait on the question.
    QTimer::singleShot(0, this, [this, path] {
        dropped_ = path;
        if (!close()) dropped_.clear();
    });
}

// Closing by any means asks first when there are changes that were not
// written to a file; with none it closes at once.
void TFrmSolvanta::done(int result) {
    // A cell value the field refuses keeps the window open, on that cell.
    if (!grid_->commitEditor()) return;
    if (hasUnsavedChanges() &&
        Pregunta(QStringLiteral("Hay cambios que no se han guardado en un archivo.\n"
                                "¿Desea cerrar y descartarlos?"),
                 QString()) != 1)
        return;
    if (summary_) summary_->close();
    // Closed on purpose: nothing is left to recover, and the file is no
    // longer open here.
    document_.closeFile();
    table().close();
    QDialog::done(result);
}

// ---- handlers ----------------------------------------------------------------

void TFrmSolvanta::createFile() {
    // A new line left untouched is not part of the file: it goes before the
    // checks, which would otherwise warn about its empty fields.
    if (!grid_->settleForWindow()) return;
    ui::guarded(this, [this] {
        TFrmSelFormato format(this);
        format.setItemIndex(document_.form() == FileForm::Position ? 0 : 1);
        if (format.exec() != QDialog::Accepted) return;
        const FileForm form = format.itemIndex() == 0 ? FileForm::Position : FileForm::Separator;
        if (!confirmBreakers(form)) return;

        // The corrected file goes beside the one read, named after it.
        const QFileInfo loaded(document_.path());
        ui::FileRequest request;
        request.caption = QStringLiteral("Guardar archivo para Solvanta");
        request.directory = document_.path().isEmpty() || !loaded.dir().exists()
                                ? documentsFolder()
                                : loaded.absolutePath();
        request.fileName = document_.path().isEmpty()
                               ? QStringLiteral("Solvanta")
                               : loaded.completeBaseName() + QStringLiteral("-corregido");
        request.filter = QStringLiteral("Archivo de Texto (*.txt)");
        request.defaultSuffix = QStringLiteral("txt");
        request.confirmOverwrite = false;
        const QString path = ui::dialogs().saveFileName(this, request);
        if (path.isEmpty()) return;
        // Writing over the file that is open replaces what was read: asked
        // first, the more so when another program changed it meanwhile.
        if (!document_.path().isEmpty() && QFileInfo(path).exists() &&
            QFileInfo(path).canonicalFilePath() == loaded.canonicalFilePath()) {
            ui::Question q;
            q.caption = QStringLiteral("Atención");
            q.text = document_.changedOnDisk()
                         ? QStringLiteral("«%1» cambió en el disco después de abrirlo aquí (otro "
                                          "programa u otra ventana lo modificó). Si lo reemplaza "
                                          "con las líneas corregidas, esos cambios se pierden. "
                                          "¿Reemplazarlo de todos modos?")
                               .arg(loaded.fileName())
                         : QStringLiteral("«%1» es el archivo abierto. ¿Reemplazarlo con las "
                                          "líneas corregidas?")
                               .arg(loaded.fileName());
            q.icon = ui::Icon::Exclamation;
            q.defaultButton = ui::Button::Cancel;
            if (ui::dialogs().ask(this, q) != ui::Button::Ok) return;
        }

        ProgressBox progress(this, QStringLiteral("Creando el archivo..."));
        const WaitCursor wait;
        try {
            document_.write(path, form, &progress);
        } catch (...) {
            grid_->showTableCursor();
            throw;
        }
        // The written file is the new reference of what changed.
        model_->showSaved();
        summarised_ = UINT64_MAX;
        refreshStatus();
        grid_->showTableCursor();
    });
}

void TFrmSolvanta::openWebPage() {
    if (!ui::dialogs().openUrl(QUrl(webAddress())))
        ui::dialogs().inform(this, QStringLiteral("No se pudo abrir el navegador. Abra %1 en su "
                                                  "navegador de Internet.")
                                       .arg(webAddress()));
}

// The user's documents, where the workbooks can be found again: the
// folder is the user's, so nothing in it is ever removed by the program.
QString TFrmSolvanta::workbookFolder() {
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) documents = QDir::homePath();
    return documents + QStringLiteral("/Solvanta");
}

// Every line into a new workbook, which the desktop then opens in the user's
// spreadsheet program. Each press makes a new file; none is ever replaced.
// The status bar says where it went.
void TFrmSolvanta::exportToSpreadsheet() {
    ui::guarded(this, [this] {
        if (!grid_->settleForWindow()) return;
        // A filtered or sorted listing sends what it shows, as it shows it.
        std::optional<std::vector<int>> lines;
        if (model_->isViewed()) {
            ui::Question q;
            q.caption = QStringLiteral("Confirmar");
            q.text =
                model_->isFiltered()
                    ? QStringLiteral("Hay un filtro: la planilla tendrá solo las %1 líneas "
                                     "mostradas (de %2), en el orden mostrado. ¿Continuar?")
                          .arg(spanishCount(model_->rowCount()), spanishCount(model_->lineCount()))
                    : QStringLiteral("La planilla tendrá las líneas en el orden mostrado, "
                                     "no en el del archivo. ¿Continuar?");
            q.icon = ui::Icon::Question;
            if (ui::dialogs().ask(this, q) != ui::Button::Ok) return;
            lines = model_->view().rows();
        }
        const QDir folder(workbookFolder());
        if (!folder.mkpath(QStringLiteral(".")))
            throw IoError(QStringLiteral("No se pudo crear la carpeta de planillas «%1».")
                              .arg(QDir::toNativeSeparators(folder.path())));
        const QString stamp = QStringLiteral("Solvanta-") + QDateTime::currentDateTime().toString(
                                                                QStringLiteral("yyyyMMdd-HHmmss"));
        QString path = folder.filePath(stamp + QStringLiteral(".xlsx"));
        for (int n = 2; QFileInfo::exists(path); ++n)
            path = folder.filePath(QStringLiteral("%1-%2.xlsx").arg(stamp).arg(n));

        WorkbookSummary summary;
        {
            ProgressBox progress(this, QStringLiteral("Creando la planilla..."));
            const WaitCursor wait;
            summary =
                exportWorkbook(path, table(), &progress, kLinesPerSheet, lines ? &*lines : nullptr);
        }
        grid_->showTableCursor();
        const QString shown = QDir::toNativeSeparators(path);
        status_->showNotice(QStringLiteral("Planilla guardada en «%1»").arg(shown));
        if (summary.sheets > 1)
            ui::dialogs().inform(
                this, QStringLiteral("Las %1 líneas no caben en una sola hoja: quedaron repartidas "
                                     "en %2 hojas de la planilla.")
                          .arg(summary.lines)
                          .arg(summary.sheets));
        if (!ui::dialogs().openUrl(QUrl::fromLocalFile(path)))
            ui::dialogs().inform(this,
                                 QStringLiteral("La planilla quedó guardada en «%1», pero no se "
                                                "encontró un programa que la abra. Ábrala "
                                                "desde su programa de planillas.")
                                     .arg(shown));
    });
}

void TFrmSolvanta::leave() {
    close();
}

void TFrmSolvanta::showHelp() {
    ui::guarded(this, [this] {
        TFrmAyuda help(this);
        help.exec();
    });
}

void TFrmSolvanta::showAbout() {
    ui::guarded(this, [this] {
        TFrmAcercade about(this);
        about.exec();
    });
}

// A menu of the toolbar opens under the button of its command.
void TFrmSolvanta::popUnder(QMenu* menu, const char* command) {
    if (QToolButton* b = commands_->anchorFor(action(command)))
        menu->popup(b->mapToGlobal(QPoint(0, b->height())));
}

void TFrmSolvanta::showAssignMenu() {
    popUnder(assignMenu_, "Asignar1");
}

void TFrmSolvanta::showCodeMenu() {
    popUnder(codeMenu_, "Codigos1");
}

// The line deleted is the one that was current when the user asked, even if
// something moved while the question was shown; the question names it.
void TFrmSolvanta::deleteLines() {
    ui::guarded(this, [this] {
        if (table().isEmpty() || model_->currentRow() < 0) return;
        const RxMem::Bookmark line = table().bookmark();
        if (Pregunta(QStringLiteral("¿Seguro de Eliminar esta línea?\n\n") +
                         model_->describeLine(table().row()),
                     QString()) != 1)
            return;
        grid_->deleteLines({line});
    });
}

void TFrmSolvanta::undo() {
    undoRedo(false);
}

void TFrmSolvanta::redo() {
    undoRedo(true);
}

void TFrmSolvanta::undoRedo(bool redo) {
    ui::guarded(this, [&] {
        const RxMem::Replayed r = grid_->undoRedo(redo);
        // Lines that came back are checked again; changed ones already were.
        if (!r.restored.empty()) problems_->recheckRows(document_.checker(), r.first, r.last);
        refreshStatus();
        grid_->setFocus();
    });
}

template <typename Dialog, typename... Args> void TFrmSolvanta::runOnTable(Args&&... args) {
    ui::guarded(this, [&] {
        if (!grid_->settleForWindow()) return;
        Dialog dialog(std::forward<Args>(args)..., this);
        dialog.exec();
        keepCurrentInView();
        grid_->showTableCursor();
        grid_->setFocus();
    });
}

void TFrmSolvanta::findByRut() {
    const int before = table().row();
    runOnTable<TFrmBuscar>(table());
    // The line found is current alone, as after a move with the keys.
    if (table().row() != before) grid_->dropSelection();
}

// ---- find and replace ------------------------------------------------------

void TFrmSolvanta::openFind() {
    openFindBox(false);
}

void TFrmSolvanta::openReplace() {
    openFindBox(true);
}

void TFrmSolvanta::openFindBox(bool replacing) {
    ui::guarded(this, [&] {
        if (!grid_->settleForWindow()) return;
        FindReplaceDialog box(lastFind_, lastReplacement_, replacing, this);
        const auto remember = [this, &box] {
            lastFind_ = box.options();
            lastReplacement_ = box.replacement();
        };
        connect(&box, &FindReplaceDialog::findRequested, this, [this, &box, remember](bool back) {
            remember();
            findAgain(back, &box);
        });
        connect(&box, &FindReplaceDialog::replaceRequested, this, [this, &box, remember] {
            remember();
            replaceCurrent(&box);
        });
        connect(&box, &FindReplaceDialog::replaceAllRequested, this, [this, &box, remember] {
            remember();
            replaceEverywhere(&box);
        });
        box.exec();
        remember();
        grid_->setFocus();
    });
}

void TFrmSolvanta::findNext() {
    if (lastFind_.text.isEmpty()) return openFind();
    findAgain(false, this);
}

void TFrmSolvanta::findPrevious() {
    if (lastFind_.text.isEmpty()) return openFind();
    findAgain(true, this);
}

// The grid's current cell, as the place a search goes on from.
CellPos TFrmSolvanta::currentCell() const {
    const QModelIndex at = grid_->currentIndex();
    if (!at.isValid() || at.column() < 1) return {};
    return {model_->lineAt(at.row()), DeclarationModel::fieldOfColumn(at.column())};
}

bool TFrmSolvanta::findAgain(bool backward, QWidget* owner) {
    bool found = false;
    ui::guarded(owner, [&] {
        if (!grid_->settleForWindow()) return;
        const CellPos at = findCell(table(), lastFind_, currentCell(), backward, &model_->view());
        if (!at.isValid()) {
            ui::dialogs().inform(owner, notFound(), QStringLiteral("Buscar"));
            return;
        }
        grid_->showCell(at.row, DeclarationModel::columnOf(at.field));
        grid_->dropSelection();
        found = true;
    });
    return found;
}

// Reemplazar: the current cell when it matches, then on to the next match.
void TFrmSolvanta::replaceCurrent(QWidget* owner) {
    ui::guarded(owner, [&] {
        if (!grid_->settleForWindow()) return;
        const CellPos at = currentCell();
        if (at.isValid()) {
            const ReplacePlan plan = planReplace(table(), lastFind_, lastReplacement_, at);
            if (plan.cellCount > 0) {
                applyReplace(table(), plan);
                grid_->showCell(at.row, DeclarationModel::columnOf(at.field));
                refreshStatus();
            }
        }
        findAgain(false, owner);
    });
}

// Reemplazar todo: counted and asked first, then every cell in one undo step,
// or none when one line refuses its new value.
void TFrmSolvanta::replaceEverywhere(QWidget* owner) {
    ui::guarded(owner, [&] {
        if (!grid_->settleForWindow()) return;
        const ReplacePlan plan =
            planReplace(table(), lastFind_, lastReplacement_, {}, &model_->view());
        if (plan.cellCount == 0) {
            ui::dialogs().inform(owner, notFound(), QStringLiteral("Reemplazar"));
            return;
        }
        const QString question =
            QStringLiteral("Se reemplazarán %1 %2 en %3 %4%5. ¿Continuar?")
                .arg(plan.cellCount)
                .arg(plan.cellCount == 1 ? QStringLiteral("celda") : QStringLiteral("celdas"))
                .arg(plan.lineCount)
                .arg(plan.lineCount == 1 ? QStringLiteral("línea") : QStringLiteral("líneas"))
                .arg(shownOnly());
        if (Pregunta(question, QString()) != 1) return;
        const WaitCursor wait;
        applyReplace(table(), plan);
        grid_->showTableCursor();
        refreshStatus();
    });
}

void TFrmSolvanta::massModify() {
    ui::guarded(this, [&] {
        if (!grid_->settleForWindow()) return;
        TFrmModMasiva dialog(table(), this);
        if (model_->isFiltered()) dialog.setShownLines(model_->shownLines(), model_->lineCount());
        dialog.exec();
        grid_->showTableCursor();
        grid_->setFocus();
    });
}

void TFrmSolvanta::assignWorkDayType() {
    runOnTable<TFrmSelTipoJornada>(*model_);
}

void TFrmSolvanta::assignCostCentre() {
    runOnTable<TFrmAsigCentroCosto>(*model_);
}

void TFrmSolvanta::modifyLine() {
    openEditor(false);
}

void TFrmSolvanta::addLine() {
    openEditor(true);
}

// The record editor works on the table alone: the grid's pending line is
// stored first. A new line the user inserted and left untouched is the line
// the editor fills in, at the same place. With no line to modify, the editor
// fills in a new one, from the same defaults as "Agregar".
void TFrmSolvanta::openEditor(bool adding) {
    ui::guarded(this, [&] {
        int droppedNewRow = -1;
        if (!grid_->settleForWindow(&droppedNewRow)) return;
        if (!adding && model_->rowCount() == 0 && !table().isEmpty()) {
            ui::dialogs().inform(this, QStringLiteral("El filtro no muestra ninguna línea: no "
                                                      "hay línea que modificar."));
            return;
        }
        const bool fillNewLine = droppedNewRow >= 0;
        TFrmDatosSolvanta editor(table(), adding || fillNewLine || table().isEmpty(), this);
        editor.setAddAtEnd(fillNewLine && droppedNewRow >= table().recordCount());
        editor.exec();
        keepCurrentInView();
        grid_->showTableCursor();
        grid_->setFocus();
    });
}

// The code menu: the code-table editor on the chosen list.
void TFrmSolvanta::openCodeEditor(const CodeListDef& list) {
    ui::guarded(this, [&] {
        TFrmModCodSolvanta editor(QLatin1String(list.section), list.width, this);
        editor.EdCodigo()->setMaxLength(list.width);
        editor.setWindowTitle(QString::fromUtf8(list.editorCaption));
        editor.exec();
        recheckWithFreshLists(); // the lists may have changed
    });
}

// ---- filters and sorting ---------------------------------------------------

QString TFrmSolvanta::notFound() const {
    return model_->isFiltered()
               ? QStringLiteral("No se encontró «%1» en las líneas mostradas.").arg(lastFind_.text)
               : QStringLiteral("No se encontró «%1».").arg(lastFind_.text);
}

QString TFrmSolvanta::shownOnly() const {
    if (!model_->isFiltered()) return {};
    return QStringLiteral(", solo entre las %1 líneas mostradas (de %2)")
        .arg(spanishCount(model_->rowCount()), spanishCount(model_->lineCount()));
}

// Filters and sorting change which lines show and in what order; the table,
// and so the file written, stays as it is. The pending line is stored first;
// the current line stays current while it shows, else the shown line
// nearest to it in the file does.
template <typename F> void TFrmSolvanta::changeView(F&& change) {
    ui::guarded(this, [&] {
        if (!grid_->settleForWindow()) return;
        {
            const WaitCursor wait;
            change();
        }
        grid_->dropSelection();
        grid_->showTableCursor();
        refreshStatus();
        grid_->setFocus();
    });
}

void TFrmSolvanta::filterColumn() {
    const QModelIndex at = grid_->currentIndex();
    filterColumnAt(at.isValid() && at.column() > 0 ? at.column() : 1);
}

// The column's values among the lines the other filters leave, with their
// counts, or a text its cells must contain; the same box sorts by it.
void TFrmSolvanta::filterColumnAt(int column) {
    ui::guarded(this, [&] {
        if (!grid_->settleForWindow() || !table().isActive()) return;
        const int field = DeclarationModel::fieldOfColumn(column);
        std::vector<LineView::Count> values;
        {
            const WaitCursor wait;
            values = model_->valuesOf(field);
        }
        ColumnFilterDialog box(fieldTitle(field), values, model_->hasCondition(field), this);
        if (box.exec() != QDialog::Accepted) return grid_->setFocus();
        using Choice = ColumnFilterDialog::Choice;
        switch (box.choice()) {
        case Choice::Values:
            filterBy(field, box.values());
            break;
        case Choice::Contains: {
            FindOptions wanted;
            wanted.text = box.text();
            wanted.field = field;
            auto matcher = std::make_shared<CellMatcher>(wanted);
            const RxMem* t = &table();
            changeView([&] {
                model_->addCondition(
                    {field, QStringLiteral("%1 contiene «%2»").arg(fieldTitle(field), box.text()),
                     [t, matcher, field](int line) {
                         return matcher->matches(t->recordAt(line), field);
                     }});
            });
            break;
        }
        case Choice::Clear:
            changeView([&] { model_->dropCondition(field); });
            break;
        case Choice::SortUp:
        case Choice::SortDown:
            changeView([&] { model_->sortBy(field, box.choice() == Choice::SortDown); });
            break;
        case Choice::None:
            break;
        }
    });
}

// The lines whose cell of the field shows one of these texts.
void TFrmSolvanta::filterBy(int field, const QStringList& values) {
    if (values.isEmpty()) return;
    QStringList named;
    for (const QString& v : values.mid(0, 3))
        named << (v.trimmed().isEmpty() ? ColumnFilterDialog::emptyCell() : v.trimmed());
    QString name = fieldTitle(field) + QStringLiteral(" = ") + named.join(QStringLiteral(", "));
    if (values.size() > 3) name += QStringLiteral(" y %1 más").arg(spanishCount(values.size() - 3));
    const QSet<QString> wanted(values.begin(), values.end());
    const RxMem* t = &table();
    changeView([&] {
        model_->addCondition({field, name, [t, wanted, field](int line) {
                                  return wanted.contains(shownCellText(*t, line, field));
                              }});
    });
}

void TFrmSolvanta::filterByValue() {
    const QModelIndex at = grid_->currentIndex();
    if (!at.isValid() || at.column() < 1) return;
    filterBy(DeclarationModel::fieldOfColumn(at.column()), {at.data(Qt::DisplayRole).toString()});
}

void TFrmSolvanta::toggleCondition(const QString& name, std::function<bool(int line)> keep) {
    changeView([&] {
        if (model_->hasCondition(-1, name))
            model_->dropCondition(-1, name);
        else
            model_->addCondition({-1, name, std::move(keep)});
    });
}

void TFrmSolvanta::onlyProblemLines() {
    const ProblemsModel* problems = problems_;
    toggleCondition(problemLines(), [problems](int line) { return problems->rowHasProblem(line); });
}

void TFrmSolvanta::onlyChangedLines() {
    const RxMem* t = &table();
    toggleCondition(changedLines(), [t](int line) { return t->lineChanged(line); });
}

void TFrmSolvanta::showAllLines() {
    if (!model_->isViewed()) return;
    changeView([&] { model_->showAll(); });
}

// A click on a title: sorted up by its column, again down, a third time
// back in file order; the line numbers' title goes back to file order.
void TFrmSolvanta::sortByColumn(int column) {
    const int field = column > 0 ? DeclarationModel::fieldOfColumn(column) : -1;
    changeView([&] {
        if (field < 0 || (model_->sortField() == field && model_->sortDescending()))
            model_->sortBy(-1, false);
        else
            model_->sortBy(field, model_->sortField() == field);
    });
}

void TFrmSolvanta::compareWithFile() {
    ui::guarded(this, [this] {
        if (!grid_->settleForWindow()) return;
        ui::FileRequest request;
        request.caption = QStringLiteral("Comparar con otro archivo");
        request.directory = QFileInfo(document_.path()).absolutePath();
        request.filter = QStringLiteral("Archivos de declaración y planillas (*.txt *.csv *.xlsx);;"
                                        "Todos los archivos (*)");
        const QString path = ui::dialogs().openFileName(this, request);
        if (path.isEmpty()) return;
        RxMem other;
        LoadReport report;
        {
            ProgressBox progress(this, QStringLiteral("Cargando el archivo para comparar..."));
            const WaitCursor wait;
            // A file whose form its lines do not show is taken in the
            // listing's own form.
            if (readsAsSheet(path))
                report = SheetImport(path).load(other, &progress);
            else
                report = loadDeclaration(path, guessForm(path).value_or(document_.form()), other,
                                         &progress);
        }
        const QString name = QFileInfo(path).fileName();
        if (report.losesData())
            ui::dialogs().inform(
                this,
                QStringLiteral("Algunos valores de «%1» no se pudieron leer tal como están; la "
                               "comparación los toma como vacíos.\n\n%2")
                    .arg(name, describeNotes(report)),
                ui::applicationCaption());
        const Comparison c = compareTables(other, table(), CodeNames(document_.codes()));
        auto* window = new CompareWindow(c, other, table(), name,
                                         QFileInfo(document_.path()).fileName(), this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        connect(window, &CompareWindow::lineChosen, this, &TFrmSolvanta::goToLine);
        window->show();
    });
}

void TFrmSolvanta::goToLine(int row) {
    if (row < 0 || row >= table().recordCount()) return;
    revealLine(row, DeclarationModel::columnOf(0));
    activateWindow();
    grid_->setFocus();
}

void TFrmSolvanta::showSummary() {
    ui::guarded(this, [this] {
        // The line being typed counts: it is stored first.
        if (!grid_->settleForWindow()) return;
        if (!summary_) summary_ = new SummaryWindow(*this);
        summary_->show();
        summary_->raise();
        summary_->activateWindow();
    });
}

void TFrmSolvanta::filterToSummaryRow(const SummaryGroupDef& group, const std::string& key,
                                      const QString& name) {
    const RxMem* t = &table();
    const SummaryGroupDef* def = &group;
    changeView([&] {
        if (!summaryFilter_.isEmpty()) model_->dropCondition(-1, summaryFilter_);
        summaryFilter_ = name;
        model_->addCondition({-1, name, [t, def, key](int line) {
                                  return lineInRow(t->recordAt(line), *def, key);
                              }});
    });
}

void TFrmSolvanta::revealLine(int line, int column) {
    if (line < 0 || line >= table().recordCount() || grid_->showCell(line, column)) return;
    model_->showLines({table().bookmarkAt(line)});
    grid_->showCell(line, column);
}

void TFrmSolvanta::keepCurrentInView() {
    if (table().row() >= 0 && model_->currentRow() < 0) model_->showLines({table().bookmark()});
}
