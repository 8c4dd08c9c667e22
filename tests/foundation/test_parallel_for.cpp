// The parallel-for helper: every job once, on workers that never overlap,
// the first failing job's exception carried back, no wait for a busy pool.

#include "foundation/errors.h"
#include "foundation/parallel_for.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>
#include <vector>

namespace {

struct Shape {
    qsizetype jobs;
    int workers;
};

class ParallelForShapes : public ::testing::TestWithParam<Shape> {};

} // namespace

TEST_P(ParallelForShapes, RunsEveryJobOnceAndNoWorkerTwiceAtOnce)
{
    const Shape shape = GetParam();
    std::vector<std::atomic<int>> runs(size_t(std::max<qsizetype>(shape.jobs, 1)));
    std::vector<std::atomic<int>> busy(size_t(std::max(shape.workers, 1)));
    std::atomic<bool> overlapped{false};
    ParallelFor(shape.jobs, shape.workers, [&](qsizetype job, int worker) {
        ASSERT_GE(worker, 0);
        ASSERT_LT(worker, std::max(shape.workers, 1));
        if (busy[size_t(worker)].fetch_add(1) != 0)
            overlapped = true;
        runs[size_t(job)].fetch_add(1);
        busy[size_t(worker)].fetch_sub(1);
    });
    EXPECT_FALSE(overlapped);
    for (qsizetype job = 0; job < shape.jobs; ++job)
        EXPECT_EQ(runs[size_t(job)].load(), 1) << "job " << job;
}

INSTANTIATE_TEST_SUITE_P(Shapes, ParallelForShapes,
                         ::testing::Values(Shape{0, 4}, Shape{1, 4}, Shape{7, 1}, Shape{500, 3},
                                           Shape{3, 64}, Shape{100, 0}));

TEST(ParallelFor, TheLowestFailingJobsExceptionReachesTheCallerAndStopsNewJobs)
{
    std::atomic<qsizetype> started{0};
    try {
        ParallelFor(10000, 4, [&](qsizetype job, int) {
            started.fetch_add(1);
            if (job == 40 || job == 41)
                throw AppError(QStringLiteral("job %1 failed").arg(job));
        });
        FAIL() << "no exception reached the caller";
    } catch (const AppError &error) {
        // Job 41 may fail first on another worker, but 40 was handed out
        // before it and is waited for: the lower one is told.
        EXPECT_EQ(error.message(), QStringLiteral("job 40 failed"));
    }
    EXPECT_LT(started.load(), 10000);

    // Not an AppError: carried back as it is.
    EXPECT_THROW(ParallelFor(5, 2,
                             [](qsizetype job, int) {
                                 if (job == 4)
                                     throw std::logic_error("four");
                             }),
                 std::logic_error);
}

TEST(ParallelFor, ACallFromEveryPoolThreadAtOnceDoesNotWaitForThePool)
{
    // Every pool thread runs a job that itself runs a parallel-for: the inner
    // calls find no thread free and do their jobs alone.
    std::atomic<qsizetype> inner{0};
    const int outer = QThreadPool::globalInstance()->maxThreadCount() + 1;
    ParallelFor(outer, outer, [&](qsizetype, int) {
        ParallelFor(50, 4, [&](qsizetype, int) { inner.fetch_add(1); });
    });
    EXPECT_EQ(inner.load(), qsizetype(outer) * 50);
}
