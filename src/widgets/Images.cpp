#include "Images.h"
