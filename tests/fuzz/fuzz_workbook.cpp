// libFuzzer harness: any bytes, opened as an .xlsx workbook and read to the
// last row. The reader must either give rows or throw IoError; anything
// else thrown, a crash or a sanitizer report is a finding. Rows must count
// up from 1 and stay inside a sheet's 16,384 columns.

#include "FuzzSupport.h"
#include "engine/files/SheetRows.h"
#include "engine/files/WorkbookReader.h"
#include "engine/util/Errors.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static const QString path = fuzz::scratchFile("libro.xlsx");
    fuzz::writeFile(path, bytes);
    // Small limits: an input that unpacks far is refused quickly, so the
    // fuzzer spends its time on the parsing.
    solvanta::WorkbookLimits limits;
    limits.unpackedBytes = 64 << 20;
    limits.sharedChars = 1 << 20;
    limits.sharedCount = 1 << 18;
    try {
        auto rows = solvanta::openWorkbook(path, limits);
        std::vector<solvanta::SheetCell> cells;
        qint64 previous = 0;
        while (rows->next(cells)) {
            FUZZ_CHECK(rows->rowNumber() == previous + 1, fuzz::shown(bytes));
            FUZZ_CHECK(cells.size() <= 16384, fuzz::shown(bytes));
            previous = rows->rowNumber();
        }
        FUZZ_CHECK(rows->bytesRead() <= rows->bytesTotal(), fuzz::shown(bytes));
    } catch (const solvanta::IoError& e) {
        FUZZ_CHECK(!e.message().isEmpty(), fuzz::shown(bytes));
    } catch (const std::exception& e) {
        fuzz::failed(__FILE__, __LINE__, "only IoError is thrown",
                     QString::fromUtf8(e.what()) + u'\n' + fuzz::shown(bytes));
    }
    return 0;
}
