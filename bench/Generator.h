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
