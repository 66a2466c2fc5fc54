#pragma once

#include "engine/model/FieldTable.h"

#include <QString>

class DeclarationModel;
class QLabel;
class QWidget;

// Gives one field the same text on the lines selected in the grid, in one
// step (all lines or none), then empties the selection, and the table's
// cursor goes to the last line changed. With no line selected nothing
// changes, the cursor included, and it returns false.
bool assignToSelection(DeclarationModel& lines, solvanta::Field field, const QString& text);

// What an assignment dialog says about its reach: "Se asignará a 3 líneas.",
// under a filter "..., de las que muestra el filtro.", or, with no line
// selected, how to select them.
QString assignmentReach(int selectedLines, bool filtered = false);
QString noLinesSelected();

// The label at the head of an assignment dialog with that sentence
// (object name "LabelAlcance").
QLabel* reachLabel(const DeclarationModel& lines, QWidget* parent);
