// Scratch memory of program procedures, lock records and the emulated conventional memory.

#include "runtime/core/memory.h"

#include <cstdlib>
#include <cstring>

#include "runtime/core/error.h"
#include "runtime/core/strings.h"

alignas(64) uint8_t cmem[cmem_size];
uint8_t* dblock = nullptr;
uint32_t cmem_sp = 65536;

uint8_t* mem_static = nullptr;
uint8_t* mem_static_pointer = nullptr;
uint8_t* mem_static_limit = nullptr;
uint32_t mem_static_size = 0;

mem_lock* mem_lock_tmp = nullptr;

namespace {

uint64_t heap_calls = 0;

// Every scratch block starts with a link to the block made before it, so that a new start-up can
// give them all back. The bytes handed out start after the link.
struct StaticBlockHeader {
  StaticBlockHeader* previous;
  uint64_t padding;  // keeps the bytes after the header 16-byte aligned
};
static_assert(sizeof(StaticBlockHeader) == 16);

constexpr uint32_t initial_static_size = 1048576;
StaticBlockHeader* newest_static_block = nullptr;

constexpr uint32_t lock_block_records = 10000;         // mem_lock_max
constexpr uint32_t initial_lock_free_capacity = 1000;  // mem_lock_freed_max

struct LockBlock {
  LockBlock* previous;
  mem_lock records[lock_block_records];
};

// Every new lock takes the id after locks.last_id, the lock id counter. Start-up sets the counter
// to 2^30 - 1, so that the first lock of a run has the id 2^30.
constexpr uint64_t lock_id_before_first = 1073741823;

struct {
  LockBlock* current = nullptr;
  uint32_t used = 0;     // records taken from the current block
  uint64_t last_id = 0;  // id of the newest lock
  mem_lock** freed = nullptr;
  uint32_t freed_count = 0;
  uint32_t freed_capacity = 0;
} locks;

// Blocks inside the low-memory area. The 64 KiB above dblock hold, from the bottom: the
// low-memory string area, the dynamic blocks, and the low-memory stack that grows down from
// cmem_sp. Dynamic blocks are kept as (offset, size) records sorted by offset and placed first-fit.
constexpr uint32_t low_area_size = 65536;
constexpr uint32_t dynamic_area_start = low_string_area_size;
constexpr uint32_t dynamic_block_max_bytes = 65536;
constexpr uint32_t dynamic_block_max_records = 147136;

struct DynamicBlock {
  uint32_t offset;  // from dblock
  uint32_t size;
};

struct {
  DynamicBlock* records = nullptr;
  uint32_t count = 0;
} dynamic_blocks;

void free_all_static_blocks() {
  while (newest_static_block) {
    StaticBlockHeader* previous = newest_static_block->previous;
    std::free(newest_static_block);
    newest_static_block = previous;
  }
}

// Makes a new scratch block of `size` usable bytes the current one; false when out of memory.
bool start_static_block(uint64_t size) {
  if (size > UINT32_MAX) return false;
  auto* header =
      static_cast<StaticBlockHeader*>(core_heap_malloc(sizeof(StaticBlockHeader) + size));
  if (!header) return false;
  header->previous = newest_static_block;
  newest_static_block = header;
  mem_static = reinterpret_cast<uint8_t*>(header + 1);
  mem_static_pointer = mem_static;
  mem_static_size = static_cast<uint32_t>(size);
  mem_static_limit = mem_static + mem_static_size;
  return true;
}

void free_all_lock_blocks() {
  while (locks.current) {
    LockBlock* previous = locks.current->previous;
    std::free(locks.current);
    locks.current = previous;
  }
  std::free(locks.freed);
  locks.freed = nullptr;
  locks.freed_count = 0;
  locks.freed_capacity = 0;
  locks.used = 0;
}

}  // namespace

void* core_heap_malloc(size_t bytes) {
  ++heap_calls;
  return std::malloc(bytes);
}

void* core_heap_calloc(size_t count, size_t bytes) {
  ++heap_calls;
  return std::calloc(count, bytes);
}

void* core_heap_realloc(void* block, size_t bytes) {
  ++heap_calls;
  return std::realloc(block, bytes);
}

uint64_t core_heap_call_count() { return heap_calls; }

void memory_init() {
  // The emulated memory is static storage, zero until first used: clearing it at the first
  // start-up would only make all of its megabyte resident, where the program touches a few pages.
  static bool cmem_used = false;
  if (cmem_used) std::memset(cmem, 0, sizeof cmem);
  cmem_used = true;
  dblock = cmem + 1280;
  cmem_sp = low_area_size;
  std::free(dynamic_blocks.records);
  dynamic_blocks.records = nullptr;
  dynamic_blocks.count = 0;

  free_all_static_blocks();
  if (!start_static_block(initial_static_size)) error(static_memory_full);

  free_all_lock_blocks();
  locks.last_id = lock_id_before_first;
  mem_lock_tmp = nullptr;
}

uint8_t* mem_static_malloc(uint32_t bytes) {
  uint64_t rounded = (static_cast<uint64_t>(bytes) + 7) & ~uint64_t{7};
  uint8_t* start = mem_static_pointer;
  if (rounded < static_cast<uint64_t>(mem_static_limit - start)) {
    mem_static_pointer = start + rounded;
    return start;
  }
  // The current block is full: open a bigger one. Earlier allocations stay where they are.
  if (!start_static_block(rounded + 2 * static_cast<uint64_t>(mem_static_size)))
    error(static_memory_full);
  mem_static_pointer = mem_static + rounded;
  return mem_static;
}

void mem_static_restore(uint8_t* saved) {
  if (saved >= mem_static && saved <= mem_static_limit)
    mem_static_pointer = saved;
  else
    mem_static_pointer = mem_static;  // saved in an older block: start the current one afresh
}

void new_mem_lock() {
  mem_lock* record;
  if (locks.freed_count > 0) {
    record = locks.freed[--locks.freed_count];
  } else {
    if (!locks.current || locks.used == lock_block_records) {
      auto* block = static_cast<LockBlock*>(core_heap_malloc(sizeof(LockBlock)));
      if (!block) error(static_memory_full);
      block->previous = locks.current;
      locks.current = block;
      locks.used = 0;
    }
    record = &locks.current->records[locks.used++];
  }
  record->id = ++locks.last_id;
  record->type = 0;
  record->offset = 0;
  mem_lock_tmp = record;
}

void free_mem_lock(mem_lock* lock) {
  lock->id = 0;
  if (lock->type == 1) {
    std::free(reinterpret_cast<void*>(static_cast<uintptr_t>(lock->offset)));
    lock->offset = 0;
  }
  if (locks.freed_count == locks.freed_capacity) {
    uint32_t capacity =
        locks.freed_capacity ? locks.freed_capacity * 2 : initial_lock_free_capacity;
    auto* grown =
        static_cast<mem_lock**>(core_heap_realloc(locks.freed, capacity * sizeof(mem_lock*)));
    if (!grown) error(static_memory_full);
    locks.freed = grown;
    locks.freed_capacity = capacity;
  }
  locks.freed[locks.freed_count++] = lock;
}

uint8_t* cmem_dynamic_malloc(uint32_t bytes) {
  if (bytes > dynamic_block_max_bytes) error(dynamic_block_too_large);
  uint32_t size = (bytes + 7) & ~7u;
  if (size == 0) size = 8;  // every block gets an address of its own
  if (!dynamic_blocks.records) {
    dynamic_blocks.records = static_cast<DynamicBlock*>(
        core_heap_malloc(dynamic_block_max_records * sizeof(DynamicBlock)));
    if (!dynamic_blocks.records) error(dynamic_block_table_full);
  }
  if (dynamic_blocks.count == dynamic_block_max_records) error(dynamic_block_table_full);

  // First fit: the lowest gap between existing blocks (or above the last one) that still lies
  // below the low-memory stack.
  uint32_t candidate = dynamic_area_start;
  uint32_t insert_at = 0;
  for (; insert_at < dynamic_blocks.count; ++insert_at) {
    const DynamicBlock& block = dynamic_blocks.records[insert_at];
    if (block.offset - candidate >= size) break;
    candidate = block.offset + block.size;
  }
  if (candidate + size > cmem_sp) error(low_memory_stack_full);

  std::memmove(&dynamic_blocks.records[insert_at + 1], &dynamic_blocks.records[insert_at],
               (dynamic_blocks.count - insert_at) * sizeof(DynamicBlock));
  dynamic_blocks.records[insert_at] = {candidate, size};
  ++dynamic_blocks.count;
  uint8_t* start = dblock + candidate;
  std::memset(start, 0, size);
  return start;
}

void cmem_dynamic_free(uint8_t* block) {
  if (!block) return;
  uint32_t lo = 0, hi = dynamic_blocks.count;
  auto offset = static_cast<uint32_t>(block - dblock);
  while (lo < hi) {
    uint32_t mid = (lo + hi) / 2;
    if (dynamic_blocks.records[mid].offset < offset)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == dynamic_blocks.count || dynamic_blocks.records[lo].offset != offset) {
    error(illegal_function_call);  // not a block of this area, or freed twice
    return;
  }
  std::memmove(&dynamic_blocks.records[lo], &dynamic_blocks.records[lo + 1],
               (dynamic_blocks.count - lo - 1) * sizeof(DynamicBlock));
  --dynamic_blocks.count;
}

procedure_frame procedure_enter() {
  procedure_frame frame{};
  frame.tmp_base = zqs_tmp_list_nexti;
  frame.static_pointer = mem_static_pointer;
  frame.cmem_stack = cmem_sp;
  new_mem_lock();
  mem_lock_tmp->type = 3;
  frame.activation = mem_lock_tmp;
  return frame;
}

void procedure_exit(const procedure_frame& frame) {
  if (frame.activation) free_mem_lock(frame.activation);
  mem_static_restore(frame.static_pointer);
  cmem_sp = frame.cmem_stack;
}
