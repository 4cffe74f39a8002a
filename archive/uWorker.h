#pragma once
// A job that runs in steps on a thread of its own while its owner waits for
// the progress it needs: the solid archive decodes a segment ahead of the
// entries the installer writes, so that decoding and writing overlap. When
// no thread can be had, the waiter takes the steps itself.

#include <atomic>
#include <memory>

class TWorker {
public:
    // One step of the job; false when the job is over (done or failed).
    using TStep = bool (*)(void* context);

    TWorker();
    ~TWorker();  // stops the job
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    // Runs step(context) again and again on a new thread until it returns
    // false or Stop is called. The job must not be running.
    void Start(TStep step, void* context);
    // Asks the job to stop after its current step and waits until it has.
    void Stop();
    // Waits until the job has taken a step since the last call, or about
    // a tenth of a second; without a thread, takes one step. False once the
    // job is over.
    bool Await();

private:
    struct TState;
    std::unique_ptr<TState> state_;
};
