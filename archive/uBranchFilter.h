#pragma once
// The branch-call filter of the solid archive: in the code sections of
// Windows executables it rewrites the 32-bit relative operands of calls,
// jumps and (in x64 code) RIP-relative memory operands as absolute
// addresses, so that every call of one function carries the same four
// bytes and LZMA finds them as repeats. The packer applies it before
// compressing; the installer reverts it while it writes the entry out.
//
// The scan reads only opcode bytes, never an operand it rewrites, so both
// directions take the same decisions at the same positions and the filter
// reverts exactly, whatever the bytes are (data mistaken for code included).

#include <cstddef>
#include <cstdint>

// Which instruction forms are rewritten.
enum TBranchCode : uint8_t {
    bcX86 = 1,  // E8 call, E9 jmp, 0F 80-8F jcc: rel32
    bcX64 = 2,  // those, and RIP-relative disp32 operands
};

// The longest run of bytes one decision reads: opcode bytes and operand.
constexpr size_t BranchWindow = 7;

// Rewrites (encode) or reverts (decode) the operands in data[0, length),
// the bytes at offset `at` of a code range of rangeLength bytes whose first
// byte is loaded at rva; imageSize is the image's SizeOfImage. Only targets
// that land inside the image are rewritten (a bijection on the 32-bit
// operand, so the decoder needs no flag). Returns how many leading bytes
// are final: a decision that needs bytes beyond length waits for the next
// call, which starts at the returned offset, unless the range ends at
// `at + length`.
size_t BranchFilter(TBranchCode code, unsigned char* data, size_t length, uint32_t at, uint32_t rangeLength,
                    uint32_t rva, uint32_t imageSize, bool encode);
