#include "DeclarationGrid.h"

#include "DeclarationModel.h"
#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/model/TypedCell.h"
#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/TabText.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <map>
#include <optional>
#include <utility>

using namespace solvanta;

namespace {

// A letter typed without Ctrl, Alt or Meta that has a capital the file can
// hold ("a", "ñ", "é").
bool hasCapital(const QKeyEvent* e) {
    const QString t = e->text();
    return t.size() == 1 && cp1252::upper(t[0]) != t[0] &&
           !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

// The same key with its letter in capitals.
QKeyEvent capitalised(const QKeyEvent* e) {
    return QKeyEvent(e->type(), e->key(), e->modifiers(), cp1252::upper(e->text()),
                     e->isAutoRepeat(), ushort(e->count()));
}

bool isEnter(const QKeyEvent* e) {
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

// Cell editors: letters typed into them become capitals; Enter, Tab and a
// click elsewhere store the text into the line, and a value the field
// refuses is reported and stays in the editor to be corrected (Escape
// abandons it).
class GridDelegate : public QStyledItemDelegate {
public:
    explicit GridDelegate(DeclarationGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}
    // The grid is going: an open editor loses the focus as it goes, and
    // nothing is stored or reported then (closing the window stored it).
    void forgetGrid() { grid_ = nullptr; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!grid_) return false;
        auto* editor = static_cast<QWidget*>(object);
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (hasCapital(key)) {
                QKeyEvent upper = capitalised(key);
                QCoreApplication::sendEvent(object, &upper);
                return true;
            }
            if (isEnter(key)) {
                if (grid_->storeEditor(editor)) emit closeEditor(editor, SubmitModelCache);
                return true;
            }
            const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
            if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
                const bool back =
                    key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
                if (grid_->storeEditor(editor))
                    emit closeEditor(editor, back ? EditPreviousItem : EditNextItem);
                return true;
            }
        }
        if (event->type() == QEvent::FocusOut) {
            // A box, a menu or another window takes the focus for a while:
            // the editor stays as it is (what opens a window of the program
            // stores it first). A click elsewhere in the window stores it.
            const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
            if (grid_->reportingRefusal() || why == Qt::ActiveWindowFocusReason ||
                why == Qt::PopupFocusReason)
                return false;
            for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
                if (w == editor) return false; // inside the editor
            // The grid takes the focus to move its cursor (a click, an arrow
            // key): it stores the editor as the cursor leaves the cell, and
            // keeps the cursor there when the value is refused.
            if (QApplication::focusWidget() == grid_) return false;
            if (grid_->storeEditor(editor)) emit closeEditor(editor, NoHint);
            return false;
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    DeclarationGrid* grid_;
};

// Paints the line number of column 0: the row's present position, in black
// on the button face, 4 pixels from the left and 2 from the top.
class LineNumberDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->fillRect(option.rect, option.palette.color(QPalette::Button));
        // A line changed since the last load or write shows it beside its number too.
        if (const QVariant tint = index.data(Qt::BackgroundRole); tint.isValid())
            painter->fillRect(option.rect, tint.value<QColor>());
        painter->setPen(Qt::black);
        painter->setFont(option.font);
        const QRect text = option.rect.adjusted(4, 2, 0, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignTop,
                          QString::number(index.data(DeclarationModel::LineNumberRole).toInt()));
    }
};

} // namespace

// The line-number column, drawn over the grid's first column so that it
// stays in place while the other columns scroll sideways. It never scrolls
// by itself: it takes the grid's vertical position to the pixel, so that each
// number stands beside its row. A click on a number acts on that row.
class FrozenColumnView : public QTableView {
public:
    explicit FrozenColumnView(DeclarationGrid* grid) : QTableView(grid), grid_(grid) {}

    void followGrid() {
        const int offset = grid_->verticalHeader()->offset();
        if (verticalHeader()->offset() == offset) return;
        verticalHeader()->setOffset(offset);
        viewport()->update();
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        event->accept();
        if (!grid_->commitEditor()) return; // a refused value keeps its cell
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && event->button() == Qt::LeftButton)
            grid_->clickRowHead(index.row(), event->modifiers());
        grid_->setFocus(Qt::MouseFocusReason);
        event->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && event->button() == Qt::LeftButton)
            emit grid_->doubleClicked(grid_->model()->index(index.row(), 1));
        event->accept();
    }
    void mouseMoveEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override { event->accept(); }
    void wheelEvent(QWheelEvent* event) override {
        QCoreApplication::sendEvent(grid_->viewport(), event);
    }
    void scrollContentsBy(int dx, int dy) override {
        QTableView::scrollContentsBy(dx, dy);
        followGrid();
    }
    void updateGeometries() override {
        QTableView::updateGeometries();
        followGrid();
    }

private:
    DeclarationGrid* grid_;
};

DeclarationGrid::DeclarationGrid(DeclarationModel* model, QWidget* parent)
    : QTableView(parent), model_(model), frozen_(new FrozenColumnView(this)) {
    setModel(model);
    setItemDelegate(new GridDelegate(this));
    setSelectionMode(NoSelection);
    setEditTriggers(AnyKeyPressed | EditKeyPressed);
    setTabKeyNavigation(true);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerItem);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone); // cells clip, as in a classic grid
    setCornerButtonEnabled(false);

    const int rowHeight = fontMetrics().height() + 6;
    setUpHeaders(rowHeight);
    setColumnWidths();
    setUpLineNumbers(rowHeight);
}

void DeclarationGrid::setUpHeaders(int rowHeight) {
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    verticalHeader()->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("▶")) + 12);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    // A click on the row indicator is handled here (eventFilter), not by the
    // header, which would make the hidden first column current.
    verticalHeader()->setSectionsClickable(false);
    verticalHeader()->viewport()->installEventFilter(this);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setMouseTracking(true); // titles react to the mouse
    // A click on a title sorts by its column, a right-click offers its filter
    // (eventFilter): the header's own click would move the cell cursor.
    horizontalHeader()->viewport()->installEventFilter(this);
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(horizontalHeader(), &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        const int column = horizontalHeader()->logicalIndexAt(at);
        if (column > 0) emit titleMenuRequested(column);
    });
}

// Column widths: the listed ones, or wide enough for the field's usual
// content; never narrower than the title, which must not be clipped.
void DeclarationGrid::setColumnWidths() {
    const QFontMetrics titles(horizontalHeader()->font());
    const int charWidth = fontMetrics().averageCharWidth();
    const int digitWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int padding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 6;
    for (int c = 1; c < model_->columnCount(); ++c) {
        const FieldDef& f = kFields[std::size_t(DeclarationModel::fieldOfColumn(c))];
        int width = f.gridWidth;
        if (width < 0)
            width = f.kind == Kind::Text ? f.size * charWidth + 8
                                         : (f.kind == Kind::Number ? 10 : 6) * digitWidth + 8;
        setColumnWidth(
            c, std::max(width, titles.horizontalAdvance(f.gridTitleText().toString()) + padding));
    }
    setColumnWidth(0, lineNumberWidth());
}

// The line numbers: the first column, in a view of its own over the grid's
// left edge that stays while the grid scrolls sideways.
void DeclarationGrid::setUpLineNumbers(int rowHeight) {
    frozen_->setObjectName(QStringLiteral("LineNumbers"));
    frozen_->setAccessibleName(QStringLiteral("Números de línea"));
    frozen_->setModel(model_);
    frozen_->setItemDelegateForColumn(0, new LineNumberDelegate(frozen_));
    frozen_->setSelectionModel(selectionModel());
    frozen_->setSelectionMode(NoSelection);
    frozen_->setFocusPolicy(Qt::NoFocus);
    frozen_->setEditTriggers(NoEditTriggers);
    frozen_->setAutoScroll(false);
    frozen_->verticalHeader()->hide();
    frozen_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_->verticalHeader()->setDefaultSectionSize(rowHeight);
    frozen_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    frozen_->horizontalHeader()->setSectionsClickable(false);
    frozen_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    frozen_->horizontalHeader()->setHighlightSections(false);
    frozen_->horizontalHeader()->viewport()->installEventFilter(this);
    frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollMode(ScrollPerPixel);
    frozen_->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    for (int c = 1; c < model_->columnCount(); ++c)
        frozen_->setColumnHidden(c, true);
    frozen_->setColumnWidth(0, columnWidth(0));
    viewport()->stackUnder(frozen_);

    // The user widens the line numbers by dragging the edge of their title;
    // both views keep the same width, never less than the numbers need.
    connect(frozen_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                if (section != 0) return;
                const int least = lineNumberWidth();
                if (size < least) {
                    frozen_->horizontalHeader()->resizeSection(0, least);
                    return;
                }
                setColumnWidth(0, size);
            });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int size) {
                if (section != 0) return;
                frozen_->setColumnWidth(0, size);
                updateFrozenGeometry();
            });
    connect(model_, &QAbstractItemModel::rowsInserted, this, &DeclarationGrid::fitLineNumbers);
    connect(model_, &QAbstractItemModel::modelReset, this, &DeclarationGrid::fitLineNumbers);
    frozen_->show();
    updateFrozenGeometry();
}

DeclarationGrid::~DeclarationGrid() {
    static_cast<GridDelegate*>(itemDelegate())->forgetGrid();
}

void DeclarationGrid::showSortColumn(int column, Qt::SortOrder order) {
    QHeaderView* header = horizontalHeader();
    header->setSortIndicatorShown(column > 0);
    header->setSortIndicator(column, order);
    if (column <= 0) return;
    const QString title = model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    const int arrow = style()->pixelMetric(QStyle::PM_HeaderMarkSize) +
                      2 * style()->pixelMetric(QStyle::PM_HeaderMargin);
    const int needed = QFontMetrics(header->font()).horizontalAdvance(title) +
                       2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 6 + arrow;
    if (columnWidth(column) < needed) setColumnWidth(column, needed);
}

QTableView* DeclarationGrid::frozenView() const {
    return frozen_;
}

RxMem& DeclarationGrid::table() const {
    return model_->table();
}

// Room for the title, or for the largest line number with the margins the
// number is painted with.
int DeclarationGrid::lineNumberWidth() const {
    const QFontMetrics titles(horizontalHeader()->font());
    const int title = titles.horizontalAdvance(QStringLiteral("Línea")) +
                      2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 6;
    const int number =
        fontMetrics().horizontalAdvance(QString::number(std::max(model_->lineCount(), 1))) + 4 + 8;
    return std::max({39, title, number});
}

void DeclarationGrid::fitLineNumbers() {
    if (columnWidth(0) < lineNumberWidth()) setColumnWidth(0, lineNumberWidth());
}

void DeclarationGrid::updateFrozenGeometry() {
    frozen_->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    frozen_->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), columnWidth(0),
                         viewport()->height() + horizontalHeader()->height());
    frozen_->followGrid();
}

void DeclarationGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

void DeclarationGrid::updateGeometries() {
    QTableView::updateGeometries();
    if (frozen_) updateFrozenGeometry();
}

void DeclarationGrid::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    frozen_->followGrid();
}

// Tab and Shift+Tab go along the line and on to the next or previous line,
// stopping at the table's ends; no move lands on the line numbers.
QModelIndex DeclarationGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex current = currentIndex();
    if (current.isValid() && (action == MoveNext || action == MovePrevious)) {
        const int last = model_->columnCount() - 1;
        int row = current.row();
        int column = std::max(current.column(), 1);
        if (action == MoveNext) {
            if (column < last) {
                ++column;
            } else if (row + 1 < model_->rowCount()) {
                ++row;
                column = 1;
            } else {
                return {};
            }
        } else if (column > 1) {
            --column;
        } else if (row > 0) {
            --row;
            column = last;
        } else {
            return {};
        }
        return model_->index(row, column);
    }
    const QModelIndex next = QTableView::moveCursor(action, modifiers);
    return next.isValid() && next.column() == 0 ? model_->index(next.row(), 1) : next;
}

// The line numbers cover the left of the viewport: a cell partly under them
// is scrolled out from under them.
void DeclarationGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid()) return;
    const QModelIndex cell = index.column() > 0 ? index : model_->index(index.row(), 1);
    QTableView::scrollTo(cell, hint);
    const int covered = columnWidth(0) - visualRect(cell).left();
    if (covered > 0) horizontalScrollBar()->setValue(horizontalScrollBar()->value() - covered);
}

// Only the colours of these cells changed (the selection, the tints): they
// are repainted, and an open cell editor keeps what the user typed. Qt would
// otherwise put the stored value back into every editor in the range, and
// an arrow key, which empties the selection, wiped the text being typed.
void DeclarationGrid::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                  const QList<int>& roles) {
    const bool coloursOnly =
        !roles.isEmpty() && std::all_of(roles.begin(), roles.end(), [](int role) {
            return role == Qt::BackgroundRole || role == Qt::ForegroundRole;
        });
    if (coloursOnly && state() == EditingState) {
        viewport()->update();
        return;
    }
    QTableView::dataChanged(topLeft, bottomRight, roles);
}

// ---- the table's cursor follows the grid's current row -----------------------

void DeclarationGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    // Leaving a cell whose editor holds a value the field refuses: the
    // refusal is reported and the cursor stays on that cell.
    if (state() == EditingState && previous.isValid() && !syncing_)
        if (QWidget* editor = indexWidget(previous); editor && !storeEditor(editor)) {
            syncing_ = true;
            selectionModel()->setCurrentIndex(previous, QItemSelectionModel::NoUpdate);
            syncing_ = false;
            editor->setFocus(Qt::OtherFocusReason);
            return;
        }
    QTableView::currentChanged(current, previous);
    if (!current.isValid()) return;
    if (current.column() == 0) {
        // Nothing is edited under the line numbers: the line's first data
        // cell becomes current instead.
        selectionModel()->setCurrentIndex(model_->index(current.row(), 1),
                                          QItemSelectionModel::NoUpdate);
        return;
    }
    column_ = current.column();
    if (syncing_ || current.row() == model_->currentRow()) return;
    moveCurrentTo(current.row());
}

void DeclarationGrid::moveCurrentTo(int row) {
    syncing_ = true;
    ui::guarded(this, [&] { table().gotoBookmark(model_->bookmarkAt(row)); });
    syncing_ = false;
    // Leaving an untouched new line removes it, which moves the rows below.
    if (currentIndex().row() != model_->currentRow()) showTableCursor();
    model_->refreshIndicator();
}

void DeclarationGrid::showTableCursor() {
    // A line the filter hides (a command moved there) is not current on the
    // screen: the shown line nearest to it in the file is.
    RxMem& t = table();
    if (t.row() >= 0 && model_->currentRow() < 0 && model_->rowCount() > 0 &&
        t.state() == RxMem::State::Browse) {
        int nearest = 0;
        for (int r = 1; r < model_->rowCount(); ++r)
            if (std::abs(model_->lineAt(r) - t.row()) < std::abs(model_->lineAt(nearest) - t.row()))
                nearest = r;
        ui::guarded(this, [&] { t.gotoBookmark(model_->bookmarkAt(nearest)); });
    }
    syncing_ = true;
    if (const int row = model_->currentRow(); row >= 0)
        setCurrentIndex(model_->index(row, column_));
    syncing_ = false;
    if (currentIndex().isValid()) {
        // Lines just added or removed are laid out first, or the scroll
        // range would still be the old one.
        updateGeometries();
        scrollTo(currentIndex());
    }
    model_->refreshIndicator();
}

bool DeclarationGrid::showCell(int line, int column) {
    const int row = model_->rowOfLine(line);
    if (row < 0 || row >= model_->rowCount()) return false;
    column_ = std::clamp(column, 1, model_->columnCount() - 1);
    moveCurrentTo(row);
    showTableCursor();
    return true;
}

bool DeclarationGrid::postPending(bool quiet) {
    try {
        table().post();
    } catch (const Error&) {
        if (!quiet) throw;
        return false;
    }
    model_->refreshIndicator();
    return true;
}

void DeclarationGrid::cancelPending() {
    syncing_ = true;
    table().cancel();
    syncing_ = false;
    showTableCursor();
}

bool DeclarationGrid::settleForWindow(int* droppedNewRow) {
    int dropped = -1;
    if (!droppedNewRow) droppedNewRow = &dropped;
    *droppedNewRow = -1;
    if (!commitEditor()) return false; // the refusal was reported
    RxMem& t = table();
    if (t.state() == RxMem::State::Insert && !t.isModified()) {
        *droppedNewRow = t.row();
        cancelPending();
        return true;
    }
    if (t.state() == RxMem::State::Edit && !t.isModified()) {
        t.cancel();
        model_->refreshIndicator();
        return true;
    }
    if (t.state() == RxMem::State::Edit || t.state() == RxMem::State::Insert) {
        postPending(false);
        showTableCursor();
    }
    return true;
}

bool DeclarationGrid::commitEditor() {
    if (state() != EditingState) return true;
    QWidget* editor = indexWidget(currentIndex());
    if (!editor) return true;
    if (!storeEditor(editor)) return false;
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    return true;
}

bool DeclarationGrid::storeEditor(QWidget* editor) {
    if (reporting_) return false;
    commitData(editor);
    if (!model_->lastEditRefused()) return true;
    reporting_ = true;
    ui::dialogs().error(this, model_->refusal());
    reporting_ = false;
    editor->setFocus(Qt::OtherFocusReason);
    // What is typed next replaces the value to correct.
    if (auto* line = qobject_cast<QLineEdit*>(editor)) line->selectAll();
    return false;
}

void DeclarationGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTableView::closeEditor(editor, hint);
    if (hint == QAbstractItemDelegate::RevertModelCache)
        cancelPending();
    else if (hint == QAbstractItemDelegate::SubmitModelCache)
        postPending(true);
}

// ---- adding and deleting lines -----------------------------------------------

void DeclarationGrid::insertLine() {
    RxMem& t = table();
    if (t.state() == RxMem::State::Insert && !t.isModified()) return; // already on a new line
    syncing_ = true;
    ui::guarded(this, [&] {
        if (currentIndex().isValid() && currentIndex().row() != model_->currentRow())
            t.gotoBookmark(model_->bookmarkAt(currentIndex().row()));
        t.insert();
    });
    syncing_ = false;
    showTableCursor();
}

void DeclarationGrid::appendLine() {
    RxMem& t = table();
    if (t.state() == RxMem::State::Insert && !t.isModified() && t.row() == t.recordCount() - 1)
        return; // the new last line is still untouched
    syncing_ = true;
    ui::guarded(this, [&] { t.append(); });
    syncing_ = false;
    showTableCursor();
}

// The question is about the lines the user saw when pressing the key: they
// are noted before it is asked, and exactly those are deleted.
void DeclarationGrid::deleteSelected() {
    RxMem& t = table();
    if (t.isEmpty() || model_->currentRow() < 0) return;
    QList<RxMem::Bookmark> marks = model_->selectedBookmarks();
    if (marks.isEmpty()) marks.append(t.bookmark());
    ui::Question q;
    q.caption = QStringLiteral("Confirmar");
    // The sentence of the toolbar's Eliminar, and beneath it what goes.
    q.text = marks.size() == 1
                 ? QStringLiteral("¿Seguro de Eliminar esta línea?\n\n") +
                       model_->describeLine(t.rowOf(marks.front()))
                 : QStringLiteral("¿Seguro de Eliminar las líneas seleccionadas?\n\nSe "
                                  "eliminarán %1 líneas%2.")
                       .arg(QLocale(QLocale::Spanish, QLocale::Chile).toString(marks.size()),
                            model_->isFiltered()
                                ? QStringLiteral(", de las mostradas por el filtro; las que el "
                                                 "filtro oculta no se tocan")
                                : QString());
    q.icon = ui::Icon::Question;
    q.defaultButton = ui::Button::Cancel;
    if (ui::dialogs().ask(this, q) != ui::Button::Ok) return;
    deleteLines(marks);
}

void DeclarationGrid::deleteLines(const QList<RxMem::Bookmark>& lines) {
    RxMem& t = table();
    std::optional<WaitCursor> wait;
    if (lines.size() > 1) wait.emplace();
    syncing_ = true;
    ui::guarded(this,
                [&] { t.deleteRecords(std::vector<RxMem::Bookmark>(lines.begin(), lines.end())); });
    syncing_ = false;
    dropSelection();
    showTableCursor();
}

RxMem::Replayed DeclarationGrid::undoRedo(bool redo) {
    int dropped = -1;
    if (!settleForWindow(&dropped)) return {};
    if (dropped >= 0 && !redo) {
        showTableCursor();
        return {};
    }
    RxMem& t = table();
    const int before = t.row();
    RxMem::Replayed r;
    syncing_ = true;
    ui::guarded(this, [&] { r = redo ? t.redo() : t.undo(); });
    syncing_ = false;
    anchor_ = -1;
    extending_ = false;
    // Lines that come back are selected again; a move to another line takes
    // the selection away, as a move with the keys does, so the blue rows are
    // never other than the line "Eliminar" and "Modificar" act on.
    // In a filtered view, what was taken back shows, even where the filter
    // would hide it.
    model_->showLines(r.restored);
    if (t.row() >= 0 && model_->currentRow() < 0) model_->showLines({t.bookmark()});
    if (r.restored.size() > 1)
        model_->selectLines(r.restored);
    else if (t.row() != before)
        dropSelection();
    showTableCursor();
    return r;
}

// ---- copy and paste -----------------------------------------------------------

namespace {

QString linesWord(int n) {
    return n == 1 ? QStringLiteral("1 línea")
                  : QStringLiteral("%1 líneas")
                        .arg(QLocale(QLocale::Spanish, QLocale::Chile).toString(n));
}

// The first row of a block is the listing's titles, as a spreadsheet that
// took them along has them.
bool isTitleRow(const QStringList& row) {
    if (row.size() != kFieldCount) return false;
    for (int f = 0; f < kFieldCount; ++f)
        if (row[f].trimmed() != fieldTitle(f)) return false;
    return true;
}

} // namespace

// Several lines selected, or one chosen as a line (by its number, with
// Ctrl or Shift) rather than by a plain click on one of its cells.
bool DeclarationGrid::wholeLinesChosen() const {
    if (blockColumn_ >= 0) return false;
    return model_->selectedCount() > 1 || (model_->selectedCount() == 1 && linesChosen_);
}

void DeclarationGrid::copyCells() {
    QList<QStringList> rows;
    if (wholeLinesChosen() || blockColumn_ >= 0) {
        // In the order shown: whole lines, or the block's columns.
        const int first = blockColumn_ >= 0 ? model_->blockFirst() : 1;
        const int last = blockColumn_ >= 0 ? model_->blockLast() : model_->columnCount() - 1;
        for (int row = 0; row < model_->rowCount(); ++row) {
            if (!model_->isSelected(row)) continue;
            QStringList cells;
            for (int c = first; c <= last; ++c)
                cells << model_->index(row, c).data(Qt::DisplayRole).toString();
            rows << cells;
        }
    } else if (currentIndex().isValid() && currentIndex().column() > 0) {
        rows << QStringList{currentIndex().data(Qt::DisplayRole).toString()};
    }
    if (rows.isEmpty()) return;
    QGuiApplication::clipboard()->setText(tabtext::join(rows));
}

void DeclarationGrid::pasteCells() {
    QList<QStringList> block = tabtext::split(QGuiApplication::clipboard()->text());
    if (block.isEmpty()) return;
    if (!settleForWindow()) return; // the refusal was reported
    RxMem& t = table();
    if (!t.isActive()) return;
    const int current =
        model_->rowCount() == 0
            ? -1
            : std::max(currentIndex().isValid() ? currentIndex().row() : model_->currentRow(), 0);
    // Whole lines (every field, under the titles or onto lines chosen as
    // lines) become new lines after the current one; any other block goes
    // over the cells from the current one.
    const bool titles = isTitleRow(block.front());
    if (titles) block.removeFirst();
    if (block.isEmpty()) return;
    qsizetype width = 0;
    for (const QStringList& r : block)
        width = std::max(width, r.size());
    const bool newLines = width == kFieldCount && (titles || wholeLinesChosen());
    const int firstRow = newLines ? current + 1 : std::max(current, 0);
    const int firstColumn =
        newLines ? 1
                 : std::clamp(currentIndex().isValid() ? currentIndex().column() : column_, 1,
                              model_->columnCount() - 1);
    const int room = model_->columnCount() - firstColumn;
    if (width > room) {
        ui::dialogs().error(
            this, QStringLiteral("No se puede pegar: lo copiado tiene %1 columnas, y desde la "
                                 "columna «%2» hasta la última hay solo %3.\n\nNo se pegó nada.")
                      .arg(width)
                      .arg(fieldTitle(DeclarationModel::fieldOfColumn(firstColumn)))
                      .arg(room));
        return;
    }

    // The file's number of the line a shown row holds; rows past the last
    // are lines to be added at the end.
    const auto lineNumber = [&](int row) {
        return row < model_->rowCount() ? model_->lineAt(row) + 1
                                        : t.recordCount() + row - model_->rowCount() + 1;
    };
    // Every value read as if typed, before anything changes. What is pasted
    // into a check column wins over what a RUT beside it gives that column,
    // unless it is empty.
    std::map<std::pair<int, int>, QString> typed, derived; // (shown row, field)
    for (int i = 0; i < int(block.size()); ++i) {
        const int row = firstRow + i;
        try {
            for (int j = 0; j < int(block[i].size()); ++j) {
                const int field = DeclarationModel::fieldOfColumn(firstColumn + j);
                const std::vector<TypedCell> cells =
                    readTypedCell(field, cp1252::upper(block[i][j]));
                for (const TypedCell& cell : cells) {
                    // Lines may be added for the block: every value is
                    // checked before the first one is.
                    RxMem::checkValue(cell.field, cell.text);
                    (cell.field == field ? typed : derived)[{row, cell.field}] = cell.text;
                }
            }
        } catch (const Error& e) {
            ui::dialogs().error(this, QStringLiteral("Línea %1: %2\n\nNo se pegó nada.")
                                          .arg(lineNumber(row))
                                          .arg(e.message()));
            return;
        }
    }
    for (const auto& [at, text] : derived)
        if (auto [it, added] = typed.try_emplace(at, text); !added && it->second.isEmpty())
            it->second = text;

    if (newLines) {
        insertPastedLines(firstRow, int(block.size()), typed);
        return;
    }

    const int present = model_->rowCount() - firstRow;
    const int missing = int(block.size()) - present;
    if (missing > 0) {
        ui::Question q;
        q.caption = QStringLiteral("Confirmar");
        q.text =
            QStringLiteral("Se pegarán %1 filas, pero hay solo %2 desde la actual. %3")
                .arg(block.size())
                .arg(linesWord(present))
                .arg(missing == 1
                         ? QStringLiteral("¿Agregar la línea que falta?")
                         : QStringLiteral("¿Agregar las %1 que faltan?").arg(linesWord(missing)));
        q.icon = ui::Icon::Question;
        q.defaultButton = ui::Button::Cancel;
        if (ui::dialogs().ask(this, q) != ui::Button::Ok) return;
    }

    std::optional<WaitCursor> wait;
    if (block.size() > 1) wait.emplace();
    syncing_ = true;
    ui::guarded(this, [&] {
        const RxMem::Group oneChange(t); // one Ctrl+Z takes the added lines back too
        for (int i = 0; i < missing; ++i) {
            t.append();
            t.post();
        }
        std::vector<RxMem::CellValue> cells;
        cells.reserve(typed.size());
        for (const auto& [at, text] : typed)
            cells.push_back({model_->bookmarkAt(at.first), at.second, text});
        t.gotoBookmark(model_->bookmarkAt(firstRow));
        t.setCells(cells);
    });
    syncing_ = false;
    showTableCursor();
}

// Lines pasted whole: each one a new line at `row` and on, stored as if
// typed into a line added there; they come out selected.
void DeclarationGrid::insertPastedLines(int row, int count,
                                        const std::map<std::pair<int, int>, QString>& values) {
    RxMem& t = table();
    std::optional<WaitCursor> wait;
    if (count > 1) wait.emplace();
    std::vector<RxMem::Bookmark> added;
    syncing_ = true;
    ui::guarded(this, [&] {
        const RxMem::Group oneChange(t);
        auto value = values.begin();
        for (int i = 0; i < count; ++i) {
            if (row + i < model_->rowCount()) {
                t.gotoBookmark(model_->bookmarkAt(row + i));
                t.insert();
            } else {
                t.append();
            }
            for (; value != values.end() && value->first.first == row + i; ++value)
                t.setTextOrClear(value->first.second, value->second);
            t.post();
            added.push_back(t.bookmark());
        }
        t.gotoBookmark(added.front());
    });
    syncing_ = false;
    dropSelection();
    model_->selectLines(added);
    linesChosen_ = true;
    column_ = 1;
    showTableCursor();
}

// ---- keys and mouse ----------------------------------------------------------

void DeclarationGrid::dropSelection() {
    model_->clearSelection();
    model_->setBlockColumns(-1, -1);
    blockColumn_ = -1;
    anchor_ = -1;
    extending_ = false;
    linesChosen_ = false;
}

// Shift+Up/Down add the lines they pass to the selection that is there;
// going back towards where the stretch began gives up the line it leaves.
void DeclarationGrid::extendSelection(int delta) {
    const int rows = model_->rowCount();
    if (rows == 0) return;
    const int row =
        currentIndex().isValid() ? currentIndex().row() : std::max(model_->currentRow(), 0);
    bool add = true;
    if (!extending_) {
        anchor_ = row;
        extending_ = true;
        linesChosen_ = true;
        model_->setSelected(row, true);
    } else if ((delta > 0 && row < anchor_) || (delta < 0 && row > anchor_)) {
        model_->setSelected(row, false);
        add = false;
    }
    const int target = std::clamp(row + delta, 0, rows - 1);
    if (target == row) return;
    setCurrentIndex(model_->index(target, column_));
    if (add) model_->setSelected(currentIndex().row(), true);
}

// Shift+Left/Right: a block of cells, from the column where the stretch
// began to the cursor's, on the chosen lines (the current one when none is);
// Shift+Up/Down then stretch it over lines.
void DeclarationGrid::extendColumns(int delta) {
    const QModelIndex at = currentIndex();
    if (!at.isValid() || at.column() < 1) return;
    if (blockColumn_ < 0) {
        blockColumn_ = at.column();
        if (model_->selectedCount() == 0) {
            model_->setSelected(at.row(), true);
            anchor_ = at.row();
            extending_ = true;
        }
    }
    const int column = std::clamp(at.column() + delta, 1, model_->columnCount() - 1);
    setCurrentIndex(model_->index(at.row(), column));
    model_->setBlockColumns(std::min(blockColumn_, column), std::max(blockColumn_, column));
}

void DeclarationGrid::clickRow(int row, Qt::KeyboardModifiers modifiers) {
    if (blockColumn_ >= 0) {
        blockColumn_ = -1;
        model_->setBlockColumns(-1, -1);
    }
    extending_ = false;
    linesChosen_ = modifiers & (Qt::ControlModifier | Qt::ShiftModifier);
    if (modifiers & Qt::ControlModifier) {
        model_->toggleSelected(row);
        anchor_ = row;
    } else if ((modifiers & Qt::ShiftModifier) && anchor_ >= 0) {
        model_->selectRange(anchor_, row);
    } else {
        model_->selectOnly(row);
        anchor_ = row;
    }
}

void DeclarationGrid::clickRowHead(int row, Qt::KeyboardModifiers modifiers) {
    clickRow(row, modifiers);
    linesChosen_ = true;
    setCurrentIndex(model_->index(row, 1));
}

void DeclarationGrid::mousePressEvent(QMouseEvent* event) {
    // A click elsewhere stores the open cell editor; a refused value keeps
    // the cursor on its cell.
    if (!commitEditor()) {
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton)
        clickRow(index.row(), event->modifiers());
    // A right-click picks its line alone, as a plain click does, before the
    // line menu shows: the menu's commands act on the current line, and the
    // highlighted line must be that one.
    if (index.isValid() && event->button() == Qt::RightButton)
        clickRow(index.row(), Qt::NoModifier);
    QTableView::mousePressEvent(event);
}

// A click on a title, not on the edge where its column is widened: the
// column it names (0 for the line numbers), or -1.
int DeclarationGrid::clickedTitle(QObject* object, QEvent* event) {
    QHeaderView* header = nullptr;
    for (QHeaderView* h : {horizontalHeader(), frozen_->horizontalHeader()})
        if (object == h->viewport()) header = h;
    if (!header) return -1;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return -1;
    const int x = mouse->position().toPoint().x();
    if (event->type() == QEvent::MouseButtonPress) {
        titlePress_ = -1;
        const int column = header->logicalIndexAt(x);
        if (column < 0) return -1;
        const int left = header->sectionViewportPosition(column);
        const int right = left + header->sectionSize(column);
        constexpr int kEdge = 5; // the header's own grip is about this wide
        if (x - left > kEdge && right - x > kEdge) titlePress_ = column;
        return -1;
    }
    if (event->type() != QEvent::MouseButtonRelease) return -1;
    const int pressed = std::exchange(titlePress_, -1);
    return pressed >= 0 && header->logicalIndexAt(x) == pressed ? pressed : -1;
}

// Clicks on the row indicator and on the titles.
bool DeclarationGrid::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)
        if (const int column = clickedTitle(object, event); column >= 0) {
            emit titleClicked(column);
            return false;
        }
    if (object == verticalHeader()->viewport() && (event->type() == QEvent::MouseButtonPress ||
                                                   event->type() == QEvent::MouseButtonDblClick)) {
        if (!commitEditor()) return true; // a refused value keeps its cell
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int row = verticalHeader()->logicalIndexAt(mouse->position().toPoint());
        if (row >= 0 && mouse->button() == Qt::LeftButton) {
            if (event->type() == QEvent::MouseButtonPress)
                clickRowHead(row, mouse->modifiers());
            else
                emit doubleClicked(model_->index(row, 1));
        }
        setFocus(Qt::MouseFocusReason);
        return true;
    }
    return QTableView::eventFilter(object, event);
}

void DeclarationGrid::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int rows = model_->rowCount();
    const int row = currentIndex().isValid() ? currentIndex().row() : -1;
    if (event->matches(QKeySequence::Copy)) {
        copyCells();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        pasteCells();
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Menu:
    case Qt::Key_F10:
        // The context menu key, or Shift+F10: the line menu, for the
        // current line, beside its current cell.
        if (event->key() == Qt::Key_Menu || mods == Qt::ShiftModifier) {
            if (!commitEditor()) return;
            QRect cell = visualRect(currentIndex());
            if (!cell.isValid() || !viewport()->rect().intersects(cell))
                cell = QRect(viewport()->rect().center(), QSize(1, 1));
            emit customContextMenuRequested(cell.bottomLeft());
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (mods == Qt::ControlModifier) {
            deleteSelected();
            return;
        }
        break;
    case Qt::Key_Insert:
        if (mods == Qt::NoModifier) {
            insertLine();
            return;
        }
        break;
    case Qt::Key_Escape:
        cancelPending();
        dropSelection();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        postPending(true);
        event->accept();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!(mods & (Qt::ControlModifier | Qt::AltModifier))) {
            const bool back = event->key() == Qt::Key_Backtab || (mods & Qt::ShiftModifier);
            const QModelIndex next = moveCursor(back ? MovePrevious : MoveNext, mods);
            if (next.isValid()) setCurrentIndex(next);
            event->accept();
            return;
        }
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (mods == Qt::ShiftModifier) {
            extendSelection(event->key() == Qt::Key_Up ? -1 : 1);
            return;
        }
        dropSelection();
        if (event->key() == Qt::Key_Down && mods == Qt::NoModifier &&
            (rows == 0 || row == rows - 1)) {
            appendLine();
            return;
        }
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (mods == Qt::ShiftModifier) {
            extendColumns(event->key() == Qt::Key_Left ? -1 : 1);
            return;
        }
        if (blockColumn_ >= 0) dropSelection();
        break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        dropSelection();
        break;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (mods & Qt::ControlModifier) {
            dropSelection();
        }
        break;
    default:
        if (hasCapital(event)) {
            QKeyEvent upper = capitalised(event);
            QTableView::keyPressEvent(&upper);
            event->setAccepted(upper.isAccepted());
            return;
        }
        break;
    }
    QTableView::keyPressEvent(event);
}

void DeclarationGrid::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    // A box, a menu or another window takes the focus for a while and gives
    // it back: the line stays as the user left it, so that a question about
    // it is about the line the user saw.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    QWidget* now = QApplication::focusWidget();
    if (now && isAncestorOf(now)) return; // a cell editor took the focus
    RxMem& t = table();
    if (t.state() == RxMem::State::Insert && !t.isModified()) cancelPending();
}
