#include "app/key_wait.h"

#include "runtime/host/keyboard_wait.h"

void pause_while_no_key(bool key_was_read) {
  if (!key_was_read) keyboard_wait_for_key();
}
