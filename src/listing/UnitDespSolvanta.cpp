#include "UnitDespSolvanta.h"
