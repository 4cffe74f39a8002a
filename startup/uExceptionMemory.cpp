// Where a thrown exception lives until its handler ends. The C++ runtime's
// allocator (eh_alloc.o) takes it from the heap and, when the heap is
// exhausted, from an emergency pool of about 70 KiB that it reserves at
// start-up behind a mutex; the two bring 4 KiB of code, the mutex among
// them, into the installer. As objects of the program these take the
// runtime's place with the same contract: each exception's memory from
// the heap, zeroed where the runtime keeps its record of the exception, and,
// should the heap be exhausted, one of a few blocks kept for that (so that
// std::bad_alloc itself can still be thrown). A block is claimed with an
// atomic exchange, so a thread can throw while another does.
//
// The record sizes are the i686 runtime's: the C++ ABI's __cxa_exception
// (with libstdc++'s reference count in front) and __cxa_dependent_exception,
// each ending in the unwinder's header, which is aligned to 16 bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>

static_assert(sizeof(void*) == 4, "the record sizes below are those of the i686 runtime");

namespace {

constexpr size_t kExceptionRecord = 96;  // __cxa_refcounted_exception
constexpr size_t kDependentRecord = 80;  // __cxa_dependent_exception
constexpr size_t kSpareSize = 512;
constexpr size_t kSpareCount = 4;

alignas(16) unsigned char spares[kSpareCount][kSpareSize];
bool spareTaken[kSpareCount];

// size bytes, the first zeroed ones zeroed; ends the program when neither
// the heap nor a spare block has them, as the runtime does.
unsigned char* Allocate(size_t size, size_t zeroed) {
    auto* block = static_cast<unsigned char*>(std::malloc(size));
    for (size_t i = 0; !block && size <= kSpareSize && i < kSpareCount; ++i)
        if (!__atomic_exchange_n(&spareTaken[i], true, __ATOMIC_ACQUIRE)) block = spares[i];
    if (!block) std::terminate();
    std::memset(block, 0, zeroed);
    return block;
}

void Release(unsigned char* block) {
    const size_t index = (reinterpret_cast<uintptr_t>(block) - reinterpret_cast<uintptr_t>(spares)) / kSpareSize;
    if (index < kSpareCount)
        __atomic_store_n(&spareTaken[index], false, __ATOMIC_RELEASE);
    else
        std::free(block);
}

}  // namespace

extern "C" void* __cxa_allocate_exception(size_t size) noexcept {
    return Allocate(kExceptionRecord + size, kExceptionRecord) + kExceptionRecord;
}

extern "C" void __cxa_free_exception(void* object) noexcept {
    Release(static_cast<unsigned char*>(object) - kExceptionRecord);
}

extern "C" void* __cxa_allocate_dependent_exception() noexcept {
    return Allocate(kDependentRecord, kDependentRecord);
}

extern "C" void __cxa_free_dependent_exception(void* record) noexcept { Release(static_cast<unsigned char*>(record)); }
