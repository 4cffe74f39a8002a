#pragma once
// Writes a brand into a stub's resources, and reads back what names an
// installer (its title and version) for q7pack list.

#include <string>

#include "pe/uPeResources.h"
#include "tools/q7pack/brand/BrandFile.h"

// Rewrites image's resource section with the brand's resources; the image
// loses any overlay and signature. Raises EPeFormat when the stub's
// resources cannot be edited.
void ApplyBrand(TPeFile& image, const TBrand& brand);
// The same edit on a list of resources read from a stub. Raises EPeFormat
// for a resource of the stub that cannot be edited (a damaged dialog,
// string table or manifest).
void BrandResources(std::vector<TResource>& resources, const TBrand& brand);

// The bytes of a stub file with the brand written in: the branded image,
// followed by any archive that was appended to it; a signature is dropped.
// Raises EPeFormat as ApplyBrand does.
std::string BrandedStub(const std::string& file, const TBrand& brand);

// The caption of the first page and the product version of an installer,
// in UTF-8; empty when it has none.
struct TInstallerIdentity {
    std::string Title;
    std::string Version;
    bool Utf8 = false;  // the manifest makes UTF-8 its code page
    bool OwnArchiveOnly = false;  // archive files named on the command line are refused
};
TInstallerIdentity ReadIdentity(const TPeFile& image);

// A program's version resource (VersionString reads its texts); empty
// when the program has none. Raises EPeFormat for resources that cannot
// be read.
std::string ProgramVersionResource(const TPeFile& image);
