#pragma once

#include "engine/model/RxMem.h"

#include <QString>

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace solvanta {

class LineView;
class RecordView;
struct RecordLayout;

// Find and replace over the cells of the declaration table, as the listing
// shows them: the text of a text field, a number with the user's decimal
// separator ("1234,5"), nothing for a number cell without a value.

// What the user looks for.
struct FindOptions {
    QString text;
    int field = -1;         // one field only; -1: every field
    bool wholeCell = false; // the cell's whole text (blanks at its ends aside), not a part of it
    bool matchCase = false; // false: case and accents ignored ("nuñez" finds "NUNEZ")
};

// A cell of the table: line (0-based row) and field.
struct CellPos {
    int row = -1;
    int field = -1;
    bool isValid() const { return row >= 0 && field >= 0; }
    bool operator==(const CellPos&) const = default;
};

// The cell's text as the listing's grid shows it.
QString shownCellText(const RxMem& table, int row, int field);

// Compares cell texts with one search, and builds their replacements.
class CellMatcher {
public:
    explicit CellMatcher(const FindOptions& options);
    bool isEmpty() const { return wanted_.isEmpty(); }
    bool matches(const QString& cell) const;
    // The same for a cell of a line as the table holds it, without making
    // texts: what a search over every cell of the file does.
    bool matches(const RecordView& line, int field) const;
    // Whether a cell of the field can match at all: a number cell never
    // holds letters.
    bool canMatch(int field) const;
    // A cell's bytes as the table holds them (in the file's code page), when
    // bytesPossible().
    bool matchesBytes(std::string_view cell) const;
    bool bytesPossible() const { return bytesPossible_ && !wanted_.isEmpty(); }
    // The cell's text with every match replaced (the whole text, for a
    // whole-cell search); the cell as it is when nothing matches.
    QString replaced(const QString& cell, const QString& with) const;

private:
    QString key(const QString& text) const; // one character of the key per character of the text
    qsizetype indexIn(const QString& keyed, qsizetype from) const;

    FindOptions options_;
    const RecordLayout& layout_;
    QString wanted_; // the searched text as keyed
    // The same in the file's code page, with the key of each byte; not
    // possible when the key has a character the code page cannot hold.
    std::string wantedBytes_;
    bool bytesPossible_ = false;
    std::array<char, 256> byteKey_{};
    std::array<bool, 256> startsMatch_{}; // bytes whose key is the searched text's first
    // A number's text has digits, a sign and a separator only: a search for
    // anything else never looks at number cells.
    bool numbersPossible_ = true;
    // A text of digits alone is in no whole number below this: no need to
    // write the number out.
    double wholeAtLeast_ = 0;
};

// The next cell that matches after `from` (before it, backward), in reading
// order: the fields of a line left to right, the lines top to bottom. Past
// the last cell it goes on from the first (and the other way round), so that
// `from` itself is the last cell looked at. An invalid `from` starts before
// the first cell (after the last, backward). An invalid cell when nothing
// matches. With a view, only the lines it shows, in the order shown.
CellPos findCell(const RxMem& table, const FindOptions& options, CellPos from, bool backward,
                 const LineView* view = nullptr);

// The new values of the cells that match, read as the user would type them
// into each cell.
struct ReplacePlan {
    std::vector<RxMem::CellValue> cells; // a RUT's check field beside its RUT
    int cellCount = 0;                   // matching cells
    int lineCount = 0;                   // lines with a matching cell
};
// Every matching cell of the table (`only` one cell, when valid; with a
// view, of the lines it shows). Throws ConversionError naming the line
// ("Línea 12: ...") when a field cannot take its new value, a text too long
// for the field included; nothing is touched.
ReplacePlan planReplace(const RxMem& table, const FindOptions& options, const QString& with,
                        CellPos only = {}, const LineView* view = nullptr);
// Writes the plan in one undo step, all or none (RxMem::setCells). Returns
// how many cells changed.
int applyReplace(RxMem& table, const ReplacePlan& plan);

} // namespace solvanta
