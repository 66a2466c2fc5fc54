#pragma once

#include <QString>

#include <vector>

namespace solvanta {

// A value as the user types it into a cell of the listing, or pastes it,
// turned into the table's own text form: numbers as people write them
// (thousands grouped, "." or "," for the decimals where that is clear), a
// RUT with its dots and check character, which goes into the check field
// too. An empty cell is an empty text, or a number cell without a value. A
// text longer than its field is refused, blanks at its end aside.
struct TypedCell {
    int field;
    QString text; // as RxMem::setText and RxMem::setCells take it
};
// Throws ConversionError ("[27] Impo. afp: «1,2,3» no es un número") when
// the field cannot take the value.
std::vector<TypedCell> readTypedCell(int field, const QString& typed);

} // namespace solvanta
