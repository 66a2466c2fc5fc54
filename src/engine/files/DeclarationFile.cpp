#include "DeclarationFile.h"
#include "OutputTarget.h"

#include "engine/model/RxMem.h"
#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

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

// A character of a UTF-8 line that the code page cannot hold: where it
// stands in the line as loaded, and what it was.
struct Replacement {
    std::size_t at;
    char32_t codePoint; // 0xFFFD for bytes that are no UTF-8
};

// Lines of a text file, read in blocks: a line ends at LF or CR LF, a lone
// CR is dropped, and Ctrl+Z ends the file. A file with no LF in its first
// block but with CRs (old Mac text) has its lines end at CR. A line longer
// than kMaxLine (not counting its line end) stops the reading; the block
// always has room for the longest line, so it never grows. UTF-8's byte-order
// mark at the start is skipped; UTF-8 lines come out in the code page.
class LineReader {
public:
    LineReader(QFile& file, const QString& path, FileEncoding encoding)
        : file_(file), path_(path), utf8_(encoding == FileEncoding::Utf8), buf_(kChunk) {}

    bool next(std::string_view& line) {
        if (!started_) start();
        for (;;) {
            const char* b = buf_.data() + begin_;
            const std::size_t pending = end_ - begin_;
            if (skipLf_ && pending > 0) {
                skipLf_ = false;
                if (*b == '\n') {
                    ++begin_;
                    continue;
                }
            }
            const void* lf = crEnds_ ? lineEnd(b, pending) : std::memchr(b, '\n', pending);
            if (lf) {
                const std::size_t len = static_cast<const char*>(lf) - b;
                if (crEnds_ && b[len] == '\r') skipLf_ = true;
                line = take(b, len);
                begin_ += len + 1;
                return true;
            }
            if (atEnd_) {
                if (pending == 0) return false;
                line = take(b, pending);
                begin_ = end_;
                lastCut_ = true; // the last line had no line end
                return true;
            }
            if (pending > kMaxLine + 1) tooLong(lines_ + 1); // longer than any line and its CR
            fill();
        }
    }

    qint64 consumed() const { return read_ - static_cast<qint64>(end_ - begin_); }
    bool crLineEnds() const { return crEnds_; }
    const std::vector<Replacement>& replacements() const { return replaced_; }

    // After the last line: what stood after a Ctrl+Z, as a note.
    std::optional<LoadNote> afterEndOfFile() {
        if (!ctrlZ_) return std::nullopt;
        // The rest of the file: lines with anything besides line ends.
        std::vector<char> rest(static_cast<std::size_t>(kChunk));
        for (;;) {
            const qint64 n = file_.read(rest.data(), qint64(rest.size()));
            if (n < 0)
                throw IoError(QStringLiteral("No se pudo leer el archivo «%1»: %2")
                                  .arg(shownPath(path_), readFailure(path_)));
            if (n == 0) break;
            tail(rest.data(), std::size_t(n));
        }
        if (tailLines_ == 0) return std::nullopt;
        const QString lines = tailLines_ == 1 ? QStringLiteral("1 línea")
                                              : QStringLiteral("%1 líneas").arg(tailLines_);
        LoadNote note;
        note.kind = LoadNote::Dropped;
        // The Ctrl+Z stood inside the last line read, or at the start of
        // the line after it.
        if (lastCut_) {
            note.text = QStringLiteral("línea %1: lo que sigue al carácter de fin de archivo "
                                       "(Ctrl+Z) no se leyó: %2.")
                            .arg(lines_)
                            .arg(lines);
        } else {
            note.text = QStringLiteral("Después de la línea %1 hay un carácter de fin de archivo "
                                       "(Ctrl+Z); lo que sigue no se leyó: %2.")
                            .arg(lines_)
                            .arg(lines);
        }
        return note;
    }

private:
    // The first block decides the line ends, and loses the byte-order mark.
    void start() {
        started_ = true;
        fill();
        if (end_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0) begin_ = 3;
        // Old Mac text: no LF, and CRs that end lines (more than one, or one
        // at the very end). A single CR inside the only line is dropped.
        if (!std::memchr(buf_.data(), '\n', end_)) {
            const auto crs = std::count(buf_.data() + begin_, buf_.data() + end_, '\r');
            crEnds_ = crs > 1 || (crs == 1 && (atEnd_ || file_.atEnd()) && buf_[end_ - 1] == '\r');
        }
    }

    static const char* lineEnd(const char* b, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            if (b[i] == '\r' || b[i] == '\n') return b + i;
        return nullptr;
    }

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
            const std::size_t at = std::size_t(static_cast<const char*>(z) - buf_.data());
            ctrlZ_ = true;
            tail(buf_.data() + at + 1, end_ + std::size_t(n) - at - 1);
            end_ = at;
            atEnd_ = true;
            return;
        }
        end_ += std::size_t(n);
    }

    // Counts the lines after a Ctrl+Z that hold anything but line ends and
    // more Ctrl+Z; the first is the rest of the Ctrl+Z's own line.
    void tail(const char* b, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const char c = b[i];
            if (c == '\n' || c == '\r') {
                tailHas_ = false;
            } else if (c != 0x1A && !tailHas_) {
                tailHas_ = true;
                ++tailLines_;
            }
        }
    }

    std::string_view take(const char* b, std::size_t len) {
        ++lines_;
        if (len - (len > 0 && b[len - 1] == '\r') > kMaxLine) tooLong(lines_);
        const std::string_view line = clean({b, len});
        return utf8_ ? fromUtf8(line) : line;
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

    // The UTF-8 line in the code page, one byte a letter; what the code page
    // cannot hold, and bytes that are no UTF-8, become '?' and are listed.
    std::string_view fromUtf8(std::string_view line) {
        replaced_.clear();
        std::size_t i = 0;
        while (i < line.size() && static_cast<unsigned char>(line[i]) < 0x80)
            ++i;
        if (i == line.size()) return line;
        std::string& out = utf8Out_;
        out.assign(line.data(), i);
        while (i < line.size()) {
            const auto c = static_cast<unsigned char>(line[i]);
            if (c < 0x80) {
                out.push_back(char(c));
                ++i;
                continue;
            }
            char32_t cp = 0xFFFD;
            std::size_t n = 1;
            const std::size_t len = c >= 0xF5 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
            if (len > 0 && i + len <= line.size()) {
                char32_t v = c & (0x7F >> len);
                bool ok = true;
                for (std::size_t k = 1; k < len && ok; ++k) {
                    const auto cc = static_cast<unsigned char>(line[i + k]);
                    ok = (cc & 0xC0) == 0x80;
                    v = (v << 6) | (cc & 0x3F);
                }
                if (ok && !(len == 3 && v < 0x800) && !(len == 4 && (v < 0x10000 || v > 0x10FFFF)) &&
                    !(v >= 0xD800 && v <= 0xDFFF)) {
                    cp = v;
                    n = len;
                }
            }
            const char b = cp == 0xFFFD ? '?' : cp1252::fromUnicode(cp);
            if (b == '?' && cp != U'?') replaced_.push_back({out.size(), cp});
            out.push_back(b);
            i += n;
        }
        return out;
    }

    QFile& file_;
    const QString& path_;
    bool utf8_;
    std::vector<char> buf_;
    std::size_t begin_ = 0, end_ = 0;
    qint64 read_ = 0;
    qint64 lines_ = 0; // lines taken so far
    bool started_ = false;
    bool atEnd_ = false;
    bool crEnds_ = false;
    bool skipLf_ = false;  // a CR ended the last line: a LF right after it goes with it
    bool ctrlZ_ = false;
    bool lastCut_ = false; // the last line ended at the end of the file (or a Ctrl+Z)
    bool tailHas_ = false;
    qint64 tailLines_ = 0;
    std::string scratch_;
    std::string utf8Out_;
    std::vector<Replacement> replaced_;
};

// What a line held that the loader could not take as it stood.
struct Unread {
    enum What : unsigned char {
        Value,   // a text that did not read; the field got its fallback
        Long,    // a position line of `count` characters: the text after its last column
        Extra,   // a separator line of `count` pieces: the text after the last field
        Missing, // a separator line of `count` pieces: fields from `field` on got the last
        Cut,     // a position line of `count` characters ends inside the field
    };
    int field;
    std::string text; // the file's own text
    What what = Value;
    std::size_t count = 0;
    bool quoted = false; // the line has a '"'
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
        if (line.size() != std::size_t(kPositionLineLength)) [[unlikely]]
            noteShape(line, unread);
        return true;
    }

    bool separator(std::string_view line, std::byte* r, std::string_view& bad,
                   UnreadList& unread) const {
        unread.clear();
        const char* const data = line.data();
        const std::size_t size = line.size();
        std::size_t scan = 0; // just past the last ";" found; stays put after the last one
        std::size_t found = 0; // ";" found
        for (const FieldPlan& p : fields_) {
            const std::size_t start = scan;
            std::size_t end = size;
            for (std::size_t i = start; i < size; ++i)
                if (data[i] == ';') {
                    end = i;
                    scan = i + 1;
                    ++found;
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
        // 105 pieces, and perhaps a ";" after the last one.
        if (found != std::size_t(kFieldCount - 1) && (found != std::size_t(kFieldCount) || scan != size))
            [[unlikely]]
            noteShape(line, found, scan, unread);
        return true;
    }

private:
    // A position line longer than the form, or ending inside a number.
    [[gnu::cold, gnu::noinline]] void noteShape(std::string_view line, UnreadList& unread) const {
        if (line.size() > std::size_t(kPositionLineLength)) {
            const std::string_view extra = line.substr(std::size_t(kPositionLineLength));
            if (extra.find_first_not_of(' ') != std::string_view::npos)
                unread.push_back({kFieldCount - 1, std::string(extra.substr(0, 100)),
                                  Unread::Long, line.size()});
            return;
        }
        for (const FieldPlan& p : fields_)
            if (p.from < line.size() && line.size() < std::size_t(p.from) + p.width) {
                const std::string_view part = line.substr(p.from);
                if (p.load != LoadRule::Text &&
                    part.find_first_not_of(' ') != std::string_view::npos)
                    unread.push_back({int(&p - fields_.data()), std::string(part), Unread::Cut,
                                      line.size()});
                return;
            }
    }

    // A separator line of more or fewer than 105 pieces.
    [[gnu::cold, gnu::noinline]] void noteShape(std::string_view line, std::size_t found,
                                                std::size_t scan, UnreadList& unread) const {
        const bool quoted = line.find('"') != std::string_view::npos;
        if (found >= std::size_t(kFieldCount)) {
            const std::string_view extra = line.substr(scan);
            if (extra.find_first_not_of(' ') == std::string_view::npos) return;
            std::size_t pieces = kFieldCount + 1;
            for (const char c : extra)
                pieces += c == ';';
            unread.push_back({kFieldCount - 1, std::string(extra.substr(0, 100)), Unread::Extra,
                              pieces, quoted});
            return;
        }
        // Fields from found + 1 on got the last piece again.
        unread.push_back({int(found) + 1, std::string(line.substr(scan, 100)), Unread::Missing,
                          found + 1, quoted});
    }

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

void openToRead(QFile& file, const QString& path) {
    if (isSpecialFile(path) || !file.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("No se pudo abrir el archivo «%1»: %2")
                          .arg(shownPath(path), readFailure(path)));
}

[[noreturn]] void changedWhileRead(const QString& path) {
    throw IoError(QStringLiteral("No se pudo cargar el archivo «%1»: cambió mientras se leía. "
                                 "Vuelva a cargarlo cuando ningún otro programa lo esté "
                                 "modificando.")
                      .arg(shownPath(path)));
}

QString fileText(std::string_view bytes) {
    return excerpt(cp1252::decode(bytes.substr(0, 100)));
}

// The note of what the line held and the record got instead.
LoadNote noteOf(const Unread& u, qint64 lineNo, const RecordView& record) {
    LoadNote n;
    n.line = lineNo;
    n.field = u.field;
    const QString quotes = u.quoted ? QStringLiteral(" Un texto entre comillas que contiene «;» "
                                                     "corre los campos siguientes.")
                                    : QString();
    switch (u.what) {
    case Unread::Value: {
        const FieldDef& f = kFields[std::size_t(u.field)];
        const QString what = f.value == Value::Amount ? QStringLiteral("un monto")
                             : f.value == Value::Rut  ? QStringLiteral("un RUT")
                                                      : QStringLiteral("un número");
        n.kind = LoadNote::Replaced;
        n.text = QStringLiteral("«%1» no es %2; se leyó como %3.")
                     .arg(fileText(u.text), what, record.text(u.field));
        break;
    }
    case Unread::Long:
        n.kind = LoadNote::Dropped;
        n.text = QStringLiteral("la línea tiene %1 caracteres y no %2: lo que sigue a la columna "
                                "%2 no se leyó («%3»).")
                     .arg(u.count)
                     .arg(kPositionLineLength)
                     .arg(fileText(u.text));
        break;
    case Unread::Extra:
        n.kind = LoadNote::Dropped;
        n.text = QStringLiteral("la línea tiene %1 campos y no %2: lo que sigue al campo %2 no "
                                "se leyó («%3»).%4")
                     .arg(u.count)
                     .arg(kFieldCount)
                     .arg(fileText(u.text), quotes);
        break;
    case Unread::Missing:
        n.kind = LoadNote::FilledIn;
        n.text = u.field == kFieldCount - 1
                     ? QStringLiteral("la línea tiene %1 campos y no %2: el campo %2 no estaba en "
                                      "la línea y tomó «%3», el último texto de la línea.%4")
                           .arg(u.count)
                           .arg(kFieldCount)
                           .arg(fileText(u.text), quotes)
                     : QStringLiteral("la línea tiene %1 campos y no %2: los campos %3 a %2 no "
                                      "estaban en la línea y tomaron «%4», el último texto de la "
                                      "línea.%5")
                           .arg(u.count)
                           .arg(kFieldCount)
                           .arg(u.field + 1)
                           .arg(fileText(u.text), quotes);
        break;
    case Unread::Cut:
        n.kind = LoadNote::FilledIn;
        n.text = QStringLiteral("la línea tiene %1 caracteres y no %2, y termina dentro de este "
                                "campo: se leyó «%3» y los campos siguientes quedaron vacíos.")
                     .arg(u.count)
                     .arg(kPositionLineLength)
                     .arg(fileText(u.text));
        break;
    }
    return n;
}

// A character of a UTF-8 file that the code page lacks, on the field it
// fell in.
LoadNote noteOf(const Replacement& c, qint64 lineNo, FileForm form, std::string_view line) {
    int field = kFieldCount - 1;
    if (form == FileForm::Position) {
        for (int f = 0; f < kFieldCount; ++f)
            if (c.at < std::size_t(kFields[std::size_t(f)].start - 1 + kFields[std::size_t(f)].width)) {
                field = f;
                break;
            }
    } else {
        std::size_t semicolons = 0;
        for (std::size_t i = 0; i < c.at && i < line.size(); ++i)
            semicolons += line[i] == ';';
        field = int(std::min<std::size_t>(semicolons, kFieldCount - 1));
    }
    LoadNote n;
    n.line = lineNo;
    n.field = field;
    n.kind = LoadNote::Replaced;
    n.text = c.codePoint == 0xFFFD
                 ? QStringLiteral("la línea tiene bytes que no son UTF-8; se leyeron como «?».")
                 : QStringLiteral("«%1» no existe en Windows-1252, la codificación del archivo "
                                  "de declaración; se leyó como «?».")
                       .arg(QString::fromUcs4(&c.codePoint, 1));
    return n;
}

bool blankLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

// Why a line stopped the load at its nationality: usually, the line is not
// of the form asked for.
QString nacionFailure(const QString& path, qint64 lineNo, FileForm form, std::string_view line,
                      std::string_view bad) {
    const int f = fieldIndex(Field::Nacion);
    QString why;
    if (blankLine(line)) {
        why = QStringLiteral("Línea %1: está vacía, y entre las líneas de un archivo de "
                             "declaración no hay líneas vacías.")
                  .arg(lineNo);
    } else if (form == FileForm::Separator && std::count(line.begin(), line.end(), ';') < f) {
        const bool commas = std::count(line.begin(), line.end(), ',') >= f;
        const bool tabs = std::count(line.begin(), line.end(), '\t') >= f;
        why = QStringLiteral("Línea %1: no tiene los campos separados por «;»%2, así que no "
                             "parece un archivo de declaración por separador.")
                  .arg(lineNo)
                  .arg(commas ? QStringLiteral(" (están separados por comas)")
                       : tabs ? QStringLiteral(" (están separados por tabuladores)")
                              : QString());
    } else if (form == FileForm::Separator && line.find('"') != std::string_view::npos &&
               std::count(line.begin(), line.end(), ';') >= kFieldCount) {
        why = QStringLiteral("Línea %1: tiene más de %2 campos, porque un texto entre comillas "
                             "que contiene «;» corre los campos siguientes: el campo %3 tiene "
                             "«%4», que no es un número entero válido.")
                  .arg(lineNo)
                  .arg(kFieldCount)
                  .arg(fieldTitle(f), fileText(bad));
    } else if (form == FileForm::Position && line.size() != std::size_t(kPositionLineLength) &&
               std::count(line.begin(), line.end(), ';') >= f) {
        why = QStringLiteral("Línea %1: tiene %2 caracteres y sus campos están separados por "
                             "«;»: parece un archivo por separador, no por posición.")
                  .arg(lineNo)
                  .arg(line.size());
    } else if (form == FileForm::Position && line.size() < std::size_t(kFields[std::size_t(f)].start)) {
        why = QStringLiteral("Línea %1: tiene %2 caracteres y no %3, así que no parece un "
                             "archivo de declaración por posición.")
                  .arg(lineNo)
                  .arg(line.size())
                  .arg(kPositionLineLength);
    } else {
        why = QStringLiteral("Línea %1: el campo %2 tiene «%3», que no es un número entero "
                             "válido.")
                  .arg(lineNo)
                  .arg(fieldTitle(f), fileText(bad));
    }
    return QStringLiteral("No se pudo cargar el archivo «%1».\n\n%2 Corrija esa línea del "
                          "archivo y vuelva a cargarlo.")
        .arg(shownPath(path), why);
}

// Reads every line of the file into records that `sink` provides: next()
// gives a record of zero bytes for the next line, done() takes it filled
// with the notes of what did not load as it stood, finish() is told when
// every line was read. Empty lines at the end of the file are left out
// (with a notice). Throws at the first line that cannot be read.
template <typename Sink>
void readLines(QFile& file, const QString& path, FileForm form, char separator,
               FileEncoding encoding, Sink& sink, LoadReport& report) {
    LineReader reader(file, path, encoding);
    const LineFiller filler(separator);
    std::string_view line;
    std::string_view bad;
    UnreadList unread;
    std::vector<LoadNote> notes;
    qint64 lineNo = 0;
    qint64 emptyRun = 0; // empty lines not yet loaded
    const auto fill = [&](std::string_view text) {
        ++lineNo;
        std::byte* r = sink.next();
        const bool ok = form == FileForm::Position ? filler.position(text, r, bad, unread)
                                                   : filler.separator(text, r, bad, unread);
        if (!ok) throw ConversionError(nacionFailure(path, lineNo, form, text, bad));
        notes.clear();
        if (!unread.empty() || !reader.replacements().empty()) [[unlikely]] {
            const RecordView record(r);
            for (const Unread& u : unread)
                notes.push_back(noteOf(u, lineNo, record));
            for (const Replacement& c : reader.replacements())
                notes.push_back(noteOf(c, lineNo, form, text));
            std::stable_sort(notes.begin(), notes.end(), [](const LoadNote& a, const LoadNote& b) {
                return a.field < b.field;
            });
            for (const LoadNote& n : notes)
                report.add(n);
        }
        sink.done(lineNo, reader.consumed(), notes);
    };
    while (reader.next(line)) {
        if (line.empty() || blankLine(line)) [[unlikely]] {
            ++emptyRun;
            continue;
        }
        // An empty line with more lines after it is loaded like any other
        // (and stops the load).
        if (emptyRun > 0) [[unlikely]]
            fill({});
        fill(line);
    }
    report.lines = lineNo;
    if (emptyRun > 0)
        report.add({0, -1, LoadNote::Notice,
                    emptyRun == 1
                        ? QStringLiteral("la línea vacía del final del archivo no se cargó.")
                        : QStringLiteral("las %1 líneas vacías del final del archivo no se "
                                         "cargaron.")
                              .arg(emptyRun)});
    if (reader.crLineEnds())
        report.add({0, -1, LoadNote::Notice,
                    QStringLiteral("las líneas del archivo terminan solo en CR (como en los Mac "
                                   "antiguos); se leyeron %1 líneas, que se escriben terminadas "
                                   "en CR LF.")
                        .arg(lineNo)});
    if (auto z = reader.afterEndOfFile()) report.add(std::move(*z));
    sink.finish();
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
    void done(qint64 lineNo, qint64 consumed, const std::vector<LoadNote>& notes) {
        table_.post();
        // What the line held and the table now shows in its place stays in
        // view with the line: the file's own text is gone from it.
        for (const LoadNote& n : notes)
            table_.noteCell(table_.bookmark(), n.field, n.text);
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
                char* const at = out;
                out = positioned(out, p, t);
                if (breaks_ && (std::size_t(out - at) != p.width || !plainDigits(t)))
                    [[unlikely]] noteBreak(lineNo, f, {at, std::size_t(out - at)});
                continue;
            }
            if (!p.untrimmed && !checked) t = trimBlanksAndControls(t);
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

    // Notes each value the position form cannot hold as it is (it would move
    // the later fields, or read back as something else) in `report`, instead
    // of writing it silently.
    void noteBreaks(LoadReport* report) { breaks_ = report; }

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

    static bool plainDigits(std::string_view t) {
        for (const char c : t)
            if (c < '0' || c > '9') return false;
        return true;
    }

    // `t`: the field's columns as laid out.
    [[gnu::cold, gnu::noinline]] void noteBreak(qint64 lineNo, int f, std::string_view t) {
        const FieldDef& def = kFields[std::size_t(f)];
        const std::size_t columns = t.size();
        QString why;
        if (columns != std::size_t(def.width))
            why = t.empty() ? QStringLiteral("está vacío y ocupa %1 columnas y no %2: correría "
                                             "los campos siguientes.")
                                  .arg(columns)
                                  .arg(def.width)
                            : QStringLiteral("«%1» ocupa %2 columnas y no %3: correría los campos "
                                             "siguientes.")
                                  .arg(fileText(t))
                                  .arg(columns)
                                  .arg(def.width);
        else if (const char* back = positionReadsBackAs(def, t, sep_))
            why = QStringLiteral("«%1» se leería como %2 en el archivo por posición.")
                      .arg(fileText(t), QLatin1String(back));
        else
            return;
        breaks_->add({lineNo, f, LoadNote::Breaks, why});
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
    LoadReport* breaks_ = nullptr;
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
        // The notes of the few lines that have any, by their place in the batch.
        std::vector<std::pair<int, std::vector<LoadNote>>> notes;
    };

    explicit BatchQueue(std::size_t recordSize) {
        for (Batch& b : batches_) {
            b.records.reset(new std::byte[recordSize * kBatchLines]);
            free_.push_back(&b);
        }
    }

    // A batch to fill; none when the writing side is gone.
    Batch* takeEmpty() {
        return take(free_, abandoned_, true);
    }

    void pass(Batch* b) {
        change([&] { filled_.push_back(b); });
    }

    // No more batches will come.
    void end() {
        change([&] { ended_ = true; });
    }

    // The next filled batch, in line order; none after the last.
    Batch* takeFilled() {
        return take(filled_, ended_, false);
    }

    void giveBack(Batch* b) {
        change([&] { free_.push_back(b); });
    }

    void abandon() {
        change([&] { abandoned_ = true; });
    }

private:
    // The first batch of `from` once it has one; none once `over` holds:
    // at once when `overWins`, else when `from` is empty too.
    Batch* take(std::deque<Batch*>& from, const bool& over, bool overWins) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !from.empty() || over; });
        if ((over && overWins) || from.empty()) return nullptr;
        Batch* b = from.front();
        from.pop_front();
        return b;
    }

    // Changes the queue's state under its lock, then wakes both sides.
    template <typename F> void change(F&& f) {
        {
            const std::lock_guard lock(mutex_);
            f();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<Batch, kBatches> batches_;
    std::deque<Batch*> filled_;
    std::deque<Batch*> free_;
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
            batch_->notes.clear();
        }
        std::byte* r = batch_->records.get() + std::size_t(batch_->count) * size_;
        std::memset(r, 0, size_);
        return r;
    }
    void done(qint64 lineNo, qint64, const std::vector<LoadNote>& notes) {
        if (!notes.empty()) [[unlikely]]
            batch_->notes.emplace_back(batch_->count, notes);
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
    ConvertWriter(QSaveFile& file, FileForm form, const QString& path, char separator,
                  std::size_t keptNotes)
        : file_(file), path_(path), lines_(form, path, separator) {
        breaks_.keep = keptNotes;
        if (form == FileForm::Position) lines_.noteBreaks(&breaks_);
    }

    void fail(std::exception_ptr failure) { failure_ = std::move(failure); }
    bool failed() const { return bool(failure_); }

    void add(const std::byte* record, qint64 lineNo, const std::vector<LoadNote>&) {
        if (failure_) return;
        try {
            lines_.add(record, lineNo);
            if (lines_.full()) lines_.flushTo(file_);
        } catch (...) {
            failure_ = std::current_exception();
        }
    }

    // Reports the failure kept; or adds the values the form cannot hold to
    // the report and, unless something would arrive otherwise than it stood
    // and `force` is not given, writes what is left and puts the file in
    // place.
    void finish(LoadReport& report, bool force) {
        if (failure_) std::rethrow_exception(failure_);
        for (LoadNote& n : breaks_.notes)
            report.add(std::move(n));
        // (Only the first were kept; the others count.)
        const qint64 uncounted = breaks_.noteCount - qint64(breaks_.notes.size());
        report.noteCount += uncounted;
        report.lossCount += uncounted;
        if (report.losesData() && !force) {
            file_.cancelWriting();
            throw DataLossError(
                QStringLiteral("No se escribió el archivo «%1»: sus datos no llegarían tal como "
                               "están.\n%2\nCorrija el archivo de entrada, o escríbalo de todos "
                               "modos con --force.")
                    .arg(shownPath(path_), describeNotes(report)));
        }
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
    LoadReport breaks_;
};

// Without a second thread, each record is taken as soon as it is read.
template <typename Consumer> class DirectSink {
public:
    DirectSink(Consumer& consumer, std::size_t recordSize)
        : consumer_(consumer), record_(recordSize) {}

    std::byte* next() {
        std::fill(record_.begin(), record_.end(), std::byte{0});
        return record_.data();
    }
    void done(qint64 lineNo, qint64, const std::vector<LoadNote>& notes) {
        consumer_.add(record_.data(), lineNo, notes);
    }
    void finish() {}

private:
    Consumer& consumer_;
    std::vector<std::byte> record_;
};

// Reads the whole file into the writer, on a thread of its own when the
// machine has a second core. Returns why the reading stopped, if it did.
template <typename Consumer>
std::exception_ptr readInto(Consumer& writer, QFile& file, const QString& path, FileForm form,
                            char separator, FileEncoding encoding, LoadReport& report) {
    const std::size_t size = plan().recordSize;
    std::exception_ptr failure;
    if (!writer.failed() && QThread::idealThreadCount() > 1) {
        BatchQueue queue(size);
        std::thread reading;
        try {
            reading = std::thread([&] {
                try {
                    BatchSink sink(queue, size);
                    readLines(file, path, form, separator, encoding, sink, report);
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
            static const std::vector<LoadNote> none;
            while (BatchQueue::Batch* b = queue.takeFilled()) {
                auto notes = b->notes.begin();
                for (int i = 0; i < b->count; ++i) {
                    const bool noted = notes != b->notes.end() && notes->first == i;
                    writer.add(b->records.get() + std::size_t(i) * size, b->firstLine + i,
                               noted ? notes->second : none);
                    notes += noted;
                }
                queue.giveBack(b);
            }
            reading.join();
            return failure;
        }
    }
    try {
        DirectSink<Consumer> sink(writer, size);
        readLines(file, path, form, separator, encoding, sink, report);
    } catch (...) {
        failure = std::current_exception();
    }
    return failure;
}

struct Utf8Signs {
    bool mark = false;    // the file begins with UTF-8's byte-order mark
    bool letters = false; // its first megabyte is UTF-8 with letters beyond ASCII
};

Utf8Signs utf8Signs(const QString& path) {
    Utf8Signs signs;
    QFile file(path);
    if (isSpecialFile(path) || !file.open(QIODevice::ReadOnly)) return signs;
    const QByteArray head = file.read(kChunk);
    signs.mark = head.startsWith("\xEF\xBB\xBF");
    const auto* b = reinterpret_cast<const unsigned char*>(head.constData());
    const std::size_t n = std::size_t(head.size());
    bool beyondAscii = false;
    for (std::size_t i = signs.mark ? 3 : 0; i < n;) {
        const unsigned c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = c >= 0xF5 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (len == 0) return signs;
        if (i + len > n) break; // cut by the end of what was read
        for (std::size_t k = 1; k < len; ++k)
            if ((b[i + k] & 0xC0) != 0x80) return signs;
        beyondAscii = true;
        i += len;
    }
    signs.letters = beyondAscii;
    return signs;
}

// A note for a UTF-8 file read in the code page: its letters beyond ASCII
// come out wrong. (A notice for a byte-order mark alone.)
bool noteUtf8(const QString& path, FileEncoding encoding, LoadReport& report) {
    if (encoding != FileEncoding::Windows1252) return false;
    const Utf8Signs signs = utf8Signs(path);
    if (!signs.letters) {
        if (signs.mark)
            report.add({0, -1, LoadNote::Notice,
                        QStringLiteral("el archivo empieza con la marca de UTF-8 (BOM), que no "
                                       "se leyó como parte de la primera línea.")});
        return false;
    }
    report.add({0, -1, LoadNote::Replaced,
                QStringLiteral("el archivo está escrito en UTF-8 y se leyó como Windows-1252, "
                               "la codificación de los archivos de declaración: las letras con "
                               "tilde y la Ñ se leen mal («MUÃ‘OZ»). Léalo como UTF-8.")});
    return true;
}

// Rethrows the failure of a reading in progress: as a change of the file
// when it changed meanwhile; with a word on UTF-8 when a line did not load
// from a UTF-8 file read in the code page (its letters take more bytes,
// which moves the fixed columns).
[[noreturn]] void readingFailed(const QString& path, const FileStamp& before, bool utf8) {
    if (FileStamp::of(path) != before) changedWhileRead(path);
    try {
        throw;
    } catch (const ConversionError& e) {
        if (!utf8) throw;
        throw ConversionError(e.message() +
                              QStringLiteral("\n\nEl archivo está escrito en UTF-8 y se leyó "
                                             "como Windows-1252: léalo como UTF-8."));
    }
}

// What a reading that ran to its end leaves to say: the failure it stopped
// at (as readingFailed tells it), or a change of the file meanwhile.
void endOfReading(std::exception_ptr failure, const QString& path, const FileStamp& before,
                  bool utf8) {
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const Error&) {
            readingFailed(path, before, utf8);
        }
    }
    if (FileStamp::of(path) != before) changedWhileRead(path);
}

} // namespace

void LoadReport::add(LoadNote note) {
    ++noteCount;
    if (note.kind != LoadNote::Notice) ++lossCount;
    if (note.line == 0 || notes.size() < keep) notes.push_back(std::move(note));
}

QString LoadReport::describe(const LoadNote& n) {
    const QString text = n.kind == LoadNote::Notice ? QStringLiteral("Aviso: ") + n.text : n.text;
    if (n.line == 0) return text.left(1).toUpper() + text.mid(1);
    if (n.field < 0) return QStringLiteral("línea %1: %2").arg(n.line).arg(text);
    return QStringLiteral("línea %1, %2: %3").arg(n.line).arg(fieldTitle(n.field), text);
}

QString describeNotes(const LoadReport& report, std::size_t max) {
    QStringList lines;
    std::size_t shown = 0;
    for (const LoadNote& n : report.notes) {
        if (shown == max) break;
        lines << LoadReport::describe(n);
        ++shown;
    }
    if (const qint64 more = report.noteCount - qint64(shown); more > 0)
        lines << (more == 1 ? QStringLiteral("… y 1 aviso más.")
                            : QStringLiteral("… y %1 avisos más.").arg(more));
    return lines.join(u'\n');
}

bool looksLikeUtf8(const QString& path) {
    return utf8Signs(path).letters;
}

LoadReport loadDeclaration(const QString& path, FileForm form, RxMem& table, Progress* progress,
                           const LoadOptions& options) {
    LoadReport report;
    report.keep = options.keptNotes;
    table.open();
    try {
        RxMem::Fill fill(table); // the loaded lines are the saved state, with nothing to undo
        QFile file(path);
        openToRead(file, path);
        // Another program writing the file meanwhile would leave lines of two
        // versions, or a last line cut short; that also explains any line the
        // reading stumbled on.
        const FileStamp before = FileStamp::of(path);
        const bool utf8 = noteUtf8(path, options.encoding, report);
        try {
            TableSink sink(table, progress, file.size());
            readLines(file, path, form, numtext::decimalSeparator(), options.encoding, sink,
                      report);
        } catch (const Cancelled&) {
            throw;
        } catch (const Error&) {
            readingFailed(path, before, utf8);
        }
        if (FileStamp::of(path) != before) changedWhileRead(path);
    } catch (...) {
        table.close();
        throw;
    }
    return report;
}

namespace {

// Lines go to a function, one record at a time, in line order.
class CallConsumer {
public:
    using Line = std::function<void(qint64, const RecordView&, const std::vector<LoadNote>&)>;
    explicit CallConsumer(const Line& line) : line_(line) {}
    bool failed() const { return false; }
    void add(const std::byte* record, qint64 lineNo, const std::vector<LoadNote>& notes) {
        line_(lineNo, RecordView(record), notes);
    }

private:
    const Line& line_;
};

} // namespace

void readDeclaration(const QString& path, FileForm form, const LoadOptions& options,
                     const std::function<void(qint64, const RecordView&,
                                              const std::vector<LoadNote>&)>& line,
                     LoadReport& report) {
    report.keep = options.keptNotes;
    QFile file(path);
    openToRead(file, path);
    const FileStamp before = FileStamp::of(path);
    const bool utf8 = noteUtf8(path, options.encoding, report);
    // Reading and judging the lines overlap on two cores, as in a conversion.
    CallConsumer consumer(line);
    endOfReading(readInto(consumer, file, path, form, numtext::decimalSeparator(),
                          options.encoding, report),
                 path, before, utf8);
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

LoadReport convertDeclaration(const QString& inPath, FileForm from, const QString& outPath,
                              FileForm to, const ConvertOptions& options) {
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
    openToRead(in, inPath);
    const FileStamp before = FileStamp::of(inPath);
    LoadReport report;
    report.keep = options.keptNotes;
    const bool utf8 = noteUtf8(inPath, options.encoding, report);

    // The new file stays a temporary one until everything was read and
    // written; any failure removes it and leaves a file of that name as it
    // was.
    const char separator = numtext::decimalSeparator();
    QSaveFile out(outPath);
    ConvertWriter writer(out, to, outPath, separator, options.keptNotes);
    if (targetFault)
        writer.fail(targetFault);
    else if (isSpecialFile(outPath) || !out.open(QIODevice::WriteOnly))
        writer.fail(std::make_exception_ptr(
            IoError(QStringLiteral("No se pudo crear el archivo «%1»: %2")
                        .arg(shownPath(outPath), writeFailure(outPath, out.error())))));

    // Failures come in the order of loading first and writing afterwards:
    // the reading's, then a change of the file while it was read, then the
    // writing's.
    endOfReading(readInto(writer, in, inPath, from, separator, options.encoding, report), inPath,
                 before, utf8);
    writer.finish(report, options.force);
    target->keepAttributes();
    return report;
}

std::optional<FileForm> guessForm(const QString& path) {
    QFile file(path);
    if (isSpecialFile(path) || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray head = file.read(64 * 1024);
    if (head.startsWith("\xEF\xBB\xBF")) head.remove(0, 3);
    // Old Mac text ends its lines in CR alone.
    const char lineEnd = !head.contains('\n') && head.count('\r') > 1 ? '\r' : '\n';
    // A UTF-8 file's columns are letters, read as one byte each on loading;
    // the bytes of a code-page file may happen to read as UTF-8 too.
    const bool utf8 = utf8Signs(path).letters;
    const auto positional = [utf8](QByteArrayView line) {
        if (line.size() == kPositionLineLength) return true;
        return utf8 && std::count_if(line.begin(), line.end(), [](char c) {
                           return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
                       }) == kPositionLineLength;
    };
    int position = 0, separator = 0, other = 0;
    qsizetype start = 0;
    for (int lines = 0; lines < 5 && start < head.size(); ++lines) {
        const qsizetype end = head.indexOf(lineEnd, start);
        if (end < 0) break; // a line longer than what was read
        QByteArrayView line(head.constData() + start, end - start);
        if (line.endsWith('\r')) line.chop(1);
        start = end + 1;
        const qsizetype semicolons = line.count(';');
        if (semicolons == kFieldCount - 1)
            ++separator;
        else if (positional(line) && semicolons < kFieldCount - 1)
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

// What the position form would read back in place of the field's text when
// it would not read the text itself (the loader's fallback, "0" or "00");
// nothing when it reads back. Texts are laid out by the field's write rule
// (blanks dropped where it drops them) and read by its load rule.
const char* positionReadsBackAs(const FieldDef& def, std::string_view t, char sep) {
    if (def.loadRule == LoadRule::Text || def.loadRule == LoadRule::Integer) return nullptr;
    // Digits alone, as codes and counts usually are, always read back (a
    // whole number up to nine digits).
    const bool whole = def.loadRule != LoadRule::Decimal && def.loadRule != LoadRule::Rate &&
                       def.loadRule != LoadRule::Rut;
    if (!whole || t.size() <= 9) {
        std::size_t i = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9')
            ++i;
        if (i == t.size()) return nullptr;
    }
    char piece[64];
    std::size_t n = 0;
    const bool dropBlanks = def.writeRule == WriteRule::Z || def.writeRule == WriteRule::B;
    for (const char c : t) {
        if (dropBlanks && c == ' ') continue;
        if (n == sizeof piece) return nullptr; // too wide for its columns, reported as such
        char x = c;
        if (def.loadRule == LoadRule::Rate && (c == '.' || c == ',')) x = sep;
        piece[n++] = x;
    }
    const std::string_view read(piece, n);
    if (read.find_first_not_of(' ') == std::string_view::npos) return nullptr; // no value
    switch (def.loadRule) {
    case LoadRule::Whole0:
        return numtext::parseWhole(read) ? nullptr : "0";
    case LoadRule::Whole00:
    case LoadRule::Whole2:
        return numtext::parseWhole(read) ? nullptr : "00";
    default:
        return numtext::parseDecimal(read, sep) ? nullptr : "0";
    }
}

std::string_view separatorFormText(int field, std::string_view text) {
    return kFields[std::size_t(field)].sepUntrimmed ? text : trimBlanksAndControls(text);
}

} // namespace solvanta
