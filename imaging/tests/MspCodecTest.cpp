// Microsoft Paint files of both versions, made here byte by byte (no peer writes them), against
// the picture they encode; header checksum and damaged rows.

#include <gtest/gtest.h>

#include "support/CodecInterop.h"

namespace {

using namespace kivo::test;

// A header with the given key, size and a correct checksum.
Bytes Header(const char* key, int width, int height) {
    int words[16] = {key[0] | (key[1] << 8), key[2] | (key[3] << 8), width, height, 1, 1, 1, 1,
                     width, height, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i) words[12] ^= words[i];
    Bytes b;
    for (int w : words) {
        b.push_back(uint8_t(w));
        b.push_back(uint8_t(w >> 8));
    }
    return b;
}

// The picture both files hold: 20 × 3, bit (x, y) set (white) when (x + y) % 3 == 0.
bool White(int x, int y) { return (x + y) % 3 == 0; }
Bytes Row(int y) {
    Bytes r(3, 0);
    for (int x = 0; x < 20; ++x)
        if (White(x, y)) r[x / 8] |= uint8_t(0x80 >> (x % 8));
    return r;
}

void ExpectPicture(const BitmapHandle& b) {
    ASSERT_EQ(b.Width, 20);
    ASSERT_EQ(b.Height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(L_GetPixelColor(&b, x, y), White(x, y) ? RGBColor(255, 255, 255) : 0u)
                << x << "," << y;
}

TEST(MspCodec, ReadsBothVersions) {
    TempDir dir;
    Bytes v1 = Header("DanM", 20, 3);
    for (int y = 0; y < 3; ++y) {
        Bytes r = Row(y);
        v1.insert(v1.end(), r.begin(), r.end());
    }
    WriteFileBytes(dir / "v1.msp", v1);
    ExpectPicture(LoadAs(dir / "v1.msp", FILE_MSP));

    // Version 2: row 0 as one literal, row 1 as a run of its first byte and a literal of two,
    // row 2 as a literal of two and a run of one.
    std::vector<Bytes> rows;
    Bytes r0 = Row(0), r1 = Row(1), r2 = Row(2);
    rows.push_back({3, r0[0], r0[1], r0[2]});
    rows.push_back({0, 1, r1[0], 2, r1[1], r1[2]});
    rows.push_back({2, r2[0], r2[1], 0, 1, r2[2]});
    Bytes v2 = Header("LinS", 20, 3);
    for (const Bytes& r : rows) {
        v2.push_back(uint8_t(r.size()));
        v2.push_back(0);
    }
    for (const Bytes& r : rows) v2.insert(v2.end(), r.begin(), r.end());
    WriteFileBytes(dir / "v2.msp", v2);
    ExpectPicture(LoadAs(dir / "v2.msp", FILE_MSP));

    // Damage: a wrong checksum, a run past the row, a row table longer than the file.
    struct Case {
        const char* Name;
        size_t At;
        uint8_t Value;
    } cases[] = {{"checksum", 24, uint8_t(v2[24] ^ 1)},
                 {"run past the row", 32 + 6 + 4 + 1, 9},
                 {"row size past the end", 32, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Bytes bad = v2;
        bad[c.At] = c.Value;
        WriteFileBytes(dir / "bad.msp", bad);
        auto [code, text] = ToolInfo(dir / "bad.msp");
        EXPECT_NE(code, 0);
        EXPECT_NE(text.find("damaged or truncated"), std::string::npos) << text;
    }
}

}  // namespace
