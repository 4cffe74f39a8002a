#pragma once
// Running a copy of the installer from a folder of its own: how an
// uninstaller goes on outside the folder it removes, which Windows does not
// let a running program delete its own file from. Windows only.
//
// A copy in a shared folder such as %TEMP% under a name anyone can know
// could be replaced, between writing and starting, by another program of
// the same user, which would then run with the uninstaller's rights. So:
// - the folder is made by this call (never one that was there before)
//   under a random name, created and opened in one step, and held open
//   without delete sharing, so it cannot be renamed or replaced meanwhile;
// - only the system and the owner of this process's new files may open it
//   (the Administrators group for an elevated process), so no program with
//   fewer rights can look inside, add a file or a DLL, or replace one;
// - the file is created new in it through the folder's handle, never
//   through a link, and held open without write or delete sharing from the
//   moment it is complete until Windows has started it.

#include <cstdint>
#include <string>

// Copies the running program's file as name into a new private folder of
// the temporary folder and starts the copy there (its current folder) with
// parameters. True when the copy runs. Refused (false, nothing made) when
// name is not a plain file name the installer would write (no folders, no
// device names). With status, the running program's file first moves
// beside the copy (as original.exe, where the drive allows it), so that the
// copy may remove the folder it came from; then the call waits until the
// copy has ended and gives its exit status there. A copy that ends with
// another status than 0 did not finish: the file goes back to its place
// (when that is still free), so that it can be run again.
bool StartPrivateCopy(const std::string& name, const std::string& parameters, int32_t* status = nullptr);
