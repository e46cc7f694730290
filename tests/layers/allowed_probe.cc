// Compiles as a source of the player would: its own header, a library it links and the ids.
#include "player/player.h"
#include "playlist/entry.h"
#include "runtime/text.h"
#include "windows/window_ids.h"
