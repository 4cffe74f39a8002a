#pragma once
// The installer's texts for builds without a string table: the same list
// the resource script is made from, in Windows-1250.

#include <cstdint>
#include <string>

// The text of a string-table id; empty for an id the list lacks.
std::string PortableResourceText(uint32_t id);
