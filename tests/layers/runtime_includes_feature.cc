// The runtime reaching up to a feature.
#include "player/player.h"
