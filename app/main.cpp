// The game's executable: the host runs the puzzle program (ZQMAIN) with its threads and window.
#include "app/program.h"
#include "runtime/host/window/host_main.h"

int main(int argc, char** argv) { host_main(argc, argv, ZQMAIN); }
