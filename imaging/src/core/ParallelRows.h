#pragma once

// Splits rows [0, height) into contiguous bands, one per hardware thread, and runs
// fn(firstRow, endRow) on each band concurrently; returns when all are done. Small jobs
// (fewer rows than minRowsPerThread per thread) run on the calling thread. The kernel must not
// depend on the order in which rows are visited, and must not call the status callback.

#include <functional>

namespace kivo {

void ParallelRows(int height, const std::function<void(int firstRow, int endRow)>& fn,
                  int minRowsPerThread = 16);

// The number of worker threads ParallelRows uses (hardware threads, at least 1).
int ParallelThreadCount();

}  // namespace kivo
