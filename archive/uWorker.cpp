#include "archive/uWorker.h"

void TWorker::Run(void* self) {
    TWorker& w = *static_cast<TWorker*>(self);
    while (!w.stop_ && w.step_(w.context_)) w.stepped_.Changed();
    w.over_ = true;
    w.stepped_.Changed();
}

void TWorker::Start(TStep step, void* context) {
    step_ = step;
    context_ = context;
    stop_ = false;
    over_ = false;
    thread_ = std::make_unique<TWorkers>(1, &TWorker::Run, this);
}

void TWorker::Stop() {
    stop_ = true;
    thread_.reset();  // waits for the thread
    over_ = true;
}

bool TWorker::Await(unsigned long seen) {
    if (over_) return false;
    stepped_.Wait(seen, 100);
    return !over_;
}
