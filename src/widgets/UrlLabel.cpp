#include "UrlLabel.h"
