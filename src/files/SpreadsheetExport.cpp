#include "SpreadsheetExport.h"

#include "DeclarationFile.h"

#include "model/FieldTable.h"
#include "model/RxMem.h"
#include "util/ClassicLocale.h"
#include "util/CodePage.h"
#include "util/Errors.h"
#include "util/FileReasons.h"
#include "util/NumberText.h"
#include "util/Progress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <optional>
#include <string>
#include <xlsxwriter.h>

namespace solvanta {
namespace {

constexpr int kProgressEvery = 1024; // lines between progress reports
// Packing the workbook into its file takes about as long as writing its rows,
// so each is shown as half of the whole.
constexpr int kRowsShare = 500;

// Windows-1252 bytes as UTF-8, the workbook's encoding. Control characters
// cannot stand in the workbook's XML: they become '?'.
void appendUtf8(std::string_view bytes, std::string& out) {
    out.clear();
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out.push_back(b < 0x20 && b != '\t' && b != '\n' && b != '\r' ? '?' : ch);
            continue;
        }
        const char16_t u = cp1252::toUnicode(b).unicode();
        if (u < 0x800) {
            out.push_back(char(0xC0 | (u >> 6)));
            out.push_back(char(0x80 | (u & 0x3F)));
        } else {
            out.push_back(char(0xE0 | (u >> 12)));
            out.push_back(char(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(char(0x80 | (u & 0x3F)));
        }
    }
}

// The open workbook; freed without writing anything unless closed.
// libxlsxwriter writes numbers (cells, page margins) with printf, which
// follows the thread's locale: every call into it runs under "C"
// (ClassicLocale), on whichever thread makes it.
class Workbook {
public:
    explicit Workbook(const QString& path) : path_(QFile::encodeName(path)) {
        const ClassicLocale c;
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        book_ = workbook_new_opt(path_.constData(), &options);
        if (!book_) throw std::bad_alloc();
        text_ = workbook_add_format(book_);
        format_set_num_format(text_, "@");
        title_ = workbook_add_format(book_);
        format_set_font_name(title_, "Segoe UI");
        format_set_align(title_, LXW_ALIGN_VERTICAL_CENTER);
    }
    ~Workbook() {
        if (book_) lxw_workbook_free(book_);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // A new worksheet with the title row.
    lxw_worksheet* addSheet() {
        const ClassicLocale c;
        lxw_worksheet* sheet = workbook_add_worksheet(book_, nullptr);
        if (!sheet) throw std::bad_alloc();
        std::string utf8;
        for (int f = 0; f < kFieldCount; ++f) {
            const std::string bytes = cp1252::encode(kFields[std::size_t(f)].labelText());
            appendUtf8(bytes, utf8);
            worksheet_write_string(sheet, 0, lxw_col_t(f), utf8.c_str(), title_);
        }
        return sheet;
    }

    lxw_format* text() const { return text_; }

    // Writes the file; the error's text when it could not.
    QString close() {
        const ClassicLocale c;
        lxw_workbook* book = book_;
        book_ = nullptr;
        const lxw_error err = workbook_close(book);
        return err == LXW_NO_ERROR ? QString() : QString::fromUtf8(lxw_strerror(err));
    }

private:
    QByteArray path_;
    lxw_workbook* book_ = nullptr;
    lxw_format* text_ = nullptr;
    lxw_format* title_ = nullptr;
};

void writeLine(lxw_worksheet* sheet, lxw_row_t row, const RecordView& line, lxw_format* text,
               std::string& utf8) {
    const ClassicLocale c;
    char buf[numtext::kMaxNumberText];
    for (int f = 0; f < kFieldCount; ++f) {
        const auto col = lxw_col_t(f);
        switch (kFields[std::size_t(f)].kind) {
        case Kind::Text: {
            // As the separator form writes it: a name without the blanks that
            // fill its columns in the position form.
            const std::string_view bytes = separatorFormText(f, line.textBytes(f));
            if (bytes.empty()) break;
            appendUtf8(bytes, utf8);
            worksheet_write_string(sheet, row, col, utf8.c_str(), text);
            break;
        }
        case Kind::Number: {
            if (!line.hasValue(f)) break;
            const double v = line.number(f);
            if (std::isfinite(v)) {
                worksheet_write_number(sheet, row, col, v, nullptr);
            } else {
                const std::string_view shown = line.textForm(f, '.', buf);
                worksheet_write_string(sheet, row, col, std::string(shown).c_str(), nullptr);
            }
            break;
        }
        case Kind::Integer:
            if (line.hasValue(f)) worksheet_write_number(sheet, row, col, line.integer(f), nullptr);
            break;
        }
    }
}

// Closes the workbook: libxlsxwriter compresses every part into the file,
// which cannot report how far it got. With a progress to serve, it runs on its
// own thread while the progress goes on by the time the rows took, so a window
// stays served and its Cancel button answers; the packing itself cannot stop
// midway, so a cancel takes effect when it ends. The error's text when the
// file could not be written; Cancelled when the progress asked to stop.
QString closeWorkbook(Workbook& book, Progress* progress,
                      std::chrono::steady_clock::duration rowsTook) {
    if (!progress) return book.close();
    using Clock = std::chrono::steady_clock;
    ProgressPart packing(*progress, kRowsShare, 1000);
    const Clock::time_point start = Clock::now();
    const qint64 expected = std::max<qint64>(1, rowsTook.count());
    auto closing = std::async(std::launch::async, [&book] { return book.close(); });
    bool stop = false;
    do {
        // Never the whole share: the box stays open until the file is there.
        const qint64 took = std::min<qint64>((Clock::now() - start).count(), expected * 49 / 50);
        stop = !packing.update(took, expected) || stop;
    } while (closing.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready);
    QString why = closing.get();
    if (stop) throw Cancelled();
    return why;
}

} // namespace

WorkbookSummary exportWorkbook(const QString& path, const RxMem& table, Progress* progress,
                               qint64 linesPerSheet) {
    const QFileInfo target(path);
    if (isSpecialFile(path))
        throw IoError(QStringLiteral("No se pudo crear la planilla «%1»: %2")
                          .arg(shownPath(path), writeFailure(path, QFileDevice::NoError)));
    // A name of our own beside the target, so the finished workbook can take
    // the target's name in one step.
    QString temporary;
    {
        QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                               QStringLiteral("-XXXXXX"));
        reserve.setAutoRemove(false);
        if (!reserve.open())
            throw IoError(QStringLiteral("No se pudo crear la planilla «%1»: %2")
                              .arg(shownPath(path), writeFailure(path, reserve.error())));
        temporary = reserve.fileName();
    }
    struct RemoveUnlessDone {
        QString path;
        bool done = false;
        ~RemoveUnlessDone() {
            if (!done) QFile::remove(path);
        }
    } cleanup{temporary};

    WorkbookSummary summary;
    const qint64 total = table.recordCount();
    const auto started = std::chrono::steady_clock::now();
    std::optional<ProgressPart> rows;
    if (progress) rows.emplace(*progress, 0, kRowsShare);
    {
        Workbook book(temporary);
        lxw_worksheet* sheet = book.addSheet();
        std::string utf8;
        qint64 rowInSheet = 0;
        for (qint64 r = 0; r < total; ++r) {
            if (rowInSheet == linesPerSheet) {
                sheet = book.addSheet();
                ++summary.sheets;
                rowInSheet = 0;
            }
            writeLine(sheet, lxw_row_t(++rowInSheet), table.recordAt(int(r)), book.text(), utf8);
            if (rows && (r + 1) % kProgressEvery == 0 && !rows->update(r + 1, total))
                throw Cancelled();
        }
        summary.lines = total;
        if (rows && !rows->update(total, total)) throw Cancelled();
        if (const QString why =
                closeWorkbook(book, progress, std::chrono::steady_clock::now() - started);
            !why.isEmpty())
            throw IoError(QStringLiteral("No se pudo escribir la planilla «%1»: %2")
                              .arg(shownPath(path), why));
    }
    // Readable like any file the user makes, not only by its owner as a
    // temporary file is.
    QFile::setPermissions(temporary, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                         QFile::ReadOther);
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(path).constData()) != 0)
        throw IoError(QStringLiteral("No se pudo guardar la planilla «%1»: %2")
                          .arg(shownPath(path), writeFailure(path, QFileDevice::RenameError)));
    cleanup.done = true;
    return summary;
}

} // namespace solvanta
