// The allocation wrappers of the effects test binary.
#define LUMERAY_DEFINE_ALLOCATION_WRAPPERS
#include "unit/effects/shape_test_allocation.h"
