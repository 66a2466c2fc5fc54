#include "SheetRows.h"

#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

// A .csv file read in blocks, one record at a time. Only the field being read
// has to fit in the buffer: the cells before it are already decoded, so the
// buffer never holds more than one block and one field.
namespace solvanta {

namespace {

constexpr qint64 kBlock = 1 << 20;
// No spreadsheet writes a cell this long or a row this wide; a file that has
// one is not what the user meant to choose, and reading on would only fill
// the memory.
constexpr std::size_t kMaxField = 1 << 20;
constexpr int kMaxColumns = 16384;
// Fields at their longest, as many as a row may have, would still take
// gigabytes: a row is also held to this many bytes.
constexpr qint64 kMaxRow = 16 << 20;

[[noreturn]] void fail(const QString& path, const QString& reason) {
    throw IoError(
        QStringLiteral("No se pudo leer el archivo «%1»: %2").arg(shownPath(path), reason));
}

QString notText() {
    return QStringLiteral("no es un archivo de texto (tiene bytes nulos). Elija el archivo "
                          ".csv que guardó la planilla.");
}

// The length of the UTF-8 sequence that starts at p (n bytes available), 0
// when the bytes are no UTF-8 (overlong forms and surrogates included), -1
// when the sequence is cut short by the end of the bytes.
int utf8Sequence(const unsigned char* p, std::size_t n) {
    const unsigned char c = p[0];
    if (c < 0x80) return 1;
    int len;
    unsigned char lo = 0x80, hi = 0xBF; // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (int k = 1; k < len; ++k) {
        if (std::size_t(k) >= n) return -1;
        const unsigned char b = p[k];
        if (k == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80) return 0;
    }
    return len;
}

bool asciiWord(const unsigned char* p) {
    quint64 w;
    std::memcpy(&w, p, 8);
    return (w & 0x8080808080808080ULL) == 0;
}

bool validUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        if (i + 8 <= n && asciiWord(p + i)) {
            i += 8;
            continue;
        }
        const int len = utf8Sequence(p + i, n - i);
        if (len <= 0) return false;
        i += std::size_t(len);
    }
    return true;
}

enum class Encoding { Utf8, Cp1252 };

// What the whole file is written in: UTF-8 when every byte of it is UTF-8.
// A file with UTF-8 letters and also bytes that are no UTF-8 was pieced
// together from two sources (or damaged); read either way, part of its text
// would come out wrong without anyone noticing, so it is refused, with the
// line where the first byte that is no UTF-8 stands.
Encoding detectEncoding(QFile& file, const QString& path) {
    const qint64 block = std::clamp<qint64>(file.size() + 1, 4096, kBlock);
    std::vector<unsigned char> buf(std::size_t(block) + 4);
    std::size_t carried = 0; // bytes of a sequence cut by the block's end
    qint64 offset = 0;       // of buf[0] in the file
    qint64 firstBad = -1;
    bool multibyte = false;
    for (;;) {
        const qint64 n = file.read(reinterpret_cast<char*>(buf.data() + carried), block);
        if (n < 0) fail(path, readFailure(path));
        const std::size_t have = carried + std::size_t(n);
        const bool last = n == 0;
        std::size_t i = 0;
        while (i < have) {
            if (i + 8 <= have && asciiWord(buf.data() + i)) {
                i += 8;
                continue;
            }
            const int len = utf8Sequence(buf.data() + i, have - i);
            if (len < 0 && !last) break; // finished with the next block
            if (len <= 0) {
                if (firstBad < 0) firstBad = offset + qint64(i);
                ++i;
            } else {
                multibyte = multibyte || len > 1;
                i += std::size_t(len);
            }
            if (firstBad >= 0 && multibyte) break;
        }
        if (firstBad >= 0 && multibyte) break;
        if (last) break;
        carried = have - i;
        std::memmove(buf.data(), buf.data() + i, carried);
        offset += qint64(i);
    }
    if (firstBad >= 0 && multibyte) {
        // The line of the first stray byte, counted again from the start: this
        // happens once, for a file that cannot be read anyway.
        if (!file.seek(0)) fail(path, readFailure(path));
        qint64 line = 1, at = 0;
        while (at < firstBad) {
            const qint64 n = file.read(reinterpret_cast<char*>(buf.data()),
                                       std::min<qint64>(block, firstBad - at));
            if (n <= 0) break;
            line += std::count(buf.data(), buf.data() + n, '\n');
            at += n;
        }
        fail(path, QStringLiteral("mezcla dos codificaciones: tiene letras en UTF-8 y, en la "
                                  "línea %1, caracteres que no son UTF-8. Ábralo en la planilla "
                                  "y guárdelo de nuevo como «CSV UTF-8».")
                       .arg(line));
    }
    if (!file.seek(0)) fail(path, readFailure(path));
    return firstBad >= 0 ? Encoding::Cp1252 : Encoding::Utf8;
}

class CsvRows final : public SheetRows {
public:
    explicit CsvRows(const QString& path) : path_(path), file_(path) {
        const QFileInfo info(path);
        if (isSpecialFile(path) || info.isDir() || !file_.open(QIODevice::ReadOnly))
            fail(path, readFailure(path));
        name_ = info.completeBaseName();
        total_ = file_.size();
        // Excel's «Texto Unicode» is UTF-16, with NUL in every other byte of
        // plain text: it says so rather than that it is no text.
        const QByteArray head = file_.peek(2);
        if (head == "\xFF\xFE" || head == "\xFE\xFF")
            fail(path, QStringLiteral("está guardado en UTF-16. Ábralo en la planilla y guárdelo "
                                      "como «CSV UTF-8»."));
        encoding_ = detectEncoding(file_, path);
        // A small file needs no block of full size.
        block_ = std::clamp<qint64>(total_ + 1, 4096, kBlock);
        fill();
        if (end_ >= 3 && std::memcmp(buf_.data(), "\xEF\xBB\xBF", 3) == 0) begin_ = 3;
        separator_ = detectSeparator();
    }

    bool next(std::vector<SheetCell>& cells) override {
        while (begin_ == end_ && !atEnd_)
            fill();
        if (begin_ == end_) return false;
        ++row_;
        const qint64 rowStart = bytesRead();
        std::size_t k = 0;
        for (;;) {
            if (k == cells.size()) cells.emplace_back();
            const End end = field(cells[k]);
            if (end == End::More) {
                if (end_ - begin_ > kMaxField) fieldTooLong();
                if (bytesRead() - rowStart > kMaxRow) rowTooLong();
                fill();
                continue;
            }
            if (bytesRead() - rowStart > kMaxRow) rowTooLong();
            ++k;
            if (end != End::Separator) break;
            if (k == std::size_t(kMaxColumns))
                fail(path_, QStringLiteral("la fila %1 tiene más de 16.384 columnas; ninguna "
                                           "planilla guarda tantas.")
                                .arg(row_));
        }
        // A blank line is a row without cells.
        if (k == 1 && cells[0].type == SheetCell::Type::Empty) k = 0;
        cells.resize(k);
        return true;
    }

    qint64 rowNumber() const override { return row_; }
    QString sheetName() const override { return name_; }
    qint64 bytesRead() const override { return read_ - qint64(end_ - begin_); }
    qint64 bytesTotal() const override { return total_; }

private:
    enum class End { Separator, Line, File, More };

    // The first record decides the separator: the one of ";", "," and tab
    // that stands most often outside quotes, ";" then "," on a tie (Calc and
    // Excel in Spanish write ";"). A file of one column has none.
    char detectSeparator() const {
        int counts[3] = {0, 0, 0};
        bool quoted = false;
        for (std::size_t i = begin_; i < end_; ++i) {
            const char c = buf_[i];
            if (c == '"') quoted = !quoted;
            if (quoted) continue;
            if (c == '\n' || c == '\r') break;
            if (c == ';') ++counts[0];
            if (c == ',') ++counts[1];
            if (c == '\t') ++counts[2];
        }
        int best = 0;
        for (int s = 1; s < 3; ++s)
            if (counts[s] > counts[best]) best = s;
        return ";,\t"[best];
    }

    // Keeps the bytes from begin_ on, and reads the next block after them.
    void fill() {
        if (begin_ > 0) {
            std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        if (buf_.size() - end_ < std::size_t(block_)) buf_.resize(end_ + std::size_t(block_));
        const qint64 n = file_.read(buf_.data() + end_, block_);
        if (n < 0) fail(path_, readFailure(path_));
        if (n == 0) atEnd_ = true;
        const std::size_t from = end_;
        end_ += std::size_t(n);
        read_ += n;
        checkText(from);
    }

    void checkText(std::size_t from) const {
        if (std::memchr(buf_.data() + from, 0, end_ - from)) fail(path_, notText());
    }

    [[noreturn]] void fieldTooLong() const {
        fail(path_, QStringLiteral("un campo de la fila %1 tiene más de 1.048.576 bytes (1 MiB); "
                                   "no parece un archivo guardado por una planilla.")
                        .arg(row_));
    }

    [[noreturn]] void rowTooLong() const {
        fail(path_, QStringLiteral("la fila %1 ocupa más de 16 MiB; no parece un archivo guardado "
                                   "por una planilla.")
                        .arg(row_));
    }

    // The end of an unquoted stretch that starts at i: the separator, the
    // line end or the end of the bytes read.
    std::size_t plainEnd(std::size_t i) const {
        const char* b = buf_.data();
        const char sep = separator_;
        while (i < end_) {
            const char c = b[i];
            if (c == sep || c == '\n' || c == '\r') break;
            ++i;
        }
        return i;
    }

    // Reads the field at begin_ into the cell and moves past it and what
    // ends it. More when the bytes read so far do not hold all of it; then
    // begin_ stays, and the field is read again once there are more.
    End field(SheetCell& cell) {
        const char* b = buf_.data();
        const std::size_t start = begin_;
        std::string_view text;
        std::size_t i;
        if (start < end_ && b[start] == '"') {
            scratch_.clear();
            bool copied = false;
            std::size_t from = start + 1;
            i = from;
            for (;;) {
                const void* q = std::memchr(b + i, '"', end_ - i);
                if (!q) {
                    if (atEnd_) unclosed();
                    return End::More;
                }
                const std::size_t at = std::size_t(static_cast<const char*>(q) - b);
                // A quote that ends the bytes read counts as closing for now;
                // what follows it is needed anyway, and the field is read
                // again with it.
                if (at + 1 < end_ && b[at + 1] == '"') {
                    scratch_.append(b + from, at + 1 - from);
                    copied = true;
                    i = from = at + 2;
                    continue;
                }
                if (copied) scratch_.append(b + from, at - from);
                i = at + 1;
                break;
            }
            // What follows the closing quote up to the separator is kept as
            // written, as the spreadsheets do with «"a"b».
            const std::size_t after = plainEnd(i);
            if (after == end_ && !atEnd_) return End::More;
            if (after > i) {
                if (!copied) scratch_.assign(b + start + 1, i - 1 - (start + 1));
                scratch_.append(b + i, after - i);
                copied = true;
            }
            text = copied ? std::string_view(scratch_)
                          : std::string_view(b + start + 1, i - 1 - (start + 1));
            i = after;
        } else {
            i = plainEnd(start);
            if (i == end_ && !atEnd_) return End::More;
            text = std::string_view(b + start, i - start);
        }
        if (i - start > kMaxField) fieldTooLong();

        End end;
        std::size_t next = i + 1;
        if (i == end_) {
            end = End::File;
            next = i;
        } else if (b[i] == separator_) {
            end = End::Separator;
        } else {
            end = End::Line;
            if (b[i] == '\r') {
                if (i + 1 == end_ && !atEnd_) return End::More; // a CR LF cut by the block
                if (i + 1 < end_ && b[i + 1] == '\n') next = i + 2;
            }
        }

        if (text.empty()) {
            cell.type = SheetCell::Type::Empty;
            cell.text.clear();
        } else {
            cell.type = SheetCell::Type::Text;
            cell.text = decode(text);
        }
        cell.number = 0;
        begin_ = next;
        return end;
    }

    QString decode(std::string_view text) const {
        if (encoding_ == Encoding::Cp1252) return cp1252::decode(text);
        // The whole file was UTF-8 when it was opened.
        if (!validUtf8(text)) fail(path_, QStringLiteral("cambió mientras se leía."));
        // QString::fromUtf8 drops a U+FEFF that starts its bytes, taking it
        // for a byte-order mark; in a field it is text.
        QString marks;
        while (text.substr(0, 3) == "\xEF\xBB\xBF") {
            marks += QChar(0xFEFF);
            text.remove_prefix(3);
        }
        QString out = QString::fromUtf8(text.data(), qsizetype(text.size()));
        return marks.isEmpty() ? out : marks + out;
    }

    [[noreturn]] void unclosed() const {
        fail(path_, QStringLiteral("las comillas que abren un campo en la fila %1 no se cierran "
                                   "antes del fin del archivo.")
                        .arg(row_));
    }

    QString path_;
    QFile file_;
    QString name_;
    qint64 total_ = 0;
    qint64 block_ = kBlock;
    Encoding encoding_ = Encoding::Utf8;
    char separator_ = ';';
    std::vector<char> buf_;
    std::size_t begin_ = 0, end_ = 0;
    bool atEnd_ = false;
    qint64 read_ = 0;
    qint64 row_ = 0;
    std::string scratch_; // a quoted field with doubled quotes, put together
};

} // namespace

std::unique_ptr<SheetRows> openCsv(const QString& path) {
    return std::make_unique<CsvRows>(path);
}

} // namespace solvanta
