#pragma once

#include "engine/files/DeclarationFile.h"

#include <string_view>

namespace fuzz {

// Loads the bytes as a declaration file of the given form, with the decimal
// separator the bytes hold more of (the comma when as many), and checks what
// must hold for any file:
// - a load that fails throws a solvanta::Error with a message of bounded
//   length and leaves the table closed and empty;
// - a load that succeeds has one line per line of the file, nothing to undo,
//   and the free-text fields hold the file's own bytes at their places;
// - every line is accounted for: the lines loaded and those reported as left
//   out make the file, and every value, text or field the loader did not
//   take as it stood is in its report (and on its cell);
// - the table written by separator is refused exactly when a text holds ";",
//   leaving no file; otherwise it loads again, every field as the separator
//   form writes it;
// - the table written by position has lines as long as positionLength()
//   says; when every field fills exactly its columns it loads again with the
//   free texts, the amounts and the nationality unchanged, and a second
//   write and load of that table changes nothing.
void checkDeclaration(std::string_view input, solvanta::FileForm form);

} // namespace fuzz
