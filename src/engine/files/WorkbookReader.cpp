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
#include <QTimeZone>
#include <QXmlStreamReader>

#include <charconv>
#include <cmath>
#include <memory>
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

// The 0-based column of a reference like "AB12"; -1 when it is no
// reference or lies beyond the sheet's last column.
int parseColumn(QStringView ref) {
    int column = 0;
    qsizetype i = 0;
    for (; i < ref.size(); ++i) {
        char16_t u = ref[i].unicode();
        if (u >= 'a' && u <= 'z') u = char16_t(u - 'a' + 'A');
        if (u < 'A' || u > 'Z') break;
        column = column * 26 + (u - 'A' + 1);
        if (column > kMaxColumns) return -1;
    }
    if (i == 0 || i == ref.size()) return -1;
    for (qsizetype k = i; k < ref.size(); ++k)
        if (ref[k] < u'0' || ref[k] > u'9') return -1;
    return column - 1;
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

class WorkbookRows final : public SheetRows {
public:
    WorkbookRows(std::unique_ptr<Archive> archive, QString sheetName, const QString& sheetPart,
                 SharedTexts shared, std::vector<bool> dateStyles)
        : archive_(std::move(archive)), sheetName_(std::move(sheetName)),
          shared_(std::move(shared)), dateStyles_(std::move(dateStyles)),
          total_(archive_->declaredSize(sheetPart)), part_(*archive_, sheetPart) {
        // Up to the rows; a sheet without any is empty.
        for (;;) {
            if (!part_.nextStart()) {
                done_ = true;
                return;
            }
            if (part_.xml().name() == u"sheetData") return;
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
            if (t == QXmlStreamReader::EndElement) { // </sheetData>
                done_ = true;
                return false;
            }
            if (t != QXmlStreamReader::StartElement) continue;
            if (part_.xml().name() != u"row") {
                part_.skip();
                continue;
            }
            qint64 number = row_ + 1;
            const QXmlStreamAttributes attributes = part_.xml().attributes();
            const QStringView r = attributes.value(QLatin1String("r"));
            if (!r.isEmpty()) {
                number = parseIndex(r, kMaxRows);
                if (number < 1)
                    fail(QStringLiteral("la hoja «%1» tiene una fila con número no válido "
                                        "(«%2») después de la fila %3.")
                             .arg(sheetName_, excerpt(r, 20))
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

    // The cells of the row just started, up to its end.
    void readCells(std::vector<SheetCell>& cells) {
        QXmlStreamReader& xml = part_.xml();
        int last = -1;
        for (;;) {
            const auto t = part_.next();
            if (t == QXmlStreamReader::EndElement) return; // </row>
            if (t != QXmlStreamReader::StartElement) continue;
            if (xml.name() != u"c") {
                part_.skip();
                continue;
            }
            const QXmlStreamAttributes a = xml.attributes();
            int column = last + 1;
            if (const QStringView ref = a.value(QLatin1String("r")); !ref.isEmpty()) {
                column = parseColumn(ref);
                if (column < 0)
                    fail(QStringLiteral("la hoja «%1» tiene en la fila %2 una celda con "
                                        "referencia no válida («%3»); una hoja llega hasta la "
                                        "columna XFD.")
                             .arg(sheetName_)
                             .arg(row_)
                             .arg(excerpt(ref, 20)));
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
            const QStringView type = a.value(QLatin1String("t"));
            const qint64 style = parseIndex(a.value(QLatin1String("s")), 1 << 30);
            // The attributes' texts point into the reader's buffer, which
            // moves on: the type is kept as a code before reading further.
            const char kind = type.isEmpty()         ? 'n'
                              : type == u"n"         ? 'n'
                              : type == u"s"         ? 's'
                              : type == u"inlineStr" ? 'i'
                              : type == u"str"       ? 'f'
                              : type == u"b"         ? 'b'
                              : type == u"e"         ? 'e'
                              : type == u"d"         ? 'd'
                                                     : '?';
            if (kind == '?')
                badCell(column,
                        QStringLiteral("tiene un tipo desconocido («%1»)").arg(excerpt(type, 20)));
            value_.resize(0); // keeps its buffer: no allocation for a number
            bool hasValue = false;
            for (;;) {
                const auto ct = part_.next();
                if (ct == QXmlStreamReader::EndElement) break; // </c>
                if (ct != QXmlStreamReader::StartElement) continue;
                const QStringView name = xml.name();
                if (name == u"v" && kind != 'i') {
                    part_.appendText(value_);
                    hasValue = true;
                } else if (name == u"is" && kind == 'i') {
                    part_.appendRuns(value_);
                    hasValue = true;
                } else {
                    part_.skip(); // the formula, extensions
                }
            }
            if (!hasValue) continue;
            store(cells, column, kind, style);
        }
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
    XmlPart part_;
    qint64 row_ = 0;
    qint64 pending_ = 0; // a row started whose number is beyond row_ + 1
    bool done_ = false;
    QString value_; // the cell's text, reused from cell to cell
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
