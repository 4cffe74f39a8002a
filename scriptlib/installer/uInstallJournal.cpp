#include "scriptlib/installer/uInstallJournal.h"

std::string AsideName(const std::string& name) { return name + ".~q7old"; }

TInstallJournal::~TInstallJournal() { Undo(); }

TFolderId TInstallJournal::Hold(TSafeFolder folder) {
    folders_.push_back(std::make_unique<TSafeFolder>(std::move(folder)));
    return folders_.size() - 1;
}

void TInstallJournal::Close() {
    steps_.clear();
    folders_.clear();
}

void TInstallJournal::Commit() {
    for (const Step& step : steps_) {
        if (step.kind != kReplaced) continue;
        try {
            Folder(step.folder).RemoveFile(AsideName(step.name));
        } catch (const EPathError&) {
            // The old copy stays beside the new file; the next installation
            // of this target puts it back first, so it is not lost either.
        }
    }
    Close();
}

bool TInstallJournal::Undo() {
    bool whole = true;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        try {
            switch (step->kind) {
                case kFolder:
                    // Windows removes no folder that is held open. What came
                    // after the made folder is undone by now, so it closes
                    // with every folder held after it.
                    if (step->made < folders_.size()) folders_.resize(step->made);
                    whole = Folder(step->folder).RemoveFolder(step->name) && whole;
                    break;
                case kCreated: whole = Folder(step->folder).RemoveFile(step->name) && whole; break;
                case kReplaced:
                    // Rename replaces the new file; a target that is no
                    // longer there (its move failed) is fine.
                    whole = Folder(step->folder).Rename(AsideName(step->name), step->name) && whole;
                    break;
            }
        } catch (const EPathError&) {
            whole = false;
        }
    }
    Close();
    return whole;
}
