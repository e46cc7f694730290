// The search hands its rows to the play list's entry type and never drives the player itself.
#include "player/player.h"
