#pragma once

// Pictures are tens of megabytes each. glibc hands blocks that large to mmap and returns them to
// the system on free, so every open, undo copy and crop would fault fresh pages in again (on a
// virtual machine that is most of an open's time). Raising the mmap threshold keeps freed
// picture memory in the heap for the next picture. Called once at start-up.
void KeepPictureMemory();
