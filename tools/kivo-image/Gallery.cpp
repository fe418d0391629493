// kivo-image gallery IN OUT.png: a contact sheet of the editor's one-click filters (1..14) and of
// every registered effect at its default arguments, each tile labelled with the filter's number
// and name or the effect's name and arguments, so anyone can check at a glance that each looks
// like its name.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"
#include "EffectArgs.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/Effects.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/FilterRecipes.h"
#include "kivo/imaging/Geometry.h"

namespace {

constexpr int Cell = 240;  // a tile's largest side
constexpr int LabelHeight = 30;
constexpr int Gap = 8;
constexpr int Columns = 6;

// A 5 × 7 font: one row of five bits per byte, most significant bit on the left.
struct Glyph {
    char Ch;
    uint8_t Rows[7];
};
constexpr Glyph Font[] = {
    {'A', {14, 17, 17, 31, 17, 17, 17}}, {'B', {30, 17, 17, 30, 17, 17, 30}},
    {'C', {14, 17, 16, 16, 16, 17, 14}}, {'D', {30, 17, 17, 17, 17, 17, 30}},
    {'E', {31, 16, 16, 30, 16, 16, 31}}, {'F', {31, 16, 16, 30, 16, 16, 16}},
    {'G', {14, 17, 16, 23, 17, 17, 15}}, {'H', {17, 17, 17, 31, 17, 17, 17}},
    {'I', {14, 4, 4, 4, 4, 4, 14}},      {'J', {7, 2, 2, 2, 2, 18, 12}},
    {'K', {17, 18, 20, 24, 20, 18, 17}}, {'L', {16, 16, 16, 16, 16, 16, 31}},
    {'M', {17, 27, 21, 21, 17, 17, 17}}, {'N', {17, 17, 25, 21, 19, 17, 17}},
    {'O', {14, 17, 17, 17, 17, 17, 14}}, {'P', {30, 17, 17, 30, 16, 16, 16}},
    {'Q', {14, 17, 17, 17, 21, 18, 13}}, {'R', {30, 17, 17, 30, 20, 18, 17}},
    {'S', {15, 16, 16, 14, 1, 1, 30}},   {'T', {31, 4, 4, 4, 4, 4, 4}},
    {'U', {17, 17, 17, 17, 17, 17, 14}}, {'V', {17, 17, 17, 17, 17, 10, 4}},
    {'W', {17, 17, 17, 21, 21, 21, 10}}, {'X', {17, 17, 10, 4, 10, 17, 17}},
    {'Y', {17, 17, 17, 10, 4, 4, 4}},    {'Z', {31, 1, 2, 4, 8, 16, 31}},
    {'0', {14, 17, 19, 21, 25, 17, 14}}, {'1', {4, 12, 4, 4, 4, 4, 14}},
    {'2', {14, 17, 1, 2, 4, 8, 31}},     {'3', {31, 2, 4, 2, 1, 17, 14}},
    {'4', {2, 6, 10, 18, 31, 2, 2}},     {'5', {31, 16, 30, 1, 1, 17, 14}},
    {'6', {6, 8, 16, 30, 17, 17, 14}},   {'7', {31, 1, 2, 4, 8, 8, 8}},
    {'8', {14, 17, 17, 14, 17, 17, 14}}, {'9', {14, 17, 17, 15, 1, 2, 12}},
    {'-', {0, 0, 0, 31, 0, 0, 0}},       {':', {0, 12, 12, 0, 12, 12, 0}},
    {',', {0, 0, 0, 0, 12, 4, 8}},       {'.', {0, 0, 0, 0, 0, 12, 12}},
};

const Glyph* GlyphFor(char c) {
    c = char(std::toupper((unsigned char)c));
    for (const Glyph& g : Font)
        if (g.Ch == c) return &g;
    return nullptr;
}

// Draws text in black on a 24-bit sheet, each font pixel a scale × scale square.
void DrawText(BitmapHandle& sheet, int x, int y, const std::string& text, int scale) {
    for (char c : text) {
        if (const Glyph* g = GlyphFor(c)) {
            for (int row = 0; row < 7; ++row)
                for (int col = 0; col < 5; ++col) {
                    if (!(g->Rows[row] & (16 >> col))) continue;
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx) {
                            const int px = x + col * scale + dx, py = y + row * scale + dy;
                            if (px < 0 || px >= sheet.Width || py < 0 || py >= sheet.Height)
                                continue;
                            std::memset(sheet.Row(py) + size_t(px) * 3, 0, 3);
                        }
                }
        }
        x += 6 * scale;
    }
}

// Scales a picture down (never up) so its larger side is at most `side`.
int FitInto(BitmapHandle* b, int side) {
    if (b->Width <= side && b->Height <= side) return SUCCESS;
    const double f = double(side) / std::max(b->Width, b->Height);
    return L_SizeBitmap(b, std::max(1, int(b->Width * f + 0.5)),
                        std::max(1, int(b->Height * f + 0.5)), SIZE_BICUBIC);
}

void Paste(BitmapHandle& sheet, const BitmapHandle& tile, int x, int y) {
    for (int row = 0; row < tile.Height; ++row)
        std::memcpy(sheet.Row(y + row) + size_t(x) * 3, tile.Row(row), size_t(tile.Width) * 3);
}

std::string ArgsText(const std::vector<int>& args) {
    std::string s;
    for (int v : args) s += (s.empty() ? "" : ",") + std::to_string(v);
    return s;
}

}  // namespace

int RunGallery(const Args& args) {
    if (args.size() != 2) return Fail("gallery", "expected IN OUT.png");
    BitmapHandle photo;
    int status = L_LoadBitmap(args[0], &photo);
    if (status == SUCCESS) status = L_ColorResBitmap(&photo, &photo, 24, CRF_BYTEORDERBGR);
    if (status == SUCCESS) status = FitInto(&photo, Cell);
    if (status != SUCCESS) return Fail(args[0], L_StatusText(status));

    const auto effects = EffectRegistry();
    const int recipes = LastFilterRecipe - FirstFilterRecipe + 1;
    const int tiles = 1 + recipes + int(effects.size());
    const int rows = (tiles + Columns - 1) / Columns;
    const int pitchX = Cell + Gap, pitchY = Cell + LabelHeight + Gap;
    BitmapHandle sheet;
    status = L_CreateBitmap(&sheet, 1, Columns * pitchX + Gap, rows * pitchY + Gap, 24);
    if (status == SUCCESS) status = L_FillBitmap(&sheet, RGBColor(255, 255, 255));
    if (status != SUCCESS) return Fail("gallery", L_StatusText(status));

    int failures = 0;
    for (int i = 0; i < tiles; ++i) {
        BitmapHandle tile = photo;
        std::string name = "ORIGINAL", argText;
        if (i > 0 && i <= recipes) {
            const int number = FirstFilterRecipe + i - 1;
            name = "FILTER " + std::to_string(number) + " " + FilterRecipeName(number);
            status = ApplyFilterRecipe(&tile, number);
        } else if (i > recipes) {
            const EffectInfo& e = *effects[size_t(i - 1 - recipes)];
            std::vector<int> values;
            PrepareEffectArgs(e, &values);
            name = e.Name;
            argText = ArgsText(values);
            status = e.Apply(&tile, values);
        }
        if (i > 0) {
            if (status == SUCCESS) status = L_ColorResBitmap(&tile, &tile, 24, CRF_BYTEORDERBGR);
            if (status == SUCCESS) status = FitInto(&tile, Cell);
            if (status != SUCCESS) {
                Fail(name, L_StatusText(status));
                ++failures;
                continue;
            }
        }
        const int x = Gap + (i % Columns) * pitchX, y = Gap + (i / Columns) * pitchY;
        Paste(sheet, tile, x + (Cell - tile.Width) / 2, y + (Cell - tile.Height) / 2);
        DrawText(sheet, x, y + Cell + 4, name, 2);
        DrawText(sheet, x, y + Cell + 21, argText, 1);
    }
    if (int rc = SaveByExtension(sheet, args[1]); rc != 0) return rc;
    return failures ? 1 : 0;
}
