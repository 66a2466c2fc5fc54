#include "XlsxReader.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace testutil {

namespace {

// ---- Zip archive --------------------------------------------------------

quint16 le16(const uchar* p) {
    return quint16(p[0] | p[1] << 8);
}
quint32 le32(const uchar* p) {
    return quint32(le16(p)) | quint32(le16(p + 2)) << 16;
}
quint64 le64(const uchar* p) {
    return quint64(le32(p)) | quint64(le32(p + 4)) << 32;
}

struct ZipEntry {
    quint16 method = 0;
    quint32 crc = 0;
    quint64 compressedSize = 0;
    quint64 size = 0;
    quint64 localOffset = 0;
};

// The archive is mapped into memory; the central directory at its end says
// where each entry starts and how long it is (the local headers' sizes may
// be zero when the writer streamed the entry).
class Zip {
public:
    bool open(const QString& path);
    bool contains(const QString& name) const { return entries_.contains(name); }
    QByteArray read(const QString& name);
    QString error;

private:
    bool fail(const QString& why) {
        error = why;
        return false;
    }
    bool fits(quint64 offset, quint64 length) const {
        return offset <= size_ && length <= size_ - offset;
    }

    QFile file_;
    const uchar* data_ = nullptr;
    quint64 size_ = 0;
    QHash<QString, ZipEntry> entries_;
};

bool Zip::open(const QString& path) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot open %1: %2").arg(path, file_.errorString()));
    size_ = quint64(file_.size());
    if (size_ < 22) return fail(QStringLiteral("not a zip archive: too short"));
    data_ = file_.map(0, file_.size());
    if (!data_) return fail(QStringLiteral("cannot map %1").arg(path));

    // The end record comes last, followed only by a comment of up to 64 KiB.
    quint64 end = size_;
    for (quint64 at = size_ - 22; end == size_ && size_ - at <= 22 + 0xFFFF; --at) {
        if (le32(data_ + at) == 0x06054b50 && at + 22 + le16(data_ + at + 20) <= size_) end = at;
        if (at == 0) break;
    }
    if (end == size_) return fail(QStringLiteral("not a zip archive: no central directory"));
    quint64 count = le16(data_ + end + 10);
    quint64 offset = le32(data_ + end + 16);
    if (count == 0xFFFF || offset == 0xFFFFFFFF) {
        // ZIP64: a locator just before the end record points to a larger one.
        if (end < 20 || le32(data_ + end - 20) != 0x07064b50)
            return fail(QStringLiteral("damaged zip archive: no ZIP64 locator"));
        const quint64 rec = le64(data_ + end - 20 + 8);
        if (!fits(rec, 56) || le32(data_ + rec) != 0x06064b50)
            return fail(QStringLiteral("damaged zip archive: no ZIP64 end record"));
        count = le64(data_ + rec + 32);
        offset = le64(data_ + rec + 48);
    }

    for (quint64 i = 0, at = offset; i < count; ++i) {
        if (!fits(at, 46) || le32(data_ + at) != 0x02014b50)
            return fail(QStringLiteral("damaged zip archive: bad central directory"));
        const uchar* h = data_ + at;
        ZipEntry e{le16(h + 10), le32(h + 16), le32(h + 20), le32(h + 24), le32(h + 42)};
        const quint64 nameLength = le16(h + 28), extraLength = le16(h + 30);
        const quint64 next = at + 46 + nameLength + extraLength + le16(h + 32);
        if (!fits(at, next - at))
            return fail(QStringLiteral("damaged zip archive: bad central directory"));
        // The ZIP64 extra field holds, in this order, the 64-bit values of
        // the fields that are 0xFFFFFFFF above.
        const uchar* x = h + 46 + nameLength;
        const uchar* const xEnd = x + extraLength;
        while (xEnd - x >= 4) {
            const quint16 id = le16(x), length = le16(x + 2);
            if (length > xEnd - x - 4) break;
            const uchar* v = x + 4;
            if (id == 0x0001) {
                for (quint64* field : {&e.size, &e.compressedSize, &e.localOffset}) {
                    if (*field == 0xFFFFFFFF && x + 4 + length - v >= 8) {
                        *field = le64(v);
                        v += 8;
                    }
                }
            }
            x += 4 + length;
        }
        entries_.insert(
            QString::fromUtf8(reinterpret_cast<const char*>(h + 46), qsizetype(nameLength)), e);
        at = next;
    }
    return true;
}

QByteArray Zip::read(const QString& name) {
    const auto it = entries_.constFind(name);
    if (it == entries_.constEnd()) {
        fail(QStringLiteral("the archive has no %1").arg(name));
        return {};
    }
    const ZipEntry& e = *it;
    const QString damaged = QStringLiteral("damaged zip entry %1").arg(name);
    if (!fits(e.localOffset, 30) || le32(data_ + e.localOffset) != 0x04034b50) {
        fail(damaged);
        return {};
    }
    const quint64 start =
        e.localOffset + 30 + le16(data_ + e.localOffset + 26) + le16(data_ + e.localOffset + 28);
    // Deflate expands at most about 1032 to 1: a larger size is damage, and
    // must not become a huge allocation.
    if (!fits(start, e.compressedSize) || e.size / 1032 > e.compressedSize + 1) {
        fail(damaged);
        return {};
    }
    QByteArray out(qsizetype(e.size), Qt::Uninitialized);
    bool ok = false;
    if (e.method == 0) {
        ok = e.compressedSize == e.size;
        if (ok) std::memcpy(out.data(), data_ + start, e.size);
    } else if (e.method == 8) {
        // zlib counts in 32 bits: feed input and output space in slices.
        constexpr quint64 slice = 1u << 30;
        z_stream s{};
        if (inflateInit2(&s, -MAX_WBITS) != Z_OK) {
            fail(damaged);
            return {};
        }
        const uchar* in = data_ + start;
        quint64 inLeft = e.compressedSize;
        uchar* outAt = reinterpret_cast<uchar*>(out.data());
        quint64 outLeft = e.size;
        int rc = Z_OK;
        while (rc == Z_OK) {
            if (s.avail_in == 0 && inLeft > 0) {
                s.next_in = const_cast<uchar*>(in);
                s.avail_in = uInt(std::min(inLeft, slice));
                in += s.avail_in;
                inLeft -= s.avail_in;
            }
            if (s.avail_out == 0 && outLeft > 0) {
                s.next_out = outAt;
                s.avail_out = uInt(std::min(outLeft, slice));
                outAt += s.avail_out;
                outLeft -= s.avail_out;
            }
            rc = inflate(&s, Z_NO_FLUSH);
        }
        ok = rc == Z_STREAM_END && s.avail_out == 0 && outLeft == 0;
        inflateEnd(&s);
    } else {
        fail(QStringLiteral("zip entry %1: compression method %2 not supported")
                 .arg(name)
                 .arg(e.method));
        return {};
    }
    if (!ok || crc32_z(0, reinterpret_cast<const uchar*>(out.constData()), out.size()) != e.crc) {
        fail(damaged);
        return {};
    }
    return out;
}

// ---- XML parts ----------------------------------------------------------

QStringView attr(const QXmlStreamReader& x, const char* name) {
    return x.attributes().value(QLatin1StringView(name));
}

bool xmlFailed(const QXmlStreamReader& x, const QString& part, QString& error) {
    if (!x.hasError()) return false;
    error = QStringLiteral("%1: %2 (line %3)").arg(part, x.errorString()).arg(x.lineNumber());
    return true;
}

// The text of a string item (<si>) or inline string (<is>): plain <t>, or
// the <t> of each rich-text run <r>; phonetic hints (<rPh>) are not text.
QString stringItem(QXmlStreamReader& x) {
    QString text;
    while (x.readNextStartElement()) {
        if (x.name() == u"t")
            text += x.readElementText();
        else if (x.name() == u"r")
            text += stringItem(x);
        else
            x.skipCurrentElement();
    }
    return text;
}

QString builtinFormat(int id) {
    static const QHash<int, const char*> formats = {
        {0, "General"},
        {1, "0"},
        {2, "0.00"},
        {3, "#,##0"},
        {4, "#,##0.00"},
        {9, "0%"},
        {10, "0.00%"},
        {11, "0.00E+00"},
        {12, "# ?/?"},
        {13, "# ?\?/?\?"},
        {14, "mm-dd-yy"},
        {15, "d-mmm-yy"},
        {16, "d-mmm"},
        {17, "mmm-yy"},
        {18, "h:mm AM/PM"},
        {19, "h:mm:ss AM/PM"},
        {20, "h:mm"},
        {21, "h:mm:ss"},
        {22, "m/d/yy h:mm"},
        {37, "#,##0 ;(#,##0)"},
        {38, "#,##0 ;[Red](#,##0)"},
        {39, "#,##0.00;(#,##0.00)"},
        {40, "#,##0.00;[Red](#,##0.00)"},
        {45, "mm:ss"},
        {46, "[h]:mm:ss"},
        {47, "mmss.0"},
        {48, "##0.0E+0"},
        {49, "@"},
    };
    const char* code = formats.value(id);
    return code ? QString::fromLatin1(code) : QStringLiteral("numFmtId %1").arg(id);
}

// Cell formats (<cellXfs>), resolved to what a cell reports: number format
// code, font name and vertical centring. Custom number formats and fonts
// come before the cell formats in the part, but are resolved at the end.
bool readStyles(const QByteArray& xml, const QString& part, QList<XlsxCell>& styles,
                QString& error) {
    QHash<int, QString> customFormats;
    QStringList fonts;
    struct Xf {
        int numFmtId, fontId;
        bool vCenter;
    };
    QList<Xf> xfs;
    QString section; // numFmts, fonts or cellXfs while inside one
    QXmlStreamReader x(xml);
    while (!x.atEnd()) {
        x.readNext();
        const QStringView name = x.name();
        if (x.isEndElement() && name == section) section.clear();
        if (!x.isStartElement()) continue;
        if (name == u"numFmts" || name == u"fonts" || name == u"cellXfs")
            section = name.toString();
        else if (section == u"numFmts" && name == u"numFmt")
            customFormats.insert(attr(x, "numFmtId").toInt(), attr(x, "formatCode").toString());
        else if (section == u"fonts" && name == u"font")
            fonts.append(QString());
        else if (section == u"fonts" && name == u"name" && !fonts.isEmpty())
            fonts.last() = attr(x, "val").toString();
        else if (section == u"cellXfs" && name == u"xf")
            xfs.append({attr(x, "numFmtId").toInt(), attr(x, "fontId").toInt(), false});
        else if (section == u"cellXfs" && name == u"alignment" && !xfs.isEmpty())
            xfs.last().vCenter = attr(x, "vertical") == u"center";
    }
    if (xmlFailed(x, part, error)) return false;
    for (const Xf& xf : xfs) {
        XlsxCell style;
        style.numFmt = customFormats.value(xf.numFmtId, builtinFormat(xf.numFmtId));
        style.fontName = fonts.value(xf.fontId);
        style.vCenter = xf.vCenter;
        styles.append(style);
    }
    return true;
}

bool readSheet(const QByteArray& xml, const QString& part, const QStringList& strings,
               const QList<XlsxCell>& styles, XlsxSheet& sheet, QString& error) {
    QXmlStreamReader x(xml);
    int row = -1, column = -1;
    while (!x.atEnd()) {
        x.readNext();
        if (!x.isStartElement()) continue;
        if (x.name() == u"row") {
            const QStringView r = attr(x, "r");
            row = r.isEmpty() ? row + 1 : r.toInt() - 1;
            column = -1;
            if (row < 0 || row >= 1048576) {
                error = QStringLiteral("%1: bad row number \"%2\"").arg(part, r.toString());
                return false;
            }
            while (sheet.rows.size() <= row)
                sheet.rows.append(QList<XlsxCell>());
            continue;
        }
        if (x.name() == u"pageMargins") {
            // Numbers in attributes are written as in the cells: a decimal
            // comma ("0,7") makes the workbook invalid for spreadsheet programs.
            for (const QXmlStreamAttribute& a : x.attributes()) {
                bool ok = false;
                (void)a.value().toDouble(&ok);
                if (!ok) {
                    error = QStringLiteral("%1: bad page margin %2=\"%3\"")
                                .arg(part, a.name().toString(), a.value().toString());
                    return false;
                }
            }
            continue;
        }
        if (x.name() != u"c") continue;
        const QStringView ref = attr(x, "r");
        column = ref.isEmpty() ? column + 1 : xlsxColumn(ref);
        if (row < 0 || column < 0 || column >= 16384) {
            error = QStringLiteral("%1: bad cell \"%2\"").arg(part, ref.toString());
            return false;
        }
        const QString type = attr(x, "t").toString();
        const QStringView s = attr(x, "s");
        XlsxCell cell = styles.value(s.isEmpty() ? 0 : s.toInt());
        QString value, inlineText;
        bool hasValue = false;
        while (x.readNextStartElement()) {
            if (x.name() == u"v") {
                value = x.readElementText();
                hasValue = true;
            } else if (x.name() == u"is") {
                inlineText = stringItem(x);
            } else {
                x.skipCurrentElement(); // the formula <f>, extensions
            }
        }
        bool ok = true;
        if (type == u"s") {
            const int index = value.toInt(&ok);
            ok = ok && index >= 0 && index < strings.size();
            if (ok) cell.text = strings[index];
            cell.type = XlsxCell::String;
        } else if (type == u"inlineStr") {
            cell.type = XlsxCell::String;
            cell.text = inlineText;
        } else if (type == u"str" || type == u"e" || type == u"d") {
            cell.type = XlsxCell::String;
            cell.text = value;
        } else if (hasValue) { // "n", "b" or no type
            cell.type = XlsxCell::Number;
            cell.number = value.toDouble(&ok);
        }
        if (!ok) {
            error = QStringLiteral("%1: bad value \"%2\" in cell %3").arg(part, value, ref);
            return false;
        }
        QList<XlsxCell>& cells = sheet.rows[row];
        while (cells.size() <= column)
            cells.append(XlsxCell());
        cells[column] = cell;
    }
    return !xmlFailed(x, part, error);
}

} // namespace

int XlsxSheet::columnCount() const {
    qsizetype n = 0;
    for (const QList<XlsxCell>& r : rows)
        n = std::max(n, r.size());
    return int(n);
}

const XlsxCell& XlsxSheet::cell(int row, int column) const {
    static const XlsxCell none;
    if (row < 0 || row >= rows.size() || column < 0 || column >= rows[row].size()) return none;
    return rows[row][column];
}

int xlsxColumn(QStringView reference) {
    int column = 0, letters = 0;
    for (const QChar ch : reference) {
        if (ch < u'A' || ch > u'Z') break;
        if (++letters > 3) return -1;
        column = column * 26 + (ch.unicode() - u'A' + 1);
    }
    return letters > 0 ? column - 1 : -1;
}

QByteArray readZipEntry(const QString& zipPath, const QString& entryName, QString* error) {
    Zip zip;
    QByteArray bytes;
    if (zip.open(zipPath)) bytes = zip.read(entryName);
    if (error) *error = zip.error;
    return bytes;
}

XlsxBook readXlsx(const QString& path) {
    XlsxBook book;
    Zip zip;
    const auto failed = [&](const QString& why) {
        book.sheets.clear();
        book.error = why;
        return book;
    };
    if (!zip.open(path)) return failed(zip.error);

    // Sheet names in workbook order, with the relationship naming each part.
    const QString workbookPart = QStringLiteral("xl/workbook.xml");
    QList<QPair<QString, QString>> sheetIds;
    const QByteArray workbook = zip.read(workbookPart);
    if (!zip.error.isEmpty()) return failed(zip.error);
    QXmlStreamReader x(workbook);
    while (!x.atEnd()) {
        if (x.readNext() != QXmlStreamReader::StartElement || x.name() != u"sheet") continue;
        QString id;
        for (const QXmlStreamAttribute& a : x.attributes())
            if (a.name() == u"id") id = a.value().toString(); // r:id
        sheetIds.append({attr(x, "name").toString(), id});
    }
    QString error;
    if (xmlFailed(x, workbookPart, error)) return failed(error);

    // Part paths, relative to xl/ unless absolute.
    const QString relsPart = QStringLiteral("xl/_rels/workbook.xml.rels");
    const QByteArray rels = zip.read(relsPart);
    if (!zip.error.isEmpty()) return failed(zip.error);
    QHash<QString, QString> targets;
    QString stylesPart, stringsPart;
    x.clear();
    x.addData(rels);
    while (!x.atEnd()) {
        if (x.readNext() != QXmlStreamReader::StartElement || x.name() != u"Relationship") continue;
        const QString target = attr(x, "Target").toString();
        const QString part = target.startsWith(u'/')
                                 ? target.mid(1)
                                 : QDir::cleanPath(QStringLiteral("xl/") + target);
        targets.insert(attr(x, "Id").toString(), part);
        if (attr(x, "Type").endsWith(u"/styles")) stylesPart = part;
        if (attr(x, "Type").endsWith(u"/sharedStrings")) stringsPart = part;
    }
    if (xmlFailed(x, relsPart, error)) return failed(error);

    QStringList strings;
    if (!stringsPart.isEmpty()) {
        const QByteArray xml = zip.read(stringsPart);
        if (!zip.error.isEmpty()) return failed(zip.error);
        QXmlStreamReader sx(xml);
        if (sx.readNextStartElement()) // <sst>
            while (sx.readNextStartElement())
                strings.append(sx.name() == u"si" ? stringItem(sx) : QString());
        if (xmlFailed(sx, stringsPart, error)) return failed(error);
    }

    QList<XlsxCell> styles;
    if (!stylesPart.isEmpty()) {
        const QByteArray xml = zip.read(stylesPart);
        if (!zip.error.isEmpty()) return failed(zip.error);
        if (!readStyles(xml, stylesPart, styles, error)) return failed(error);
    }

    for (const auto& [name, id] : sheetIds) {
        const QString part = targets.value(id);
        if (part.isEmpty())
            return failed(QStringLiteral("no part for worksheet \"%1\" (%2)").arg(name, id));
        const QByteArray xml = zip.read(part);
        if (!zip.error.isEmpty()) return failed(zip.error);
        XlsxSheet sheet;
        sheet.name = name;
        if (!readSheet(xml, part, strings, styles, sheet, error)) return failed(error);
        book.sheets.append(sheet);
    }
    return book;
}

} // namespace testutil
