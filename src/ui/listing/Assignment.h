#pragma once

#include "engine/model/FieldTable.h"

#include <QString>

class DeclarationModel;

// Gives one field the same text on the lines selected in the grid, in one
// step (all lines or none), then empties the selection. The table's cursor
// goes to the last line changed, or to the first line when none was
// selected.
void assignToSelection(DeclarationModel& lines, solvanta::Field field, const QString& text);
