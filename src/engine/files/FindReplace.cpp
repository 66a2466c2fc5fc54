#include "FindReplace.h"

#include "LineView.h"

#include "engine/model/FieldTable.h"
#include "engine/model/TypedCell.h"
#include "engine/util/CodePage.h"
#include "engine/util/Errors.h"
#include "engine/util/NumberText.h"
#include "engine/util/StrUtil.h"

#include <QHash>
#include <algorithm>
#include <cmath>
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

CellMatcher::CellMatcher(const FindOptions& options) : options_(options), layout_(recordLayout()) {
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
    if (bytesPossible_ && !wantedBytes_.empty())
        for (int b = 0; b < 256; ++b)
            startsMatch_[std::size_t(b)] = byteKey_[std::size_t(b)] == wantedBytes_.front();
    int digits = 0;
    for (const QChar c : options_.text) {
        if (c >= u'0' && c <= u'9')
            ++digits;
        else if (c == u'-' || c == u',' || c == u'.' || c == u' ')
            digits = -kFieldCount; // not digits alone
        else
            numbersPossible_ = false;
    }
    // Digits alone: a whole number has them only from a size on.
    if (digits > 1) wholeAtLeast_ = std::pow(10.0, digits - 1);
}

bool CellMatcher::canMatch(int field) const {
    return numbersPossible_ || layout_.fieldSlots[std::size_t(field)].nullBit < 0;
}

bool CellMatcher::matches(const RecordView& line, int field) const {
    if (wanted_.isEmpty() || !canMatch(field)) return false;
    // A key the code page cannot hold ("µ" folds to a Greek letter): the
    // cell's text, keyed as characters.
    if (!bytesPossible_) return matches(line.text(field));
    char buf[numtext::kMaxNumberText];
    const FieldSlot& slot = layout_.fieldSlots[std::size_t(field)];
    if (wholeAtLeast_ > 1 && slot.nullBit >= 0 && slot::hasValue(line.data(), slot)) {
        const double v = kFields[std::size_t(field)].kind == Kind::Integer
                             ? slot::integer(line.data(), slot)
                             : slot::number(line.data(), slot);
        if (std::fabs(v) < wholeAtLeast_ && v == std::trunc(v)) return false;
    }
    return matchesBytes(slot.nullBit < 0 ? slot::text(line.data(), slot)
                                         : line.textForm(field, numtext::decimalSeparator(), buf));
}

bool CellMatcher::matchesBytes(std::string_view t) const {
    const std::size_t m = wantedBytes_.size();
    const auto keyedAt = [&](std::size_t at) {
        for (std::size_t j = 0; j < m; ++j)
            if (byteKey_[static_cast<unsigned char>(t[at + j])] != wantedBytes_[j]) return false;
        return true;
    };
    if (options_.wholeCell) {
        while (!t.empty() && t.front() == ' ')
            t.remove_prefix(1);
        while (!t.empty() && t.back() == ' ')
            t.remove_suffix(1);
        return t.size() == m && keyedAt(0);
    }
    // Keyed in place, from each byte that can start a match.
    for (std::size_t i = 0; i + m <= t.size(); ++i)
        if (startsMatch_[static_cast<unsigned char>(t[i])] && keyedAt(i)) return true;
    return false;
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
    if (matcher.isEmpty() || rows == 0) return {};
    const auto lineOf = [&](int row) { return view ? view->tableRow(row) : row; };
    // The fields looked at, left to right: the chosen one, or every field
    // whose cells can hold the text.
    std::vector<int> fields;
    for (int f = 0; f < kFieldCount; ++f)
        if (options.field >= 0 ? f == options.field : matcher.canMatch(f)) fields.push_back(f);
    if (fields.empty()) return {};
    const long long width = static_cast<long long>(fields.size());
    const long long cells = rows * width;
    // Cells numbered in reading order, counted in the order shown; `start`
    // is the number of `from`. A field not looked at stands between the
    // ones on its left and on its right.
    if (view && from.isValid()) from.row = view->viewRow(from.row);
    long long start;
    if (!from.isValid() || from.row >= rows) {
        start = backward ? cells : -1;
    } else {
        const auto left = std::lower_bound(fields.begin(), fields.end(), from.field);
        const long long k = left - fields.begin();
        const bool on = left != fields.end() && *left == from.field;
        start = from.row * width + (on || backward ? k : k - 1);
    }
    // Stepped one cell at a time, round past the ends.
    long long n = ((backward ? start - 1 : start + 1) % cells + cells) % cells;
    int row = int(n / width);
    std::size_t k = std::size_t(n % width);
    // Text cells straight from the line's bytes: most of what a search
    // over every column looks at.
    std::vector<const FieldSlot*> textSlots(fields.size(), nullptr);
    if (matcher.bytesPossible())
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (const FieldSlot& f = recordLayout().fieldSlots[std::size_t(fields[i])];
                f.nullBit < 0)
                textSlots[i] = &f;
    RecordView line = table.recordAt(lineOf(row));
    for (long long step = 0; step < cells; ++step) {
        const bool hit = textSlots[k] ? matcher.matchesBytes(slot::text(line.data(), *textSlots[k]))
                                      : matcher.matches(line, fields[k]);
        if (hit) return {lineOf(row), fields[k]};
        if (!backward && ++k == fields.size()) {
            k = 0;
            row = row + 1 == rows ? 0 : row + 1;
            line = table.recordAt(lineOf(row));
        } else if (backward && k-- == 0) {
            k = fields.size() - 1;
            row = row == 0 ? rows - 1 : row - 1;
            line = table.recordAt(lineOf(row));
        }
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
