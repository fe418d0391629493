#include "core/ParallelRows.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace kivo {

int ParallelThreadCount() {
    static const int count = std::max(1u, std::thread::hardware_concurrency());
    return count;
}

void ParallelRows(int height, const std::function<void(int, int)>& fn, int minRowsPerThread) {
    if (height <= 0) return;
    const int threads =
        std::clamp(height / std::max(1, minRowsPerThread), 1, ParallelThreadCount());
    if (threads == 1) {
        fn(0, height);
        return;
    }
    // The calling thread takes the first band, so a two-core machine starts one thread only.
    std::vector<std::jthread> workers;
    workers.reserve(size_t(threads - 1));
    const int band = (height + threads - 1) / threads;
    for (int t = 1; t < threads; ++t) {
        int first = t * band, end = std::min(height, first + band);
        if (first < end) workers.emplace_back([&fn, first, end] { fn(first, end); });
    }
    fn(0, std::min(height, band));
}

}  // namespace kivo
