// Reading the first worksheet of an .xlsx workbook, row by row.
//
// An .xlsx file is a zip of XML parts: _rels/.rels names the workbook part,
// the workbook lists its sheets in order and its relationships name each
// sheet's part, the shared texts and the styles. The sheet's part is parsed
// while it is unpacked, a block at a time, so that a sheet of a million rows
// never sits in memory; the shared texts and the styles are read whole first,
// because any cell may refer to them.
//
// The file may come from anyone, so nothing it says is trusted: the bytes
// unpacked are counted as they come out (a zip can declare small sizes and
// unpack gigabytes), the shared texts kept are capped, a DTD is refused (the
// only use of one in a workbook would be entity tricks), and cell references
// must stay inside a sheet's 16,384 columns and 1,048,576 rows and go forward.

#include "WorkbookReader.h"

#include "engine/util/Errors.h"
#include "engine/util/FileReasons.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>
#include <QTimeZone>
#include <QXmlStreamReader>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <zip.h>

namespace solvanta {

namespace {

constexpr int kMaxColumns = 16384;   // A to XFD
constexpr qint64 kMaxRows = 1048576; // a worksheet's rows
// Excel keeps at most 32,767 characters in a cell; other writers may keep
// more, but a text beyond this is no cell of a payroll sheet.
constexpr qsizetype kMaxCellChars = 1 << 20;
// Workbooks nest their elements a few levels deep.
constexpr int kMaxDepth = 256;

struct ZipDiscard {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileClose {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

class Archive;

// One part of the zip, unpacked as it is read. Every byte it gives counts
// against the archive's limit; past it, or when the zip turns out broken,
// the read fails and failure() says why (the XML reader only sees the data
// end).
class PartDevice final : public QIODevice {
public:
    PartDevice(Archive& archive, zip_file_t* file, QString name)
        : archive_(archive), file_(file), name_(std::move(name)) {}

    bool isSequential() const override { return true; }
    qint64 unpacked() const { return unpacked_; }
    const QString& failure() const { return failure_; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    Archive& archive_;
    std::unique_ptr<zip_file_t, ZipFileClose> file_;
    QString name_;
    qint64 unpacked_ = 0;
    QString failure_;
};

class Archive {
public:
    Archive(const QString& path, const WorkbookLimits& limits) : path_(path), limits_(limits) {
        const QFileInfo info(path);
        // A pipe or a device could block or never end; only regular files.
        if (!info.isFile()) fail(readFailure(path));
        int error = 0;
        zip_.reset(
            zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
        if (!zip_) {
            switch (error) {
            case ZIP_ER_NOZIP:
                fail(QStringLiteral("no es una planilla .xlsx (no es un archivo zip)."));
            case ZIP_ER_INCONS:
            case ZIP_ER_CRC:
            case ZIP_ER_EOF:
                fail(QStringLiteral("el archivo está dañado o incompleto; no es una planilla "
                                    ".xlsx entera."));
            case ZIP_ER_MEMORY:
                fail(QStringLiteral("no hay memoria suficiente para abrirlo."));
            case ZIP_ER_OPEN:
            case ZIP_ER_READ:
            case ZIP_ER_NOENT:
                fail(readFailure(path));
            default: {
                zip_error_t ze;
                zip_error_init_with_code(&ze, error);
                const QString detail = QString::fromUtf8(zip_error_strerror(&ze));
                zip_error_fini(&ze);
                fail(QStringLiteral("no es una planilla .xlsx (%1).").arg(detail));
            }
            }
        }
    }

    [[noreturn]] void fail(const QString& reason) const {
        throw IoError(QStringLiteral("No se pudo leer «%1»: %2").arg(shownPath(path_), reason));
    }

    bool has(const QString& name) const { return locate(name) >= 0; }

    std::unique_ptr<PartDevice> open(const QString& name) {
        const zip_int64_t index = locate(name);
        if (index < 0)
            fail(QStringLiteral("no es una planilla .xlsx (le falta la parte «%1»).").arg(name));
        zip_file_t* file = zip_fopen_index(zip_.get(), zip_uint64_t(index), 0);
        if (!file)
            fail(QStringLiteral("la parte «%1» no se puede descomprimir (%2).")
                     .arg(name, QString::fromUtf8(zip_strerror(zip_.get()))));
        auto device = std::make_unique<PartDevice>(*this, file, name);
        device->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        return device;
    }

    // The size the zip declares for a part: only for a progress bar.
    qint64 declaredSize(const QString& name) const {
        const zip_int64_t index = locate(name);
        zip_stat_t st;
        zip_stat_init(&st);
        if (index < 0 || zip_stat_index(zip_.get(), zip_uint64_t(index), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_SIZE) ||
            st.size > zip_uint64_t(std::numeric_limits<qint64>::max()))
            return 0;
        return qint64(st.size);
    }

    // Counts bytes unpacked; false once they pass the limit.
    bool charge(qint64 bytes) {
        unpacked_ += bytes;
        return unpacked_ <= limits_.unpackedBytes;
    }

    QString tooBig() const {
        return QStringLiteral("al descomprimirlo pasa de %1 MB; por seguridad no se lee.")
            .arg(limits_.unpackedBytes >> 20);
    }

    const WorkbookLimits& limits() const { return limits_; }

private:
    zip_int64_t locate(const QString& name) const {
        // Part names are compared without regard to case, as the package
        // format says.
        return zip_name_locate(zip_.get(), name.toUtf8().constData(), ZIP_FL_NOCASE);
    }

    QString path_;
    WorkbookLimits limits_;
    std::unique_ptr<zip_t, ZipDiscard> zip_;
    qint64 unpacked_ = 0;
};

qint64 PartDevice::readData(char* data, qint64 maxSize) {
    if (!failure_.isEmpty()) return -1;
    const zip_int64_t n = zip_fread(file_.get(), data, zip_uint64_t(maxSize));
    if (n < 0) {
        failure_ = QStringLiteral("la parte «%1» está dañada (%2).")
                       .arg(name_, QString::fromUtf8(zip_file_strerror(file_.get())));
        return -1;
    }
    if (!archive_.charge(n)) {
        failure_ = archive_.tooBig();
        return -1;
    }
    unpacked_ += n;
    return n;
}

// An XML part read token by token, with every way it can fail turned into
// the archive's IoError.
class XmlPart {
public:
    XmlPart(Archive& archive, const QString& name)
        : archive_(archive), name_(name), device_(archive.open(name)) {
        xml_.setDevice(device_.get());
    }

    QXmlStreamReader::TokenType next() {
        const QXmlStreamReader::TokenType t = xml_.readNext();
        switch (t) {
        case QXmlStreamReader::DTD:
            archive_.fail(QStringLiteral("la parte «%1» declara un DTD, cosa que una planilla "
                                         "no hace; por seguridad no se lee.")
                              .arg(name_));
        case QXmlStreamReader::EntityReference:
            archive_.fail(
                QStringLiteral("la parte «%1» usa una entidad XML no declarada.").arg(name_));
        case QXmlStreamReader::Invalid:
            broken();
        case QXmlStreamReader::StartElement:
            // The reader keeps every open element: nesting without end would
            // make that grow with the file.
            if (++depth_ > kMaxDepth)
                archive_.fail(QStringLiteral("la parte «%1» anida elementos a más de %2 niveles.")
                                  .arg(name_)
                                  .arg(kMaxDepth));
            return t;
        case QXmlStreamReader::EndElement:
            --depth_;
            return t;
        default:
            return t;
        }
    }

    [[noreturn]] void broken() {
        if (!device_->failure().isEmpty()) archive_.fail(device_->failure());
        archive_.fail(
            QStringLiteral("la parte «%1» está dañada (XML no válido en la línea %2: %3).")
                .arg(name_)
                .arg(xml_.lineNumber())
                .arg(xml_.errorString()));
    }

    // Past the end of the element just started, whatever it holds.
    void skip() {
        for (int depth = 1; depth > 0;) {
            const auto t = next();
            if (t == QXmlStreamReader::StartElement)
                ++depth;
            else if (t == QXmlStreamReader::EndElement)
                --depth;
        }
    }

    // The next element started, at any depth; false at the document's end.
    bool nextStart() {
        for (;;) {
            const auto t = next();
            if (t == QXmlStreamReader::StartElement) return true;
            if (t == QXmlStreamReader::EndDocument) return false;
        }
    }

    // The text of the element just started, appended to `out`; elements
    // inside it are passed over.
    void appendText(QString& out) {
        for (;;) {
            const auto t = next();
            if (t == QXmlStreamReader::Characters) {
                if (out.size() + xml_.text().size() > kMaxCellChars) tooLong();
                out.append(xml_.text());
            } else if (t == QXmlStreamReader::StartElement) {
                skip();
            } else if (t == QXmlStreamReader::EndElement) {
                return;
            }
        }
    }

    // A rich text (<si> of the shared texts, <is> of a cell): the texts of
    // its runs one after the other. Phonetic guides (<rPh>) are no part of
    // the text.
    // Counted, not recursive: a hostile file can nest runs a million deep.
    void appendRuns(QString& out) {
        for (int depth = 1; depth > 0;) {
            const auto t = next();
            if (t == QXmlStreamReader::EndElement) {
                --depth;
            } else if (t == QXmlStreamReader::StartElement) {
                const QStringView name = xml_.name();
                if (name == u"t")
                    appendText(out);
                else if (name == u"r")
                    ++depth;
                else
                    skip();
            }
        }
    }

    [[noreturn]] void tooLong() {
        archive_.fail(QStringLiteral("la parte «%1» tiene un texto de más de %2 caracteres.")
                          .arg(name_)
                          .arg(kMaxCellChars));
    }

    QXmlStreamReader& xml() { return xml_; }
    const QString& name() const { return name_; }
    qint64 unpacked() const { return device_->unpacked(); }

private:
    Archive& archive_;
    QString name_;
    std::unique_ptr<PartDevice> device_;
    QXmlStreamReader xml_;
    int depth_ = 0;
};

// XML's white space, and the bytes a name is made of here (looser than XML:
// anything that cannot end or break a tag).
constexpr bool space(int c) {
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}
constexpr bool nameChar(int c) {
    return c >= 0 && !space(c) && c != '>' && c != '/' && c != '=' && c != '<' && c != '"' &&
           c != '\'' && c != '&' && c != '!' && c != '?';
}
constexpr auto kNameByte = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[std::size_t(c)] = nameChar(c);
    return table;
}();

// The worksheet part, scanned byte by byte as it is unpacked.
//
// The sheet is by far the largest part (hundreds of megabytes for a big
// declaration) and a general XML reader spends most of the import on it. This
// scanner knows only what a worksheet is made of: elements with attributes,
// character data with the five predefined entities and character references,
// CDATA sections, comments and processing instructions. It keeps the open
// elements to check that each end tag closes the element it should, and
// refuses anything else (a DTD, an unknown entity, a '<' in an attribute,
// text beside the root element, a part cut short) with the archive's IoError.
// Names are matched without their prefix ("x:c" is a cell), as the general
// reader did. Only the attributes the rows need (r, s and t, unprefixed) are
// kept, each cut short after a few bytes; character data is kept only for
// the element whose text is asked for, up to a cap.
class SheetScanner {
public:
    enum Event { Start, End, Done };

    SheetScanner(Archive& archive, const QString& name)
        : archive_(archive), name_(name), device_(archive.open(name)), buf_(std::size_t(kBlock)) {}

    // The next element started or ended; the character data in between goes
    // to the text being collected, if any, or is checked and dropped. Done at
    // the end of the document. A self-closing element gives Start, then End.
    Event next() {
        if (selfClosing_) {
            selfClosing_ = false;
            pop();
            return End;
        }
        for (;;) {
            characters();
            int c = get();
            if (c < 0) {
                if (depth_ > 0 || !seenRoot_)
                    broken(QStringLiteral("el texto termina antes de tiempo"));
                return Done;
            }
            // characters() stops only at '<'.
            c = get();
            if (c == '/') {
                endTag();
                return End;
            }
            if (c == '?') {
                skipPast("?>");
                continue;
            }
            if (c == '!') {
                declaration();
                continue;
            }
            startTag(c);
            return Start;
        }
    }

    // The name of the element just started or ended, without its prefix.
    std::string_view local() const {
        const std::string_view q(tag_);
        const std::size_t colon = q.rfind(':');
        return colon == std::string_view::npos ? q : q.substr(colon + 1);
    }

    // The attributes r, s and t of the element just started; empty when
    // absent.
    std::string_view attrR() const { return attr_[0].view(); }
    std::string_view attrS() const { return attr_[1].view(); }
    std::string_view attrT() const { return attr_[2].view(); }

    // Where character data goes: appended to `out`, or dropped (nullptr).
    void collect(QByteArray* out) { collect_ = out; }

    qint64 unpacked() const { return device_->unpacked(); }

    [[noreturn]] void broken(const QString& what) {
        if (!device_->failure().isEmpty()) archive_.fail(device_->failure());
        archive_.fail(
            QStringLiteral("la parte «%1» está dañada (XML no válido cerca del byte %2: %3).")
                .arg(name_)
                .arg(consumed_ + qint64(pos_))
                .arg(what));
    }

    [[noreturn]] void tooLong() {
        archive_.fail(QStringLiteral("la parte «%1» tiene un texto de más de %2 caracteres.")
                          .arg(name_)
                          .arg(kMaxCellChars));
    }

private:
    static constexpr qsizetype kBlock = 64 * 1024;
    // No element or attribute name in a worksheet comes near this.
    static constexpr std::size_t kMaxName = 1024;
    // The kept attributes are row numbers, cell references, style indexes
    // and type codes: longer values are cut here and marked, so that they
    // stay invalid and show as such in the message.
    static constexpr qsizetype kMaxAttr = 64;
    // Text is kept as UTF-8: at most four bytes a character.
    static constexpr qsizetype kMaxTextBytes = 4 * kMaxCellChars;

    bool refill() {
        consumed_ += qint64(end_);
        pos_ = end_ = 0;
        const qint64 n = device_->read(buf_.data(), kBlock);
        if (n < 0) broken(QStringLiteral("no se pudo descomprimir"));
        end_ = std::size_t(n);
        if (!started_) {
            started_ = true;
            // A UTF-8 byte-order mark.
            if (end_ >= 3 && buf_[0] == '\xEF' && buf_[1] == '\xBB' && buf_[2] == '\xBF') pos_ = 3;
        }
        return end_ > pos_ || (n > 0 && refill());
    }
    int get() {
        if (pos_ == end_ && !refill()) return -1;
        return static_cast<unsigned char>(buf_[pos_++]);
    }
    int peek() {
        if (pos_ == end_ && !refill()) return -1;
        return static_cast<unsigned char>(buf_[pos_]);
    }

    void append(QByteArray* out, const char* data, qsizetype n) {
        if (!out) return;
        if (out->size() + n > kMaxTextBytes) tooLong();
        out->append(data, n);
    }
    void append(QByteArray* out, char c) { append(out, &c, 1); }

    // Character data up to the next '<' (left unread) or the end.
    void characters() {
        for (;;) {
            if (pos_ == end_ && !refill()) return;
            const char* p = buf_.data() + pos_;
            const char* e = buf_.data() + end_;
            const char* q = p;
            while (q < e && *q != '<' && *q != '&' && *q != '\r')
                ++q;
            if (depth_ == 0)
                for (const char* k = p; k < q; ++k)
                    if (!space(static_cast<unsigned char>(*k)))
                        broken(QStringLiteral("hay texto fuera del elemento raíz"));
            append(collect_, p, q - p);
            pos_ += std::size_t(q - p);
            if (q == e) continue;
            if (*q == '<') return;
            ++pos_;
            if (*q == '\r') {
                // Line ends read as a single '\n', as XML says.
                if (peek() == '\n') ++pos_;
                append(collect_, '\n');
            } else {
                if (depth_ == 0) broken(QStringLiteral("hay texto fuera del elemento raíz"));
                reference(collect_);
            }
        }
    }

    // After '&': a predefined entity or a character reference, appended as
    // UTF-8 to `out` (checked and dropped when null).
    void reference(QByteArray* out) {
        char name[16];
        int n = 0;
        for (int c = get(); c != ';'; c = get()) {
            if (c < 0 || n == int(sizeof name) || c == '<' || space(c))
                broken(QStringLiteral("una referencia sin «;»"));
            name[n++] = char(c);
        }
        const std::string_view ref(name, std::size_t(n));
        if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string_view digits = ref.substr(hex ? 2 : 1);
            unsigned code = 0;
            const auto [ptr, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
            const bool valid =
                !digits.empty() && ec == std::errc() && ptr == digits.data() + digits.size() &&
                (code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                 (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF));
            if (!valid)
                broken(QStringLiteral("una referencia a un carácter no válido («&%1;»)")
                           .arg(QString::fromLatin1(name, n)));
            char utf8[4];
            int len = 0;
            if (code < 0x80) {
                utf8[len++] = char(code);
            } else if (code < 0x800) {
                utf8[len++] = char(0xC0 | (code >> 6));
                utf8[len++] = char(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                utf8[len++] = char(0xE0 | (code >> 12));
                utf8[len++] = char(0x80 | ((code >> 6) & 0x3F));
                utf8[len++] = char(0x80 | (code & 0x3F));
            } else {
                utf8[len++] = char(0xF0 | (code >> 18));
                utf8[len++] = char(0x80 | ((code >> 12) & 0x3F));
                utf8[len++] = char(0x80 | ((code >> 6) & 0x3F));
                utf8[len++] = char(0x80 | (code & 0x3F));
            }
            append(out, utf8, len);
            return;
        }
        char c;
        if (ref == "amp")
            c = '&';
        else if (ref == "lt")
            c = '<';
        else if (ref == "gt")
            c = '>';
        else if (ref == "quot")
            c = '"';
        else if (ref == "apos")
            c = '\'';
        else
            broken(QStringLiteral("una entidad no declarada («&%1;»)")
                       .arg(QString::fromUtf8(name, n)));
        append(out, c);
    }

    // Past the given end ("?>", "-->"), dropping what comes before it. The
    // last bytes read are kept and compared whole, so that "--->" ends a
    // comment too.
    void skipPast(std::string_view end) {
        char last[3] = {};
        const std::size_t n = end.size(); // at most 3
        for (std::size_t seen = 0;; ++seen) {
            const int c = get();
            if (c < 0) broken(QStringLiteral("el texto termina antes de tiempo"));
            last[0] = last[1];
            last[1] = last[2];
            last[2] = char(c);
            if (seen + 1 >= n && std::string_view(last + 3 - n, n) == end) return;
        }
    }

    // After "<!": a comment, a CDATA section or a DTD.
    void declaration() {
        const auto starts = [&](std::string_view word) {
            for (const char w : word)
                if (get() != static_cast<unsigned char>(w)) return false;
            return true;
        };
        const int c = get();
        if (c == '-') {
            if (!starts("-")) broken(QStringLiteral("un comentario mal escrito"));
            skipPast("-->");
        } else if (c == '[') {
            if (!starts("CDATA[")) broken(QStringLiteral("una sección CDATA mal escrita"));
            if (depth_ == 0) broken(QStringLiteral("hay texto fuera del elemento raíz"));
            cdata();
        } else if (c == 'D') {
            if (!starts("OCTYPE")) broken(QStringLiteral("una declaración desconocida"));
            archive_.fail(QStringLiteral("la parte «%1» declara un DTD, cosa que una planilla "
                                         "no hace; por seguridad no se lee.")
                              .arg(name_));
        } else {
            broken(QStringLiteral("una declaración desconocida"));
        }
    }

    // The text of a CDATA section, as it is, up to "]]>".
    void cdata() {
        int brackets = 0;
        for (;;) {
            const int c = get();
            if (c < 0) broken(QStringLiteral("el texto termina antes de tiempo"));
            if (c == '>' && brackets >= 2) {
                // The "]]" before it were held back; any before those are text.
                for (int i = 2; i < brackets; ++i)
                    append(collect_, ']');
                return;
            }
            if (c == ']') {
                ++brackets;
                continue;
            }
            for (; brackets > 0; --brackets)
                append(collect_, ']');
            if (c == '\r') {
                if (peek() == '\n') ++pos_;
                append(collect_, '\n');
            } else {
                append(collect_, char(c));
            }
        }
    }

    // A name starting with `c`, into `out`; returns the byte after it. The
    // bytes of the name are taken from the block all at once.
    int name(int c, std::string& out) {
        out.clear();
        if (!nameChar(c)) broken(QStringLiteral("un nombre de elemento o atributo no válido"));
        out.push_back(char(c));
        for (;;) {
            const char* p = buf_.data() + pos_;
            const char* e = buf_.data() + end_;
            const char* q = p;
            while (q < e && kNameByte[static_cast<unsigned char>(*q)])
                ++q;
            if (out.size() + std::size_t(q - p) > kMaxName)
                broken(QStringLiteral("un nombre demasiado largo"));
            out.append(p, std::size_t(q - p));
            pos_ += std::size_t(q - p);
            if (q < e) return get();
            if (!refill()) return -1;
        }
    }

    // After '<' and the name's first byte: the element's name and
    // attributes, up to its '>' or "/>".
    void startTag(int c) {
        if (seenRoot_ && depth_ == 0)
            broken(QStringLiteral("hay un elemento después del elemento raíz"));
        c = name(c, tag_);
        for (Value& a : attr_)
            a.size = 0;
        seen_ = 0;
        for (;;) {
            const bool spaced = space(c);
            while (space(c))
                c = get();
            if (c == '>') break;
            if (c == '/') {
                if (get() != '>') broken(QStringLiteral("una etiqueta mal cerrada"));
                selfClosing_ = true;
                break;
            }
            if (c < 0) broken(QStringLiteral("el texto termina antes de tiempo"));
            if (!spaced) broken(QStringLiteral("atributos sin espacio entre ellos"));
            c = name(c, attrName_);
            while (space(c))
                c = get();
            if (c != '=') broken(QStringLiteral("un atributo sin valor"));
            do
                c = get();
            while (space(c));
            if (c != '"' && c != '\'') broken(QStringLiteral("un atributo sin comillas"));
            attribute(c);
            c = get();
        }
        if (depth_ >= kMaxDepth)
            archive_.fail(QStringLiteral("la parte «%1» anida elementos a más de %2 niveles.")
                              .arg(name_)
                              .arg(kMaxDepth));
        starts_.push_back(open_.size());
        open_ += tag_;
        ++depth_;
        seenRoot_ = true;
    }

    // An attribute's value, after its opening quote; kept when it is one of
    // r, s and t.
    void attribute(int quote) {
        Value* keep = nullptr;
        if (attrName_.size() == 1) {
            const char n = attrName_[0];
            const int which = n == 'r' ? 0 : n == 's' ? 1 : n == 't' ? 2 : -1;
            if (which >= 0) {
                if (seen_ & (1u << which)) broken(QStringLiteral("un atributo repetido"));
                seen_ |= 1u << which;
                keep = &attr_[which];
            }
        }
        // Written straight into the kept value's fixed room: no allocation
        // for a cell's reference.
        for (;;) {
            int c = get();
            if (c == quote) break;
            if (c < 0) broken(QStringLiteral("el texto termina antes de tiempo"));
            if (c == '<') broken(QStringLiteral("un «<» dentro del valor de un atributo"));
            if (c == '&') {
                QByteArray ref;
                reference(&ref);
                if (keep)
                    for (const char r : ref)
                        keep->add(r);
                continue;
            }
            // Line ends and tabs in a value read as spaces, as XML says.
            if (c == '\r' && peek() == '\n') ++pos_;
            if (space(c)) c = ' ';
            if (keep) keep->add(char(c));
        }
        // An empty value reads as no value, as before.
    }

    // After "</": the name, which must be the element open last.
    void endTag() {
        int c = name(get(), tag_);
        while (space(c))
            c = get();
        if (c != '>') broken(QStringLiteral("una etiqueta de cierre mal escrita"));
        if (depth_ == 0 || std::string_view(open_).substr(starts_.back()) != tag_)
            broken(QStringLiteral("«</%1>» no cierra el elemento abierto")
                       .arg(QString::fromUtf8(tag_.data(), qsizetype(tag_.size()))));
        pop();
    }

    void pop() {
        tag_.assign(open_, starts_.back());
        open_.resize(starts_.back());
        starts_.pop_back();
        --depth_;
    }

    Archive& archive_;
    QString name_;
    std::unique_ptr<PartDevice> device_;
    std::vector<char> buf_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    qint64 consumed_ = 0; // bytes of the blocks before this one
    bool started_ = false;
    std::string tag_;      // the element just started or ended
    std::string attrName_; // the attribute being read
    // A kept attribute's value. Past kMaxAttr bytes it ends in "…", so that
    // it stays invalid and shows as cut in a message.
    struct Value {
        char bytes[kMaxAttr + 3];
        qsizetype size = 0;
        void add(char c) {
            if (size < kMaxAttr) {
                bytes[size++] = c;
            } else if (size == kMaxAttr) {
                std::memcpy(bytes + size, "\xE2\x80\xA6", 3);
                size += 3;
            }
        }
        std::string_view view() const { return {bytes, std::size_t(size)}; }
    };
    Value attr_[3];     // r, s, t
    unsigned seen_ = 0; // which of them the tag has given
    std::string open_;  // the names of the open elements, one after the other
    std::vector<std::size_t> starts_;
    int depth_ = 0;
    bool seenRoot_ = false;
    bool selfClosing_ = false;
    QByteArray* collect_ = nullptr;
};

// Texts in a workbook write characters XML cannot carry as _xHHHH_ (and a
// literal "_x" followed by four hex digits and "_" as _x005F_xHHHH_).
void unescapeHex(QString& s) {
    if (!s.contains(u"_x")) return;
    const auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') return int(u - '0');
        if (u >= 'a' && u <= 'f') return int(u - 'a' + 10);
        if (u >= 'A' && u <= 'F') return int(u - 'A' + 10);
        return -1;
    };
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == u'_' && i + 6 < s.size() && s[i + 1] == u'x' && s[i + 6] == u'_') {
            int code = 0;
            bool ok = true;
            for (int k = 2; k < 6 && ok; ++k) {
                const int h = hex(s[i + k]);
                ok = h >= 0;
                code = code * 16 + h;
            }
            if (ok) {
                out.append(QChar(char16_t(code)));
                i += 6;
                continue;
            }
        }
        out.append(s[i]);
    }
    s = std::move(out);
}

// A decimal number as XML writes it (the C locale's form, whatever the
// user's locale is).
bool parseNumber(QStringView text, double& value) {
    text = text.trimmed();
    if (text.startsWith(u'+')) text = text.mid(1);
    char buf[128];
    if (text.isEmpty() || text.size() >= qsizetype(sizeof buf)) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u > 0x7F) return false;
        buf[i] = char(u);
    }
    const char* end = buf + text.size();
    const auto [ptr, ec] = std::from_chars(buf, end, value, std::chars_format::general);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

// A non-negative whole number, as attributes write row numbers and indexes;
// -1 when it is none or passes `max`.
qint64 parseIndex(QStringView text, qint64 max) {
    if (text.isEmpty()) return -1;
    qint64 n = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') return -1;
        n = n * 10 + (c.unicode() - '0');
        if (n > max) return -1;
    }
    return n;
}

// Whether a number format shows a date or a time: one of the built-in date
// formats, or a code with a day, month, year, hour or second outside quoted
// text, escaped characters and brackets ("[Red]", "[$-409]"). Brackets that
// hold only h, m or s are elapsed time ("[h]:mm").
bool isDateFormat(int id, QStringView code) {
    if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47)) return true;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == u'"') {
            for (++i; i < code.size() && code[i] != u'"'; ++i) {
            }
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i; // the next character is shown or used as filler, not a code
        } else if (c == u'[') {
            const qsizetype close = code.indexOf(u']', i);
            const QStringView inside =
                code.mid(i + 1, close < 0 ? code.size() - i - 1 : close - i - 1);
            bool elapsed = !inside.isEmpty();
            for (const QChar k : inside)
                if (k.toLower() != u'h' && k.toLower() != u'm' && k.toLower() != u's')
                    elapsed = false;
            if (elapsed) return true;
            if (close < 0) return false;
            i = close;
        } else {
            const QChar l = c.toLower();
            if (l == u'd' || l == u'm' || l == u'y' || l == u'h' || l == u's') return true;
        }
    }
    return false;
}

struct Relationship {
    QString type;
    QString target; // the part's name, resolved
};

QString folderOf(const QString& part) {
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash + 1);
}

// A relationship's target as a part name: from the root when it starts with
// "/", else from the folder of the part that points to it.
QString resolve(const QString& folder, const QString& target) {
    const QString joined = target.startsWith(u'/') ? target.mid(1) : folder + target;
    QStringList out;
    for (const QString& seg : joined.split(u'/', Qt::SkipEmptyParts)) {
        if (seg == u".") continue;
        if (seg == u"..") {
            if (!out.isEmpty()) out.removeLast();
        } else {
            out.append(seg);
        }
    }
    return out.join(u'/');
}

QString relsOf(const QString& part) {
    return folderOf(part) + QStringLiteral("_rels/") + part.mid(folderOf(part).size()) +
           QStringLiteral(".rels");
}

// The relationships of a part, by id (in file order).
std::vector<std::pair<QString, Relationship>> readRels(Archive& archive, const QString& relsPart,
                                                       const QString& folder) {
    std::vector<std::pair<QString, Relationship>> rels;
    XmlPart xml(archive, relsPart);
    while (xml.nextStart()) {
        if (xml.xml().name() != u"Relationship") continue;
        const QXmlStreamAttributes a = xml.xml().attributes();
        if (a.value(QLatin1String("TargetMode")) == u"External") continue;
        rels.push_back({a.value(QLatin1String("Id")).toString(),
                        {a.value(QLatin1String("Type")).toString(),
                         resolve(folder, a.value(QLatin1String("Target")).toString())}});
        if (rels.size() > 100000)
            archive.fail(
                QStringLiteral("la parte «%1» tiene demasiadas relaciones.").arg(relsPart));
    }
    return rels;
}

QString targetOfType(const std::vector<std::pair<QString, Relationship>>& rels,
                     QStringView typeEnd) {
    for (const auto& r : rels)
        if (r.second.type.endsWith(typeEnd)) return r.second.target;
    return {};
}

// The shared texts, one after the other in one string, and where each
// starts: one allocation for all of them, not one each.
struct SharedTexts {
    QString chars;
    std::vector<quint32> starts{0};
    qsizetype count() const { return qsizetype(starts.size()) - 1; }
    QString at(qsizetype i) const { return chars.mid(starts[i], starts[i + 1] - starts[i]); }
};

void readSharedTexts(Archive& archive, const QString& part, SharedTexts& out) {
    XmlPart xml(archive, part);
    const WorkbookLimits& limits = archive.limits();
    QString item;
    while (xml.nextStart()) {
        if (xml.xml().name() != u"si") continue;
        item.resize(0); // keeps its buffer for the next text
        xml.appendRuns(item);
        unescapeHex(item);
        if (out.count() >= limits.sharedCount ||
            out.chars.size() + item.size() > limits.sharedChars)
            archive.fail(QStringLiteral("sus textos compartidos pasan de %1 textos o %2 "
                                        "caracteres; por seguridad no se lee.")
                             .arg(limits.sharedCount)
                             .arg(limits.sharedChars));
        out.chars.append(item);
        out.starts.push_back(quint32(out.chars.size()));
    }
}

// Which cell styles (by index) show numbers as dates or times.
std::vector<bool> readDateStyles(Archive& archive, const QString& part) {
    std::vector<std::pair<int, QString>> formats;
    std::vector<bool> dates;
    XmlPart xml(archive, part);
    while (xml.nextStart()) {
        const QStringView name = xml.xml().name();
        if (name == u"numFmt") {
            const QXmlStreamAttributes a = xml.xml().attributes();
            formats.push_back({int(parseIndex(a.value(QLatin1String("numFmtId")), 1 << 30)),
                               a.value(QLatin1String("formatCode")).toString()});
        } else if (name == u"cellXfs") {
            for (;;) {
                const auto t = xml.next();
                if (t == QXmlStreamReader::EndElement) return dates;
                if (t != QXmlStreamReader::StartElement) continue;
                if (xml.xml().name() == u"xf") {
                    const int id = int(parseIndex(
                        xml.xml().attributes().value(QLatin1String("numFmtId")), 1 << 30));
                    QString code;
                    for (const auto& f : formats)
                        if (f.first == id) code = f.second;
                    dates.push_back(id >= 0 && isDateFormat(id, code));
                    if (dates.size() > 1000000)
                        archive.fail(
                            QStringLiteral("la parte «%1» tiene demasiados estilos.").arg(part));
                }
                xml.skip();
            }
        }
    }
    return dates;
}

// Bytes without the ASCII spaces around them.
std::string_view trimmedBytes(const QByteArray& bytes) {
    std::string_view v(bytes.constData(), std::size_t(bytes.size()));
    while (!v.empty() && (v.front() == ' ' || (v.front() >= '\t' && v.front() <= '\r')))
        v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || (v.back() >= '\t' && v.back() <= '\r')))
        v.remove_suffix(1);
    return v;
}

// parseNumber() straight from the bytes, for the usual case of an ASCII
// number; false when they hold anything else (the caller then decodes them
// and tries parseNumber(), which gives the same answer or the error).
bool parseNumberBytes(std::string_view v, double& value) {
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    if (v.empty() || v.size() >= 128) return false;
    const char* end = v.data() + v.size();
    const auto [ptr, ec] = std::from_chars(v.data(), end, value, std::chars_format::general);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

// parseIndex() from the bytes of an attribute or a value.
qint64 parseIndexBytes(std::string_view v, qint64 max) {
    if (v.empty()) return -1;
    qint64 n = 0;
    for (const char c : v) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
        if (n > max) return -1;
    }
    return n;
}

// The 0-based column of a reference like "AB12"; -1 when it is no
// reference or lies beyond the sheet's last column.
int parseColumnBytes(std::string_view ref) {
    int column = 0;
    std::size_t i = 0;
    for (; i < ref.size(); ++i) {
        char u = ref[i];
        if (u >= 'a' && u <= 'z') u = char(u - 'a' + 'A');
        if (u < 'A' || u > 'Z') break;
        column = column * 26 + (u - 'A' + 1);
        if (column > kMaxColumns) return -1;
    }
    if (i == 0 || i == ref.size()) return -1;
    for (std::size_t k = i; k < ref.size(); ++k)
        if (ref[k] < '0' || ref[k] > '9') return -1;
    return column - 1;
}

QString fromBytes(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

class WorkbookRows final : public SheetRows {
public:
    WorkbookRows(std::unique_ptr<Archive> archive, QString sheetName, const QString& sheetPart,
                 SharedTexts shared, std::vector<bool> dateStyles)
        : archive_(std::move(archive)), sheetName_(std::move(sheetName)),
          shared_(std::move(shared)), dateStyles_(std::move(dateStyles)),
          total_(archive_->declaredSize(sheetPart)), part_(*archive_, sheetPart) {
        // Up to the rows; a sheet without any is empty.
        for (;;) {
            const auto t = part_.next();
            if (t == SheetScanner::Done) {
                done_ = true;
                return;
            }
            if (t == SheetScanner::Start && part_.local() == "sheetData") return;
        }
    }

    bool next(std::vector<SheetCell>& cells) override {
        if (!error_.isEmpty()) throw IoError(error_);
        try {
            return advance(cells);
        } catch (const IoError& e) {
            // A broken sheet stays broken: every later call says so too.
            error_ = e.message();
            throw;
        }
    }

    qint64 rowNumber() const override { return row_; }
    QString sheetName() const override { return sheetName_; }
    qint64 bytesRead() const override { return part_.unpacked(); }
    qint64 bytesTotal() const override { return std::max(total_, part_.unpacked()); }

private:
    bool advance(std::vector<SheetCell>& cells) {
        cells.clear();
        if (pending_ > 0) {
            // A row the sheet skipped, before the one already started.
            if (row_ + 1 < pending_) {
                ++row_;
                return true;
            }
            row_ = pending_;
            pending_ = 0;
            readCells(cells);
            return true;
        }
        if (done_) return false;
        for (;;) {
            const auto t = part_.next();
            if (t != SheetScanner::Start) { // </sheetData>
                done_ = true;
                // The rest of the part is read too, so that a part cut short
                // or with more after its end is refused rather than taken
                // for whole.
                if (t == SheetScanner::End)
                    while (part_.next() != SheetScanner::Done) {
                    }
                return false;
            }
            if (part_.local() != "row") {
                skip();
                continue;
            }
            qint64 number = row_ + 1;
            if (const std::string_view r = part_.attrR(); !r.empty()) {
                number = parseIndexBytes(r, kMaxRows);
                if (number < 1)
                    fail(QStringLiteral("la hoja «%1» tiene una fila con número no válido "
                                        "(«%2») después de la fila %3.")
                             .arg(sheetName_, excerpt(fromBytes(r), 20))
                             .arg(row_));
                if (number <= row_)
                    fail(QStringLiteral("en la hoja «%1», la fila %2 viene después de la fila "
                                        "%3; las filas deben ir en orden.")
                             .arg(sheetName_)
                             .arg(number)
                             .arg(row_));
            } else if (number > kMaxRows) {
                fail(QStringLiteral("la hoja «%1» tiene más de %2 filas.")
                         .arg(sheetName_)
                         .arg(kMaxRows));
            }
            if (number > row_ + 1) {
                pending_ = number;
                ++row_;
                return true;
            }
            row_ = number;
            readCells(cells);
            return true;
        }
    }

    [[noreturn]] void fail(const QString& reason) { archive_->fail(reason); }

    [[noreturn]] void badCell(int column, const QString& what) {
        fail(QStringLiteral("la celda %1 %2.").arg(cellAddress(sheetName_, row_, column), what));
    }

    // Past the end of the element just started, whatever it holds.
    void skip() {
        for (int depth = 1; depth > 0;) {
            const auto t = part_.next();
            if (t == SheetScanner::Start)
                ++depth;
            else
                --depth; // End; Done cannot come with elements open
        }
    }

    // The text of the element just started, appended to `out`; elements
    // inside it are passed over.
    void appendText(QByteArray& out) {
        for (;;) {
            part_.collect(&out);
            const auto t = part_.next();
            part_.collect(nullptr);
            if (t == SheetScanner::Start)
                skip();
            else
                return;
        }
    }

    // An inline rich text: the texts of its runs one after the other;
    // phonetic guides (<rPh>) are no part of it. Counted, not recursive.
    void appendRuns(QByteArray& out) {
        for (int depth = 1; depth > 0;) {
            const auto t = part_.next();
            if (t != SheetScanner::Start) {
                --depth;
            } else if (part_.local() == "t") {
                appendText(out);
            } else if (part_.local() == "r") {
                ++depth;
            } else {
                skip();
            }
        }
    }

    // The cells of the row just started, up to its end.
    void readCells(std::vector<SheetCell>& cells) {
        int last = -1;
        for (;;) {
            const auto t = part_.next();
            if (t != SheetScanner::Start) return; // </row>
            if (part_.local() != "c") {
                skip();
                continue;
            }
            int column = last + 1;
            if (const std::string_view ref = part_.attrR(); !ref.empty()) {
                column = parseColumnBytes(ref);
                if (column < 0)
                    fail(QStringLiteral("la hoja «%1» tiene en la fila %2 una celda con "
                                        "referencia no válida («%3»); una hoja llega hasta la "
                                        "columna XFD.")
                             .arg(sheetName_)
                             .arg(row_)
                             .arg(excerpt(fromBytes(ref), 20)));
                if (column <= last)
                    badCell(column, QStringLiteral("viene después de otra celda más a la derecha "
                                                   "o repetida; las celdas deben ir en orden"));
            } else if (column >= kMaxColumns) {
                fail(QStringLiteral("la hoja «%1» tiene en la fila %2 más de %3 columnas.")
                         .arg(sheetName_)
                         .arg(row_)
                         .arg(kMaxColumns));
            }
            last = column;
            const std::string_view type = part_.attrT();
            const qint64 style = parseIndexBytes(part_.attrS(), 1 << 30);
            const char kind = type.empty()          ? 'n'
                              : type == "n"         ? 'n'
                              : type == "s"         ? 's'
                              : type == "inlineStr" ? 'i'
                              : type == "str"       ? 'f'
                              : type == "b"         ? 'b'
                              : type == "e"         ? 'e'
                              : type == "d"         ? 'd'
                                                    : '?';
            if (kind == '?')
                badCell(column, QStringLiteral("tiene un tipo desconocido («%1»)")
                                    .arg(excerpt(fromBytes(type), 20)));
            bytes_.resize(0); // keeps its buffer: no allocation for a number
            bool hasValue = false;
            for (;;) {
                const auto ct = part_.next();
                if (ct != SheetScanner::Start) break; // </c>
                const std::string_view name = part_.local();
                if (name == "v" && kind != 'i') {
                    appendText(bytes_);
                    hasValue = true;
                } else if (name == "is" && kind == 'i') {
                    appendRuns(bytes_);
                    hasValue = true;
                } else {
                    skip(); // the formula, extensions
                }
            }
            if (!hasValue) continue;
            if (quick(cells, column, kind, style)) continue;
            decode();
            store(cells, column, kind, style);
        }
    }

    // A number or a shared text's index in plain ASCII, stored straight from
    // the bytes; false for anything else, left to store().
    bool quick(std::vector<SheetCell>& cells, int column, char kind, qint64 style) {
        if (kind != 'n' && kind != 's') return false;
        const std::string_view v = trimmedBytes(bytes_);
        if (v.empty()) return true; // no value: no cell, as store() does
        SheetCell cell;
        if (kind == 's') {
            const qint64 i = parseIndexBytes(v, shared_.count() - 1);
            if (i < 0) return false;
            cell.type = SheetCell::Type::Text;
            cell.text = shared_.at(i);
            if (cell.text.isEmpty()) return true;
        } else {
            if (!parseNumberBytes(v, cell.number)) return false;
            const bool date =
                style >= 0 && style < qint64(dateStyles_.size()) && dateStyles_[std::size_t(style)];
            cell.type = date ? SheetCell::Type::Date : SheetCell::Type::Number;
        }
        if (cells.size() <= std::size_t(column)) cells.resize(std::size_t(column) + 1);
        cells[std::size_t(column)] = std::move(cell);
        return true;
    }

    // The cell's bytes as text; bytes that are no UTF-8 are refused rather
    // than turned into replacement characters.
    void decode() {
        bool ascii = true;
        for (const char c : bytes_)
            ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (ascii) {
            value_ = QString::fromLatin1(bytes_);
        } else {
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            value_ = utf8(bytes_);
            if (utf8.hasError()) part_.broken(QStringLiteral("un texto que no es UTF-8"));
        }
        if (value_.size() > kMaxCellChars) part_.tooLong();
    }

    void store(std::vector<SheetCell>& cells, int column, char kind, qint64 style) {
        SheetCell cell;
        switch (kind) {
        case 's': {
            if (QStringView(value_).trimmed().isEmpty()) return;
            const qint64 i = parseIndex(QStringView(value_).trimmed(), shared_.count() - 1);
            if (i < 0)
                badCell(column, QStringLiteral("remite a un texto compartido que no existe (%1)")
                                    .arg(excerpt(value_, 20)));
            cell.type = SheetCell::Type::Text;
            cell.text = shared_.at(i);
            break;
        }
        case 'i':
        case 'f':
            unescapeHex(value_);
            cell.type = SheetCell::Type::Text;
            cell.text = value_;
            break;
        case 'e':
            cell.type = SheetCell::Type::Error;
            cell.text = value_;
            break;
        case 'b': {
            const QStringView v = QStringView(value_).trimmed();
            cell.type = SheetCell::Type::Bool;
            if (v == u"1" || v == u"true")
                cell.number = 1;
            else if (v != u"0" && v != u"false")
                badCell(column, QStringLiteral("debe ser VERDADERO o FALSO y dice «%1»")
                                    .arg(excerpt(value_, 20)));
            break;
        }
        case 'd': {
            // A date written as text (ISO 8601): its serial day.
            QDateTime when = QDateTime::fromString(value_.trimmed(), Qt::ISODateWithMs);
            if (!when.isValid())
                badCell(
                    column,
                    QStringLiteral("tiene una fecha no válida («%1»)").arg(excerpt(value_, 30)));
            when.setTimeZone(QTimeZone::utc());
            static const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0), QTimeZone::utc());
            cell.type = SheetCell::Type::Date;
            cell.number = double(epoch.msecsTo(when)) / 86400000.0;
            break;
        }
        default: {
            if (QStringView(value_).trimmed().isEmpty()) return;
            if (!parseNumber(value_, cell.number))
                badCell(
                    column,
                    QStringLiteral("debe tener un número y tiene «%1»").arg(excerpt(value_, 30)));
            const bool date =
                style >= 0 && style < qint64(dateStyles_.size()) && dateStyles_[std::size_t(style)];
            cell.type = date ? SheetCell::Type::Date : SheetCell::Type::Number;
            break;
        }
        }
        if (cell.type == SheetCell::Type::Text && cell.text.isEmpty()) return;
        if (cells.size() <= std::size_t(column)) cells.resize(std::size_t(column) + 1);
        cells[std::size_t(column)] = std::move(cell);
    }

    std::unique_ptr<Archive> archive_;
    QString sheetName_;
    SharedTexts shared_;
    std::vector<bool> dateStyles_;
    qint64 total_ = 0;
    SheetScanner part_;
    qint64 row_ = 0;
    qint64 pending_ = 0; // a row started whose number is beyond row_ + 1
    bool done_ = false;
    QByteArray bytes_; // the cell's value as the part has it, reused from cell to cell
    QString value_;    // the same as text, for the cells that need it
    QString error_;
};

} // namespace

std::unique_ptr<SheetRows> openWorkbook(const QString& path, const WorkbookLimits& limits) {
    auto archive = std::make_unique<Archive>(path, limits);

    // The workbook part, as the package's root relationships name it.
    QString workbook;
    if (archive->has(QStringLiteral("_rels/.rels")))
        workbook = targetOfType(readRels(*archive, QStringLiteral("_rels/.rels"), QString()),
                                u"/officeDocument");
    if (workbook.isEmpty()) workbook = QStringLiteral("xl/workbook.xml");

    // The sheets in workbook order: name and relationship id.
    std::vector<std::pair<QString, QString>> sheets;
    {
        XmlPart xml(*archive, workbook);
        while (xml.nextStart()) {
            if (xml.xml().name() != u"sheet") continue;
            const QXmlStreamAttributes attributes = xml.xml().attributes();
            QString id;
            for (const QXmlStreamAttribute& a : attributes)
                if (a.name() == u"id" && !a.namespaceUri().isEmpty()) id = a.value().toString();
            sheets.push_back({attributes.value(QLatin1String("name")).toString(), id});
            if (sheets.size() > 100000)
                archive->fail(QStringLiteral("el libro dice tener demasiadas hojas."));
        }
    }
    const auto rels = readRels(*archive, relsOf(workbook), folderOf(workbook));

    // The first sheet that is a worksheet (not a chart sheet).
    QString sheetName;
    QString sheetPart;
    for (const auto& sheet : sheets) {
        for (const auto& rel : rels) {
            if (rel.first == sheet.second && rel.second.type.endsWith(u"/worksheet")) {
                sheetName = sheet.first;
                sheetPart = rel.second.target;
                break;
            }
        }
        if (!sheetPart.isEmpty()) break;
    }
    if (sheetPart.isEmpty())
        archive->fail(QStringLiteral("el libro no tiene ninguna hoja de cálculo."));

    SharedTexts shared;
    QString sharedPart = targetOfType(rels, u"/sharedStrings");
    if (!sharedPart.isEmpty() && archive->has(sharedPart))
        readSharedTexts(*archive, sharedPart, shared);
    std::vector<bool> dateStyles;
    const QString stylesPart = targetOfType(rels, u"/styles");
    if (!stylesPart.isEmpty() && archive->has(stylesPart))
        dateStyles = readDateStyles(*archive, stylesPart);

    return std::make_unique<WorkbookRows>(std::move(archive), sheetName, sheetPart,
                                          std::move(shared), std::move(dateStyles));
}

std::unique_ptr<SheetRows> openWorkbook(const QString& path) {
    return openWorkbook(path, WorkbookLimits{});
}

} // namespace solvanta
