#include "UnitAyuda.h"
