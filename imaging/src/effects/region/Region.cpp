#include "kivo/imaging/Region.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "effects/EffectSupport.h"

namespace {

using kivo::effects::InRegion;

const RgnXForm Identity{};

// Display to bitmap coordinates; the scale factors must be positive.
bool ToBitmap(const RgnXForm& t, int64_t dx, int64_t dy, double* bx, double* by) {
    if (t.XScalarNum <= 0 || t.XScalarDen <= 0 || t.YScalarNum <= 0 || t.YScalarDen <= 0)
        return false;
    *bx = double(dx - t.XOffset) * t.XScalarDen / t.XScalarNum;
    *by = double(dy - t.YOffset) * t.YScalarDen / t.YScalarNum;
    return true;
}

bool Combine(int mode, bool old, bool shape) {
    switch (mode) {
        case L_RGN_AND:
            return old && shape;
        case L_RGN_ANDNOTRGN:
            return old && !shape;
        case L_RGN_OR:
            return old || shape;
        case L_RGN_XOR:
            return old != shape;
        default:
            return shape;
    }
}

}  // namespace

int L_SetBitmapRgnEllipse(BitmapHandle* h, const RgnXForm* xform, const BitmapRect* rect,
                          int combineMode) {
    if (int status = kivo::effects::CheckBitmap(h); status != SUCCESS) return status;
    if (!rect) return ERROR_INV_PARAMETER;
    if (combineMode != L_RGN_AND && combineMode != L_RGN_SET && combineMode != L_RGN_ANDNOTRGN &&
        combineMode != L_RGN_OR && combineMode != L_RGN_XOR)
        return ERROR_INV_PARAMETER;
    double x0, y0, x1, y1;
    const RgnXForm& t = xform ? *xform : Identity;
    if (!ToBitmap(t, rect->Left, rect->Top, &x0, &y0) ||
        !ToBitmap(t, rect->Right, rect->Bottom, &x1, &y1))
        return ERROR_INV_PARAMETER;
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    // Ellipses far larger than any picture are refused rather than allocated.
    if (x1 - x0 > 65536 || y1 - y0 > 65536) return ERROR_INV_PARAMETER;
    const BitmapRect shape{int(std::floor(x0)), int(std::floor(y0)), int(std::ceil(x1)),
                           int(std::ceil(y1))};
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2, ax = (x1 - x0) / 2, ay = (y1 - y0) / 2;
    auto inEllipse = [&](int x, int y) {
        if (ax <= 0 || ay <= 0) return false;
        const double u = (x + 0.5 - cx) / ax, v = (y + 0.5 - cy) / ay;
        return u * u + v * v <= 1;
    };
    try {
        const BitmapRegion* old = combineMode == L_RGN_SET ? nullptr : h->Region.get();
        BitmapRect b = shape;
        if (old) {
            b.Left = std::min(b.Left, old->Bounds.Left);
            b.Top = std::min(b.Top, old->Bounds.Top);
            b.Right = std::max(b.Right, old->Bounds.Right);
            b.Bottom = std::max(b.Bottom, old->Bounds.Bottom);
        }
        auto region = std::make_unique<BitmapRegion>();
        region->Bounds = b;
        region->Mask.assign(size_t(b.Right - b.Left) * size_t(b.Bottom - b.Top), 0);
        size_t i = 0;
        for (int y = b.Top; y < b.Bottom; ++y)
            for (int x = b.Left; x < b.Right; ++x, ++i)
                region->Mask[i] =
                    Combine(combineMode, old && InRegion(*old, x, y), inEllipse(x, y));
        h->Region = std::move(region);
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
    return SUCCESS;
}

int L_OffsetBitmapRgn(BitmapHandle* h, int rowOffset, int columnOffset) {
    if (int status = kivo::effects::CheckBitmap(h); status != SUCCESS) return status;
    if (!h->Region) return SUCCESS;
    BitmapRect& b = h->Region->Bounds;
    // Moves beyond any sensible picture are refused, so the bounds never overflow.
    const int64_t limit = int64_t(1) << 30;
    if (std::abs(int64_t(b.Left) + columnOffset) > limit ||
        std::abs(int64_t(b.Bottom) + rowOffset) > limit ||
        std::abs(int64_t(b.Right) + columnOffset) > limit ||
        std::abs(int64_t(b.Top) + rowOffset) > limit)
        return ERROR_INV_PARAMETER;
    b.Left += columnOffset;
    b.Right += columnOffset;
    b.Top += rowOffset;
    b.Bottom += rowOffset;
    return SUCCESS;
}

bool L_IsPtInBitmapRgn(const BitmapHandle* h, int row, int column) {
    return h && h->Region && InRegion(*h->Region, column, row);
}

bool L_BitmapHasRgn(const BitmapHandle* h) { return h && h->Region; }

int L_GetBitmapRgnBounds(const BitmapHandle* h, const RgnXForm* xform, BitmapRect* rect) {
    if (!h || !rect) return ERROR_INV_PARAMETER;
    *rect = {};
    if (!h->Region) return SUCCESS;
    const RgnXForm& t = xform ? *xform : Identity;
    if (t.XScalarNum <= 0 || t.XScalarDen <= 0 || t.YScalarNum <= 0 || t.YScalarDen <= 0)
        return ERROR_INV_PARAMETER;
    const BitmapRect& b = h->Region->Bounds;
    auto toX = [&](int x) { return int(int64_t(x) * t.XScalarNum / t.XScalarDen + t.XOffset); };
    auto toY = [&](int y) { return int(int64_t(y) * t.YScalarNum / t.YScalarDen + t.YOffset); };
    *rect = {toX(b.Left), toY(b.Top), toX(b.Right), toY(b.Bottom)};
    return SUCCESS;
}

int L_FreeBitmapRgn(BitmapHandle* h) {
    if (!h) return ERROR_INV_PARAMETER;
    h->Region.reset();
    return SUCCESS;
}
