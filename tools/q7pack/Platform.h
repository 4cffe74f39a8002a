#pragma once
// The little the packager needs from the operating system beyond streams.

#include <string>

// True when standard error is a terminal (progress is shown only there).
bool StderrIsTerminal();

// Replaces target by source in one step (rename over an existing file);
// false when the OS refuses.
bool MoveOverFile(const std::string& source, const std::string& target);

// A number unique to this process, for temporary file names.
unsigned long ProcessId();
