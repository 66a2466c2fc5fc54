#pragma once

#include "engine/files/LineChecks.h"
#include "engine/files/ProblemStore.h"
#include "engine/model/RxMem.h"
#include "engine/util/Progress.h"

#include <QAbstractTableModel>
#include <vector>

// The problems the line checks found, for the listing's panel: line, field,
// problem, value, in line order. The problems are kept compactly
// (`ProblemStore`: each holds its line as a table bookmark, so the line
// numbers shown follow inserted and deleted lines); their texts are made
// from the line when a row is shown. A line lists its first
// `ProblemStore::kKeptPerLine` problems and then one row that counts the
// rest; the grid tints every cell with a problem, listed or counted.
class ProblemsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Shows the problems `store` keeps of the lines of `table`.
    ProblemsModel(solvanta::RxMem& table, solvanta::ProblemStore& store, QObject* parent = nullptr);

    // Checks every line again (after a load, or with other code lists).
    // Progress counts lines; when it asks to stop, Cancelled is thrown and
    // the problems stay as they were.
    void recheckAll(const solvanta::LineChecker& checker, solvanta::Progress* progress = nullptr);
    // Checks the stored lines `first` to `last` (rows) again; the others
    // keep their problems.
    void recheckRows(const solvanta::LineChecker& checker, int first, int last,
                     solvanta::Progress* progress = nullptr);
    // Forgets the problems of lines that are gone.
    void dropDeletedLines();

    // Every problem, those of a line beyond the ones listed included.
    int problemCount() const { return int(store_.problemCount()); }
    int lineCount() const { return store_.lineCount(); }
    // "3 problemas en 2 líneas", "Sin problemas".
    QString summary() const;
    bool hasProblem(std::uint32_t slot, int field) const { return store_.hasProblem(slot, field); }
    bool rowHasProblem(int row) const { return store_.rowHasProblem(row); }
    // The line (0-based row, -1 when gone) and field of a row of the panel
    // (for the row that counts a line's other problems, the first of them).
    int rowOf(int problem) const;
    int fieldOf(int problem) const { return store_.entry(problem).field; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The cells of these lines changed tint.
    void tintsChanged();

private:
    void replace(solvanta::ProblemStore::Checked&& checked);
    // The texts of a row, made once for the columns that show them.
    const solvanta::LineProblem& spelled(int row) const;

    solvanta::RxMem& table_;
    solvanta::ProblemStore& store_;
    mutable int spelledRow_ = -1;
    mutable std::uint64_t spelledAt_ = 0; // the table's change count then
    mutable solvanta::LineProblem spelled_;
};
