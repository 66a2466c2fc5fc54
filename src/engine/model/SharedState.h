#pragma once

#include <QString>
#include <QtGlobal>

// State that windows hand to each other and that outlives the window that
// sets it. Plain process globals, read directly.
namespace solvanta::shared {

// 1 while the record editor is adding a line, 0 when it modifies the
// current one.
extern quint8 addOrModify;

// The code-table section chosen in the code menu and the width of its codes.
extern QString codeSection;
extern int codeWidth;

// The load dialog's format choice: 0 by position, 1 by separator. The writer
// proposes it.
extern int loadFormat;

} // namespace solvanta::shared
