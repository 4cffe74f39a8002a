#include "system/io/uWorkers.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

struct TLock::TState {
    std::mutex mutex;
};

TLock::TLock() : state_(new TState) {}
TLock::~TLock() = default;
void TLock::Enter() { state_->mutex.lock(); }
void TLock::Leave() { state_->mutex.unlock(); }

struct TSignal::TState {
    std::mutex mutex;
    std::condition_variable changed;
    unsigned long changes = 0;
};

TSignal::TSignal() : state_(new TState) {}
TSignal::~TSignal() = default;

unsigned long TSignal::Changes() const {
    std::lock_guard<std::mutex> hold(state_->mutex);
    return state_->changes;
}

void TSignal::Changed() {
    {
        std::lock_guard<std::mutex> hold(state_->mutex);
        ++state_->changes;
    }
    state_->changed.notify_all();
}

void TSignal::Wait(unsigned long seen, unsigned milliseconds) {
    std::unique_lock<std::mutex> hold(state_->mutex);
    state_->changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                             [&] { return state_->changes != seen; });
}

struct TWorkers::TState {
    std::vector<std::thread> threads;
    std::mutex mutex;
    std::condition_variable ended;
    unsigned running = 0;
};

TWorkers::TWorkers(unsigned count, void (*work)(void*), void* context) : state_(new TState) {
    TState* state = state_.get();
    for (unsigned i = 0; i < count && i < kMaxWorkers; ++i) {
        try {
            std::lock_guard<std::mutex> hold(state->mutex);
            state->threads.emplace_back([state, work, context] {
                work(context);
                std::lock_guard<std::mutex> done(state->mutex);
                --state->running;
                state->ended.notify_all();
            });
            ++state->running;
        } catch (const std::system_error&) {
            break;
        }
    }
    if (state->threads.empty()) work(context);
}

TWorkers::~TWorkers() {
    for (std::thread& thread : state_->threads) thread.join();
}

bool TWorkers::Wait(unsigned milliseconds) {
    std::unique_lock<std::mutex> hold(state_->mutex);
    return state_->ended.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                  [this] { return state_->running == 0; });
}
