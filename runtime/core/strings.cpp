// The runtime string type: descriptors, the string data areas and the temporary list.
//
// Two areas hold string bytes with the same rules: the string data area on the heap, which grows,
// and the low-memory string area inside cmem, which has a fixed size. In both, bytes are placed
// at the stack pointer in the order of the area's descriptor list, each new string followed by 32
// spare bytes so that it can grow a little in place. A released list entry holds all ones until
// the list is compacted; released bytes are reclaimed by lowering the stack pointer (when they are
// at the top) or by compaction (when the area is full).

#include "runtime/core/strings.h"

#include <cstdlib>
#include <cstring>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"

uint8_t* zqs_data = nullptr;
uint32_t zqs_data_size = 0;
uint32_t zqs_sp = 0;
zqs** zqs_list = nullptr;
uint32_t zqs_list_lasti = 0;
uint32_t zqs_list_nexti = 0;
zqs** zqs_tmp_list = nullptr;
uint32_t zqs_tmp_list_lasti = 0;
uint32_t zqs_tmp_list_nexti = 1;
zqs* nothingstring = nullptr;

namespace {

zqs* const released_entry = reinterpret_cast<zqs*>(~uintptr_t{0});

constexpr uint32_t spare_bytes = 32;
constexpr uint32_t initial_data_size = 1048576;
constexpr uint32_t initial_list_entries = 65536;
constexpr uint32_t initial_low_list_entries = 1024;
constexpr uint32_t descriptor_block_records = 65536;
constexpr uint32_t initial_free_descriptors = 65536;
// Lengths are 32-bit signed; keep room for the spare bytes and for adding two lengths.
constexpr uint64_t max_string_length = 0x7FFFFF00;

// memmove that accepts the null data pointer of an empty literal.
void move_bytes(uint8_t* destination, const uint8_t* source, int32_t length) {
  if (length > 0) std::memmove(destination, source, static_cast<size_t>(length));
}

// One string area: references to its globals, so that the heap area keeps the names the rest of
// the runtime reads (zqs_data, zqs_sp, ...), plus what differs between the two areas.
struct StringArea {
  uint8_t*& data;
  uint32_t& size;
  uint32_t& sp;
  zqs**& list;
  uint32_t& lasti;
  uint32_t& nexti;
  bool can_grow;
  int32_t list_growth_error;
  int32_t data_growth_error;
};

// The low-memory string area's own globals.
uint8_t* low_data = nullptr;
uint32_t low_size = 0;
uint32_t low_sp = 0;
zqs** low_list = nullptr;
uint32_t low_lasti = 0;
uint32_t low_nexti = 0;

StringArea heap_area{zqs_data, zqs_data_size,    zqs_sp,
                     zqs_list, zqs_list_lasti,   zqs_list_nexti,
                     true,     string_list_full, string_data_full};
StringArea low_area{low_data,
                    low_size,
                    low_sp,
                    low_list,
                    low_lasti,
                    low_nexti,
                    false,
                    low_memory_strings_full,
                    low_memory_string_data_full};

StringArea& area_of(const zqs* s) { return s->in_low_memory ? low_area : heap_area; }

// Descriptor pool: blocks of records handed out in order, and a stack of released records.
struct DescriptorBlock {
  DescriptorBlock* previous;
  zqs records[descriptor_block_records];
};

struct {
  DescriptorBlock* current = nullptr;
  uint32_t used = 0;            // zqs_malloc_next
  zqs** freed = nullptr;        // zqs_malloc_freed
  uint32_t freed_count = 0;     // zqs_malloc_freed_num
  uint32_t freed_capacity = 0;  // zqs_malloc_freed_size
} pool;

zqs* take_descriptor() {
  if (pool.freed_count > 0) {
    zqs* s = pool.freed[--pool.freed_count];
    std::memset(s, 0, sizeof *s);
    return s;
  }
  if (!pool.current || pool.used == descriptor_block_records) {
    auto* block = static_cast<DescriptorBlock*>(core_heap_calloc(1, sizeof(DescriptorBlock)));
    if (!block) error(string_descriptors_full);
    block->previous = pool.current;
    pool.current = block;
    pool.used = 0;
  }
  return &pool.current->records[pool.used++];
}

void return_descriptor(zqs* s) {
  if (pool.freed_count == pool.freed_capacity) {
    uint64_t capacity =
        pool.freed_capacity ? uint64_t{pool.freed_capacity} * 2 : initial_free_descriptors;
    if (capacity > UINT32_MAX / sizeof(zqs*)) error(string_descriptors_full);
    auto* grown = static_cast<zqs**>(core_heap_realloc(pool.freed, capacity * sizeof(zqs*)));
    if (!grown) error(string_descriptors_full);
    pool.freed = grown;
    pool.freed_capacity = static_cast<uint32_t>(capacity);
  }
  pool.freed[pool.freed_count++] = s;
}

// Writes a low-memory string's (length, offset) pair, which emulated-memory readers see.
void refresh_low_memory_slot(zqs* s) {
  if (!s->in_low_memory || !s->low_memory_slot) return;
  s->low_memory_slot[0] = static_cast<uint16_t>(s->length);
  s->low_memory_slot[1] = static_cast<uint16_t>(s->data - dblock);
}

// Moves every live string down towards the start of the area, leaving gaps of up to 32 bytes in
// place, then grows a heap area when `needed` more bytes would leave it over half full.
void compact_area(StringArea& area, uint64_t needed) {
  uint8_t* destination = area.data;
  for (uint32_t i = 0; i < area.nexti; ++i) {
    zqs* s = area.list[i];
    if (s == released_entry) continue;
    if (s->data > destination + spare_bytes) {
      move_bytes(destination, s->data, s->length);
      s->data = destination;
      refresh_low_memory_slot(s);
    }
    destination = s->data + s->length;
  }
  area.sp = static_cast<uint32_t>(destination - area.data);

  if (needed + 2 * uint64_t{area.sp} + spare_bytes < area.size) return;
  if (!area.can_grow) {
    if (area.sp + needed > area.size) error(area.data_growth_error);
    return;
  }
  uint64_t new_size = needed + 2 * uint64_t{area.size};
  if (new_size > UINT32_MAX) error(area.data_growth_error);
  auto* grown = static_cast<uint8_t*>(core_heap_realloc(area.data, static_cast<size_t>(new_size)));
  if (!grown) error(area.data_growth_error);
  if (grown != area.data) {
    for (uint32_t i = 0; i < area.nexti; ++i) {
      zqs* s = area.list[i];
      if (s != released_entry) s->data = grown + (s->data - area.data);
    }
  }
  area.data = grown;
  area.size = static_cast<uint32_t>(new_size);
}

// Drops released entries from a full descriptor list, then doubles it if it is still half full.
void compact_or_grow_list(StringArea& area) {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < area.nexti; ++i) {
    zqs* s = area.list[i];
    if (s == released_entry) continue;
    s->area_index = kept;
    area.list[kept++] = s;
  }
  area.nexti = kept;
  if (area.nexti < area.lasti / 2) return;
  uint64_t lasti = uint64_t{area.lasti} * 2;
  if ((lasti + 1) * sizeof(zqs*) > UINT32_MAX) error(area.list_growth_error);
  auto* grown = static_cast<zqs**>(core_heap_realloc(area.list, (lasti + 1) * sizeof(zqs*)));
  if (!grown) error(area.list_growth_error);
  area.list = grown;
  area.lasti = static_cast<uint32_t>(lasti);
}

// Gives s the next entry at the end of its area's descriptor list.
void add_to_area_list(StringArea& area, zqs* s) {
  if (area.nexti > area.lasti) compact_or_grow_list(area);
  s->area_index = area.nexti;
  area.list[area.nexti++] = s;
}

// Places `length` new bytes for s at the area's stack pointer and lists s.
void place_new_bytes(StringArea& area, zqs* s, uint32_t length, uint32_t spare) {
  if (uint64_t{area.sp} + length + spare > area.size) compact_area(area, uint64_t{length} + spare);
  s->length = static_cast<int32_t>(length);
  s->data = area.data + area.sp;
  area.sp += length + spare;
  add_to_area_list(area, s);
}

void add_to_temporary_list(zqs* s) {
  if (zqs_tmp_list_nexti > zqs_tmp_list_lasti) {
    uint64_t lasti = uint64_t{zqs_tmp_list_lasti} * 2;
    if ((lasti + 1) * sizeof(zqs*) > UINT32_MAX) error(temporary_string_list_full);
    auto* grown = static_cast<zqs**>(core_heap_realloc(zqs_tmp_list, (lasti + 1) * sizeof(zqs*)));
    if (!grown) error(temporary_string_list_full);
    std::memset(grown + zqs_tmp_list_lasti + 1, 0, (lasti - zqs_tmp_list_lasti) * sizeof(zqs*));
    zqs_tmp_list = grown;
    zqs_tmp_list_lasti = static_cast<uint32_t>(lasti);
  }
  s->temp_index = zqs_tmp_list_nexti;
  zqs_tmp_list[zqs_tmp_list_nexti++] = s;
  s->temporary = 1;
}

// Takes s off the temporary list. When `lower_past_all` is set, the list top drops past every
// released entry; otherwise only past s's own entry when it was the top.
void remove_from_temporary_list(zqs* s, bool lower_past_all) {
  if (!s->temp_index) return;
  uint32_t index = s->temp_index;
  if (index < zqs_tmp_list_nexti && zqs_tmp_list[index] == s) zqs_tmp_list[index] = released_entry;
  s->temp_index = 0;
  s->temporary = 0;
  if (lower_past_all) {
    while (zqs_tmp_list_nexti > 1 && zqs_tmp_list[zqs_tmp_list_nexti - 1] == released_entry)
      --zqs_tmp_list_nexti;
  } else if (index + 1 == zqs_tmp_list_nexti) {
    --zqs_tmp_list_nexti;
  }
}

// Releases s's entry in its area's list, if the entry is still s's. Returns true when it was.
bool release_area_entry(StringArea& area, zqs* s) {
  if (s->area_index >= area.nexti || area.list[s->area_index] != s) return false;
  area.list[s->area_index] = released_entry;
  return true;
}

// Lowers the list top past released entries and puts the stack pointer 32 bytes past the last
// live string (0 when none is left).
void lower_area_top(StringArea& area) {
  while (area.nexti > 0 && area.list[area.nexti - 1] == released_entry) --area.nexti;
  if (area.nexti == 0) {
    area.sp = 0;
    return;
  }
  const zqs* last = area.list[area.nexti - 1];
  uint64_t end = static_cast<uint64_t>(last->data - area.data) + last->length + spare_bytes;
  area.sp = end > area.size ? area.size : static_cast<uint32_t>(end);
}

bool owns_area_bytes(const zqs* s) { return !s->fixed_length && !s->read_only; }

void release_if_temporary(zqs* s) {
  if (s->temporary) zqs_free(s);
}

// The next live string after s in its area's list, or null.
const zqs* next_live_string(const StringArea& area, const zqs* s) {
  for (uint32_t i = s->area_index + 1; i < area.nexti; ++i)
    if (area.list[i] != released_entry) return area.list[i];
  return nullptr;
}

// Assignment of a longer src into dest's area bytes.
void assign_longer(zqs* dest, zqs* src) {
  StringArea& area = area_of(dest);
  const auto length = static_cast<uint32_t>(src->length);

  // dest is the newest live string (or only src, about to be released, follows it): grow in place
  // and cut the list back to end at dest.
  bool only_temporary_src_follows = true;
  for (uint32_t i = dest->area_index + 1; i < area.nexti; ++i) {
    zqs* entry = area.list[i];
    if (entry != released_entry && !(entry == src && src->temporary)) {
      only_temporary_src_follows = false;
      break;
    }
  }
  uint64_t dest_offset = static_cast<uint64_t>(dest->data - area.data);
  if (only_temporary_src_follows && dest_offset + length <= area.size) {
    if (src->in_low_memory == dest->in_low_memory && src->area_index > dest->area_index &&
        src->area_index < area.nexti && area.list[src->area_index] == src)
      area.list[src->area_index] = released_entry;  // its bytes are about to be overwritten
    area.nexti = dest->area_index + 1;
    std::memmove(dest->data, src->data, length);
    dest->length = src->length;
    area.sp = static_cast<uint32_t>(dest_offset + length);
    return;
  }

  // Enough room before the next string (its own bytes plus the spare ones): copy in place.
  const zqs* next = next_live_string(area, dest);
  if (next && next->data >= dest->data + length) {
    std::memmove(dest->data, src->data, length);
    dest->length = src->length;
    return;
  }

  // Move dest to the top of the area.
  release_area_entry(area, dest);
  if (uint64_t{area.sp} + length > area.size) compact_area(area, length);
  dest->data = area.data + area.sp;
  std::memcpy(dest->data, src->data, length);  // src lies below the old top: no overlap
  dest->length = src->length;
  area.sp += length;
  add_to_area_list(area, dest);
}

void free_area_storage() {
  std::free(zqs_data);
  std::free(zqs_list);
  std::free(zqs_tmp_list);
  std::free(low_list);
  while (pool.current) {
    DescriptorBlock* previous = pool.current->previous;
    std::free(pool.current);
    pool.current = previous;
  }
  std::free(pool.freed);
  pool = {};
}

}  // namespace

void strings_init() {
  free_area_storage();

  zqs_data_size = initial_data_size;
  zqs_data = static_cast<uint8_t*>(core_heap_malloc(zqs_data_size));
  zqs_sp = 0;
  zqs_list_lasti = initial_list_entries - 1;
  zqs_list = static_cast<zqs**>(core_heap_malloc(initial_list_entries * sizeof(zqs*)));
  zqs_list_nexti = 0;
  zqs_tmp_list_lasti = initial_list_entries - 1;
  zqs_tmp_list = static_cast<zqs**>(core_heap_calloc(initial_list_entries, sizeof(zqs*)));
  zqs_tmp_list_nexti = 1;
  if (!zqs_data) error(string_data_full);
  if (!zqs_list) error(string_list_full);
  if (!zqs_tmp_list) error(temporary_string_list_full);

  pool.freed_capacity = initial_free_descriptors;
  pool.freed = static_cast<zqs**>(core_heap_malloc(pool.freed_capacity * sizeof(zqs*)));
  if (!pool.freed) error(string_descriptors_full);

  low_data = dblock;
  low_size = low_string_area_size;
  low_sp = 0;
  low_lasti = initial_low_list_entries - 1;
  low_list = static_cast<zqs**>(core_heap_malloc(initial_low_list_entries * sizeof(zqs*)));
  low_nexti = 0;
  if (!low_list) error(low_memory_strings_full);

  nothingstring = zqs_new_low(0);
}

zqs* zqs_new(uint32_t length, uint8_t temporary) {
  if (length > max_string_length) error(string_data_full);
  zqs* s = take_descriptor();
  place_new_bytes(heap_area, s, length, spare_bytes);
  if (temporary) add_to_temporary_list(s);
  return s;
}

zqs* zqs_new_low(uint32_t length) {
  if (length > UINT16_MAX)
    error(low_memory_string_too_long);  // low-memory lengths are 16-bit words
  uint8_t* slot = cmem_dynamic_malloc(2 * sizeof(uint16_t));
  zqs* s = take_descriptor();
  s->in_low_memory = 1;
  s->low_memory_slot = reinterpret_cast<uint16_t*>(slot);
  s->low_memory_slot_offset = static_cast<uint16_t>(slot - dblock);
  place_new_bytes(low_area, s, length, spare_bytes);
  refresh_low_memory_slot(s);
  return s;
}

zqs* zqs_new_txt(const char* text) {
  return zqs_new_txt_len(text, text ? static_cast<uint32_t>(std::strlen(text)) : 0);
}

zqs* zqs_new_txt_len(const char* text, uint32_t length) {
  zqs* s = take_descriptor();
  s->data = reinterpret_cast<uint8_t*>(const_cast<char*>(text));
  s->length = static_cast<int32_t>(length);
  s->read_only = 1;
  add_to_temporary_list(s);
  return s;
}

zqs* zqs_new_fixed(uint8_t* bytes, uint32_t length, uint8_t temporary) {
  zqs* s = take_descriptor();
  s->data = bytes;
  s->length = static_cast<int32_t>(length);
  s->fixed_length = 1;
  if (temporary) add_to_temporary_list(s);
  return s;
}

void zqs_maketmp(zqs* s) {
  if (!s->temp_index) add_to_temporary_list(s);
}

zqs* zqs_set(zqs* dest, zqs* src) {
  if (dest == src) return dest;
  if (dest->read_only) {
    // A literal's bytes belong to the program image and are never written.
    error(illegal_function_call);
    release_if_temporary(src);
    return dest;
  }

  if (dest->fixed_length) {
    int32_t copied = src->length < dest->length ? src->length : dest->length;
    move_bytes(dest->data, src->data, copied);
    std::memset(dest->data + copied, ' ', static_cast<size_t>(dest->length - copied));
  } else if (src->temporary && owns_area_bytes(src) && src->in_low_memory == dest->in_low_memory) {
    // Take over the temporary's bytes and list entry; nothing is copied.
    StringArea& area = area_of(dest);
    release_area_entry(area, dest);
    dest->data = src->data;
    dest->length = src->length;
    dest->area_index = src->area_index;
    if (src->area_index < area.nexti && area.list[src->area_index] == src)
      area.list[src->area_index] = dest;
    remove_from_temporary_list(src, false);
    if (src->low_memory_slot) cmem_dynamic_free(reinterpret_cast<uint8_t*>(src->low_memory_slot));
    return_descriptor(src);
    refresh_low_memory_slot(dest);
    return dest;
  } else if (src->length > dest->length) {
    assign_longer(dest, src);
  } else {
    move_bytes(dest->data, src->data, src->length);
    dest->length = src->length;
  }

  release_if_temporary(src);
  refresh_low_memory_slot(dest);
  return dest;
}

zqs* zqs_add(zqs* a, zqs* b) {
  if (b->length == 0) return a;
  if (a->length == 0) return b;
  uint64_t total = uint64_t(a->length) + uint64_t(b->length);
  if (total > max_string_length) {
    error(out_of_string_space);
    return zqs_new(0, 1);
  }
  zqs* sum = zqs_new(static_cast<uint32_t>(total), 1);
  // Read the operands' bytes only now: making the result may have compacted the area.
  move_bytes(sum->data, a->data, a->length);
  move_bytes(sum->data + a->length, b->data, b->length);
  release_if_temporary(a);
  if (b != a) release_if_temporary(b);
  return sum;
}

void zqs_free(zqs* s) {
  // File record buffers are not part of this runtime, so there is no record to unbind from.
  s->field_binding = nullptr;
  remove_from_temporary_list(s, true);
  if (owns_area_bytes(s)) {
    StringArea& area = area_of(s);
    if (release_area_entry(area, s)) lower_area_top(area);
    if (s->in_low_memory && s->low_memory_slot)
      cmem_dynamic_free(reinterpret_cast<uint8_t*>(s->low_memory_slot));
  }
  return_descriptor(s);
}

uint32_t zqs_cleanup(uint32_t base, uint32_t value) {
  if (base < 1) base = 1;
  while (zqs_tmp_list_nexti > base) {
    zqs* s = zqs_tmp_list[zqs_tmp_list_nexti - 1];
    if (s == released_entry || s == nullptr)
      --zqs_tmp_list_nexti;
    else
      zqs_free(s);
  }
  return value;
}

zqs* func_chr(int32_t code) {
  if (code < 0 || code > 255) {
    error(illegal_function_call);
    return zqs_new(0, 1);
  }
  zqs* s = zqs_new(1, 1);
  s->data[0] = static_cast<uint8_t>(code);
  return s;
}

int32_t zqs_equal(zqs* a, zqs* b) {
  if (a->length != b->length) return 0;
  if (a->length == 0) return -1;
  return std::memcmp(a->data, b->data, static_cast<size_t>(a->length)) == 0 ? -1 : 0;
}

int32_t zqs_notequal(zqs* a, zqs* b) { return zqs_equal(a, b) ? 0 : -1; }

int32_t zqs_len(zqs* s) { return s->length; }

uint32_t zqs_low_sp() { return low_sp; }
uint32_t zqs_low_list_nexti() { return low_nexti; }
