// The safe folder walk on Windows: each level is opened relative to the
// one above it (NtCreateFile with the held folder as the root of the name),
// without following reparse points (symbolic links, junctions), which are
// refused, and held open without delete sharing, so nobody can rename a
// level or swap it for a link while it is used. Names are parsed from the
// held folder on: a reparse point set on a held folder afterwards (a mount
// point on an emptied folder) is never crossed, as the parse starts inside
// the folder itself. Renames go through the renamed file's handle with the
// target folder's handle as the root of the new name. A new file is marked
// for deletion from the moment it is made, so the system removes it when
// the process ends in any way before Commit; Commit unmarks it and renames
// it.

#include <windows.h>
// winternl.h needs the types of windows.h.
#include <winternl.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

#include "system/fs/uSafeFolder.h"
#include "system/io/uDllSearch.h"

namespace {

std::string LastErrorText() { return OsErrorText(GetLastError()); }

// The one place the failures of this file are raised: what happened to
// path, and with Why, the system's reason after it. Out of line, so that
// each caller is a call.
[[noreturn]] __attribute__((noinline)) void Fail(const std::string& path, const char* what) {
    throw EPathError(path, what);
}
[[noreturn]] __attribute__((noinline)) void FailWhy(const std::string& path, const char* what) {
    throw EPathError(path, what + LastErrorText());
}

HANDLE Win(THandle handle) { return reinterpret_cast<HANDLE>(handle); }

constexpr DWORD kFolderAccess = FILE_READ_ATTRIBUTES | FILE_TRAVERSE | SYNCHRONIZE;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Makes path and the folders above it that are missing.
bool CreateFolders(const std::string& path) {
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && path[slash - 1] != ':' &&
        !CreateFolders(path.substr(0, slash)))
        return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

constexpr char kNoLinks[] = "is a link (reparse point); nothing is written through links";

// UTF-16 names are held in a vector, not a std::wstring: the library
// ships std::wstring's members compiled in its archive, which would link
// all of them (about 35 KiB) into the installer for these few uses.
using TWide = std::vector<wchar_t>;

TWide Wide(const std::string& text) {
    int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    TWide result(static_cast<size_t>(std::max(wide, 0)));
    if (wide > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), wide);
    return result;
}

// name relative to the open folder, for the NT calls; text holds its UTF-16.
struct TRelativeName {
    TRelativeName(HANDLE folder, const std::string& name, ULONG flags = OBJ_CASE_INSENSITIVE) : text(Wide(name)) {
        string = {static_cast<USHORT>(text.size() * sizeof(wchar_t)),
                  static_cast<USHORT>(text.size() * sizeof(wchar_t)), text.data()};
        InitializeObjectAttributes(&attributes, &string, flags, folder, nullptr);
    }
    TWide text;
    UNICODE_STRING string;
    OBJECT_ATTRIBUTES attributes;
};

bool Failed(NTSTATUS status) {
    if (status >= 0) return false;
    SetLastError(RtlNtStatusToDosError(status));
    return true;
}

// Opens (or makes, by disposition) name in folder without following a
// reparse point at its end; INVALID_HANDLE_VALUE with the error set. With
// created, tells whether it made name. A name of our own making (a new
// temporary file's) may be looked up as it is spelt: Windows looks it up
// without regard to case all the same, while Wine, asked so for a name
// that is not there, would read the whole folder to compare every name.
HANDLE OpenIn(HANDLE folder, const std::string& name, DWORD access, DWORD share, ULONG disposition,
              ULONG options, bool* created = nullptr, bool asSpelt = false) {
    TRelativeName relative(folder, name, asSpelt ? 0 : OBJ_CASE_INSENSITIVE);
    IO_STATUS_BLOCK io;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (Failed(NtCreateFile(&h, access | SYNCHRONIZE, &relative.attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                            share, disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT,
                            nullptr, 0)))
        return INVALID_HANDLE_VALUE;
    if (created) *created = io.Information == FILE_CREATED;
    return h;
}

// Closes the handle it holds.
struct TOpen {
    explicit TOpen(HANDLE h) : handle(h) {}
    ~TOpen() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    TOpen(const TOpen&) = delete;
    TOpen& operator=(const TOpen&) = delete;
    HANDLE handle;
};

// The full name of an open file or folder as the system has it, to tell
// what a handle really opened.
std::string FinalPath(HANDLE h) {
    std::vector<char> path(MAX_PATH);
    DWORD n;
    while ((n = GetFinalPathNameByHandleA(h, path.data(), static_cast<DWORD>(path.size()), 0)) >= path.size())
        path.resize(n + 1);
    return std::string(path.data(), n);
}

bool SetDeleteOnClose(HANDLE file, bool remove) {
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(remove ? TRUE : FALSE)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// Renames the open file to name in folder; false with the error set.
bool RenameOpenFile(HANDLE file, HANDLE folder, const std::string& name, bool replace) {
    TWide target = Wide(name);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = folder;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::wmemcpy(info->FileName, target.data(), target.size());
    IO_STATUS_BLOCK io;
    return !Failed(NtSetInformationFile(file, &io, info, static_cast<ULONG>(buffer.size()),
                                        static_cast<FILE_INFORMATION_CLASS>(10)));  // FileRenameInformation
}

// The attributes of an open file or folder; false when they cannot be
// had. (GetFileInformationByHandle tells them too, but asks for the
// volume's serial number as well, which costs Wine a request to its mount
// manager in another process: thousands of them in an upgrade.)
bool AttributesOf(HANDLE h, DWORD& attributes) {
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) return false;
    attributes = basic.FileAttributes;
    return true;
}

// Takes the read-only mark off the file name in folder, so that it can be
// replaced or removed.
void MakeWritable(HANDLE folder, const std::string& name) {
    TOpen file(OpenIn(folder, name, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, FILE_OPEN,
                      FILE_NON_DIRECTORY_FILE));
    DWORD attributes;
    if (file.handle == INVALID_HANDLE_VALUE || !AttributesOf(file.handle, attributes) ||
        !(attributes & FILE_ATTRIBUTE_READONLY))
        return;
    FILE_BASIC_INFO basic = {};  // times of 0 stay as they are
    basic.FileAttributes = (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(file.handle, FileBasicInfo, &basic, sizeof basic);
}

}  // namespace

// The system's generator through bcrypt.dll, loaded from System32: the
// older RtlGenRandom (ADVAPI32!SystemFunction036) is forwarded to
// CRYPTBASE.dll, which Windows would look for beside the program.
void FillRandom(unsigned char* bytes, size_t count) {
    using TGenRandom = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
    constexpr ULONG kSystemPreferred = 2;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
    // Loaded once, by whichever thread asks first; the installer is built
    // without guards for local statics, and two threads asking at once
    // both load the same module, which is harmless.
    static HMODULE volatile loaded = nullptr;
    HMODULE bcrypt = loaded;
    if (!bcrypt) loaded = bcrypt = LoadSystemLibrary("bcrypt.dll");
    auto generate = reinterpret_cast<TGenRandom>(
        bcrypt ? reinterpret_cast<void*>(GetProcAddress(bcrypt, "BCryptGenRandom")) : nullptr);
    if (!generate || generate(nullptr, bytes, static_cast<ULONG>(count), kSystemPreferred) != 0)
        throw EPathError("q7pack", "no random numbers for a temporary name");
}

// Nothing to do: the system removes a file marked for deletion when the
// process ends, however it ends.
void RemoveTemporaryFilesOnStop() {}

TSafeFolder::TSafeFolder(const std::string& path, bool create) : path_(path) {
    if (create && !path.empty() && !CreateFolders(path))
        FailWhy(path, "cannot be created: ");
    HANDLE h = CreateFileA(path.empty() ? "." : path.c_str(), kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) FailWhy(path, "cannot be opened as a folder: ");
    handle_ = reinterpret_cast<THandle>(h);
    DWORD attributes;
    if (AttributesOf(h, attributes) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(h);
        handle_ = InvalidHandle;
        Fail(path, "is not a folder");
    }
}

TSafeFolder::~TSafeFolder() {
    if (handle_ != InvalidHandle) CloseHandle(Win(handle_));
}

// What h, opened as name in this folder without following a reparse
// point, is. Wine opens a Unix link as what it points to and shows no
// reparse point; the full name of what it opened tells.
TEntryKind TSafeFolder::KindOfOpen(void* h, const std::string& name) const {
    DWORD attributes;
    if (!AttributesOf(h, attributes)) return TEntryKind::Other;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return TEntryKind::Link;
    if (final_.empty()) final_ = FinalPath(Win(handle_));
    std::string found = FinalPath(h), expected = final_ + (final_.back() == '\\' ? "" : "\\") + name;
    if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, found.data(), static_cast<int>(found.size()),
                       expected.data(), static_cast<int>(expected.size())) != CSTR_EQUAL)
        return TEntryKind::Link;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? TEntryKind::Folder : TEntryKind::File;
}

TSafeFolder TSafeFolder::Enter(const std::string& name, bool create) const {
    const std::string path = PathOf(name);
    bool created = false;
    HANDLE h = OpenIn(Win(handle_), name, kFolderAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      create ? FILE_OPEN_IF : FILE_OPEN, FILE_DIRECTORY_FILE, &created);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_DIRECTORY) Fail(path, "is not a folder");
    if (h == INVALID_HANDLE_VALUE) FailWhy(path, "cannot be opened as a folder: ");
    TSafeFolder folder(reinterpret_cast<THandle>(h), path);
    // A folder this call made is a new folder inside this one, no link;
    // asking the system for its full name costs it several requests.
    if (!created && KindOfOpen(h, name) != TEntryKind::Folder) Fail(path, kNoLinks);
    return folder;
}

TEntryKind TSafeFolder::KindOf(const std::string& name) const {
    TOpen h(OpenIn(Win(handle_), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0));
    if (h.handle != INVALID_HANDLE_VALUE) return KindOfOpen(h.handle, name);
    DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? TEntryKind::Missing : TEntryKind::Other;
}

bool TSafeFolder::RemoveFile(const std::string& name) const {
    const std::string path = PathOf(name);
    TEntryKind kind = KindOf(name);
    if (kind == TEntryKind::Missing) return false;
    if (kind == TEntryKind::Folder) Fail(path, "is a folder");
    if (kind == TEntryKind::Link) {
        // Wine deletes what a Unix link points to; a file renamed over the
        // link replaces the link itself everywhere, and then goes. A
        // junction refuses that and is removed itself as a folder.
        try {
            TSafeNewFile filler(*this, name);
            filler.Commit(true);
        } catch (const EPathError&) {
            TOpen link(OpenIn(Win(handle_), name, DELETE, kShareAll, FILE_OPEN, 0));
            if (link.handle != INVALID_HANDLE_VALUE && SetDeleteOnClose(link.handle, true)) return true;
            throw;
        }
    }
    MakeWritable(Win(handle_), name);  // a read-only file goes too
    TOpen file(OpenIn(Win(handle_), name, DELETE, kShareAll, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
    if (file.handle == INVALID_HANDLE_VALUE || !SetDeleteOnClose(file.handle, true))
        FailWhy(path, "cannot be removed: ");
    return true;
}

bool TSafeFolder::RemoveFolder(const std::string& name) const {
    const std::string path = PathOf(name);
    TEntryKind kind = KindOf(name);
    if (kind == TEntryKind::Missing) return false;
    if (kind == TEntryKind::Link) Fail(path, kNoLinks);
    if (kind != TEntryKind::Folder) Fail(path, "is not a folder");
    TOpen folder(OpenIn(Win(handle_), name, DELETE, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE));
    if (folder.handle != INVALID_HANDLE_VALUE && SetDeleteOnClose(folder.handle, true)) return true;
    if (GetLastError() == ERROR_DIR_NOT_EMPTY) Fail(path, "is not empty");
    FailWhy(path, "cannot be removed: ");
}

bool TSafeFolder::MoveTo(const std::string& from, const TSafeFolder& into, const std::string& to,
                         bool replace) const {
    TOpen file(OpenIn(Win(handle_), from, DELETE, kShareAll, FILE_OPEN, 0));
    DWORD code = GetLastError();
    if (file.handle == INVALID_HANDLE_VALUE && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND))
        return false;
    // What is at to is looked at before a rename that replaces it, else
    // only to say why the rename failed: a name that is not there costs
    // Wine a read of the whole folder (an upgrade puts thousands of old
    // copies into one).
    if (replace) {
        TEntryKind in = into.KindOf(to);
        if (in == TEntryKind::Folder) Fail(into.PathOf(to), "is a folder");
        if (in == TEntryKind::File) MakeWritable(Win(into.handle_), to);  // a read-only file goes too
    }
    if (file.handle != INVALID_HANDLE_VALUE) {
        if (RenameOpenFile(file.handle, Win(into.handle_), to, replace)) return true;
        code = GetLastError();
    }
    if (!replace && into.KindOf(to) == TEntryKind::Folder) Fail(into.PathOf(to), "is a folder");
    throw EPathError(PathOf(from), "cannot be renamed to " + into.PathOf(to) + ": " + OsErrorText(code));
}

THandle TSafeFolder::NewFile(const std::string& name) const {
    HANDLE h = OpenIn(Win(handle_), name, GENERIC_READ | GENERIC_WRITE, 0, FILE_CREATE, FILE_NON_DIRECTORY_FILE);
    if (h == INVALID_HANDLE_VALUE) FailWhy(PathOf(name), "cannot be created: ");
    return reinterpret_cast<THandle>(h);
}

bool TSafeFolder::Read(const std::string& name, std::string& bytes) const {
    TOpen file(OpenIn(Win(handle_), name, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, FILE_NON_DIRECTORY_FILE));
    if (file.handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) return false;
    if (file.handle == INVALID_HANDLE_VALUE) FailWhy(PathOf(name), "cannot be read: ");
    char buffer[65536];
    DWORD n;
    while (ReadFile(file.handle, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    return true;
}

std::string TSafeFolder::PathOf(const std::string& name) const {
    return path_.empty() || std::strchr("\\/:", path_.back()) ? path_ + name : path_ + "\\" + name;
}

void FlushFile(THandle file, const std::string& path) {
    if (!FlushFileBuffers(Win(file))) FailWhy(path, "cannot be written: ");
}

void FlushFolderChanges(const TSafeFolder&) {}

// The files added and the threads that flush them, each taking the next
// file until none is left, then waiting. Waking a thread costs a call to
// the system (the server, under Wine), so an idle one is woken only once a
// few files wait, and at the end, when every thread is told to stop.
struct TFlushBatch::TRound {
    static constexpr DWORD kFlushers = 16;
    static constexpr size_t kWakeAt = 4;  // files waiting that wake an idle thread
    CRITICAL_SECTION lock;
    HANDLE ready = nullptr;  // a semaphore, released once for each thread woken
    std::vector<TSafeNewFile*> files;
    size_t next = 0;  // the file the next thread takes
    DWORD idle = 0;   // threads waiting on ready and not yet woken
    bool stopping = false;
    HANDLE threads[kFlushers] = {};
    DWORD started = 0;
    volatile LONG failed = 0;

    // Starts the threads; with none, Add flushes each file itself.
    TRound() {
        InitializeCriticalSection(&lock);
        ready = CreateSemaphoreA(nullptr, 0, LONG_MAX, nullptr);
        for (HANDLE& thread : threads) {
            thread = ready ? CreateThread(nullptr, 64 * 1024, &TRound::Flush, this, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                          nullptr)
                           : nullptr;
            if (!thread) break;
            ++started;
        }
    }
    ~TRound() {
        EnterCriticalSection(&lock);
        stopping = true;
        LONG woken = static_cast<LONG>(idle);
        idle = 0;
        LeaveCriticalSection(&lock);
        if (woken > 0) ReleaseSemaphore(ready, woken, nullptr);
        WaitForMultipleObjects(started, threads, TRUE, INFINITE);
        for (DWORD i = 0; i < started; ++i) CloseHandle(threads[i]);
        if (ready) CloseHandle(ready);
        DeleteCriticalSection(&lock);
    }
    static void FlushOne(TRound& round, TSafeNewFile& file) {
        if (FlushFileBuffers(Win(file.stream_->Handle)))
            file.flushed_ = true;
        else
            InterlockedExchange(&round.failed, static_cast<LONG>(GetLastError()));
    }
    static DWORD WINAPI Flush(void* self) {
        auto* round = static_cast<TRound*>(self);
        EnterCriticalSection(&round->lock);
        for (;;) {
            if (round->next < round->files.size()) {
                TSafeNewFile* file = round->files[round->next++];
                LeaveCriticalSection(&round->lock);
                FlushOne(*round, *file);
                EnterCriticalSection(&round->lock);
            } else if (round->stopping) {
                break;
            } else {
                ++round->idle;
                LeaveCriticalSection(&round->lock);
                WaitForSingleObject(round->ready, INFINITE);
                EnterCriticalSection(&round->lock);
            }
        }
        LeaveCriticalSection(&round->lock);
        return 0;
    }
};

TFlushBatch::TFlushBatch() = default;
TFlushBatch::~TFlushBatch() = default;

void TFlushBatch::Add(TSafeNewFile& file) {
    TRound* started;
    {
        // The first files often come from several workers at once; one of
        // them starts the round, the others add to it.
        TLockHold hold(lock_);
        if (!round_) round_ = std::make_unique<TRound>();
        started = round_.get();
    }
    TRound& round = *started;
    if (round.started == 0) return TRound::FlushOne(round, file);
    EnterCriticalSection(&round.lock);
    round.files.push_back(&file);
    bool wake = round.idle > 0 && round.files.size() - round.next >= TRound::kWakeAt;
    if (wake) --round.idle;
    LeaveCriticalSection(&round.lock);
    if (wake) ReleaseSemaphore(round.ready, 1, nullptr);
}

void TFlushBatch::Start() {
    if (round_ && round_->failed != 0) Wait();
}

void TFlushBatch::Wait() {
    std::unique_ptr<TRound> round = std::move(round_);
    if (!round) return;
    std::string folder = round->files.empty() ? std::string() : round->files.front()->folder_.Path();
    DWORD failed = static_cast<DWORD>(round->failed);
    round.reset();  // every thread stops once the files are flushed
    if (failed == 0) return;
    SetLastError(failed);
    FailWhy(folder, "cannot be written: ");
}

TSafeNewFile::TSafeNewFile(const TSafeFolder& folder, std::string name)
    : folder_(folder), name_(std::move(name)) {
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 16; ++attempt) {
        tempName_ = TemporaryName();
        h = OpenIn(Win(folder_.handle_), tempName_, GENERIC_READ | GENERIC_WRITE | DELETE, 0, FILE_CREATE,
                   FILE_NON_DIRECTORY_FILE, nullptr, true);
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) FailWhy(folder_.PathOf(name_), "cannot be written: no temporary file beside it: ");
    stream_ = std::make_unique<THandleStream>(reinterpret_cast<THandle>(h));
    if (!SetDeleteOnClose(h, true)) {
        // A file that cannot be marked goes at once.
        DWORD code = GetLastError();
        Close();
        TOpen gone(OpenIn(Win(folder_.handle_), tempName_, DELETE, kShareAll, FILE_OPEN,
                          FILE_NON_DIRECTORY_FILE | FILE_DELETE_ON_CLOSE));
        SetLastError(code);
        FailWhy(folder_.PathOf(name_), "cannot be written: ");
    }
}

TSafeNewFile::~TSafeNewFile() { Close(); }

void TSafeNewFile::Close() {
    if (stream_ && stream_->Handle != InvalidHandle) CloseHandle(Win(stream_->Handle));
    if (stream_) stream_->Handle = InvalidHandle;
}

bool TSafeNewFile::Commit(bool replace) {
    const std::string target = folder_.PathOf(name_);
    HANDLE h = Win(stream_->Handle);
    if ((!flushed_ && !FlushFileBuffers(h)) || !SetDeleteOnClose(h, false))
        FailWhy(target, "cannot be written: ");
    if (replace && folder_.KindOf(name_) == TEntryKind::File) MakeWritable(Win(folder_.handle_), name_);
    if (RenameOpenFile(h, Win(folder_.handle_), name_, replace)) {
        committed_ = true;
        if (!flushed_) FlushFileBuffers(h);  // the new name with the data
        Close();
        return true;
    }
    DWORD code = GetLastError();
    SetDeleteOnClose(h, true);
    if (!replace && (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)) return false;
    if (folder_.KindOf(name_) == TEntryKind::Folder) Fail(target, "is a folder");
    throw EPathError(target, "cannot be written: " + OsErrorText(code));
}

namespace {

// The files of TemporaryName's form in folder.
std::vector<std::string> Temporaries(const TSafeFolder& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(folder.PathOf(".q7pack-*.tmp").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (IsTemporaryName(entry.cFileName) &&
            !(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            names.push_back(entry.cFileName);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

}  // namespace

int RemoveTemporaryLeftovers(const TSafeFolder& folder) {
    int removed = 0;
    // A running writer holds its file open without sharing, so the removal
    // fails for it.
    for (const std::string& name : Temporaries(folder)) {
        try {
            removed += folder.RemoveFile(name) ? 1 : 0;
        } catch (const EPathError&) {
        }
    }
    return removed;
}

void RemoveOldCopies(const TSafeFolder& folder) {
    for (const std::string& name : Temporaries(folder)) {
        try {
            folder.RemoveFile(name);
        } catch (const EPathError&) {
            MoveFileExA(folder.PathOf(name).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        }
    }
}
