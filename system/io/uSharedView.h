#pragma once
// One stream read by several threads at once, such as an archive whose
// entries workers inflate side by side: each view has a position of its
// own and reads there, side by side with the others where the stream
// reads at a position (a file), otherwise under the shared lock, seeking
// there first.

#include <cstdint>

#include "system/io/uWorkers.h"
#include "system/uSystem.h"

class TSharedView : public TStream {
public:
    TSharedView(TStream& source, TLock& lock) : source_(source), lock_(lock) {}

    int32_t Read(void* buffer, int32_t count) override {
        count = count < INT32_MAX - position_ ? count : INT32_MAX - position_;
        int32_t done = source_.ReadAt(position_, buffer, count);
        if (done == TStream::kNoReadAt) {
            TLockHold hold(lock_);
            done = ReadFrom(source_, position_, buffer, count);
        }
        if (done > 0) position_ += done;
        return done;
    }
    int32_t Write(const void*, int32_t) override { return 0; }
    int32_t Seek(int32_t offset, uint16_t origin) override {
        int64_t base = origin == soFromCurrent ? position_ : 0;
        if (origin == soFromEnd) {
            TLockHold hold(lock_);
            base = source_.Size();
        }
        if (base + offset < 0 || base + offset > INT32_MAX) return -1;
        return position_ = static_cast<int32_t>(base + offset);
    }

private:
    TStream& source_;
    TLock& lock_;
    int32_t position_ = 0;
};
