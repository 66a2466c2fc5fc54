#pragma once

#include "engine/model/FieldTable.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <span>

// The code lists: one row per section of the code-table file that the
// program uses, with everything the windows and the line checks need to know
// about it. The code menu, the code editor's help, the record editor, the
// mass modification and the line checks loop over this table; adding a code
// list is adding a row.
namespace solvanta {

struct CodeListDef {
    // Its section of the code-table file.
    const char* section;
    // How many characters at the start of an entry form its code: what the
    // code editor takes, what the record editor stores and the checks read.
    int width;
    // A code is the entry's first letter, compared as text; otherwise the
    // code is a number and compared as one ("1" finds "01 …").
    bool letters = false;
    // The fields whose values come from the list (up to two).
    std::optional<Field> fields[2] = {};
    // The line checks call an empty field a problem.
    bool required = false;
    // The record editor stores the chosen entry whole (the field keeps what
    // fits), not only its code.
    bool wholeEntry = false;
    // An entry the record editor always offers first, whatever the file
    // holds; the checks accept its code too. nullptr for none.
    const char16_t* fixedEntry = nullptr;

    // The listing's code menu: the entry's place (-1: not in the menu), its
    // object name and caption, and the code editor's title. UTF-8.
    int menuPlace = -1;
    const char* menuName = nullptr;
    const char* menuCaption = nullptr;
    const char* editorCaption = nullptr;

    // What the code editor's help window says about the list: its title and
    // up to five lines, shown as written (trailing blanks included). UTF-8;
    // no title, no help.
    const char* helpTitle = nullptr;
    const char* helpLines[5] = {};

    // The mass modification's item for writing one code into every line
    // (nullptr: not offered there). It writes the first field.
    const char16_t* massItem = nullptr;
};

// In the order the line checks read them and name them when they are missing.
std::span<const CodeListDef> codeLists();

// The section names, in the table's order.
QStringList codeListSections();

// The list whose codes a field holds, by field index; -1 for none.
int codeListOfField(int field);

} // namespace solvanta
