#pragma once
// Writes the solid archive (archive/uSolidArchive.h): setup.ini in the
// table, the payload in segments of LZMA streams compressed on several
// threads.

#include <cstdint>
#include <vector>

#include "archive/uSolidArchive.h"
#include "system/uSystem.h"
#include "tools/q7pack/pack/PackInputs.h"

struct TSolidWritten {
    uint64_t unpackedBytes = 0;  // the files' bytes
    uint64_t packedBytes = 0;    // the streams' and the table's packed bytes
    uint64_t archiveBytes = 0;   // all of it, header included
};

// How large segments and streams are: the limits of the format, the
// stream size that shares two cores evenly. Tests make them small.
struct TSolidLayout {
    uint32_t segmentLimit = SolidWindowLimit;
    uint32_t streamTarget = 96u << 20;
};

// Writes the archive of inputs (setup.ini first) at out's position.
// Segments are runs of the payload in table order of at most
// SolidWindowLimit bytes; they and their streams are the same whatever
// threads is. Raises PackError naming output when a file cannot be read or
// grew past what a segment or the format holds, or out takes fewer bytes
// than given.
TSolidWritten WriteSolidArchive(TStream& out, const std::vector<PackInput>& inputs, unsigned threads,
                                const std::string& output, const TSolidLayout& layout = {});
