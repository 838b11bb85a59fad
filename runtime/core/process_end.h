// How the process ends: every path that ends it (the orderly shutdown, a fatal error) goes
// through end_process, which hands the status to the host that shows the game. The desktop's host
// installs nothing and the process ends at once; a page's host shows that the game has ended and
// keeps the page.
#pragma once

#include <cstdint>

// Installs the host's way to end (nullptr: none). Call before the runtime's threads start. The
// function must not return; if it does all the same, the process ends with std::_Exit.
void install_process_end(void (*end)(int32_t status));

// Ends the process with status (standard streams flushed first), through the installed way if
// any. Other threads may still run: static destructors, which exit() would run under their feet,
// are skipped.
[[noreturn]] void end_process(int32_t status);
