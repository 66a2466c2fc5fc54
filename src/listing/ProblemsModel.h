#pragma once

#include "files/LineChecks.h"
#include "model/RxMem.h"
#include "util/Progress.h"

#include <QAbstractTableModel>
#include <QHash>
#include <bitset>
#include <vector>

// The problems the line checks found, for the listing's panel: line, field,
// problem, value, in line order. Each problem holds its line as a table
// bookmark, so the line numbers shown follow inserted and deleted lines;
// the cells with a problem are known by line and field for the grid's tint.
class ProblemsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ProblemsModel(solvanta::RxMem& table, QObject* parent = nullptr);

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

    int problemCount() const { return int(entries_.size()); }
    int lineCount() const { return int(cells_.size()); }
    // "3 problemas en 2 líneas", "Sin problemas".
    QString summary() const;
    bool hasProblem(std::uint32_t slot, int field) const;
    // The line (0-based row, -1 when gone) and field of a problem.
    int rowOf(int problem) const;
    int fieldOf(int problem) const { return entries_[std::size_t(problem)].problem.field; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The cells of these lines changed tint.
    void tintsChanged();

private:
    struct Entry {
        solvanta::RxMem::Bookmark line;
        solvanta::LineProblem problem;
    };
    void rebuildCells();

    solvanta::RxMem& table_;
    std::vector<Entry> entries_; // in line order, then field order
    QHash<std::uint32_t, std::bitset<solvanta::kFieldCount>> cells_;
};
