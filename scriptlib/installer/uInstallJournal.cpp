#include "scriptlib/installer/uInstallJournal.h"

#include "system/fs/uStoredName.h"

namespace {

constexpr char kJournalFile[] = "journal";
constexpr char kUnfinished[] = "cannot be finished";

// The first count parts of a stored path, joined with '\'.
std::string Joined(const std::vector<std::string>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count; ++i) path += (i ? "\\" : "") + parts[i];
    return path;
}

// One line of a journal (its '\n' taken off) as a step; false when it is none.
bool ParseStep(std::string_view line, TJournalStep& step) {
    step = {line.empty() ? '\0' : line[0], {}, {}};
    if (line == "K") return true;
    if (line.size() < 3 || line[1] != ' ' || (step.Kind != 'D' && step.Kind != 'C' && step.Kind != 'R')) return false;
    line.remove_prefix(2);
    if (step.Kind == 'R') {
        size_t space = line.find(' ');
        if (space == std::string_view::npos || !IsTemporaryName(line.substr(0, space))) return false;
        step.Aside = line.substr(0, space);
        line.remove_prefix(space + 1);
    }
    step.Path = line;
    return StoredNameFault(line) == nullptr && !NameParts(line).empty();
}

// The step of the journal's line at at, moving at past it; false at the
// end of the records.
bool NextStep(const std::string& text, size_t& at, TJournalStep& step) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos || !ParseStep(std::string_view(text).substr(at, end - at), step))
        return false;
    at = end + 1;
    return true;
}

}  // namespace

std::vector<TJournalStep> ParseJournal(const std::string& text) {
    std::vector<TJournalStep> steps;
    TJournalStep step;
    for (size_t at = 0; (steps.empty() || steps.back().Kind != 'K') && NextStep(text, at, step);)
        steps.push_back(step);
    return steps;
}

TInstallJournal::TInstallJournal(TSafeFolder root) {
    held_.push_back({{}, std::make_unique<TSafeFolder>(std::move(root))});
    // A run killed at the instant one of its new files was made, or about
    // to take its name, leaves that file under its temporary name: each
    // folder goes without them once a run enters it.
    RemoveTemporaryLeftovers(*held_[0].folder);
    aside_ = std::make_unique<TSafeFolder>(held_[0].folder->Enter(JournalFolderName, true));
    // Finishes what an earlier run left; old copies that no journal names
    // any more are of runs that got to K: they go too.
    std::string text;
    if (aside_->Read(kJournalFile, text)) {
        if (!TakeBackAll(text))
            throw EPathError(aside_->PathOf(kJournalFile), kUnfinished);  // old files cannot be put back
        aside_->RemoveFile(kJournalFile);
    }
    held_.erase(held_.begin() + 1, held_.end());
    RemoveOldCopies(*aside_);
    file_ = aside_->NewFile(kJournalFile);
}

TInstallJournal::~TInstallJournal() { Undo(); }

// The folder of the first count parts, held (entered first if need be);
// with make, each missing level is recorded, then made. Null when a level
// is missing and make is not set.
const TSafeFolder* TInstallJournal::Find(const std::vector<std::string>& parts, size_t count, bool make) {
    const TSafeFolder* folder = held_[0].folder.get();
    std::string path;
    for (size_t i = 0; i < count; ++i) {
        path.append(i ? "\\" : "").append(parts[i]);
        THeld* level = nullptr;
        for (THeld& held : held_)
            if (held.path == path) level = &held;
        if (!level || !level->folder) {
            bool missing = folder->KindOf(parts[i]) == TEntryKind::Missing;
            if (missing && !make) return nullptr;
            if (missing) {
                records_.append("D ").append(path).append("\n");
                WriteRecords();
            }
            TSafeFolder entered = folder->Enter(parts[i], missing);
            if (!missing) RemoveTemporaryLeftovers(entered);
            if (!level) {
                held_.push_back({path, nullptr});
                level = &held_.back();
            }
            level->folder = std::make_unique<TSafeFolder>(std::move(entered));
            level->made = missing;
        }
        folder = level->folder.get();
    }
    return folder;
}

const TSafeFolder& TInstallJournal::Folder(const std::vector<std::string>& parts) {
    return *Find(parts, parts.size(), true);
}

bool TInstallJournal::Made(const TSafeFolder& folder) const {
    for (const THeld& held : held_)
        if (held.folder.get() == &folder) return held.made;
    return false;
}

std::string TInstallJournal::Replaced(const std::string& path) {
    std::string aside = TemporaryName();
    records_.append("R ").append(aside).append(" ").append(path).append("\n");
    return aside;
}

void TInstallJournal::WriteRecords() {
    const int32_t size = static_cast<int32_t>(records_.size() - written_);
    if (HandleWrite(file_, records_.data() + written_, size) != size)
        throw EPathError(aside_->PathOf(kJournalFile), kUnfinished);
    written_ = records_.size();
}

void TInstallJournal::Seal() {
    WriteRecords();
    FlushFile(file_, aside_->PathOf(kJournalFile));
}

// Closes the folders held at path and below it: Windows removes no folder
// that is held open.
void TInstallJournal::Release(const std::string& path) {
    for (THeld& held : held_)
        if (held.path.compare(0, path.size(), path) == 0 &&
            (held.path.size() == path.size() || held.path[path.size()] == '\\'))
            held.folder.reset();
}

// Takes the steps of a journal's text back, the last first, unless they
// end with K; false when an old copy is still aside.
bool TInstallJournal::TakeBackAll(const std::string& text) {
    TJournalStep step;
    size_t end = 0;  // behind the last whole record
    while (NextStep(text, end, step))
        if (step.Kind == 'K') return true;
    bool whole = true;
    while (end > 0) {
        size_t start = text.rfind('\n', end - 2);  // end - 1 is this record's '\n'
        start = start == std::string::npos ? 0 : start + 1;
        size_t at = start;
        NextStep(text, at, step);
        whole = TakeBack(step) && whole;
        end = start;
    }
    return whole;
}

bool TInstallJournal::TakeBack(const TJournalStep& step) {
    std::vector<std::string> parts = NameParts(step.Path);
    try {
        if (step.Kind == 'D') {
            Find(parts, parts.size(), false);  // entered, it goes without temporary files
            Release(Joined(parts, parts.size()));
        }
        const TSafeFolder* folder = Find(parts, parts.size() - 1, false);
        if (step.Kind == 'R')  // an old copy that never went aside is in its place
            return aside_->KindOf(step.Aside) == TEntryKind::Missing ||
                   (folder && aside_->MoveTo(step.Aside, *folder, parts.back(), true));
        if (folder && step.Kind == 'D') folder->RemoveFolder(parts.back());
        return !folder || folder->KindOf(parts.back()) != TEntryKind::File || folder->RemoveFile(parts.back());
    } catch (const EPathError&) {
        // A made folder that holds something of someone else's stays.
        return step.Kind == 'D';
    }
}

void TInstallJournal::Commit() {
    FlushFolderChanges(*held_[0].folder);
    records_ += "K\n";
    Seal();
    End();
}

bool TInstallJournal::Undo() {
    if (file_ == InvalidHandle) return true;
    if (TakeBackAll(records_)) {
        End();
        return true;
    }
    HandleClose(file_);  // the journal stays for the next run
    file_ = InvalidHandle;
    held_.clear();
    aside_.reset();
    return false;
}

// The journal is done with: the old copies go, the journal and its folder
// with them.
void TInstallJournal::End() {
    HandleClose(file_);
    file_ = InvalidHandle;
    try {
        RemoveOldCopies(*aside_);
        aside_->RemoveFile(kJournalFile);
        aside_.reset();
        held_.erase(held_.begin() + 1, held_.end());
        held_[0].folder->RemoveFolder(JournalFolderName);
    } catch (const EPathError&) {
        // An old copy that is still in use keeps the folder; the next run
        // (or the restart) removes it.
    }
    held_.clear();
    aside_.reset();
}
