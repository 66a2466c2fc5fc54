#include "ProblemsModel.h"

#include "model/FieldTable.h"
#include "util/Errors.h"

#include <algorithm>

using namespace solvanta;

namespace {

constexpr int kProgressEvery = 1024; // lines between progress reports

} // namespace

ProblemsModel::ProblemsModel(RxMem& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

void ProblemsModel::recheckAll(const LineChecker& checker, Progress* progress) {
    recheckRows(checker, 0, table_.recordCount() - 1, progress);
    if (table_.isEmpty() && !entries_.empty()) {
        beginResetModel();
        entries_.clear();
        rebuildCells();
        endResetModel();
        emit tintsChanged();
    }
}

void ProblemsModel::recheckRows(const LineChecker& checker, int first, int last,
                                Progress* progress) {
    first = std::max(first, 0);
    last = std::min(last, table_.recordCount() - 1);
    if (first > last) return;
    std::vector<LineProblem> found;
    const int total = last - first + 1;
    for (int r = first; r <= last; ++r) {
        checker.checkRow(table_, r, found);
        if (progress && (r - first + 1) % kProgressEvery == 0 &&
            !progress->update(r - first + 1, total))
            throw Cancelled();
    }
    if (progress) progress->update(total, total);
    // The entries stand in line order: those of the rows checked are one run.
    const auto before = [&](int row) {
        return [this, row](const Entry& e) { return table_.rowOf(e.line) < row; };
    };
    const auto from = std::partition_point(entries_.begin(), entries_.end(), before(first));
    const auto to = std::partition_point(from, entries_.end(), before(last + 1));
    if (from == to && found.empty()) return; // nothing to show before or after
    beginResetModel();
    std::vector<Entry> checked;
    checked.reserve(found.size());
    for (LineProblem& p : found)
        checked.push_back({table_.bookmarkAt(p.line - 1), std::move(p)});
    entries_.insert(entries_.erase(from, to), std::make_move_iterator(checked.begin()),
                    std::make_move_iterator(checked.end()));
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
