#pragma once

#include <QString>
#include <optional>
#include <string_view>

// Periods (a month of a year). Fields hold them as six characters MMYYYY;
// the period boxes show them as MM/YYYY. A period is whole when every
// character is a digit from 0 to 9 and the month is 01 to 12.
namespace solvanta::periodtext {

// A whole period MMYYYY as the number YYYYMM (so periods compare as
// numbers), or nothing.
std::optional<int> read(std::string_view mmyyyy);
std::optional<int> read(QStringView mmyyyy);

// A whole period as a period box shows it, MM/YYYY, as YYYYMM, or nothing.
std::optional<int> readShown(QStringView shown);

// MMYYYY as a period box shows it: the first six characters, blanks where
// there are fewer, and "/" after the month.
QString shown(QStringView mmyyyy);

// Why what a period box shows is no period, in a sentence for the user
// ("El período «04/20__» no es válido: …", unfilled positions as "_");
// empty when it is a whole period.
QString shownProblem(QStringView shown);

// What a period box shows, as its field holds it: without the "/".
QString stored(QStringView shown);

} // namespace solvanta::periodtext
