#include "ProblemStore.h"

#include "engine/util/Errors.h"
#include "engine/util/Progress.h"

#include <algorithm>

namespace solvanta {
namespace {

constexpr int kProgressEvery = 1024; // lines between progress reports

} // namespace

ProblemStore::Checked ProblemStore::check(const LineChecker& checker, int first, int last,
                                          Progress* progress) const {
    Checked c;
    c.first_ = std::max(first, 0);
    c.last_ = std::min(last, table_.recordCount() - 1);
    if (c.first_ > c.last_) return c;
    std::vector<Finding> found; // one line's, reused
    const int total = c.last_ - c.first_ + 1;
    for (int r = c.first_; r <= c.last_; ++r) {
        found.clear();
        checker.findRow(table_, r, found);
        if (!found.empty()) {
            Line line{table_.bookmarkAt(r).slot, std::uint32_t(c.items_.size()), {}};
            const std::size_t kept = std::min(found.size(), std::size_t(kKeptPerLine));
            for (std::size_t i = 0; i < found.size(); ++i) {
                line.cells.set(found[i].field);
                if (i < kept) c.items_.push_back({found[i].field, found[i].what});
            }
            if (found.size() > kept)
                c.items_.push_back({static_cast<unsigned char>(found.size() - kept), kMore});
            c.lines_.push_back(line);
            c.problems_ += std::int64_t(found.size());
        }
        if (progress && (r - c.first_ + 1) % kProgressEvery == 0 &&
            !progress->update(r - c.first_ + 1, total))
            throw Cancelled();
    }
    if (progress) progress->update(total, total);
    return c;
}

namespace {

// The lines of the store whose rows are first to last, as iterators: the
// lines stand in row order, so those rows are one run.
template <typename Lines> auto rowRun(const RxMem& table, Lines& lines, int first, int last) {
    const auto before = [&table](int row) {
        return [&table, row](const auto& l) { return table.rowOf({l.slot}) < row; };
    };
    const auto from = std::partition_point(lines.begin(), lines.end(), before(first));
    const auto to = std::partition_point(from, lines.end(), before(last + 1));
    return std::pair(from, to);
}

} // namespace

bool ProblemStore::changes(const Checked& checked) const {
    if (!checked.lines_.empty()) return true;
    if (checked.first_ > checked.last_) return false;
    const auto [from, to] = rowRun(table_, lines_, checked.first_, checked.last_);
    return from != to;
}

std::int64_t ProblemStore::problemsOf(std::size_t fromItem, std::size_t toItem) const {
    std::int64_t n = 0;
    for (std::size_t i = fromItem; i < toItem; ++i)
        n += items_[i].what == kMore ? items_[i].field : 1;
    return n;
}

void ProblemStore::replace(Checked&& c) {
    lastSlot_ = UINT32_MAX;
    if (c.first_ > c.last_) return;
    const auto [from, to] = rowRun(table_, lines_, c.first_, c.last_);
    const std::size_t itemFrom = from == lines_.end() ? items_.size() : from->first;
    const std::size_t itemTo = to == lines_.end() ? items_.size() : to->first;
    problems_ += c.problems_ - problemsOf(itemFrom, itemTo);
    if (from == lines_.begin() && to == lines_.end()) {
        // Every line with problems was checked: the new ones take their place.
        lines_.swap(c.lines_);
        items_.swap(c.items_);
        c = Checked();
        lines_.shrink_to_fit();
        items_.shrink_to_fit();
        return;
    }
    for (Line& l : c.lines_)
        l.first += std::uint32_t(itemFrom);
    const std::ptrdiff_t at = from - lines_.begin();
    const std::ptrdiff_t delta =
        std::ptrdiff_t(c.items_.size()) - std::ptrdiff_t(itemTo - itemFrom);
    lines_.erase(from, to);
    lines_.insert(lines_.begin() + at, c.lines_.begin(), c.lines_.end());
    for (auto l = lines_.begin() + at + std::ptrdiff_t(c.lines_.size()); l != lines_.end(); ++l)
        l->first = std::uint32_t(std::ptrdiff_t(l->first) + delta);
    items_.erase(items_.begin() + std::ptrdiff_t(itemFrom),
                 items_.begin() + std::ptrdiff_t(itemTo));
    items_.insert(items_.begin() + std::ptrdiff_t(itemFrom), c.items_.begin(), c.items_.end());
}

bool ProblemStore::hasDeletedLines() const {
    return std::any_of(lines_.begin(), lines_.end(),
                       [&](const Line& l) { return table_.rowOf({l.slot}) < 0; });
}

bool ProblemStore::dropDeletedLines() {
    const auto gone = [&](const Line& l) { return table_.rowOf({l.slot}) < 0; };
    if (!hasDeletedLines()) return false;
    lastSlot_ = UINT32_MAX;
    std::size_t keptLines = 0, keptItems = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::size_t end = i + 1 < lines_.size() ? lines_[i + 1].first : items_.size();
        if (gone(lines_[i])) {
            problems_ -= problemsOf(lines_[i].first, end);
            continue;
        }
        const std::size_t begin = lines_[i].first;
        lines_[keptLines] = lines_[i];
        lines_[keptLines].first = std::uint32_t(keptItems);
        ++keptLines;
        std::copy(items_.begin() + std::ptrdiff_t(begin), items_.begin() + std::ptrdiff_t(end),
                  items_.begin() + std::ptrdiff_t(keptItems));
        keptItems += end - begin;
    }
    lines_.resize(keptLines);
    items_.resize(keptItems);
    return true;
}

void ProblemStore::clear() {
    lastSlot_ = UINT32_MAX;
    lines_ = {};
    items_ = {};
    problems_ = 0;
}

bool ProblemStore::rowHasProblem(int row) const {
    const auto [from, to] = rowRun(table_, lines_, row, row);
    return from != to;
}

bool ProblemStore::hasProblem(std::uint32_t slot, int field) const {
    if (lines_.empty()) return false;
    if (slot != lastSlot_) {
        lastSlot_ = slot;
        lastLine_ = -1;
        const int row = table_.rowOf({slot});
        if (row >= 0) {
            const auto [from, to] = rowRun(table_, lines_, row, row);
            if (from != to) lastLine_ = int(from - lines_.begin());
        }
    }
    return lastLine_ >= 0 && lines_[std::size_t(lastLine_)].cells.test(std::size_t(field));
}

int ProblemStore::lineOfEntry(int i) const {
    const auto after = std::upper_bound(lines_.begin(), lines_.end(), std::uint32_t(i),
                                        [](std::uint32_t e, const Line& l) { return e < l.first; });
    return int(after - lines_.begin()) - 1;
}

ProblemStore::Entry ProblemStore::entry(int i) const {
    const Line& line = lines_[std::size_t(lineOfEntry(i))];
    const Item item = items_[std::size_t(i)];
    Entry e;
    e.line = RxMem::Bookmark{line.slot};
    if (item.what != kMore) {
        e.field = item.field;
        e.finding = {item.field, Finding::What(item.what)};
        return e;
    }
    // The first cell with a problem after those listed.
    e.more = item.field;
    const int listed = i > int(line.first) ? items_[std::size_t(i) - 1].field : -1;
    for (int f = listed + 1; f < kFieldCount; ++f)
        if (line.cells.test(std::size_t(f))) {
            e.field = f;
            break;
        }
    return e;
}

LineProblem ProblemStore::spell(int i) const {
    const Entry e = entry(i);
    const int row = table_.rowOf(e.line);
    if (e.more > 0 || row < 0) return {};
    return LineChecker::spellRow(table_, row, e.finding);
}

std::size_t ProblemStore::bytesUsed() const {
    return lines_.capacity() * sizeof(Line) + items_.capacity() * sizeof(Item);
}

} // namespace solvanta
