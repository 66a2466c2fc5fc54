#pragma once

#include "engine/model/RxMem.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QSet>

class ProblemsModel;

// The listing's grid model over the declaration table. Column 0 is the line
// number (the row's present position, never stored); columns 1 to 105 are
// the fields. data() reads the table's compact records directly.
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

    // Runs work that refills the table (a load) without telling the views
    // line by line, then shows the result at once.
    template <typename F> void refill(F&& work) {
        beginResetModel();
        table_.setObserver(nullptr);
        selected_.clear();
        try {
            std::forward<F>(work)();
        } catch (...) {
            table_.setObserver(this);
            endResetModel();
            throw;
        }
        table_.setObserver(this);
        endResetModel();
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
    // Lines first to last were stored (or put back) in place.
    void linesStored(int first, int last);

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

    void store(int field, const QString& text);

    solvanta::RxMem& table_;
    QSet<std::uint32_t> selected_; // bookmark slots
    QString refusal_;              // why the last setData() was refused
    const ProblemsModel* problems_ = nullptr;
};
