// Handle lists: tables of fixed-size records addressed by a 1-based index.
//
// A record never moves: records live in blocks that are allocated once and kept until the list
// is destroyed (each new block holds twice as many records as the one before, plus one), so a
// record's address stays valid for the life of its list. Every record carries its own index in a
// hidden 32-bit word after its bytes (list_get_index). list_add hands out the most recently
// removed index first and zero-fills the record it returns.
//
// The thread-safe variant lets one or more threads add and remove while others call list_get
// without a lock: list_add and list_remove serialise on the list's two mutexes, the index table
// and its records are published with release stores, and an index table that growth replaces is
// kept until the list is destroyed, so a reader still walking an older table reads valid memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

struct list;

// An empty list of records of record_size bytes.
list* list_new(int32_t record_size);
// The same list, safe for adds and removes from several threads and lock-free reads.
list* list_new_threadsafe(int32_t record_size);
// Index of a new zero-filled record: the most recently removed index, else the next unused one.
// Returns 0 (after an alert) when no memory is left for a new block.
int64_t list_add(list* l);
// The record of index, or null when the index is below 1, beyond every index given so far, or
// removed.
void* list_get(list* l, int64_t index);
// The index a record of this list carries (0 once the record has been removed).
int64_t list_get_index(list* l, void* record);
// Removes a live record: -1 when it did, 0 when the index named no live record.
int32_t list_remove(list* l, int64_t index);
// Frees the list, its records and every index table it ever had.
void list_destroy(list* l);

// Mutexes for the runtime's own tables. lock_mutex and unlock_mutex do nothing for null.
std::mutex* new_mutex();
void free_mutex(std::mutex* m);
void lock_mutex(std::mutex* m);
void unlock_mutex(std::mutex* m);

// The runtime's one handle list in use, created by runtime_init: the hardware images (records of
// 72 bytes, thread-safe: the window thread adds and removes, others may look). The lists of the
// subsystems this runtime does not have (mouse message queues, streams, connections, special
// handles, hardware graphics commands) are not made: nothing would ever add to them.
extern list* hardware_img_handles;

// Creates the list above (destroying one from an earlier call).
void handle_lists_init();
