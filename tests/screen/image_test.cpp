// The image table, image handles and queries, and the default palettes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "runtime/core/error.h"
#include "runtime/core/memory.h"
#include "runtime/host/host_state.h"
#include "runtime/runtime.h"
#include "runtime/screen/display_lock.h"
#include "runtime/screen/draw.h"
#include "runtime/screen/font.h"
#include "runtime/screen/image.h"
#include "tests/screen/image_fixture.h"

namespace {

// ---- Start-up and the image table ----

TEST_F(ImageTest, StartupBuildsEightTextPagesInEmulatedMemory) {
  EXPECT_EQ(img[0].valid, 0);
  EXPECT_EQ(img[1].valid, 0);
  EXPECT_EQ(width8050switch, 1);
  ASSERT_GE(pages, 8u);
  const img_struct& p0 = img[page[0]];
  EXPECT_EQ(p0.mode, 0);
  EXPECT_EQ(p0.width, 80);
  EXPECT_EQ(p0.height, 25);
  EXPECT_EQ(p0.font, 16u);
  EXPECT_EQ(p0.color, 7u);
  EXPECT_EQ(p0.bottom_row, 24);
  EXPECT_EQ(display_page.load(), &p0);
  EXPECT_EQ(write_page, &p0);
  EXPECT_EQ(read_page, &p0);
  for (uint32_t n = 0; n < 8; ++n) {
    ASSERT_NE(page[n], 0u);
    EXPECT_EQ(img[page[n]].pixels, cmem + text_window + n * 4096) << "page " << n;
    EXPECT_EQ(img[page[n]].palette, p0.palette) << "pages share one palette";
    EXPECT_TRUE(img[page[n]].flags & IMG_SCREEN);
  }
  // The whole text window is blank cells (character 32, attribute 7).
  for (size_t i = 0; i < 65536; i += 2) {
    ASSERT_EQ(cmem[text_window + i], 32) << i;
    ASSERT_EQ(cmem[text_window + i + 1], 7) << i;
  }
}

TEST_F(ImageTest, FirstImageGetsIndex2AndFreedSlotsAreReusedLastInFirstOut) {
  // Indices 0 and 1 are never handed out: the first image of a fresh table, the screen's page 0,
  // is index 2 (handle -2).
  EXPECT_EQ(page[0], 2u);
  EXPECT_EQ(page[1], 3u);
  // A mode change frees pages 1..7 and then page 0, so the new page 0 is index 2 again.
  screen(13);
  EXPECT_EQ(page[0], 2u);
  const int32_t a = func__newimage(4, 4, 13, 1);
  const int32_t b = func__newimage(4, 4, 13, 1);
  EXPECT_EQ(a, -9) << "page 7's slot, freed just before page 0's";
  EXPECT_EQ(b, -8);
  sub__freeimage(b, 1);
  sub__freeimage(a, 1);
  EXPECT_EQ(func__newimage(4, 4, 13, 1), a) << "last freed, first reused";
  EXPECT_EQ(func__newimage(4, 4, 13, 1), b);
  EXPECT_EQ(func__newimage(4, 4, 13, 1), -7) << "then the rest of the freed pages";
  EXPECT_EQ(new_error.load(), 0u);
}

TEST_F(ImageTest, TableGrowsAndKeepsPagePointersValid) {
  std::vector<int32_t> handles;
  for (int i = 0; i < 5000; ++i) handles.push_back(func__newimage(1, 1, 13, 1));
  EXPECT_GE(nimg, 8192u);
  EXPECT_EQ(write_page, &img[write_page_index]);
  EXPECT_EQ(display_page.load(), &img[display_page_index]);
  EXPECT_EQ(handles.back(), -static_cast<int32_t>(nextimg - 1));
  for (int32_t h : handles) sub__freeimage(h, 1);
  EXPECT_EQ(new_error.load(), 0u);
  EXPECT_GE(nfimg, 8192u) << "the free stack grew as well";
}

// ---- Image handles ----

TEST_F(ImageTest, NewImageChecksItsArguments) {
  EXPECT_EQ(func__newimage(0, 10, 13, 1), 0);
  EXPECT_EQ(take_error(), 5u);
  EXPECT_EQ(func__newimage(10, -1, 13, 1), 0);
  EXPECT_EQ(take_error(), 5u);
  for (int32_t mode : {3, 6, 14, 31, 33, 255}) {
    func__newimage(10, 10, mode, 1);
    EXPECT_EQ(take_error(), 5u) << mode;
  }
  for (int32_t mode : {0, 1, 2, 7, 8, 9, 10, 11, 12, 13, 256, 32})
    EXPECT_LT(func__newimage(8, 8, mode, 1), -1) << mode;
  // Sizes the record cannot hold fail like an allocation failure: -1 and no error.
  EXPECT_EQ(func__newimage(70000, 1, 13, 1), -1);
  EXPECT_EQ(new_error.load(), 0u);
}

TEST_F(ImageTest, NewImageWithoutModeTakesTheWritePagesSettings) {
  screen(13);
  write_page->palette[5] = 0xFF123456;
  write_page->color = 9;
  write_page->background_color = 2;
  write_page->print_mode = 1;
  const int32_t h = func__newimage(50, 40, 0, 0);
  const img_struct& im = img[index_of(h)];
  EXPECT_EQ(im.mode, 13);
  EXPECT_EQ(im.palette[5], 0xFF123456u);
  EXPECT_NE(im.palette, write_page->palette);
  EXPECT_EQ(im.color, 9u);
  EXPECT_EQ(im.background_color, 2u);
  EXPECT_EQ(im.print_mode, 1);
  EXPECT_EQ(im.font, 8u);
  EXPECT_EQ(im.bottom_row, 40 / 8 - 1);
}

TEST_F(ImageTest, CopyImageIsIndependent) {
  const int32_t h = func__newimage(20, 10, 13, 1);
  img[index_of(h)].pixels[3] = 77;
  img[index_of(h)].palette[1] = 0xFF0000FF;
  const int32_t c = func__copyimage(h, 0, 0);
  ASSERT_LT(c, -1);
  img_struct& copy = img[index_of(c)];
  EXPECT_EQ(copy.width, 20);
  EXPECT_EQ(copy.pixels[3], 77);
  EXPECT_EQ(copy.palette[1], 0xFF0000FFu);
  EXPECT_NE(copy.pixels, img[index_of(h)].pixels);
  EXPECT_NE(copy.palette, img[index_of(h)].palette);
  EXPECT_EQ(copy.flags, IMG_FREEMEM | IMG_FREEPALETTE);
  // A copy of a screen page is free-standing and can be freed.
  const int32_t s = func__copyimage(0, 0, 0);
  EXPECT_FALSE(img[index_of(s)].flags & IMG_SCREEN);
  sub__freeimage(s, 1);
  EXPECT_EQ(new_error.load(), 0u);
}

TEST_F(ImageTest, CopyImageErrors) {
  const int32_t h = func__newimage(4, 4, 13, 1);
  EXPECT_EQ(func__copyimage(h, 12, 1), -1);
  EXPECT_EQ(take_error(), 5u);
  func__copyimage(-999, 0, 0);
  EXPECT_EQ(take_error(), 258u);
}

TEST_F(ImageTest, FreeImageRules) {
  const int32_t h = func__newimage(4, 4, 13, 1);
  sub__freeimage(3, 1);
  EXPECT_EQ(take_error(), 5u) << "page numbers are not images";
  sub__freeimage(-999, 1);
  EXPECT_EQ(take_error(), 258u);
  sub__freeimage(-static_cast<int32_t>(page[0]), 1);
  EXPECT_EQ(take_error(), 5u);
  sub__freeimage(0, 0);
  EXPECT_EQ(take_error(), 5u) << "the write page is a screen page";
  sub__dest(h);
  sub__source(h);
  sub__freeimage(0, 0);  // frees the write page, which is h
  EXPECT_EQ(new_error.load(), 0u);
  EXPECT_EQ(img[index_of(h)].valid, 0);
  EXPECT_EQ(write_page, display_page.load());
  EXPECT_EQ(read_page, display_page.load());
  sub__freeimage(h, 1);
  EXPECT_EQ(take_error(), 258u) << "freed twice";
}

TEST_F(ImageTest, FreeAllImagesKeepsScreenPages) {
  const int32_t a = func__newimage(4, 4, 13, 1);
  const int32_t b = func__newimage(4, 4, 32, 1);
  sub__dest(b);
  freeallimages();
  EXPECT_EQ(img[index_of(a)].valid, 0);
  EXPECT_EQ(img[index_of(b)].valid, 0);
  EXPECT_EQ(write_page, display_page.load());
  for (uint32_t n = 0; n < 8; ++n) EXPECT_EQ(img[page[n]].valid, 1);
}

TEST_F(ImageTest, SourceDestAndTheirQueries) {
  const int32_t h = func__newimage(30, 20, 32, 1);
  sub__dest(h);
  EXPECT_EQ(func__dest(), h);
  EXPECT_EQ(func__source(), -static_cast<int32_t>(page[0]));
  sub__source(h);
  EXPECT_EQ(func__source(), h);
  EXPECT_EQ(func__display(), -static_cast<int32_t>(page[0]));
  sub__dest(5);  // a page number: made on demand
  EXPECT_EQ(write_page, &img[page[5]]);
  sub__dest(-777);
  EXPECT_EQ(take_error(), 258u);
  EXPECT_EQ(write_page, &img[page[5]]);
}

TEST_F(ImageTest, ImageQueries) {
  const int32_t rgb = func__newimage(30, 20, 32, 1);
  const int32_t indexed = func__newimage(7, 9, 13, 1);
  EXPECT_EQ(func__width(rgb, 1), 30);
  EXPECT_EQ(func__height(indexed, 1), 9);
  EXPECT_EQ(func__width(0, 0), 80) << "the write page, in columns";
  EXPECT_EQ(func__pixelsize(0, 0), 0);
  EXPECT_EQ(func__pixelsize(rgb, 1), 4);
  EXPECT_EQ(func__pixelsize(indexed, 1), 1);
  EXPECT_EQ(func__defaultcolor(rgb, 1), 0xFFFFFFFFu);
  EXPECT_EQ(func__backgroundcolor(rgb, 1), 0xFF000000u);
  EXPECT_EQ(func__defaultcolor(indexed, 1), 15u);
  EXPECT_EQ(func__clearcolor(0, 0), -1);
  EXPECT_EQ(func__clearcolor(rgb, 1), 0);
  EXPECT_EQ(func__clearcolor(indexed, 1), -1);
  img[index_of(indexed)].transparent_color = 4;
  EXPECT_EQ(func__clearcolor(indexed, 1), 4);
  EXPECT_EQ(func__blend(rgb, 1), -1);
  img[index_of(rgb)].alpha_disabled = 1;
  EXPECT_EQ(func__blend(rgb, 1), 0);
  EXPECT_EQ(func__blend(indexed, 1), 0);
  func__width(-999, 1);
  EXPECT_EQ(take_error(), 258u);
}

TEST_F(ImageTest, NothingHappensWhileAnErrorIsPending) {
  new_error.store(5);
  const uint32_t before = page[0];
  screen(13);
  width(40, 25, 3);
  EXPECT_EQ(func__newimage(10, 10, 13, 1), 0);
  sub__dest(3);
  EXPECT_EQ(page[0], before);
  EXPECT_EQ(write_page->mode, 0);
  EXPECT_EQ(write_page->width, 80);
  EXPECT_EQ(write_page, &img[page[0]]);
}

// ---- Default palettes ----

// Palettes are built at start-up; each test may run alone in its own process.
class DefaultPalettes : public ImageTest {};

TEST_F(DefaultPalettes, ClassicColoursAndGreyRamp) {
  const uint32_t classic[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA,
                                0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55, 0x55FFFF,
                                0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(palette_256[i], opaque | classic[i]) << i;
  EXPECT_EQ(palette_256[16], opaque | 0x000000);
  EXPECT_EQ(palette_256[23], opaque | 0x616161);
  EXPECT_EQ(palette_256[31], opaque | 0xFFFFFF);
  for (int i = 248; i < 256; ++i) EXPECT_EQ(palette_256[i], opaque) << i;
  for (int i = 0; i < 256; ++i) EXPECT_EQ(palette_256[i] >> 24, 0xFFu) << i;
}

TEST_F(DefaultPalettes, HueCirclesWalkFromBlueThroughRedAndGreenBack) {
  // The first circle with its levels 00 41 7D BE FF, at the six turning points and one step on.
  EXPECT_EQ(palette_256[32], opaque | 0x0000FF);
  EXPECT_EQ(palette_256[33], opaque | 0x4100FF);
  EXPECT_EQ(palette_256[36], opaque | 0xFF00FF);
  EXPECT_EQ(palette_256[40], opaque | 0xFF0000);
  EXPECT_EQ(palette_256[44], opaque | 0xFFFF00);
  EXPECT_EQ(palette_256[48], opaque | 0x00FF00);
  EXPECT_EQ(palette_256[52], opaque | 0x00FFFF);
  EXPECT_EQ(palette_256[53], opaque | 0x00BEFF);
  EXPECT_EQ(palette_256[55], opaque | 0x0041FF);
  // Later circles start at 32 + 24 n with (L, L, H).
  EXPECT_EQ(palette_256[56], opaque | 0x7D7DFF);
  EXPECT_EQ(palette_256[104], opaque | 0x000071);
  EXPECT_EQ(palette_256[224], opaque | 0x2D2D41);
  EXPECT_EQ(palette_256[247], opaque | 0x2D3141);
}

TEST_F(DefaultPalettes, EgaAndMode10Tables) {
  EXPECT_EQ(palette_64[0], opaque | 0x000000);
  EXPECT_EQ(palette_64[1], opaque | 0x0000AA);
  EXPECT_EQ(palette_64[7], opaque | 0xAAAAAA);
  EXPECT_EQ(palette_64[56], opaque | 0x555555);
  EXPECT_EQ(palette_64[63], opaque | 0xFFFFFF);
  EXPECT_EQ(palette_64[20], opaque | 0xAA5500);
  const uint32_t grey = opaque | 0x808080, white = opaque | 0xFFFFFF, black = opaque;
  const uint32_t phase0[9] = {black, black, black, grey, grey, grey, white, white, white};
  const uint32_t phase1[9] = {black, grey, white, black, grey, white, black, grey, white};
  for (int a = 0; a < 9; ++a) {
    EXPECT_EQ(pal_mode10[0][a], phase0[a]) << a;
    EXPECT_EQ(pal_mode10[1][a], phase1[a]) << a;
  }
}

}  // namespace
