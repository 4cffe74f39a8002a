#include "scriptlib/uInstallJournal.h"

#include "system/uSystemFiles.h"

std::string AsideName(const std::string& target) { return target + ".~q7old"; }

TInstallJournal::~TInstallJournal() { Undo(); }

void TInstallJournal::Commit() {
    for (const Step& step : steps_)
        if (step.kind == kReplaced) DeleteFileForced(AsideName(step.path));
    steps_.clear();
}

bool TInstallJournal::Undo() {
    bool whole = true;
    for (auto step = steps_.rbegin(); step != steps_.rend(); ++step) {
        switch (step->kind) {
            case kFolder: whole = RemoveSingleDirectory(step->path) && whole; break;
            case kCreated: whole = DeleteFileForced(step->path) && whole; break;
            case kReplaced:
                // The new file goes first; a target that is no longer
                // there (its move failed) is fine.
                DeleteFileForced(step->path);
                whole = RenameFile(AsideName(step->path), step->path) && whole;
                break;
        }
    }
    steps_.clear();
    return whole;
}
