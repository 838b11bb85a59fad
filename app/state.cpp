#include "app/state.h"

#include <cstring>
#include <initializer_list>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"

int16_t VID, X, Y, C;
int16_t C1, C2, C3, C4;
int16_t Z;
int16_t DC1X, DC1Y, DC2X, DC2Y, DC3X, DC3Y, DC4X, DC4Y, DC5X, DC5Y;
int16_t ROW, COL, INDEX;
int16_t COUNT;

program_table CHEBO;
program_table CHESSCOUNT;

void program_table::create() {
  constexpr uint32_t bytes = extent * extent * sizeof(int16_t);
  entries_ = reinterpret_cast<int16_t*>(mem_static_malloc(bytes));
  std::memset(entries_, 0, bytes);
  // The table lives as long as the program: its lock is never released.
  new_mem_lock();
  mem_lock_tmp->type = 4;
}

// The first subscript runs fastest through memory, as in the classic array layout.
uint32_t program_table::element(int32_t i, int32_t j) const {
  return array_check(static_cast<uint32_t>(i - lower_bound), extent) +
         array_check(static_cast<uint32_t>(j - lower_bound), extent) * extent;
}

void program_table::set(int32_t i, int32_t j, int32_t value) {
  const uint32_t index = element(i, j);
  if (!error_pending()) entries_[index] = static_cast<int16_t>(value);
}

void program_state_create() {
  for (int16_t* variable :
       {&VID,  &X,    &Y,    &C,    &C1,   &C2,   &C3,   &C4,  &Z,   &DC1X,  &DC1Y, &DC2X,
        &DC2Y, &DC3X, &DC3Y, &DC4X, &DC4Y, &DC5X, &DC5Y, &ROW, &COL, &INDEX, &COUNT})
    *variable = 0;
  CHEBO.create();
  CHESSCOUNT.create();
}
