#pragma once

#include "engine/model/FieldTable.h"

#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace solvanta {

class CodeNames;
class RecordView;
class RxMem;

// What a file will pay and to whom: its lines grouped by institution, with
// the amounts of each group totalled. One row of this table per group, in
// the order the summary shows them; the summary window, its printout, the
// workbook's "Resumen" sheet and the `summary` command all walk it.
struct SummaryGroupDef {
    const char16_t* title;
    std::optional<Field> by;     // a row per code of this field; none: one row
    std::optional<Field> thenBy; // and per code of this one within it
    std::array<std::optional<Field>, 9> sums{};
    bool workers = false;   // distinct RUTs per row
    bool everyLine = false; // every line has its row (counts by a code, no amounts)
    // Sums from this one on show only where some line holds them.
    std::size_t whereHeldFrom = 9;
};
std::span<const SummaryGroupDef> summaryGroups();

struct SummaryRow {
    std::string key;      // the row's codes as lines hold them, for lineInRow
    QString code;         // as the code list writes it ("05"); empty for a group without codes
    QString name;         // what the code table calls it
    bool missing = false; // a code the code table does not have
    QString secondCode, secondName;
    int lines = 0;
    int workers = 0;
    std::vector<double> totals; // one per summed field
};

struct SummaryGroup {
    const SummaryGroupDef* def = nullptr;
    std::vector<int> fields; // the summed fields
    std::vector<SummaryRow> rows;
    SummaryRow total; // of every row (lines counted once)
    // The summed fields shown (their places in `fields`): those held where
    // present only when some line holds them.
    std::vector<std::size_t> shownSums() const;
};

struct Summary {
    int lines = 0;
    int workers = 0; // distinct RUTs
    QString period;  // of [9]: "04/2026", or "03/2026 a 04/2026"
    std::vector<SummaryGroup> groups;
};

// The summary of every line of the table. Rates and percentages are never
// summed: no group lists them. A line belongs to a group's row when it holds
// one of the group's amounts, or names one of its institutions (a code that
// is not empty and not all zeros), or always for the groups of every line.
// `rows`, when given, are the table rows summed (the lines a filtered
// listing shows).
Summary summarize(const RxMem& table, const CodeNames& names,
                  const std::vector<int>* rows = nullptr);

// A code as rows are keyed by it: a numbered list's code by its number ("05"
// and "5" are one code), anything else as written, blanks around it aside.
std::string summaryCodeKey(int field, std::string_view code);

// Whether a line is one of a row's: the listing's filter for it.
bool lineInRow(const RecordView& line, const SummaryGroupDef& group, const std::string& key);

// An amount as the summary shows it: grouped thousands and, when it has
// any or `decimals` is set (a field that takes them), two decimals, as
// Chile writes them ("1.234.567", "12,50").
QString summaryAmount(double value, bool decimals = false);
// A count: "100.000".
QString summaryCount(qint64 value);

// The title of a summed field's column: "[27] Impo. afp".
QString summaryColumnTitle(int field);

// A group as a table of texts, as every view of the summary shows it: the
// code columns, the lines, the workers where counted and the amounts shown
// (rates never), a row per institution, then the total where the amounts
// add up (one code and more than one row: currencies are never added).
struct SummaryTableRow {
    QStringList cells;
    bool total = false;
    bool missing = false; // a code the code table does not have
};
struct SummaryTable {
    QStringList heads;
    int leftColumns = 0;               // texts; the others are numbers
    std::vector<SummaryTableRow> rows; // g.rows in order, then the total
};
SummaryTable summaryTable(const SummaryGroup& g);

// Rows of text cells as a plain table, each column as wide as its widest
// cell: the first `leftColumns` flush left, the others (numbers) flush right.
QString textTable(const std::vector<QStringList>& rows, int leftColumns);
// A cell of a CSV line separated by ";", quoted when it must be.
QString csvCell(QString text);

// The summary as plain text tables, for a terminal; and as CSV (";", the
// locale's decimal separator, no thousands), one line per row and field.
QString summaryText(const Summary& s, const QString& fileName);
QString summaryCsv(const Summary& s);

} // namespace solvanta
