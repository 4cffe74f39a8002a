#include <windows.h>

#include "archive/uWorker.h"

struct TWorker::TState {
    HANDLE thread = nullptr;
    HANDLE stepped = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // auto-reset: set after each step
    std::atomic<bool> stop{false}, over{true};
    TStep step = nullptr;
    void* context = nullptr;

    ~TState() {
        if (stepped) CloseHandle(stepped);
    }

    static DWORD WINAPI Run(void* self) {
        TState& s = *static_cast<TState*>(self);
        while (!s.stop && s.step(s.context)) SetEvent(s.stepped);
        s.over = true;
        SetEvent(s.stepped);
        return 0;
    }
};

TWorker::TWorker() : state_(new TState) {}

TWorker::~TWorker() { Stop(); }

void TWorker::Start(TStep step, void* context) {
    TState& s = *state_;
    s.step = step;
    s.context = context;
    s.stop = false;
    s.over = false;
    // A small stack: the step decodes into buffers of its own.
    if (s.stepped) s.thread = CreateThread(nullptr, 64 * 1024, &TState::Run, &s, 0, nullptr);
}

void TWorker::Stop() {
    TState& s = *state_;
    s.stop = true;
    if (s.thread) {
        WaitForSingleObject(s.thread, INFINITE);
        CloseHandle(s.thread);
        s.thread = nullptr;
    }
    s.over = true;
}

bool TWorker::Await() {
    TState& s = *state_;
    if (s.over) return false;
    if (!s.thread) {
        if (!s.step(s.context)) s.over = true;
    } else {
        WaitForSingleObject(s.stepped, 100);
    }
    return !s.over;
}
