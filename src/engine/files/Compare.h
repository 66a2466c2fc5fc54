#pragma once

#include "Summary.h"

#include <QString>

#include <vector>

namespace solvanta {

class CodeNames;
class RxMem;

// What changed from one file to another (last month's and this month's):
// lines matched by the worker's RUT and the line's type, the n-th line of a
// RUT and type in one file with the n-th in the other, wherever they stand.
struct AmountChange {
    int field;
    double before, after;
};

struct LineDifference {
    enum class Kind { New, Gone, Changed };
    Kind kind;
    int beforeRow = -1; // in the earlier table; -1 for a new line
    int afterRow = -1;  // in the later one; -1 for a line that is gone
    // The amounts that differ; for a new or a gone line, those it holds.
    std::vector<AmountChange> changes;
    double size = 0; // the largest difference among them, in pesos
};

struct Comparison {
    int matched = 0; // lines found in both
    // New, gone and changed lines together, the largest difference first.
    std::vector<LineDifference> lines;
    Summary before, after;
};

// The amount fields compared: pesos, not rates.
bool comparedField(int field);

Comparison compareTables(const RxMem& before, const RxMem& after, const CodeNames& names);

// The line as the comparison names it: "12.345.678-5 PÉREZ SOTO JUAN".
QString comparedWorker(const RxMem& table, int row);

// "Nueva", "Ya no está", "Cambió".
QString differenceKind(LineDifference::Kind kind);

// The change in percent, as shown: "+12,5 %", "-100 %"; "nuevo" from 0.
QString changePercent(double before, double after);

// As plain text tables, and as CSV (";"), for the command line: the lines
// that differ, then the totals of each group side by side.
QString comparisonText(const Comparison& c, const RxMem& before, const RxMem& after,
                       const QString& beforeName, const QString& afterName);
QString comparisonCsv(const Comparison& c, const RxMem& before, const RxMem& after);

// The totals of both summaries, group by group and row by row (a row of
// either), for showing side by side.
struct TotalChange {
    const SummaryGroupDef* group;
    QString label; // "05 Habitat"
    int field;
    double before, after;
};
std::vector<TotalChange> totalChanges(const Comparison& c);

} // namespace solvanta
