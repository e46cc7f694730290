#ifndef VOREL_PLAYER_TESTING_H_
#define VOREL_PLAYER_TESTING_H_

// What tests and tools need of the player beyond its public API. User-interface thread only.

// Only what links vorel::player_testing (tests, benchmarks, tools) sees the definition below;
// the program does not, so a seam cannot creep into it.
#ifndef VOREL_PLAYER_TESTING
#error "player/testing.h is for tests and tools only: link vorel::player_testing to use it"
#endif

namespace vorel::player {

class Player;

// Waits, processing events, until every open and cover worker `player` started has ended
// (superseded ones too); true when they have within `timeout_ms`. A worker still loading the
// decoding libraries must not meet the exit handlers that unload them.
bool WaitForOpenWorkers(Player& player, int timeout_ms);

}  // namespace vorel::player

#endif  // VOREL_PLAYER_TESTING_H_
