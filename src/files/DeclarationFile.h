#pragma once

#include "model/FieldTable.h"
#include "util/Progress.h"

#include <QString>
#include <optional>
#include <string_view>

namespace solvanta {

class RxMem;

// The two forms of a declaration file: fields at fixed columns, or fields
// separated by ";".
enum class FileForm { Position = 0, Separator = 1 };

// Opens the table afresh and reads every line of the file into it, field by
// field by the load rules of the field table. On any failure the table is
// left closed and empty and an Error names the file (and the line, when one
// line is at fault). A file whose size or modification time changed while
// it was read fails too. Progress counts bytes.
void loadDeclaration(const QString& path, FileForm form, RxMem& table,
                     Progress* progress = nullptr);

// Writes every line of the table in the given form, each ending in CR LF.
// The file appears only when the whole write succeeded: an existing file of
// that name stays untouched otherwise. Stores a pending line first; leaves
// the last line current. Progress counts lines.
void writeDeclaration(const QString& path, FileForm form, RxMem& table,
                      Progress* progress = nullptr);

// Reads a file in one form and writes its lines in the other (or the same)
// form: the bytes and messages of loading it into a table and writing that
// table, without holding the lines. Reading and writing overlap on two
// cores. On any failure the new file does not appear and a file of that
// name stays untouched; failures of the reading come before those of the
// writing, whichever line they are on.
void convertDeclaration(const QString& inPath, FileForm from, const QString& outPath, FileForm to);

// The form the first lines of the file show: lines of 861 characters are the
// position form, lines with 104 ";" the separator form. Nothing when the
// file cannot be read or its first lines do not agree.
std::optional<FileForm> guessForm(const QString& path);

// How many columns the position form lays the field's text out in: its
// width, more when the text is longer (it is never cut), fewer when a text
// written unchanged is shorter. Anything but the width moves every later
// field of the line.
std::size_t positionLength(const FieldDef& def, std::string_view text);

// A field's text as the separator form writes it: fields written trimmed
// lose the blanks and control characters around them.
std::string_view separatorFormText(int field, std::string_view text);

} // namespace solvanta
