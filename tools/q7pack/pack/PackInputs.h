#pragma once
// Turns the packager's command-line inputs into the list of entries to
// store, in archive order, and refuses what the installer could not use.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct PackInput {
    std::string Name;  // the stored name, '\' between folders
    std::string Path;  // the file it is read from
    uint64_t Size = 0;
    std::optional<std::string> Content;  // what is stored instead of the file's bytes
};

// setup.ini first (stored under that name), then the payload arguments in
// order: a file under its base name; a folder as every file below it, with
// its path relative to the folder, in sorted order; NAME=PATH as PATH
// stored under NAME (NAME\... for a folder). An argument that names an
// existing file or folder is a path even when it holds '='. Names use '\'
// between folders and the installer's code page (see Names.h).
// Links named as arguments are followed; inside a payload folder, links,
// FIFOs, sockets and devices are refused, and the setup.ini given is left
// out of a folder that holds it.
// Raises PackError for a missing or unreadable input, a name that the
// installer would not write, a name over 65535 bytes, a file of 4 GiB or
// more, and two names that are equal when A-Z is lowered and / taken as \.
std::vector<PackInput> CollectInputs(const std::string& setupIni, const std::vector<std::string>& payload);

// Raises PackError for the first name of inputs that the installer would
// not write, is longer than 65535 bytes or clashes with an earlier one, as
// CollectInputs does.
void CheckStoredNames(const std::vector<PackInput>& inputs);
