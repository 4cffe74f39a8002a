// Archive benchmarks: extraction throughput against plain zlib, memory
// while extracting one large entry, loading a large table, and q7pack
// against single-threaded zlib level 9. Figures are printed with the
// baseline measured in the same run; nothing here passes or fails.
//
//   archive_bench payload DIR MEGABYTES   write a mixed payload of files
//   archive_bench extract ARCHIVE DIR     ExtractTo through file streams vs inflate in memory;
//                                         our InflateStream vs zlib's inflate
//   archive_bench big-entry ARCHIVE MB    write an archive holding one entry of MB megabytes
//   archive_bench extract-one ARCHIVE OUT extract entry 0 (run under a memory probe)
//   archive_bench table                   LoadFileTable of 20,000 entries, FindFile of the last
//   archive_bench zlib9 DIR               single-threaded zlib level 9 over every file below DIR

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/uZlibArchive.h"
#include "archive/uZlibWriter.h"

namespace fs = std::filesystem;

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Text that compresses like prose, and binary of three kinds: random
// (incompressible), records with small deltas, and runs.
std::string MakeText(std::mt19937& rng, size_t size) {
    static const char* words[] = {"installer", "the", "of", "súbor", "priečinok", "and", "setup", "registry",
                                  "value", "window", "dialog", "page", "to", "in", "is", "copy", "program",
                                  "Windows", "archive", "entry", "zlib", "stream", "file", "a", "target"};
    std::string s;
    while (s.size() < size) {
        s += words[rng() % (sizeof words / sizeof *words)];
        s += rng() % 12 == 0 ? ".\r\n" : " ";
    }
    s.resize(size);
    return s;
}

std::string MakeBinary(std::mt19937& rng, size_t size) {
    std::string s;
    uint32_t value = rng();
    while (s.size() < size) {
        size_t block = 4096;
        switch (rng() % 3) {
        case 0:
            for (size_t i = 0; i < block; ++i) s += static_cast<char>(rng());
            break;
        case 1:
            for (size_t i = 0; i < block / 4; ++i) {
                value += rng() % 16;
                s.append(reinterpret_cast<const char*>(&value), 4);
            }
            break;
        default:
            s.append(block, static_cast<char>(rng() % 4));
        }
    }
    s.resize(size);
    return s;
}

int Payload(const fs::path& dir, size_t megabytes) {
    std::mt19937 rng(42);
    fs::create_directories(dir / "data");
    size_t total = 0, index = 0;
    while (total < megabytes << 20) {
        size_t size = size_t{1} << (10 + rng() % 14);  // 1 KiB to 8 MiB
        bool text = index % 2 == 0;
        std::string bytes = text ? MakeText(rng, size) : MakeBinary(rng, size);
        fs::path name = dir / "data" / ("file" + std::to_string(index++) + (text ? ".txt" : ".bin"));
        std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        total += size;
    }
    std::fprintf(stderr, "payload: %zu files, %zu bytes in %s\n", index, total, dir.string().c_str());
    return 0;
}

// zlib's inflate streaming as the installer used it: 32 KiB of input at
// a time into a 32 KiB buffer that is discarded.
bool ZlibInflate(const std::string& packed) {
    z_stream z{};
    inflateInit(&z);
    static unsigned char out[InflateBufferSize];
    int status = Z_OK;
    for (size_t at = 0; status == Z_OK && at < packed.size(); at += InflateBufferSize) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data() + at));
        z.avail_in = static_cast<uInt>(std::min<size_t>(InflateBufferSize, packed.size() - at));
        do {
            z.next_out = out;
            z.avail_out = sizeof out;
            status = inflate(&z, Z_NO_FLUSH);
        } while (status == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    }
    inflateEnd(&z);
    return status == Z_STREAM_END;
}

// Our InflateStream against zlib's inflate on the same streams in memory,
// both into a discarding output, alternating, best of five.
void CompareInflaters(const std::vector<std::string>& packed, double mb) {
    double zlib = 1e9, ours = 1e9;
    for (int round = 0; round < 5; ++round) {
        auto start = std::chrono::steady_clock::now();
        for (const std::string& p : packed)
            if (!ZlibInflate(p)) std::printf("  zlib refused a stream\n");
        zlib = std::min(zlib, Seconds(start));
        start = std::chrono::steady_clock::now();
        for (const std::string& p : packed) {
            TStringStream in(p);
            TNullStream sink;
            InflateStream(in, sink);
        }
        ours = std::min(ours, Seconds(start));
    }
    std::printf("  zlib inflate, streaming:           %7.1f MiB/s\n", mb / zlib);
    std::printf("  our InflateStream, streaming:      %7.1f MiB/s\n", mb / ours);
    std::printf("  speed ratio (ours / zlib):         %7.2f  (goal >= 0.8)\n", zlib / ours);
}

int Extract(const std::string& archive, const fs::path& dir) {
    fs::create_directories(dir);
    TFileStream source(archive, fmOpenReadShareAll);
    TZLibUnpacker unpacker;
    if (unpacker.LoadFileTable(source) != zaOk) return 1;

    // Baseline: the compressed streams already in memory, inflated into
    // memory by zlib's one-shot uncompress.
    std::vector<std::string> packed;
    uint64_t bytes = 0;
    for (const TZLibPackedFile& e : unpacker.Files) {
        std::string p(e.PackedSize, '\0');
        source.MoveTo(e.DataOffset);
        source.Read(p.data(), static_cast<int32_t>(p.size()));
        packed.push_back(std::move(p));
        bytes += e.UnpackedSize;
    }
    double best = 1e9, bestOurs = 1e9, bestNull = 1e9;
    std::string out;
    for (int round = 0; round < 3; ++round) {
        auto start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < packed.size(); ++i) {
            out.resize(unpacker.Files[i].UnpackedSize);
            uLongf n = static_cast<uLongf>(out.size());
            uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(packed[i].data()),
                       static_cast<uLong>(packed[i].size()));
        }
        best = std::min(best, Seconds(start));

        start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < unpacker.Files.size(); ++i) {
            TFileStream target((dir / ("e" + std::to_string(i))).string(), CreateMode);
            if (unpacker.Files[i].ExtractTo(&target) != zaOk) return 1;
        }
        bestOurs = std::min(bestOurs, Seconds(start));

        // The same streaming inflation with the files left out, to tell
        // the cost of 32 KiB buffers from the cost of writing files.
        start = std::chrono::steady_clock::now();
        for (const TZLibPackedFile& e : unpacker.Files) {
            TNullStream sink;
            if (e.ExtractTo(&sink) != zaOk) return 1;
        }
        bestNull = std::min(bestNull, Seconds(start));
    }
    double mb = static_cast<double>(bytes) / (1 << 20);
    std::printf("extract: %.0f MiB in %zu entries\n", mb, packed.size());
    CompareInflaters(packed, mb);
    std::printf("  zlib uncompress, memory to memory: %7.1f MiB/s\n", mb / best);
    std::printf("  ExtractTo, file stream to files:   %7.1f MiB/s\n", mb / bestOurs);
    std::printf("  ratio (ours / zlib in memory):     %7.2f  (goal >= 0.85)\n", best / bestOurs);
    std::printf("  ExtractTo into a discarding stream: %7.1f MiB/s (ratio %.2f: the rest is writing files)\n",
                mb / bestNull, best / bestNull);
    return 0;
}

// One entry of the given size, deflated as it is generated so the bench
// never holds it whole.
int BigEntry(const std::string& archive, size_t megabytes) {
    std::mt19937 rng(7);
    std::string chunk;
    z_stream z{};
    deflateInit(&z, 1);
    std::string packed;
    std::vector<unsigned char> out(1 << 20);
    for (size_t done = 0; done < megabytes; ++done) {
        chunk = done % 2 ? MakeText(rng, 1 << 20) : MakeBinary(rng, 1 << 20);
        z.next_in = reinterpret_cast<Bytef*>(chunk.data());
        z.avail_in = static_cast<uInt>(chunk.size());
        int flush = done + 1 == megabytes ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, flush);
            packed.append(reinterpret_cast<char*>(out.data()), out.size() - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    TFileStream file(archive, CreateMode);
    TZLibArchiveWriter writer(file);
    if (writer.AppendEntry("big.bin", packed, static_cast<uint32_t>(megabytes << 20)) != zaOk) return 1;
    return writer.WriteEnd();
}

int ExtractOne(const std::string& archive, const std::string& target) {
    TFileStream source(archive, fmOpenReadShareAll);
    TZLibUnpacker unpacker;
    if (unpacker.LoadFileTable(source) != zaOk || unpacker.FileCount() == 0) return 1;
    TFileStream out(target, CreateMode);
    return unpacker.FileAt(0).ExtractTo(&out);
}

int Table() {
    TStringStream archive;
    TZLibArchiveWriter writer(archive);
    std::string packed = CompressZlib("entry data", 6);
    const int entries = 20000;
    for (int i = 0; i < entries; ++i)
        writer.AppendEntry("folder\\sub\\file" + std::to_string(i) + ".dat", packed, 10);
    writer.WriteEnd();
    TZLibUnpacker unpacker;
    const int rounds = 50;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
        archive.MoveTo(0);
        unpacker.LoadFileTable(archive);
    }
    double load = Seconds(start) / rounds;
    start = std::chrono::steady_clock::now();
    const TZLibPackedFile* found = nullptr;
    for (int r = 0; r < rounds; ++r) found = unpacker.FindFile("FOLDER\\SUB\\FILE19999.DAT");
    double find = Seconds(start) / rounds;
    std::printf("table: %d entries, LoadFileTable %.2f ms, FindFile of the last %.2f ms (%s)\n",
                unpacker.FileCount(), load * 1e3, find * 1e3, found ? "found" : "NOT FOUND");
    return found ? 0 : 1;
}

int Zlib9(const fs::path& dir) {
    uint64_t in = 0, out = 0;
    auto start = std::chrono::steady_clock::now();
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        if (!item.is_regular_file()) continue;
        std::string data = ReadFile(item.path());
        uLongf size = compressBound(static_cast<uLong>(data.size()));
        std::string packed(size, '\0');
        compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), 9);
        in += data.size();
        out += size;
    }
    std::printf("%.3f %llu %llu\n", Seconds(start), static_cast<unsigned long long>(in),
                static_cast<unsigned long long>(out));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> a(argv + 1, argv + argc);
    if (a.size() == 3 && a[0] == "payload") return Payload(a[1], std::stoul(a[2]));
    if (a.size() == 3 && a[0] == "extract") return Extract(a[1], a[2]);
    if (a.size() == 3 && a[0] == "big-entry") return BigEntry(a[1], std::stoul(a[2]));
    if (a.size() == 3 && a[0] == "extract-one") return ExtractOne(a[1], a[2]);
    if (a.size() == 1 && a[0] == "table") return Table();
    if (a.size() == 2 && a[0] == "zlib9") return Zlib9(a[1]);
    std::fprintf(stderr, "usage: see the comment at the top of bench/archive_bench.cpp\n");
    return 2;
}
