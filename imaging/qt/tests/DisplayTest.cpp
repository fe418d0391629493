#include <cstring>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QtTest>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/qt/Display.h"

namespace {

// A bitmap whose every pixel differs from its neighbours, so that an off-by-one in any mapping
// shows. Palette depths get a palette of distinct colours and indices cycling through it.
BitmapHandle Pattern(int w, int h, int bpp) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, w, h, bpp);
    if (bpp <= 8) {
        int n = 1 << bpp;
        b.Palette.resize(size_t(n));
        for (int i = 0; i < n; ++i)
            b.Palette[size_t(i)] = RgbQuad{uint8_t(i * 37 % 256), uint8_t(255 - i), uint8_t(i), 0};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int index = (x * 3 + y * 5) % n;
                uint8_t* row = b.Row(y);
                switch (bpp) {
                case 1:
                    if (x % 8 == 0) row[x / 8] = 0;
                    row[x / 8] |= uint8_t(index << (7 - x % 8));
                    break;
                case 4:
                    if (x % 2 == 0) row[x / 2] = 0;
                    row[x / 2] |= uint8_t(index << (x % 2 ? 0 : 4));
                    break;
                default: row[x] = uint8_t(index);
                }
            }
        return b;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            L_PutPixelColor(&b, x, y, RGBColor(uint8_t(x * 8), uint8_t(y * 8), uint8_t(x * y)));
    if (bpp == 32)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) b.Row(y)[x * 4 + 3] = 255;
    return b;
}

QRgb Expected(const BitmapHandle& b, int x, int y) {
    ColorRef c = L_GetPixelColor(&b, x, y);
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

class DisplayTest : public QObject {
    Q_OBJECT

private slots:
    void WrapsEveryDepth_data() {
        QTest::addColumn<int>("bpp");
        QTest::addColumn<bool>("shared");
        QTest::newRow("1 bit") << 1 << true;
        QTest::newRow("4 bits expanded") << 4 << false;
        QTest::newRow("8 bits") << 8 << true;
        QTest::newRow("16 bits") << 16 << true;
        QTest::newRow("24 bits") << 24 << true;
        QTest::newRow("32 bits") << 32 << true;
    }
    void WrapsEveryDepth() {
        QFETCH(int, bpp);
        QFETCH(bool, shared);
        // An odd width makes the row padding matter.
        BitmapHandle b = Pattern(13, 7, bpp);
        QImage image = L_BitmapImage(&b);
        QCOMPARE(image.size(), QSize(13, 7));
        QCOMPARE(image.constBits() == b.Data(), shared);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x) {
                QRgb got = image.pixel(x, y) | 0xFF000000u;
                if (got != Expected(b, x, y))
                    QFAIL(qPrintable(QString("pixel %1,%2: %3 != %4").arg(x).arg(y)
                                         .arg(got, 0, 16).arg(Expected(b, x, y), 0, 16)));
            }
    }

    void BottomUpBitmapShowsUpright() {
        BitmapHandle b = Pattern(5, 4, 24);
        QRgb topLeft = Expected(b, 0, 0);
        L_ChangeBitmapViewPerspective(&b, &b, BOTTOM_LEFT);
        QImage image = L_BitmapImage(&b);
        QCOMPARE(image.pixel(0, 0) | 0xFF000000u, topLeft);
    }

    void VisibleSourceRect_data() {
        QTest::addColumn<QSize>("bitmap");
        QTest::addColumn<QRect>("dst");
        QTest::addColumn<QRect>("visible");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("all visible") << QSize(100, 50) << QRect(0, 0, 200, 100)
                                     << QRect(0, 0, 500, 500) << QRect(0, 0, 100, 50);
        // Zoom 200: destination 10..29 is source 5..14.
        QTest::newRow("zoom 200 window") << QSize(100, 50) << QRect(0, 0, 200, 100)
                                         << QRect(10, 20, 20, 10) << QRect(5, 10, 10, 5);
        // Zoom 300 with an odd start: destination 4 is inside source pixel 1, 9 inside 3.
        QTest::newRow("zoom 300 partial pixels") << QSize(100, 50) << QRect(0, 0, 300, 150)
                                                 << QRect(4, 4, 6, 6) << QRect(1, 1, 3, 3);
        // Zoom 50 at an offset: destination 40..59 maps to source (40−30)×2 .. (60−30)×2.
        QTest::newRow("zoom 50 offset") << QSize(100, 50) << QRect(30, 30, 50, 25)
                                        << QRect(40, 40, 20, 20) << QRect(20, 20, 40, 30);
        QTest::newRow("scrolled off the left") << QSize(100, 50) << QRect(-150, 0, 200, 100)
                                               << QRect(0, 0, 40, 40) << QRect(75, 0, 20, 20);
        QTest::newRow("nothing visible") << QSize(100, 50) << QRect(0, 0, 200, 100)
                                         << QRect(300, 0, 10, 10) << QRect();
    }
    void VisibleSourceRect() {
        QFETCH(QSize, bitmap);
        QFETCH(QRect, dst);
        QFETCH(QRect, visible);
        QFETCH(QRect, expected);
        QCOMPARE(L_VisibleSourceRect(bitmap.width(), bitmap.height(), dst, visible), expected);
    }

    // Painting through a clip must give exactly what Qt's own stretch of the whole picture gives
    // inside the clip, and must not touch anything outside it.
    void PaintDCDrawsOnlyTheClip_data() {
        QTest::addColumn<int>("bpp");
        QTest::addColumn<QRect>("dst");
        QTest::addColumn<QRect>("clip");
        QTest::newRow("24 bits zoom 100") << 24 << QRect(5, 7, 40, 30) << QRect(10, 10, 20, 15);
        QTest::newRow("24 bits zoom 300") << 24 << QRect(-17, 3, 120, 90) << QRect(11, 13, 33, 29);
        QTest::newRow("24 bits zoom 33") << 24 << QRect(2, 2, 13, 10) << QRect(4, 3, 7, 5);
        QTest::newRow("8 bits zoom 200") << 8 << QRect(0, 0, 80, 60) << QRect(21, 9, 30, 30);
        QTest::newRow("32 bits zoom 150") << 32 << QRect(3, 1, 60, 45) << QRect(0, 0, 31, 17);
        QTest::newRow("4 bits zoom 250") << 4 << QRect(1, 1, 100, 75) << QRect(50, 40, 40, 40);
        QTest::newRow("16 bits zoom 70") << 16 << QRect(9, 4, 28, 21) << QRect(12, 6, 9, 13);
    }
    void PaintDCDrawsOnlyTheClip() {
        QFETCH(int, bpp);
        QFETCH(QRect, dst);
        QFETCH(QRect, clip);
        BitmapHandle b = Pattern(40, 30, bpp);
        const QRgb sentinel = qRgb(1, 2, 3);
        QImage canvas(100, 80, QImage::Format_RGB32);
        canvas.fill(sentinel);
        {
            QPainter p(&canvas);
            QCOMPARE(L_PaintDC(&p, &b, nullptr, nullptr, &dst, &clip, SRCCOPY), SUCCESS);
        }
        QImage whole(100, 80, QImage::Format_RGB32);
        {
            QPainter p(&whole);
            p.drawImage(dst, L_BitmapImage(&b).convertToFormat(QImage::Format_RGB32));
        }
        QRect shown = dst.intersected(clip).intersected(canvas.rect());
        int mismatches = 0;
        for (int y = 0; y < canvas.height(); ++y)
            for (int x = 0; x < canvas.width(); ++x) {
                QRgb want = shown.contains(x, y) ? whole.pixel(x, y) : sentinel;
                if (canvas.pixel(x, y) != want && mismatches++ < 5)
                    qWarning("pixel %d,%d: %08x != %08x", x, y, canvas.pixel(x, y), want);
            }
        QCOMPARE(mismatches, 0);
    }

    void PaintDCRefusesEmptyBitmap() {
        BitmapHandle empty;
        QImage canvas(10, 10, QImage::Format_RGB32);
        QPainter p(&canvas);
        QRect dst(0, 0, 10, 10);
        QCOMPARE(L_PaintDC(&p, &empty, nullptr, nullptr, &dst, nullptr), int(ERROR_NO_BITMAP));
        QCOMPARE(L_CreatePaintPalette(&p, &empty), PaintPalette(0));
    }

    void ConvertFromDDB_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("bpp");
        QTest::newRow("RGB32 becomes 24") << int(QImage::Format_RGB32) << 24;
        QTest::newRow("RGB888 becomes 24") << int(QImage::Format_RGB888) << 24;
        QTest::newRow("ARGB32 keeps alpha") << int(QImage::Format_ARGB32) << 32;
        QTest::newRow("premultiplied keeps alpha") << int(QImage::Format_ARGB32_Premultiplied)
                                                   << 32;
        QTest::newRow("Indexed8 keeps palette") << int(QImage::Format_Indexed8) << 8;
        QTest::newRow("Mono keeps 1 bit") << int(QImage::Format_Mono) << 1;
        QTest::newRow("RGB555 keeps 16 bits") << int(QImage::Format_RGB555) << 16;
    }
    void ConvertFromDDB() {
        QFETCH(int, format);
        QFETCH(int, bpp);
        QImage source(11, 6, QImage::Format_ARGB32);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 11; ++x)
                source.setPixel(x, y, qRgba(x * 20, y * 40, 255 - x * 20, format == QImage::Format_ARGB32 ? 40 * y + 5 : 255));
        if (format == QImage::Format_Mono) {
            source.fill(Qt::white);
            source.setPixel(3, 2, qRgb(0, 0, 0));
        }
        QImage image = source.convertToFormat(QImage::Format(format));
        BitmapHandle b;
        QCOMPARE(L_ConvertFromDDB(nullptr, &b, image), SUCCESS);
        QVERIFY(b.Allocated());
        QCOMPARE(b.BitsPerPixel, bpp);
        QCOMPARE(QSize(b.Width, b.Height), QSize(11, 6));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 11; ++x) {
                QRgb want = image.pixel(x, y);
                if (format == QImage::Format_ARGB32_Premultiplied)
                    want = image.convertToFormat(QImage::Format_ARGB32).pixel(x, y);
                QCOMPARE(Expected(b, x, y), want | 0xFF000000u);
                if (bpp == 32) QCOMPARE(int(b.Row(y)[x * 4 + 3]), qAlpha(want));
            }
    }

    void ConvertToAndFromDDBRoundTrips() {
        for (int bpp : {1, 4, 8, 16, 24, 32}) {
            BitmapHandle b = Pattern(9, 5, bpp);
            BitmapHandle back;
            QCOMPARE(L_ConvertFromDDB(nullptr, &back, L_ConvertToDDB(nullptr, &b)), SUCCESS);
            QCOMPARE(back.BitsPerPixel, bpp == 4 ? 8 : bpp);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 9; ++x) QCOMPARE(Expected(back, x, y), Expected(b, x, y));
        }
    }

    void ClipboardRoundTrip() {
        BitmapHandle b = Pattern(17, 9, 24);
        QCOMPARE(L_CopyToClipboardExt(nullptr, &b, 14), SUCCESS);
        // The clipboard holds its own copy: changing the bitmap afterwards does not reach it.
        L_FillBitmap(&b, RGBColor(0, 0, 0));
        BitmapHandle taken;
        QVERIFY(L_CopyFromClipboard(nullptr, &taken) > 0);
        BitmapHandle original = Pattern(17, 9, 24);
        QCOMPARE(QSize(taken.Width, taken.Height), QSize(17, 9));
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 17; ++x) QCOMPARE(Expected(taken, x, y), Expected(original, x, y));
    }

    void ClipboardWithoutPictureLeavesBitmap() {
        QGuiApplication::clipboard()->setText("no picture here");
        BitmapHandle b = Pattern(4, 4, 24);
        QVERIFY(L_CopyFromClipboard(nullptr, &b) <= 0);
        QVERIFY(b.Allocated());
        QCOMPARE(b.Width, 4);
    }

    void LeadDCDrawsIntoTheBitmap_data() {
        QTest::addColumn<int>("bpp");
        QTest::newRow("24 bits") << 24;
        QTest::newRow("32 bits") << 32;
        QTest::newRow("16 bits") << 16;
        QTest::newRow("8 bits") << 8;
        QTest::newRow("4 bits") << 4;
        QTest::newRow("1 bit") << 1;
    }
    void LeadDCDrawsIntoTheBitmap() {
        QFETCH(int, bpp);
        BitmapHandle b = Pattern(20, 10, bpp);
        if (bpp <= 8) b.Palette[1] = RgbQuad{0, 0, 250, 0};  // a red the drawing must map onto
        BitmapHandle before = b;
        QPainter* dc = L_CreateLeadDC(&b);
        QVERIFY(dc);
        dc->fillRect(QRect(2, 3, 5, 4), QColor(255, 0, 0));
        QCOMPARE(L_DeleteLeadDC(dc), SUCCESS);
        const QRgb red = bpp <= 8 ? qRgb(250, 0, 0) : bpp == 16 ? qRgb(255, 0, 0) & 0xFFF8F8F8u
                                                                : qRgb(255, 0, 0);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) {
                bool inside = QRect(2, 3, 5, 4).contains(x, y);
                QRgb got = Expected(b, x, y);
                if (inside) QCOMPARE(got & 0xFFF8F8F8u, red & 0xFFF8F8F8u);
                else QCOMPARE(got, Expected(before, x, y));
            }
        QCOMPARE(L_DeleteLeadDC(dc), int(ERROR_INV_PARAMETER));
    }
};

QTEST_MAIN(DisplayTest)
#include "DisplayTest.moc"
