#include "player/testing.h"

#include "player/player.h"

namespace vorel::player {

struct PlayerTestAccess {
  static runtime::LatestWork& Opening(Player& player) { return player.opening_; }
};

bool WaitForOpenWorkers(Player& player, int timeout_ms) {
  return PlayerTestAccess::Opening(player).WaitForWorkers(timeout_ms);
}

}  // namespace vorel::player
