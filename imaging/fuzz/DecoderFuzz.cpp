// Feeds arbitrary bytes to one decoder (KIVO_FUZZ_CODEC), bypassing format detection so that
// every input reaches that decoder's header checks.

#include <cstdint>
#include <cstdlib>

#include "codecs/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kivo::CodecEntry* codec = [] {
        // Keep allocations small enough for the fuzzer's memory limit.
        L_SetMaxPixels(uint64_t(1) << 22);
        const kivo::CodecEntry* c = kivo::CodecByName(KIVO_FUZZ_CODEC);
        if (!c || !c->Read) std::abort();
        return c;
    }();
    kivo::ByteReader reader(data, size);
    kivo::Progress progress(100);
    BitmapHandle out;
    int status = codec->Read(reader, out, progress);
    if (status == SUCCESS && !out.Allocated()) std::abort();
    if (status == SUCCESS) {
        // Touch every byte so that a short allocation shows up under the sanitizers.
        volatile uint8_t sink = 0;
        for (size_t i = 0; i < out.DataSize(); i += 64) sink = sink + out.Data()[i];
        (void)sink;
    }
    return 0;
}
