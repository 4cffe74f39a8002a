#pragma once
// Work spread over threads: a lock for what they share, and a few threads
// that each run one routine until it returns. For the places where doing
// several things at once pays, such as writing many files, where each
// file's waits for the disk can overlap the others' work.

#include <memory>

class TLock {
public:
    TLock();
    ~TLock();
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

    void Enter();
    void Leave();

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

// Tells threads waiting for something to change that it did: a waiter
// takes the count of changes first, then checks what it waits for, then
// waits for a change past that count, so that one made between the check
// and the wait is not missed. Every waiter wakes at each change.
class TSignal {
public:
    TSignal();
    ~TSignal();
    TSignal(const TSignal&) = delete;
    TSignal& operator=(const TSignal&) = delete;

    unsigned long Changes() const;
    // Counts a change and wakes every waiter.
    void Changed();
    // Waits until the count of changes is past seen, at most milliseconds.
    void Wait(unsigned long seen, unsigned milliseconds);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

// Holds a lock for its scope.
class TLockHold {
public:
    explicit TLockHold(TLock& lock) : lock_(lock) { lock_.Enter(); }
    ~TLockHold() { lock_.Leave(); }
    TLockHold(const TLockHold&) = delete;
    TLockHold& operator=(const TLockHold&) = delete;

private:
    TLock& lock_;
};

// count threads (at most kMaxWorkers), each running work(context) until it
// returns. When the system starts none, the constructor runs work itself,
// so the work is done either way. The destructor waits for every thread.
class TWorkers {
public:
    static constexpr unsigned kMaxWorkers = 16;

    TWorkers(unsigned count, void (*work)(void*), void* context);
    ~TWorkers();
    TWorkers(const TWorkers&) = delete;
    TWorkers& operator=(const TWorkers&) = delete;

    // True once every thread has ended; waits for that at most
    // milliseconds.
    bool Wait(unsigned milliseconds);

private:
    struct TState;
    std::unique_ptr<TState> state_;
};
