#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures of the program, drawn in code so that no image files have to
// travel with the executable: the service's logo, the program's icon and the
// glyphs of the buttons.
namespace images {

enum class Glyph {
    EditFile, Exit, CreateFile, WebPage, Spreadsheet, Add, Modify, Delete, Codes, Mass,
    Assign, Help, About, Accept, Cancel, Close, Check, Undo, Redo, Summary
};

QPixmap logo(); // 218 x 31
QIcon appIcon();
QIcon glyph(Glyph glyph);

} // namespace images
