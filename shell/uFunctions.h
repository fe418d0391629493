#pragma once

// Small helpers many windows share: well-known folders, file names and sizes, text
// replacement, rectangle arithmetic for previews and crop handles, web pages, and the program's
// one random sequence.

#include <cstdint>

#include <QString>

#include "kivo/imaging/Bitmap.h"

// Rectangles keep Left/Top/Right/Bottom with Right and Bottom outside, as the imaging library's.
using TRect = BitmapRect;

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// The folder of exchange and temporary files, ending in "/": $KIVO_SYSTEM_DIR when set, else
// $XDG_DATA_HOME/kivo/system/ (~/.local/share/kivo/system/). Created with mode 0700 when
// missing; empty when it cannot be created.
QString SystemFolderPath();
// The folder under which "KIVO Image Editor/" holds the program's content, ending in "/":
// $KIVO_PROGRAM_FILES when set, else $XDG_DATA_HOME/.
QString ProgramFilesPath();
// The content folder: ProgramFilesPath() + "KIVO Image Editor/".
QString ContentFolderPath();
// The maker's web server without a trailing "/": the registry value "WebBase" of
// HKEY_LOCAL_MACHINE "SOFTWARE/MORVANE", else $KIVO_WEB_BASE, else a reserved name that never
// resolves.
QString WebServerBase();

// "PIC" + year month day + "_" + hour minute second millisecond + ".JPG" from the platform clock,
// without leading zeros: 10 February 2004 9:05:03.045 gives "PIC2004210_95345.JPG".
QString MakePictureFileName();

// Size in bytes of the first file matching path (which may hold * and ? in its last part,
// matched ignoring case, first match in name order); -1 when nothing matches. Sizes above the
// 32-bit range are reported as INT32_MAX rather than wrapping into negative numbers.
int32_t GetFileSizeBytes(const QString& path);
// 0..999 "n Byte"; 1000..999999 "n div 1024 KB"; otherwise "%.1f MB" of n / 1024 / 1024.
QString FormatFileSize(int32_t n);

// Replaces every occurrence of find, left to right, never rescanning inserted text. An empty
// find leaves the text as it is.
QString ReplaceAll(const QString& text, const QString& find, const QString& replacement);

int32_t RectWidth(const TRect& r);
int32_t RectHeight(const TRect& r);
int32_t SignedRectWidth(const TRect& r);
int32_t SignedRectHeight(const TRect& r);
// Shrinks rect proportionally to fit maxW × maxH, never enlarging; Left and Top stay.
void FitRect(TRect& rect, int32_t maxW, int32_t maxH);
// Moves rect, keeping its size, to the centre of bounds.
void CenterRect(TRect& rect, const TRect& bounds);
void NormalizeRect(TRect& rect);
// The 10 × 10 square around handle 1..8 of rect (1 top-left, then clockwise: 2 top middle,
// 3 top-right, 4 right middle, 5 bottom-right, 6 bottom middle, 7 bottom-left, 8 left middle).
TRect HandleRect(const TRect& rect, int handle);
// The first handle 1..8 whose square holds the point (right and bottom edges outside); 0 if none.
int HitTestHandles(const TRect& rect, const TPoint& point);
// Moves the edges that handle grabs by delta; other handle values change nothing.
void MoveRectEdges(TRect& rect, const TPoint& delta, int handle);

// Opens url in the user's browser through the desktop services; errors are swallowed.
void OpenWebPage(const QString& url);

// The program's one random sequence, shared by every part of it: seed 0 at start, each draw
// seed := seed × 134775813 + 1, and a draw in 0 … n − 1 is the upper 32 bits of seed × n.
// Never reseeded by the program itself.
extern uint32_t RandSeed;
int32_t Random(int32_t n);
