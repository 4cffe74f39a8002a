#include "archive/uZlibWriter.h"

#include <zlib.h>

#include <memory>

#include "archive/uZlibArchive.h"

#ifdef Q7_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace {

std::string Header(uint16_t nameLength, uint32_t packed, uint32_t unpacked) {
    const uint32_t fields[] = {ArchiveMagic | (static_cast<uint32_t>(nameLength) << 16), packed, unpacked};
    std::string bytes;
    for (uint32_t v : fields)
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((v >> shift) & 0xFF);
    return bytes;
}

#ifdef Q7_HAVE_LIBDEFLATE
std::string Compress(std::string_view data, int level) {
    std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(level), &libdeflate_free_compressor);
    if (!compressor) throw EZLibError();
    std::string out(libdeflate_zlib_compress_bound(compressor.get(), data.size()), '\0');
    size_t n = libdeflate_zlib_compress(compressor.get(), data.data(), data.size(), out.data(), out.size());
    if (n == 0) throw EZLibError();
    out.resize(n);
    return out;
}
#else
std::string Compress(std::string_view data, int level) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), level) != Z_OK)
        throw EZLibError();
    out.resize(size);
    return out;
}
#endif

}  // namespace

#ifdef Q7_HAVE_LIBDEFLATE
int MaxCompressionLevel() { return 12; }
// The fastest level whose archive is not larger than zlib's best level on a
// payload like the ones packagers ship (Windows DLLs and text); bench/levels.sh
// measures every level against zlib -9.
int DefaultCompressionLevel() { return 7; }
const char* CompressorName() { return "libdeflate"; }
#else
int MaxCompressionLevel() { return 9; }
int DefaultCompressionLevel() { return 9; }
const char* CompressorName() { return "zlib"; }
#endif

std::string CompressZlib(std::string_view data, int level) {
    if (level < 0 || level > MaxCompressionLevel()) throw EZLibError();
    return Compress(data, level);
}

uint8_t TZLibArchiveWriter::AppendEntry(std::string_view name, std::string_view packed, uint32_t unpackedSize) {
    if (name.size() > 0xFFFF || packed.empty() || packed.size() > static_cast<size_t>(INT32_MAX)) return zaAppend;
    std::string header = Header(static_cast<uint16_t>(name.size()), static_cast<uint32_t>(packed.size()), unpackedSize);
    if (!WriteAll(header) || !WriteAll(name) || !WriteAll(packed)) return zaAppendIo;
    return zaOk;
}

uint8_t TZLibArchiveWriter::WriteEnd() { return WriteAll(Header(0, 0, 0)) ? zaOk : zaWriteEofIo; }

bool TZLibArchiveWriter::WriteAll(std::string_view bytes) {
    // The stream layer counts in signed 32 bits: write in pieces below that.
    while (!bytes.empty()) {
        int32_t piece = static_cast<int32_t>(std::min<size_t>(bytes.size(), 1 << 30));
        int32_t written = output_.Write(bytes.data(), piece);
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}
