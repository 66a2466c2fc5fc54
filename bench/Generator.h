#pragma once

#include <cstdint>

namespace solvanta {
class RxMem;
}

// Fills a table with realistic declaration lines: valid RUT check digits,
// Spanish names with accented letters and ñ, codes, periods, dates, amounts
// and rates, every field at its usual width so that the position form is
// exactly 861 columns, codes from the shipped code tables: a correct file.
// The same seed gives the same lines.
void generateDeclaration(solvanta::RxMem& table, int lines, std::uint64_t seed = 1);

// The most problems `addProblems` can give a line.
constexpr int kMostProblemsPerLine = 38;

// Spoils the first `perLine` of a fixed list of fields in every `every`th
// line, from the first (at
// most kMostProblemsPerLine): codes missing from the shipped lists, dates
// that are no dates, wrong RUT check characters, values outside their sets,
// impossible periods. Each spoiled field is one problem of the line checks
// with the shipped code lists, and the position form keeps every value as
// it is (each keeps the width of its columns).
void addProblems(solvanta::RxMem& table, int perLine, int every = 1);
