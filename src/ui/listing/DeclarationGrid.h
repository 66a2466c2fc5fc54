#pragma once

#include "engine/model/RxMem.h"

#include <QList>
#include <QTableView>
#include <map>

class DeclarationModel;
class FrozenColumnView;

// The listing's grid. It behaves like the data-bound grid of a classic
// desktop database program: the line, not the cell, is the unit of editing
// (moving to another line or pressing Enter stores it, Escape abandons it),
// Insert and Down on the last line add lines, typed letters become capitals
// (those the file can hold: "ñ" gives "Ñ"), a value a field refuses is
// reported and stays in its cell to be corrected, Ctrl+Delete deletes the
// selected lines after a question, and lines are selected with click,
// Ctrl+click and Shift+Up/Down; a right-click selects its line alone and
// makes it current, before any menu shows. Shift+Left/Right choose a block
// of cells. Ctrl+C and Ctrl+V copy cells to and from spreadsheets, as
// tab-separated text. The row indicator and the line-number column
// stay in place while the other columns scroll sideways; the cell cursor
// never goes onto the line numbers.
class DeclarationGrid : public QTableView {
    Q_OBJECT
public:
    DeclarationGrid(DeclarationModel* model, QWidget* parent = nullptr);
    ~DeclarationGrid() override;

    DeclarationModel* declarations() const { return model_; }

    // Stores the pending line; quietly keeps it pending when it cannot be
    // stored. Returns false then.
    bool postPending(bool quiet);
    // Stores the text of an open cell editor into the pending line and
    // closes it; a value the field refuses is reported, and the editor stays
    // open with it (false).
    bool commitEditor();
    // Stores the editor's text; a refusal is reported, and the editor keeps
    // the focus with its text selected (false).
    bool storeEditor(QWidget* editor);
    bool reportingRefusal() const { return reporting_; }
    // Abandons the pending line (a new line that is abandoned disappears).
    void cancelPending();
    // Before another window works on the table: the open cell edit and the
    // pending line are stored; false, after the error report, when they
    // cannot be. A new line left untouched is dropped, and `droppedNewRow`
    // tells where it stood (-1 when there was none).
    bool settleForWindow(int* droppedNewRow = nullptr);
    // Puts the grid's current row on the table's current line and scrolls
    // so that the line is on the screen.
    void showTableCursor();
    // Makes that line (a table row) the table's current one and that column
    // the grid's current cell, on the screen; false when a filter hides the
    // line.
    bool showCell(int line, int column);
    void insertLine();
    void appendLine();
    void deleteSelected(); // Ctrl+Delete
    // Deletes exactly these lines, with the wait cursor for many; a new line
    // left untouched among them is simply dropped.
    void deleteLines(const QList<solvanta::RxMem::Bookmark>& lines);

    // Takes back (or repeats) the last change to the table, after storing an
    // open cell edit and the pending line; a new line left untouched just
    // disappears, which is the undo the user meant. Lines that come back
    // (more than one) are selected again, as they were when deleted; a move
    // to another line empties the selection.
    solvanta::RxMem::Replayed undoRedo(bool redo);

    // Ctrl+C: the block of cells chosen with Shift+arrows, or the chosen
    // lines, whole (lines chosen by their number, or with Ctrl or Shift, or
    // more than one), in the order shown, or else the current cell, as the
    // grid shows them, for a spreadsheet to paste.
    void copyCells();
    // Ctrl+V: the clipboard's block of cells from the current cell rightwards
    // and downwards, each value read as if typed into its cell. All or none,
    // one undo step; a refused value is reported with its line, and lines
    // missing at the end are added after a question. Whole lines (every
    // field, under the listing's titles or pasted onto lines chosen as
    // lines) become new lines after the current one instead. Under a filter
    // or a sort the rows are those shown, in the order shown.
    void pasteCells();
    void dropSelection(); // empties the selection and forgets its anchor

    QTableView* frozenView() const;
    // The arrow on the title of the column the lines are sorted by (none for
    // -1); the column widens when its title and the arrow would not fit.
    void showSortColumn(int column, Qt::SortOrder order);

signals:
    // A click on a column's title (0: the line numbers'), not on its edge.
    void titleClicked(int column);
    // A right-click on a column's title.
    void titleMenuRequested(int column);

public:
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void setUpHeaders(int rowHeight);
    void setColumnWidths();
    void setUpLineNumbers(int rowHeight);
    friend class FrozenColumnView;
    void clickRow(int row, Qt::KeyboardModifiers modifiers);
    // A click on the line number or the row indicator: the row becomes
    // current in its first data cell.
    void clickRowHead(int row, Qt::KeyboardModifiers modifiers);
    void extendSelection(int delta);
    void extendColumns(int delta);
    int clickedTitle(QObject* object, QEvent* event);
    bool wholeLinesChosen() const;
    void insertPastedLines(int row, int count,
                           const std::map<std::pair<int, int>, QString>& values);
    void moveCurrentTo(int row);
    void updateFrozenGeometry();
    void fitLineNumbers(); // widens the line-number column for the largest number
    int lineNumberWidth() const;
    solvanta::RxMem& table() const;

    DeclarationModel* model_;
    FrozenColumnView* frozen_;
    int anchor_ = -1;        // row where the last click or Shift+arrow stretch began
    bool extending_ = false; // a Shift+Up/Down stretch is going on
    // The selection was made as lines (their numbers, Ctrl or Shift), not by
    // a plain click on a cell, which selects its line too.
    bool linesChosen_ = false;
    int column_ = 1;       // column of the cell cursor, kept across resets
    int titlePress_ = -1;  // the title a left button went down on
    int blockColumn_ = -1; // where a Shift+Left/Right stretch began; -1: no block of cells
    bool syncing_ = false;
    bool reporting_ = false; // a refused cell value is being reported
};
