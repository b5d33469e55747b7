#include "SgmGeom.h"
#include "HSgm.h"
