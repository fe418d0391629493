#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/Effects.h"
#include "kivo/imaging/File.h"
#include "support/Peer.h"
#include "support/PhotoFixture.h"

namespace {

using kivo::test::MakePhotoFixtureAtDepth;

bool IsGeometry(const EffectInfo& e) { return std::string(e.Family) == "geometry"; }

// Every effect at the minimum, default and maximum of each parameter in turn (the others at
// their defaults), on small bitmaps at a palette depth, 24 and 32 bits.
TEST(EffectsRegistry, EveryEffectRunsAcrossItsParameterRanges) {
    for (const EffectInfo* e : EffectRegistry()) {
        for (int bpp : {8, 24, 32}) {
            std::vector<std::vector<int>> argSets;
            std::vector<int> defaults;
            ASSERT_EQ(PrepareEffectArgs(*e, &defaults), SUCCESS) << e->Name;
            argSets.push_back(defaults);
            for (size_t i = 0; i < e->Params.size(); ++i)
                for (int v : {e->Params[i].Min, e->Params[i].Max}) {
                    std::vector<int> args = defaults;
                    args[i] = v;
                    argSets.push_back(args);
                }
            for (const std::vector<int>& args : argSets) {
                std::string trace = std::string(e->Name) + " bpp " + std::to_string(bpp) + ":";
                for (int v : args) trace += " " + std::to_string(v);
                SCOPED_TRACE(trace);
                // Sizes are kept small where the arguments say how big the result is.
                BitmapHandle b =
                    MakePhotoFixtureAtDepth(std::string(e->Name) == "Size" ? 5 : 23,
                                            std::string(e->Name) == "Size" ? 4 : 17, bpp);
                int status = e->Apply(&b, args);
                ASSERT_EQ(status, SUCCESS) << L_StatusText(status);
                ASSERT_TRUE(b.Allocated());
                if (!IsGeometry(*e)) {
                    EXPECT_EQ(b.Width, 23);
                    EXPECT_EQ(b.Height, 17);
                }
            }
        }
    }
}

// A region limits every non-geometry effect: pixels outside it keep their colours (at 24 bits
// the bytes themselves), and the region stays on the bitmap.
TEST(EffectsRegistry, ARegionKeepsEveryOutsidePixel) {
    for (const EffectInfo* e : EffectRegistry()) {
        if (IsGeometry(*e)) continue;
        for (int bpp : {8, 24}) {
            SCOPED_TRACE(std::string(e->Name) + " bpp " + std::to_string(bpp));
            const BitmapHandle original = MakePhotoFixtureAtDepth(20, 16, bpp);
            BitmapHandle b = original;
            b.Region = std::make_unique<BitmapRegion>();
            b.Region->Bounds = {4, 3, 12, 11};
            b.Region->Mask.assign(64, 1);
            b.Region->Mask[0] = 0;  // (4, 3) is outside though within the bounds
            std::vector<int> args;
            ASSERT_EQ(PrepareEffectArgs(*e, &args), SUCCESS);
            ASSERT_EQ(e->Apply(&b, args), SUCCESS);
            ASSERT_TRUE(b.Region);
            EXPECT_EQ(b.Region->Bounds, (BitmapRect{4, 3, 12, 11}));
            int changedInside = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 20; ++x) {
                    const bool inside = x >= 4 && x < 12 && y >= 3 && y < 11 && !(x == 4 && y == 3);
                    const bool same = L_GetPixelColor(&b, x, y) == L_GetPixelColor(&original, x, y);
                    if (!inside) {
                        ASSERT_TRUE(same) << x << "," << y;
                    } else if (!same) {
                        ++changedInside;
                    }
                }
            // The effect did run: something inside changed (every default changes a photo).
            EXPECT_GT(changedInside, 0);
        }
    }
}

TEST(EffectsRegistry, NamesAreUniqueAndFoundInAnyCase) {
    std::set<std::string> names;
    for (const EffectInfo* e : EffectRegistry()) {
        EXPECT_TRUE(names.insert(e->Name).second) << e->Name;
        for (const EffectParam& p : e->Params) {
            EXPECT_LE(p.Min, p.Default) << e->Name << " " << p.Name;
            EXPECT_LE(p.Default, p.Max) << e->Name << " " << p.Name;
        }
    }
    EXPECT_EQ(FindEffect("rotate"), FindEffect("Rotate"));
    ASSERT_NE(FindEffect("CHANGESATURATION"), nullptr);
    EXPECT_EQ(FindEffect("Rotat"), nullptr);
    EXPECT_EQ(FindEffect(""), nullptr);
}

TEST(EffectsRegistry, PrepareEffectArgsDefaultsAndChecks) {
    const EffectInfo* rotate = FindEffect("Rotate");
    ASSERT_NE(rotate, nullptr);
    std::vector<int> args = {-9000};
    int bad = 99;
    ASSERT_EQ(PrepareEffectArgs(*rotate, &args, &bad), SUCCESS);
    EXPECT_EQ(args, (std::vector<int>{-9000, 1, 0}));
    args = {36001};
    EXPECT_EQ(PrepareEffectArgs(*rotate, &args, &bad), ERROR_INV_PARAMETER);
    EXPECT_EQ(bad, 0);
    args = {0, 2};
    EXPECT_EQ(PrepareEffectArgs(*rotate, &args, &bad), ERROR_INV_PARAMETER);
    EXPECT_EQ(bad, 1);
    args = {0, 0, 0, 0};
    EXPECT_EQ(PrepareEffectArgs(*rotate, &args, &bad), ERROR_INV_PARAMETER);
    EXPECT_EQ(bad, -1);
}

TEST(EffectsRegistry, ApplyCommandRunsAnEffectAndExplainsBadArguments) {
    kivo::test::TempDir dir;
    const BitmapHandle original = kivo::test::MakePhotoFixture(30, 20);
    ASSERT_EQ(L_SaveBitmap((dir / "in.bmp").string(), &original, 6, 24), SUCCESS);
    auto run = [&](const std::string& spec) {
        return kivo::test::RunCommand(std::string(KIVO_IMAGE_TOOL) + " apply " + spec + " " +
                                      (dir / "in.bmp").string() + " " + (dir / "out.bmp").string() +
                                      " 2>&1");
    };
    ASSERT_EQ(run("rotate:-9000").ExitCode, 0);
    BitmapHandle out;
    ASSERT_EQ(L_LoadBitmap((dir / "out.bmp").string(), &out), SUCCESS);
    EXPECT_EQ(out.Width, 20);
    EXPECT_EQ(out.Height, 30);
    // A counter-clockwise turn puts the old top-right corner at the top-left.
    EXPECT_EQ(L_GetPixelColor(&out, 0, 0), L_GetPixelColor(&original, 29, 0));
    ASSERT_EQ(run("EdgeDetector:30,0x0103").ExitCode, 0);

    struct Case {
        const char* Spec;
        const char* Message;
    } cases[] = {
        {"Sharpen:1001", "Sharpen: sharpness must be from -1000 to 1000, not 1001"},
        {"Posterize:4,5", "Posterize: takes at most 1 arguments (levels 2..64)"},
        {"Mosaic:x", "Mosaic: argument 1 'x' is not a whole number"},
        {"Blurry", "apply: unknown effect 'Blurry'"},
    };
    for (const Case& c : cases) {
        kivo::test::CommandResult r = run(c.Spec);
        EXPECT_NE(r.ExitCode, 0) << c.Spec;
        EXPECT_NE(std::string(r.Output.begin(), r.Output.end()).find(c.Message), std::string::npos)
            << std::string(r.Output.begin(), r.Output.end());
    }
}

}  // namespace
