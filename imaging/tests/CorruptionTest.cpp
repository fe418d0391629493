// Damaged files through every registered decoder: truncations and bit flips of valid files must
// give an error code or a picture, never a crash, a hang or a read outside the data (the
// sanitizer build runs this test too).

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/Codec.h"
#include "kivo/imaging/File.h"
#include "support/PhotoFixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Valid files for a codec: what its writer makes at each depth, plus its fuzz seeds.
std::vector<Bytes> ValidSamples(const kivo::CodecEntry& codec) {
    std::vector<Bytes> samples;
    if (codec.Write && !codec.SaveFormats.empty())
        for (int bpp : codec.SaveDepths) {
            BitmapHandle b = kivo::test::MakePhotoFixtureAtDepth(13, 7, bpp);
            Bytes out;
            if (L_SaveBitmapMemory(&out, &b, codec.SaveFormats.front(), bpp) == SUCCESS)
                samples.push_back(std::move(out));
        }
    std::filesystem::path seeds = std::filesystem::path(KIVO_FUZZ_CORPUS) / Lower(codec.Name);
    if (std::filesystem::is_directory(seeds))
        for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
            if (!entry.is_regular_file() || entry.file_size() > 64 * 1024) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            samples.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    return samples;
}

void DecodeDamaged(const kivo::CodecEntry& codec, const Bytes& data) {
    // Copy into an exactly sized buffer so that the sanitizers see any read past its end.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(data.size(), 1)]);
    std::copy(data.begin(), data.end(), exact.get());
    kivo::ByteReader reader(exact.get(), data.size());
    kivo::Progress progress(100);
    BitmapHandle out;
    int status = codec.Read(reader, out, progress);
    ASSERT_TRUE(status == SUCCESS || status < 0) << status;
    if (status == SUCCESS) {
        ASSERT_TRUE(out.Allocated());
        ASSERT_GT(out.Width, 0);
        ASSERT_GT(out.Height, 0);
    }
    BitmapHandle viaSniff;
    int sniffed = L_LoadBitmapMemory(exact.get(), data.size(), &viaSniff);
    ASSERT_TRUE(sniffed == SUCCESS || sniffed < 0) << sniffed;
}

TEST(Corruption, EveryDecoderSurvivesTruncationAndBitFlips) {
    L_SetMaxPixels(uint64_t(1) << 24);
    ASSERT_FALSE(kivo::Codecs().empty());
    for (const kivo::CodecEntry& codec : kivo::Codecs()) {
        if (!codec.Read) continue;
        SCOPED_TRACE(codec.Name);
        std::vector<Bytes> samples = ValidSamples(codec);
        EXPECT_FALSE(samples.empty()) << "no valid sample to damage for " << codec.Name;
        uint32_t state = 12345;
        for (const Bytes& valid : samples) {
            // Every length of the first 256 bytes, then a spread of lengths beyond.
            for (size_t n = 0; n < valid.size(); n += (n < 256 ? 1 : valid.size() / 64 + 1))
                DecodeDamaged(codec, Bytes(valid.begin(), valid.begin() + long(n)));
            for (int flip = 0; flip < 300; ++flip) {
                Bytes damaged = valid;
                for (int k = 0; k < 1 + flip % 4; ++k) {
                    state = state * 134775813u + 1;
                    // Headers are where most checks live: bias flips towards the front.
                    size_t limit = (flip % 2) ? damaged.size() : std::min<size_t>(damaged.size(), 128);
                    size_t at = size_t(state >> 8) % limit;
                    damaged[at] ^= uint8_t(1u << (state & 7));
                }
                DecodeDamaged(codec, damaged);
            }
            if (HasFatalFailure()) return;
        }
    }
    L_SetMaxPixels(uint64_t(1) << 28);
}

}  // namespace
