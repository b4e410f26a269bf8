// The start-up precalculation driver.
#include "precalc/precalc.h"

void precalcs() {}
