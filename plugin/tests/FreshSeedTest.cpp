// The random source as the plug-in finds it right after loading: seed 0, so the first seeds are
// 1, 134775814, 3698175007, ... and the first draws from 100 are 0, 3, 86, 20. This executable
// holds only this test, so nothing draws before it.

#include <gtest/gtest.h>

#include "FastFX.h"

using namespace kivo::morefilters;

TEST(FastFXRandom, SequenceFromAFreshlyLoadedPlugin) {
    ASSERT_EQ(RandomSeed(), 0u);
    // MonoNoise with range 100 on one pixel: the first draw is 0, so every channel drops by 50.
    TFastBMP pixel(1, 1);
    uint8_t* p = pixel.Pixel(0, 0);
    p[0] = 60, p[1] = 30, p[2] = 255;
    MonoNoise(pixel, 100);
    EXPECT_EQ(p[0], 10);
    EXPECT_EQ(p[1], 0);  // clamped
    EXPECT_EQ(p[2], 205);
    EXPECT_EQ(RandomSeed(), 1u);
    // ColorNoise continues the same sequence: draws 3, 86, 20 for blue, green, red.
    p[0] = 100, p[1] = 100, p[2] = 100;
    ColorNoise(pixel, 100);
    EXPECT_EQ(p[0], 100 + 3 - 50);
    EXPECT_EQ(p[1], 100 + 86 - 50);
    EXPECT_EQ(p[2], 100 + 20 - 50);
    EXPECT_EQ(RandomSeed(), 870078620u);
    EXPECT_EQ(Random(256), 69u);
}
