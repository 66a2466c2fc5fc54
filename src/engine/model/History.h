#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

// What the declaration table keeps so that changes can be taken back and
// repeated, and so that the cells changed since the last load or write can
// be shown. Lines are known by their storage lineSlots, which stay valid (and
// keep their bytes) while the line is deleted, so a deletion keeps only slot
// numbers and rows.
namespace solvanta {

struct HistoryStep {
    enum class Kind : std::uint8_t {
        Line,   // one line stored in place: its bytes before and after
        Insert, // one new line stored: its slot and row
        Delete, // lines deleted: their lineSlots and rows, ascending
        Field,  // one field given one value on many lines: the old values
        Cells,  // cells given each its own value: per cell its slot, field and images
    };
    Kind kind = Kind::Line;
    // Taken back and repeated with the step before it, as one change.
    bool joined = false;
    int field = -1;                       // Field
    std::vector<std::int16_t> fields;     // Cells: the field of each cell
    std::vector<std::uint32_t> lineSlots; // in line order
    std::vector<std::int32_t> rows;       // Insert, Delete: rows the lines had (ascending)
    std::vector<std::byte> before; // Line: whole line; Field: one image per slot; Cells: per cell
    std::vector<std::byte> after;  // Line: whole line; Field: the one new image; Cells: per cell

    std::size_t bytes() const;
};

// The undo steps with the position of the present state among them.
class History {
public:
    static constexpr std::size_t kNever = SIZE_MAX;

    void clear();
    bool canUndo() const { return done_ > 0; }
    bool canRedo() const { return done_ < steps_.size(); }
    // Adds a step after the present one, dropping the steps that were undone.
    void push(HistoryStep step);
    // The same, the step left to be redone: a step read back from a journal,
    // which the table then applies as a redo.
    void pushToRedo(HistoryStep step) {
        push(std::move(step));
        --done_;
    }
    // The step just pushed.
    const HistoryStep& last() const { return steps_.back(); }
    HistoryStep& undoStep() { return steps_[--done_]; }
    HistoryStep& redoStep() { return steps_[done_++]; }
    // The step a redo would repeat goes with the one before it.
    bool redoIsJoined() const { return canRedo() && steps_[done_].joined; }
    // The present state is the saved one (just loaded or written).
    void markSaved() { saved_ = done_; }
    bool atSaved() const { return saved_ == done_; }
    std::size_t bytes() const { return bytes_; }

    // Beyond this many bytes the oldest steps are forgotten.
    static constexpr std::size_t kLimit = std::size_t(512) << 20;

private:
    std::deque<HistoryStep> steps_;
    std::size_t done_ = 0;  // steps applied; the rest can be redone
    std::size_t saved_ = 0; // value of done_ when last saved; kNever when lost
    std::size_t bytes_ = 0;
};

// Per line, the values its cells had at the last load or write, for the
// cells changed since; a line added since has no such values. Only the first
// change of a cell keeps its old value, so the cost follows the number of
// changed cells, not of lines.
class ChangeMarks {
public:
    // Every slot for which `live` is set holds a saved line, unchanged.
    void reset(const std::vector<bool>& live);
    void clear();
    void addSlot() { head_.push_back(kAdded); }
    // Before a cell changes: keeps its present value if it is the cell's
    // first change since the reference.
    void noteOld(std::uint32_t slot, int field, const std::byte* record);
    void noteOldLine(std::uint32_t slot, const std::byte* before, const std::byte* after);
    bool isAdded(std::uint32_t slot) const { return head_[slot] == kAdded; }
    bool cellDiffers(std::uint32_t slot, int field, const std::byte* record) const;
    bool lineDiffers(std::uint32_t slot, const std::byte* record) const;
    std::size_t savedLines() const { return savedLines_; }
    std::size_t bytes() const {
        return head_.capacity() * sizeof(std::int32_t) + entries_.capacity() * sizeof(Entry) +
               images_.capacity();
    }

private:
    static constexpr std::int32_t kAdded = -2;
    static constexpr std::int32_t kSame = -1;
    struct Entry {
        std::int32_t next;
        std::int32_t field;
        std::uint32_t image; // offset in images_
    };
    const Entry* find(std::uint32_t slot, int field) const;

    std::vector<std::int32_t> head_; // per slot: kAdded, kSame or first entry
    std::vector<Entry> entries_;
    std::vector<std::byte> images_;
    std::size_t savedLines_ = 0;
};

} // namespace solvanta
