#include "FRWFlipped.h"
