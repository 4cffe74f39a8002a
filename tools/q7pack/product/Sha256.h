#pragma once
// SHA-256 (FIPS 180-4), for the installer's digest that package managers
// compare with what they downloaded.

#include <string>

// The digest of bytes as 64 upper-case hexadecimal digits.
std::string Sha256Hex(const std::string& bytes);
