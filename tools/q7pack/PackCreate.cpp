#include "tools/q7pack/PackCreate.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "archive/uZlibArchive.h"
#include "archive/uZlibWriter.h"
#include "pe/uPeFile.h"
#include "tools/q7pack/BrandApply.h"
#include "tools/q7pack/Names.h"
#include "tools/q7pack/PackError.h"
#include "tools/q7pack/Platform.h"
#include "tools/q7pack/Progress.h"
#include "tools/q7pack/SafeFiles.h"

namespace {

struct PackedEntry {
    std::string data;
    std::string error;
};

// Compresses the inputs on several threads and hands the results out in
// archive order. At most `window` results wait to be written at a time, so
// memory stays bounded however many files there are.
class ParallelCompressor {
public:
    ParallelCompressor(const std::vector<PackInput>& inputs, int level, unsigned threads)
        : inputs_(inputs), level_(level), slots_(inputs.size()), window_(2 * threads) {
        for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
    }
    ~ParallelCompressor() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

    // The packed entry of input i; call for i = 0, 1, 2 ... in turn.
    PackedEntry Take(size_t i) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return slots_[i].has_value(); });
        PackedEntry entry = std::move(*slots_[i]);
        slots_[i].reset();
        taken_ = i + 1;
        changed_.notify_all();
        return entry;
    }

private:
    void Work() {
        for (;;) {
            size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock,
                              [&] { return stop_ || next_ >= slots_.size() || next_ < taken_ + window_; });
                if (stop_ || next_ >= slots_.size()) return;
                i = next_++;
            }
            PackedEntry entry = Compress(inputs_[i]);
            std::lock_guard<std::mutex> lock(mutex_);
            slots_[i] = std::move(entry);
            changed_.notify_all();
        }
    }

    PackedEntry Compress(const PackInput& input) const {
        try {
            return {CompressZlib(input.inMemory ? input.data : ReadInputFile(input.path), level_), {}};
        } catch (const PackError& e) {
            return {{}, e.what()};
        } catch (const std::bad_alloc&) {
            return {{}, "out of memory"};
        } catch (...) {
            return {{}, TZLibAbstractArchive::ErrorCodeText(zaCompress)};
        }
    }

    const std::vector<PackInput>& inputs_;
    const int level_;
    std::vector<std::optional<PackedEntry>> slots_;
    const size_t window_;
    size_t next_ = 0, taken_ = 0;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> workers_;
};

// The folder OUT lies in and OUT's name in it.
std::pair<std::string, std::string> FolderAndName(const std::string& output) {
    size_t slash = output.find_last_of(PathSeparators());
    if (slash == std::string::npos) return {"", output};
    return {output.substr(0, slash + 1), output.substr(slash + 1)};
}

// The folder OUT is written in, held open meanwhile, and OUT's name in it.
OutputFolder FolderOf(const std::string& output, std::string& name) {
    auto [folderPath, fileName] = FolderAndName(output);
    if (fileName.empty()) throw PackError(output, "names a folder, not the file to write");
    name = fileName;
    try {
        return OutputFolder(folderPath, false);
    } catch (const PackError& e) {
        throw PackError(output, "cannot be written: its folder " + e.Subject() + " " + e.what());
    }
}

void WriteBytes(TStream& out, const std::string& bytes, const std::string& target) {
    if (!bytes.empty() &&
        out.Write(bytes.data(), static_cast<int32_t>(bytes.size())) != static_cast<int32_t>(bytes.size()))
        throw PackError(target, "write failed (disk full?)");
}

}  // namespace

std::string ReadStubImage(const std::string& path, const std::string& brandFile) {
    std::optional<TBrand> brand;
    if (!brandFile.empty()) brand = ReadBrandFile(brandFile);
    try {
        TPeFile image(ReadInputFile(path));
        image.DropOverlayAndSignature();  // an archive appended before, a signature
        if (brand) ApplyBrand(image, *brand);
        return image.Bytes();
    } catch (const EPeFormat& e) {
        throw PackError(path, e.what());
    }
}

uint64_t WriteBrandedStub(const std::string& stubPath, const std::string& brandFile,
                          const std::string& output) {
    TBrand brand = ReadBrandFile(brandFile);
    std::string file = ReadInputFile(stubPath);
    std::string bytes;
    try {
        TPeFile image(file);
        // An archive behind the image stays; a signature does not.
        size_t end = file.size();
        TPeDirectory signature = image.Directory(pdCertificate);
        if (signature.Size != 0 && signature.VirtualAddress >= image.DataEnd() &&
            signature.VirtualAddress < end)
            end = signature.VirtualAddress;
        std::string archive =
            file.substr(std::min<size_t>(image.DataEnd(), end), end - std::min<size_t>(image.DataEnd(), end));
        ApplyBrand(image, brand);
        bytes = image.Bytes() + archive;
    } catch (const EPeFormat& e) {
        throw PackError(stubPath, e.what());
    }
    WriteOutputFile(output, bytes);
    return bytes.size();
}

namespace {

// Writes the stub's image and the archive of inputs to out.
CreateSummary WriteInstaller(TStream& out, const std::string& stub, const std::vector<PackInput>& inputs,
                             const CreateOptions& options) {
    CreateSummary summary;
    summary.stubBytes = stub.size();
    WriteBytes(out, stub, options.output);
    TZLibArchiveWriter writer(out);
    uint64_t written = stub.size();
    {
        ParallelCompressor compressor(inputs, options.level, std::max(1u, options.threads));
        Progress progress("packing");
        for (size_t i = 0; i < inputs.size(); ++i) {
            progress.Step(i + 1, inputs.size(), inputs[i].name);
            PackedEntry packed = compressor.Take(i);
            if (!packed.error.empty()) throw PackError(inputs[i].path, packed.error);
            written += ArchiveHeaderSize + inputs[i].name.size() + packed.data.size();
            if (written + ArchiveHeaderSize >= options.maxOutputBytes)
                throw PackError(options.output, "the output would reach " +
                                                    std::to_string(options.maxOutputBytes) +
                                                    " bytes (2 GiB), more than the installer can read");
            if (writer.AppendEntry(inputs[i].name, packed.data, static_cast<uint32_t>(inputs[i].size)) !=
                zaOk)
                throw PackError(options.output, "write failed (disk full?)");
            summary.unpackedBytes += inputs[i].size;
            summary.packedBytes += packed.data.size();
        }
    }
    if (writer.WriteEnd() != zaOk) throw PackError(options.output, "write failed (disk full?)");
    summary.entries = inputs.size();
    summary.archiveBytes = written + ArchiveHeaderSize - stub.size();
    return summary;
}

PackInput EmptyEntry(const std::string& name, const std::string& origin) {
    PackInput entry{name, origin, 0};
    entry.inMemory = true;
    return entry;
}

}  // namespace

CreateSummary CreateArchive(const std::vector<PackInput>& inputs, const CreateOptions& options) {
    std::string stub = options.stub.empty() ? std::string() : ReadStubImage(options.stub, options.brand);
    std::string name;
    OutputFolder folder = FolderOf(options.output, name);
    NewFile temp(folder, name);
    CreateSummary summary = WriteInstaller(temp.Stream(), stub, inputs, options);
    temp.Commit(true);
    return summary;
}

std::string BuildUninstaller(const std::vector<PackInput>& inputs, const UninstallerOptions& uninstaller,
                             const CreateOptions& options) {
    if (options.stub.empty()) throw PackError(uninstaller.script, "an uninstaller needs --stub");
    const std::string origin = "the uninstaller's table (" + uninstaller.script + ")";
    std::vector<PackInput> entries = CollectInputs(uninstaller.script, {});
    for (size_t i = 1; i < inputs.size(); ++i) entries.push_back(EmptyEntry(inputs[i].name, inputs[i].path));
    entries.push_back(EmptyEntry(StoredName(uninstaller.name, "--uninstaller-name"), "--uninstaller-name"));
    CheckStoredNames(entries);
    TStringStream out;
    CreateOptions inMemory = options;
    inMemory.output = origin;
    WriteInstaller(out, ReadStubImage(options.stub, options.brand), entries, inMemory);
    return out.Data;
}

PackInput UninstallerEntry(const std::string& bytes, const UninstallerOptions& uninstaller) {
    PackInput entry = EmptyEntry(StoredName(uninstaller.name, "--uninstaller-name"), "the uninstaller");
    entry.size = bytes.size();
    entry.data = bytes;
    return entry;
}

void WriteOutputFile(const std::string& output, const std::string& bytes) {
    std::string name;
    OutputFolder folder = FolderOf(output, name);
    NewFile temp(folder, name);
    WriteBytes(temp.Stream(), bytes, output);
    temp.Commit(true);
}
