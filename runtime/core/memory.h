// Scratch memory of program procedures and the emulated conventional memory.
//
// mem_static is a bump area from which every program procedure takes its locals on entry and to
// which it rolls back on exit. mem_lock records tag procedure activations and tables. cmem is the
// emulated conventional memory: it holds the BIOS data area (keyboard ring at 0x41A, status bytes
// at 0x417, tick count at 0x46C), the low-memory string area above dblock, the mode 13 page at
// 0xA0000 and the text pages at 0xB8000. Program thread only, except the bytes named in the
// keyboard and clock headers, which other threads reach through AtomicRef.
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
// The low-memory string area takes the bottom of the 64 KiB above dblock; dynamic blocks
// (cmem_dynamic_malloc) lie between its end and cmem_sp.
inline constexpr uint32_t low_string_area_size = 16384;

extern uint8_t* mem_static;
extern uint8_t* mem_static_pointer;
extern uint8_t* mem_static_limit;
extern uint32_t mem_static_size;

struct mem_lock {
  uint64_t id;      // 0 once released
  int32_t type;     // 3 procedure activation, 4 table data, 1 heap block freed on release
  uint64_t offset;  // heap block pointer for type 1
};
extern mem_lock* mem_lock_tmp;

// Clears cmem, places dblock and cmem_sp, and starts afresh the scratch area, the lock records and
// the low-memory blocks, giving back those of an earlier start (called by runtime_init, before
// strings_init).
void memory_init();

// Scratch bytes rounded up to a multiple of 8; a full block is followed by a bigger one and
// earlier allocations stay valid. Out of memory is fatal (error 504).
uint8_t* mem_static_malloc(uint32_t bytes);
// Rolls the scratch area back to saved, or to the start of the current block when saved lies in
// an older one.
void mem_static_restore(uint8_t* saved);
// A lock record with a fresh id, left in mem_lock_tmp (type and offset cleared).
void new_mem_lock();
// Clears the id, frees the heap block of a type 1 lock and keeps the record for reuse.
void free_mem_lock(mem_lock* lock);
// A zeroed block of the low-memory area (between the low-memory strings and cmem_sp). Fatal:
// 505 for more than 65536 bytes, 506 when no gap is left below cmem_sp, 507 when the block table
// is full. Freeing a pointer that is not such a block raises error 5.
uint8_t* cmem_dynamic_malloc(uint32_t bytes);
void cmem_dynamic_free(uint8_t* block);

// The heap calls of the string and scratch code all go through these, so that tests can prove
// which operations stay off the heap.
void* core_heap_malloc(size_t bytes);
void* core_heap_calloc(size_t count, size_t bytes);
void* core_heap_realloc(void* block, size_t bytes);
// Number of calls made through the three functions above since the process started.
uint64_t core_heap_call_count();

// What a program procedure notes on entry and restores on exit.
struct procedure_frame {
  uint32_t tmp_base;
  uint8_t* static_pointer;
  uint32_t cmem_stack;
  mem_lock* activation;
};
// Notes the temporary base, mem_static_pointer and cmem_sp and makes the activation lock
// (type 3). The procedure then takes its locals with mem_static_malloc.
procedure_frame procedure_enter();
// Releases the activation lock and restores the scratch pointer and cmem_sp.
void procedure_exit(const procedure_frame& frame);
