// Linked statically with the installer's own record of exceptions in
// flight: threads that throw and catch at the same time each see only
// their own exceptions.
#include <gtest/gtest.h>

#include <windows.h>

#include <exception>

namespace {

struct TCount {
    int thread;
    long mismatches = 0;
};

DWORD WINAPI ThrowAndCatch(void* context) {
    auto* count = static_cast<TCount*>(context);
    for (int i = 0; i < 20000; ++i) {
        try {
            throw count->thread * 100000 + i;
        } catch (int outer) {
            // A nested exception while the outer one is caught: both live
            // in this thread's chain of caught exceptions.
            try {
                throw -outer;
            } catch (int inner) {
                if (inner != -outer) ++count->mismatches;
            }
            if (outer != count->thread * 100000 + i || std::uncaught_exceptions() != 0) ++count->mismatches;
            std::exception_ptr current = std::current_exception();
            try {
                std::rethrow_exception(current);
            } catch (int again) {
                if (again != outer) ++count->mismatches;
            }
        }
    }
    return 0;
}

}  // namespace

TEST(ExceptionGlobals, ThreadsThrowingAtOnceSeeTheirOwnExceptions) {
    TCount counts[4];
    HANDLE threads[4];
    for (int t = 0; t < 4; ++t) {
        counts[t].thread = t + 1;
        threads[t] = CreateThread(nullptr, 0, &ThrowAndCatch, &counts[t], 0, nullptr);
        ASSERT_NE(threads[t], nullptr);
    }
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (int t = 0; t < 4; ++t) {
        CloseHandle(threads[t]);
        EXPECT_EQ(counts[t].mismatches, 0) << "thread " << t + 1;
    }
}
