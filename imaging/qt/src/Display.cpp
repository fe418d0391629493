#include "kivo/imaging/qt/Display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>

namespace {

QList<QRgb> ColourTable(const ColorPalette& pal, int entries) {
    QList<QRgb> table(entries, qRgb(0, 0, 0));
    for (int i = 0; i < entries && i < int(pal.size()); ++i) {
        const RgbQuad& q = pal[size_t(i)];
        table[i] = qRgb(q.Red, q.Green, q.Blue);
    }
    return table;
}

// 4-bit rows hold two indices per byte, high nibble first; Qt has no such format.
QImage ExpandNibbles(const BitmapHandle& h) {
    QImage image(h.Width, h.Height, QImage::Format_Indexed8);
    if (image.isNull()) return image;
    image.setColorTable(ColourTable(h.Palette, 256));
    for (int y = 0; y < h.Height; ++y) {
        const uint8_t* in = h.Row(y);
        uint8_t* out = image.scanLine(y);
        for (int x = 0; x < h.Width; ++x) out[x] = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
    }
    return image;
}

// What a painter on a bitmap needs to finish: the image it paints on and, for palette bitmaps,
// the bitmap to map the result back into.
struct LeadDC {
    BitmapHandle* Target = nullptr;
    QImage Image;
    bool MapBack = false;
    std::unique_ptr<QPainter> Painter;
};

std::mutex LeadDCsLock;
std::unordered_map<QPainter*, std::unique_ptr<LeadDC>> LeadDCs;

uint8_t NearestIndex(const ColorPalette& pal, QRgb c) {
    int best = 0;
    int bestDist = 1 << 30;
    for (size_t i = 0; i < pal.size(); ++i) {
        int dr = int(pal[i].Red) - qRed(c);
        int dg = int(pal[i].Green) - qGreen(c);
        int db = int(pal[i].Blue) - qBlue(c);
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDist) {
            bestDist = d;
            best = int(i);
            if (d == 0) break;
        }
    }
    return uint8_t(best);
}

// Maps a true-colour drawing back onto a palette bitmap. Pictures drawn on are mostly runs of
// one colour, so the previous pixel's answer, then a cache, keep the palette search rare.
void MapToPalette(const QImage& image, BitmapHandle* h) {
    std::unordered_map<QRgb, uint8_t> cache;
    QRgb last = 0xFF000000u;
    uint8_t lastIndex = NearestIndex(h->Palette, last);
    for (int y = 0; y < h->Height; ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* out = h->Row(y);
        std::memset(out, 0, size_t(h->BytesPerLine));
        for (int x = 0; x < h->Width; ++x) {
            QRgb c = in[x] | 0xFF000000u;
            uint8_t index;
            if (c == last) {
                index = lastIndex;
            } else {
                auto it = cache.find(c);
                if (it != cache.end()) {
                    index = it->second;
                } else {
                    index = NearestIndex(h->Palette, c);
                    cache.emplace(c, index);
                }
                last = c;
                lastIndex = index;
            }
            switch (h->BitsPerPixel) {
            case 1: out[x >> 3] |= uint8_t((index & 1) << (7 - (x & 7))); break;
            case 4: out[x >> 1] |= uint8_t((index & 0x0F) << ((x & 1) ? 0 : 4)); break;
            default: out[x] = index; break;
            }
        }
    }
}

ColorPalette PaletteFromTable(const QList<QRgb>& table) {
    ColorPalette pal(size_t(table.size()));
    for (qsizetype i = 0; i < table.size(); ++i)
        pal[size_t(i)] = RgbQuad{uint8_t(qBlue(table[i])), uint8_t(qGreen(table[i])),
                                 uint8_t(qRed(table[i])), 0};
    return pal;
}

}  // namespace

QImage L_BitmapImage(const BitmapHandle* h) {
    if (!h || !h->Allocated() || !h->Data()) return {};
    // The QImage constructors take a non-const buffer; writes through it are meant to reach the
    // bitmap (L_CreateLeadDC), and read-only callers never write.
    uchar* data = const_cast<uchar*>(h->Data());
    if (h->ViewPerspective == BOTTOM_LEFT) {
        // Bottom-up rows cannot be wrapped (QImage has no negative stride): show an upright copy.
        BitmapHandle upright;
        if (L_ChangeBitmapViewPerspective(&upright, h, TOP_LEFT) != SUCCESS) return {};
        return L_BitmapImage(&upright).copy();
    }
    switch (h->BitsPerPixel) {
    case 1: {
        QImage image(data, h->Width, h->Height, h->BytesPerLine, QImage::Format_Mono);
        image.setColorTable(h->Palette.empty() ? QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)}
                                               : ColourTable(h->Palette, 2));
        return image;
    }
    case 4: return ExpandNibbles(*h);
    case 8: {
        QImage image(data, h->Width, h->Height, h->BytesPerLine, QImage::Format_Indexed8);
        // A palette shorter than 256 entries is padded, so that no stored index reads past it.
        image.setColorTable(ColourTable(h->Palette, 256));
        return image;
    }
    case 16: return QImage(data, h->Width, h->Height, h->BytesPerLine, QImage::Format_RGB555);
    case 24: return QImage(data, h->Width, h->Height, h->BytesPerLine, QImage::Format_BGR888);
    case 32: return QImage(data, h->Width, h->Height, h->BytesPerLine, QImage::Format_ARGB32);
    default: return {};
    }
}

PaintPalette L_CreatePaintPalette(QPainter*, const BitmapHandle*) { return 0; }

QRect L_VisibleSourceRect(int w, int h, const QRect& dst, const QRect& visible) {
    QRect v = dst.intersected(visible);
    if (v.isEmpty() || w <= 0 || h <= 0 || dst.width() <= 0 || dst.height() <= 0) return {};
    // Destination pixel d covers source [(d − dst.left) × w / dstW, (d + 1 − dst.left) × w / dstW);
    // taking floor of the first and ceiling of the last keeps every pixel that shows, even in part.
    auto lo = [](int64_t offset, int64_t size, int64_t dstSize) {
        return int(std::clamp<int64_t>(offset * size / dstSize, 0, size));
    };
    auto hi = [](int64_t offset, int64_t size, int64_t dstSize) {
        return int(std::clamp<int64_t>((offset * size + dstSize - 1) / dstSize, 0, size));
    };
    int x0 = lo(v.left() - dst.left(), w, dst.width());
    int x1 = hi(v.right() + 1 - dst.left(), w, dst.width());
    int y0 = lo(v.top() - dst.top(), h, dst.height());
    int y1 = hi(v.bottom() + 1 - dst.top(), h, dst.height());
    if (x1 <= x0 || y1 <= y0) return {};
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

int L_PaintDC(QPainter* dc, const BitmapHandle* h, const QRect* src, const QRect*,
              const QRect* dst, const QRect* dstClip, uint32_t rop) {
    if (!dc || !dst) return ERROR_INV_PARAMETER;
    if (!h || !h->Allocated()) return ERROR_NO_BITMAP;
    if (rop != SRCCOPY) return ERROR_FEATURE_NOT_SUPPORTED;
    if (dst->isEmpty()) return SUCCESS;

    QRect whole(0, 0, h->Width, h->Height);
    QRect source = (src && !src->isEmpty()) ? src->intersected(whole) : whole;
    if (source.isEmpty()) return SUCCESS;

    QRect visible = *dst;
    if (dstClip && !dstClip->isEmpty()) visible = visible.intersected(*dstClip);
    if (dc->hasClipping()) visible = visible.intersected(dc->clipBoundingRect().toAlignedRect());
    if (dc->device())
        visible = visible.intersected(QRect(0, 0, dc->device()->width(), dc->device()->height()));
    if (visible.isEmpty()) return SUCCESS;

    QRect part = L_VisibleSourceRect(source.width(), source.height(), *dst, visible);
    if (part.isEmpty()) return SUCCESS;
    part.translate(source.topLeft());

    QImage image = L_BitmapImage(h);
    if (image.isNull()) return ERROR_NO_MEMORY;

    // Where the chosen source pixels land, in exact (fractional) destination coordinates, so that
    // painting a part lines up with painting the whole.
    double sx = double(dst->width()) / source.width();
    double sy = double(dst->height()) / source.height();
    QRectF target(dst->left() + (part.left() - source.left()) * sx,
                  dst->top() + (part.top() - source.top()) * sy, part.width() * sx,
                  part.height() * sy);

    dc->save();
    dc->setClipRect(visible, Qt::IntersectClip);
    dc->setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (part.size() == target.size().toSize() && target.topLeft() == target.topLeft().toPoint())
        dc->drawImage(target.topLeft().toPoint(), image, part);
    else
        dc->drawImage(target, image, QRectF(part));
    dc->restore();
    return SUCCESS;
}

QImage L_ConvertToDDB(QPainter*, const BitmapHandle* h) { return L_BitmapImage(h); }

int L_ConvertFromDDB(QPainter*, BitmapHandle* h, const QImage& image, int) {
    if (!h) return ERROR_INV_PARAMETER;
    if (image.isNull()) return ERROR_INV_PARAMETER;
    try {
        QImage source;
        int bpp = 24;
        switch (image.format()) {
        case QImage::Format_Mono:
            source = image;
            bpp = 1;
            break;
        case QImage::Format_MonoLSB:
            source = image.convertToFormat(QImage::Format_Mono);
            bpp = 1;
            break;
        case QImage::Format_Indexed8:
            source = image;
            bpp = 8;
            break;
        case QImage::Format_RGB555:
            source = image;
            bpp = 16;
            break;
        case QImage::Format_BGR888:
            source = image;
            break;
        default:
            if (image.hasAlphaChannel()) {
                source = image.convertToFormat(QImage::Format_ARGB32);
                bpp = 32;
            } else {
                source = image.convertToFormat(QImage::Format_BGR888);
            }
            break;
        }
        if (source.isNull()) return ERROR_NO_MEMORY;

        BitmapHandle result;
        int status = result.Allocate(source.width(), source.height(), bpp);
        if (status != SUCCESS) return status;
        if (bpp <= 8) {
            result.Palette = PaletteFromTable(source.colorTable());
            result.Palette.resize(size_t(1) << bpp);
        }
        size_t rowBytes = std::min<size_t>(size_t(result.BytesPerLine), size_t(source.bytesPerLine()));
        if (source.bytesPerLine() == result.BytesPerLine) {
            std::memcpy(result.Data(), source.constBits(), result.DataSize());
        } else {
            for (int y = 0; y < result.Height; ++y) {
                std::memcpy(result.Row(y), source.constScanLine(y), rowBytes);
                std::memset(result.Row(y) + rowBytes, 0, size_t(result.BytesPerLine) - rowBytes);
            }
        }
        *h = std::move(result);
        return SUCCESS;
    } catch (const std::bad_alloc&) {
        return ERROR_NO_MEMORY;
    }
}

int L_CopyToClipboardExt(QWidget*, const BitmapHandle* h, uint32_t) {
    if (!h || !h->Allocated()) return ERROR_NO_BITMAP;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return ERROR_INTERNAL;
    QImage image = L_BitmapImage(h);
    if (image.isNull()) return ERROR_NO_MEMORY;
    // The clipboard keeps its image after the bitmap changes, so it gets a deep copy.
    clipboard->setImage(image.copy());
    return SUCCESS;
}

int L_CopyFromClipboard(QWidget*, BitmapHandle* h) {
    if (!h) return ERROR_INV_PARAMETER;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return ERROR_NO_CLIPBOARD_DATA;
    QImage image = clipboard->image();
    if (image.isNull()) return ERROR_NO_CLIPBOARD_DATA;
    return L_ConvertFromDDB(nullptr, h, image, 0);
}

QPainter* L_CreateLeadDC(BitmapHandle* h) {
    if (!h || !h->Allocated()) return nullptr;
    try {
        auto dc = std::make_unique<LeadDC>();
        dc->Target = h;
        if (h->BitsPerPixel <= 8) {
            // QPainter cannot paint on indexed images.
            dc->Image = L_BitmapImage(h).convertToFormat(QImage::Format_RGB32);
            dc->MapBack = true;
        } else {
            dc->Image = L_BitmapImage(h);
        }
        if (dc->Image.isNull()) return nullptr;
        dc->Painter = std::make_unique<QPainter>(&dc->Image);
        if (!dc->Painter->isActive()) return nullptr;
        QPainter* painter = dc->Painter.get();
        std::lock_guard lock(LeadDCsLock);
        LeadDCs.emplace(painter, std::move(dc));
        return painter;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

int L_DeleteLeadDC(QPainter* painter) {
    std::unique_ptr<LeadDC> dc;
    {
        std::lock_guard lock(LeadDCsLock);
        auto it = LeadDCs.find(painter);
        if (it == LeadDCs.end()) return ERROR_INV_PARAMETER;
        dc = std::move(it->second);
        LeadDCs.erase(it);
    }
    dc->Painter->end();
    if (dc->MapBack && dc->Target->Allocated()) MapToPalette(dc->Image, dc->Target);
    return SUCCESS;
}
