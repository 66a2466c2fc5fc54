#include "UnitAcercade.h"
