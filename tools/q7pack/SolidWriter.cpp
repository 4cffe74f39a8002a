#include "tools/q7pack/SolidWriter.h"

#include <zlib.h>

#include <atomic>
#include <exception>
#include <thread>

#include "archive/uSolidArchive.h"
#include "archive/uZlibWriter.h"
#include "tools/q7pack/LzmaEncoder.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/Progress.h"
#include "tools/q7pack/SolidPlan.h"

namespace {

// Below this a payload is one block: a second would cost more than the
// second core saves.
constexpr uint64_t kSplitFrom = 16u << 20;

// The table in the making, little-endian.
class TTableWriter {
public:
    void U8(uint32_t v) { bytes += static_cast<char>(v); }
    void U16(uint32_t v) { U8(v & 0xFF), U8(v >> 8 & 0xFF); }
    void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void Append(std::string_view v) { bytes.append(v); }

    std::string bytes;
};

struct TBlockJob {
    size_t first = 0, end = 0;  // inputs[first, end)
    TPlannedBlock plan;
    std::string packed;
    uint32_t size = 0;  // its bytes before compression
    unsigned char props[LzmaPropsSize] = {};
};

// Runs of the payload (inputs[1...]) in table order: as few as the window
// limit allows, and two or more from kSplitFrom on, of about equal size.
std::vector<TBlockJob> SplitBlocks(const std::vector<PackInput>& inputs) {
    uint64_t total = 0;
    for (size_t i = 1; i < inputs.size(); ++i) total += inputs[i].size;
    uint64_t count = std::max<uint64_t>((total + SolidWindowLimit - 1) / SolidWindowLimit, total >= kSplitFrom ? 2 : 1);
    uint64_t target = (total + count - 1) / count;
    std::vector<TBlockJob> blocks(inputs.size() > 1 ? 1 : 0);
    if (blocks.empty()) return blocks;
    blocks[0].first = 1;
    uint64_t filled = 0;
    for (size_t i = 1; i < inputs.size(); ++i) {
        bool over = filled + inputs[i].size > SolidWindowLimit;
        if (filled > 0 && (filled >= target || over)) {
            blocks.back().end = i;
            blocks.emplace_back().first = i;
            filled = 0;
        }
        filled += inputs[i].size;
    }
    blocks.back().end = inputs.size();
    return blocks;
}

void Compress(const std::vector<PackInput>& inputs, TBlockJob& job) {
    std::vector<std::string> contents, names;
    uint64_t size = 0;
    for (size_t i = job.first; i < job.end; ++i) {
        contents.push_back(inputs[i].content ? *inputs[i].content : ReadInputFile(inputs[i].path));
        names.push_back(inputs[i].name);
        size += contents.back().size();
        if (size > SolidWindowLimit) throw PackError(inputs[i].path, "grew while it was packed: its block is full");
    }
    job.plan = PlanBlock(contents, names);
    job.size = static_cast<uint32_t>(job.plan.Bytes.size());
    TLzmaSettings settings;
    settings.Dictionary = job.size;
    job.packed = EncodeLzma(job.plan.Bytes, settings, job.props);
    job.plan.Bytes = std::string();
}

// Compresses the blocks, threads at a time; raises the first failure.
void CompressAll(const std::vector<PackInput>& inputs, std::vector<TBlockJob>& blocks, unsigned threads) {
    std::atomic<size_t> next{0}, done{0};
    std::vector<std::exception_ptr> failures(blocks.size());
    auto work = [&] {
        for (size_t i; (i = next++) < blocks.size(); ++done) {
            try {
                Compress(inputs, blocks[i]);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < std::min<size_t>(threads, blocks.size()); ++t) workers.emplace_back(work);
    work();
    for (std::thread& t : workers) t.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

void WriteFile(TTableWriter& table, const TPlannedFile& file, uint32_t block) {
    table.U32(block);
    table.U8(file.Filter);
    if (file.Filter) {
        table.U32(file.ImageSize);
        table.U32(static_cast<uint32_t>(file.Ranges.size()));
        for (const TSolidRange& r : file.Ranges) table.U32(r.Offset), table.U32(r.Size), table.U32(r.Rva);
    }
    table.U32(static_cast<uint32_t>(file.Pieces.size()));
    for (const TSolidPiece& p : file.Pieces) table.U32(p.Offset), table.U32(p.Length);
}

std::string Table(const std::vector<PackInput>& inputs, const std::string& script,
                  const std::vector<TBlockJob>& blocks) {
    TTableWriter table;
    table.U32(static_cast<uint32_t>(blocks.size()));
    for (const TBlockJob& b : blocks) {
        table.U32(static_cast<uint32_t>(b.packed.size()));
        table.U32(b.size);
        table.Append(std::string_view(reinterpret_cast<const char*>(b.props), LzmaPropsSize));
    }
    table.U32(static_cast<uint32_t>(inputs.size()));
    auto name = [&](size_t i) {
        table.U16(static_cast<uint32_t>(inputs[i].name.size()));
        table.Append(inputs[i].name);
    };
    name(0);
    table.U32(static_cast<uint32_t>(script.size()));
    table.U32(static_cast<uint32_t>(adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(script.data()),
                                            static_cast<uInt>(script.size()))));
    table.U32(SolidInTable);
    table.Append(script);
    for (size_t b = 0; b < blocks.size(); ++b)
        for (size_t i = blocks[b].first; i < blocks[b].end; ++i) {
            const TPlannedFile& file = blocks[b].plan.Files[i - blocks[b].first];
            name(i);
            table.U32(file.Size);
            table.U32(file.Check);
            WriteFile(table, file, static_cast<uint32_t>(b));
        }
    return table.bytes;
}

}  // namespace

TSolidWritten WriteSolidArchive(TStream& out, const std::vector<PackInput>& inputs, unsigned threads,
                                const std::string& output) {
    std::vector<TBlockJob> blocks = SplitBlocks(inputs);
    {
        Progress progress("packing solid");
        progress.Step(0, blocks.size(), std::to_string(blocks.size()) + " blocks");
        CompressAll(inputs, blocks, std::max(1u, threads));
    }
    std::string script = inputs[0].content ? *inputs[0].content : ReadInputFile(inputs[0].path);
    std::string table = Table(inputs, script, blocks);
    if (table.size() > SolidTableLimit)
        throw PackError(output, "the table of names and pieces would exceed " + std::to_string(SolidTableLimit) + " bytes");
    std::string packedTable = CompressZlib(table, 9);
    TTableWriter header;
    header.Append(std::string_view(reinterpret_cast<const char*>(SolidMagic), sizeof SolidMagic));
    header.U32(static_cast<uint32_t>(packedTable.size()));
    header.U32(static_cast<uint32_t>(table.size()));
    TSolidWritten written;
    written.packedBytes = packedTable.size();
    auto write = [&](const std::string& bytes) {
        for (size_t at = 0; at < bytes.size(); at += 1u << 30) {
            int32_t n = static_cast<int32_t>(std::min<size_t>(bytes.size() - at, 1u << 30));
            if (out.Write(bytes.data() + at, n) != n) throw PackError(output, "write failed (disk full?)");
        }
        written.archiveBytes += bytes.size();
    };
    write(header.bytes);
    write(packedTable);
    for (const TBlockJob& b : blocks) {
        write(b.packed);
        written.packedBytes += b.packed.size();
        for (const TPlannedFile& f : b.plan.Files) written.unpackedBytes += f.Size;
    }
    written.unpackedBytes += script.size();
    return written;
}
