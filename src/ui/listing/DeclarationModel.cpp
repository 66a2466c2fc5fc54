#include "DeclarationModel.h"

#include "engine/files/FindReplace.h"
#include "engine/model/TypedCell.h"

#include "ProblemsModel.h"

#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

#include <QApplication>
#include <QFont>
#include <QLocale>
#include <QPalette>
#include <algorithm>
#include <climits>

using namespace solvanta;

namespace {
constexpr int kColumns = kFieldCount + 1;
}

DeclarationModel::DeclarationModel(RxMem& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), view_(table) {
    table_.setObserver(this);
}

DeclarationModel::~DeclarationModel() {
    table_.setObserver(nullptr);
}

int DeclarationModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : view_.count();
}

int DeclarationModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant DeclarationModel::data(const QModelIndex& index, int role) const {
    const int row = index.row();
    const int line = lineAt(row);
    const int column = index.column();
    switch (role) {
    case LineNumberRole:
        return column == 0 ? QVariant(line + 1) : QVariant();
    case Qt::AccessibleTextRole:
        // Painted by the grid, read aloud from here.
        return column == 0 ? QVariant(QString::number(line + 1)) : QVariant();
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == 0) return {};
        // The same text that find and replace look at.
        return shownCellText(table_, line, fieldOfColumn(column));
    case Qt::TextAlignmentRole: {
        if (column == 0) return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        const FieldDef& f = kFields[std::size_t(fieldOfColumn(column))];
        const bool right = f.gridAlign == Align::Right || f.kind != Kind::Text;
        return QVariant((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    case Qt::BackgroundRole:
        if (column == 0) return table_.lineChanged(line) ? QVariant(changedTint()) : QVariant();
        if (!selected_.isEmpty() && isSelected(row) && inBlock(column))
            return QApplication::palette().color(QPalette::Highlight);
        // An orange wash, legible on light and dark themes alike.
        if (problems_ && problems_->lineCount() > 0 &&
            problems_->hasProblem(table_.bookmarkAt(line).slot, fieldOfColumn(column)))
            return QColor(255, 140, 0, 90);
        if (table_.cellChanged(line, fieldOfColumn(column))) return changedTint();
        return {};
    case Qt::ForegroundRole:
        if (!selected_.isEmpty() && isSelected(row) && inBlock(column))
            return QApplication::palette().color(QPalette::HighlightedText);
        return {};
    default:
        return {};
    }
}

QVariant DeclarationModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        if (role != Qt::DisplayRole || section != currentRow()) return {};
        switch (table_.state()) {
        case RxMem::State::Edit:
            return QStringLiteral("I");
        case RxMem::State::Insert:
            return QStringLiteral("*");
        default:
            return QStringLiteral("▶");
        }
    }
    if (section == 0) {
        if (role == Qt::DisplayRole) return QStringLiteral("Línea");
        return {};
    }
    const FieldDef& f = kFields[std::size_t(fieldOfColumn(section))];
    if (role == Qt::DisplayRole) return f.gridTitleText().toString();
    // A column the lines are filtered by has its title underlined, which
    // takes no more room than the title has.
    if (role == Qt::FontRole && hasCondition(fieldOfColumn(section))) {
        QFont underlined = QApplication::font();
        underlined.setUnderline(true);
        return underlined;
    }
    if (role == Qt::TextAlignmentRole && f.gridTitleCentred) return QVariant(Qt::AlignCenter);
    return {};
}

Qt::ItemFlags DeclarationModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() > 0) f |= Qt::ItemIsEditable;
    return f;
}

bool DeclarationModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    refusal_ = QStringLiteral("La celda no se puede modificar.");
    if (role != Qt::EditRole || index.column() == 0 || !table_.isActive() ||
        index.row() >= rowCount())
        return false;
    const int field = fieldOfColumn(index.column());
    try {
        if (table_.row() != lineAt(index.row()) || table_.state() == RxMem::State::Browse) {
            table_.gotoBookmark(bookmarkAt(index.row()));
            table_.edit();
        }
        store(field, value.toString());
    } catch (const Error& e) {
        refreshIndicator();
        refusal_ = e.message();
        return false;
    }
    refusal_.clear();
    const int row = currentRow();
    if (row >= 0) emit dataChanged(this->index(row, 1), this->index(row, kColumns - 1));
    refreshIndicator();
    return true;
}

void DeclarationModel::store(int field, const QString& text) {
    // Read whole before the line is touched: a RUT and its check go in together.
    for (const TypedCell& cell : readTypedCell(field, text))
        table_.setTextOrClear(cell.field, cell.text);
}

bool DeclarationModel::isSelected(int row) const {
    return selected_.contains(bookmarkAt(row).slot);
}

QList<RxMem::Bookmark> DeclarationModel::selectedBookmarks() const {
    QList<std::pair<int, RxMem::Bookmark>> rows;
    for (std::uint32_t slot : selected_) {
        const RxMem::Bookmark b{slot};
        const int row = table_.rowOf(b);
        if (row >= 0) rows.append({row, b});
    }
    std::sort(rows.begin(), rows.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<RxMem::Bookmark> out;
    for (const auto& r : rows)
        out.append(r.second);
    return out;
}

void DeclarationModel::repaintRows(int first, int last) {
    if (first > last || rowCount() == 0) return;
    emit dataChanged(index(first, 0), index(last, kColumns - 1),
                     {Qt::BackgroundRole, Qt::ForegroundRole});
}

void DeclarationModel::showSaved() {
    repaintRows(0, rowCount() - 1);
}

void DeclarationModel::setBlockColumns(int first, int last) {
    if (first == blockFirst_ && last == blockLast_) return;
    blockFirst_ = first;
    blockLast_ = last;
    repaintRows(0, rowCount() - 1);
}

void DeclarationModel::clearSelection() {
    if (selected_.isEmpty()) return;
    selected_.clear();
    repaintRows(0, rowCount() - 1);
}

void DeclarationModel::selectOnly(int row) {
    clearSelection();
    toggleSelected(row);
}

void DeclarationModel::toggleSelected(int row) {
    if (row < 0 || row >= rowCount()) return;
    const std::uint32_t slot = bookmarkAt(row).slot;
    if (!selected_.remove(slot)) selected_.insert(slot);
    repaintRows(row, row);
}

void DeclarationModel::setSelected(int row, bool selected) {
    if (row < 0 || row >= rowCount() || isSelected(row) == selected) return;
    toggleSelected(row);
}

void DeclarationModel::selectLines(const std::vector<RxMem::Bookmark>& lines) {
    int first = INT_MAX, last = -1;
    for (const RxMem::Bookmark b : lines)
        if (const int row = rowOfLine(table_.rowOf(b)); row >= 0) {
            selected_.insert(b.slot);
            first = std::min(first, row);
            last = std::max(last, row);
        }
    repaintRows(first, last);
}

void DeclarationModel::selectRange(int from, int to) {
    clearSelection();
    const int first = std::max(0, std::min(from, to));
    const int last = std::min(rowCount() - 1, std::max(from, to));
    for (int r = first; r <= last; ++r)
        selected_.insert(bookmarkAt(r).slot);
    repaintRows(first, last);
}

void DeclarationModel::refreshIndicator() {
    if (rowCount() > 0) emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

// A line added while the lines are filtered or sorted shows too, where it
// was added; a line removed goes from the view.
void DeclarationModel::aboutToInsert(int line) {
    insertedAt_ = view_.lineInsertedAt(line);
    beginInsertRows({}, insertedAt_, insertedAt_);
}
void DeclarationModel::inserted(int line) {
    view_.lineInserted(line, insertedAt_);
    endInsertRows();
    refreshIndicator();
}
void DeclarationModel::aboutToRemove(int line) {
    removedAt_ = view_.viewRow(line);
    if (removedAt_ >= 0) beginRemoveRows({}, removedAt_, removedAt_);
}
void DeclarationModel::removed(int line) {
    view_.lineRemoved(line);
    if (removedAt_ >= 0) endRemoveRows();
    refreshIndicator();
}
void DeclarationModel::changed(int line) {
    changedRows(line, line);
}
void DeclarationModel::changedRows(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, lineCount() - 1);
    if (first > last) return refreshIndicator();
    // From column 0: the line number shows whether the line changed. In a
    // sorted view, lines apart in the file may be anywhere: every row shown.
    int top = first, bottom = last;
    if (isViewed()) {
        top = first == last ? rowOfLine(first) : 0;
        bottom = first == last ? top : rowCount() - 1;
    }
    if (top >= 0 && top <= bottom) emit dataChanged(index(top, 0), index(bottom, kColumns - 1));
    refreshIndicator();
    emit linesStored(first, last);
}
// Many lines at once (a deletion, its undo, a load): a view keeps the lines
// it showed that are still there; a closed or refilled table shows all.
void DeclarationModel::aboutToReset() {
    beginResetModel();
    view_.holdLines();
}
void DeclarationModel::reset() {
    selected_.clear();
    if (table_.isEmpty()) {
        view_.clear();
        conditions_.clear();
        sortField_ = -1;
    } else {
        view_.findLines();
    }
    endResetModel();
    emit viewChanged();
}

// ---- filters and sorting ------------------------------------------------------

std::vector<RxMem::Bookmark> DeclarationModel::shownLines() const {
    std::vector<RxMem::Bookmark> out;
    out.reserve(std::size_t(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        out.push_back(bookmarkAt(r));
    return out;
}

namespace {
bool sameCondition(const DeclarationModel::Condition& c, int field, const QString& name) {
    return field >= 0 ? c.field == field : c.field < 0 && c.name == name;
}
} // namespace

void DeclarationModel::addCondition(Condition condition) {
    auto same = std::find_if(conditions_.begin(), conditions_.end(), [&](const Condition& c) {
        return sameCondition(c, condition.field, condition.name);
    });
    if (same != conditions_.end())
        *same = std::move(condition);
    else
        conditions_.push_back(std::move(condition));
    rebuildView();
}

void DeclarationModel::dropCondition(int field, const QString& name) {
    const auto gone =
        std::remove_if(conditions_.begin(), conditions_.end(),
                       [&](const Condition& c) { return sameCondition(c, field, name); });
    if (gone == conditions_.end()) return;
    conditions_.erase(gone, conditions_.end());
    rebuildView();
}

bool DeclarationModel::hasCondition(int field, const QString& name) const {
    return std::any_of(conditions_.begin(), conditions_.end(),
                       [&](const Condition& c) { return sameCondition(c, field, name); });
}

QStringList DeclarationModel::conditionNames() const {
    QStringList out;
    for (const Condition& c : conditions_)
        out << c.name;
    return out;
}

void DeclarationModel::showAll() {
    conditions_.clear();
    sortField_ = -1;
    rebuildView();
}

void DeclarationModel::sortBy(int field, bool descending) {
    sortField_ = field;
    sortDescending_ = descending;
    rebuildView();
}

void DeclarationModel::rebuildView() {
    beginResetModel();
    selected_.clear();
    view_.clear();
    for (const Condition& c : conditions_)
        view_.filter(c.keep);
    if (sortField_ >= 0) view_.sortBy(sortField_, sortDescending_);
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
    emit viewChanged();
}

std::vector<LineView::Count> DeclarationModel::valuesOf(int field) const {
    LineView others(table_);
    for (const Condition& c : conditions_)
        if (c.field != field) others.filter(c.keep);
    return others.distinctValues(field);
}

void DeclarationModel::showLines(const std::vector<RxMem::Bookmark>& lines) {
    if (!isViewed() || lines.empty()) return;
    std::vector<int> rows;
    for (const RxMem::Bookmark b : lines)
        if (const int line = table_.rowOf(b); line >= 0) rows.push_back(line);
    beginResetModel();
    view_.showLines(rows);
    endResetModel();
    emit viewChanged();
}

// A line as the user finds it in the grid: its number and the worker's RUT,
// grouped as people write it ("Línea 9, RUT 12.345.678-5").
QString DeclarationModel::describeLine(int row) const {
    const RxMem& table = table_;
    const QString rut = shownRut(table.textAt(row, fieldIndex(Field::Rut)),
                                 table.textAt(row, fieldIndex(Field::Dv)));
    const QString number = QLocale(QLocale::Spanish, QLocale::Chile).toString(row + 1);
    return rut.isEmpty() ? QStringLiteral("Línea %1, sin RUT").arg(number)
                         : QStringLiteral("Línea %1, RUT %2").arg(number, rut);
}
