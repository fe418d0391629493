#pragma once

// The outline of a bitmap's region drawn as "marching ants": the region's edge pixels in
// alternating runs of four black and four white pixels along the diagonals. Calling it again
// with the next phase (0..7, wrapping) moves the runs by one pixel, which animates the outline
// when a timer steps the phase.

#include <QPainter>

#include "kivo/imaging/Region.h"

// Draws the outline of h's region through xform (bitmap to display coordinates, as the region
// calls use it) with the given phase. The edge pixels are the region's pixels with a neighbour
// (left, right, above or below) outside it; each covers its display block. ERROR_NO_BITMAP
// when h is not allocated; ERROR_INV_PARAMETER without a painter or a region, or with a scale
// that is not positive.
int L_FrameBitmapRgn(QPainter* dc, const BitmapHandle* h, const RgnXForm* xform, int phase);
