#pragma once
// An archive held in memory for tests: entries are appended in order, then
// Load() writes the end record and loads the table into Unpacker.

#include <gtest/gtest.h>

#include <string>

#include "archive/uZlibArchive.h"
#include "archive/uZlibWriter.h"

class MemoryArchive {
public:
    // data compressed, or the given packed bytes stored for it.
    void Add(const std::string& name, const std::string& data, std::string packed = {}) {
        if (packed.empty()) packed = CompressZlib(data, 6);
        EXPECT_EQ(TZLibArchiveWriter(stream_).AppendEntry(name, packed, static_cast<uint32_t>(data.size())), zaOk);
    }

    // An entry whose data inflates fully and then fails its checksum.
    void AddBroken(const std::string& name) {
        std::string broken = CompressZlib("data that inflates fully, then fails its check", 6);
        broken.back() ^= 0x55;
        Add(name, "", broken);
    }

    void Load() {
        EXPECT_EQ(TZLibArchiveWriter(stream_).WriteEnd(), zaOk);
        stream_.MoveTo(0);
        EXPECT_EQ(Unpacker.LoadFileTable(stream_), zaOk);
    }

    TZLibUnpacker Unpacker;

private:
    TStringStream stream_;
};
