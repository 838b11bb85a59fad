#include "app/statement.h"

#include <cstring>

int16_t& local_integer() {
  uint8_t* bytes = mem_static_malloc(sizeof(int16_t));
  std::memset(bytes, 0, sizeof(int16_t));
  return *reinterpret_cast<int16_t*>(bytes);
}
