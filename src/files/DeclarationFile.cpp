#include "DeclarationFile.h"
#include "OutputTarget.h"

#include "model/RxMem.h"
#include "util/CodePage.h"
#include "util/Errors.h"
#include "util/FileReasons.h"
#include "util/NumberText.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThread>
#include <array>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace solvanta {
namespace {

constexpr qint64 kChunk = 1 << 20;
constexpr int kProgressEvery = 1024; // lines between progress reports

// What the loops over lines need to know of each field, looked up once
// instead of for every field of every line.
struct FieldPlan {
    FieldSlot slot;
    std::uint16_t from;  // first column in the position form, 0-based
    std::uint16_t width; // its columns
    std::uint16_t size;  // characters a text field keeps
    Kind kind;
    LoadRule load;
    SepRule sep;
    WriteRule write;
    bool untrimmed; // written to the separator form as it is
};

struct Plan {
    std::array<FieldPlan, kFieldCount> fields;
    std::size_t recordSize;
    std::size_t longestLine; // the most either form writes for one record
};

Plan buildPlan() {
    Plan p{};
    const RecordLayout& layout = recordLayout();
    p.recordSize = layout.size;
    p.longestLine = 2; // CR LF
    for (int f = 0; f < kFieldCount; ++f) {
        const FieldDef& d = kFields[std::size_t(f)];
        FieldPlan& fp = p.fields[std::size_t(f)];
        fp.slot = layout.fieldSlots[std::size_t(f)];
        fp.from = static_cast<std::uint16_t>(d.start - 1);
        fp.width = static_cast<std::uint16_t>(d.width);
        fp.size = static_cast<std::uint16_t>(d.size);
        fp.kind = d.kind;
        fp.load = d.loadRule;
        fp.sep = d.sepRule;
        fp.write = d.writeRule;
        fp.untrimmed = d.sepUntrimmed;
        const int text = d.kind == Kind::Text ? d.size : numtext::kMaxNumberText;
        p.longestLine += std::size_t(std::max(text, d.width)) + 1; // and its ";"
    }
    return p;
}

const Plan& plan() {
    static const Plan p = buildPlan();
    return p;
}

// ---- reading -------------------------------------------------------------

// No declaration line comes near this length (the position form has 861
// characters); a longer one means the file is something else, and reading
// on would gather it all into memory.
constexpr std::size_t kMaxLine = 64 * 1024;

// Lines of a text file, read in blocks: a line ends at LF or CR LF, a lone
// CR is dropped, and Ctrl+Z ends the file. A line longer than kMaxLine (not
// counting its line end) stops the reading; the block always has room for
// the longest line, so it never grows.
class LineReader {
public:
    LineReader(QFile& file, const QString& path) : file_(file), path_(path), buf_(kChunk) {}

    bool next(std::string_view& line) {
        for (;;) {
            const char* b = buf_.data() + begin_;
            const std::size_t pending = end_ - begin_;
            if (const void* lf = std::memchr(b, '\n', pending)) {
                const std::size_t len = static_cast<const char*>(lf) - b;
                line = take(b, len);
                begin_ += len + 1;
                return true;
            }
            if (atEnd_) {
                if (pending == 0) return false;
                line = take(b, pending);
                begin_ = end_;
                return true;
            }
            if (pending > kMaxLine + 1) tooLong(lines_ + 1); // longer than any line and its CR
            fill();
        }
    }

    qint64 consumed() const { return read_ - static_cast<qint64>(end_ - begin_); }

private:
    void fill() {
        if (begin_ > 0) {
            std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        const qint64 n = file_.read(buf_.data() + end_, static_cast<qint64>(buf_.size() - end_));
        if (n < 0)
            throw IoError(QStringLiteral("No se pudo leer el archivo «%1»: %2")
                              .arg(shownPath(path_), readFailure(path_)));
        if (n == 0) atEnd_ = true;
        read_ += n;
        if (const void* z = std::memchr(buf_.data() + end_, 0x1A, std::size_t(n))) {
            end_ = static_cast<const char*>(z) - buf_.data();
            atEnd_ = true;
            return;
        }
        end_ += std::size_t(n);
    }

    std::string_view take(const char* b, std::size_t len) {
        ++lines_;
        if (len - (len > 0 && b[len - 1] == '\r') > kMaxLine) tooLong(lines_);
        return clean({b, len});
    }

    [[noreturn]] void tooLong(qint64 lineNo) const {
        static_assert(kMaxLine == 65536, "the message states the limit");
        throw IoError(QStringLiteral("La línea %1 del archivo «%2» tiene más de 65.536 caracteres: "
                                     "no es un archivo de declaración.")
                          .arg(lineNo)
                          .arg(shownPath(path_)));
    }

    // The line without its CRs. Usually the only one ends it, and the line is
    // just shorter; elsewhere the line is copied without them.
    std::string_view clean(std::string_view line) {
        const void* cr = std::memchr(line.data(), '\r', line.size());
        if (!cr) return line;
        const std::size_t at = std::size_t(static_cast<const char*>(cr) - line.data());
        if (at + 1 == line.size()) return line.substr(0, at);
        scratch_.assign(line.data(), at);
        for (std::size_t i = at + 1; i < line.size(); ++i)
            if (line[i] != '\r') scratch_.push_back(line[i]);
        return scratch_;
    }

    QFile& file_;
    const QString& path_;
    std::vector<char> buf_;
    std::size_t begin_ = 0, end_ = 0;
    qint64 read_ = 0;
    qint64 lines_ = 0; // lines taken so far
    bool atEnd_ = false;
    std::string scratch_;
};

// A field whose text the loader could not read, and so filled with its
// fallback: the text as the line had it.
struct Unread {
    int field;
    std::string text;
};
using UnreadList = std::vector<Unread>;

// Fills one line's fields into a record of zero bytes, keeping the field
// whose text could not be stored when the load must stop. Each field that
// held something it could not read (blanks are no value, not a loss) and so
// got its fallback is listed in `unread`.
class LineFiller {
public:
    explicit LineFiller(char separator) : sep_(separator), fields_(plan().fields) {}

    // Returns false when nacion cannot be stored; `bad` is its text.
    bool position(std::string_view line, std::byte* r, std::string_view& bad,
                  UnreadList& unread) const {
        unread.clear();
        char rate[256];
        for (const FieldPlan& p : fields_) {
            std::string_view t;
            if (p.from < line.size())
                t = {line.data() + p.from, std::min<std::size_t>(p.width, line.size() - p.from)};
            switch (p.load) {
            case LoadRule::Text:
                slot::putText(r, p.slot, p.size, t);
                break;
            case LoadRule::Whole0:
            case LoadRule::Whole00:
            case LoadRule::Whole2:
                if (const auto v = whole(t))
                    storeWhole(r, p, *v, p.load == LoadRule::Whole2);
                else
                    fallback(r, p, p.load == LoadRule::Whole0 ? "0" : "00", t, unread);
                break;
            case LoadRule::Rate: {
                // Either "." or "," is taken for the decimal separator. (No
                // field is as wide as the buffer.)
                const std::string_view asIs = t;
                t = t.substr(0, sizeof rate);
                for (std::size_t i = 0; i < t.size(); ++i)
                    rate[i] = t[i] == '.' || t[i] == ',' ? sep_ : t[i];
                if (const auto v = decimal({rate, t.size()}))
                    storeDecimal(r, p, *v);
                else
                    fallback(r, p, "0", asIs, unread);
                break;
            }
            case LoadRule::Decimal:
                if (const auto v = decimal(t))
                    storeDecimal(r, p, *v);
                else
                    fallback(r, p, "0", t, unread);
                break;
            case LoadRule::Rut:
                if (const auto v = decimal(t))
                    slot::putNumber(r, p.slot, *v);
                else
                    fallback(r, p, "0", t, unread);
                break;
            case LoadRule::Integer:
                if (!integer(r, p, t, bad)) return false;
                break;
            }
        }
        return true;
    }

    bool separator(std::string_view line, std::byte* r, std::string_view& bad,
                   UnreadList& unread) const {
        unread.clear();
        const char* const data = line.data();
        const std::size_t size = line.size();
        std::size_t scan = 0; // just past the last ";" found; stays put after the last one
        for (const FieldPlan& p : fields_) {
            const std::size_t start = scan;
            std::size_t end = size;
            for (std::size_t i = start; i < size; ++i)
                if (data[i] == ';') {
                    end = i;
                    scan = i + 1;
                    break;
                }
            const std::string_view piece(data + start, end - start);
            switch (p.sep) {
            case SepRule::Text:
                slot::putText(r, p.slot, p.size, piece);
                break;
            case SepRule::TextOrZero:
                slot::putText(r, p.slot, p.size, piece.empty() ? std::string_view("0") : piece);
                break;
            case SepRule::Number:
            case SepRule::Rut: {
                double v = 0;
                const bool read = decimal(piece, v);
                slot::putNumber(r, p.slot, v);
                if (!read) [[unlikely]]
                    noteUnread(p, piece, unread);
                break;
            }
            case SepRule::Integer:
                if (!integer(r, p, piece, bad)) return false;
                break;
            }
        }
        return true;
    }

private:
    // Plain digits (the zero-filled numbers of the position form, most
    // pieces of the separator form) are read here at once, giving what the
    // full reading gives; anything else goes through it.
    static std::optional<std::int32_t> whole(std::string_view t) {
        if (!t.empty() && t.size() <= 9) {
            std::int32_t v = 0;
            std::size_t i = 0;
            for (; i < t.size(); ++i) {
                const unsigned d = static_cast<unsigned char>(t[i]) - unsigned('0');
                if (d > 9) break;
                v = v * 10 + std::int32_t(d);
            }
            if (i == t.size()) return v;
        }
        return numtext::parseWhole(t);
    }

    std::optional<double> decimal(std::string_view t) const {
        double v = 0;
        if (decimal(t, v)) return v;
        return std::nullopt;
    }
    // As above, into `out` (left alone when the text does not read): the
    // separator form's loop keeps the number in a register this way.
    bool decimal(std::string_view t, double& out) const {
        if (!t.empty() && t.size() <= 15) {
            std::uint64_t v = 0;
            std::size_t i = 0;
            for (; i < t.size(); ++i) {
                const unsigned d = static_cast<unsigned char>(t[i]) - unsigned('0');
                if (d > 9) break;
                v = v * 10 + d;
            }
            if (i == t.size()) {
                out = static_cast<double>(v);
                return true;
            }
        }
        const auto v = numtext::parseDecimal(t, sep_);
        if (v) out = *v;
        return v.has_value();
    }

    // Stores a whole number by the field's kind: a number field gets the
    // number, a text field its digits (zero-filled to two for Whole2).
    static void storeWhole(std::byte* r, const FieldPlan& p, std::int32_t v, bool twoDigits) {
        if (p.kind == Kind::Number) {
            slot::putNumber(r, p.slot, v);
            return;
        }
        char buf[16] = {'0'};
        const auto res = std::to_chars(buf + 1, buf + sizeof buf, v);
        const std::size_t n = static_cast<std::size_t>(res.ptr - (buf + 1));
        if (twoDigits && n < 2)
            slot::putText(r, p.slot, p.size, {buf, n + 1}); // "0" and the digit
        else
            slot::putText(r, p.slot, p.size, {buf + 1, n});
    }

    void storeDecimal(std::byte* r, const FieldPlan& p, double v) const {
        if (p.kind == Kind::Number) {
            slot::putNumber(r, p.slot, v);
            return;
        }
        char buf[numtext::kMaxNumberText];
        slot::putText(r, p.slot, p.size, {buf, std::size_t(numtext::format(v, sep_, buf))});
    }

    // Stores the fallback; the text that did not read is listed unless it
    // was empty or blank. (Off the loops' usual path: every value of a
    // correct file reads.)
    [[gnu::cold, gnu::noinline]] void fallback(std::byte* r, const FieldPlan& p,
                                               std::string_view value, std::string_view unreadText,
                                               UnreadList& unread) const {
        if (p.kind == Kind::Number)
            slot::putNumber(r, p.slot, 0);
        else
            slot::putText(r, p.slot, p.size, value);
        noteUnread(p, unreadText, unread);
    }

    [[gnu::cold, gnu::noinline]] void noteUnread(const FieldPlan& p, std::string_view text,
                                                 UnreadList& unread) const {
        if (text.find_first_not_of(' ') != std::string_view::npos)
            unread.push_back({int(&p - fields_.data()), std::string(text)});
    }

    static bool integer(std::byte* r, const FieldPlan& p, std::string_view t,
                        std::string_view& bad) {
        const auto v = whole(t);
        if (!v) {
            bad = t;
            return false;
        }
        slot::putInteger(r, p.slot, *v);
        return true;
    }

    char sep_;
    const std::array<FieldPlan, kFieldCount>& fields_;
};

// What shows that a file changed: its size and its modification time.
struct FileStamp {
    qint64 size = 0;
    QDateTime modified;

    static FileStamp of(const QString& path) {
        const QFileInfo info(path);
        return {info.size(), info.lastModified()};
    }
    bool operator!=(const FileStamp& o) const { return size != o.size || modified != o.modified; }
};

[[noreturn]] void changedWhileRead(const QString& path) {
    throw IoError(QStringLiteral("No se pudo cargar el archivo «%1»: cambió mientras se leía. "
                                 "Vuelva a cargarlo cuando ningún otro programa lo esté "
                                 "modificando.")
                      .arg(shownPath(path)));
}

// Reads every line of the file into records that `sink` provides: next()
// gives a record of zero bytes for the next line, done() takes it filled,
// finish() is told when every line was read. Throws at the first line that
// cannot be read.
template <typename Sink>
void readLines(QFile& file, const QString& path, FileForm form, char separator, Sink& sink) {
    LineReader reader(file, path);
    const LineFiller filler(separator);
    std::string_view line;
    std::string_view bad;
    UnreadList unread;
    qint64 lineNo = 0;
    while (reader.next(line)) {
        ++lineNo;
        std::byte* r = sink.next();
        const bool ok = form == FileForm::Position ? filler.position(line, r, bad, unread)
                                                   : filler.separator(line, r, bad, unread);
        if (!ok) {
            const int f = findField(u"nacion");
            throw ConversionError(
                QStringLiteral("No se pudo cargar el archivo «%1».\n\nLínea %2: el campo %3 "
                               "tiene «%4», que no es un número entero válido. Corrija esa "
                               "línea del archivo y vuelva a cargarlo.")
                    .arg(shownPath(path))
                    .arg(lineNo)
                    .arg(fieldTitle(f), excerpt(cp1252::decode(bad.substr(0, 100)))));
        }
        sink.done(lineNo, reader.consumed(), unread);
    }
    sink.finish();
}

// "«1234,500» no es un monto; se leyó como 0.": the current line's field
// as the loader filled it.
QString unreadProblem(const RxMem& table, const Unread& u) {
    const FieldDef& f = kFields[std::size_t(u.field)];
    const QString what = f.value == Value::Amount ? QStringLiteral("un monto")
                         : f.value == Value::Rut  ? QStringLiteral("un RUT")
                                                  : QStringLiteral("un número");
    return QStringLiteral("«%1» no es %2; se leyó como %3.")
        .arg(excerpt(cp1252::decode(std::string_view(u.text).substr(0, 100))), what,
             table.asText(u.field));
}

// Lines go into the table, each stored as it is filled.
class TableSink {
public:
    TableSink(RxMem& table, Progress* progress, qint64 total)
        : table_(table), progress_(progress), total_(total) {}

    std::byte* next() {
        table_.append();
        return table_.pending().bytes();
    }
    void done(qint64 lineNo, qint64 consumed, const UnreadList& unread) {
        table_.post();
        // What the line held and the table now shows in its place stays in
        // view with the line: the file's own text is gone from it.
        for (const Unread& u : unread)
            table_.noteCell(table_.bookmark(), u.field, unreadProblem(table_, u));
        if (progress_ && lineNo % kProgressEvery == 0 && !progress_->update(consumed, total_))
            throw Cancelled();
    }
    void finish() {
        if (progress_) progress_->update(total_, total_);
    }

private:
    RxMem& table_;
    Progress* progress_;
    qint64 total_;
};

// ---- writing -------------------------------------------------------------

[[noreturn]] void refuse(const QString& path, qint64 line, int field, const QString& why) {
    throw IoError(QStringLiteral("No se creó el archivo «%1».\n\nLínea %2, campo %3: %4 "
                                 "Corrija ese valor y vuelva a crear el archivo.")
                      .arg(shownPath(path))
                      .arg(line)
                      .arg(fieldTitle(field), why));
}

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view trimmed(std::string_view t) {
    while (!t.empty() && isBlankOrControl(t.front()))
        t.remove_prefix(1);
    while (!t.empty() && isBlankOrControl(t.back()))
        t.remove_suffix(1);
    return t;
}

// Lays records out as lines of one form in a buffer that is written out a
// block at a time. A text the form cannot hold stops it with a message
// naming the file, the line and the field.
class LineWriter {
public:
    LineWriter(FileForm form, const QString& path, char separator)
        : form_(form), path_(path), sep_(separator), plan_(plan()),
          // A number text with a blank, a control character or ";" in it
          // (a strange decimal separator) goes through the text checks.
          plainNumbers_(static_cast<unsigned char>(separator) > 0x20 && separator != ';'),
          buf_(std::size_t(kChunk) + plan_.longestLine) {}

    void add(const std::byte* record, qint64 lineNo) {
        char* out = buf_.data() + used_;
        char num[numtext::kMaxNumberText];
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldPlan& p = plan_.fields[std::size_t(f)];
            std::string_view t;
            bool checked = plainNumbers_;
            switch (p.kind) {
            case Kind::Text:
                t = slot::text(record, p.slot);
                checked = false;
                break;
            case Kind::Number:
                if (slot::hasValue(record, p.slot)) t = number(slot::number(record, p.slot), num);
                break;
            case Kind::Integer:
                if (slot::hasValue(record, p.slot)) {
                    const auto res =
                        std::to_chars(num, num + sizeof num, slot::integer(record, p.slot));
                    t = {num, std::size_t(res.ptr - num)};
                }
                checked = true; // digits and a sign
                break;
            }
            bool semicolon = false;
            if (!checked) {
                bool lineBreak = false;
                scan(t, lineBreak, semicolon);
                if (lineBreak && p.kind == Kind::Text)
                    refuse(path_, lineNo, f,
                           QStringLiteral("el texto contiene un salto de línea."));
            }
            if (form_ == FileForm::Position) {
                out = positioned(out, p, t);
                continue;
            }
            if (!p.untrimmed && !checked) t = trimmed(t);
            if (semicolon)
                refuse(path_, lineNo, f,
                       QStringLiteral("el texto «%1» contiene «;», que en un archivo por "
                                      "separador partiría el campo en dos.")
                           .arg(excerpt(cp1252::decode(t.substr(0, 100)))));
            out = copy(out, t);
            *out++ = ';';
        }
        if (form_ == FileForm::Separator) --out; // no ";" after the last field
        *out++ = '\r';
        *out++ = '\n';
        used_ = std::size_t(out - buf_.data());
    }

    bool full() const { return used_ >= std::size_t(kChunk); }

    void flushTo(QFileDevice& file) {
        if (file.write(buf_.data(), qint64(used_)) != qint64(used_))
            throw IoError(QStringLiteral("No se pudo escribir el archivo «%1»: %2")
                              .arg(shownPath(path_), writeFailure(path_, shortWriteError(file))));
        used_ = 0;
    }

private:
    // Whether the text has a CR or LF, and whether it has a ";": eight
    // bytes at a time, since most texts have neither.
    static void scan(std::string_view t, bool& lineBreak, bool& semicolon) {
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        constexpr std::uint64_t kHigh = 0x8080808080808080u;
        // Nonzero when some byte of w is c.
        const auto has = [](std::uint64_t w, unsigned char c) {
            const std::uint64_t x = w ^ (kOnes * c);
            return (x - kOnes) & ~x & kHigh;
        };
        std::uint64_t breaks = 0, semicolons = 0;
        std::size_t i = 0;
        for (; i + 8 <= t.size(); i += 8) {
            std::uint64_t w;
            std::memcpy(&w, t.data() + i, 8);
            breaks |= has(w, '\r') | has(w, '\n');
            semicolons |= has(w, ';');
        }
        for (; i < t.size(); ++i) {
            breaks |= t[i] == '\r' || t[i] == '\n';
            semicolons |= t[i] == ';';
        }
        lineBreak = breaks != 0;
        semicolon = semicolons != 0;
    }

    // The number text numtext::format gives; whole amounts, most of them,
    // without going through it.
    std::string_view number(double v, char* buf) const {
        if (v >= 1 && v < 1e15) {
            const auto whole = static_cast<std::uint64_t>(v);
            if (static_cast<double>(whole) == v) {
                const auto res = std::to_chars(buf, buf + numtext::kMaxNumberText, whole);
                return {buf, std::size_t(res.ptr - buf)};
            }
        }
        return {buf, std::size_t(numtext::format(v, sep_, buf))};
    }

    static char* fill(char* out, char c, std::size_t n) {
        std::memset(out, c, n);
        return out + n;
    }

    // (An empty text may have no characters at all to copy from.)
    static char* copy(char* out, std::string_view t) {
        if (t.empty()) return out;
        std::memcpy(out, t.data(), t.size());
        return out + t.size();
    }

    // The text without its blanks, filled on the left to the width.
    static char* leftFilled(char* out, std::string_view t, char c, std::size_t width) {
        std::size_t len = t.size();
        for (const char ch : t)
            len -= ch == ' ';
        if (len < width) out = fill(out, c, width - len);
        if (len == t.size()) return copy(out, t);
        for (const char ch : t)
            if (ch != ' ') *out++ = ch;
        return out;
    }

    static char* positioned(char* out, const FieldPlan& p, std::string_view t) {
        switch (p.write) {
        case WriteRule::Z:
            return leftFilled(out, t, '0', p.width);
        case WriteRule::B:
            return leftFilled(out, t, ' ', p.width);
        case WriteRule::T:
            out = copy(out, t);
            return t.size() < p.width ? fill(out, ' ', p.width - t.size()) : out;
        case WriteRule::H:
            return copy(out, t);
        case WriteRule::D1:
            return t.empty() || t == "0" ? fill(out, ' ', p.width) : copy(out, t);
        case WriteRule::D2:
            return t.empty() ? fill(out, ' ', p.width) : copy(out, t);
        }
        return out;
    }

    FileForm form_;
    const QString& path_;
    char sep_;
    const Plan& plan_;
    bool plainNumbers_;
    std::vector<char> buf_;
    std::size_t used_ = 0;
};

// ---- converting ----------------------------------------------------------

// Why reading stopped early: the writing side gave up waiting.
struct Abandoned {};

constexpr int kBatchLines = 512;
constexpr int kBatches = 4;

// Records on their way from the thread that reads the lines to the one that
// writes them, a batch at a time. A few batches go round, so the memory
// does not grow with the file.
class BatchQueue {
public:
    struct Batch {
        std::unique_ptr<std::byte[]> records;
        int count = 0;
        qint64 firstLine = 0; // 1-based
    };

    explicit BatchQueue(std::size_t recordSize) {
        for (Batch& b : batches_) {
            b.records.reset(new std::byte[recordSize * kBatchLines]);
            free_.push_back(&b);
        }
    }

    // A batch to fill; none when the writing side is gone.
    Batch* takeEmpty() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !free_.empty() || abandoned_; });
        if (abandoned_) return nullptr;
        Batch* b = free_.back();
        free_.pop_back();
        return b;
    }

    void pass(Batch* b) {
        {
            const std::lock_guard lock(mutex_);
            filled_.push_back(b);
        }
        changed_.notify_all();
    }

    // No more batches will come.
    void end() {
        {
            const std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }

    // The next filled batch, in line order; none after the last.
    Batch* takeFilled() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !filled_.empty() || ended_; });
        if (filled_.empty()) return nullptr;
        Batch* b = filled_.front();
        filled_.pop_front();
        return b;
    }

    void giveBack(Batch* b) {
        {
            const std::lock_guard lock(mutex_);
            free_.push_back(b);
        }
        changed_.notify_all();
    }

    void abandon() {
        {
            const std::lock_guard lock(mutex_);
            abandoned_ = true;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<Batch, kBatches> batches_;
    std::deque<Batch*> filled_;
    std::vector<Batch*> free_;
    bool ended_ = false;
    bool abandoned_ = false;
};

// The reading side's records go into batches for the writing side.
class BatchSink {
public:
    BatchSink(BatchQueue& queue, std::size_t recordSize) : queue_(queue), size_(recordSize) {}

    std::byte* next() {
        if (!batch_) {
            batch_ = queue_.takeEmpty();
            if (!batch_) throw Abandoned();
            batch_->count = 0;
        }
        std::byte* r = batch_->records.get() + std::size_t(batch_->count) * size_;
        std::memset(r, 0, size_);
        return r;
    }
    void done(qint64 lineNo, qint64, const UnreadList&) {
        if (batch_->count++ == 0) batch_->firstLine = lineNo;
        if (batch_->count == kBatchLines) {
            queue_.pass(batch_);
            batch_ = nullptr;
        }
    }
    void finish() {
        if (batch_) queue_.pass(batch_);
        batch_ = nullptr;
    }

private:
    BatchQueue& queue_;
    std::size_t size_;
    BatchQueue::Batch* batch_ = nullptr;
};

// The writing side of a conversion. A failure does not stop the reading:
// it is kept, and reported only when the whole file was read without one,
// as when the file is loaded first and written afterwards.
class ConvertWriter {
public:
    ConvertWriter(QSaveFile& file, FileForm form, const QString& path, char separator)
        : file_(file), path_(path), lines_(form, path, separator) {}

    void fail(std::exception_ptr failure) { failure_ = std::move(failure); }
    bool failed() const { return bool(failure_); }

    void add(const std::byte* record, qint64 lineNo) {
        if (failure_) return;
        try {
            lines_.add(record, lineNo);
            if (lines_.full()) lines_.flushTo(file_);
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    // Reports the failure kept, or writes what is left and puts the file in
    // place.
    void finish() {
        if (failure_) std::rethrow_exception(failure_);
        lines_.flushTo(file_);
        // commit() does not notice when the last buffered bytes fail to reach
        // the disk, so the buffer is flushed and checked first.
        if (!file_.flush() || !file_.commit())
            throw IoError(QStringLiteral("No se pudo guardar el archivo «%1»: %2")
                              .arg(shownPath(path_), writeFailure(path_, file_.error())));
    }

private:
    QSaveFile& file_;
    const QString& path_;
    LineWriter lines_;
    std::exception_ptr failure_;
};

// Without a second thread, each record is written as soon as it is read.
class DirectSink {
public:
    DirectSink(ConvertWriter& writer, std::size_t recordSize)
        : writer_(writer), record_(recordSize) {}

    std::byte* next() {
        std::fill(record_.begin(), record_.end(), std::byte{0});
        return record_.data();
    }
    void done(qint64 lineNo, qint64, const UnreadList&) { writer_.add(record_.data(), lineNo); }
    void finish() {}

private:
    ConvertWriter& writer_;
    std::vector<std::byte> record_;
};

// Reads the whole file into the writer, on a thread of its own when the
// machine has a second core. Returns why the reading stopped, if it did.
std::exception_ptr readInto(ConvertWriter& writer, QFile& file, const QString& path, FileForm form,
                            char separator) {
    const std::size_t size = plan().recordSize;
    std::exception_ptr failure;
    if (!writer.failed() && QThread::idealThreadCount() > 1) {
        BatchQueue queue(size);
        std::thread reading;
        try {
            reading = std::thread([&] {
                try {
                    BatchSink sink(queue, size);
                    readLines(file, path, form, separator, sink);
                } catch (...) {
                    failure = std::current_exception();
                }
                queue.end();
            });
        } catch (const std::system_error&) {
            // No thread to be had: everything on this one, below.
        }
        if (reading.joinable()) {
            // Should this thread leave early, the reading one stops too.
            struct Join {
                BatchQueue& queue;
                std::thread& thread;
                ~Join() {
                    if (!thread.joinable()) return;
                    queue.abandon();
                    thread.join();
                }
            } join{queue, reading};
            while (BatchQueue::Batch* b = queue.takeFilled()) {
                for (int i = 0; i < b->count; ++i)
                    writer.add(b->records.get() + std::size_t(i) * size, b->firstLine + i);
                queue.giveBack(b);
            }
            reading.join();
            return failure;
        }
    }
    try {
        DirectSink sink(writer, size);
        readLines(file, path, form, separator, sink);
    } catch (...) {
        failure = std::current_exception();
    }
    return failure;
}

} // namespace

void loadDeclaration(const QString& path, FileForm form, RxMem& table, Progress* progress) {
    table.open();
    try {
        RxMem::Fill fill(table); // the loaded lines are the saved state, with nothing to undo
        QFile file(path);
        if (isSpecialFile(path) || !file.open(QIODevice::ReadOnly))
            throw IoError(QStringLiteral("No se pudo abrir el archivo «%1»: %2")
                              .arg(shownPath(path), readFailure(path)));
        // Another program writing the file meanwhile would leave lines of two
        // versions, or a last line cut short; that also explains any line the
        // reading stumbled on.
        const FileStamp before = FileStamp::of(path);
        try {
            TableSink sink(table, progress, file.size());
            readLines(file, path, form, numtext::decimalSeparator(), sink);
        } catch (const Cancelled&) {
            throw;
        } catch (const Error&) {
            if (FileStamp::of(path) != before) changedWhileRead(path);
            throw;
        }
        if (FileStamp::of(path) != before) changedWhileRead(path);
    } catch (...) {
        table.close();
        throw;
    }
}

void writeDeclaration(const QString& path, FileForm form, RxMem& table, Progress* progress) {
    table.first();
    const OutputTarget target(path, OutputKind::File);
    QSaveFile file(path);
    if (isSpecialFile(path) || !file.open(QIODevice::WriteOnly))
        throw IoError(QStringLiteral("No se pudo crear el archivo «%1»: %2")
                          .arg(shownPath(path), writeFailure(path, file.error())));

    LineWriter lines(form, path, numtext::decimalSeparator());
    const int count = table.recordCount();
    for (int row = 0; row < count; ++row) {
        lines.add(table.recordAt(row).data(), row + 1);
        if (lines.full()) lines.flushTo(file);
        if (progress && (row + 1) % kProgressEvery == 0 && !progress->update(row + 1, count))
            throw Cancelled();
    }
    lines.flushTo(file);
    // commit() does not notice when the last buffered bytes fail to reach the
    // disk, so the buffer is flushed and checked first.
    if (!file.flush() || !file.commit())
        throw IoError(QStringLiteral("No se pudo guardar el archivo «%1»: %2")
                          .arg(shownPath(path), writeFailure(path, file.error())));
    target.keepAttributes();
    if (progress) progress->update(count, count);
    table.last();
}

void convertDeclaration(const QString& inPath, FileForm from, const QString& outPath, FileForm to) {
    // Writing over the file being read would destroy it: refused at once.
    // The target's other faults count as the writing's.
    std::optional<OutputTarget> target;
    std::exception_ptr targetFault;
    try {
        target.emplace(outPath, OutputKind::File, inPath);
    } catch (const OutputIsInput&) {
        throw;
    } catch (const IoError&) {
        targetFault = std::current_exception();
    }
    QFile in(inPath);
    if (isSpecialFile(inPath) || !in.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("No se pudo abrir el archivo «%1»: %2")
                          .arg(shownPath(inPath), readFailure(inPath)));
    const FileStamp before = FileStamp::of(inPath);

    // The new file stays a temporary one until everything was read and
    // written; any failure removes it and leaves a file of that name as it
    // was.
    const char separator = numtext::decimalSeparator();
    QSaveFile out(outPath);
    ConvertWriter writer(out, to, outPath, separator);
    if (targetFault)
        writer.fail(targetFault);
    else if (isSpecialFile(outPath) || !out.open(QIODevice::WriteOnly))
        writer.fail(std::make_exception_ptr(
            IoError(QStringLiteral("No se pudo crear el archivo «%1»: %2")
                        .arg(shownPath(outPath), writeFailure(outPath, out.error())))));

    // Failures come in the order of loading first and writing afterwards:
    // the reading's, then a change of the file while it was read, then the
    // writing's.
    if (const std::exception_ptr failure = readInto(writer, in, inPath, from, separator)) {
        try {
            std::rethrow_exception(failure);
        } catch (const Error&) {
            if (FileStamp::of(inPath) != before) changedWhileRead(inPath);
            throw;
        }
    }
    if (FileStamp::of(inPath) != before) changedWhileRead(inPath);
    writer.finish();
    target->keepAttributes();
}

std::optional<FileForm> guessForm(const QString& path) {
    QFile file(path);
    if (isSpecialFile(path) || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray head = file.read(64 * 1024);
    int position = 0, separator = 0, other = 0;
    qsizetype start = 0;
    for (int lines = 0; lines < 5 && start < head.size(); ++lines) {
        const qsizetype end = head.indexOf('\n', start);
        if (end < 0) break; // a line longer than what was read
        QByteArrayView line(head.constData() + start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        start = end + 1;
        const qsizetype semicolons = line.count(';');
        if (semicolons == kFieldCount - 1)
            ++separator;
        else if (line.size() == kPositionLineLength && semicolons < kFieldCount - 1)
            ++position;
        else
            ++other;
    }
    if (other > 0 || (position > 0) == (separator > 0)) return std::nullopt;
    return position > 0 ? FileForm::Position : FileForm::Separator;
}

std::size_t positionLength(const FieldDef& def, std::string_view text) {
    std::size_t len = text.size();
    switch (def.writeRule) {
    case WriteRule::Z:
    case WriteRule::B:
        for (char c : text)
            len -= c == ' ';
        [[fallthrough]];
    case WriteRule::T:
        return std::max(len, std::size_t(def.width));
    case WriteRule::H:
        return len;
    case WriteRule::D1:
        return text.empty() || text == "0" ? std::size_t(def.width) : len;
    case WriteRule::D2:
        return text.empty() ? std::size_t(def.width) : len;
    }
    return len;
}

std::string_view separatorFormText(int field, std::string_view text) {
    return kFields[std::size_t(field)].sepUntrimmed ? text : trimmed(text);
}

} // namespace solvanta
