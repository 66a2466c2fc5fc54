#include "UnitSeleccionar.h"
