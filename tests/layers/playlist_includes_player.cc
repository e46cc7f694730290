// The play list reaching for the player, which it does not link: the application wires the two.
#include "player/player.h"
