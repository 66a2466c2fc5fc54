#include "SpreadsheetExport.h"

#include "DeclarationFile.h"
#include "OutputTarget.h"

#include "engine/codes/CodeNames.h"
#include "engine/files/Summary.h"
#include "engine/model/FieldTable.h"
#include "engine/model/RxMem.h"
#include "engine/util/ClassicLocale.h"
#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"
#include "engine/util/NumberText.h"
#include "engine/util/Progress.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <xlsxwriter.h>
#include <zlib.h>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

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

// libxlsxwriter tells of its failures on standard error, in English
// ("[ERROR] workbook_close(): Zip ZIP_ERRNO error..."), besides returning
// them; the library has no switch for that (its messages are fixed when it
// is built). The program reports every failure itself, in Spanish, so while
// the library works where it may fail (making its files, packing them), its
// standard error is a buffer: kept back when the work failed, passed on
// when it succeeded (it may hold another thread's messages). stderr is an
// ordinary variable of the C library, which every library reads when it
// prints; one export at a time swaps it.
class LibraryMessages {
public:
    LibraryMessages() : lock_(mutex()) {
        fflush(stderr);
        saved_ = stderr;
        if (FILE* buffer = open_memstream(&text_, &size_)) stderr = buffer;
    }
    ~LibraryMessages() {
        if (stderr == saved_) return;
        FILE* buffer = stderr;
        stderr = saved_;
        fclose(buffer);
        if (pass_ && size_ > 0) fwrite(text_, 1, size_, stderr);
        free(text_);
    }
    LibraryMessages(const LibraryMessages&) = delete;
    LibraryMessages& operator=(const LibraryMessages&) = delete;
    void passOn() { pass_ = true; }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    std::lock_guard<std::mutex> lock_;
    FILE* saved_ = nullptr;
    char* text_ = nullptr;
    std::size_t size_ = 0;
    bool pass_ = false;
};

// Why the disk took no more: the system's error in the user's words.
QString systemReason(int error) {
    switch (error) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
        return QStringLiteral("falló la escritura; puede que el disco esté lleno.");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("no tiene permiso para escribir en esa carpeta.");
    case ENOMEM:
        throw std::bad_alloc();
    default:
        return QStringLiteral("falló la escritura (error del sistema %1).").arg(error);
    }
}

// A failure of libxlsxwriter in the user's words. `error` is the system's
// error after the call, which the library leaves for its file failures.
QString libraryReason(lxw_error err, int error) {
    switch (err) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        throw std::bad_alloc();
    case LXW_ERROR_CREATING_XLSX_FILE:
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return error != 0 ? systemReason(error)
                          : QStringLiteral("falló la escritura; puede que el disco esté lleno.");
    default:
        // Nothing the program's own cells can cause; named by number for
        // whoever looks into it.
        return QStringLiteral("la biblioteca de planillas falló (código %1).").arg(int(err));
    }
}

// The open workbook; freed without writing anything unless closed. Its
// working files (unnamed, gone when closed) are made in `workFolder`, the
// target's own folder: on the disk the workbook goes to, whose room the
// packing then needs anyway, and not in a shared temporary folder that may
// fill up unnoticed.
// libxlsxwriter writes numbers (cells, page margins) with printf, which
// follows the thread's locale: every call into it runs under "C"
// (ClassicLocale), on whichever thread makes it.
class Workbook {
public:
    Workbook(const QString& path, const QString& workFolder, const QString& shown)
        : path_(QFile::encodeName(path)), workFolder_(QFile::encodeName(workFolder)),
          shown_(shown) {
        const ClassicLocale c;
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = workFolder_.data();
        {
            const LibraryMessages quiet;
            book_ = workbook_new_opt(path_.constData(), &options);
        }
        if (!book_) throw std::bad_alloc();
        text_ = workbook_add_format(book_);
        title_ = workbook_add_format(book_);
        bold_ = workbook_add_format(book_);
        whole_ = workbook_add_format(book_);
        decimal_ = workbook_add_format(book_);
        if (!text_ || !title_ || !bold_ || !whole_ || !decimal_) throw std::bad_alloc();
        format_set_bold(bold_);
        format_set_num_format(whole_, "#,##0");
        format_set_num_format(decimal_, "#,##0.00");
        format_set_num_format(text_, "@");
        format_set_font_name(title_, "Segoe UI");
        format_set_align(title_, LXW_ALIGN_VERTICAL_CENTER);
    }
    ~Workbook() {
        if (book_) lxw_workbook_free(book_);
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // A new worksheet with the title row. In constant-memory mode the
    // worksheet's rows go to a working file, made here.
    lxw_worksheet* addSheet() {
        const ClassicLocale c;
        lxw_worksheet* sheet = nullptr;
        {
            const LibraryMessages quiet;
            errno = 0;
            sheet = workbook_add_worksheet(book_, nullptr);
            if (!sheet && errno != ENOMEM && errno != 0) {
                const int error = errno;
                throw IoError(
                    QStringLiteral("No se pudo escribir la planilla «%1»: no se pudo crear un "
                                   "archivo de trabajo en «%2»: %3")
                        .arg(shown_, shownPath(QFile::decodeName(workFolder_)),
                             systemReason(error)));
            }
        }
        if (!sheet) throw std::bad_alloc();
        std::string utf8;
        for (int f = 0; f < kFieldCount; ++f) {
            const std::string bytes = cp1252::encode(kFields[std::size_t(f)].labelText());
            appendUtf8(bytes, utf8);
            check(worksheet_write_string(sheet, 0, lxw_col_t(f), utf8.c_str(), title_), 0, f);
        }
        return sheet;
    }

    lxw_format* text() const { return text_; }

    // The sheet "Resumen", after the lines' sheets: the summary's groups as
    // tables, codes as text and totals as numbers, so that the sheet can be
    // added up again.
    void addSummarySheet(const Summary& s) {
        const ClassicLocale c;
        lxw_worksheet* sheet = nullptr;
        {
            const LibraryMessages quiet;
            sheet = workbook_add_worksheet(book_, "Resumen");
        }
        if (!sheet) throw std::bad_alloc();
        lxw_row_t row = 0;
        const auto text = [&](lxw_col_t col, const QString& t, lxw_format* format = nullptr) {
            check(worksheet_write_string(sheet, row, col, t.toUtf8().constData(), format), row, -1);
        };
        const auto number = [&](lxw_col_t col, double v, lxw_format* format) {
            check(worksheet_write_number(sheet, row, col, v, format), row, -1);
        };
        text(0, QStringLiteral("Resumen"), bold_);
        ++row;
        if (!s.period.isEmpty()) {
            text(0, QStringLiteral("Período"));
            text(1, s.period);
            ++row;
        }
        text(0, QStringLiteral("Líneas"));
        number(1, s.lines, whole_);
        ++row;
        text(0, QStringLiteral("Trabajadores (RUT distintos)"));
        number(1, s.workers, whole_);
        ++row;
        for (const SummaryGroup& g : s.groups) {
            ++row;
            text(0, QString::fromUtf16(g.def->title), bold_);
            ++row;
            const std::vector<std::size_t> shown = g.shownSums();
            lxw_col_t col = 0;
            if (g.def->by) text(col++, fieldTitle(fieldIndex(*g.def->by)), bold_);
            if (g.def->thenBy) text(col++, fieldTitle(fieldIndex(*g.def->thenBy)), bold_);
            text(col++, QStringLiteral("Líneas"), bold_);
            if (g.def->workers) text(col++, QStringLiteral("Trabajadores"), bold_);
            for (const std::size_t k : shown)
                text(col++, fieldTitle(g.fields[k]), bold_);
            ++row;
            const auto put = [&](const SummaryRow& r, bool total) {
                lxw_col_t at = 0;
                const auto label = [](const QString& code, const QString& name) {
                    return name.isEmpty() ? code : code.isEmpty() ? name : code + u' ' + name;
                };
                if (g.def->by)
                    text(at++, total ? QStringLiteral("Total") : label(r.code, r.name),
                         total ? bold_ : text_);
                if (g.def->thenBy) text(at++, label(r.secondCode, r.secondName), text_);
                number(at++, r.lines, whole_);
                if (g.def->workers) number(at++, r.workers, whole_);
                for (const std::size_t k : shown)
                    number(at++, r.totals[k],
                           takesDecimals(kFields[std::size_t(g.fields[k])]) ? decimal_ : whole_);
                ++row;
            };
            for (const SummaryRow& r : g.rows)
                put(r, false);
            if (g.def->by && !g.def->thenBy && g.rows.size() > 1) put(g.total, true);
        }
        worksheet_set_column(sheet, 0, 0, 40, nullptr);
        worksheet_set_column(sheet, 1, 12, 18, nullptr);
    }

    // A cell the library refused: the workbook would be missing it.
    void check(lxw_error err, qint64 row, int field) const {
        if (err == LXW_NO_ERROR) return;
        throw IoError(QStringLiteral("No se pudo escribir la planilla «%1»: fila %2, %3: %4")
                          .arg(shown_)
                          .arg(row + 1)
                          .arg(field >= 0 ? fieldTitle(field) : QStringLiteral("hoja «Resumen»"),
                               libraryReason(err, 0)));
    }

    // Writes the file; the reason, in the user's words, when it could not.
    QString close() {
        const ClassicLocale c;
        lxw_workbook* book = book_;
        book_ = nullptr;
        LibraryMessages quiet;
        errno = 0;
        const lxw_error err = workbook_close(book);
        const int error = errno;
        if (err != LXW_NO_ERROR) return libraryReason(err, error);
        quiet.passOn();
        return QString();
    }

private:
    QByteArray path_;
    QByteArray workFolder_;
    QString shown_;
    lxw_workbook* book_ = nullptr;
    lxw_format* text_ = nullptr;
    lxw_format* title_ = nullptr;
    lxw_format* bold_ = nullptr;
    lxw_format* whole_ = nullptr;
    lxw_format* decimal_ = nullptr;
};

void writeLine(const Workbook& book, lxw_worksheet* sheet, lxw_row_t row, const RecordView& line,
               std::string& utf8) {
    lxw_format* const text = book.text();
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
            book.check(worksheet_write_string(sheet, row, col, utf8.c_str(), text), row, f);
            break;
        }
        case Kind::Number: {
            if (!line.hasValue(f)) break;
            const double v = line.number(f);
            if (std::isfinite(v)) {
                book.check(worksheet_write_number(sheet, row, col, v, nullptr), row, f);
            } else {
                const std::string_view shown = line.textForm(f, '.', buf);
                book.check(
                    worksheet_write_string(sheet, row, col, std::string(shown).c_str(), nullptr),
                    row, f);
            }
            break;
        }
        case Kind::Integer:
            if (line.hasValue(f))
                book.check(worksheet_write_number(sheet, row, col, line.integer(f), nullptr), row,
                           f);
            break;
        }
    }
}

// ---- checking the packed file --------------------------------------------

quint32 le16(const uchar* p) {
    return quint32(p[0]) | quint32(p[1]) << 8;
}
quint32 le32(const uchar* p) {
    return le16(p) | le16(p + 2) << 16;
}

// The name of an XML part's root element, after the declaration.
QByteArray rootElement(const QByteArray& head) {
    qsizetype at = 0;
    while ((at = head.indexOf('<', at)) >= 0) {
        const char next = at + 1 < head.size() ? head[at + 1] : '\0';
        if (next != '?' && next != '!') break;
        ++at;
    }
    if (at < 0) return {};
    qsizetype end = at + 1;
    while (end < head.size() && head[end] != ' ' && head[end] != '>' && head[end] != '/' &&
           head[end] != '\r' && head[end] != '\n')
        ++end;
    return head.mid(at + 1, end - at - 1);
}

// One member of the packed file: unpacked whole, it must have the size and
// checksum its entry gives and, being XML, end with the closing tag of its
// root element. A part whose working file stopped growing (a full disk, a
// limit on file sizes) ends short of it.
bool memberIsWhole(const uchar* data, qint64 size, quint32 method, quint32 crc, quint32 packed,
                   quint32 unpacked) {
    if (unpacked == 0 || packed > size) return false;
    QByteArray head, tail;
    constexpr qsizetype kKeep = 256;
    auto take = [&](const char* bytes, qsizetype n) {
        if (head.size() < kKeep) head.append(bytes, std::min(n, kKeep - head.size()));
        tail.append(bytes, n);
        if (tail.size() > 2 * kKeep) tail.remove(0, tail.size() - kKeep);
    };
    uLong sum = crc32(0L, Z_NULL, 0);
    quint64 total = 0;
    if (method == 0) {
        if (packed != unpacked) return false;
        sum = crc32_z(sum, data, packed);
        total = packed;
        for (qint64 at = 0; at < packed; at += 65536)
            take(reinterpret_cast<const char*>(data + at),
                 qsizetype(std::min<qint64>(65536, packed - at)));
    } else if (method == 8) {
        z_stream z{};
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
        struct End {
            z_stream& z;
            ~End() { inflateEnd(&z); }
        } end{z};
        z.next_in = const_cast<Bytef*>(data);
        z.avail_in = packed;
        std::vector<Bytef> out(256 * 1024);
        int rc = Z_OK;
        while (rc == Z_OK) {
            z.next_out = out.data();
            z.avail_out = uInt(out.size());
            rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END) return false;
            const qsizetype got = qsizetype(out.size() - z.avail_out);
            if (rc == Z_OK && got == 0) return false; // the packed data ends early
            sum = crc32_z(sum, out.data(), std::size_t(got));
            total += quint64(got);
            take(reinterpret_cast<const char*>(out.data()), got);
        }
    } else {
        return false;
    }
    if (total != unpacked || sum != crc) return false;
    const QByteArray root = rootElement(head);
    return !root.isEmpty() && tail.trimmed().endsWith("</" + root + '>');
}

// Whether the file libxlsxwriter packed is a whole workbook: a zip file
// whose directory lists every part this export writes, each complete.
// libxlsxwriter does not notice when its working files stop growing, and
// packs what they hold: a workbook of empty or cut parts that no
// spreadsheet program opens.
bool workbookIsWhole(const QString& path, int sheets) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const qint64 size = file.size();
    if (size < 22) return false;
    const uchar* map = file.map(0, size);
    if (!map) return false;
    // The directory's end record, at most a comment's length from the end.
    qint64 eocd = -1;
    for (qint64 at = size - 22; at >= std::max<qint64>(0, size - 22 - 65535); --at)
        if (le32(map + at) == 0x06054b50) {
            eocd = at;
            break;
        }
    if (eocd < 0) return false;
    const quint32 entries = le16(map + eocd + 10);
    const qint64 dirSize = le32(map + eocd + 12);
    const qint64 dirStart = le32(map + eocd + 16);
    if (dirStart + dirSize > eocd) return false;

    QSet<QByteArray> expected{"[Content_Types].xml", "_rels/.rels",
                              "docProps/app.xml",    "docProps/core.xml",
                              "xl/workbook.xml",     "xl/_rels/workbook.xml.rels",
                              "xl/styles.xml",       "xl/theme/theme1.xml"};
    for (int s = 1; s <= sheets; ++s)
        expected.insert("xl/worksheets/sheet" + QByteArray::number(s) + ".xml");

    qint64 at = dirStart;
    for (quint32 i = 0; i < entries; ++i) {
        if (at + 46 > eocd || le32(map + at) != 0x02014b50) return false;
        const uchar* e = map + at;
        const quint32 method = le16(e + 10), crc = le32(e + 16), packed = le32(e + 20),
                      unpacked = le32(e + 24), nameLen = le16(e + 28), extraLen = le16(e + 30),
                      commentLen = le16(e + 32);
        const qint64 local = le32(e + 42);
        if (at + 46 + nameLen > eocd) return false;
        const QByteArray name(reinterpret_cast<const char*>(e + 46), nameLen);
        at += 46 + nameLen + extraLen + commentLen;
        if (local + 30 > size || le32(map + local) != 0x04034b50) return false;
        const qint64 data = local + 30 + le16(map + local + 26) + le16(map + local + 28);
        if (data > size || !memberIsWhole(map + data, size - data, method, crc, packed, unpacked))
            return false;
        expected.remove(name);
    }
    return expected.isEmpty();
}

// ---- working files left behind ---------------------------------------------

// A workbook being written is named ".solvanta-PID-XXXXXX.tmp" beside its
// target (hidden, with the writing process's number), so that a run that
// was killed midway leaves something the next one recognises.
const QString kPartialPrefix = QStringLiteral(".solvanta-");
const QString kPartialSuffix = QStringLiteral(".tmp");

bool processIsAlive(qint64 pid) {
#ifdef Q_OS_UNIX
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
#else
    Q_UNUSED(pid);
    return true;
#endif
}

// Removes the partial workbooks of earlier runs in `folder`: those whose
// process is gone, and any older than a day (the number may be another
// process's by now).
void removeStalePartials(const QString& folder) {
    static const QRegularExpression name(
        QStringLiteral("^\\.solvanta-(\\d+)-[A-Za-z0-9]{6}\\.tmp$"));
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    const QDir dir(folder);
    const QFileInfoList found = dir.entryInfoList(
        {kPartialPrefix + QStringLiteral("*") + kPartialSuffix}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& f : found) {
        const QRegularExpressionMatch m = name.match(f.fileName());
        if (!m.hasMatch()) continue;
        if (!processIsAlive(m.captured(1).toLongLong()) || f.lastModified() < dayAgo)
            QFile::remove(f.absoluteFilePath());
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
                               qint64 linesPerSheet, const std::vector<int>* lines) {
    const OutputTarget target(path, OutputKind::Workbook);
    if (isSpecialFile(target.file()))
        throw IoError(OutputTarget::failurePrefix(path, OutputKind::Workbook) +
                      writeFailure(target.file(), QFileDevice::NoError));
    const QString folder = QFileInfo(target.file()).absolutePath();
    const QString shown = shownPath(path);
    removeStalePartials(folder);
    // A name of our own beside the target, so the finished workbook can take
    // the target's name in one step.
    QString temporary;
    {
        QTemporaryFile reserve(folder + u'/' + kPartialPrefix +
                               QString::number(QCoreApplication::applicationPid()) +
                               QStringLiteral("-XXXXXX") + kPartialSuffix);
        reserve.setAutoRemove(false);
        if (!reserve.open())
            throw IoError(OutputTarget::failurePrefix(path, OutputKind::Workbook) +
                          writeFailure(target.file(), reserve.error()));
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
    const qint64 total = lines ? qint64(lines->size()) : table.recordCount();
    const auto started = std::chrono::steady_clock::now();
    std::optional<ProgressPart> rows;
    if (progress) rows.emplace(*progress, 0, kRowsShare);
    {
        Workbook book(temporary, folder, shown);
        lxw_worksheet* sheet = book.addSheet();
        std::string utf8;
        qint64 rowInSheet = 0;
        for (qint64 r = 0; r < total; ++r) {
            if (rowInSheet == linesPerSheet) {
                sheet = book.addSheet();
                ++summary.sheets;
                rowInSheet = 0;
            }
            writeLine(book, sheet, lxw_row_t(++rowInSheet),
                      table.recordAt(lines ? (*lines)[std::size_t(r)] : int(r)), utf8);
            if (rows && (r + 1) % kProgressEvery == 0 && !rows->update(r + 1, total))
                throw Cancelled();
        }
        summary.lines = total;
        if (rows && !rows->update(total, total)) throw Cancelled();
        book.addSummarySheet(summarize(table, CodeNames(), lines));
        if (const QString why =
                closeWorkbook(book, progress, std::chrono::steady_clock::now() - started);
            !why.isEmpty())
            throw IoError(
                QStringLiteral("No se pudo escribir la planilla «%1»: %2").arg(shown, why));
    }
    if (!workbookIsWhole(temporary, summary.sheets + 1))
        throw IoError(QStringLiteral("No se pudo escribir la planilla «%1»: quedó incompleta; "
                                     "puede que el disco esté lleno.")
                          .arg(shown));
    // Readable like any file the user makes, not only by its owner as a
    // temporary file is; a file it replaces passes on its own permissions,
    // owner and group.
    if (target.replaces())
        target.giveAttributesTo(temporary);
    else
        QFile::setPermissions(temporary, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                             QFile::ReadOther);
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(target.file()).constData()) != 0)
        throw IoError(QStringLiteral("No se pudo guardar la planilla «%1»: %2")
                          .arg(shown, writeFailure(target.file(), QFileDevice::RenameError)));
    cleanup.done = true;
    return summary;
}

} // namespace solvanta
