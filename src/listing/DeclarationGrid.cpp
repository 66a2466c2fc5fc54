#include "DeclarationGrid.h"

#include "DeclarationModel.h"
#include "model/RxMem.h"
#include "util/Errors.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>

using namespace solvanta;

namespace {

bool isLowerAscii(const QKeyEvent* e) {
    const QString t = e->text();
    return t.size() == 1 && t[0] >= QLatin1Char('a') && t[0] <= QLatin1Char('z') &&
           !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

// The same key with its letter in capitals.
QKeyEvent capitalised(const QKeyEvent* e) {
    return QKeyEvent(e->type(), e->key(), e->modifiers(), e->text().toUpper(), e->isAutoRepeat(),
                     ushort(e->count()));
}

bool isEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

// Cell editors: letters a-z typed into them become capitals, and a value
// refused on Enter is not reported (the line simply stays in edit mode).
class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(DeclarationModel* model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (isLowerAscii(key)) {
                QKeyEvent upper = capitalised(key);
                QCoreApplication::sendEvent(object, &upper);
                return true;
            }
            if (isEnter(key)) {
                // Stored now, not later from the event queue, so that a
                // refused value is dropped quietly.
                auto* editor = static_cast<QWidget*>(object);
                model_->setQuiet(true);
                emit commitData(editor);
                model_->setQuiet(false);
                // A refused value leaves the line in edit mode, unstored.
                emit closeEditor(editor, model_->lastEditRefused() ? NoHint : SubmitModelCache);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    DeclarationModel* model_;
};

// Paints the line number of column 0: the row's present position, in black
// on the button face, 4 pixels from the left and 2 from the top.
class LineNumberDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        painter->fillRect(option.rect, option.palette.color(QPalette::Button));
        painter->setPen(Qt::black);
        painter->setFont(option.font);
        const QRect text = option.rect.adjusted(4, 2, 0, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignTop,
                          QString::number(index.data(DeclarationModel::LineNumberRole).toInt()));
    }
};

} // namespace

// The line-number column, drawn over the grid's first column so that it
// stays in place while the other columns scroll sideways.
class FrozenColumnView : public QTableView {
public:
    explicit FrozenColumnView(DeclarationGrid* grid) : QTableView(grid), grid_(grid) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid() && event->button() == Qt::LeftButton)
            grid_->clickRow(index.row(), event->modifiers());
        QTableView::mousePressEvent(event);
        grid_->setFocus();
    }

private:
    DeclarationGrid* grid_;
};

DeclarationGrid::DeclarationGrid(DeclarationModel* model, QWidget* parent)
    : QTableView(parent), model_(model), frozen_(new FrozenColumnView(this)) {
    setModel(model);
    setItemDelegate(new GridDelegate(model, this));
    setSelectionMode(NoSelection);
    setEditTriggers(AnyKeyPressed | EditKeyPressed);
    setTabKeyNavigation(true);
    setHorizontalScrollMode(ScrollPerPixel);
    setVerticalScrollMode(ScrollPerItem);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone); // cells clip, as in a classic grid
    setCornerButtonEnabled(false);

    const int rowHeight = fontMetrics().height() + 6;
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    verticalHeader()->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("▶")) + 12);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setMouseTracking(true); // titles react to the mouse

    // Column widths: the listed ones, or wide enough for the field's usual
    // content; never narrower than the title, which must not be clipped.
    const QFontMetrics titles(horizontalHeader()->font());
    const int charWidth = fontMetrics().averageCharWidth();
    const int digitWidth = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int padding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 6;
    setColumnWidth(0, std::max(39, titles.horizontalAdvance(QStringLiteral("Línea")) + padding));
    for (int c = 1; c < model->columnCount(); ++c) {
        const FieldDef& f = kFields[std::size_t(DeclarationModel::fieldOfColumn(c))];
        int width = f.gridWidth;
        if (width < 0)
            width = f.kind == Kind::Text ? f.size * charWidth + 8
                                         : (f.kind == Kind::Number ? 10 : 6) * digitWidth + 8;
        setColumnWidth(c, std::max(width, titles.horizontalAdvance(f.gridTitleText().toString()) + padding));
    }

    frozen_->setModel(model);
    frozen_->setItemDelegateForColumn(0, new LineNumberDelegate(frozen_));
    frozen_->setSelectionModel(selectionModel());
    frozen_->setSelectionMode(NoSelection);
    frozen_->setFocusPolicy(Qt::NoFocus);
    frozen_->setEditTriggers(NoEditTriggers);
    frozen_->verticalHeader()->hide();
    frozen_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_->verticalHeader()->setDefaultSectionSize(rowHeight);
    frozen_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    frozen_->horizontalHeader()->setSectionsClickable(false);
    frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    frozen_->setVerticalScrollMode(ScrollPerItem);
    frozen_->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
    for (int c = 1; c < model->columnCount(); ++c)
        frozen_->setColumnHidden(c, true);
    frozen_->setColumnWidth(0, columnWidth(0));
    viewport()->stackUnder(frozen_);

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
        if (section != 0) return;
        frozen_->setColumnWidth(0, size);
        updateFrozenGeometry();
    });
    connect(frozen_->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, frozen_->verticalScrollBar(), &QAbstractSlider::setValue);
    frozen_->show();
    updateFrozenGeometry();
}

DeclarationGrid::~DeclarationGrid() = default;

RxMem& DeclarationGrid::table() const { return model_->table(); }

void DeclarationGrid::updateFrozenGeometry() {
    frozen_->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), columnWidth(0),
                         viewport()->height() + horizontalHeader()->height());
}

void DeclarationGrid::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    updateFrozenGeometry();
}

void DeclarationGrid::updateGeometries() {
    QTableView::updateGeometries();
    if (frozen_) updateFrozenGeometry();
}

QModelIndex DeclarationGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    QModelIndex current = QTableView::moveCursor(action, modifiers);
    // Keep the cell the cursor lands on out from under the frozen column.
    if (action == MoveLeft && current.column() > 0 &&
        visualRect(current).topLeft().x() < frozen_->columnWidth(0)) {
        const int newValue = horizontalScrollBar()->value() + visualRect(current).topLeft().x() -
                             frozen_->columnWidth(0);
        horizontalScrollBar()->setValue(newValue);
    }
    return current;
}

void DeclarationGrid::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (index.column() > 0)
        QTableView::scrollTo(index, hint);
    else if (index.isValid())
        QTableView::scrollTo(model_->index(index.row(), 1), hint);
}

// ---- the table's cursor follows the grid's current row -----------------------

void DeclarationGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (syncing_ || !current.isValid() || current.row() == table().row()) return;
    moveCurrentTo(current.row());
}

void DeclarationGrid::moveCurrentTo(int row) {
    syncing_ = true;
    ui::guarded(this, [&] { table().gotoBookmark(table().bookmarkAt(row)); });
    syncing_ = false;
    // Leaving an untouched new line removes it, which moves the rows below.
    if (currentIndex().row() != table().row()) showTableCursor();
    model_->refreshIndicator();
}

void DeclarationGrid::showTableCursor() {
    syncing_ = true;
    const int column = std::max(currentIndex().column(), 1);
    if (table().row() >= 0) setCurrentIndex(model_->index(table().row(), column));
    syncing_ = false;
    model_->refreshIndicator();
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

void DeclarationGrid::commitEditor() {
    if (state() != EditingState) return;
    if (QWidget* editor = indexWidget(currentIndex())) {
        commitData(editor);
        QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
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
        if (currentIndex().isValid() && currentIndex().row() != t.row())
            t.gotoBookmark(t.bookmarkAt(currentIndex().row()));
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

void DeclarationGrid::deleteSelected() {
    RxMem& t = table();
    if (t.isEmpty()) return;
    const QList<RxMem::Bookmark> marks = model_->selectedBookmarks();
    ui::Question q;
    q.caption = QStringLiteral("Confirmar");
    q.text = marks.size() < 2 ? QStringLiteral("Delete record?")
                              : QStringLiteral("Delete all selected records?");
    q.icon = ui::Icon::Question;
    q.defaultButton = ui::Button::Cancel;
    if (ui::dialogs().ask(this, q) != ui::Button::Ok) return;
    syncing_ = true;
    ui::guarded(this, [&] {
        if (marks.isEmpty()) {
            t.deleteRecord();
        } else {
            for (const RxMem::Bookmark& b : marks) {
                if (t.rowOf(b) < 0) continue;
                t.gotoBookmark(b);
                t.deleteRecord();
            }
        }
    });
    syncing_ = false;
    dropSelection();
    showTableCursor();
}

// ---- keys and mouse ----------------------------------------------------------

void DeclarationGrid::dropSelection() {
    model_->clearSelection();
    anchor_ = -1;
}

void DeclarationGrid::extendSelection(int delta) {
    const int row = currentIndex().isValid() ? currentIndex().row() : 0;
    if (anchor_ < 0) anchor_ = row;
    const int target = std::clamp(row + delta, 0, model_->rowCount() - 1);
    setCurrentIndex(model_->index(target, std::max(currentIndex().column(), 1)));
    model_->selectRange(anchor_, currentIndex().row());
}

void DeclarationGrid::clickRow(int row, Qt::KeyboardModifiers modifiers) {
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

void DeclarationGrid::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && event->button() == Qt::LeftButton) clickRow(index.row(), event->modifiers());
    QTableView::mousePressEvent(event);
}

void DeclarationGrid::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int rows = model_->rowCount();
    const int row = currentIndex().isValid() ? currentIndex().row() : -1;
    switch (event->key()) {
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
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (mods == Qt::ShiftModifier) {
            extendSelection(event->key() == Qt::Key_Up ? -1 : 1);
            return;
        }
        dropSelection();
        if (event->key() == Qt::Key_Down && mods == Qt::NoModifier && (rows == 0 || row == rows - 1)) {
            appendLine();
            return;
        }
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
        if (isLowerAscii(event)) {
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
    QWidget* now = QApplication::focusWidget();
    if (now && isAncestorOf(now)) return; // a cell editor took the focus
    RxMem& t = table();
    if (t.state() == RxMem::State::Insert && !t.isModified()) cancelPending();
}
