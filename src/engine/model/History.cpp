#include "History.h"

#include "FieldTable.h"
#include "Record.h"

namespace solvanta {

std::size_t HistoryStep::bytes() const {
    return sizeof(HistoryStep) + lineSlots.capacity() * sizeof(std::uint32_t) +
           rows.capacity() * sizeof(std::int32_t) + fields.capacity() * sizeof(std::int16_t) +
           before.capacity() + after.capacity();
}

void History::clear() {
    steps_.clear();
    done_ = saved_ = bytes_ = 0;
}

void History::push(HistoryStep step) {
    while (steps_.size() > done_) {
        bytes_ -= steps_.back().bytes();
        steps_.pop_back();
    }
    if (saved_ != kNever && saved_ > done_)
        saved_ = kNever; // the saved state was undone and is gone
    bytes_ += step.bytes();
    steps_.push_back(std::move(step));
    ++done_;
    // The oldest change goes whole, every step joined to it included.
    while (bytes_ > kLimit && steps_.size() > 1) {
        do {
            bytes_ -= steps_.front().bytes();
            steps_.pop_front();
            --done_;
            saved_ = saved_ == 0 || saved_ == kNever ? kNever : saved_ - 1;
        } while (!steps_.empty() && steps_.front().joined && done_ > 0);
    }
}

// ---- change marks -------------------------------------------------------------

void ChangeMarks::reset(const std::vector<bool>& live) {
    head_.assign(live.size(), kAdded);
    savedLines_ = 0;
    for (std::size_t i = 0; i < live.size(); ++i)
        if (live[i]) {
            head_[i] = kSame;
            ++savedLines_;
        }
    entries_.clear();
    entries_.shrink_to_fit();
    images_.clear();
    images_.shrink_to_fit();
}

void ChangeMarks::clear() {
    reset({});
}

const ChangeMarks::Entry* ChangeMarks::find(std::uint32_t slot, int field) const {
    for (std::int32_t e = head_[slot]; e >= 0; e = entries_[std::size_t(e)].next)
        if (entries_[std::size_t(e)].field == field) return &entries_[std::size_t(e)];
    return nullptr;
}

void ChangeMarks::noteOld(std::uint32_t slot, int field, const std::byte* record) {
    if (head_[slot] == kAdded || find(slot, field)) return;
    const std::size_t at = images_.size();
    images_.resize(at + fieldImageSize(field));
    copyFieldImage(record, field, images_.data() + at);
    entries_.push_back({head_[slot] == kSame ? -1 : head_[slot], field, std::uint32_t(at)});
    head_[slot] = std::int32_t(entries_.size() - 1);
}

void ChangeMarks::noteOldLine(std::uint32_t slot, const std::byte* before, const std::byte* after) {
    if (head_[slot] == kAdded) return;
    for (int f = 0; f < kFieldCount; ++f)
        if (!sameFieldValue(before, after, f)) noteOld(slot, f, before);
}

bool ChangeMarks::cellDiffers(std::uint32_t slot, int field, const std::byte* record) const {
    const std::int32_t h = head_[slot];
    if (h == kSame) return false;
    if (h == kAdded) return true;
    const Entry* e = find(slot, field);
    return e && !fieldHasImage(record, field, images_.data() + e->image);
}

bool ChangeMarks::lineDiffers(std::uint32_t slot, const std::byte* record) const {
    const std::int32_t h = head_[slot];
    if (h == kSame) return false;
    if (h == kAdded) return true;
    for (std::int32_t e = h; e >= 0; e = entries_[std::size_t(e)].next) {
        const Entry& x = entries_[std::size_t(e)];
        if (!fieldHasImage(record, x.field, images_.data() + x.image)) return true;
    }
    return false;
}

} // namespace solvanta
