#include "SummaryWindow.h"

#include "DeclarationModel.h"
#include "SummaryPages.h"
#include "UnitDespSolvanta.h"
#include "engine/codes/CodeNames.h"
#include "engine/model/RxMem.h"
#include "engine/util/Errors.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace solvanta;

namespace {

const QColor kMissingInk(170, 20, 20);
const QColor kMissingFill(255, 243, 205);
const QColor kTotalFill(235, 235, 235);

QString label(const QString& code, const QString& name) {
    if (code.isEmpty()) return name;
    return name.isEmpty() ? code : code + u' ' + name;
}

// "[27] Impo. afp" on two lines, the field's number over its name: the
// columns of amounts stay as narrow as their numbers.
QString twoLineTitle(const QString& title) {
    QString t = title;
    const qsizetype space = t.indexOf(u"] ");
    if (t.startsWith(u'[') && space > 0) t[space + 1] = u'\n';
    return t;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    // Enter on a table filters the listing: no button takes it.
    b->setAutoDefault(false);
    return b;
}

} // namespace

SummaryWindow::SummaryWindow(TFrmSolvanta& listing) : QDialog(&listing), listing_(listing) {
    setObjectName(QStringLiteral("FrmResumen"));
    setWindowTitle(QStringLiteral("Resumen"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    QSize size(1320, 660);
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size());
    resize(size);

    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("LabelResumen"));
    heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stale_ = new QLabel(QStringLiteral("Las líneas cambiaron después de contar este resumen: los "
                                       "totales se cuentan de nuevo al volver a esta ventana o "
                                       "con «Actualizar»."),
                        this);
    stale_->setObjectName(QStringLiteral("LabelDesactualizado"));
    stale_->setWordWrap(true);
    stale_->setStyleSheet(QStringLiteral("background: #fff3cd; color: #6b4b00; padding: 4px;"));
    stale_->hide();
    auto* hint =
        new QLabel(QStringLiteral("Un clic o Intro en una fila muestra en el listado solo "
                                  "las líneas de esa fila. Tab pasa a la tabla siguiente."),
                   this);
    hint->setWordWrap(true);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("AreaResumen"));
    scroll_->setWidgetResizable(true);
    scroll_->setFocusPolicy(Qt::NoFocus);

    auto* buttons = new QHBoxLayout;
    QPushButton* update = button(this, "BtnActualizar", QStringLiteral("&Actualizar"));
    QPushButton* print = button(this, "BtnImprimir", QStringLiteral("&Imprimir…"));
    QPushButton* pdf = button(this, "BtnPdf", QStringLiteral("Guardar &PDF…"));
    QPushButton* compare = button(this, "BtnComparar", QStringLiteral("C&omparar con…"));
    QPushButton* close = button(this, "BtnCerrar", QStringLiteral("&Cerrar"));
    auto* note = new QLabel(this);
    note->setObjectName(QStringLiteral("LabelNota"));
    buttons->addWidget(update);
    buttons->addWidget(print);
    buttons->addWidget(pdf);
    buttons->addWidget(compare);
    buttons->addWidget(note, 1);
    buttons->addWidget(close);
    connect(update, &QPushButton::clicked, this, &SummaryWindow::refresh);
    connect(print, &QPushButton::clicked, this, &SummaryWindow::printPages);
    connect(pdf, &QPushButton::clicked, this, &SummaryWindow::savePdf);
    connect(compare, &QPushButton::clicked, &listing_, &TFrmSolvanta::compareWithFile);
    connect(close, &QPushButton::clicked, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading_);
    layout->addWidget(stale_);
    layout->addWidget(hint);
    layout->addWidget(scroll_, 1);
    layout->addLayout(buttons);

    // The listing's lines change: the totals shown are no longer theirs.
    DeclarationModel* model = listing_.model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &SummaryWindow::noteChange);
    connect(model, &QAbstractItemModel::modelReset, this, &SummaryWindow::noteChange);
    connect(model, &QAbstractItemModel::dataChanged, this, &SummaryWindow::noteChange);

    build();
}

QString SummaryWindow::fileName() const {
    const QString path = listing_.document().path();
    return path.isEmpty() ? QStringLiteral("(sin nombre)") : QFileInfo(path).fileName();
}

bool SummaryWindow::isCurrent() const {
    const RxMem& t = listing_.table();
    return t.changeCount() == counted_ && t.recordCount() == countedLines_ &&
           listing_.document().path() == countedPath_;
}

QTableWidget* SummaryWindow::tableOf(int group) const {
    return group >= 0 && std::size_t(group) < tables_.size() ? tables_[std::size_t(group)]
                                                             : nullptr;
}

void SummaryWindow::refresh() {
    ui::guarded(this, [this] { build(); });
}

void SummaryWindow::build() {
    {
        const WaitCursor wait;
        const RxMem& t = listing_.table();
        // The names as the code-table file has them now: the user may have
        // changed it since the listing opened.
        summary_ = summarize(t, CodeNames(listing_.document().codes()));
        counted_ = t.changeCount();
        countedLines_ = t.recordCount();
        countedPath_ = listing_.document().path();
    }
    stale_->hide();
    heading_->setText(
        QStringLiteral("<b>Archivo:</b> %1<br><b>Período:</b> %2<br><b>Líneas:</b> %3"
                       "&nbsp;&nbsp;&nbsp;&nbsp;<b>Trabajadores (RUT distintos):</b> %4")
            .arg(fileName().toHtmlEscaped(),
                 summary_.period.isEmpty() ? QStringLiteral("(sin período)") : summary_.period,
                 summaryCount(summary_.lines), summaryCount(summary_.workers)));

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("ContenidoResumen"));
    auto* column = new QVBoxLayout(content);
    column->setSpacing(4);
    tables_.assign(summary_.groups.size(), nullptr);
    QFont titleFont = font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    QFont totalFont = font();
    totalFont.setBold(true);

    for (std::size_t gi = 0; gi < summary_.groups.size(); ++gi) {
        const SummaryGroup& g = summary_.groups[gi];
        const QString title = QString::fromUtf16(g.def->title);
        auto* heading = new QLabel(title, content);
        heading->setFont(titleFont);
        column->addSpacing(gi == 0 ? 0 : 10);
        column->addWidget(heading);
        if (g.rows.empty()) {
            column->addWidget(new QLabel(QStringLiteral("(ninguna línea)"), content));
            continue;
        }
        const SummaryTable layout = summaryTable(g);
        QStringList heads = layout.heads;
        const int left = layout.leftColumns;
        for (QString& h : heads)
            h = twoLineTitle(h);
        const int rows = int(layout.rows.size());
        auto* table = new QTableWidget(rows, int(heads.size()), content);
        table->setObjectName(QStringLiteral("TablaResumen%1").arg(gi));
        table->setAccessibleName(title);
        table->setHorizontalHeaderLabels(heads);
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setSelectionMode(QAbstractItemView::SingleSelection);
        table->setTabKeyNavigation(false); // Tab goes on to the next table
        table->verticalHeader()->hide();
        table->setWordWrap(false);
        table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
        table->horizontalHeader()->setSectionsClickable(false);

        for (int r = 0; r < rows; ++r) {
            const SummaryTableRow& row = layout.rows[std::size_t(r)];
            const bool isTotal = row.total;
            const QStringList& cells = row.cells;
            for (int c = 0; c < cells.size(); ++c) {
                auto* item = new QTableWidgetItem(cells[c]);
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                item->setTextAlignment((c < left ? Qt::AlignLeft : Qt::AlignRight) |
                                       Qt::AlignVCenter);
                if (isTotal) {
                    item->setFont(totalFont);
                    item->setBackground(kTotalFill);
                } else if (row.missing) {
                    item->setForeground(kMissingInk);
                    item->setBackground(kMissingFill);
                    item->setToolTip(QStringLiteral("Este código no está en la tabla de códigos."));
                } else {
                    item->setToolTip(
                        QStringLiteral("Clic o Intro: ver estas líneas en el listado"));
                }
                table->setItem(r, c, item);
            }
        }

        // Every row shows: the table is as large as its cells, and the
        // window's scroll area scrolls.
        table->resizeColumnsToContents();
        table->resizeRowsToContents();
        for (int c = 0; c < table->columnCount(); ++c)
            table->setColumnWidth(c, table->columnWidth(c) + 12);
        const int frame = 2 * table->frameWidth();
        table->setFixedSize(table->horizontalHeader()->length() + frame,
                            table->horizontalHeader()->sizeHint().height() +
                                table->verticalHeader()->length() + frame);
        const int group = int(gi);
        connect(table, &QAbstractItemView::clicked, this,
                [this, group](const QModelIndex& at) { chooseRow(group, at.row()); });
        connect(table, &QAbstractItemView::activated, this,
                [this, group](const QModelIndex& at) { chooseRow(group, at.row()); });
        tables_[gi] = table;
        column->addWidget(table);
    }
    column->addStretch(1);
    QWidget* old = scroll_->takeWidget();
    scroll_->setWidget(content);
    delete old;
    // The keyboard starts on the first row of the first table.
    bool first = true;
    for (QTableWidget* t : tables_) {
        if (!t) continue;
        t->setCurrentCell(0, 0, QItemSelectionModel::NoUpdate);
        if (first) t->setFocus();
        first = false;
        // The scroll area follows the keyboard through the rows.
        connect(t, &QTableWidget::currentCellChanged, this, [this, t](int row, int col) {
            if (row < 0) return;
            const QRect cell = t->visualRect(t->model()->index(row, col));
            const QPoint at = t->viewport()->mapTo(scroll_->widget(), cell.center());
            scroll_->ensureVisible(at.x(), at.y(), cell.width() / 2 + 20, cell.height() + 40);
        });
    }
    scroll_->verticalScrollBar()->setValue(0);
    scroll_->horizontalScrollBar()->setValue(0);
}

void SummaryWindow::noteChange() {
    if (!isVisible() || isCurrent()) return;
    if (QApplication::activeWindow() == this)
        refresh();
    else
        stale_->show();
}

void SummaryWindow::chooseRow(int group, int row) {
    if (group < 0 || std::size_t(group) >= summary_.groups.size()) return;
    const SummaryGroup& g = summary_.groups[std::size_t(group)];
    // The total row is every row's: it has no lines of its own to show.
    if (row < 0 || std::size_t(row) >= g.rows.size()) return;
    const SummaryRow& r = g.rows[std::size_t(row)];
    QString name = QStringLiteral("Resumen: ") + QString::fromUtf16(g.def->title);
    const QString first = label(r.code, r.name);
    if (!first.isEmpty()) name += u' ' + first;
    if (g.def->thenBy) name += QStringLiteral(" / ") + label(r.secondCode, r.secondName);
    listing_.filterToSummaryRow(*g.def, r.key, name);
}

void SummaryWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Back to the window: the totals are those of the lines as they are now.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !isCurrent()) refresh();
}

void SummaryWindow::showEvent(QShowEvent* event) {
    if (!isCurrent()) refresh();
    QDialog::showEvent(event);
}

void SummaryWindow::printPages() {
    ui::guarded(this, [this] {
        if (!isCurrent()) build(); // never the totals of lines that changed
        QPrinter printer(QPrinter::HighResolution);
        SummaryPages::setUpMargins(printer);
        printer.setDocName(QStringLiteral("Resumen de %1").arg(fileName()));
        printer.setCreator(ui::applicationCaption());
        if (!ui::dialogs().choosePrinter(this, printer)) return;
        SummaryPages pages(summary_, fileName(), QDate::currentDate());
        const WaitCursor wait;
        if (pages.paint(printer) == 0)
            throw IoError(QStringLiteral("No se pudo imprimir el resumen en «%1».")
                              .arg(printer.printerName().isEmpty() ? printer.outputFileName()
                                                                   : printer.printerName()));
        findChild<QLabel*>(QStringLiteral("LabelNota"))
            ->setText(QStringLiteral("Se envió el resumen a imprimir (%1 %2).")
                          .arg(pages.pageCount())
                          .arg(pages.pageCount() == 1 ? QStringLiteral("página")
                                                      : QStringLiteral("páginas")));
    });
}

void SummaryWindow::savePdf() {
    ui::guarded(this, [this] {
        if (!isCurrent()) build();
        const QString path = listing_.document().path();
        const QFileInfo loaded(path);
        ui::FileRequest request;
        request.caption = QStringLiteral("Guardar el resumen en PDF");
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!path.isEmpty() && loaded.dir().exists()) folder = loaded.absolutePath();
        if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
        request.directory = folder;
        request.fileName =
            (path.isEmpty() ? QStringLiteral("Solvanta") : loaded.completeBaseName()) +
            QStringLiteral("-resumen.pdf");
        request.filter = QStringLiteral("Documento PDF (*.pdf)");
        request.defaultSuffix = QStringLiteral("pdf");
        const QString target = ui::dialogs().saveFileName(this, request);
        if (target.isEmpty()) return;
        SummaryPages pages(summary_, fileName(), QDate::currentDate());
        int count = 0;
        {
            const WaitCursor wait;
            QPdfWriter writer(target);
            writer.setTitle(QStringLiteral("Resumen de %1").arg(fileName()));
            writer.setCreator(ui::applicationCaption());
            writer.setResolution(600);
            SummaryPages::setUpPaper(writer);
            count = pages.paint(writer);
        }
        if (count == 0)
            throw IoError(QStringLiteral("No se pudo escribir el archivo «%1».")
                              .arg(QDir::toNativeSeparators(target)));
        findChild<QLabel*>(QStringLiteral("LabelNota"))
            ->setText(QStringLiteral("Se guardó «%1» (%2 %3).")
                          .arg(QFileInfo(target).fileName())
                          .arg(count)
                          .arg(count == 1 ? QStringLiteral("página") : QStringLiteral("páginas")));
    });
}
