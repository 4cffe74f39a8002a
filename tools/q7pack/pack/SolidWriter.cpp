#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/pack/SolidWriter.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

#include "archive/uInflate.h"
#include "archive/uSolidArchive.h"
#include "archive/uZlibWriter.h"
#include "tools/q7pack/pack/LzmaEncoder.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Progress.h"
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
    uint32_t offset = 0, size = 0;  // in the segment
    std::string packed;
    unsigned char props[LzmaPropsSize] = {};
};

struct TSegmentJob {
    size_t first = 0, end = 0;  // inputs[first, end)
    std::vector<TPlannedFile> files;
    std::vector<TStreamJob> streams;
};

// Runs of the payload (inputs[1...]) in table order, each as large as the
// limit allows.
std::vector<TSegmentJob> SplitSegments(const std::vector<PackInput>& inputs, uint32_t limit) {
    std::vector<TSegmentJob> segments;
    uint64_t filled = limit;
    for (size_t i = 1; i < inputs.size(); ++i) {
        if (inputs[i].Size > limit)
            throw PackError(inputs[i].Path, "is larger than a segment of the solid format holds (" +
                                                std::to_string(limit >> 20) +
                                                " MiB): pack it without --solid");
        if (filled + inputs[i].Size > limit && filled > 0) {
            if (!segments.empty()) segments.back().end = i;
            segments.emplace_back().first = i;
            filled = 0;
        }
        filled += inputs[i].Size;
    }
    if (!segments.empty()) segments.back().end = inputs.size();
    return segments;
}

// Where the streams of a planned segment start: every target bytes, moved
// to the nearest boundary between groups of like pieces within a quarter of
// that, where LZMA loses the least by starting afresh.
std::vector<uint32_t> StreamStarts(const TPlannedBlock& plan, uint32_t target) {
    uint64_t size = plan.Bytes.size();
    uint64_t count =
        std::min<uint64_t>(std::max<uint64_t>((size + target - 1) / target, 1), SolidStreamLimit);
    auto distance = [](uint64_t a, uint64_t b) { return a > b ? a - b : b - a; };
    std::vector<uint32_t> starts{0};
    for (uint64_t k = 1; k < count; ++k) {
        uint64_t cut = size * k / count, best = cut;
        for (uint32_t group : plan.Groups)
            if (distance(group, cut) <= target / 4 &&
                (best == cut || distance(group, cut) < distance(best, cut)))
                best = group;
        if (best > starts.back() && best < size) starts.push_back(static_cast<uint32_t>(best));
    }
    return starts;
}

// Reads and lays out one segment; its streams are compressed later.
std::string PlanSegment(const std::vector<PackInput>& inputs, TSegmentJob& segment,
                        const TSolidLayout& layout) {
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
    segment.files = std::move(plan.Files);
    std::vector<uint32_t> starts = StreamStarts(plan, layout.streamTarget);
    for (size_t k = 0; k < starts.size(); ++k) {
        TStreamJob& stream = segment.streams.emplace_back();
        stream.offset = starts[k];
        stream.size =
            static_cast<uint32_t>((k + 1 < starts.size() ? starts[k + 1] : plan.Bytes.size()) - starts[k]);
    }
    return std::move(plan.Bytes);
}

// Compresses the segment's streams, threads at a time, largest first;
// raises the first failure.
void CompressStreams(const std::string& bytes, TSegmentJob& segment, unsigned threads) {
    std::vector<TStreamJob*> jobs;
    for (TStreamJob& stream : segment.streams) jobs.push_back(&stream);
    std::stable_sort(jobs.begin(), jobs.end(),
                     [](const TStreamJob* a, const TStreamJob* b) { return a->size > b->size; });
    std::atomic<size_t> next{0};
    std::vector<std::exception_ptr> failures(jobs.size());
    auto work = [&] {
        for (size_t i; (i = next++) < jobs.size();) {
            try {
                TLzmaSettings settings;
                settings.Dictionary = jobs[i]->size;
                jobs[i]->packed = EncodeLzma(std::string_view(bytes).substr(jobs[i]->offset, jobs[i]->size),
                                             settings, jobs[i]->props);
            } catch (...) {
                failures[i] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < std::min<size_t>(threads, jobs.size()); ++t) workers.emplace_back(work);
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
    std::vector<TSegmentJob> segments = SplitSegments(inputs, layout.segmentLimit);
    {
        Progress progress("packing");
        for (size_t s = 0; s < segments.size(); ++s) {
            progress.Step(s + 1, segments.size(), "segment " + std::to_string(s + 1));
            CompressStreams(PlanSegment(inputs, segments[s], layout), segments[s], std::max(1u, threads));
        }
    }
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
