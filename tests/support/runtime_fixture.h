// The test fixtures on the headless runtime (headless_runtime.h): every test that needs the
// runtime derives from RuntimeTest, or from FreshScreenTest for a fresh screen per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/core/error.h"
#include "runtime/screen/image.h"
#include "tests/support/headless_runtime.h"

// A test on the headless runtime, with no error pending before and after each test.
class RuntimeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensure_headless_runtime(); }
  void SetUp() override { clear_pending_error(); }
  void TearDown() override { clear_pending_error(); }

  static void clear_error() { clear_pending_error(); }
  static uint32_t take_error() { return take_pending_error(); }
  static uint32_t pending_error() { return new_error.load(); }
};

// A RuntimeTest that starts every test on a fresh image table and 80 x 25 text screen.
class FreshScreenTest : public RuntimeTest {
 protected:
  void SetUp() override {
    RuntimeTest::SetUp();
    screen_init();
    ASSERT_EQ(new_error.load(), 0u);
  }
};
