// The region outline: exactly the region's edge pixels are drawn, in runs of four black and four
// white along the diagonals that move with the phase, through the display transform.

#include <QImage>
#include <QPainter>
#include <QtTest>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/qt/RegionFrame.h"

namespace {

constexpr QRgb Paper = 0xFF808080;

BitmapHandle WithEllipse(const BitmapRect& rect) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, 20, 16, 24);
    L_SetBitmapRgnEllipse(&b, nullptr, &rect, L_RGN_SET);
    return b;
}

bool IsEdge(const BitmapHandle& b, int x, int y) {
    auto in = [&](int px, int py) {
        return px >= 0 && py >= 0 && px < b.Width && py < b.Height && L_IsPtInBitmapRgn(&b, py, px);
    };
    return in(x, y) && !(in(x - 1, y) && in(x + 1, y) && in(x, y - 1) && in(x, y + 1));
}

QImage Framed(const BitmapHandle& b, const RgnXForm* xform, int phase, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Paper);
    QPainter painter(&image);
    if (L_FrameBitmapRgn(&painter, &b, xform, phase) != SUCCESS) return {};
    return image;
}

}  // namespace

class RegionFrameTest : public QObject {
    Q_OBJECT

private slots:
    void EdgePixelsInMovingRuns_data() {
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("step");  // the phase as the runs move by it
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("3") << 3 << 3;
        QTest::newRow("8 wraps to 0") << 8 << 0;
        QTest::newRow("-1 wraps to 7") << -1 << 7;
    }
    void EdgePixelsInMovingRuns() {
        QFETCH(int, phase);
        QFETCH(int, step);
        const BitmapHandle b = WithEllipse({2, 1, 17, 14});
        const QImage image = Framed(b, nullptr, phase, {20, 16});
        QVERIFY(!image.isNull());
        int edges = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x) {
                const QRgb expected = !IsEdge(b, x, y)                ? Paper
                                      : ((x + y - step) % 8 + 8) % 8 < 4 ? 0xFF000000
                                                                        : 0xFFFFFFFF;
                QCOMPARE(image.pixel(x, y), expected);
                edges += IsEdge(b, x, y);
            }
        QVERIFY(edges > 20);  // the ellipse has an outline to check at all
    }

    void ScaledAndMovedBlocks() {
        const BitmapHandle b = WithEllipse({3, 3, 11, 9});
        RgnXForm zoom;
        zoom.XScalarNum = zoom.YScalarNum = 2;
        zoom.XOffset = 5;
        zoom.YOffset = 3;
        const QImage image = Framed(b, &zoom, 0, {50, 40});
        QVERIFY(!image.isNull());
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x) {
                const int bx = (x - 5) >> 1, by = (y - 3) >> 1;
                const bool edge = x >= 5 && y >= 3 && IsEdge(b, bx, by);
                QCOMPARE(image.pixel(x, y) != Paper, edge);
            }
    }

    void RefusesWhatItCannotDraw() {
        QImage image(8, 8, QImage::Format_RGB32);
        QPainter painter(&image);
        BitmapHandle none;
        QCOMPARE(L_FrameBitmapRgn(&painter, &none, nullptr, 0), int(ERROR_NO_BITMAP));
        BitmapHandle plain;
        L_CreateBitmap(&plain, 1, 8, 8, 24);
        QCOMPARE(L_FrameBitmapRgn(&painter, &plain, nullptr, 0), int(ERROR_INV_PARAMETER));
        BitmapHandle b = WithEllipse({0, 0, 6, 6});
        RgnXForm flat;
        flat.XScalarNum = 0;
        QCOMPARE(L_FrameBitmapRgn(&painter, &b, &flat, 0), int(ERROR_INV_PARAMETER));
        QCOMPARE(L_FrameBitmapRgn(nullptr, &b, nullptr, 0), int(ERROR_INV_PARAMETER));
    }
};

QTEST_MAIN(RegionFrameTest)
#include "RegionFrameTest.moc"
