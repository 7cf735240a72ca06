// Helper for the single-instance tests: claims the name given as the first argument and says so on
// standard output ("held" or "busy"). Holding it, it waits until its standard input closes or it is
// ended by its process id. A refused claim exits with 255, as a second copy of the program does.

#include "platform/single_instance.hpp"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s NAME\n", argv[0]);
    return 2;
  }
  if (!amb::platform::acquireSingleInstance(argv[1])) {
    std::puts("busy");
    return 255;
  }
  std::puts("held");
  std::fflush(stdout);
  char buf[64];
  while (::read(STDIN_FILENO, buf, sizeof buf) > 0) {
  }
  return 0;
}
