// Product code linking the runtime reaching for the seams only tests may use.
#include "runtime/testing.h"
