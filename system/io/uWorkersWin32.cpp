#include "system/io/uWorkers.h"

#include <windows.h>

#include <atomic>
#include <climits>

struct TLock::TState {
    CRITICAL_SECTION section;
};

TLock::TLock() : state_(new TState) { InitializeCriticalSection(&state_->section); }
TLock::~TLock() { DeleteCriticalSection(&state_->section); }
void TLock::Enter() { EnterCriticalSection(&state_->section); }
void TLock::Leave() { LeaveCriticalSection(&state_->section); }

// A semaphore released once for each thread waiting at a change. A waiter
// counts itself in before it looks at the count of changes, and Changed
// counts the change before it looks at the waiters, so one of the two
// sees the other. A release that finds its waiter gone (its wait timed
// out) wakes a later wait early, which then looks again.
struct TSignal::TState {
    HANDLE released = CreateSemaphoreA(nullptr, 0, LONG_MAX, nullptr);
    std::atomic<unsigned long> changes{0};
    std::atomic<long> waiting{0};
};

TSignal::TSignal() : state_(new TState) {}
TSignal::~TSignal() {
    if (state_->released) CloseHandle(state_->released);
}
unsigned long TSignal::Changes() const { return state_->changes; }

void TSignal::Changed() {
    ++state_->changes;
    long waiting = state_->waiting;
    if (waiting > 0 && state_->released) ReleaseSemaphore(state_->released, waiting, nullptr);
}

void TSignal::Wait(unsigned long seen, unsigned milliseconds) {
    ++state_->waiting;
    if (state_->changes == seen) {
        if (state_->released)
            WaitForSingleObject(state_->released, milliseconds);
        else
            Sleep(1);  // no semaphore: the caller looks again soon
    }
    --state_->waiting;
}

struct TWorkers::TState {
    HANDLE threads[kMaxWorkers] = {};
    DWORD started = 0;
    void (*work)(void*);
    void* context;

    static DWORD WINAPI Run(void* self) {
        auto* state = static_cast<TState*>(self);
        state->work(state->context);
        return 0;
    }
};

TWorkers::TWorkers(unsigned count, void (*work)(void*), void* context) : state_(new TState) {
    state_->work = work;
    state_->context = context;
    // The stack is reserved, not committed: a worker needs little of it.
    for (unsigned i = 0; i < count && i < kMaxWorkers; ++i) {
        HANDLE thread = CreateThread(nullptr, 256 * 1024, &TState::Run, state_.get(),
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (!thread) break;
        state_->threads[state_->started++] = thread;
    }
    if (state_->started == 0) work(context);
}

TWorkers::~TWorkers() {
    Wait(INFINITE);
    for (DWORD i = 0; i < state_->started; ++i) CloseHandle(state_->threads[i]);
}

bool TWorkers::Wait(unsigned milliseconds) {
    return state_->started == 0 ||
           WaitForMultipleObjects(state_->started, state_->threads, TRUE, milliseconds) != WAIT_TIMEOUT;
}
