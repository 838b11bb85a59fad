#include "runtime/host/lists.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "runtime/core/atomic_ref.h"
#include "runtime/core/error.h"

namespace {

using Slot = std::atomic<uint8_t*>;

constexpr size_t round_up(size_t value, size_t multiple) {
  return (value + multiple - 1) / multiple * multiple;
}

}  // namespace

struct list {
  int32_t record_size = 0;
  size_t index_word_offset = 0;  // the hidden index word after the record's own bytes
  size_t stride = 0;             // record plus index word, kept 8-byte aligned

  // Record blocks; only list_add touches them (under add_lock).
  std::vector<uint8_t*> blocks;
  int64_t newest_block_capacity = 0;
  int64_t newest_block_used = 0;

  // Index table: table[i] is the record of index i (1-based). Replaced by a larger copy when
  // full; every replaced table stays allocated in retired_tables until list_destroy, because a
  // reader without a lock may still hold it.
  std::atomic<Slot*> table{nullptr};
  int64_t table_capacity = 0;
  std::vector<Slot*> retired_tables;
  // Highest index ever given. Published with release after the table entry it covers.
  std::atomic<int64_t> highest{0};

  // Removed indices, the most recent on top. Touched under remove_lock only.
  std::vector<int64_t> free_indices;

  // Null for a list used by a single thread.
  std::mutex* add_lock = nullptr;     // taken by list_add
  std::mutex* remove_lock = nullptr;  // taken by list_remove, and by list_add while it reuses
};

namespace {

// The hidden index word of a record: the record's index while it is live, 0 once removed.
AtomicRef<uint32_t> index_word(const list* l, uint8_t* record) {
  return AtomicRef<uint32_t>(*reinterpret_cast<uint32_t*>(record + l->index_word_offset));
}

list* make_list(int32_t record_size, bool threadsafe) {
  auto* l = new (std::nothrow) list;
  if (!l) return nullptr;
  l->record_size = record_size < 0 ? 0 : record_size;
  l->index_word_offset = round_up(static_cast<size_t>(l->record_size), 4);
  l->stride = round_up(l->index_word_offset + 4, 8);
  if (threadsafe) {
    l->add_lock = new_mutex();
    l->remove_lock = new_mutex();
  }
  return l;
}

void report_block_failure(const list* l) {
  alert("list_add: failed to allocate new buffer, structure size:");
  alert(l->record_size);
}

// A fresh record from the newest block, or a new block twice as large plus one record.
uint8_t* take_new_record(list* l) {
  if (l->newest_block_used == l->newest_block_capacity) {
    int64_t capacity = l->newest_block_capacity * 2 + 1;
    auto* block = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(capacity), l->stride));
    if (!block) return nullptr;
    l->blocks.push_back(block);
    l->newest_block_capacity = capacity;
    l->newest_block_used = 0;
  }
  uint8_t* record = l->blocks.back() + static_cast<size_t>(l->newest_block_used) * l->stride;
  ++l->newest_block_used;
  return record;
}

// Makes room for index in the index table, replacing it by a copy of twice the size plus one.
bool reserve_index(list* l, int64_t index) {
  if (index <= l->table_capacity) return true;
  int64_t capacity = l->table_capacity * 2 + 1;
  auto* grown = new (std::nothrow) Slot[static_cast<size_t>(capacity) + 1]();
  if (!grown) return false;
  Slot* old = l->table.load(std::memory_order_relaxed);
  for (int64_t i = 1; i <= l->table_capacity; ++i)
    grown[i].store(old[i].load(std::memory_order_relaxed), std::memory_order_relaxed);
  if (old) l->retired_tables.push_back(old);
  l->table.store(grown, std::memory_order_release);
  l->table_capacity = capacity;
  return true;
}

int64_t reuse_removed_index(list* l) {
  lock_mutex(l->remove_lock);
  int64_t index = 0;
  if (!l->free_indices.empty()) {
    index = l->free_indices.back();
    l->free_indices.pop_back();
    uint8_t* record =
        l->table.load(std::memory_order_relaxed)[index].load(std::memory_order_relaxed);
    std::memset(record, 0, static_cast<size_t>(l->record_size));
    index_word(l, record).store(static_cast<uint32_t>(index), std::memory_order_release);
  }
  unlock_mutex(l->remove_lock);
  return index;
}

}  // namespace

list* list_new(int32_t record_size) { return make_list(record_size, false); }

list* list_new_threadsafe(int32_t record_size) { return make_list(record_size, true); }

int64_t list_add(list* l) {
  if (!l) return 0;
  lock_mutex(l->add_lock);
  int64_t index = reuse_removed_index(l);
  if (index == 0) {
    index = l->highest.load(std::memory_order_relaxed) + 1;
    uint8_t* record = take_new_record(l);
    if (!record || !reserve_index(l, index)) {
      // The record (if one was taken) stays unused in its block; the index is not given out.
      if (record) --l->newest_block_used;
      unlock_mutex(l->add_lock);
      report_block_failure(l);
      return 0;
    }
    index_word(l, record).store(static_cast<uint32_t>(index), std::memory_order_release);
    l->table.load(std::memory_order_relaxed)[index].store(record, std::memory_order_release);
    l->highest.store(index, std::memory_order_release);
  }
  unlock_mutex(l->add_lock);
  return index;
}

void* list_get(list* l, int64_t index) {
  if (!l || index < 1) return nullptr;
  if (index > l->highest.load(std::memory_order_acquire)) return nullptr;
  // The table loaded after the highest index is at least as new as the one holding that index.
  uint8_t* record = l->table.load(std::memory_order_acquire)[index].load(std::memory_order_acquire);
  if (!record) return nullptr;
  if (index_word(l, record).load(std::memory_order_acquire) != static_cast<uint32_t>(index))
    return nullptr;
  return record;
}

int64_t list_get_index(list* l, void* record) {
  if (!l || !record) return 0;
  return index_word(l, static_cast<uint8_t*>(record)).load(std::memory_order_acquire);
}

int32_t list_remove(list* l, int64_t index) {
  if (!l || index < 1) return 0;
  lock_mutex(l->remove_lock);
  int32_t removed = 0;
  if (index <= l->highest.load(std::memory_order_acquire)) {
    uint8_t* record =
        l->table.load(std::memory_order_acquire)[index].load(std::memory_order_acquire);
    if (record &&
        index_word(l, record).load(std::memory_order_relaxed) == static_cast<uint32_t>(index)) {
      index_word(l, record).store(0, std::memory_order_release);
      l->free_indices.push_back(index);
      removed = -1;
    }
  }
  unlock_mutex(l->remove_lock);
  return removed;
}

void list_destroy(list* l) {
  if (!l) return;
  for (uint8_t* block : l->blocks) std::free(block);
  for (Slot* table : l->retired_tables) delete[] table;
  delete[] l->table.load(std::memory_order_relaxed);
  free_mutex(l->add_lock);
  free_mutex(l->remove_lock);
  delete l;
}

std::mutex* new_mutex() { return new (std::nothrow) std::mutex(); }

void free_mutex(std::mutex* m) { delete m; }

void lock_mutex(std::mutex* m) {
  if (m) m->lock();
}

void unlock_mutex(std::mutex* m) {
  if (m) m->unlock();
}

// ---------------------------------------------------------------------------------------------
// The runtime's handle lists.

list* hardware_img_handles = nullptr;

void handle_lists_init() {
  list_destroy(hardware_img_handles);
  hardware_img_handles = list_new_threadsafe(72);
}
