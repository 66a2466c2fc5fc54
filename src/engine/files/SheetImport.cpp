#include "SheetImport.h"

#include "LineChecks.h"
#include "engine/codes/CodeLists.h"
#include "engine/model/FieldTable.h"
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

// A number where a code of a numbered list or a period goes gets back the
// zeros the spreadsheet took from it when it made a number of the text: 5
// is the code "05", 32024 the period "032024". A text stays as it is.
QString withZeros(int field, const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty() || !std::all_of(t.begin(), t.end(), [](QChar c) { return c.isDigit(); }))
        return text;
    int width = 0;
    if (const int list = codeListOfField(field);
        list >= 0 && !codeLists()[std::size_t(list)].letters)
        width = codeLists()[std::size_t(list)].width;
    else if (textShapeOf(field) == TextShape::Period)
        width = kFields[std::size_t(field)].size;
    return t.size() < width ? t.rightJustified(width, u'0') : text;
}

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

std::vector<TypedCell> sheetCellValue(const SheetCell& cell, int field) {
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
        // As typed: a text keeps its zeros, and has no others added.
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
    qint64 emptyRows = 0;
    std::vector<LoadNote> notes;
    const auto addRow = [&](const std::vector<SheetCell>& cells) {
        bool any = false;
        for (std::size_t i = 0; i < cells.size() && i < columns_.fieldOf.size(); ++i)
            any = any || (columns_.fieldOf[i] >= 0 && cells[i].type != SheetCell::Type::Empty);
        if (!any) {
            ++emptyRows;
            return;
        }
        const qint64 line = ++report.lines;
        notes.clear();
        table.append();
        for (std::size_t i = 0; i < cells.size() && i < columns_.fieldOf.size(); ++i) {
            const int field = columns_.fieldOf[i];
            if (field < 0 || cells[i].type == SheetCell::Type::Empty) continue;
            try {
                for (const TypedCell& value : sheetCellValue(cells[i], field))
                    table.setTextOrClear(value.field, value.text);
            } catch (const ConversionError& e) {
                notes.push_back(
                    {line, field, LoadNote::Replaced,
                     QStringLiteral("%1: %2 Quedó vacío.")
                         .arg(cellAddress(sheet, rows_->rowNumber(), int(i)), e.message())});
            }
        }
        table.post();
        for (LoadNote& n : notes) {
            table.noteCell(table.bookmark(), n.field, n.text);
            report.add(std::move(n));
        }
        if (progress && line % kProgressEvery == 0 &&
            !progress->update(rows_->bytesRead(), rows_->bytesTotal()))
            throw Cancelled();
    };
    table.open();
    try {
        RxMem::Fill loaded(table);
        if (hasFirst_ && !columns_.titled) addRow(first_);
        std::vector<SheetCell> cells;
        while (rows_->next(cells))
            addRow(cells);
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
