#include "system/io/uWorkers.h"

#include <windows.h>

struct TLock::TState {
    CRITICAL_SECTION section;
};

TLock::TLock() : state_(new TState) { InitializeCriticalSection(&state_->section); }
TLock::~TLock() { DeleteCriticalSection(&state_->section); }
void TLock::Enter() { EnterCriticalSection(&state_->section); }
void TLock::Leave() { LeaveCriticalSection(&state_->section); }

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
