#include <cstdio>
#include <cstring>

#include "app/window_set.h"

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("Vorel %s\n", VOREL_VERSION);
    return 0;
  }
  vorel::app::RunProgram(argc, argv);
}
