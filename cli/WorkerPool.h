#pragma once

#include "pipeline/PicturePipeline.h"

#include <cstddef>
#include <functional>

// The photos' work spread over threads, each holding one photo at a time so
// memory stays at `jobs` pictures.
struct PoolTasks {
    // Works on item `index` in a worker thread.
    std::function<PipelineResult(std::size_t index)> work;
    // Takes an item's result in the calling thread, in the order they finish.
    std::function<void(std::size_t index, const PipelineResult& result)> finished;
    // Called in the calling thread now and then while work goes on (about
    // four times a second when nothing finishes).
    std::function<void()> waiting;
    // True when no further item is to be started.
    std::function<bool()> stopped;
};

// Runs tasks.work for the items 0 to count - 1 on up to `jobs` threads (at
// least one), hands each result to tasks.finished and returns when every
// worker has ended: all items done, or no more started after tasks.stopped.
void runInPool(std::size_t count, int jobs, const PoolTasks& tasks);
