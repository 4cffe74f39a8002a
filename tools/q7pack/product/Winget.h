#pragma once
// The winget manifests of a product's installer: version, installer and
// default locale, in the multi-file form of manifest schema 1.10.0, with
// the installer's digest, scope, switches and exit codes.

#include <string>

#include "tools/q7pack/product/Product.h"

// Writes ID.yaml, ID.installer.yaml and ID.locale.LOCALE.yaml into folder
// for the installer file (built from product) that users download from
// url. Raises PackError for an identifier, version or URL that winget
// refuses, and for files that cannot be written.
void WriteWingetManifests(const TProduct& product, const std::string& installer, const std::string& url,
                          const std::string& folder);
