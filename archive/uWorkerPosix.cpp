#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "archive/uWorker.h"

struct TWorker::TState {
    std::thread thread;
    std::mutex lock;
    std::condition_variable stepped;
    unsigned long steps = 0, seen = 0;  // steps taken, and as the last Await saw them
    std::atomic<bool> stop{false}, over{true};
    TStep step = nullptr;
    void* context = nullptr;

    void Run() {
        bool more = true;
        while (more) {
            more = !stop && step(context);
            std::lock_guard<std::mutex> hold(lock);
            ++steps;
            if (!more) over = true;
            stepped.notify_all();
        }
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
    try {
        s.thread = std::thread([&s] { s.Run(); });
    } catch (const std::system_error&) {
        // No thread: Await takes the steps.
    }
}

void TWorker::Stop() {
    TState& s = *state_;
    s.stop = true;
    if (s.thread.joinable()) s.thread.join();
    s.over = true;
}

bool TWorker::Await() {
    TState& s = *state_;
    if (s.over) return false;
    if (!s.thread.joinable()) {
        if (!s.step(s.context)) s.over = true;
        return !s.over;
    }
    std::unique_lock<std::mutex> hold(s.lock);
    s.stepped.wait_for(hold, std::chrono::milliseconds(100), [&s] { return s.steps != s.seen || s.over; });
    s.seen = s.steps;
    return !s.over;
}
