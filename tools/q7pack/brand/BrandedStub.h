#pragma once
// Installer stubs as files: read for an installer (without what was
// appended to them), or written back as one application's own stub, with
// its brand, by q7pack brand.

#include <cstdint>
#include <string>

#include "tools/q7pack/brand/BrandFile.h"

// The stub's image without any archive or signature appended to it (the
// certificate-table entry cleared with them), with the brand's resources
// written in when there is one. Raises PackError for a file that is not a
// PE image and for a brand that does not fit it.
std::string ReadStubImage(const std::string& path, const TBrand* brand = nullptr);

// Writes output: the stub with the brand's resources, followed by any
// archive that was appended to it (a signature is dropped). Returns the
// bytes written; raises PackError, leaving output untouched.
uint64_t WriteBrandedStub(const std::string& stubPath, const std::string& brandFile, const std::string& output);
