// Fuzz target over the install journal's reader: the text a killed run
// left in .q7journal, which anyone who can write the install folder can
// change. Whatever the bytes, every record it gives names a path that
// stays below the install folder, an aside name of the journal's own
// form, and a K only as the last record.

#include <cstddef>
#include <cstdint>
#include <string>

#include "scriptlib/installer/uInstallJournal.h"
#include "system/fs/uStoredName.h"
#include "tests/fuzz/Require.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<TJournalStep> steps = ParseJournal(std::string(reinterpret_cast<const char*>(data), size));
    for (size_t i = 0; i < steps.size(); ++i) {
        const TJournalStep& step = steps[i];
        if (step.Kind == 'K') {
            Require(i + 1 == steps.size() && step.Path.empty());
            continue;
        }
        Require(step.Kind == 'D' || step.Kind == 'C' || step.Kind == 'R');
        Require(StoredNameFault(step.Path) == nullptr && !NameParts(step.Path).empty());
        Require(step.Kind == 'R' ? IsTemporaryName(step.Aside) : step.Aside.empty());
    }
    return 0;
}
