#include "FindReplace.h"

#include "LineView.h"

#include "engine/model/FieldTable.h"
#include "engine/model/TypedCell.h"
#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

#include <QHash>
#include <set>

namespace solvanta {

QString shownCellText(const RxMem& table, int row, int field) {
    return table.textAt(row, field);
}

namespace {

// The search key of one character: searchKey's, when it is a single
// character, so that a match in the key is a match at the same place in the
// text; the character's case folding otherwise.
QChar keyOf(QChar c) {
    if (c.unicode() < 0x80) return c.toCaseFolded();
    thread_local QHash<char16_t, QChar> known; // searches may run beside the checks
    const auto it = known.constFind(c.unicode());
    if (it != known.cend()) return *it;
    const QString k = searchKey(QString(c));
    const QChar out = k.size() == 1 ? k[0] : c.toCaseFolded();
    known.insert(c.unicode(), out);
    return out;
}

} // namespace

CellMatcher::CellMatcher(const FindOptions& options) : options_(options) {
    // Letters typed with separate accents compare as the cells hold them.
    options_.text = options_.text.normalized(QString::NormalizationForm_C);
    if (options_.wholeCell) options_.text = options_.text.trimmed();
    wanted_ = key(options_.text);
    // Each byte's key, for the cells as the table holds them: a byte whose
    // key is not one byte of the code page keys as itself.
    for (int b = 0; b < 256; ++b) {
        const char byte = char(b);
        const QString k = key(cp1252::decode(std::string_view(&byte, 1)));
        bool lossy = false;
        const std::string keyed = cp1252::encode(k, lossy);
        byteKey_[std::size_t(b)] = !lossy && keyed.size() == 1 ? keyed[0] : byte;
    }
    bool lossy = false;
    wantedBytes_ = cp1252::encode(wanted_, lossy);
    bytesPossible_ = !lossy;
}

bool CellMatcher::matches(const RecordView& line, int field) const {
    if (wanted_.isEmpty()) return false;
    // A key the code page cannot hold ("µ" folds to a Greek letter): the
    // cell's text, keyed as characters.
    if (!bytesPossible_) return matches(line.text(field));
    char buf[numtext::kMaxNumberText];
    std::string_view t = line.textForm(field, numtext::decimalSeparator(), buf);
    if (options_.wholeCell) {
        while (!t.empty() && t.front() == ' ')
            t.remove_prefix(1);
        while (!t.empty() && t.back() == ' ')
            t.remove_suffix(1);
        if (t.size() != wantedBytes_.size()) return false;
    } else if (t.size() < wantedBytes_.size()) {
        return false;
    }
    // Keyed one byte at a time into a buffer as long as the longest field.
    char keyed[256];
    const std::size_t n = std::min(t.size(), sizeof keyed);
    for (std::size_t i = 0; i < n; ++i)
        keyed[i] = byteKey_[static_cast<unsigned char>(t[i])];
    const std::string_view k(keyed, n);
    return options_.wholeCell ? k == wantedBytes_ : k.find(wantedBytes_) != std::string_view::npos;
}

QString CellMatcher::key(const QString& text) const {
    if (options_.matchCase) return text;
    QString out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = keyOf(text[i]);
    return out;
}

qsizetype CellMatcher::indexIn(const QString& keyed, qsizetype from) const {
    return keyed.indexOf(wanted_, from, Qt::CaseSensitive);
}

bool CellMatcher::matches(const QString& cell) const {
    if (wanted_.isEmpty()) return false;
    if (options_.wholeCell) return key(cell.trimmed()) == wanted_;
    if (cell.size() < wanted_.size()) return false;
    return indexIn(key(cell), 0) >= 0;
}

QString CellMatcher::replaced(const QString& cell, const QString& with) const {
    if (!matches(cell)) return cell;
    if (options_.wholeCell) return with;
    const QString keyed = key(cell);
    QString out;
    qsizetype from = 0;
    for (qsizetype at = indexIn(keyed, 0); at >= 0; at = indexIn(keyed, from)) {
        out += QStringView(cell).mid(from, at - from);
        out += with;
        from = at + wanted_.size();
    }
    out += QStringView(cell).mid(from);
    return out;
}

CellPos findCell(const RxMem& table, const FindOptions& options, CellPos from, bool backward,
                 const LineView* view) {
    const CellMatcher matcher(options);
    const int rows = view ? view->count() : table.recordCount();
    const auto lineOf = [&](int row) { return view ? view->tableRow(row) : row; };
    // Counted in the order shown.
    if (view && from.isValid()) from.row = view->viewRow(from.row);
    if (matcher.isEmpty() || rows == 0) return {};
    const bool one = options.field >= 0;
    const int fields = one ? 1 : kFieldCount;
    const long long cells = static_cast<long long>(rows) * fields;
    // Cells numbered in reading order; `start` is the number of `from`.
    long long start;
    if (!from.isValid() || from.row >= rows) {
        start = backward ? cells : -1;
    } else if (!one) {
        start = static_cast<long long>(from.row) * kFieldCount + from.field;
    } else {
        // Only the chosen field's cells count: one left of it on its line
        // comes just before that line's cell, one right of it just after.
        start = from.row;
        if (!backward && from.field < options.field) --start;
        if (backward && from.field > options.field) ++start;
    }
    for (long long step = 1; step <= cells; ++step) {
        long long n = backward ? start - step : start + step;
        n = ((n % cells) + cells) % cells;
        const int row = int(n / fields);
        const int field = one ? options.field : int(n % fields);
        if (matcher.matches(table.recordAt(lineOf(row)), field)) return {lineOf(row), field};
    }
    return {};
}

ReplacePlan planReplace(const RxMem& table, const FindOptions& options, const QString& with,
                        CellPos only, const LineView* view) {
    const CellMatcher matcher(options);
    ReplacePlan plan;
    if (matcher.isEmpty()) return plan;
    std::set<int> lines;
    const auto planCell = [&](int row, int field) {
        const QString cell = shownCellText(table, row, field);
        if (!matcher.matches(cell)) return;
        ++plan.cellCount;
        lines.insert(row);
        const QString text = matcher.replaced(cell, with);
        try {
            for (const TypedCell& typed : readTypedCell(field, text))
                plan.cells.push_back({table.bookmarkAt(row), typed.field, typed.text});
        } catch (const ConversionError& e) {
            throw ConversionError(QStringLiteral("Línea %1: %2").arg(row + 1).arg(e.message()));
        }
    };
    if (only.isValid()) {
        if (only.row < table.recordCount() && (options.field < 0 || options.field == only.field))
            planCell(only.row, only.field);
    } else {
        const int rows = view ? view->count() : table.recordCount();
        for (int shown = 0; shown < rows; ++shown) {
            const int row = view ? view->tableRow(shown) : shown;
            if (options.field >= 0) {
                planCell(row, options.field);
                continue;
            }
            for (int field = 0; field < kFieldCount; ++field)
                planCell(row, field);
        }
    }
    plan.lineCount = int(lines.size());
    return plan;
}

int applyReplace(RxMem& table, const ReplacePlan& plan) {
    if (plan.cells.empty()) return 0;
    return table.setCells(plan.cells);
}

} // namespace solvanta
