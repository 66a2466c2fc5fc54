#pragma once

#include <QString>

namespace solvanta {

// The confirmation box: "Atención", question icon, OK and Cancel with Cancel
// the default. The message is the first text, or the first text, LF, CR and
// the second when there is a second. Returns 1 for OK, 2 for Cancel (closing
// the box counts as Cancel).
int Pregunta(const QString& first, const QString& second);

} // namespace solvanta
