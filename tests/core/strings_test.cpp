#include "runtime/core/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_xmessage.h"

// Process-wide count of malloc, calloc and realloc calls, by interposing them in this test
// executable (glibc only; the sanitizers bring their own allocator, so there the runtime's own
// counter has to do). operator new reaches malloc too, so it is counted as well.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CORE_TESTS_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CORE_TESTS_SANITIZED 1
#endif

#if defined(__GLIBC__) && !defined(CORE_TESTS_SANITIZED)
#define CORE_TESTS_COUNT_MALLOC 1
static std::atomic<uint64_t> process_heap_calls{0};
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* malloc(size_t bytes) {
  process_heap_calls.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(bytes);
}
void* calloc(size_t count, size_t bytes) {
  process_heap_calls.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, bytes);
}
void* realloc(void* block, size_t bytes) {
  process_heap_calls.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(block, bytes);
}
}
#endif

namespace {

std::string text_of(const zqs* s) {
  return s->length
             ? std::string(reinterpret_cast<const char*>(s->data), static_cast<size_t>(s->length))
             : std::string();
}

zqs* permanent(const std::string& text) {
  zqs* s = zqs_new(0, 0);
  zqs_set(s, zqs_new_txt_len(text.data(), static_cast<uint32_t>(text.size())));
  return s;
}

uint32_t offset_of(const zqs* s) { return static_cast<uint32_t>(s->data - zqs_data); }

zqs* const released = reinterpret_cast<zqs*>(~uintptr_t{0});

// Every live entry of the heap area's list knows its index, and their bytes lie in list order
// without overlapping, below zqs_sp.
void expect_heap_area_consistent() {
  const uint8_t* previous_end = zqs_data;
  for (uint32_t i = 0; i < zqs_list_nexti; ++i) {
    zqs* s = zqs_list[i];
    if (s == released) continue;
    ASSERT_EQ(s->area_index, i);
    ASSERT_GE(s->data, previous_end) << "entry " << i;
    previous_end = s->data + s->length;
  }
  ASSERT_LE(previous_end, zqs_data + zqs_sp);
  ASSERT_LE(zqs_sp, zqs_data_size);
}

class StringsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    new_error = 0;
    zqevent = 0;
    memory_init();
    strings_init();
  }
  void TearDown() override {
    new_error = 0;
    zqevent = 0;
  }
};

TEST_F(StringsTest, ChrMakesOneByteTemporaries) {
  uint32_t base = zqs_tmp_list_nexti;
  zqs* a = func_chr(65);
  EXPECT_EQ(text_of(a), "A");
  EXPECT_TRUE(a->temporary);
  EXPECT_EQ(text_of(func_chr(0)), std::string(1, '\0'));
  EXPECT_EQ(text_of(func_chr(255)), "\xff");
  EXPECT_FALSE(error_pending());
  EXPECT_EQ(zqs_tmp_list_nexti, base + 3);
}

TEST_F(StringsTest, ChrOutsideTheByteRangeIsEmptyAndIllegal) {
  for (int32_t code : {256, -1}) {
    new_error = 0;
    zqs* s = func_chr(code);
    EXPECT_EQ(s->length, 0) << code;
    EXPECT_TRUE(s->temporary);
    EXPECT_EQ(new_error.load(), 5u) << code;
  }
}

TEST_F(StringsTest, ComparisonsAndLengthLeaveTheirOperands) {
  uint32_t base = zqs_tmp_list_nexti;
  zqs* empty1 = zqs_new_txt("");
  zqs* empty2 = zqs_new_txt(nullptr);
  zqs* lower = zqs_new_txt("a");
  zqs* upper = func_chr(65);
  zqs* ab = zqs_new_txt("ab");
  EXPECT_EQ(zqs_equal(empty1, empty2), -1);
  EXPECT_EQ(zqs_notequal(empty1, empty2), 0);
  EXPECT_EQ(zqs_equal(lower, upper), 0);
  EXPECT_EQ(zqs_notequal(lower, upper), -1);
  EXPECT_EQ(zqs_equal(ab, lower), 0);
  EXPECT_EQ(zqs_notequal(ab, lower), -1);
  EXPECT_EQ(zqs_equal(ab, zqs_new_txt("ab")), -1);
  EXPECT_EQ(zqs_len(ab), 2);
  EXPECT_EQ(zqs_len(empty2), 0);
  EXPECT_EQ(zqs_tmp_list_nexti, base + 6);
  EXPECT_EQ(zqs_cleanup(base, static_cast<uint32_t>(zqs_equal(lower, zqs_new_txt("a")))),
            static_cast<uint32_t>(-1));
  EXPECT_EQ(zqs_tmp_list_nexti, base);
}

TEST_F(StringsTest, CleanupReleasesEverythingFromTheBaseUpAndReturnsTheValue) {
  zqs* outer = func_chr(1);
  uint32_t base = zqs_tmp_list_nexti;
  for (int i = 0; i < 50; ++i) func_chr(i);
  zqs_new_txt("literal");
  EXPECT_EQ(zqs_cleanup(base, 7), 7u);
  EXPECT_EQ(zqs_tmp_list_nexti, base);
  EXPECT_EQ(zqs_tmp_list[outer->temp_index], outer);
  // The released strings' bytes are gone too: the area ends just after outer's spare bytes.
  EXPECT_EQ(zqs_sp, offset_of(outer) + 1 + 32);
  zqs_cleanup(1, 0);
  EXPECT_EQ(zqs_tmp_list_nexti, 1u);
  EXPECT_EQ(zqs_sp, 0u);
  EXPECT_EQ(zqs_list_nexti, 0u);
}

TEST_F(StringsTest, NewStringsAreBumpAllocatedWithSpareBytes) {
  zqs* a = zqs_new(10, 0);
  zqs* b = zqs_new(0, 0);
  zqs* c = zqs_new(5, 0);
  EXPECT_EQ(offset_of(a), 0u);
  EXPECT_EQ(offset_of(b), 42u);
  EXPECT_EQ(offset_of(c), 74u);
  EXPECT_EQ(zqs_sp, 74u + 5 + 32);
  EXPECT_EQ(a->area_index, 0u);
  EXPECT_EQ(c->area_index, 2u);
  EXPECT_FALSE(a->temporary);
  EXPECT_EQ(a->temp_index, 0u);
}

TEST_F(StringsTest, ReleasingTheNewestStringLowersTheStackPointer) {
  zqs* a = zqs_new(10, 0);
  zqs* b = zqs_new(7, 0);
  zqs* c = zqs_new(20, 0);
  zqs_free(c);
  EXPECT_EQ(zqs_sp, offset_of(b) + 7 + 32);
  // A released string in the middle keeps the top where it is until the top goes too.
  zqs_free(a);
  EXPECT_EQ(zqs_sp, offset_of(b) + 7 + 32);
  zqs_free(b);
  EXPECT_EQ(zqs_sp, 0u);
  EXPECT_EQ(zqs_list_nexti, 0u);
}

TEST_F(StringsTest, AssigningATemporaryTakesItsBytesWithoutCopying) {
  zqs* variable = permanent("old");
  uint32_t base = zqs_tmp_list_nexti;
  zqs* temporary = zqs_new(4, 1);
  std::memcpy(temporary->data, "key!", 4);
  uint8_t* bytes = temporary->data;
  uint32_t index = temporary->area_index;
  zqs_set(variable, temporary);
  EXPECT_EQ(variable->data, bytes);
  EXPECT_EQ(text_of(variable), "key!");
  EXPECT_EQ(variable->area_index, index);
  EXPECT_EQ(zqs_list[index], variable);
  EXPECT_EQ(zqs_tmp_list_nexti, base);
  EXPECT_FALSE(variable->temporary);
  // The old bytes' entry is released; the pool hands the temporary's descriptor out again.
  EXPECT_EQ(zqs_list[0], released);
  EXPECT_EQ(zqs_new(0, 0), temporary);
}

TEST_F(StringsTest, AssigningPermanentsAndLiteralsCopies) {
  zqs* a = permanent("first value");
  zqs* b = permanent("xy");
  zqs_set(b, a);
  EXPECT_EQ(text_of(b), "first value");
  EXPECT_EQ(text_of(a), "first value");
  EXPECT_NE(a->data, b->data);
  const char* literal = "lit";
  uint32_t base = zqs_tmp_list_nexti;
  zqs* l = zqs_new_txt(literal);
  EXPECT_EQ(l->data, reinterpret_cast<const uint8_t*>(literal));
  EXPECT_TRUE(l->read_only);
  zqs_set(a, l);
  EXPECT_EQ(text_of(a), "lit");
  EXPECT_NE(a->data, reinterpret_cast<const uint8_t*>(literal));
  EXPECT_EQ(zqs_tmp_list_nexti, base);
}

TEST_F(StringsTest, LongerValueGrowsTheNewestStringInPlace) {
  zqs* a = permanent("a");
  zqs* b = permanent("b");
  uint8_t* before = b->data;
  std::string long_text(100, 'q');
  zqs_set(b, zqs_new_txt(long_text.c_str()));
  EXPECT_EQ(b->data, before);
  EXPECT_EQ(text_of(b), long_text);
  EXPECT_EQ(zqs_sp, offset_of(b) + 100);
  // Released strings after b do not stop it growing in place; the list is cut back to b.
  zqs_free(zqs_new(10, 0));
  zqs* later = zqs_new(10, 0);
  zqs* newest = zqs_new(10, 0);
  zqs_free(later);
  zqs_free(newest);
  zqs_set(b, zqs_new_txt((long_text + "!").c_str()));
  EXPECT_EQ(b->data, before);
  EXPECT_EQ(text_of(b), long_text + "!");
  EXPECT_EQ(zqs_list_nexti, b->area_index + 1);
  EXPECT_EQ(text_of(a), "a");
  expect_heap_area_consistent();
}

TEST_F(StringsTest, LongerValueAfterAnotherLiveStringMovesTheVariable) {
  zqs* b = permanent("b");
  zqs* other = zqs_new(150, 1);
  std::memset(other->data, 'r', 150);
  zqs_set(b, zqs_new_txt("longer"));
  EXPECT_GT(b->area_index, other->area_index);
  EXPECT_EQ(text_of(b), "longer");
  zqs_set(b, other);
  EXPECT_EQ(text_of(b), std::string(150, 'r'));
  expect_heap_area_consistent();
}

// Two strings made with their spare bytes: a at offset 0, b at offset 36.
struct TwoStrings {
  zqs* a = zqs_new(4, 0);
  zqs* b = zqs_new(4, 0);
  TwoStrings() {
    std::memcpy(a->data, "abcd", 4);
    std::memcpy(b->data, "efgh", 4);
  }
};

TEST_F(StringsTest, LongerValueUsesTheSpareBytesBeforeTheNextString) {
  TwoStrings two;
  uint8_t* before = two.a->data;
  std::string text(36, 'y');  // exactly the room before b
  zqs_set(two.a, zqs_new_txt(text.c_str()));
  EXPECT_EQ(two.a->data, before);
  EXPECT_EQ(text_of(two.a), text);
  EXPECT_EQ(text_of(two.b), "efgh");
  expect_heap_area_consistent();
}

TEST_F(StringsTest, LongerValueWithoutRoomMovesTheStringToTheTop) {
  TwoStrings two;
  std::string text(37, 'z');  // one byte more than the room before b
  uint32_t top = zqs_sp;
  zqs_set(two.a, zqs_new_txt(text.c_str()));
  EXPECT_EQ(offset_of(two.a), top);
  EXPECT_EQ(zqs_sp, top + 37);  // a moved string gets no spare bytes
  EXPECT_GT(two.a->area_index, two.b->area_index);
  EXPECT_EQ(text_of(two.a), text);
  EXPECT_EQ(text_of(two.b), "efgh");
  expect_heap_area_consistent();
}

TEST_F(StringsTest, FixedLengthStringsPadAndTruncate) {
  uint8_t bytes[5] = {'#', '#', '#', '#', '#'};
  zqs* fixed = zqs_new_fixed(bytes, 5, 0);
  zqs_set(fixed, zqs_new_txt("ab"));
  EXPECT_EQ(text_of(fixed), "ab   ");
  zqs_set(fixed, zqs_new_txt("abcdefg"));
  EXPECT_EQ(text_of(fixed), "abcde");
  EXPECT_EQ(fixed->length, 5);
  zqs_set(fixed, func_chr(90));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 5), "Z    ");
  uint32_t live = zqs_list_nexti;
  zqs_free(fixed);
  EXPECT_EQ(zqs_list_nexti, live);
  EXPECT_EQ(bytes[0], 'Z');
}

TEST_F(StringsTest, AssigningIntoALiteralIsRefused) {
  const char* literal = "constant";
  zqs* l = zqs_new_txt(literal);
  zqs_set(l, zqs_new_txt("other"));
  EXPECT_EQ(new_error.load(), 5u);
  EXPECT_STREQ(literal, "constant");
}

TEST_F(StringsTest, ConcatenationReleasesTemporaryOperands) {
  zqs* left = permanent("left ");
  uint32_t base = zqs_tmp_list_nexti;
  zqs* right = zqs_new_txt("right");
  zqs* sum = zqs_add(left, right);
  EXPECT_EQ(text_of(sum), "left right");
  EXPECT_TRUE(sum->temporary);
  EXPECT_EQ(zqs_tmp_list_nexti, sum->temp_index + 1);
  EXPECT_EQ(zqs_tmp_list[right->temp_index == 0 ? base : right->temp_index], released);
  EXPECT_EQ(text_of(left), "left ");
  zqs* sum2 = zqs_add(sum, sum);
  EXPECT_EQ(text_of(sum2), "left rightleft right");
  zqs_cleanup(base, 0);
  EXPECT_EQ(zqs_tmp_list_nexti, base);
  // Empty operands give the other operand itself.
  zqs* empty = zqs_new_txt("");
  EXPECT_EQ(zqs_add(left, empty), left);
  EXPECT_EQ(zqs_add(empty, left), left);
}

TEST_F(StringsTest, MakeTemporaryListsAPermanentOnce) {
  zqs* s = permanent("x");
  uint32_t base = zqs_tmp_list_nexti;
  zqs_maketmp(s);
  zqs_maketmp(s);
  EXPECT_EQ(zqs_tmp_list_nexti, base + 1);
  uint32_t live = zqs_list_nexti;
  zqs_cleanup(base, 0);
  EXPECT_EQ(zqs_list_nexti, live - 1);
}

TEST_F(StringsTest, ListsGrowPastTheirInitialCapacity) {
  uint32_t initial_list = zqs_list_lasti;
  uint32_t initial_tmp = zqs_tmp_list_lasti;
  std::vector<zqs*> strings;
  for (int i = 0; i < 70000; ++i) {
    zqs* s = zqs_new(1, 0);
    s->data[0] = static_cast<uint8_t>(i);
    strings.push_back(s);
  }
  EXPECT_GT(zqs_list_lasti, initial_list);
  uint32_t base = zqs_tmp_list_nexti;
  for (int i = 0; i < 70000; ++i) func_chr(i & 255);
  EXPECT_GT(zqs_tmp_list_lasti, initial_tmp);
  zqs_cleanup(base, 0);
  for (int i = 0; i < 70000; ++i) ASSERT_EQ(strings[i]->data[0], static_cast<uint8_t>(i));
  expect_heap_area_consistent();
}

TEST_F(StringsTest, FullListDropsReleasedEntriesBeforeGrowing) {
  std::vector<zqs*> kept;
  uint32_t highest_top = 0;
  bool compacted = false;
  for (uint32_t i = 0; i < 40000; ++i) {
    zqs* dropped = zqs_new(2, 0);
    zqs* s = zqs_new(4, 0);
    std::memcpy(s->data, &i, 4);
    kept.push_back(s);
    zqs_free(dropped);  // leaves a released entry below s
    compacted |= zqs_list_nexti < highest_top;
    highest_top = std::max(highest_top, zqs_list_nexti);
  }
  EXPECT_TRUE(compacted);
  // Half the entries were live when the list filled up, so it has doubled as well.
  EXPECT_EQ(zqs_list_lasti, 2 * 65535u);
  for (uint32_t i = 0; i < kept.size(); ++i) {
    uint32_t value;
    std::memcpy(&value, kept[i]->data, 4);
    ASSERT_EQ(value, i);
  }
  expect_heap_area_consistent();
}

TEST_F(StringsTest, DataAreaGrowsForABigString) {
  zqs* small = permanent("keep me");
  uint32_t size = zqs_data_size;
  zqs* big = zqs_new(3 * size, 0);
  std::memset(big->data, 'b', 3 * size);
  EXPECT_GE(zqs_data_size, 3 * size + 2 * size);
  EXPECT_EQ(text_of(small), "keep me");
  EXPECT_EQ(big->data[3 * size - 1], 'b');
  expect_heap_area_consistent();
}

// A random mix of statements on string variables, checked against std::string after every one.
// The sizes churn through the data area many times over, so compaction, area growth and list
// compaction all happen while strings are live.
TEST_F(StringsTest, RandomWorkloadKeepsEveryLiveStringIntact) {
  std::mt19937 random(20240607);
  constexpr int variables = 300;
  std::vector<zqs*> vars(variables);
  std::vector<std::string> model(variables);
  for (int i = 0; i < variables; ++i) vars[i] = zqs_new(0, 0);
  // Lengths from half the most to the most, by plain arithmetic on the generator, not a
  // distribution (whose algorithm each standard library chooses): the same workload wherever
  // the test is built.
  auto random_text = [&](uint32_t max_length) {
    std::string text(max_length / 2 + random() % (max_length / 2 + 1), ' ');
    for (char& c : text) c = static_cast<char>(random());
    return text;
  };
  uint32_t start_size = zqs_data_size;
  std::vector<std::string> literals;
  for (int i = 0; i < 64; ++i) literals.push_back(random_text(i < 8 ? 20000 : 700));

  bool area_compacted = false;
  for (int step = 0; step < 40000; ++step) {
    uint32_t base = zqs_tmp_list_nexti;
    uint32_t sp_before = zqs_sp;
    int target = static_cast<int>(random() % variables);
    int other = static_cast<int>(random() % variables);
    switch (random() % 7) {
      case 0: {  // v = literal
        const std::string& l = literals[random() % literals.size()];
        zqs_set(vars[target], zqs_new_txt_len(l.data(), static_cast<uint32_t>(l.size())));
        model[target] = l;
        break;
      }
      case 1: {  // v = v + CHR$(c)
        int code = static_cast<int>(random() % 256);
        zqs_set(vars[target], zqs_add(vars[target], func_chr(code)));
        model[target] += static_cast<char>(code);
        break;
      }
      case 2: {  // v = w + literal + v
        const std::string& l = literals[random() % 8 + 8];
        zqs* lit = zqs_new_txt_len(l.data(), static_cast<uint32_t>(l.size()));
        zqs_set(vars[target], zqs_add(zqs_add(vars[other], lit), vars[target]));
        model[target] = model[other] + l + model[target];
        break;
      }
      case 3:  // v = w
        zqs_set(vars[target], vars[other]);
        model[target] = model[other];
        break;
      case 4:  // the variable goes out of scope and a new one takes its place
        zqs_free(vars[target]);
        vars[target] = zqs_new(0, 0);
        model[target].clear();
        break;
      case 5: {  // comparisons that make temporaries, as in a condition
        int32_t equal = static_cast<int32_t>(zqs_cleanup(
            base,
            static_cast<uint32_t>(zqs_equal(vars[target], zqs_add(vars[other], func_chr(1))))));
        ASSERT_EQ(equal == -1, model[target] == model[other] + '\x01');
        break;
      }
      default:  // v = "" (shrinks in place)
        zqs_set(vars[target], zqs_new_txt(""));
        model[target].clear();
        break;
    }
    zqs_cleanup(base, 0);
    ASSERT_EQ(zqs_tmp_list_nexti, base);
    ASSERT_EQ(text_of(vars[target]), model[target]) << "step " << step;
    // One statement releases a few strings at most; a big drop means a compaction ran.
    area_compacted |= zqs_sp + 200000 < sp_before;
    if (step % 1000 == 0) {
      for (int i = 0; i < variables; ++i)
        ASSERT_EQ(text_of(vars[i]), model[i]) << "step " << step << " var " << i;
      expect_heap_area_consistent();
    }
  }
  for (int i = 0; i < variables; ++i) ASSERT_EQ(text_of(vars[i]), model[i]);
  expect_heap_area_consistent();
  EXPECT_GT(zqs_data_size, start_size) << "the workload should have grown the area";
  EXPECT_TRUE(area_compacted);
  EXPECT_FALSE(error_pending());
}

TEST_F(StringsTest, NothingStringIsAnEmptyPermanentInLowMemory) {
  ASSERT_NE(nothingstring, nullptr);
  EXPECT_EQ(nothingstring->length, 0);
  EXPECT_TRUE(nothingstring->in_low_memory);
  EXPECT_FALSE(nothingstring->temporary);
  EXPECT_GE(nothingstring->data, dblock);
  EXPECT_LT(nothingstring->data, dblock + low_string_area_size);
}

TEST_F(StringsTest, LowMemoryStringsKeepTheirLengthAndOffsetPairCurrent) {
  zqs* s = zqs_new_low(3);
  ASSERT_NE(s->low_memory_slot, nullptr);
  EXPECT_GE(reinterpret_cast<uint8_t*>(s->low_memory_slot), dblock);
  EXPECT_LT(reinterpret_cast<uint8_t*>(s->low_memory_slot), dblock + 65536);
  EXPECT_EQ(s->low_memory_slot[0], 3);
  EXPECT_EQ(s->low_memory_slot[1], s->data - dblock);
  zqs* blocker = zqs_new_low(0);
  std::string text(200, 'L');
  zqs_set(s, zqs_new_txt(text.c_str()));
  EXPECT_EQ(text_of(s), text);
  EXPECT_EQ(s->low_memory_slot[0], 200);
  EXPECT_EQ(s->low_memory_slot[1], s->data - dblock);
  EXPECT_LT(s->data + 200, dblock + low_string_area_size);
  zqs_free(blocker);
  zqs_free(s);
}

TEST_F(StringsTest, LowMemoryAreaCompactsInsteadOfGrowing) {
  std::vector<zqs*> keep;
  std::string text(900, 'k');
  for (int round = 0; round < 200; ++round) {
    zqs* s = zqs_new_low(0);
    zqs_set(s, zqs_new_txt(text.c_str()));
    if (round % 20 == 0)
      keep.push_back(s);
    else
      zqs_free(s);
    text[0] = static_cast<char>('a' + round % 26);
  }
  EXPECT_LE(zqs_low_sp(), low_string_area_size);
  for (zqs* s : keep) {
    EXPECT_EQ(s->length, 900);
    EXPECT_EQ(s->low_memory_slot[1], s->data - dblock);
    EXPECT_LT(s->data + s->length, dblock + low_string_area_size);
  }
}

TEST_F(StringsTest, FullLowMemoryAreaIsFatal) {
  FakeXmessage xmessage;
  ChildResult result = run_in_child([] {
    std::vector<zqs*> strings;
    for (int i = 0; i < 100; ++i) strings.push_back(zqs_new_low(1000));
    return 99;
  });
  EXPECT_TRUE(result.exited_with(1)) << result.describe();
  ASSERT_EQ(xmessage.calls().size(), 1u);
  EXPECT_EQ(xmessage.calls()[0][2], "Critical Error #13");
}

// The statement pattern of a key-polling loop: make temporaries, compare, clean up. Once the pools
// are warm it must take nothing from the heap.
TEST_F(StringsTest, TemporaryCycleTakesNothingFromTheHeapOnceWarm) {
  zqs* key = zqs_new(0, 0);
  auto statement = [&](int i) {
    uint32_t base = zqs_tmp_list_nexti;
    zqs_set(key, zqs_add(func_chr(i & 255), zqs_new_txt("x")));
    if (zqs_cleanup(base, static_cast<uint32_t>(zqs_equal(key, zqs_new_txt("Ax"))))) {
      zqs_set(key, zqs_new_txt(""));
    }
    zqs_cleanup(base, 0);
  };
  for (int i = 0; i < 1000; ++i) statement(i);
  uint64_t before = core_heap_call_count();
#ifdef CORE_TESTS_COUNT_MALLOC
  uint64_t process_before = process_heap_calls.load();
  // The counter itself must see heap use, or the check below proves nothing.
  int* volatile probe = new int(1);
  delete probe;
  EXPECT_EQ(process_heap_calls.load(), process_before + 1);
  process_before = process_heap_calls.load();
#endif
  for (int i = 0; i < 100000; ++i) statement(i);
  EXPECT_EQ(core_heap_call_count(), before);
#ifdef CORE_TESTS_COUNT_MALLOC
  EXPECT_EQ(process_heap_calls.load(), process_before);
#endif
}

}  // namespace
