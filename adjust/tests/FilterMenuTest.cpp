#include <QAction>
#include <QApplication>
#include <QtTest>
#include <memory>

#include "FilterMenu.h"
#include "FrmMain.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/FilterRecipes.h"
#include "kivo/platform/Fakes.h"
#include "support/EditorFixture.h"

using namespace kivo::platform;
using kivo::test::EditorFixture;
using kivo::test::SamePixels;

namespace {

// A colourful picture with detail everywhere, so that each recipe leaves its mark.
BitmapHandle Photo(int w, int h) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            L_PutPixelColor(&b, x, y,
                            RGBColor(uint8_t(x * 5 + (y % 7) * 20), uint8_t(y * 3 + (x % 5) * 30),
                                     uint8_t((x ^ y) * 4)));
    return b;
}

BitmapHandle Filtered(const BitmapHandle& picture, int number) {
    BitmapHandle b = picture;
    ApplyFilterRecipe(&b, number);
    return b;
}

using Fixture = EditorFixture;

// What the side panel and the cursor showed while a recipe reported progress.
QWidget* Panel = nullptr;
int Reports = 0, ReportsWithPanelOn = 0, ReportsWithoutHourglass = 0;
int Watch(int, void*) {
    ++Reports;
    if (Panel->isEnabled()) ++ReportsWithPanelOn;
    if (!QApplication::overrideCursor() ||
        QApplication::overrideCursor()->shape() != Qt::WaitCursor)
        ++ReportsWithoutHourglass;
    return 1;
}

}  // namespace

class FilterMenuTest : public QObject {
    Q_OBJECT

private slots:
    // The menu and the panel number the ink-wash and oil-painting entries differently.
    void EntriesRunTheRecipeOfTheirTag_data() {
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("number");
        QTest::newRow("menu 유화 (Oilify)") << "menu"
                                            << "유화 (Oilify)" << 2;
        QTest::newRow("menu 수묵화 (India ink) ") << "menu"
                                                  << "수묵화 (India ink) " << 3;
        QTest::newRow("panel 유화") << "panel"
                                    << "유           화" << 3;
        QTest::newRow("panel 수묵화") << "panel"
                                      << "수    묵    화" << 2;
        QTest::newRow("menu 모자이크") << "menu"
                                       << "모자이크 (Mosaic)" << 1;
        QTest::newRow("panel 흑백") << "panel"
                                    << "흑           백" << 9;
        QTest::newRow("panel 반전") << "panel"
                                    << "반           전" << 8;
        QTest::newRow("menu colored pencil") << "menu"
                                             << "색연필 윤곽 효과 (colored pencil)" << 12;
        QTest::newRow("panel 가장자리효과") << "panel"
                                            << "가장자리효과" << 14;
    }
    void EntriesRunTheRecipeOfTheirTag() {
        QFETCH(QString, place);
        QFETCH(QString, caption);
        QFETCH(int, number);
        Fixture f;
        const BitmapHandle before = Photo(60, 40);
        f.Load(before);
        f.Click(place, caption);
        QVERIFY(SamePixels(f.Form->WorkBitmap, Filtered(before, number)));
        QVERIFY(!SamePixels(f.Form->WorkBitmap, before));
        QVERIFY(SamePixels(f.Form->UndoBitmap, before));
        QVERIFY(f.Form->Modified);
    }

    void OriginalFilterRestoresAndUndoBringsTheFilteredPictureBack() {
        Fixture f;
        const BitmapHandle original = Photo(60, 40);
        f.Load(original);
        f.Click("menu", "모자이크 (Mosaic)");
        f.Click("panel", "반           전");
        const BitmapHandle filtered = f.Form->WorkBitmap;
        QVERIFY(f.Form->Modified);
        f.Click("panel", "원           본");
        QVERIFY(SamePixels(f.Form->WorkBitmap, original));
        QVERIFY(!f.Form->Modified);
        QVERIFY(f.Form->RunCommand("actEditUndo"));
        QVERIFY(SamePixels(f.Form->WorkBitmap, filtered));
    }

    void OriginalFilterBringsBackTheOriginalSize() {
        Fixture f;
        f.Load(Photo(60, 40));
        f.Form->RunCommand("actImageRotateR90");
        QCOMPARE(f.Form->StatusPanelText(5), QString("40×60×24b"));
        f.Click("menu", "원본 이미지로...");
        QCOMPARE(f.Form->WorkBitmap.Width, 60);
        QCOMPARE(f.Form->StatusPanelText(5), QString("60×40×24b"));
    }

    void BlackToneGivesGreyAtTwentyFourBits() {
        Fixture f;
        f.Load(Photo(60, 40));
        f.Click("menu", "흑색톤 (Black)");
        const BitmapHandle& w = f.Form->WorkBitmap;
        QCOMPARE(w.BitsPerPixel, 24);
        QCOMPARE(f.Form->StatusPanelText(5), QString("60×40×24b"));
        for (int y = 0; y < w.Height; ++y)
            for (int x = 0; x < w.Width; ++x) {
                const ColorRef c = L_GetPixelColor(&w, x, y);
                QVERIFY(GetRValue(c) == GetGValue(c) && GetGValue(c) == GetBValue(c));
            }
    }

    void WithoutAPictureNoEntryDoesAnything() {
        Fixture f;
        for (int tag : {0, 1, 9, 12, 14}) {
            f.Form->RunCommand("TBXItemApplyFilter", tag);
            f.Form->RunCommand("ImgApplyFilter", tag);
        }
        ApplyFilterByNumber(*f.Form, 5);
        QVERIFY(!f.Form->WorkBitmap.Allocated());
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        QVERIFY(!f.Form->Modified);
        QVERIFY(f.Fakes.Messages.Asked.empty());
    }

    void NumbersOutsideTheMenuOnlyTakeTheUndoCopy() {
        Fixture f;
        const BitmapHandle before = Photo(30, 20);
        f.Load(before);
        ApplyFilterByNumber(*f.Form, -1);
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        QVERIFY(!f.Form->Modified);
        f.Form->RunCommand("ImgApplyFilter", -5);  // negative tags are ignored
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        ApplyFilterByNumber(*f.Form, 15);
        QVERIFY(SamePixels(f.Form->WorkBitmap, before));
        QVERIFY(f.Form->UndoBitmap.Allocated());
        QVERIFY(f.Form->Modified);
    }

    void ToolbarOriginalTakesNoUndo() {
        Fixture f;
        const BitmapHandle original = Photo(60, 40);
        f.Load(original);
        f.Click("menu", "모자이크 (Mosaic)");
        const BitmapHandle mosaic = f.Form->WorkBitmap;
        f.Click("menu", "반전 (Invert)");
        f.Click("toolbar", "원본이미지");
        QVERIFY(SamePixels(f.Form->WorkBitmap, original));
        QVERIFY(!f.Form->Modified);
        QVERIFY(SamePixels(f.Form->UndoBitmap, mosaic));  // still the copy the invert took
    }

    void PanelIsOffAndCursorBusyOnlyWhileAFilterRuns() {
        Fixture f;
        f.Load(Photo(800, 600));  // large enough for the oil painting to report progress
        Panel = f.Form->findChild<QWidget*>("FilterFuncPanel");
        QVERIFY(Panel && Panel->isEnabled());
        Reports = ReportsWithPanelOn = ReportsWithoutHourglass = 0;
        L_SetStatusCallBack(Watch);
        f.Click("menu", "수묵화 (India ink) ");
        L_SetStatusCallBack(nullptr);
        QVERIFY(Reports > 0);
        QCOMPARE(ReportsWithPanelOn, 0);
        QCOMPARE(ReportsWithoutHourglass, 0);
        QVERIFY(Panel->isEnabled());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        Panel = nullptr;
    }
};

QTEST_MAIN(FilterMenuTest)
#include "FilterMenuTest.moc"
