#pragma once

// Taking a picture of what is shown: a part of the screen, or of one window.

#include "kivo/imaging/Bitmap.h"

class QWidget;

// h becomes a 24-bit bitmap of rect (the rectangle's right and bottom edges excluded). With no
// window, rect is in screen coordinates and the screen's pixels are taken, whatever window shows
// them; with a window, rect is in that window's coordinates and the window is rendered as it
// would show, covered or not. Parts of rect beyond the screen or the window come out black.
// ERROR_INV_PARAMETER for a missing or empty rectangle, ERROR_NO_SCREEN when there is no screen
// to take the picture from; h is left as it was on failure.
int L_ScreenCaptureBitmap(QWidget* window, BitmapHandle* h, const BitmapRect* rect);
