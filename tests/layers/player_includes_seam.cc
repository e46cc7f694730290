// The program's code linking the player reaching for the player's seam only tests may use.
#include "player/testing.h"
