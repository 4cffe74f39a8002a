#pragma once
// The marks q7pack writes into a branded installer as RT_RCDATA resources of
// these names, and the installer looks for at start-up: both sides find them
// here, beside where the appended archive starts.

// Written into an installer whose brand asks for options.
constexpr char kOptionsResource[] = "OPTIONS";

// Written into every branded installer whose brand does not accept archive
// files: such an installer runs only the archive appended to it, never one
// its command line names.
constexpr char kOwnArchiveResource[] = "OWNARCHIVE";
