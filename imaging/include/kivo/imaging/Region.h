#pragma once

// Regions: a bitmap may carry one region (a mask over a bounding rectangle, Bitmap.h). Effects
// then change only the pixels inside it (Effects.h). The region may reach beyond the bitmap's
// edges, so moving it out and back loses nothing. Rows and columns are bitmap pixels; the
// transform maps the caller's display coordinates to them.

#include "kivo/imaging/Bitmap.h"

// display = bitmap · Num / Den + Offset, per axis; the default is the identity.
struct RgnXForm {
    int ViewPerspective = TOP_LEFT;
    int XScalarNum = 1;
    int XScalarDen = 1;
    int YScalarNum = 1;
    int YScalarDen = 1;
    int XOffset = 0;
    int YOffset = 0;
};

// How a new shape joins an existing region.
enum : int {
    L_RGN_AND = 0,        // inside both
    L_RGN_SET = 1,        // the new shape replaces the region
    L_RGN_ANDNOTRGN = 3,  // inside the old region but not the new shape
    L_RGN_OR = 4,         // inside either
    L_RGN_XOR = 5,        // inside exactly one
};

// The ellipse inscribed in rect (display coordinates; either corner order). An empty rect makes
// an empty region, which still counts as a region.
int L_SetBitmapRgnEllipse(BitmapHandle* h, const RgnXForm* xform, const BitmapRect* rect,
                          int combineMode);
// Moves the region by rowOffset rows down and columnOffset columns right.
int L_OffsetBitmapRgn(BitmapHandle* h, int rowOffset, int columnOffset);
// True when pixel (row, column) is inside the region.
bool L_IsPtInBitmapRgn(const BitmapHandle* h, int row, int column);
bool L_BitmapHasRgn(const BitmapHandle* h);
// The region's bounding rectangle in display coordinates; all zero without a region.
int L_GetBitmapRgnBounds(const BitmapHandle* h, const RgnXForm* xform, BitmapRect* rect);
int L_FreeBitmapRgn(BitmapHandle* h);
