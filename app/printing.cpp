#include "app/printing.h"

#include "runtime/core/error.h"
#include "runtime/core/strings.h"
#include "runtime/screen/text.h"

void print_line(uint32_t temporary_base, std::string_view text) {
  zqs* line = zqs_new(0, 0);
  zqs_set(line, zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size())));
  if (!error_pending()) {
    makefit(line);
    zqs_print(line, 0);
    zqs_print(nothingstring, 1);
  }
  zqs_free(line);
  zqs_cleanup(temporary_base, 0);
}

void print_empty_line() { zqs_print(nothingstring, 1); }
