// The game's executable: reads its own command line (help, version, windowed start), then the
// host runs the puzzle program (ZQMAIN) with its threads and window.
#include "app/command_line.h"
#include "app/program.h"
#include "runtime/host/host_main.h"

int main(int argc, char** argv) {
  if (int status = take_command_line(argc, argv); status >= 0) return status;
  host_main(argc, argv, ZQMAIN);
}
