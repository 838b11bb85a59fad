// Scratch memory of program procedures and the emulated conventional memory.
//
// mem_static is a bump area from which every program procedure takes its locals on entry and to
// which it rolls back on exit. mem_lock records tag procedure activations and tables. cmem is the
// emulated conventional memory: it holds the BIOS data area (keyboard ring at 0x41A, status bytes
// at 0x417, tick count at 0x46C), the low-memory string area above dblock, the mode 13 page at
// 0xA0000 and the text pages at 0xB8000. Program thread only, except the bytes named in the
// keyboard and clock headers, which other threads reach through std::atomic_ref.
#pragma once

#include <cstddef>
#include <cstdint>

// 1 MiB of conventional memory plus the 64 KiB above it that real-mode addressing reaches.
inline constexpr size_t cmem_size = 0x110000;
alignas(64) extern uint8_t cmem[cmem_size];
// Base of the low-memory area: cmem + 1280.
extern uint8_t* dblock;
// Stack pointer of the low-memory area, growing downward from 65536 (offset from dblock).
extern uint32_t cmem_sp;

extern uint8_t* mem_static;
extern uint8_t* mem_static_pointer;
extern uint8_t* mem_static_limit;
extern uint32_t mem_static_size;

struct mem_lock {
  uint64_t id;      // 0 once released
  int32_t type;     // 3 procedure activation, 4 table data, 1 heap block freed on release
  uint64_t offset;  // heap block pointer for type 1
};
extern uint64_t mem_lock_id;
extern mem_lock* mem_lock_tmp;

// Allocates the scratch area and clears cmem (called by runtime_init).
void memory_init();

uint8_t* mem_static_malloc(uint32_t bytes);
void mem_static_restore(uint8_t* saved);
void new_mem_lock();
void free_mem_lock(mem_lock* lock);
uint8_t* cmem_dynamic_malloc(uint32_t bytes);
void cmem_dynamic_free(uint8_t* block);

// What a program procedure notes on entry and restores on exit.
struct procedure_frame {
  uint32_t tmp_base;
  uint8_t* static_pointer;
  uint32_t cmem_stack;
  mem_lock* activation;
};
procedure_frame procedure_enter();
void procedure_exit(const procedure_frame& frame);
