// While an exception passes through the frames of a 32-bit build, the
// unwinder asks _Unwind_Find_FDE for the unwind-table entry (FDE) of each
// frame's code. libgcc's answer (unwind-dw2-fde.o with the thread locking it
// needs, about 10 KiB of the installer) keeps any number of tables that
// come and go at any time, in every pointer encoding. The installer has one
// table, its own .eh_frame, which crtbegin.o registers once at start-up,
// and the assembler writes all its entries in one encoding: 32-bit offsets
// from the field itself. As objects of the program these take libgcc's
// place: registration lists the entries sorted by address once, and each
// lookup is a binary search, without locks (the list never changes after
// start-up). A table in another form ends the program at once, at start-up,
// so that a change of toolchain cannot go unnoticed.
//
// Nothing is deregistered: crtbegin.o calls deregistration only when it is
// linked, and this leaves it out, so code that runs after main (destructors
// of globals) can still throw and catch.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// DW_EH_PE_pcrel | DW_EH_PE_sdata4: a signed 32-bit offset from the field.
constexpr unsigned char kPcRelative32 = 0x1B;

struct TEntry {
    uintptr_t start;
    const unsigned char* fde;
};

TEntry* entries;
size_t entryCount;

uint32_t Word(const unsigned char* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

const unsigned char* SkipLeb128(const unsigned char* at) {
    while (*at++ & 0x80) {
    }
    return at;
}

// True when the FDEs of the CIE at cie give their addresses as 32-bit
// offsets from the field. The augmentation ("zR", "zPLR") ends with R, so
// the pointer encoding is the last byte of the augmentation data.
bool PcRelative32(const unsigned char* cie) {
    const unsigned char* at = cie + 8;  // length and CIE id
    const unsigned version = *at++;
    const char* augmentation = reinterpret_cast<const char*>(at);
    const size_t length = std::strlen(augmentation);
    if (length < 2 || augmentation[0] != 'z' || augmentation[length - 1] != 'R') return false;
    at = SkipLeb128(SkipLeb128(at + length + 1));  // code and data alignment
    at = version == 1 ? at + 1 : SkipLeb128(at);   // return address column
    uint32_t dataLength = 0;
    for (unsigned shift = 0;; shift += 7) {
        const unsigned char byte = *at++;
        dataLength |= uint32_t(byte & 0x7F) << shift;
        if (!(byte & 0x80)) break;
    }
    return dataLength > 0 && at[dataLength - 1] == kPcRelative32;
}

// Calls visit(start, fde) for each FDE of the table that covers code (the
// linker leaves those of discarded functions at address 0).
template <typename TVisit>
void ForEachFde(const unsigned char* table, TVisit visit) {
    const unsigned char* checkedCie = nullptr;
    for (const unsigned char* at = table;; at += 4 + Word(at)) {
        const uint32_t length = Word(at);
        if (length == 0) return;
        if (length == 0xFFFFFFFF) std::abort();  // 64-bit DWARF: not on this platform
        const uint32_t cieOffset = Word(at + 4);
        if (cieOffset == 0) continue;
        const unsigned char* cie = at + 4 - cieOffset;
        if (cie != checkedCie) {
            if (!PcRelative32(cie)) std::abort();
            checkedCie = cie;
        }
        const uintptr_t start = uintptr_t(at + 8) + int32_t(Word(at + 8));
        if (start != 0 && Word(at + 12) != 0) visit(start, at);
    }
}

}  // namespace

// The unwinder's bases of an FDE's relative encodings: this platform's
// entries use none but the function's start.
struct dwarf_eh_bases {
    void* tbase;
    void* dbase;
    void* func;
};

extern "C" void __register_frame_info(const void* begin, void*) {
    const auto* table = static_cast<const unsigned char*>(begin);
    size_t count = 0;
    ForEachFde(table, [&](uintptr_t, const unsigned char*) { ++count; });
    entries = static_cast<TEntry*>(std::malloc(count * sizeof(TEntry)));
    if (!entries) std::abort();
    ForEachFde(table, [](uintptr_t start, const unsigned char* fde) { entries[entryCount++] = {start, fde}; });
    // The linker joined the tables of its inputs in about the order of
    // their code (some 16,000 moves for 640 entries): insertion is enough.
    for (size_t i = 1; i < entryCount; ++i) {
        const TEntry entry = entries[i];
        size_t j = i;
        for (; j > 0 && entries[j - 1].start > entry.start; --j) entries[j] = entries[j - 1];
        entries[j] = entry;
    }
}

extern "C" const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases) {
    const uintptr_t at = uintptr_t(pc);
    const TEntry* after = std::upper_bound(entries, entries + entryCount, at,
                                           [](uintptr_t value, const TEntry& entry) { return value < entry.start; });
    if (after == entries) return nullptr;
    const TEntry& entry = after[-1];
    if (at - entry.start >= Word(entry.fde + 12)) return nullptr;
    bases->tbase = nullptr;
    bases->dbase = nullptr;
    bases->func = reinterpret_cast<void*>(entry.start);
    return entry.fde;
}
