// libFuzzer harness for the .csv reader: any bytes, as a file, read to the
// end. Properties:
// - the reader either gives rows or throws IoError; nothing else escapes,
//   and rowNumber() counts the rows it gave;
// - after the last row every byte of the file has been read;
// - a plain file (no quotes, NUL or CR, and no separator but ";") is split
//   exactly at its ";" and line feeds: the cells joined again with ";" and
//   the rows with "\n" give the file's text. Such a file may only be refused
//   for its encoding (UTF-16, or UTF-8 mixed with other bytes);
// - the rows as bytes, the way an import reads them, are the same rows:
//   decoded, the same cells; refused, the same message;
// - a cell's bytes that the import puts straight into a field end up there
//   as typing the decoded cell would leave them.

#include "FuzzSupport.h"
#include "engine/files/SheetRows.h"
#include "engine/files/SheetImport.h"
#include "engine/model/PlainCells.h"
#include "engine/model/RxMem.h"
#include "engine/model/TypedCell.h"
#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"

#include <QStringDecoder>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string_view>

using namespace solvanta;

namespace {

bool plain(std::string_view bytes) {
    for (const char c : bytes)
        if (c == '"' || c == '\0' || c == '\r' || c == ',' || c == '\t') return false;
    return true;
}

// The file's text, when it is UTF-8 as a whole or else Windows-1252, without
// the byte-order mark and the last line feed.
QString text(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString out = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (utf8.hasError()) out = cp1252::decode(bytes);
    if (out.endsWith(u'\n')) out.chop(1);
    return out;
}

// The cell's bytes put straight into `field`, against typing the decoded
// cell.
void plainAsTyped(RxMem& table, const PlainCells& plain, const SheetRows& sheet,
                  std::string_view bytes, int field, std::string_view input) {
    std::string padded(bytes);
    padded.append(PlainCells::kPlainSlack, 'x');
    table.append();
    RecordRef line = table.pending();
    const bool taken = plain.put(line, field, std::string_view(padded.data(), bytes.size()));
    table.post();
    if (!taken) return;
    const RecordView straight = table.recordAt(table.recordCount() - 1);
    table.append();
    try {
        for (const TypedCell& v : sheetCellValue(sheet.decodeCell(bytes), field))
            table.setTextOrClear(v.field, v.text);
    } catch (const ConversionError& e) {
        FUZZ_CHECK(false, e.message() + u'\n' + fuzz::shown(input));
    }
    table.post();
    const RecordView typed = table.recordAt(table.recordCount() - 1);
    for (int g = 0; g < kFieldCount; ++g)
        FUZZ_CHECK(sameFieldValue(straight.data(), typed.data(), g),
                   QString::number(field) + u' ' + QString::number(g) + u'\n' +
                       fuzz::shown(input));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QString path = fuzz::scratchFile("entrada.csv");
    fuzz::writeFile(path, bytes);

    QStringList rows;
    QString error;
    try {
        const auto sheet = openCsv(path);
        std::vector<SheetCell> cells;
        while (sheet->next(cells)) {
            QStringList texts;
            for (const SheetCell& cell : cells) {
                FUZZ_CHECK(cell.type == SheetCell::Type::Text ||
                               cell.type == SheetCell::Type::Empty,
                           fuzz::shown(bytes));
                FUZZ_CHECK((cell.type == SheetCell::Type::Text) == !cell.text.isEmpty(),
                           fuzz::shown(bytes));
                texts.append(cell.text);
            }
            rows.append(texts.join(u';'));
            FUZZ_CHECK(sheet->rowNumber() == rows.size(), fuzz::shown(bytes));
        }
        FUZZ_CHECK(sheet->bytesRead() == sheet->bytesTotal() && sheet->bytesTotal() == qint64(size),
                   fuzz::shown(bytes));
    } catch (const IoError& e) {
        error = e.message();
        FUZZ_CHECK(error.contains(QLatin1String("entrada.csv")), error);
    } catch (const std::exception& e) {
        FUZZ_CHECK(false, QString::fromUtf8(e.what()) + u'\n' + fuzz::shown(bytes));
    }

    QStringList byteRows;
    QString byteError;
    try {
        const auto sheet = openCsv(path);
        RxMem table;
        table.open();
        const PlainCells straight(sheet->utf8Bytes());
        std::vector<std::string_view> cells;
        int tried = 0;
        while (sheet->nextBytes(cells)) {
            QStringList texts;
            for (const std::string_view cell : cells) {
                texts.append(sheet->decodeCell(cell).text);
                if (tried < 64) {
                    plainAsTyped(table, straight, *sheet, cell, tried * 37 % kFieldCount, bytes);
                    ++tried;
                }
            }
            byteRows.append(texts.join(u';'));
        }
    } catch (const IoError& e) {
        byteError = e.message();
    }
    FUZZ_CHECK(byteError == error, byteError + u'\n' + error + u'\n' + fuzz::shown(bytes));
    if (error.isEmpty()) FUZZ_CHECK(byteRows == rows, fuzz::shown(bytes));

    if (plain(bytes)) {
        if (!error.isEmpty()) {
            FUZZ_CHECK(error.contains(QLatin1String("UTF-16")) ||
                           error.contains(QLatin1String("mezcla dos codificaciones")),
                       error + u'\n' + fuzz::shown(bytes));
        } else {
            const QString joined = rows.join(u'\n');
            FUZZ_CHECK(joined == text(bytes), joined + u'\n' + fuzz::shown(bytes));
        }
    }
    return 0;
}
