#pragma once

#include "engine/files/LineView.h"
#include "engine/model/RxMem.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QSet>
#include <functional>

class ProblemsModel;

// The listing's grid model over the declaration table. Column 0 is the line
// number (the line's position in the file, never stored); columns 1 to 105
// are the fields. data() reads the table's compact records directly.
//
// The rows are the lines the listing shows, in the order shown: every line
// in file order, or those that pass the filters, sorted by a column when
// the user asked (a LineView; the table itself never changes order). Model
// rows are those shown rows; "lines" are the table's rows, in file order.
//
// Editing follows the table's row semantics: the first cell edit puts the
// line in edit state, further edits go into the same pending line, and the
// grid posts or cancels it. The model also keeps the grid's multi-selection,
// as table bookmarks, so it survives inserted and deleted lines.
class DeclarationModel : public QAbstractTableModel, private solvanta::RxMem::Observer {
    Q_OBJECT
public:
    explicit DeclarationModel(solvanta::RxMem& table, QObject* parent = nullptr);
    ~DeclarationModel() override;

    // Column 0 has no data of its own: the grid paints the line number,
    // which this role gives.
    static constexpr int LineNumberRole = Qt::UserRole + 1;

    solvanta::RxMem& table() { return table_; }

    // ---- which lines show, in what order
    // The table's row of a shown row, and the other way (-1: not shown).
    int lineAt(int row) const { return view_.tableRow(row); }
    int rowOfLine(int line) const { return line < 0 ? -1 : view_.viewRow(line); }
    solvanta::RxMem::Bookmark bookmarkAt(int row) const { return table_.bookmarkAt(lineAt(row)); }
    // The row of the table's current line; -1 when it is not shown.
    int currentRow() const { return rowOfLine(table_.row()); }
    int lineCount() const { return table_.recordCount(); }
    // Some lines are hidden by a filter (a sorted view shows every line).
    bool isFiltered() const { return !conditions_.empty(); }
    // Filtered or sorted: not the file as it is.
    bool isViewed() const { return !view_.isWhole(); }
    const solvanta::LineView& view() const { return view_; }
    // The lines shown, as bookmarks, in the order shown.
    std::vector<solvanta::RxMem::Bookmark> shownLines() const;

    // A filter: the lines for which `keep(line)` holds. One per column (a
    // new one for the same column takes its place), and the ones that are
    // not about a column ("con problemas") once each, by their name.
    struct Condition {
        int field = -1; // the column it looks at; -1 for the others
        QString name;   // as the status bar names it: "[27] Impo. afp = 0"
        std::function<bool(int line)> keep;
    };
    void addCondition(Condition condition);
    void dropCondition(int field, const QString& name = {});
    bool hasCondition(int field, const QString& name = {}) const;
    QStringList conditionNames() const;
    // Every line in file order: no filter, no sort.
    void showAll();
    // Sorts the lines shown by a column; -1 back to file order.
    void sortBy(int field, bool descending);
    int sortField() const { return sortField_; }
    bool sortDescending() const { return sortDescending_; }
    // The values of a column among the lines that pass every filter but
    // that column's own, with how many lines hold each.
    std::vector<solvanta::LineView::Count> valuesOf(int field) const;
    // Lines that came back (an undo) show in the view again.
    void showLines(const std::vector<solvanta::RxMem::Bookmark>& lines);
    static int fieldOfColumn(int column) { return column - 1; }
    static int columnOf(int field) { return field + 1; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // A cell value is read as the user types it: numbers as people write
    // them (thousands grouped, "." or "," for the decimals where that is
    // clear), a RUT with its dots and check character (which goes into the
    // check field). A value the field refuses stores nothing; the grid
    // reports why.
    bool lastEditRefused() const { return !refusal_.isEmpty(); }
    QString refusal() const { return refusal_; }

    // Selection of whole lines.
    bool isSelected(int row) const;
    int selectedCount() const { return int(selected_.size()); }
    QList<solvanta::RxMem::Bookmark> selectedBookmarks() const; // in line order
    void clearSelection();
    void selectOnly(int row);
    void toggleSelected(int row);
    void setSelected(int row, bool selected);
    void selectRange(int from, int to);
    void selectLines(const std::vector<solvanta::RxMem::Bookmark>& lines); // added to the selection
    // A block of cells: on the selected lines, only these columns show as
    // selected; -1 for whole lines.
    void setBlockColumns(int first, int last);
    int blockFirst() const { return blockFirst_; }
    int blockLast() const { return blockLast_; }

    // Runs work that refills the table (a load) without telling the views
    // line by line, then shows the result at once.
    template <typename F> void refill(F&& work) {
        beginResetModel();
        table_.setObserver(nullptr);
        selected_.clear();
        view_.clear();
        conditions_.clear();
        sortField_ = -1;
        try {
            std::forward<F>(work)();
        } catch (...) {
            table_.setObserver(this);
            endResetModel();
            throw;
        }
        table_.setObserver(this);
        endResetModel();
        emit viewChanged();
    }

    // Repaints the row indicator after the table's state changed.
    void refreshIndicator();

    // Cells whose value differs from the last load or write (and the line
    // number of their line) are washed in blue, legible on light and dark
    // themes alike.
    static QColor changedTint() { return QColor(30, 144, 255, 70); }
    // The table was saved (a write): no cell shows as changed any more.
    void showSaved();
    // A line as the user finds it in the grid: its number and the worker's
    // RUT, grouped as people write it ("Línea 9, RUT 12.345.678-5").
    QString describeLine(int row) const;

    // Cells with a problem of the line checks are tinted.
    void setProblems(const ProblemsModel* problems) { problems_ = problems; }

signals:
    // Lines first to last (table rows) were stored (or put back) in place.
    void linesStored(int first, int last);
    // The lines shown changed: filtered, sorted, or back to all.
    void viewChanged();

private:
    void aboutToInsert(int row) override;
    void inserted(int row) override;
    void aboutToRemove(int row) override;
    void removed(int row) override;
    void changed(int row) override;
    void changedRows(int first, int last) override;
    void aboutToReset() override;
    void reset() override;
    void repaintRows(int first, int last);
    void rebuildView(); // the conditions and the sort, from every line
    bool inBlock(int column) const {
        return blockFirst_ < 0 || (column >= blockFirst_ && column <= blockLast_);
    }

    void store(int field, const QString& text);

    solvanta::RxMem& table_;
    QSet<std::uint32_t> selected_; // bookmark slots
    QString refusal_;              // why the last setData() was refused
    int blockFirst_ = -1, blockLast_ = -1;
    const ProblemsModel* problems_ = nullptr;
    solvanta::LineView view_;
    std::vector<Condition> conditions_;
    int sortField_ = -1;
    bool sortDescending_ = false;
    int insertedAt_ = -1; // the shown row of the line being inserted
    int removedAt_ = -1;  // of the line being removed; -1 when it is not shown
};
