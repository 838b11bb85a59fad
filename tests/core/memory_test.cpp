#include "runtime/core/memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "runtime/core/error.h"
#include "runtime/core/strings.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_xmessage.h"

namespace {

class MemoryTest : public ::testing::Test {
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

TEST_F(MemoryTest, InitClearsConventionalMemoryAndPlacesTheLowArea) {
  cmem[0x417] = 0x20;
  cmem[cmem_size - 1] = 7;
  memory_init();
  EXPECT_EQ(cmem[0x417], 0);
  EXPECT_EQ(cmem[cmem_size - 1], 0);
  EXPECT_EQ(dblock, cmem + 1280);
  EXPECT_EQ(cmem_sp, 65536u);
  EXPECT_EQ(mem_static_size, 1048576u);
  EXPECT_EQ(mem_static_pointer, mem_static);
  EXPECT_EQ(mem_static_limit, mem_static + mem_static_size);
}

TEST_F(MemoryTest, StaticAllocationsRoundUpToEightBytes) {
  uint8_t* start = mem_static_pointer;
  EXPECT_EQ(mem_static_malloc(2), start);
  EXPECT_EQ(mem_static_pointer, start + 8);
  EXPECT_EQ(mem_static_malloc(8), start + 8);
  EXPECT_EQ(mem_static_pointer, start + 16);
  mem_static_malloc(9);
  EXPECT_EQ(mem_static_pointer, start + 32);
  mem_static_malloc(0);
  EXPECT_EQ(mem_static_pointer, start + 32);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(start) % 8, 0u);
}

TEST_F(MemoryTest, FullStaticBlockIsFollowedByABiggerOneAndOldBytesStay) {
  uint32_t first_size = mem_static_size;
  auto* early = reinterpret_cast<uint32_t*>(mem_static_malloc(4));
  *early = 0xC0FFEE;
  mem_static_malloc(first_size - 64);
  // This one no longer fits: it comes from the start of a new block.
  uint8_t* next = mem_static_malloc(100);
  EXPECT_EQ(next, mem_static);
  EXPECT_EQ(mem_static_size, 104 + 2 * first_size);
  EXPECT_EQ(mem_static_pointer, mem_static + 104);
  EXPECT_EQ(*early, 0xC0FFEEu);
  std::memset(next, 0xAB, 100);
  EXPECT_EQ(*early, 0xC0FFEEu);
}

TEST_F(MemoryTest, AllocationThatReachesTheLimitExactlyStartsANewBlock) {
  uint8_t* old_block = mem_static;
  mem_static_malloc(mem_static_size);
  EXPECT_NE(mem_static, old_block);
}

TEST_F(MemoryTest, ProcedureEntryAndExitRestoreThePointers) {
  uint8_t* pointer = mem_static_pointer;
  uint32_t stack = cmem_sp;
  procedure_frame frame = procedure_enter();
  EXPECT_EQ(frame.activation->type, 3);
  EXPECT_NE(frame.activation->id, 0u);
  auto* local = reinterpret_cast<int16_t*>(mem_static_malloc(2));
  *local = 0;
  mem_static_malloc(300);
  cmem_sp -= 64;
  {
    procedure_frame inner = procedure_enter();
    mem_static_malloc(12);
    procedure_exit(inner);
  }
  EXPECT_EQ(mem_static_pointer, pointer + 8 + 304);
  procedure_exit(frame);
  EXPECT_EQ(mem_static_pointer, pointer);
  EXPECT_EQ(cmem_sp, stack);
  EXPECT_EQ(frame.activation->id, 0u);
}

TEST_F(MemoryTest, ProcedureThatOpenedANewBlockRestartsIt) {
  procedure_frame frame = procedure_enter();
  mem_static_malloc(mem_static_size);
  uint8_t* new_block = mem_static;
  procedure_exit(frame);
  EXPECT_EQ(mem_static, new_block);
  EXPECT_EQ(mem_static_pointer, new_block);
}

TEST_F(MemoryTest, RestoreAcceptsTheLimitItself) {
  mem_static_restore(mem_static_limit);
  EXPECT_EQ(mem_static_pointer, mem_static_limit);
  mem_static_restore(mem_static_limit + 1);
  EXPECT_EQ(mem_static_pointer, mem_static);
}

TEST_F(MemoryTest, LockIdsStartAtTwoToTheThirtiethAndRecordsAreReused) {
  new_mem_lock();
  mem_lock* first = mem_lock_tmp;
  EXPECT_EQ(first->id, 1073741824u);
  new_mem_lock();
  mem_lock* second = mem_lock_tmp;
  EXPECT_EQ(second->id, 1073741825u);
  EXPECT_NE(first, second);
  free_mem_lock(first);
  EXPECT_EQ(first->id, 0u);
  new_mem_lock();
  EXPECT_EQ(mem_lock_tmp, first);
  EXPECT_EQ(first->id, 1073741826u);
}

TEST_F(MemoryTest, LocksComeFromBlocksAndTheFreeStackGrows) {
  std::vector<mem_lock*> locks;
  for (int i = 0; i < 25000; ++i) {
    new_mem_lock();
    mem_lock_tmp->type = 4;
    locks.push_back(mem_lock_tmp);
  }
  for (size_t i = 0; i < locks.size(); ++i) ASSERT_EQ(locks[i]->id, 1073741824u + i);
  for (mem_lock* lock : locks) free_mem_lock(lock);
  for (mem_lock* lock : locks) ASSERT_EQ(lock->id, 0u);
  new_mem_lock();
  EXPECT_EQ(mem_lock_tmp, locks.back());
}

TEST_F(MemoryTest, HeapBlockLockFreesItsBlock) {
  new_mem_lock();
  mem_lock_tmp->type = 1;
  // Under the leak checker of the sanitizer build, a block that is not freed fails the run.
  mem_lock_tmp->offset = reinterpret_cast<uintptr_t>(std::malloc(64));
  free_mem_lock(mem_lock_tmp);
  EXPECT_EQ(mem_lock_tmp->offset, 0u);
}

TEST_F(MemoryTest, DynamicBlocksLieBetweenTheLowStringsAndTheStack) {
  uint8_t* a = cmem_dynamic_malloc(10);
  uint8_t* b = cmem_dynamic_malloc(100);
  EXPECT_GE(a, dblock + low_string_area_size);
  EXPECT_GE(b, a + 16);
  EXPECT_LE(b + 100, dblock + cmem_sp);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
  std::memset(a, 0xFF, 10);
  cmem_dynamic_free(a);
  // The freed gap is found first and comes back zeroed.
  uint8_t* c = cmem_dynamic_malloc(8);
  EXPECT_EQ(c, a);
  EXPECT_EQ(c[0], 0);
  // A request bigger than the gap goes after b.
  uint8_t* d = cmem_dynamic_malloc(20);
  EXPECT_GE(d, b + 100);
  EXPECT_FALSE(error_pending());
  cmem_dynamic_free(d + 1);
  EXPECT_EQ(new_error.load(), 5u);
}

TEST_F(MemoryTest, DynamicBlocksUseTheWholeGapUpToTheStack) {
  uint32_t room = cmem_sp - low_string_area_size;
  // nothingstring's length/offset pair already takes 8 bytes at the bottom.
  uint8_t* block = cmem_dynamic_malloc(room - 8);
  EXPECT_EQ(block + room - 8, dblock + cmem_sp);
}

TEST_F(MemoryTest, LowMemoryFailuresAreFatal) {
  struct Case {
    uint32_t bytes;
    const char* title;
  };
  for (Case c : {Case{65537, "Critical Error #5"}, Case{60000, "Critical Error #6"}}) {
    FakeXmessage xmessage;
    uint32_t bytes = c.bytes;
    ChildResult result = run_in_child([bytes] {
      cmem_dynamic_malloc(bytes);
      return 99;
    });
    EXPECT_TRUE(result.exited_with(1)) << c.bytes << ": " << result.describe();
    ASSERT_EQ(xmessage.calls().size(), 1u);
    EXPECT_EQ(xmessage.calls()[0][2], c.title);
    EXPECT_EQ(xmessage.calls()[0][5], "Out of memory" + std::string(25, ' '));
  }
}

TEST_F(MemoryTest, LowStackBelowTheBlocksLeavesNoRoom) {
  FakeXmessage xmessage;
  ChildResult result = run_in_child([] {
    cmem_sp = low_string_area_size + 64;
    cmem_dynamic_malloc(32);
    cmem_dynamic_malloc(32);
    return 99;
  });
  EXPECT_TRUE(result.exited_with(1)) << result.describe();
  ASSERT_EQ(xmessage.calls().size(), 1u);
  EXPECT_EQ(xmessage.calls()[0][2], "Critical Error #6");
}

}  // namespace
