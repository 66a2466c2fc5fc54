#pragma once

#include "LineChecks.h"
#include "engine/model/RxMem.h"

#include <bitset>
#include <cstdint>
#include <vector>

namespace solvanta {

class Progress;

// The problems the line checks found in a table, kept compactly for a
// window: per line with problems its bookmark (so the line numbers follow
// inserted and deleted lines) and the cells with a problem; per problem two
// bytes, its field and what is wrong there. The texts are made from the line
// when they are shown (`spell`). A line keeps at most `kKeptPerLine`
// problems, in field order; the rest are counted, and their cells are known.
//
// The entries, in line order and within a line in field order, are the
// problems kept and, after those of a line with more, one entry that counts
// the others.
class ProblemStore {
    struct Line {
        std::uint32_t slot;  // the line's bookmark
        std::uint32_t first; // its first entry
        std::bitset<kFieldCount> cells;
    };
    struct Item {
        unsigned char field; // for the count entry: how many more
        unsigned char what;  // Finding::What, or kMore
    };
    static constexpr unsigned char kMore = 0xff;

public:
    static constexpr int kKeptPerLine = 32;

    explicit ProblemStore(const RxMem& table) : table_(table) {}

    // What checking some rows again found, to be put in place of what the
    // store holds for them (`replace`).
    class Checked {
        friend class ProblemStore;
        int first_ = 0, last_ = -1;
        std::vector<Line> lines_;
        std::vector<Item> items_;
        std::int64_t problems_ = 0;
    };
    // Checks the rows `first` to `last` (0-based, cut to the table) without
    // changing the store. Progress counts lines; when it asks to stop,
    // Cancelled is thrown.
    Checked check(const LineChecker& checker, int first, int last,
                  Progress* progress = nullptr) const;
    // Whether putting it in place changes anything (problems before or after).
    bool changes(const Checked& checked) const;
    void replace(Checked&& checked);
    // Whether some lines with problems are no longer in the table.
    bool hasDeletedLines() const;
    // Forgets their problems; false when there were none.
    bool dropDeletedLines();
    void clear();

    // Every problem found, those not kept included.
    std::int64_t problemCount() const { return problems_; }
    int lineCount() const { return int(lines_.size()); }
    // Whether the line's cell has a problem, kept or only counted.
    bool hasProblem(std::uint32_t slot, int field) const;
    // Whether the table's row has a problem.
    bool rowHasProblem(int row) const;

    struct Entry {
        RxMem::Bookmark line;
        int field = 0; // of the problem; for a count, the first cell not listed
        Finding finding;
        int more = 0; // a count: how many problems of the line are not listed
    };
    int entryCount() const { return int(items_.size()); }
    Entry entry(int i) const;
    // The problem of entry `i` with its texts, its line numbered as the
    // table stands now (nothing for a count or a line that is gone).
    LineProblem spell(int i) const;

    // What the store takes in memory, roughly.
    std::size_t bytesUsed() const;

private:
    int lineOfEntry(int i) const;
    std::int64_t problemsOf(std::size_t fromItem, std::size_t toItem) const;

    const RxMem& table_;
    std::vector<Line> lines_; // in line order
    std::vector<Item> items_;
    std::int64_t problems_ = 0;
    // The line of the last slot asked about (a screen of cells asks about the
    // same line again and again); -1 without problems.
    mutable std::uint32_t lastSlot_ = UINT32_MAX;
    mutable int lastLine_ = -1;
};

} // namespace solvanta
