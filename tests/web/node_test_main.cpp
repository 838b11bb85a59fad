// The main of the unit tests built for node (the browser build): GoogleTest alone. There is no
// second process there, so no dialog stand-in: dialogs are only logged, and count as not shown.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
