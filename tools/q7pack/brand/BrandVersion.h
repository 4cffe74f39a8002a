#pragma once
// The version information and the manifest a brand writes: Windows shows
// the first in the file's properties and reads the second before start.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/q7pack/brand/BrandFile.h"

// A VS_VERSIONINFO resource with the brand's fixed numbers and texts, in
// Unicode, once for each of the Windows language ids languages (the
// installer's languages; US English when there are none).
std::string VersionResource(const TBrandVersion& version, const std::vector<uint16_t>& languages = {});

// The value of one text (ProductVersion, ...) of a version resource; empty
// when it has none or the resource is damaged.
std::u16string VersionString(const std::string& resource, const std::u16string& key);

// The manifest asking Windows (10 version 1903 and later) to run the
// program's ANSI functions in UTF-8: the activeCodePage element.
std::string WithUtf8CodePage(std::string manifest);

// The manifest with a new description and requested execution level.
std::string EditManifest(std::string manifest, const std::optional<std::string>& description,
                         const std::optional<std::string>& executionLevel);
