#pragma once

// The hourglass cursor of a command: shown while the guard lives and taken back however the
// command ends, also when a library call throws.

#include <QApplication>

class THourglass {
public:
    THourglass() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~THourglass() { Restore(); }
    // Back to the default cursor before the guard goes (the cursor is reset before the view is
    // refreshed); the destructor then does nothing.
    void Restore() {
        if (Shown) QApplication::restoreOverrideCursor();
        Shown = false;
    }
    THourglass(const THourglass&) = delete;
    THourglass& operator=(const THourglass&) = delete;

private:
    bool Shown = true;
};
