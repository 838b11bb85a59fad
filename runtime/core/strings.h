// The runtime string type and its operations.
//
// A zqs is a descriptor pointing at bytes in one large bump-allocated data area (or, for the few
// strings that must lie in emulated memory, the low-memory string area). Temporary strings are
// listed on the temporary list and released by zqs_cleanup() at the end of the statement that
// made them, unless zqs_set()/zqs_add() consumed them first. Program thread only.
#pragma once

#include <cstdint>

struct zqs {
  uint8_t* data;                    // first byte; not terminated
  int32_t length;                   // byte count
  uint8_t in_low_memory;            // bytes live in the low-memory string area
  uint16_t* low_memory_slot;        // (length, offset) pair refreshed on assignment, or null
  uint16_t low_memory_slot_offset;  // offset belonging to that pair
  uint32_t area_index;              // index in the descriptor list of its data area
  uint8_t temporary;                // listed as temporary
  uint32_t temp_index;              // index in the temporary list; 0 = not listed
  uint8_t fixed_length;             // assignments never change length
  uint8_t read_only;                // bytes belong to someone else; never moved or released
  void* field_binding;              // bound to a file record buffer (not used here)
};

// String data area and descriptor lists (program thread only).
extern uint8_t* zqs_data;
extern uint32_t zqs_data_size;
extern uint32_t zqs_sp;
extern zqs** zqs_list;
extern uint32_t zqs_list_lasti;
extern uint32_t zqs_list_nexti;
extern zqs** zqs_tmp_list;
extern uint32_t zqs_tmp_list_lasti;
extern uint32_t zqs_tmp_list_nexti;
// Permanent empty string, made at start-up in the low-memory area.
extern zqs* nothingstring;

// Creates the data areas, descriptor pools and nothingstring, giving back those of an earlier
// start (called by runtime_init after memory_init, which places the low-memory area).
void strings_init();

// A string of length uninitialised bytes in the data area; listed as temporary when asked.
zqs* zqs_new(uint32_t length, uint8_t temporary);
// A temporary, read-only string over the text itself (nothing is copied; null gives "").
zqs* zqs_new_txt(const char* text);
zqs* zqs_new_txt_len(const char* text, uint32_t length);
// Lists an existing string as temporary (once).
void zqs_maketmp(zqs* s);
// dest = src. A temporary src is consumed: its bytes are taken over when they can be, released
// otherwise. A fixed-length dest keeps its length (padded with spaces, or truncated).
zqs* zqs_set(zqs* dest, zqs* src);
// a + b as a new temporary (or a or b itself when the other is empty); consumes temporaries.
zqs* zqs_add(zqs* a, zqs* b);
// Releases a string: its temporary entry, its bytes (unless fixed-length or read-only) and its
// descriptor.
void zqs_free(zqs* s);
// Releases every temporary listed at an index >= base; returns value unchanged, so that a
// condition can be evaluated and cleaned up in one expression.
uint32_t zqs_cleanup(uint32_t base, uint32_t value);
// CHR$: a one-byte temporary for 0..255; otherwise "" and error 5.
zqs* func_chr(int32_t code);
// -1 when equal in length and bytes, else 0 (and the reverse); operands are not released.
int32_t zqs_equal(zqs* a, zqs* b);
int32_t zqs_notequal(zqs* a, zqs* b);
int32_t zqs_len(zqs* s);

// A new permanent string in the low-memory area (inside cmem) holding length bytes. Its
// (length, offset from dblock) pair lies in a 4-byte low-memory block at low_memory_slot.
zqs* zqs_new_low(uint32_t length);
// A fixed-length string over bytes kept elsewhere (a record field, a variable in scratch memory):
// assignments copy into them and pad with spaces; releasing it leaves the bytes alone.
zqs* zqs_new_fixed(uint8_t* bytes, uint32_t length, uint8_t temporary);

// Stack pointer and list top of the low-memory string area (offsets from dblock).
uint32_t zqs_low_sp();
uint32_t zqs_low_list_nexti();
