#pragma once

// Bounds-checked byte reading and writing for the codecs. Every decoder reads through a
// ByteReader over the whole file in memory, so files, memory buffers and fuzz inputs take one
// path. A read past the end never touches memory outside the buffer: it returns false (or zero)
// and sets the reader's Failed flag, which decoders turn into ERROR_FILE_CORRUPT.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kivo {

class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : Begin(data), Size(size) {}

    size_t Position() const { return Pos; }
    size_t Length() const { return Size; }
    size_t Remaining() const { return Size - Pos; }
    bool Eof() const { return Pos >= Size; }
    bool Failed() const { return Fail; }
    const uint8_t* Data() const { return Begin; }
    // Pointer to the next n bytes, or nullptr (and Failed) when fewer remain.
    const uint8_t* Peek(size_t n) {
        if (n > Remaining()) {
            Fail = true;
            return nullptr;
        }
        return Begin + Pos;
    }
    const uint8_t* Take(size_t n) {
        const uint8_t* p = Peek(n);
        if (p) Pos += n;
        return p;
    }
    bool Read(void* dst, size_t n) {
        const uint8_t* p = Take(n);
        if (!p) return false;
        std::memcpy(dst, p, n);
        return true;
    }
    bool Skip(size_t n) { return Take(n) != nullptr; }
    bool Seek(size_t pos) {
        if (pos > Size) {
            Fail = true;
            return false;
        }
        Pos = pos;
        return true;
    }
    uint8_t U8() {
        const uint8_t* p = Take(1);
        return p ? p[0] : 0;
    }
    uint16_t U16LE() {
        const uint8_t* p = Take(2);
        return p ? uint16_t(p[0] | (p[1] << 8)) : 0;
    }
    uint16_t U16BE() {
        const uint8_t* p = Take(2);
        return p ? uint16_t((p[0] << 8) | p[1]) : 0;
    }
    uint32_t U32LE() {
        const uint8_t* p = Take(4);
        return p ? uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                       (uint32_t(p[3]) << 24)
                 : 0;
    }
    uint32_t U32BE() {
        const uint8_t* p = Take(4);
        return p ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
                       uint32_t(p[3])
                 : 0;
    }
    int16_t S16LE() { return int16_t(U16LE()); }
    int16_t S16BE() { return int16_t(U16BE()); }
    int32_t S32LE() { return int32_t(U32LE()); }
    int32_t S32BE() { return int32_t(U32BE()); }

private:
    const uint8_t* Begin;
    size_t Size;
    size_t Pos = 0;
    bool Fail = false;
};

// Growing output buffer with explicit byte order, seekable so that writers can patch sizes and
// offsets after the fact (TIFF, metafiles, IFF chunks).
class ByteWriter {
public:
    std::vector<uint8_t>& Buffer() { return Out; }
    size_t Position() const { return Pos; }
    void Seek(size_t pos) {
        if (pos > Out.size()) Out.resize(pos);
        Pos = pos;
    }
    void SeekEnd() { Pos = Out.size(); }
    void Write(const void* src, size_t n) {
        // Bytes past the end are appended rather than resized into place: resizing first would
        // zero every byte before it is overwritten.
        const auto* p = static_cast<const uint8_t*>(src);
        const size_t inside = std::min(n, Out.size() - Pos);
        if (inside) std::memcpy(Out.data() + Pos, p, inside);
        if (inside < n) Out.insert(Out.end(), p + inside, p + n);
        Pos += n;
    }
    void Fill(uint8_t value, size_t n) {
        if (Pos + n > Out.size()) Out.resize(Pos + n);
        std::memset(Out.data() + Pos, value, n);
        Pos += n;
    }
    void U8(uint8_t v) { Write(&v, 1); }
    void U16LE(uint16_t v) {
        uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        Write(b, 2);
    }
    void U16BE(uint16_t v) {
        uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
        Write(b, 2);
    }
    void U32LE(uint32_t v) {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        Write(b, 4);
    }
    void U32BE(uint32_t v) {
        uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
        Write(b, 4);
    }
    void Text(const std::string& s) { Write(s.data(), s.size()); }

private:
    std::vector<uint8_t> Out;
    size_t Pos = 0;
};

}  // namespace kivo
