#include "kivo/imaging/qt/RegionFrame.h"

#include <QVector>

namespace {

const RgnXForm Identity{};

}  // namespace

int L_FrameBitmapRgn(QPainter* dc, const BitmapHandle* h, const RgnXForm* xform, int phase) {
    if (!h || !h->Allocated()) return ERROR_NO_BITMAP;
    if (!dc || !h->Region) return ERROR_INV_PARAMETER;
    const RgnXForm& t = xform ? *xform : Identity;
    if (t.XScalarNum <= 0 || t.XScalarDen <= 0 || t.YScalarNum <= 0 || t.YScalarDen <= 0)
        return ERROR_INV_PARAMETER;
    const BitmapRegion& region = *h->Region;
    const int left = region.Bounds.Left, top = region.Bounds.Top;
    const int width = region.Bounds.Right - left, height = region.Bounds.Bottom - top;
    if (width <= 0 || height <= 0) return SUCCESS;
    auto inside = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < width && y < height &&
               region.Mask[size_t(y) * size_t(width) + size_t(x)] != 0;
    };
    // Display block of bitmap pixel (x, y): from the pixel's corner to the next pixel's corner,
    // so blocks tile without gaps at any scale.
    auto toX = [&](int x) { return int(int64_t(x) * t.XScalarNum / t.XScalarDen) + t.XOffset; };
    auto toY = [&](int y) { return int(int64_t(y) * t.YScalarNum / t.YScalarDen) + t.YOffset; };
    const int step = ((phase % 8) + 8) % 8;
    QVector<QRect> black, white;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (!inside(x, y)) continue;
            if (inside(x - 1, y) && inside(x + 1, y) && inside(x, y - 1) && inside(x, y + 1))
                continue;
            const int bx = left + x, by = top + y;
            const int x0 = toX(bx), y0 = toY(by);
            const QRect block(x0, y0, std::max(1, toX(bx + 1) - x0), std::max(1, toY(by + 1) - y0));
            // Runs of four along the diagonal x + y, moved by the phase.
            const int band = (((bx + by - step) % 8) + 8) % 8;
            (band < 4 ? black : white).push_back(block);
        }
    dc->save();
    dc->setPen(Qt::NoPen);
    dc->setBrush(Qt::black);
    dc->drawRects(black);
    dc->setBrush(Qt::white);
    dc->drawRects(white);
    dc->restore();
    return SUCCESS;
}
