#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/FilterRecipes.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"

// Bitmap rows come from new[]; counting the live bytes of the larger array blocks shows whether a
// recipe gave back its temporary bitmap. Small blocks (palettes, strings) are left out.
namespace {
constexpr size_t CountedBlock = 4096;
constexpr size_t Header = alignof(std::max_align_t);
std::atomic<long long> LiveArrayBytes{0};
}  // namespace

void* operator new[](size_t size) {
    void* p = std::malloc(size + Header);
    if (!p) throw std::bad_alloc();
    std::memcpy(p, &size, sizeof size);
    if (size >= CountedBlock) LiveArrayBytes += (long long)size;
    return static_cast<char*>(p) + Header;
}
void operator delete[](void* p) noexcept {
    if (!p) return;
    char* block = static_cast<char*>(p) - Header;
    size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    if (size >= CountedBlock) LiveArrayBytes -= (long long)size;
    std::free(block);
}
void operator delete[](void* p, size_t) noexcept { operator delete[](p); }

namespace {

using kivo::test::CommandText;
using kivo::test::MakePhotoFixture;
using kivo::test::MakePhotoFixtureAtDepth;
using kivo::test::RunCommand;
using kivo::test::ShellQuote;

bool SamePixels(const BitmapHandle& a, const BitmapHandle& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.BitsPerPixel != b.BitsPerPixel)
        return false;
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x)
            if (L_GetPixelColor(&a, x, y) != L_GetPixelColor(&b, x, y)) return false;
    return true;
}

TEST(FilterRecipes, EveryRecipeKeepsSizeAndTrueColourAndChangesThePicture) {
    const BitmapHandle photo = MakePhotoFixture(97, 61);
    for (int n = FirstFilterRecipe; n <= LastFilterRecipe; ++n) {
        SCOPED_TRACE(FilterRecipeName(n));
        BitmapHandle w = photo;
        ASSERT_EQ(ApplyFilterRecipe(&w, n), SUCCESS);
        EXPECT_EQ(w.Width, 97);
        EXPECT_EQ(w.Height, 61);
        EXPECT_EQ(w.BitsPerPixel, 24);
        EXPECT_FALSE(SamePixels(w, photo));
    }
}

TEST(FilterRecipes, EveryRecipeRunsOnEveryDepthTheEditorCanHold) {
    for (int bpp : {1, 4, 8, 16, 32}) {
        const BitmapHandle photo = MakePhotoFixtureAtDepth(40, 30, bpp);
        for (int n = FirstFilterRecipe; n <= LastFilterRecipe; ++n) {
            SCOPED_TRACE(std::to_string(bpp) + " bits, " + FilterRecipeName(n));
            BitmapHandle w = photo;
            ASSERT_EQ(ApplyFilterRecipe(&w, n), SUCCESS);
            EXPECT_EQ(w.Width, 40);
            EXPECT_EQ(w.Height, 30);
        }
    }
}

TEST(FilterRecipes, NumbersOutsideTheMenuAndEmptyPicturesChangeNothing) {
    const BitmapHandle photo = MakePhotoFixture(20, 10);
    for (int n : {0, -1, 15, 111}) {
        SCOPED_TRACE(n);
        BitmapHandle w = photo;
        EXPECT_EQ(ApplyFilterRecipe(&w, n), ERROR_INV_PARAMETER);
        EXPECT_TRUE(SamePixels(w, photo));
        EXPECT_EQ(FilterRecipeName(n), nullptr);
    }
    BitmapHandle empty;
    EXPECT_EQ(ApplyFilterRecipe(&empty, 1), ERROR_NO_BITMAP);
    EXPECT_FALSE(empty.Allocated());
}

TEST(FilterRecipes, BlackToneIsGreyAtTwentyFourBits) {
    BitmapHandle w = MakePhotoFixture(50, 40);
    ASSERT_EQ(ApplyFilterRecipe(&w, 9), SUCCESS);
    ASSERT_EQ(w.BitsPerPixel, 24);
    int darkest = 255, lightest = 0;
    for (int y = 0; y < w.Height; ++y)
        for (int x = 0; x < w.Width; ++x) {
            const ColorRef c = L_GetPixelColor(&w, x, y);
            ASSERT_EQ(GetRValue(c), GetGValue(c)) << x << "," << y;
            ASSERT_EQ(GetGValue(c), GetBValue(c)) << x << "," << y;
            darkest = std::min<int>(darkest, GetRValue(c));
            lightest = std::max<int>(lightest, GetRValue(c));
        }
    EXPECT_GT(lightest - darkest, 100);  // still a picture, not one flat grey
}

TEST(FilterRecipes, ColouredPencilTurnsFlatAreasIntoPaperAndKeepsStrongOutlines) {
    // A dark square on mid-grey: where the edge detector finds nothing the division by its
    // result gives white; across the square's sides the Sobel strength saturates at 255, so
    // those pixels keep their own value (d · 255 / 255, twice).
    BitmapHandle w;
    ASSERT_EQ(L_CreateBitmap(&w, 1, 30, 30, 24), SUCCESS);
    ASSERT_EQ(L_FillBitmap(&w, RGBColor(180, 150, 120)), SUCCESS);
    for (int y = 10; y < 20; ++y)
        for (int x = 10; x < 20; ++x)
            ASSERT_EQ(L_PutPixelColor(&w, x, y, RGBColor(20, 30, 40)), SUCCESS);
    ASSERT_EQ(ApplyFilterRecipe(&w, 12), SUCCESS);
    const ColorRef paper = RGBColor(255, 255, 255);
    for (auto [x, y] : {std::pair{2, 2}, {27, 27}, {15, 15}, {15, 3}, {5, 15}})
        EXPECT_EQ(L_GetPixelColor(&w, x, y), paper) << x << "," << y;
    EXPECT_EQ(L_GetPixelColor(&w, 9, 15), RGBColor(180, 150, 120));
    EXPECT_EQ(L_GetPixelColor(&w, 10, 15), RGBColor(20, 30, 40));
    EXPECT_EQ(L_GetPixelColor(&w, 15, 20), RGBColor(180, 150, 120));
    EXPECT_EQ(L_GetPixelColor(&w, 15, 19), RGBColor(20, 30, 40));
}

// Aborts through the status callback at its n-th call.
int AbortAt = 0;
int CallsSeen = 0;
int AbortingCallback(int, void*) { return ++CallsSeen == AbortAt ? 0 : 1; }

TEST(FilterRecipes, TemporaryBitmapIsFreedWhereverTheRecipeStops) {
    // Every possible stopping point: abort at the first progress report, the second, … until the
    // recipe runs through. After each run only the picture itself may still hold rows.
    for (int n : {12, 13}) {
        SCOPED_TRACE(FilterRecipeName(n));
        const BitmapHandle photo = MakePhotoFixture(64, 48);
        int aborts = 0;
        for (AbortAt = 1;; ++AbortAt) {
            BitmapHandle w = photo;
            const long long before = LiveArrayBytes;
            CallsSeen = 0;
            L_SetStatusCallBack(AbortingCallback);
            const int status = ApplyFilterRecipe(&w, n);
            L_SetStatusCallBack(nullptr);
            ASSERT_EQ(LiveArrayBytes, before) << "abort at report " << AbortAt;
            ASSERT_TRUE(w.Allocated());
            ASSERT_EQ(w.Width, 64);
            if (status == SUCCESS) break;
            ASSERT_EQ(status, ERROR_USER_ABORT);
            ++aborts;
            ASSERT_LT(AbortAt, 100000);
        }
        EXPECT_GE(aborts, 2);  // stopped inside the calls on the temporary, too
    }
}

TEST(FilterRecipes, CommandLineRunsARecipeAndRefusesNumbersOutsideTheMenu) {
    kivo::test::TempDir dir;
    const std::string in = (dir / "in.png").string(), out = (dir / "out.png").string();
    const BitmapHandle photo = MakePhotoFixture(64, 40);
    ASSERT_EQ(L_SaveBitmap(in, &photo, FILE_PNG, 24), SUCCESS);
    const std::string tool = ShellQuote(KIVO_IMAGE_TOOL);
    ASSERT_EQ(RunCommand(tool + " filter 9 " + ShellQuote(in) + " " + ShellQuote(out)).ExitCode, 0);
    // ImageMagick looks at the pixels to name the type: every one grey.
    EXPECT_EQ(CommandText("identify -format '%w %h %[type]' " + ShellQuote(out)),
              "64 40 Grayscale");
    for (const char* bad : {"0", "15", "-1", "x"}) {
        SCOPED_TRACE(bad);
        const std::string other = (dir / "bad.png").string();
        EXPECT_NE(RunCommand(tool + " filter " + bad + " " + ShellQuote(in) + " " +
                             ShellQuote(other) + " 2>/dev/null")
                      .ExitCode,
                  0);
        EXPECT_FALSE(std::filesystem::exists(other));
    }
}

}  // namespace
