#include "archive/uBranchFilter.h"

#include "system/io/uByteOrder.h"

namespace {

// The number of opcode bytes in front of a rewritten operand at p, 0 when
// the bytes there start no form the filter rewrites. avail bytes can be
// read at p.
size_t OpcodeLength(TBranchCode code, const unsigned char* p, size_t avail) {
    if (p[0] == 0xE8 || p[0] == 0xE9) return 1;
    if (avail < 2) return 0;
    if (p[0] == 0x0F && (p[1] & 0xF0) == 0x80) return 2;
    if (code != bcX64) return 0;
    // call/jmp [rip+disp32]: calls of imported functions.
    if (p[0] == 0xFF && (p[1] == 0x15 || p[1] == 0x25)) return 2;
    // mov/lea/store with a RIP-relative operand (ModRM mod 00, r/m 101),
    // behind a REX.W prefix.
    if (avail < 3 || (p[0] & 0xFB) != 0x48) return 0;
    if ((p[1] == 0x8B || p[1] == 0x8D || p[1] == 0x89) && (p[2] & 0xC7) == 0x05) return 3;
    return 0;
}

// rel (relative to `next`) as an absolute address, when it lands in the
// image; other values are moved so that the mapping stays one to one:
// those that would collide with a rewritten one take the place of the
// relative values that now lie in the image.
uint32_t Encode(uint32_t rel, uint32_t next, uint32_t size) {
    uint32_t target = rel + next;
    if (target < size) return target;
    if (rel < size && rel >= size - next) return rel - size;
    return rel;
}

uint32_t Decode(uint32_t value, uint32_t next, uint32_t size) {
    if (value < size) return value - next;
    if (value + next < next) return value + size;  // value in [-next, 0)
    return value;
}

}  // namespace

size_t BranchFilter(TBranchCode code, unsigned char* data, size_t length, uint32_t at, uint32_t rangeLength,
                    uint32_t rva, uint32_t imageSize, bool encode) {
    if (at >= rangeLength) return length;
    if (length > rangeLength - at) length = rangeLength - at;
    bool rangeEnds = at + length == rangeLength;
    // Sizes past 2 GiB would let rewritten and moved values meet.
    if (imageSize > 0x80000000u) imageSize = 0;
    size_t i = 0;
    while (i < length) {
        size_t avail = length - i;
        size_t left = rangeLength - (at + i);
        if (!rangeEnds && avail < BranchWindow) break;
        size_t opcode = OpcodeLength(code, data + i, avail < left ? avail : left);
        if (opcode == 0 || opcode + 4 > left) {
            ++i;
            continue;
        }
        unsigned char* operand = data + i + opcode;
        uint32_t next = rva + at + static_cast<uint32_t>(i + opcode + 4);
        // Positions outside the image (a damaged header) are left alone.
        if (next < imageSize) {
            uint32_t value = LoadLE32(operand);
            value = encode ? Encode(value, next, imageSize) : Decode(value, next, imageSize);
            for (int b = 0; b < 4; ++b) operand[b] = static_cast<unsigned char>(value >> (8 * b));
        }
        i += opcode + 4;
    }
    return i;
}
