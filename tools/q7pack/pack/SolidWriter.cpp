#include "tools/q7pack/pack/SolidWriter.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

#include "archive/uInflate.h"
#include "archive/uSolidArchive.h"
#include "archive/uZlibWriter.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Progress.h"
#include "tools/q7pack/pack/LzmaEncoder.h"
#include "tools/q7pack/pack/SolidPlan.h"

namespace {

// The table in the making, little-endian.
class TTableWriter {
public:
    void U8(uint32_t v) { bytes += static_cast<char>(v); }
    void U16(uint32_t v) { U8(v & 0xFF), U8(v >> 8 & 0xFF); }
    void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
    void Append(std::string_view v) { bytes.append(v); }

    std::string bytes;
};

struct TStreamJob {
    uint32_t size = 0;
    std::string packed;
    unsigned char props[LzmaPropsSize] = {};
};

struct TSegmentJob {
    size_t first = 0, end = 0;  // inputs[first, end)
    std::vector<TPlannedFile> files;
    std::vector<TStreamJob> streams;
};

// Runs of the payload (inputs[1...]) in table order of about equal size,
// about as few as hold it with none above the target (a file larger than
// that makes a segment of its own, up to the format's limit).
std::vector<TSegmentJob> SplitSegments(const std::vector<PackInput>& inputs, const TSolidLayout& layout) {
    uint64_t total = 0;
    for (size_t i = 1; i < inputs.size(); ++i) {
        if (inputs[i].Size > layout.segmentLimit)
            throw PackError(inputs[i].Path, "is larger than a segment of the solid format holds (" +
                                                std::to_string(layout.segmentLimit >> 20) +
                                                " MiB): pack it without --solid");
        total += inputs[i].Size;
    }
    uint64_t share = total / std::max<uint64_t>((total + layout.segmentTarget - 1) / layout.segmentTarget, 1);
    std::vector<TSegmentJob> segments;
    uint64_t filled = 0;
    for (size_t i = 1; i < inputs.size(); ++i) {
        if (segments.empty() ||
            (filled > 0 && (filled >= share || filled + inputs[i].Size > layout.segmentTarget))) {
            if (!segments.empty()) segments.back().end = i;
            segments.emplace_back().first = i;
            filled = 0;
        }
        filled += inputs[i].Size;
    }
    if (!segments.empty()) segments.back().end = inputs.size();
    return segments;
}

// Reads, lays out and compresses one segment as one LZMA stream whose
// dictionary is the whole segment.
void PackSegment(const std::vector<PackInput>& inputs, TSegmentJob& segment, const TSolidLayout& layout) {
    std::vector<std::string> contents, names;
    uint64_t size = 0;
    for (size_t i = segment.first; i < segment.end; ++i) {
        contents.push_back(inputs[i].Content ? *inputs[i].Content : ReadInputFile(inputs[i].Path));
        names.push_back(inputs[i].Name);
        size += contents.back().size();
        if (size > layout.segmentLimit)
            throw PackError(inputs[i].Path, "grew while it was packed: its segment is full");
    }
    TPlannedBlock plan = PlanBlock(contents, names);
    contents.clear();
    segment.files = std::move(plan.Files);
    if (plan.Bytes.empty()) return;  // empty files only: no stream
    TStreamJob& stream = segment.streams.emplace_back();
    stream.size = static_cast<uint32_t>(plan.Bytes.size());
    TLzmaSettings settings;
    settings.Dictionary = stream.size;
    stream.packed = EncodeLzma(plan.Bytes, settings, stream.props);
}

// Packs the segments on threads threads, each taking the next segment
// whole; raises the first failure in table order.
void PackSegments(const std::vector<PackInput>& inputs, std::vector<TSegmentJob>& segments,
                  const TSolidLayout& layout, unsigned threads) {
    std::atomic<size_t> next{0};
    std::mutex shown;
    size_t done = 0;
    Progress progress("packing");
    std::vector<std::exception_ptr> failures(segments.size());
    auto work = [&] {
        for (size_t i; (i = next++) < segments.size();) {
            try {
                PackSegment(inputs, segments[i], layout);
            } catch (...) {
                failures[i] = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(shown);
            progress.Step(++done, segments.size(), "segment " + std::to_string(i + 1));
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < std::min<size_t>(threads, segments.size()); ++t) workers.emplace_back(work);
    work();
    for (std::thread& t : workers) t.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

void WriteFile(TTableWriter& table, const TPlannedFile& file, uint32_t segment) {
    table.U32(segment);
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
                  const std::vector<TSegmentJob>& segments) {
    TTableWriter table;
    table.U32(static_cast<uint32_t>(segments.size()));
    for (const TSegmentJob& segment : segments) {
        table.U32(static_cast<uint32_t>(segment.streams.size()));
        for (const TStreamJob& s : segment.streams) {
            table.U32(static_cast<uint32_t>(s.packed.size()));
            table.U32(s.size);
            table.Append(std::string_view(reinterpret_cast<const char*>(s.props), LzmaPropsSize));
        }
    }
    table.U32(static_cast<uint32_t>(inputs.size()));
    auto name = [&](size_t i) {
        table.U16(static_cast<uint32_t>(inputs[i].Name.size()));
        table.Append(inputs[i].Name);
    };
    name(0);
    table.U32(static_cast<uint32_t>(script.size()));
    table.U32(Adler32(1, reinterpret_cast<const unsigned char*>(script.data()), script.size()));
    table.U32(SolidInTable);
    table.Append(script);
    for (size_t s = 0; s < segments.size(); ++s)
        for (size_t i = segments[s].first; i < segments[s].end; ++i) {
            const TPlannedFile& file = segments[s].files[i - segments[s].first];
            name(i);
            table.U32(file.Size);
            table.U32(file.Check);
            WriteFile(table, file, static_cast<uint32_t>(s));
        }
    return table.bytes;
}

}  // namespace

TSolidWritten WriteSolidArchive(TStream& out, const std::vector<PackInput>& inputs, unsigned threads,
                                const std::string& output, const TSolidLayout& layout) {
    std::vector<TSegmentJob> segments = SplitSegments(inputs, layout);
    PackSegments(inputs, segments, layout, std::max(1u, threads));
    std::string script = inputs[0].Content ? *inputs[0].Content : ReadInputFile(inputs[0].Path);
    std::string table = Table(inputs, script, segments);
    if (table.size() > SolidTableLimit)
        throw PackError(output, "the table of names and pieces would exceed " +
                                    std::to_string(SolidTableLimit) + " bytes");
    std::string packedTable = CompressZlib(table, 9);
    TTableWriter header;
    header.U32(SolidMagic);
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
    for (const TSegmentJob& segment : segments) {
        for (const TStreamJob& s : segment.streams) {
            write(s.packed);
            written.packedBytes += s.packed.size();
        }
        for (const TPlannedFile& f : segment.files) written.unpackedBytes += f.Size;
    }
    written.unpackedBytes += script.size();
    return written;
}
