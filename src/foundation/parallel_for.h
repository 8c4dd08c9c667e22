#pragma once

#include <QtGlobal>

#include <functional>

// Runs `work(job, worker)` for every job 0..count-1, shared out over up to
// `workers` threads: the calling thread (worker 0) and helpers taken from
// Qt's global thread pool when it has threads free, so a call made from a
// pool thread never waits for a thread that cannot come. Jobs are handed out
// one at a time in order; one worker never runs two jobs at once.
//
// What a job throws is carried back: once a job has thrown no further jobs
// are started, and when every running job has ended the exception of the
// lowest-numbered job that threw is rethrown on the calling thread. Jobs
// after it may have run as well.
void ParallelFor(qsizetype count, int workers,
                 const std::function<void(qsizetype job, int worker)> &work);

// One worker per core.
int DefaultWorkerCount();
