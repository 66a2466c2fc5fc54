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

} // namespace solvanta
