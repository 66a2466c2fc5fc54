#include "UnitPrincipal.h"
