#include <cstdio>

int main() {
  std::printf("Vorel %s\n", VOREL_VERSION);
  return 0;
}
