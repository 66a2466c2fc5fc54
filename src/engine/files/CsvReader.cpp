#include "SheetRows.h"

#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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
        if (!nextBytes(bytes_)) return false;
        cells.resize(bytes_.size());
        for (std::size_t k = 0; k < bytes_.size(); ++k)
            cells[k] = decodeCell(bytes_[k]);
        return true;
    }

    bool givesBytes() const override { return true; }

    bool nextBytes(std::vector<std::string_view>& cells) override {
        for (;;) {
            while (begin_ == end_ && !atEnd_)
                fill();
            if (begin_ == end_) return false;
            if (row(cells)) return true;
            // The row goes on beyond the bytes read: read on, and take it
            // again from its start.
            if (std::size_t(end_ - begin_) > std::size_t(kMaxRow)) {
                ++row_;
                rowTooLong();
            }
            fill();
        }
    }

    SheetCell decodeCell(std::string_view bytes) const override {
        SheetCell cell;
        if (!bytes.empty()) {
            cell.type = SheetCell::Type::Text;
            cell.text = decode(bytes);
        }
        return cell;
    }

    bool typed() const override { return false; }
    bool utf8Bytes() const override { return encoding_ == Encoding::Utf8; }

    qint64 rowNumber() const override { return row_; }
    QString sheetName() const override { return name_; }
    qint64 bytesRead() const override { return read_ - qint64(end_ - begin_); }
    qint64 bytesTotal() const override { return total_; }

private:
    // A cell of the record being read put together in scratch_, which may
    // grow while the record is read.
    struct Copied {
        std::size_t cell, from, size;
    };

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
        // The cells given as bytes have kByteSlack readable bytes after them.
        if (buf_.size() - end_ < std::size_t(block_) + kByteSlack)
            buf_.resize(end_ + std::size_t(block_) + kByteSlack);
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

    // Reads the record at begin_ into `cells` and moves past it. False when
    // the bytes read so far do not hold all of it; then nothing moves, and
    // the record is read again once there are more. Separators and line ends
    // are found sixteen bytes at a time. A quoted field with doubled quotes
    // is put together in scratch_, so the cells point into the buffer or
    // into it.
    bool row(std::vector<std::string_view>& cells) {
        const char* b = buf_.data();
        cells.clear();
        fromScratch_.clear();
        scratch_.clear();
        std::size_t field = begin_; // where the field being read starts
        std::size_t at = begin_;    // the bytes from here on are still to be looked at
        // The record ends with the line end at `stop`.
        const auto lineEnd = [&](std::size_t stop) {
            std::size_t next = stop + 1;
            if (b[stop] == '\r') {
                if (next == end_ && !atEnd_) return cutShort(field); // a CR LF cut by the block
                if (next < end_ && b[next] == '\n') ++next;
            }
            return finishRow(next, cells);
        };
        for (;;) {
            if (at >= end_) {
                if (!atEnd_) return cutShort(field);
                addCell(cells, field, end_); // the last record, without its line end
                return finishRow(end_, cells);
            }
            // The slack after the bytes read lets 16 be looked at.
            const std::size_t n = std::min<std::size_t>(16, end_ - at);
            std::uint32_t mask = stopsIn16(b + at) & ((1u << n) - 1);
            std::size_t next = at + n;
            for (; mask != 0; mask &= mask - 1) {
                const std::size_t i = at + std::size_t(std::countr_zero(mask));
                const char c = b[i];
                if (c == separator_) {
                    addCell(cells, field, i);
                    field = i + 1;
                    continue;
                }
                if (c != '"') {
                    addCell(cells, field, i);
                    return lineEnd(i);
                }
                if (i != field) continue; // inside a field a quote is a character
                std::size_t stop;
                if (!quoted(cells, field, stop)) return cutShort(field);
                if (stop == end_) return finishRow(end_, cells);
                if (b[stop] != separator_) return lineEnd(stop);
                field = next = stop + 1;
                break;
            }
            at = next;
        }
    }

    // A field of the bytes from `from` to `to`.
    void addCell(std::vector<std::string_view>& cells, std::size_t from, std::size_t to) {
        if (to - from > kMaxField) {
            ++row_;
            fieldTooLong();
        }
        if (cells.size() == std::size_t(kMaxColumns)) tooManyColumns();
        cells.emplace_back(buf_.data() + from, to - from);
    }

    // The quoted field that starts at `start`, as the next cell; `stop` is
    // set to what ends it (a separator, a line end, end_). False when the
    // bytes read so far do not hold all of it.
    bool quoted(std::vector<std::string_view>& cells, std::size_t start, std::size_t& stop) {
        const char* b = buf_.data();
        std::size_t from = start + 1;
        const std::size_t copyAt = scratch_.size();
        bool copied = false;
        std::size_t i = from;
        for (;;) {
            const void* q = std::memchr(b + i, '"', end_ - i);
            if (!q) {
                if (atEnd_) unclosed();
                return false;
            }
            const std::size_t quote = std::size_t(static_cast<const char*>(q) - b);
            // A quote that ends the bytes read counts as closing for now; what
            // follows it is needed anyway, and the record is read again with it.
            if (quote + 1 < end_ && b[quote + 1] == '"') {
                scratch_.append(b + from, quote + 1 - from);
                copied = true;
                i = from = quote + 2;
                continue;
            }
            if (copied) scratch_.append(b + from, quote - from);
            i = quote + 1;
            break;
        }
        // What follows the closing quote up to the separator is kept as
        // written, as the spreadsheets do with «"a"b».
        const std::size_t after = plainEnd(i);
        if (after == end_ && !atEnd_) return false;
        if (after > i) {
            if (!copied) scratch_.append(b + start + 1, i - 1 - (start + 1));
            scratch_.append(b + i, after - i);
            copied = true;
        }
        if (after - start > kMaxField) {
            ++row_;
            fieldTooLong();
        }
        if (cells.size() == std::size_t(kMaxColumns)) tooManyColumns();
        if (copied) {
            // Pointed to once scratch_ has stopped growing.
            fromScratch_.push_back({cells.size(), copyAt, scratch_.size() - copyAt});
            cells.emplace_back();
        } else {
            cells.emplace_back(b + start + 1, i - 1 - (start + 1));
        }
        stop = after;
        return true;
    }

    // The record read ends just before `at`.
    bool finishRow(std::size_t at, std::vector<std::string_view>& cells) {
        ++row_;
        if (at - begin_ > std::size_t(kMaxRow)) rowTooLong();
        begin_ = at;
        // A blank line is a row without cells.
        if (cells.size() == 1 && cells[0].empty() && fromScratch_.empty()) cells.clear();
        if (!fromScratch_.empty()) {
            scratch_.append(kByteSlack, '\0');
            for (const Copied& c : fromScratch_)
                cells[c.cell] = std::string_view(scratch_.data() + c.from, c.size);
        }
        return true;
    }

    [[noreturn]] void tooManyColumns() const {
        fail(path_, QStringLiteral("la fila %1 tiene más de 16.384 columnas; ninguna planilla "
                                   "guarda tantas.")
                        .arg(row_ + 1));
    }

    // A record that the bytes read do not hold: false. Its field that starts
    // at `field` alone may not outgrow what a spreadsheet writes.
    bool cutShort(std::size_t field) {
        if (end_ - field > kMaxField) {
            ++row_;
            fieldTooLong();
        }
        return false;
    }

    // Where the bytes hold a separator, a line end or a quote: bit k for p[k].
    std::uint32_t stopsIn(const char* p, std::size_t n) const {
        std::uint32_t mask = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const char c = p[k];
            if (c == separator_ || c == '\n' || c == '\r' || c == '"') mask |= 1u << k;
        }
        return mask;
    }
    std::uint32_t stopsIn16(const char* p) const {
#if defined(__SSE2__) || defined(_M_X64)
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(separator_)),
                                                       _mm_cmpeq_epi8(v, _mm_set1_epi8('\n'))),
                                          _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\r')),
                                                       _mm_cmpeq_epi8(v, _mm_set1_epi8('"'))));
        return std::uint32_t(_mm_movemask_epi8(hits));
#else
        return stopsIn(p, 16);
#endif
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
                        .arg(row_ + 1));
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
    std::string scratch_; // quoted fields with doubled quotes, put together
    std::vector<Copied> fromScratch_;
    std::vector<std::string_view> bytes_;
};

} // namespace

std::unique_ptr<SheetRows> openCsv(const QString& path) {
    return std::make_unique<CsvRows>(path);
}

} // namespace solvanta
