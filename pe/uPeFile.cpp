#include "pe/uPeFile.h"

#include <algorithm>
#include <cstdio>

#include "pe/uPeHeaders.h"
#include "system/io/uByteOrder.h"

namespace {

constexpr size_t kChecksumField = 64;  // in the optional header, PE32 and PE32+ alike

// True when n bytes at offset lie inside size (overflow-safe).
bool Fits(size_t size, uint64_t offset, uint64_t n) { return offset <= size && n <= size - offset; }

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

// How far a section reaches in memory: its virtual size, or its raw size
// when that is larger (the loader maps whole raw data).
uint64_t Span(const TPeSection& s) { return std::max(s.VirtualSize, s.SizeOfRawData); }

void StoreLE32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}

// A section name as messages quote it: its 8 bytes come from the file, so
// anything but printable ASCII is written \xNN.
std::string Quoted(const std::string& name) {
    std::string out = "'";
    for (unsigned char c : name) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, c < 0x20 || c >= 0x7F ? "\\x%02x" : "%c", c);
        out += escaped;
    }
    return out + "'";
}

}  // namespace

TPeFile::TPeFile(std::string bytes) : bytes_(std::move(bytes)) { Parse(); }

uint32_t TPeFile::Field32(size_t offset) const {
    return LoadLE32(reinterpret_cast<const unsigned char*>(bytes_.data()) + offset);
}

void TPeFile::SetField32(size_t offset, uint32_t value) { StoreLE32(&bytes_[offset], value); }

void TPeFile::Parse() {
    auto at = [this](size_t offset) {
        return reinterpret_cast<const unsigned char*>(bytes_.data()) + offset;
    };
    size_t size = bytes_.size();
    const char* fault = nullptr;
    std::optional<TPeHeaderLayout> layout = LocatePeHeaders(at(0), size, &fault);
    if (!layout) throw EPeFormat(fault ? fault : "not a Windows executable");
    layout_ = *layout;
    fileHeader_ = layout->FileHeader;
    optionalHeader_ = layout->OptionalHeader;
    size_t sections = layout->SectionCount;
    size_t optionalSize = layout->OptionalHeaderSize;
    if (optionalSize < 2) throw EPeFormat("damaged executable header");
    uint32_t magic = LoadLE16(at(optionalHeader_));
    if (magic != 0x10B && magic != 0x20B) throw EPeFormat("unknown kind of executable header");
    is64_ = magic == 0x20B;
    size_t directoriesAt = is64_ ? 112 : 96;
    if (optionalSize < directoriesAt) throw EPeFormat("damaged executable header");
    directories_ = optionalHeader_ + directoriesAt;
    directoryCount_ = std::min<size_t>({Field32(directories_ - 4), (optionalSize - directoriesAt) / 8, 16});
    sectionAlignment_ = Field32(optionalHeader_ + 32);
    fileAlignment_ = Field32(optionalHeader_ + 36);
    sectionTable_ = layout->SectionTable;

    sections_.clear();
    for (size_t i = 0; i < sections; ++i) {
        size_t h = sectionTable_ + i * PeSectionHeaderSize;
        TPeSection s;
        s.Name = bytes_.substr(h, 8);
        s.Name.erase(std::find(s.Name.begin(), s.Name.end(), '\0'), s.Name.end());
        s.VirtualSize = Field32(h + 8);
        s.VirtualAddress = Field32(h + 12);
        s.SizeOfRawData = Field32(h + 16);
        s.PointerToRawData = Field32(h + 20);
        sections_.push_back(s);
    }
    // The installer looks for its archive at this end; it must be in the file.
    if (DataEnd() > size) throw EPeFormat("damaged executable: its sections run past the end of the file");
}

TPeDirectory TPeFile::Directory(size_t index) const {
    if (index >= directoryCount_) return {};
    return {Field32(directories_ + 8 * index), Field32(directories_ + 8 * index + 4)};
}

void TPeFile::SetDirectory(size_t index, TPeDirectory directory) {
    if (index >= directoryCount_)
        throw EPeFormat("the executable header has no room for data directory " + std::to_string(index));
    SetField32(directories_ + 8 * index, directory.VirtualAddress);
    SetField32(directories_ + 8 * index + 4, directory.Size);
}

uint32_t TPeFile::DataEnd() const {
    return PeSectionDataEnd(reinterpret_cast<const unsigned char*>(bytes_.data()), layout_);
}

size_t TPeFile::SectionOf(uint32_t rva) const {
    for (size_t i = 0; i < sections_.size(); ++i)
        if (rva >= sections_[i].VirtualAddress && rva - sections_[i].VirtualAddress < Span(sections_[i]))
            return i;
    return sections_.size();
}

std::string_view TPeFile::ReadRva(uint32_t rva, uint32_t size) const {
    size_t i = SectionOf(rva);
    if (i == sections_.size()) throw EPeFormat("address " + std::to_string(rva) + " lies in no section");
    const TPeSection& s = sections_[i];
    uint64_t inSection = rva - s.VirtualAddress;
    if (!Fits(s.SizeOfRawData, inSection, size))
        throw EPeFormat("data at address " + std::to_string(rva) + " runs past its section's end");
    return std::string_view(bytes_).substr(s.PointerToRawData + inSection, size);
}

uint32_t TPeFile::StoredChecksum() const { return Field32(optionalHeader_ + kChecksumField); }

uint32_t TPeFile::ComputeChecksum() const {
    // The 16-bit one's-complement style sum of the file with the checksum
    // field taken as zero, plus the file length.
    const size_t skip = optionalHeader_ + kChecksumField;
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes_.size(); i += 2) {
        if (i >= skip && i < skip + 4) continue;
        uint32_t word = static_cast<unsigned char>(bytes_[i]);
        if (i + 1 < bytes_.size()) word |= static_cast<unsigned char>(bytes_[i + 1]) << 8;
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint32_t>((sum & 0xFFFF) + bytes_.size());
}

void TPeFile::UpdateChecksum() { SetField32(optionalHeader_ + kChecksumField, ComputeChecksum()); }

void TPeFile::DropOverlayAndSignature() {
    uint32_t end = DataEnd();
    bytes_.resize(std::max<size_t>(end, sectionTable_ + sections_.size() * PeSectionHeaderSize));
    // The checksum is cleared only with a signature: an unsigned stub keeps
    // its bytes.
    if (Directory(pdCertificate).VirtualAddress != 0 || Directory(pdCertificate).Size != 0) {
        SetDirectory(pdCertificate, {});
        SetField32(optionalHeader_ + kChecksumField, 0);
    }
    if (Field32(fileHeader_ + 8) >= end) {  // a COFF symbol table behind the sections went with the rest
        SetField32(fileHeader_ + 8, 0);
        SetField32(fileHeader_ + 12, 0);
    }
}

void TPeFile::CheckMovable(size_t index) const {
    const TPeSection& replaced = sections_[index];
    if (!IsPowerOfTwo(fileAlignment_) || !IsPowerOfTwo(sectionAlignment_) ||
        sectionAlignment_ < fileAlignment_)
        throw EPeFormat("unusual section alignment; this executable cannot be edited");
    for (size_t i = 0; i < sections_.size(); ++i) {
        const TPeSection& s = sections_[i];
        bool before = s.VirtualAddress + Span(s) <= replaced.VirtualAddress &&
                      (s.SizeOfRawData == 0 ||
                       uint64_t{s.PointerToRawData} + s.SizeOfRawData <= replaced.PointerToRawData);
        if (i < index && !before)
            throw EPeFormat("section " + Quoted(s.Name) + " overlaps the one being replaced");
        bool isRelocations =
            Directory(pdBaseReloc).Size != 0 && SectionOf(Directory(pdBaseReloc).VirtualAddress) == i;
        if (i > index && !isRelocations)
            throw EPeFormat("section " + Quoted(s.Name) + " lies behind " + Quoted(replaced.Name) +
                            " and cannot be moved");
    }
    for (size_t d = 0; d < directoryCount_; ++d) {
        TPeDirectory dir = Directory(d);
        if (d == pdCertificate || dir.Size == 0) continue;
        size_t in = SectionOf(dir.VirtualAddress);
        if (in >= index && in < sections_.size() && !(d == pdResource && in == index) && d != pdBaseReloc)
            throw EPeFormat("data directory " + std::to_string(d) + " points into a section that would move");
    }
    // No relocation may patch the replaced or the moved sections.
    TPeDirectory relocs = Directory(pdBaseReloc);
    if (relocs.Size == 0) return;
    std::string_view table = ReadRva(relocs.VirtualAddress, relocs.Size);
    for (size_t at = 0; at + 8 <= table.size();) {
        auto p = reinterpret_cast<const unsigned char*>(table.data() + at);
        uint32_t page = LoadLE32(p), blockSize = LoadLE32(p + 4);
        if (blockSize < 8 || blockSize > table.size() - at) throw EPeFormat("damaged base relocation table");
        for (size_t e = 8; e + 2 <= blockSize; e += 2) {
            uint32_t entry = LoadLE16(p + e);
            if ((entry >> 12) != 0 && uint64_t{page} + (entry & 0xFFF) >= replaced.VirtualAddress)
                throw EPeFormat("a base relocation patches the section being replaced");
        }
        at += blockSize;
    }
}

void TPeFile::ReplaceSectionData(size_t index, const std::string& data) {
    CheckMovable(index);
    std::vector<TPeDirectory> directories(directoryCount_);
    std::vector<size_t> directoryIn(directoryCount_);  // by the layout before the change
    for (size_t d = 0; d < directoryCount_; ++d) {
        directories[d] = Directory(d);
        bool rva = directories[d].Size != 0 && d != pdCertificate;
        directoryIn[d] = rva ? SectionOf(directories[d].VirtualAddress) : sections_.size();
    }
    std::vector<TPeSection> sections = sections_;
    TPeSection& replaced = sections[index];
    uint64_t raw = AlignUp(data.size(), fileAlignment_);
    if (raw >= (uint64_t{1} << 31)) throw EPeFormat("section data too large");
    // The new file: headers and the sections in front unchanged, then the
    // new data and the moved sections; the overlay, if any, is gone.
    std::string out = bytes_.substr(0, replaced.PointerToRawData) + data;
    out.resize(replaced.PointerToRawData + raw, '\0');
    uint32_t oldRaw = replaced.SizeOfRawData;
    replaced.VirtualSize = static_cast<uint32_t>(data.size());
    replaced.SizeOfRawData = static_cast<uint32_t>(raw);
    uint64_t nextAddress = AlignUp(uint64_t{replaced.VirtualAddress} + Span(replaced), sectionAlignment_);
    for (size_t i = index + 1; i < sections.size(); ++i) {
        TPeSection& s = sections[i];
        for (size_t d = 0; d < directoryCount_; ++d)
            if (directoryIn[d] == i)
                directories[d].VirtualAddress =
                    static_cast<uint32_t>(directories[d].VirtualAddress - s.VirtualAddress + nextAddress);
        if (s.SizeOfRawData != 0) {
            out.append(bytes_, s.PointerToRawData, s.SizeOfRawData);
            s.PointerToRawData = static_cast<uint32_t>(out.size() - s.SizeOfRawData);
        }
        s.VirtualAddress = static_cast<uint32_t>(nextAddress);
        nextAddress = AlignUp(nextAddress + Span(s), sectionAlignment_);
    }
    if (nextAddress > UINT32_MAX || out.size() >= (uint64_t{1} << 31))
        throw EPeFormat("the image would be too large");

    bytes_.swap(out);
    sections_.swap(sections);
    StoreSections();
    if (pdCertificate < directoryCount_) directories[pdCertificate] = {};
    for (size_t d = 0; d < directoryCount_; ++d) SetDirectory(d, directories[d]);
    SetField32(optionalHeader_ + 56, static_cast<uint32_t>(nextAddress));  // SizeOfImage
    uint32_t initialized = Field32(optionalHeader_ + 8);                   // SizeOfInitializedData
    SetField32(optionalHeader_ + 8, initialized - oldRaw + sections_[index].SizeOfRawData);
}

void TPeFile::StoreSections() {
    for (size_t i = 0; i < sections_.size(); ++i) {
        size_t h = sectionTable_ + i * PeSectionHeaderSize;
        SetField32(h + 8, sections_[i].VirtualSize);
        SetField32(h + 12, sections_[i].VirtualAddress);
        SetField32(h + 16, sections_[i].SizeOfRawData);
        SetField32(h + 20, sections_[i].PointerToRawData);
    }
}
