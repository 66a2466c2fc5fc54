#include "SheetImport.h"

#include "LineChecks.h"
#include "engine/codes/CodeLists.h"
#include "engine/model/FieldTable.h"
#include "engine/model/PlainCells.h"
#include "engine/model/Record.h"
#include "engine/model/RxMem.h"
#include "engine/model/TypedCell.h"
#include "engine/util/DateText.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

#include <QDate>
#include <QFileInfo>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace solvanta {

namespace {

constexpr int kProgressEvery = 1024; // rows between progress reports

// A title as columns are matched by it: without case, accents or blanks.
QString titleKey(const QString& title) {
    QString key = searchKey(title);
    key.removeIf([](QChar c) { return c.isSpace(); });
    return key;
}

// Every way a column may name a field: the listing's title ("[27] Impo.
// afp"), the same without its number ("Impo. afp"), the workbook's title
// and the field's name ("impo_afp"). A key two fields share names neither.
const QHash<QString, int>& titleKeys() {
    static const QHash<QString, int> keys = [] {
        QHash<QString, int> out;
        QSet<QString> shared;
        const auto add = [&](const QString& key, int field) {
            if (key.isEmpty() || shared.contains(key)) return;
            const auto it = out.constFind(key);
            if (it == out.cend()) {
                out.insert(key, field);
            } else if (*it != field) {
                out.remove(key);
                shared.insert(key);
            }
        };
        for (int f = 0; f < kFieldCount; ++f) {
            const QString title = fieldTitle(f);
            add(titleKey(title), f);
            if (title.startsWith(u'[')) add(titleKey(title.mid(title.indexOf(u']') + 1)), f);
            add(titleKey(QString::fromLatin1(kFields[std::size_t(f)].name)), f);
            // The workbook's own titles ("[32]Tasa pac AFP").
            add(titleKey(kFields[std::size_t(f)].labelText().toString()), f);
        }
        return out;
    }();
    return keys;
}

QString listed(const QStringList& items) {
    constexpr qsizetype kShown = 12;
    QString out = items.mid(0, kShown).join(QStringLiteral(", "));
    if (items.size() > kShown) out += QStringLiteral(" y %1 más").arg(items.size() - kShown);
    return out;
}

// How many characters a code of a numbered list or a period has, when a
// number put there lost the zeros it starts with (5 for the code "05",
// 32024 for the period "032024"); 0 for other fields.
int zerosWidth(int field) {
    static const std::array<int, kFieldCount> widths = [] {
        std::array<int, kFieldCount> out{};
        for (int f = 0; f < kFieldCount; ++f) {
            if (const int list = codeListOfField(f);
                list >= 0 && !codeLists()[std::size_t(list)].letters)
                out[std::size_t(f)] = codeLists()[std::size_t(list)].width;
            else if (textShapeOf(f) == TextShape::Period)
                out[std::size_t(f)] = kFields[std::size_t(f)].size;
        }
        return out;
    }();
    return widths[std::size_t(field)];
}

// A number cell gets those zeros back; a text of anything else stays as it
// is.
QString withZeros(int field, const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || !std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); }))
        return text;
    const int width = zerosWidth(field);
    return t.size() < width ? t.rightJustified(width, u'0') : text;
}

// A .csv keeps no types: a text of digits there may be a number the sheet
// made of a period, and lost the zero of a month before October: "32024"
// is no period, and gets it back. Other texts stay as written, codes too:
// "4" and "04" are the same code to the line checks, the position form
// writes both as "04", and a file's own "4" comes back as it was.
bool periodWithoutZero(int field, std::string_view digits) {
    return textShapeOf(field) == TextShape::Period &&
           digits.size() + 1 == std::size_t(kFields[std::size_t(field)].size) &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}
constexpr std::size_t kMaxPeriod = 16;

// The reason of a refusal without the field's title before it: the note
// names the field already.
QString reasonOf(const ConversionError& e, int field) {
    const QString prefix = fieldTitle(field) + QStringLiteral(": ");
    return e.message().startsWith(prefix) ? e.message().mid(prefix.size()) : e.message();
}

// A number as typed: whole ones without separators, others with the
// decimal separator the program reads.
QString typedNumber(double v) {
    if (std::fabs(v) < 1e15 && v == std::trunc(v)) return QString::number(qint64(v));
    char buf[numtext::kMaxNumberText];
    const int n = numtext::format(v, numtext::decimalSeparator(), buf);
    return QString::fromLatin1(buf, n);
}

} // namespace

std::vector<TypedCell> sheetCellValue(const SheetCell& cell, int field, bool untyped) {
    const FieldDef& f = kFields[std::size_t(field)];
    const auto typed = [&](const QString& text) {
        try {
            return readTypedCell(field, text);
        } catch (const ConversionError& e) {
            throw ConversionError(reasonOf(e, field));
        }
    };
    switch (cell.type) {
    case SheetCell::Type::Empty:
        return {{field, QString()}};
    case SheetCell::Type::Error:
        throw ConversionError(QStringLiteral("la celda tiene el error «%1».").arg(cell.text));
    case SheetCell::Type::Text:
        // As typed: a text keeps its zeros, and has no others added, unless
        // the file keeps no types and it was a period.
        if (untyped && periodWithoutZero(field, cell.text.toStdString()))
            return typed(u'0' + cell.text);
        return typed(cell.text);
    case SheetCell::Type::Date:
        if (f.kind == Kind::Text) {
            if (!std::isfinite(cell.number) || cell.number < 1 || cell.number > 2958465)
                throw ConversionError(QStringLiteral("«%1» no es una fecha.").arg(cell.number));
            const QDate date = QDate(1899, 12, 30).addDays(qint64(std::floor(cell.number)));
            if (textShapeOf(field) == TextShape::Period)
                return typed(QStringLiteral("%1%2")
                                 .arg(date.month(), 2, 10, QLatin1Char('0'))
                                 .arg(date.year(), 4, 10, QLatin1Char('0')));
            return typed(datetext::write(date));
        }
        [[fallthrough]]; // a number the sheet shows as a date
    case SheetCell::Type::Number:
    case SheetCell::Type::Bool:
        if (!std::isfinite(cell.number))
            throw ConversionError(QStringLiteral("la celda no tiene un número."));
        return typed(f.kind == Kind::Text ? withZeros(field, typedNumber(cell.number))
                                          : typedNumber(cell.number));
    }
    return {{field, QString()}};
}

QString SheetColumns::question() const {
    if (!refusal.isEmpty()) return {};
    QStringList parts;
    if (fieldOrder)
        parts << QStringLiteral("La primera fila no tiene los títulos de los campos, pero la hoja "
                                "tiene 105 columnas: se tomarán en el orden de los campos, de "
                                "«%1» a «%2».")
                     .arg(fieldTitle(0), fieldTitle(kFieldCount - 1));
    if (!unused.isEmpty())
        parts << QStringLiteral("Columnas que no se usan: %1.").arg(listed(unused));
    if (!missing.empty()) {
        QStringList names;
        for (const int f : missing)
            names << fieldTitle(f);
        parts << QStringLiteral("Campos que faltan (quedan vacíos): %1.").arg(listed(names));
    }
    return parts.join(QStringLiteral("\n\n"));
}

SheetColumns matchColumns(const std::vector<SheetCell>& firstRow) {
    SheetColumns c;
    c.fieldOf.assign(firstRow.size(), -1);
    std::vector<bool> held(kFieldCount, false);
    int matched = 0, filled = 0;
    for (std::size_t i = 0; i < firstRow.size(); ++i) {
        const SheetCell& cell = firstRow[i];
        if (cell.type == SheetCell::Type::Empty) continue;
        ++filled;
        const int field =
            cell.type == SheetCell::Type::Text ? titleKeys().value(titleKey(cell.text), -1) : -1;
        if (field >= 0 && !held[std::size_t(field)]) {
            held[std::size_t(field)] = true;
            c.fieldOf[i] = field;
            ++matched;
        } else {
            c.unused << (cell.type == SheetCell::Type::Text ? cell.text.trimmed()
                                                            : typedNumber(cell.number));
        }
    }
    // Titles: at least half the row names fields. A line whose code happens
    // to read as some field's name is no row of titles.
    if (matched > 0 && 2 * matched >= filled) {
        c.titled = true;
        for (int f = 0; f < kFieldCount; ++f)
            if (!held[std::size_t(f)]) c.missing.push_back(f);
        return c;
    }
    c.unused.clear();
    // No titles: a row of exactly the 105 fields is a line.
    int width = int(firstRow.size());
    while (width > 0 && firstRow[std::size_t(width) - 1].type == SheetCell::Type::Empty)
        --width;
    if (filled > 0 && width == kFieldCount) {
        c.fieldOrder = true;
        for (int f = 0; f < kFieldCount; ++f)
            c.fieldOf[std::size_t(f)] = f;
        return c;
    }
    c.fieldOf.clear();
    c.refusal = filled == 0
                    ? QStringLiteral("la hoja está vacía: su primera fila no tiene nada.")
                    : QStringLiteral("la primera fila no tiene los títulos de los campos (como "
                                     "«%1» o «%2»), y la hoja no tiene 105 columnas para tomarlas "
                                     "en el orden de los campos.")
                          .arg(fieldTitle(0), QString::fromLatin1(kFields[0].name));
    return c;
}

namespace {

std::unique_ptr<SheetRows> openByExtension(const QString& path) {
    return QFileInfo(path).suffix().compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0
               ? openWorkbook(path)
               : openCsv(path);
}

} // namespace

bool readsAsSheet(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("xlsx"), Qt::CaseInsensitive) == 0) return true;
    if (suffix.compare(QLatin1String("csv"), Qt::CaseInsensitive) != 0) return false;
    try {
        const std::unique_ptr<SheetRows> rows = openCsv(path);
        std::vector<SheetCell> first;
        return rows->next(first) && matchColumns(first).titled;
    } catch (const Error&) {
        return false; // the load says what is wrong with it
    }
}

SheetImport::SheetImport(const QString& path) : SheetImport(openByExtension(path)) {}

SheetImport::SheetImport(std::unique_ptr<SheetRows> rows) : rows_(std::move(rows)) {
    hasFirst_ = rows_->next(first_);
    if (!hasFirst_) {
        columns_.refusal = QStringLiteral("la hoja está vacía.");
        return;
    }
    columns_ = matchColumns(first_);
}

LoadReport SheetImport::load(RxMem& table, Progress* progress) {
    if (!columns_.refusal.isEmpty()) throw IoError(columns_.refusal);
    LoadReport report;
    const QString sheet = rows_->sheetName();
    const bool untyped = !rows_->typed();
    const std::size_t columns = columns_.fieldOf.size();
    qint64 emptyRows = 0;
    std::vector<LoadNote> notes;
    // A cell the plain way cannot take: through the typing rules, and a
    // note when they refuse it.
    const auto take = [&](qint64 line, std::size_t column, int field, const SheetCell& cell) {
        try {
            for (const TypedCell& value : sheetCellValue(cell, field, untyped))
                table.setTextOrClear(value.field, value.text);
        } catch (const ConversionError& e) {
            notes.push_back(
                {line, field, LoadNote::Replaced,
                 QStringLiteral("%1: %2 Quedó vacío.")
                     .arg(cellAddress(sheet, rows_->rowNumber(), int(column)), e.message())});
        }
    };
    const auto startRow = [&] {
        notes.clear();
        table.append();
        return ++report.lines;
    };
    const auto endRow = [&](qint64 line) {
        table.post();
        for (LoadNote& n : notes) {
            table.noteCell(table.bookmark(), n.field, n.text);
            report.add(std::move(n));
        }
        if (progress && line % kProgressEvery == 0 &&
            !progress->update(rows_->bytesRead(), rows_->bytesTotal()))
            throw Cancelled();
    };
    const auto addRow = [&](const std::vector<SheetCell>& cells) {
        bool any = false;
        for (std::size_t i = 0; i < cells.size() && i < columns; ++i)
            any = any || (columns_.fieldOf[i] >= 0 && cells[i].type != SheetCell::Type::Empty);
        if (!any) {
            ++emptyRows;
            return;
        }
        const qint64 line = startRow();
        for (std::size_t i = 0; i < cells.size() && i < columns; ++i)
            if (const int field = columns_.fieldOf[i];
                field >= 0 && cells[i].type != SheetCell::Type::Empty)
                take(line, i, field, cells[i]);
        endRow(line);
    };
    // A row of a text file: its plain cells go straight into the line.
    const PlainCells plain(rows_->utf8Bytes());
    struct Column {
        int field;
        bool period; // an untyped file's period: periodWithoutZero
    };
    std::vector<Column> byColumn(columns);
    for (std::size_t i = 0; i < columns; ++i) {
        const int field = columns_.fieldOf[i];
        byColumn[i] = {field, field >= 0 && untyped && textShapeOf(field) == TextShape::Period};
    }
    const auto addBytes = [&](const std::vector<std::string_view>& cells) {
        const std::size_t n = std::min(cells.size(), columns);
        std::size_t i = 0;
        while (i < n && (byColumn[i].field < 0 || cells[i].empty()))
            ++i;
        if (i == n) {
            ++emptyRows;
            return;
        }
        const qint64 line = startRow();
        RecordRef record = table.pending();
        char period[kMaxPeriod + PlainCells::kPlainSlack] = {};
        for (; i < n; ++i) {
            const Column c = byColumn[i];
            if (c.field < 0 || cells[i].empty()) continue;
            std::string_view bytes = cells[i];
            if (c.period && bytes.size() < kMaxPeriod && periodWithoutZero(c.field, bytes)) {
                period[0] = '0';
                std::copy(bytes.begin(), bytes.end(), period + 1);
                bytes = std::string_view(period, bytes.size() + 1);
            }
            if (!plain.put(record, c.field, bytes))
                take(line, i, c.field, rows_->decodeCell(cells[i]));
        }
        endRow(line);
    };
    table.open();
    try {
        RxMem::Fill loaded(table);
        if (hasFirst_ && !columns_.titled) addRow(first_);
        if (rows_->givesBytes()) {
            std::vector<std::string_view> cells;
            while (rows_->nextBytes(cells))
                addBytes(cells);
        } else {
            std::vector<SheetCell> cells;
            while (rows_->next(cells))
                addRow(cells);
        }
    } catch (...) {
        table.close();
        throw;
    }
    if (emptyRows > 0)
        report.add({0, -1, LoadNote::Notice,
                    emptyRows == 1
                        ? QStringLiteral("1 fila sin valores no se cargó.")
                        : QStringLiteral("%1 filas sin valores no se cargaron.").arg(emptyRows)});
    if (progress) progress->update(rows_->bytesTotal(), rows_->bytesTotal());
    if (!table.isEmpty()) table.first();
    return report;
}

} // namespace solvanta
