// The archive functions: the entries of the archive start-up loaded
// (Unpacker), by zero-based index in table order, setup.ini included. A host
// without an archive has no entries.

#include <cstdint>

#include "archive/uZlibArchive.h"
#include "scriptlib/host/uPatcherLibrary.h"
#include "scriptlib/installer/uEntrySelection.h"
#include "scriptlib/installer/uPatcherArchive.h"

namespace {

int32_t EntryCount(const TPatcherMemory& memory) { return memory.Unpacker ? memory.Unpacker->FileCount() : 0; }

const TZLibPackedFile* Entry(const TPatcherMemory& memory, int32_t index) {
    return memory.Unpacker ? EntryAt(*memory.Unpacker, index) : nullptr;
}

}  // namespace

void ScriptArchiveFileCount(TPatcherMemory& memory, TScript&, TValue& result) {
    result = IntegerValue(EntryCount(memory));
}

// ArchiveFileName(index): the stored name; the empty text outside the table.
void ScriptArchiveFileName(TPatcherMemory& memory, TScript& script, TValue& result) {
    const TZLibPackedFile* entry = Entry(memory, script.ArgInt(1));
    result = entry ? StringValue(entry->Name) : EmptyStringValue;
}

// ArchiveFileCopy(index [, target]): TRUE when the whole entry was written
// to target (its stored name when empty). A failed copy leaves an existing
// target as it was; see InstallArchiveEntry.
void ScriptArchiveFileCopy(TPatcherMemory& memory, TScript& script, TValue& result) {
    result = BooleanValue(false);
    int32_t index = script.ArgInt(1);
    std::string target = script.ArgStr(2);
    if (!memory.Unpacker) return;  // the index is InstallArchiveEntry's to check
    try {
        result = BooleanValue(InstallArchiveEntry(*memory.Unpacker, index, target));
    } catch (...) {
        // Whatever the copy raised (memory, the OS), the script sees FALSE.
    }
}

// ArchiveFileSize(index): the entry's unpacked size as its header records
// it; -1 outside the table (and for a size beyond 2147483647 bytes, which
// no installer can hold).
void ScriptArchiveFileSize(TPatcherMemory& memory, TScript& script, TValue& result) {
    const TZLibPackedFile* entry = Entry(memory, script.ArgInt(1));
    uint32_t size = entry ? entry->UnpackedSize : UINT32_MAX;
    result = IntegerValue(size > INT32_MAX ? -1 : static_cast<int32_t>(size));
}

// ArchiveSelect(entry, chosen): chooses (chosen not 0) or leaves out of
// ArchiveInstall the entry of that index, or, for a text, every entry at or
// below that stored path; answers how many entries that were.
void ScriptArchiveSelect(TPatcherMemory& memory, TScript& script, TValue& result) {
    bool chosen = script.ArgInt(2) != 0;
    TValue entry = ZeroValue;
    script.Arg(1, entry);
    result = IntegerValue(0);
    if (!memory.Unpacker) return;
    if (entry.Kind == vkString) {
        result = IntegerValue(SelectEntries(*memory.Unpacker, memory.LeftOut, entry.Str, chosen));
    } else if (Entry(memory, entry.Int)) {
        SelectEntry(memory.LeftOut, memory.Unpacker->Files.size(), static_cast<size_t>(entry.Int), chosen);
        result = IntegerValue(1);
    }
}

// ArchiveInstallSize(): the KiB the chosen entries take unpacked, rounded
// up (at most 2147483647).
void ScriptArchiveInstallSize(TPatcherMemory& memory, TScript&, TValue& result) {
    uint64_t kib = memory.Unpacker ? (ChosenBytes(*memory.Unpacker, memory.LeftOut) + 1023) / 1024 : 0;
    result = IntegerValue(kib > INT32_MAX ? INT32_MAX : static_cast<int32_t>(kib));
}
