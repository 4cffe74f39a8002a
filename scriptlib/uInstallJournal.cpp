#include "scriptlib/uInstallJournal.h"

#include "archive/uStoredName.h"

#include <algorithm>

namespace {

constexpr char kJournalFile[] = "journal";

// The first count parts of a stored path, joined with '\'.
std::string Joined(const std::vector<std::string>& parts, size_t count) {
    std::string path;
    for (size_t i = 0; i < count; ++i) path += (i ? "\\" : "") + parts[i];
    return path;
}

bool IsPath(const std::string& path) { return StoredNameFault(path) == nullptr && !NameParts(path).empty(); }

// One line of a journal (its '\n' taken off) as a step; false when it is none.
bool ParseStep(const std::string& line, TJournalStep& step) {
    if (line == "K") {
        step = {'K', {}, {}};
        return true;
    }
    if (line.size() < 3 || line[1] != ' ' || (line[0] != 'D' && line[0] != 'C' && line[0] != 'R')) return false;
    step = {line[0], line.substr(2), {}};
    if (step.Kind == 'R') {
        size_t space = step.Path.find(' ');
        if (space == std::string::npos || !IsTemporaryName(step.Path.substr(0, space))) return false;
        step.Aside = step.Path.substr(0, space);
        step.Path.erase(0, space + 1);
    }
    return IsPath(step.Path);
}

std::string Line(const TJournalStep& step) {
    if (step.Kind == 'K') return "K\n";
    return std::string(1, step.Kind) + ' ' + (step.Aside.empty() ? "" : step.Aside + ' ') + step.Path + '\n';
}

bool Committed(const std::vector<TJournalStep>& steps) { return !steps.empty() && steps.back().Kind == 'K'; }

}  // namespace

std::vector<TJournalStep> ParseJournal(const std::string& text) {
    std::vector<TJournalStep> steps;
    size_t start = 0, end;
    TJournalStep step;
    while ((end = text.find('\n', start)) != std::string::npos && ParseStep(text.substr(start, end - start), step)) {
        steps.push_back(step);
        start = end + 1;
        if (step.Kind == 'K') break;
    }
    return steps;
}

std::unique_ptr<TSafeFolder>& TInstallJournal::Held(const std::string& path) {
    auto at = std::lower_bound(held_.begin(), held_.end(), path,
                               [](const THeld& held, const std::string& key) { return held.first < key; });
    if (at == held_.end() || at->first != path) at = held_.insert(at, THeld(path, nullptr));
    return at->second;
}

TInstallJournal::TInstallJournal(TSafeFolder root) {
    Held("") = std::make_unique<TSafeFolder>(std::move(root));
    aside_ = std::make_unique<TSafeFolder>(held_[0].second->Enter(JournalFolderName, true));
    std::string text;
    if (aside_->Read(kJournalFile, text)) {
        Replay(ParseJournal(text));
        aside_->RemoveFile(kJournalFile);
    }
    file_ = aside_->NewFile(kJournalFile);
}

TInstallJournal::~TInstallJournal() { Undo(); }

// Finishes what an earlier run left: its old copies deleted when it got to
// K, its steps taken back otherwise. Old copies that no journal names any
// more are of runs that got to K: they go too.
void TInstallJournal::Replay(const std::vector<TJournalStep>& steps) {
    if (!Committed(steps)) {
        bool whole = true;
        for (auto step = steps.rbegin(); step != steps.rend(); ++step) whole = TakeBack(*step) && whole;
        if (!whole)
            throw EPathError(aside_->PathOf(kJournalFile),
                             "names old copies of an earlier installation that cannot be put back");
    }
    held_.resize(1);
    RemoveOldCopies(*aside_);
}

const TSafeFolder* TInstallJournal::Find(const std::string& path, bool make) {
    std::vector<std::string> parts = NameParts(path);
    const TSafeFolder* folder = held_[0].second.get();
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string path = Joined(parts, i + 1);
        std::unique_ptr<TSafeFolder>* level = &Held(path);
        if (!*level) {
            bool missing = folder->KindOf(parts[i]) == TEntryKind::Missing;
            if (missing && !make) return nullptr;
            if (missing) {
                Record({'D', Joined(parts, i + 1), {}});
                WriteRecords();
            }
            TSafeFolder entered = folder->Enter(parts[i], missing);
            level = &Held(path);  // the vector may have moved
            *level = std::make_unique<TSafeFolder>(std::move(entered));
        }
        folder = level->get();
    }
    return folder;
}

const TSafeFolder& TInstallJournal::Folder(const std::vector<std::string>& parts) {
    return *Find(Joined(parts, parts.size()), true);
}

std::string TInstallJournal::Replaced(const std::string& path) {
    std::string aside = TemporaryName();
    Record({'R', path, aside});
    return aside;
}

void TInstallJournal::WriteRecords() {
    std::string text;
    for (; written_ < steps_.size(); ++written_) text += Line(steps_[written_]);
    if (HandleWrite(file_, text.data(), static_cast<int32_t>(text.size())) != static_cast<int32_t>(text.size()))
        throw EPathError(aside_->PathOf(kJournalFile), "cannot be written");
}

void TInstallJournal::Seal() {
    WriteRecords();
    FlushFile(file_, aside_->PathOf(kJournalFile));
}

// Closes the folders held at path and below it: Windows removes no folder
// that is held open.
void TInstallJournal::Release(const std::string& path) {
    for (THeld& held : held_) {
        bool below = held.first.compare(0, path.size(), path) == 0 &&
                     (held.first.size() == path.size() || held.first[path.size()] == '\\');
        if (below) held.second.reset();
    }
}

// A step taken back; false when an old copy is still aside.
bool TInstallJournal::TakeBack(const TJournalStep& step) {
    std::vector<std::string> parts = NameParts(step.Path);
    if (step.Kind == 'K' || parts.empty()) return true;
    const std::string name = parts.back();
    try {
        if (step.Kind == 'D') Release(step.Path);
        const TSafeFolder* folder = Find(Joined(parts, parts.size() - 1), false);
        if (step.Kind == 'R') {
            if (aside_->KindOf(step.Aside) == TEntryKind::Missing) return true;  // it never went aside
            return folder && aside_->MoveTo(step.Aside, *folder, name, true);
        }
        if (!folder) return true;
        if (step.Kind == 'D') return folder->RemoveFolder(name) || true;
        return folder->KindOf(name) != TEntryKind::File || folder->RemoveFile(name);
    } catch (const EPathError&) {
        // A made folder that holds something of someone else's stays.
        return step.Kind == 'D';
    }
}

void TInstallJournal::Commit() {
    FlushFolderChanges(*held_[0].second);
    Record({'K', {}, {}});
    Seal();
    End();
}

bool TInstallJournal::Undo() {
    if (file_ == InvalidHandle) return true;
    bool whole = true;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) whole = TakeBack(*step) && whole;
    if (whole) {
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
    steps_.clear();
    try {
        RemoveOldCopies(*aside_);
        aside_->RemoveFile(kJournalFile);
        aside_.reset();
        held_.resize(1);
        held_[0].second->RemoveFolder(JournalFolderName);
    } catch (const EPathError&) {
        // An old copy that is still in use keeps the folder; the next run
        // (or the restart) removes it.
    }
    held_.clear();
    aside_.reset();
}
