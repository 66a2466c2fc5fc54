#include "LineView.h"

#include "FindReplace.h"
#include "LineChecks.h"
#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/util/DateText.h"
#include "engine/util/PeriodText.h"
#include "engine/util/StrUtil.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace solvanta {

void LineView::clear() {
    rows_ = {};
    back_ = {};
    filtered_ = false;
    held_ = false;
    sortField_ = -1;
    sortDescending_ = false;
}

void LineView::materialise() {
    if (!rows_.empty() || filtered_) return;
    rows_.resize(std::size_t(table_.recordCount()));
    std::iota(rows_.begin(), rows_.end(), 0);
}

void LineView::filter(const std::function<bool(int row)>& keep) {
    materialise();
    rows_.erase(std::remove_if(rows_.begin(), rows_.end(), [&](int row) { return !keep(row); }),
                rows_.end());
    rows_.shrink_to_fit();
    filtered_ = true;
    back_ = {};
}

namespace {

// A cell as sorting compares it: a number (periods and dates as YYYYMM and
// YYYYMMDD), else a text; an empty cell after every other.
struct SortKey {
    bool empty = false;
    double number = 0;
    QString text;
};

std::vector<SortKey> sortKeys(const RxMem& table, const std::vector<std::int32_t>& rows,
                              int field) {
    const FieldDef& f = kFields[std::size_t(field)];
    const TextShape shape = f.kind == Kind::Text ? textShapeOf(field) : TextShape::Plain;
    const datetext::ExactReader dates;
    std::vector<SortKey> keys(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RecordView line = table.recordAt(rows[i]);
        SortKey& k = keys[i];
        if (f.kind != Kind::Text) {
            k.empty = !line.hasValue(field);
            k.number = f.kind == Kind::Integer ? line.integer(field) : line.number(field);
            continue;
        }
        const std::string_view bytes = line.textBytes(field);
        if (shape != TextShape::Plain) {
            const std::optional<int> when =
                shape == TextShape::Date ? dates.read(bytes) : periodtext::read(bytes);
            k.empty =
                !when &&
                QString::fromLatin1(bytes.data(), qsizetype(bytes.size())).trimmed().isEmpty();
            // A value that is no period or date goes after the real ones.
            k.number = when ? *when : std::numeric_limits<double>::max();
            continue;
        }
        k.text = searchKey(line.text(field));
        k.empty = k.text.isEmpty();
    }
    return keys;
}

} // namespace

void LineView::sortBy(int field, bool descending) {
    materialise();
    const std::vector<SortKey> keys = sortKeys(table_, rows_, field);
    const bool numeric =
        kFields[std::size_t(field)].kind != Kind::Text || textShapeOf(field) != TextShape::Plain;
    std::vector<std::int32_t> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::int32_t a, std::int32_t b) {
        const SortKey& x = keys[std::size_t(a)];
        const SortKey& y = keys[std::size_t(b)];
        if (x.empty != y.empty) return y.empty; // empty cells last, either way
        if (x.empty) return false;
        if (numeric) return descending ? y.number < x.number : x.number < y.number;
        const int c = QString::compare(x.text, y.text);
        return descending ? c > 0 : c < 0;
    });
    std::vector<std::int32_t> sorted(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        sorted[i] = rows_[std::size_t(order[i])];
    rows_ = std::move(sorted);
    back_ = {};
    sortField_ = field;
    sortDescending_ = descending;
}

// In file order, a new line takes its place among the lines shown; in a
// sorted view it shows where it was inserted, before the line it went in
// front of, or last.
int LineView::lineInsertedAt(int row) const {
    if (isWhole()) return row;
    if (!isSorted()) return int(std::lower_bound(rows_.begin(), rows_.end(), row) - rows_.begin());
    const int before = viewRow(row);
    return before >= 0 ? before : int(rows_.size());
}

void LineView::lineInserted(int row, int at) {
    if (isWhole()) return;
    for (std::int32_t& r : rows_)
        if (r >= row) ++r;
    rows_.insert(rows_.begin() + at, row);
    back_ = {};
}

void LineView::lineRemoved(int row) {
    if (isWhole()) return;
    rows_.erase(std::remove(rows_.begin(), rows_.end(), row), rows_.end());
    for (std::int32_t& r : rows_)
        if (r > row) --r;
    back_ = {};
}

void LineView::holdLines() {
    if (isWhole() || held_) return;
    for (std::int32_t& r : rows_)
        r = std::int32_t(table_.bookmarkAt(r).slot);
    held_ = true;
    back_ = {};
}

void LineView::findLines() {
    if (!held_) return;
    held_ = false;
    for (std::int32_t& r : rows_)
        r = table_.rowOf(RxMem::Bookmark{std::uint32_t(r)});
    rows_.erase(std::remove(rows_.begin(), rows_.end(), -1), rows_.end());
    back_ = {};
}

void LineView::showLines(const std::vector<int>& rows) {
    if (isWhole() || rows.empty()) return;
    std::vector<int> added;
    for (const int row : rows)
        if (viewRow(row) < 0) added.push_back(row);
    if (added.empty()) return;
    std::sort(added.begin(), added.end());
    const std::size_t shown = rows_.size();
    rows_.insert(rows_.end(), added.begin(), added.end());
    if (isSorted())
        sortBy(sortField_, sortDescending_);
    else
        std::inplace_merge(rows_.begin(), rows_.begin() + std::ptrdiff_t(shown), rows_.end());
    back_ = {};
}

int LineView::count() const {
    return isWhole() ? table_.recordCount() : int(rows_.size());
}

int LineView::tableRow(int viewRow) const {
    return isWhole() ? viewRow : rows_[std::size_t(viewRow)];
}

int LineView::viewRow(int tableRow) const {
    if (isWhole()) return tableRow;
    if (back_.empty()) {
        back_.assign(std::size_t(table_.recordCount()), -1);
        for (std::size_t i = 0; i < rows_.size(); ++i)
            back_[std::size_t(rows_[i])] = std::int32_t(i);
    }
    return tableRow >= 0 && std::size_t(tableRow) < back_.size() ? back_[std::size_t(tableRow)]
                                                                 : -1;
}

std::vector<int> LineView::rows() const {
    std::vector<int> out(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        out[std::size_t(i)] = tableRow(i);
    return out;
}

std::vector<LineView::Count> LineView::distinctValues(int field) const {
    // Each value with the first line that holds it; the values then in the
    // order of those lines sorted by the field.
    QHash<QString, std::pair<int, int>> seen; // text -> first row, lines
    for (int i = 0; i < count(); ++i) {
        const int row = tableRow(i);
        auto it = seen.find(shownCellText(table_, row, field));
        if (it == seen.end())
            seen.insert(shownCellText(table_, row, field), {row, 1});
        else
            ++it->second;
    }
    LineView order(table_);
    QHash<int, const QString*> textOf;
    for (auto it = seen.cbegin(); it != seen.cend(); ++it) {
        order.rows_.push_back(it->first);
        textOf.insert(it->first, &it.key());
    }
    order.filtered_ = true;
    order.sortBy(field, false);
    std::vector<Count> out;
    out.reserve(order.rows_.size());
    for (const std::int32_t row : order.rows_) {
        const QString& text = *textOf.value(row);
        out.push_back({text, seen.value(text).second});
    }
    return out;
}

} // namespace solvanta
