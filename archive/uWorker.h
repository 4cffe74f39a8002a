#pragma once
// A job that runs in steps on a thread of its own while others wait for
// the progress they need: the solid archive decodes a segment ahead of the
// entries the installer's workers write, so that decoding and writing
// overlap. When no thread can be had, Start runs the whole job itself.

#include <atomic>
#include <memory>

#include "system/io/uWorkers.h"

class TWorker {
public:
    // One step of the job; false when the job is over (done or failed).
    using TStep = bool (*)(void* context);

    TWorker() = default;
    ~TWorker() { Stop(); }
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    // Runs step(context) again and again on a new thread until it returns
    // false or Stop is called. The job must not be running.
    void Start(TStep step, void* context);
    // Asks the job to stop after its current step and waits until it has.
    void Stop();
    // The count of steps taken: what a waiter takes before it looks at the
    // job's progress, and then gives to Await.
    unsigned long Steps() const { return stepped_.Changes(); }
    // Waits until the job has taken a step past seen, or about a tenth of
    // a second (any number of threads may wait). False once the job is
    // over.
    bool Await(unsigned long seen);

private:
    static void Run(void* self);

    TStep step_ = nullptr;
    void* context_ = nullptr;
    std::atomic<bool> stop_{false}, over_{true};
    TSignal stepped_;
    std::unique_ptr<TWorkers> thread_;
};
