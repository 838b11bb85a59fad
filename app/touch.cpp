#include "app/touch.h"

#include <atomic>

#include "app/key_wait.h"
#include "runtime/host/host_seam.h"

namespace {

// The published context: step in the low byte, the chosen file in the next. Written by the
// program thread at its prompts; read, and taken back (compare-exchange to none), by the host's
// thread that translates a tap.
std::atomic<uint32_t> published_context{0};

constexpr uint32_t pack(tap_step step, int16_t file) {
  return static_cast<uint32_t>(step) | (static_cast<uint32_t>(file & 0xFF) << 8);
}
constexpr tap_context unpack(uint32_t word) {
  return {static_cast<tap_step>(word & 0xFF), static_cast<int16_t>((word >> 8) & 0xFF)};
}

// Where the game draws, in pixels of the screen page; every display class puts the board at the
// same origin. The playing area: 8 x 8 squares at a pitch of 17 from (98, 42), the frame one
// pixel outside it (taps on the frame count for the square beside it). Square (c, r) counts c
// from the left (file A..H) and r from the top (rank 9 - r).
constexpr int32_t board_left = 98, board_top = 42, square_pitch = 17;
// The column of pieces: cell n (1 king .. 5 rook) is drawn at x 34..51, y 41 + 30 (n - 1) ..
// 58 + 30 (n - 1). A finger is wider than a cell: each cell's tap area reaches 6 pixels beyond it
// on every side, half the gap between two cells.
constexpr int32_t piece_cell_left = 34, piece_cell_right = 51, piece_cell_top = 41,
                  piece_cell_size = 18, piece_pitch = 30, piece_margin = 6;

// The square (file, row from the top) under (x, y), each 1..8, or false outside the frame.
bool square_at(int32_t x, int32_t y, int32_t& file, int32_t& row) {
  const int32_t frame_left = board_left - 1, frame_right = board_left + 8 * square_pitch;
  const int32_t frame_top = board_top - 1, frame_bottom = board_top + 8 * square_pitch;
  if (x < frame_left || x > frame_right || y < frame_top || y > frame_bottom) return false;
  auto index = [](int32_t offset) {
    const int32_t i = offset < 0 ? 1 : offset / square_pitch + 1;
    return i > 8 ? 8 : i;
  };
  file = index(x - board_left);
  row = index(y - board_top);
  return true;
}

// The piece 1..5 whose cell's tap area holds (x, y), or 0.
int32_t piece_at(int32_t x, int32_t y) {
  if (x < piece_cell_left - piece_margin || x > piece_cell_right + piece_margin) return 0;
  const int32_t offset = y - (piece_cell_top - piece_margin);
  if (offset < 0) return 0;
  const int32_t n = offset / piece_pitch + 1;
  if (n > 5 || offset % piece_pitch >= piece_cell_size + 2 * piece_margin) return 0;
  return n;
}

}  // namespace

void publish_tap_context(tap_step step, int16_t file) { published_context.store(pack(step, file)); }

void leave_tap_context() { published_context.store(pack(tap_step::none, 0)); }

tap_context current_tap_context() { return unpack(published_context.load()); }

int32_t translate_tap(int32_t x, int32_t y, int32_t* keys, int32_t capacity) {
  uint32_t word = published_context.load();
  const tap_context context = unpack(word);
  int32_t typed[2];
  int32_t count = 0;
  int32_t file = 0, row = 0;
  switch (context.step) {
    case tap_step::none:
      break;
    case tap_step::piece:
      if (const int32_t n = piece_at(x, y); n != 0) typed[count++] = '0' + n;
      break;
    case tap_step::file:
      if (square_at(x, y, file, row)) {
        typed[count++] = 'A' + file - 1;
        typed[count++] = '0' + 9 - row;
      }
      break;
    case tap_step::rank:
      if (square_at(x, y, file, row) && file == context.file) typed[count++] = '0' + 9 - row;
      break;
    case tap_step::any_key:
      typed[count++] = ' ';  // every wait for any key takes it, and no prompt acts on it
      break;
  }
  if (count == 0 || count > capacity) return 0;
  // The keys belong to this context only: when the program has moved on meanwhile, nothing.
  if (!published_context.compare_exchange_strong(word, pack(tap_step::none, 0))) return 0;
  for (int32_t i = 0; i < count; ++i) keys[i] = typed[i];
  return count;
}

void register_tap_translator() { set_tap_translator(translate_tap); }

void pause_at_prompt(bool key_was_read, tap_step step, int16_t file) {
  if (!key_was_read) publish_tap_context(step, file);
  pause_while_no_key(key_was_read);
}
