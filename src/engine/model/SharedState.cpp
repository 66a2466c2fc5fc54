#include "SharedState.h"

namespace solvanta::shared {

quint8 addOrModify = 0;
QString codeSection;
int codeWidth = 0;
int loadFormat = 0;

} // namespace solvanta::shared
