#include "UFrmAyudaParametros.h"
