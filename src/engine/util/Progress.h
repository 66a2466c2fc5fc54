#pragma once

#include <QtGlobal>

namespace solvanta {

// Long work (reading, writing, exporting) reports how far it got; returning
// false asks it to stop.
class Progress {
public:
    virtual ~Progress() = default;
    virtual bool update(qint64 done, qint64 total) = 0;
};

// One step of a longer work, shown as the share `from` to `to` (of 1000) of
// the whole: the step reports its own progress, from 0 to its own total.
class ProgressPart : public Progress {
public:
    ProgressPart(Progress& whole, int from, int to) : whole_(whole), from_(from), to_(to) {}
    bool update(qint64 done, qint64 total) override {
        const qint64 share = total > 0 ? (to_ - from_) * done / total : to_ - from_;
        return whole_.update(from_ + share, 1000);
    }

private:
    Progress& whole_;
    int from_, to_;
};

} // namespace solvanta
