#include "DeclarationFile.h"

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
#include <charconv>
#include <cstring>
#include <vector>

namespace solvanta {
namespace {

constexpr qint64 kChunk = 1 << 20;
constexpr int kProgressEvery = 1024; // lines between progress reports

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

    std::string_view clean(std::string_view line) {
        if (line.find('\r') == std::string_view::npos) return line;
        scratch_.clear();
        for (char c : line)
            if (c != '\r') scratch_.push_back(c);
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

std::string_view slice(std::string_view line, int start, int width) {
    const std::size_t from = static_cast<std::size_t>(start - 1);
    if (from >= line.size()) return {};
    return line.substr(from, static_cast<std::size_t>(width));
}

// Fills one line's fields, keeping the field whose text could not be stored
// when the load must stop.
class LineFiller {
public:
    explicit LineFiller(char separator) : sep_(separator) {}

    // Stores a whole number by the field's kind: a number field gets the
    // number, a text field its digits (zero-filled to two for Whole2).
    void whole(RecordRef& r, int f, std::int32_t v, bool twoDigits) {
        if (kFields[f].kind == Kind::Number) {
            r.setNumber(f, v);
            return;
        }
        char buf[16] = {'0'};
        const auto res = std::to_chars(buf + 1, buf + sizeof buf, v);
        const std::size_t n = static_cast<std::size_t>(res.ptr - (buf + 1));
        if (twoDigits && n < 2)
            r.setTextBytes(f, {buf, n + 1}); // "0" and the digit
        else
            r.setTextBytes(f, {buf + 1, n});
    }

    void decimal(RecordRef& r, int f, double v) {
        if (kFields[f].kind == Kind::Number) {
            r.setNumber(f, v);
            return;
        }
        char buf[numtext::kMaxNumberText];
        r.setTextBytes(f, {buf, std::size_t(numtext::format(v, sep_, buf))});
    }

    void fallback(RecordRef& r, int f, std::string_view text) {
        if (kFields[f].kind == Kind::Number)
            r.setNumber(f, 0);
        else
            r.setTextBytes(f, text);
    }

    // Returns false when nacion cannot be stored; `bad` is its text.
    bool position(std::string_view line, RecordRef& r, std::string_view& bad) {
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldDef& def = kFields[f];
            std::string_view t = slice(line, def.start, def.width);
            switch (def.loadRule) {
            case LoadRule::Text:
                r.setTextBytes(f, t);
                break;
            case LoadRule::Whole0:
            case LoadRule::Whole00:
            case LoadRule::Whole2:
                if (const auto v = numtext::parseWhole(t))
                    whole(r, f, *v, def.loadRule == LoadRule::Whole2);
                else
                    fallback(r, f, def.loadRule == LoadRule::Whole0 ? "0" : "00");
                break;
            case LoadRule::Rate:
                rate_.assign(t);
                for (char& c : rate_)
                    if (c == '.' || c == ',') c = sep_;
                t = rate_;
                [[fallthrough]];
            case LoadRule::Decimal:
                if (const auto v = numtext::parseDecimal(t, sep_))
                    decimal(r, f, *v);
                else
                    fallback(r, f, "0");
                break;
            case LoadRule::Rut:
                r.setNumber(f, numtext::parseDecimal(t, sep_).value_or(0));
                break;
            case LoadRule::Integer:
                if (!integer(r, f, t, bad)) return false;
                break;
            }
        }
        return true;
    }

    bool separator(std::string_view line, RecordRef& r, std::string_view& bad) {
        std::size_t scan = 0; // just past the last ";" found; stays put after the last one
        for (int f = 0; f < kFieldCount; ++f) {
            const std::size_t start = scan;
            std::size_t end = line.size();
            if (const void* p = start < line.size()
                                    ? std::memchr(line.data() + start, ';', line.size() - start)
                                    : nullptr) {
                end = static_cast<std::size_t>(static_cast<const char*>(p) - line.data());
                scan = end + 1;
            }
            const std::string_view piece = line.substr(start, end - start);
            switch (kFields[f].sepRule) {
            case SepRule::Text:
                r.setTextBytes(f, piece);
                break;
            case SepRule::TextOrZero:
                r.setTextBytes(f, piece.empty() ? std::string_view("0") : piece);
                break;
            case SepRule::Number:
            case SepRule::Rut:
                r.setNumber(f, numtext::parseDecimal(piece, sep_).value_or(0));
                break;
            case SepRule::Integer:
                if (!integer(r, f, piece, bad)) return false;
                break;
            }
        }
        return true;
    }

private:
    static bool integer(RecordRef& r, int f, std::string_view t, std::string_view& bad) {
        const auto v = numtext::parseWhole(t);
        if (!v) {
            bad = t;
            return false;
        }
        r.setInteger(f, *v);
        return true;
    }

    char sep_;
    std::string rate_;
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

void readLines(QFile& file, const QString& path, FileForm form, RxMem& table, Progress* progress) {
    LineReader reader(file, path);
    LineFiller filler(numtext::decimalSeparator());
    const qint64 total = file.size();
    std::string_view line;
    std::string_view bad;
    qint64 lineNo = 0;
    while (reader.next(line)) {
        ++lineNo;
        table.append();
        RecordRef r = table.pending();
        const bool ok = form == FileForm::Position ? filler.position(line, r, bad)
                                                   : filler.separator(line, r, bad);
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
        table.post();
        if (progress && lineNo % kProgressEvery == 0 && !progress->update(reader.consumed(), total))
            throw Cancelled();
    }
    if (progress) progress->update(total, total);
}

// ---- writing -------------------------------------------------------------

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

void appendFilled(std::string& out, std::string_view text, char fill, int width, bool left,
                  bool dropBlanks) {
    std::size_t len = text.size();
    if (dropBlanks)
        for (char c : text)
            len -= c == ' ';
    if (left && len < std::size_t(width)) out.append(std::size_t(width) - len, fill);
    if (dropBlanks) {
        for (char c : text)
            if (c != ' ') out.push_back(c);
    } else {
        out.append(text);
    }
    if (!left && len < std::size_t(width)) out.append(std::size_t(width) - len, fill);
}

void appendPositioned(std::string& out, const FieldDef& def, std::string_view t) {
    switch (def.writeRule) {
    case WriteRule::Z:
        appendFilled(out, t, '0', def.width, true, true);
        break;
    case WriteRule::B:
        appendFilled(out, t, ' ', def.width, true, true);
        break;
    case WriteRule::T:
        appendFilled(out, t, ' ', def.width, false, false);
        break;
    case WriteRule::H:
        out.append(t);
        break;
    case WriteRule::D1:
        if (t.empty() || t == "0")
            out.append(std::size_t(def.width), ' ');
        else
            out.append(t);
        break;
    case WriteRule::D2:
        if (t.empty())
            out.append(std::size_t(def.width), ' ');
        else
            out.append(t);
        break;
    }
}

[[noreturn]] void refuse(const QString& path, int line, int field, const QString& why) {
    throw IoError(QStringLiteral("No se creó el archivo «%1».\n\nLínea %2, campo %3: %4 "
                                 "Corrija ese valor y vuelva a crear el archivo.")
                      .arg(shownPath(path))
                      .arg(line)
                      .arg(fieldTitle(field), why));
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
            readLines(file, path, form, table, progress);
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
    QSaveFile file(path);
    if (isSpecialFile(path) || !file.open(QIODevice::WriteOnly))
        throw IoError(QStringLiteral("No se pudo crear el archivo «%1»: %2")
                          .arg(shownPath(path), writeFailure(path, file.error())));

    const char sep = numtext::decimalSeparator();
    const int count = table.recordCount();
    std::string out;
    out.reserve(std::size_t(kChunk) + 4096);
    char buf[numtext::kMaxNumberText];
    auto flush = [&] {
        if (file.write(out.data(), qint64(out.size())) != qint64(out.size()))
            throw IoError(QStringLiteral("No se pudo escribir el archivo «%1»: %2")
                              .arg(shownPath(path), writeFailure(path, shortWriteError(file))));
        out.clear();
    };
    for (int row = 0; row < count; ++row) {
        const RecordView r = table.recordAt(row);
        for (int f = 0; f < kFieldCount; ++f) {
            const FieldDef& def = kFields[f];
            std::string_view t = r.textForm(f, sep, buf);
            if (def.kind == Kind::Text && t.find_first_of("\r\n") != std::string_view::npos)
                refuse(path, row + 1, f, QStringLiteral("el texto contiene un salto de línea."));
            if (form == FileForm::Position) {
                appendPositioned(out, def, t);
                continue;
            }
            t = separatorFormText(f, t);
            if (t.find(';') != std::string_view::npos)
                refuse(path, row + 1, f,
                       QStringLiteral("el texto «%1» contiene «;», que en un archivo por "
                                      "separador partiría el campo en dos.")
                           .arg(excerpt(cp1252::decode(t.substr(0, 100)))));
            out.append(t);
            if (f + 1 < kFieldCount) out.push_back(';');
        }
        out.append("\r\n");
        if (out.size() >= std::size_t(kChunk)) flush();
        if (progress && (row + 1) % kProgressEvery == 0 && !progress->update(row + 1, count))
            throw Cancelled();
    }
    flush();
    // commit() does not notice when the last buffered bytes fail to reach the
    // disk, so the buffer is flushed and checked first.
    if (!file.flush() || !file.commit())
        throw IoError(QStringLiteral("No se pudo guardar el archivo «%1»: %2")
                          .arg(shownPath(path), writeFailure(path, file.error())));
    if (progress) progress->update(count, count);
    table.last();
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
