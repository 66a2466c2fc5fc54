#include "ProblemsModel.h"

#include "model/FieldTable.h"

#include <algorithm>

using namespace solvanta;

ProblemsModel::ProblemsModel(RxMem& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

void ProblemsModel::recheckAll(const LineChecker& checker) {
    beginResetModel();
    entries_.clear();
    for (LineProblem& p : checker.checkAll(table_))
        entries_.push_back({table_.bookmarkAt(p.line - 1), std::move(p)});
    rebuildCells();
    endResetModel();
    emit tintsChanged();
}

void ProblemsModel::recheckLine(const LineChecker& checker, RxMem::Bookmark line) {
    const int row = table_.rowOf(line);
    const bool had = cells_.contains(line.slot);
    std::vector<LineProblem> found;
    if (row >= 0) checker.check(table_.recordAt(row), row + 1, found);
    if (!had && found.empty()) return; // nothing to show before or after
    beginResetModel();
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const Entry& e) { return e.line == line; }),
                   entries_.end());
    // The line's problems go where its row falls among the others.
    const auto at =
        std::lower_bound(entries_.begin(), entries_.end(), row,
                         [&](const Entry& e, int r) { return table_.rowOf(e.line) < r; });
    std::vector<Entry> added;
    for (LineProblem& p : found)
        added.push_back({line, std::move(p)});
    entries_.insert(at, added.begin(), added.end());
    rebuildCells();
    endResetModel();
    emit tintsChanged();
}

void ProblemsModel::dropDeletedLines() {
    const auto gone = [&](const Entry& e) { return table_.rowOf(e.line) < 0; };
    if (std::none_of(entries_.begin(), entries_.end(), gone)) {
        if (!entries_.empty())
            emit dataChanged(index(0, 0), index(rowCount() - 1, 0)); // renumbered
        return;
    }
    beginResetModel();
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(), gone), entries_.end());
    rebuildCells();
    endResetModel();
    emit tintsChanged();
}

void ProblemsModel::rebuildCells() {
    cells_.clear();
    for (const Entry& e : entries_)
        cells_[e.line.slot].set(std::size_t(e.problem.field));
}

QString ProblemsModel::summary() const {
    if (entries_.empty()) return QStringLiteral("Sin problemas");
    return QStringLiteral("%1 %2 en %3 %4")
        .arg(problemCount())
        .arg(problemCount() == 1 ? QStringLiteral("problema") : QStringLiteral("problemas"))
        .arg(lineCount())
        .arg(lineCount() == 1 ? QStringLiteral("línea") : QStringLiteral("líneas"));
}

bool ProblemsModel::hasProblem(std::uint32_t slot, int field) const {
    const auto it = cells_.constFind(slot);
    return it != cells_.constEnd() && it->test(std::size_t(field));
}

int ProblemsModel::rowOf(int problem) const {
    return table_.rowOf(entries_[std::size_t(problem)].line);
}

int ProblemsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(entries_.size());
}

int ProblemsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant ProblemsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)) return {};
    const Entry& e = entries_[std::size_t(index.row())];
    if (role == Qt::TextAlignmentRole)
        return index.column() == 0 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    switch (index.column()) {
    case 0:
        return table_.rowOf(e.line) + 1;
    case 1:
        return fieldTitle(e.problem.field);
    case 2:
        return e.problem.problem;
    case 3:
        return e.problem.value;
    }
    return {};
}

QVariant ProblemsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char16_t* const kTitles[] = {u"Línea", u"Campo", u"Problema", u"Valor"};
    return QString::fromUtf16(kTitles[section]);
}
