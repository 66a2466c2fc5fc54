#include "UnitSelFormato.h"
