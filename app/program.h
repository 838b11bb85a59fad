// The program: ZQMAIN is the body of the program thread.
#pragma once

// Runs the program; returns only when the program has nothing more to do.
void ZQMAIN();
