#include "tools/q7pack/pack/PackCreate.h"

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "archive/uZlibArchive.h"
#include "archive/uZlibWriter.h"
#include "tools/q7pack/brand/BrandedStub.h"
#include "tools/q7pack/common/Files.h"
#include "tools/q7pack/common/Names.h"
#include "tools/q7pack/common/PackError.h"
#include "tools/q7pack/common/Progress.h"
#include "tools/q7pack/pack/PackCheck.h"
#include "tools/q7pack/pack/SolidWriter.h"

namespace {

struct PackedEntry {
    std::string Data;
    std::string Error;
    uint64_t Size = 0;  // the bytes read, which the entry records
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
            // The file may have changed since the inputs were collected: what
            // is read now is what is stored, and its size is recorded.
            std::string bytes = input.Content ? *input.Content : ReadInputFile(input.Path);
            if (bytes.size() > UINT32_MAX) return {{}, "grew to 4 GiB or more while it was packed", 0};
            return {CompressZlib(bytes, level_), {}, bytes.size()};
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

std::string OverLimit(const CreateOptions& options) {
    return "the output would reach " + std::to_string(options.MaxOutputBytes) +
           " bytes (2 GiB), more than the installer can read";
}

CreateSummary WriteSolid(TStream& out, const std::string& stub, const std::vector<PackInput>& inputs,
                         const CreateOptions& options) {
    TSolidWritten written = WriteSolidArchive(out, inputs, options.Threads, options.Output);
    if (stub.size() + written.archiveBytes >= options.MaxOutputBytes)
        throw PackError(options.Output, OverLimit(options));
    CreateSummary summary;
    summary.StubBytes = stub.size();
    summary.Entries = inputs.size();
    summary.UnpackedBytes = written.unpackedBytes;
    summary.PackedBytes = written.packedBytes;
    summary.ArchiveBytes = written.archiveBytes;
    return summary;
}

// Writes the stub's image and the archive of inputs to out.
CreateSummary WriteInstaller(TStream& out, const std::string& stub, const std::vector<PackInput>& inputs,
                             const CreateOptions& options) {
    WriteBytes(out, stub, options.Output);
    if (options.Solid) return WriteSolid(out, stub, inputs, options);
    CreateSummary summary;
    summary.StubBytes = stub.size();
    TZLibArchiveWriter writer(out);
    uint64_t written = stub.size();
    {
        ParallelCompressor compressor(inputs, options.Level, std::max(1u, options.Threads));
        Progress progress("packing");
        for (size_t i = 0; i < inputs.size(); ++i) {
            progress.Step(i + 1, inputs.size(), inputs[i].Name);
            PackedEntry packed = compressor.Take(i);
            if (!packed.Error.empty()) throw PackError(inputs[i].Path, packed.Error);
            written += ArchiveHeaderSize + inputs[i].Name.size() + packed.Data.size();
            if (written + ArchiveHeaderSize >= options.MaxOutputBytes)
                throw PackError(options.Output, OverLimit(options));
            if (writer.AppendEntry(inputs[i].Name, packed.Data, static_cast<uint32_t>(packed.Size)) != zaOk)
                throw PackError(options.Output, "write failed (disk full?)");
            summary.UnpackedBytes += packed.Size;
            summary.PackedBytes += packed.Data.size();
        }
    }
    if (writer.WriteEnd() != zaOk) throw PackError(options.Output, "write failed (disk full?)");
    summary.Entries = inputs.size();
    summary.ArchiveBytes = written + ArchiveHeaderSize - stub.size();
    return summary;
}

PackInput EmptyEntry(const std::string& name, const std::string& origin) {
    PackInput entry{name, origin, 0, std::string()};
    return entry;
}

// The uninstaller goes into the product's folder beside the payload: a name
// that payload names need as their folder, or one below a payload file,
// would make a package that never installs.
void RefuseFolderClash(const std::vector<PackInput>& entries, const PackInput& uninstaller) {
    const std::string own = NameKey(uninstaller.Name) + "\\";
    for (const PackInput& entry : entries) {
        std::string key = NameKey(entry.Name) + "\\";
        if (key != own && (key.rfind(own, 0) == 0 || own.rfind(key, 0) == 0))
            throw PackError(uninstaller.Path, "'" + ShownName(uninstaller.Name) + "' and '" + ShownName(entry.Name) +
                                                  "' (" + entry.Path +
                                                  ") would need one name as a file and as a folder");
    }
}

std::optional<TBrand> BrandOf(const CreateOptions& options) {
    std::optional<TBrand> brand;
    if (!options.Brand.empty()) brand = ReadBrandFile(options.Brand);
    return brand;
}

}  // namespace

CreateSummary CreateArchive(const std::vector<PackInput>& inputs, const CreateOptions& options) {
    // The stub is read whole before anything is written, so it may be the
    // output: an installer gets its archive replaced in place.
    std::optional<TBrand> brand = BrandOf(options);
    std::vector<std::string> read = brand ? brand->Files : std::vector<std::string>();
    if (brand) read.push_back(options.Brand);
    for (const PackInput& input : inputs) read.push_back(input.Path);
    RefuseReplacingInputs(options.Output, read);
    std::string stub =
        options.Stub.empty() ? std::string() : ReadStubImage(options.Stub, brand ? &*brand : nullptr);
    CreateSummary summary;
    WriteThroughTemporary(options.Output,
                          [&](TStream& out) { summary = WriteInstaller(out, stub, inputs, options); });
    return summary;
}

std::string BuildUninstaller(const std::vector<PackInput>& inputs, const UninstallerOptions& uninstaller,
                             const CreateOptions& options) {
    if (options.Stub.empty()) throw PackError(uninstaller.Script, "an uninstaller needs --stub");
    const std::string origin = "the uninstaller's table (" + uninstaller.Script + ")";
    std::optional<TBrand> brand = BrandOf(options);
    std::vector<PackInput> entries = CollectInputs(uninstaller.Script, {});
    if (brand && brand->CodePage) {
        entries[0].Content = StoredScript(uninstaller.Script, ReadInputFile(uninstaller.Script), brand->CodePage);
        entries[0].Size = entries[0].Content->size();
    }
    for (size_t i = 1; i < inputs.size(); ++i) entries.push_back(EmptyEntry(inputs[i].Name, inputs[i].Path));
    entries.push_back(EmptyEntry(StoredName(uninstaller.Name, "--uninstaller-name"), "--uninstaller-name"));
    CheckStoredNames(entries);
    RefuseFolderClash(entries, entries.back());
    TStringStream out;
    CreateOptions inMemory = options;
    inMemory.Output = origin;
    inMemory.Solid = false;  // its entries are empty
    WriteInstaller(out, ReadStubImage(options.Stub, brand ? &*brand : nullptr), entries, inMemory);
    return out.Data;
}

PackInput UninstallerEntry(const std::string& bytes, const UninstallerOptions& uninstaller) {
    PackInput entry = EmptyEntry(StoredName(uninstaller.Name, "--uninstaller-name"), "the uninstaller");
    entry.Size = bytes.size();
    entry.Content = bytes;
    return entry;
}
