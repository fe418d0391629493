#pragma once

// The bridge between bitmap handles and Qt: painting, exchange with QImage, the clipboard and
// drawing on a bitmap with a QPainter.
//
// A "device context" here is a QPainter and a "device-dependent bitmap" a QImage. Wherever the
// bitmap's row layout is one Qt knows, the QImage wraps the handle's rows without copying:
//   1 bit  → Format_Mono with a two-entry colour table (most significant bit first, as stored)
//   8 bits → Format_Indexed8 with the palette as colour table
//   16 bits → Format_RGB555 (x1555, the same bit layout)
//   24 bits → Format_BGR888
//   32 bits → Format_ARGB32 (B, G, R, A in memory on little-endian machines)
// 4-bit bitmaps have no Qt counterpart and are expanded to Format_Indexed8.

#include <cstdint>

#include <QImage>
#include <QRect>

#include "kivo/imaging/Bitmap.h"

class QPainter;
class QWidget;

// A palette handle as GDI would give one; Qt always paints in true colour, so it is always 0.
using PaintPalette = uintptr_t;

// Raster operation of L_PaintDC; only a plain copy is supported.
enum : uint32_t { SRCCOPY = 0x00CC0020u };

// A QImage over the bitmap's rows (see the table above). The image is valid only while the
// bitmap keeps its pixels; writing through it writes into the bitmap, except for 4-bit bitmaps,
// whose image is an expanded copy. A null image when the bitmap is not allocated.
QImage L_BitmapImage(const BitmapHandle* h);

// Palette to select before painting h; 0 on true-colour displays, which is every display Qt
// paints on, so callers skip selecting and deleting it.
PaintPalette L_CreatePaintPalette(QPainter* dc, const BitmapHandle* h);

// Draws the whole bitmap (or the part src, when given and not empty) stretched into dst.
// Only the part of dst inside clip (when given and not empty) and inside the painter's own clip
// is touched, and only the source pixels that land there are scaled. The painter's
// SmoothPixmapTransform hint chooses between nearest-neighbour and bilinear scaling.
int L_PaintDC(QPainter* dc, const BitmapHandle* h, const QRect* src, const QRect* srcClip,
              const QRect* dst, const QRect* dstClip, uint32_t rop = SRCCOPY);

// The source sub-rectangle of a w × h bitmap that lands inside visible when the bitmap is
// stretched into dst, widened to whole pixels; empty when nothing is visible.
QRect L_VisibleSourceRect(int w, int h, const QRect& dst, const QRect& visible);

// The bitmap as a QImage (see L_BitmapImage: a view of the rows where the layout allows).
// The dc is accepted for call-site fidelity and not used. Call .copy() to keep the image beyond
// the bitmap's lifetime.
QImage L_ConvertToDDB(QPainter* dc, const BitmapHandle* h);

// h becomes a bitmap holding image: Mono and Indexed8 keep their depth and palette, RGB555
// gives 16 bits, images with an alpha channel 32 bits, everything else 24 bits. The rows are
// copied in one block when the strides agree. flags is reserved (0).
int L_ConvertFromDDB(QPainter* dc, BitmapHandle* h, const QImage& image, int flags = 0);

// Puts a copy of the bitmap on the system clipboard as an image. window and flags (14: the
// bitmap, its palette and a device-dependent copy) are accepted for call-site fidelity.
int L_CopyToClipboardExt(QWidget* window, const BitmapHandle* h, uint32_t flags);
// Takes the clipboard's image into h. Above 0: a picture was taken; ERROR_NO_CLIPBOARD_DATA
// when the clipboard holds no image (h is then left as it was).
int L_CopyFromClipboard(QWidget* window, BitmapHandle* h);

// A painter that draws into the bitmap. For 16, 24 and 32 bits it paints straight onto the
// rows; palette bitmaps are painted on a true-colour copy that L_DeleteLeadDC maps back to the
// nearest palette colours. Null when the bitmap is not allocated. Every painter must be given
// back to L_DeleteLeadDC, which ends it and makes the drawing land in the bitmap.
QPainter* L_CreateLeadDC(BitmapHandle* h);
int L_DeleteLeadDC(QPainter* dc);
