// Helper for the single-instance tests: claims the name given as the first argument. A refused claim
// exits with 255, as a second copy of the program does; a held one writes the file named by the
// second argument and waits until it is ended by its process id.

#include "platform/single_instance.hpp"

#include <fstream>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  if (!amb::platform::acquireSingleInstance(argv[1])) return 255;
  std::ofstream(argv[2]) << "held\n";
  for (;;) ::pause();
}
