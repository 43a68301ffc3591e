// tarnic-pack on POSIX systems: arguments are bytes, as names are.
#include "packer/command_line.h"
#include "packer/system/interruption.h"

int main(int argc, char** argv) {
  catchInterruptions();
  return runPacker(argc, argv);
}
