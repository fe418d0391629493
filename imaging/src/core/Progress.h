#pragma once

// Reports progress of one long operation through the installed status callback. Report() calls
// the callback only when the percentage changes, so loops may call it once per row. It must be
// called on the thread that started the operation (the callback may run the event loop).

#include <cstdint>

namespace kivo {

class Progress {
public:
    // total: the number of steps (rows, strips, …) that make 100 %.
    explicit Progress(int64_t total);
    // Reports that `done` of `total` steps are finished. Returns false when the callback asked to
    // abort; the caller then stops and returns ERROR_USER_ABORT.
    bool Report(int64_t done);
    // Reports 100 % (once).
    bool Finish();
    bool Aborted() const { return Abort; }

private:
    int64_t Total;
    int LastPercent = -1;
    bool Abort = false;
};

}  // namespace kivo
