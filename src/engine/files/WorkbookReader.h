#pragma once

#include "SheetRows.h"

#include <QString>
#include <QtGlobal>

#include <memory>

namespace solvanta {

// How much of a workbook the reader accepts before it gives up: the bytes
// unpacked from the zip, counted as they come out (the sizes the zip declares
// can lie), and the shared texts it keeps in memory for the whole sheet.
struct WorkbookLimits {
    qint64 unpackedBytes = qint64(2) << 30; // 2 GiB, all parts together
    qint64 sharedChars = 100'000'000;       // characters of all shared texts
    qint64 sharedCount = 50'000'000;        // number of shared texts
};

// openWorkbook() with other limits than the usual ones (tests use small ones
// to check the refusal without unpacking gigabytes).
std::unique_ptr<SheetRows> openWorkbook(const QString& path, const WorkbookLimits& limits);

} // namespace solvanta
