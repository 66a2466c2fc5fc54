#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace solvanta {

class RxMem;

// Which lines of the table a listing shows, and in what order, without
// touching the table: the file keeps its own order, and its line numbers
// stay those of the file. Holds one row number per shown line (four bytes a
// line) and, once asked, the way back (four more); nothing when every line
// shows in file order.
class LineView {
public:
    explicit LineView(const RxMem& table) : table_(table) {}

    // Every line, in file order.
    void clear();
    bool isWhole() const { return rows_.empty() && !filtered_; }
    bool isSorted() const { return sortField_ >= 0; }
    int sortField() const { return sortField_; }
    bool sortDescending() const { return sortDescending_; }

    // Keeps the lines, among those shown, for which `keep(row)` holds, in
    // the order they are shown.
    void filter(const std::function<bool(int row)>& keep);

    // Orders the lines shown by one field, in time order for periods and
    // dates, numbers as numbers, texts without regard to case or accents;
    // lines that hold the same value keep their order. Empty cells go last.
    void sortBy(int field, bool descending);

    // Following the table as lines come and go, so that a view stays on the
    // lines it showed. A line inserted at `row` shows at `at` (a view row;
    // lineInsertedAt() gives where it belongs); a removed line goes.
    int lineInsertedAt(int row) const;
    void lineInserted(int row, int at);
    void lineRemoved(int row);
    // Across a change that moves many lines at once: the view holds its
    // lines by bookmark meanwhile, and drops those that are gone.
    void holdLines();
    void findLines();
    // Lines that came back (an undo) show again, where the view's order
    // puts them.
    void showLines(const std::vector<int>& rows);

    int count() const;
    int tableRow(int viewRow) const;
    int viewRow(int tableRow) const; // -1 when the line is not shown

    // The lines shown, in the order shown.
    std::vector<int> rows() const;

    // The values of one field among the lines shown, as the listing shows
    // them, with how many lines hold each, in the order of sortBy.
    struct Count {
        QString text;
        int lines;
    };
    std::vector<Count> distinctValues(int field) const;

    std::size_t bytes() const {
        return (rows_.capacity() + back_.capacity()) * sizeof(std::int32_t);
    }

private:
    void materialise();

    const RxMem& table_;
    std::vector<std::int32_t> rows_; // empty and not filtered: every line in file order
    bool filtered_ = false;
    bool held_ = false; // rows_ holds bookmark slots, between holdLines() and findLines()
    int sortField_ = -1;
    bool sortDescending_ = false;
    mutable std::vector<std::int32_t> back_; // table row -> view row, made when first asked
};

} // namespace solvanta
