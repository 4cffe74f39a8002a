#pragma once
// A Windows executable (PE32 or PE32+) read from its file bytes: headers,
// sections and data directories, with the few edits q7pack makes to a stub
// (drop a signature, swap the resource section, fix the checksum). The
// bytes come from anyone: every offset and size is checked before use and
// nothing wraps.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pe/uPeHeaders.h"

// The file is not a PE image, or one we will not touch; what() says why.
class EPeFormat : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TPeSection {
    std::string Name;  // up to 8 bytes, NULs removed
    uint32_t VirtualSize = 0;
    uint32_t VirtualAddress = 0;
    uint32_t SizeOfRawData = 0;
    uint32_t PointerToRawData = 0;
};

struct TPeDirectory {
    uint32_t VirtualAddress = 0;  // a file offset for the certificate table
    uint32_t Size = 0;
};

enum TPeDirectoryIndex : size_t { pdResource = 2, pdCertificate = 4, pdBaseReloc = 5 };

class TPeFile {
public:
    // Parses the headers of bytes (the whole file). Raises EPeFormat when
    // they are not a PE image or a section runs past the end of the file.
    explicit TPeFile(std::string bytes);

    const std::string& Bytes() const { return bytes_; }
    bool Is64() const { return is64_; }
    uint32_t FileAlignment() const { return fileAlignment_; }
    uint32_t SectionAlignment() const { return sectionAlignment_; }
    const std::vector<TPeSection>& Sections() const { return sections_; }
    TPeDirectory Directory(size_t index) const;

    // Where the section data ends: the largest PointerToRawData +
    // SizeOfRawData. An appended archive (and a signature) start here.
    uint32_t DataEnd() const;

    // The file bytes of rva .. rva + size, which must lie wholly in one
    // section's raw data. Raises EPeFormat otherwise.
    std::string_view ReadRva(uint32_t rva, uint32_t size) const;
    // Index of the section whose data holds rva, or Sections().size().
    size_t SectionOf(uint32_t rva) const;

    // The stored header checksum, and the one the bytes call for.
    uint32_t StoredChecksum() const;
    uint32_t ComputeChecksum() const;

    // Drops everything behind the section data (an archive, a signature);
    // with a signature also clears the certificate-table entry and the
    // checksum it covered: an unsigned image, ready to be signed again.
    void DropOverlayAndSignature();

    // Replaces section index's raw data by data (padded to the file
    // alignment) and moves the sections behind it, which must be movable:
    // only the base-relocation directory may point into them, and no
    // relocation may patch them. Fixes the section table, the directories
    // pointing into moved sections, SizeOfImage and SizeOfInitializedData.
    // The caller updates the directory of the replaced section itself.
    void ReplaceSectionData(size_t index, const std::string& data);
    void SetDirectory(size_t index, TPeDirectory directory);
    // Stores ComputeChecksum() in the header, as signing tools expect.
    void UpdateChecksum();

private:
    void Parse();
    void StoreSections();
    uint32_t Field32(size_t offset) const;
    void SetField32(size_t offset, uint32_t value);
    void CheckMovable(size_t first) const;

    std::string bytes_;
    TPeHeaderLayout layout_;
    bool is64_ = false;
    size_t fileHeader_ = 0;
    size_t optionalHeader_ = 0;
    size_t directories_ = 0;
    size_t directoryCount_ = 0;
    size_t sectionTable_ = 0;
    uint32_t fileAlignment_ = 0;
    uint32_t sectionAlignment_ = 0;
    std::vector<TPeSection> sections_;
};
