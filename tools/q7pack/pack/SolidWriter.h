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

// How large segments are: the format's limit, and the size the payload is
// cut into evenly. A segment is one LZMA stream whose dictionary is the
// whole segment, the memory the installer takes for it: larger segments
// pack smaller but on fewer cores. Tests make them small.
struct TSolidLayout {
    uint32_t segmentLimit = SolidWindowLimit;
    uint32_t segmentTarget = 96u << 20;
};

// Writes the archive of inputs (setup.ini first) at out's position.
// Segments are runs of the payload in table order, packed threads at a
// time; they are the same bytes whatever threads is. Raises PackError naming output when a file cannot be
// read or grew past what a segment or the format holds, or out takes fewer bytes than given.
TSolidWritten WriteSolidArchive(TStream& out, const std::vector<PackInput>& inputs, unsigned threads,
                                const std::string& output, const TSolidLayout& layout = {});
