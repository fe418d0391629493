// Screen capture: a window's part is taken as the window shows it, the screen's part as the
// screen shows it, and what lies beyond either comes out black.

#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <QtTest>

#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/qt/ScreenCapture.h"

namespace {

// Four quadrants of distinct colours.
class Quadrants : public QWidget {
public:
    Quadrants() { setFixedSize(40, 30); }
    static QColor At(int x, int y) {
        return x < 20 ? (y < 15 ? QColor(200, 10, 30) : QColor(10, 220, 40))
                      : (y < 15 ? QColor(20, 30, 240) : QColor(250, 250, 5));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int y : {0, 15})
            for (int x : {0, 20}) p.fillRect(x, y, 20, 15, At(x, y));
    }
};

ColorRef Ref(const QColor& c) { return RGBColor(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())); }

}  // namespace

class ScreenCaptureTest : public QObject {
    Q_OBJECT

private slots:
    void WindowPartAsShownBlackBeyond() {
        Quadrants w;
        BitmapHandle b;
        const BitmapRect rect{10, 5, 50, 25};  // runs 10 columns past the window's right edge
        QCOMPARE(L_ScreenCaptureBitmap(&w, &b, &rect), int(SUCCESS));
        QCOMPARE(b.Width, 40);
        QCOMPARE(b.Height, 20);
        QCOMPARE(b.BitsPerPixel, 24);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) {
                const int wx = x + 10, wy = y + 5;
                const ColorRef expected = wx < 40 ? Ref(Quadrants::At(wx, wy)) : RGBColor(0, 0, 0);
                QCOMPARE(L_GetPixelColor(&b, x, y), expected);
            }
    }

    void ScreenPartShowsTheWindowThere() {
        Quadrants w;
        w.move(100, 60);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint origin = w.mapToGlobal(QPoint(0, 0));
        BitmapHandle b;
        const BitmapRect rect{origin.x() + 15, origin.y() + 10, origin.x() + 25, origin.y() + 20};
        QCOMPARE(L_ScreenCaptureBitmap(nullptr, &b, &rect), int(SUCCESS));
        QCOMPARE(b.Width, 10);
        QCOMPARE(b.Height, 10);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 10; ++x)
                QCOMPARE(L_GetPixelColor(&b, x, y), Ref(Quadrants::At(x + 15, y + 10)));
    }

    void EmptyRectangleLeavesTheBitmap() {
        Quadrants w;
        BitmapHandle b;
        L_CreateBitmap(&b, 1, 3, 2, 8);
        for (const BitmapRect& rect : {BitmapRect{5, 5, 5, 9}, BitmapRect{5, 5, 2, 2}}) {
            QCOMPARE(L_ScreenCaptureBitmap(&w, &b, &rect), int(ERROR_INV_PARAMETER));
            QCOMPARE(b.Width, 3);
            QCOMPARE(b.BitsPerPixel, 8);
        }
        QCOMPARE(L_ScreenCaptureBitmap(&w, &b, nullptr), int(ERROR_INV_PARAMETER));
    }
};

QTEST_MAIN(ScreenCaptureTest)
#include "ScreenCaptureTest.moc"
