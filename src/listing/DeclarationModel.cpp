#include "DeclarationModel.h"
