#include "DeclarationGrid.h"
