#include "scriptlib/uInstallJournal.h"

std::string AsideName(const std::string& name) { return name + ".~q7old"; }

TInstallJournal::~TInstallJournal() { Undo(); }

void TInstallJournal::Commit() {
    for (const Step& step : steps_) {
        if (step.kind != kReplaced) continue;
        try {
            step.folder->RemoveFile(AsideName(step.name));
        } catch (const EPathError&) {
            // The old copy stays beside the new file; the next installation
            // of this target puts it back first, so it is not lost either.
        }
    }
    steps_.clear();
}

bool TInstallJournal::Undo() {
    bool whole = true;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        try {
            switch (step->kind) {
                case kFolder: whole = step->folder->RemoveFolder(step->name) && whole; break;
                case kCreated: whole = step->folder->RemoveFile(step->name) && whole; break;
                case kReplaced:
                    // Rename replaces the new file; a target that is no
                    // longer there (its move failed) is fine.
                    whole = step->folder->Rename(AsideName(step->name), step->name) && whole;
                    break;
            }
        } catch (const EPathError&) {
            whole = false;
        }
        // Windows removes no folder that is held open: each step lets go of
        // its folder once done, so a made folder is closed by the time the
        // step that removes it comes.
        step->folder.reset();
    }
    steps_.clear();
    return whole;
}
