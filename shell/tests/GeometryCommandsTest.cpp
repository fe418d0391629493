#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <cmath>
#include <functional>
#include <memory>

#include "FrmMain.h"
#include "FrmShear.h"
#include "FrmSizeControl.h"
#include "GeometryCommands.h"
#include "WorkArea.h"
#include "kivo/imaging/Geometry.h"
#include "kivo/platform/Fakes.h"
#include "support/EditorFixture.h"

using namespace kivo::platform;
using kivo::test::EditorFixture;
using kivo::test::SamePixels;

namespace {

// Every pixel differs from the others, so a pixel moved to the wrong place shows.
BitmapHandle Photo(int w, int h) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            L_PutPixelColor(&b, x, y, RGBColor(uint8_t(x * 7), uint8_t(y * 11), uint8_t(x * y)));
    return b;
}

struct Fixture : EditorFixture {
    QAction* Toolbar(const QString& command) const {
        for (const auto& e : Form->EntryActions())
            if (e.Place == "toolbar" && e.Entry->Command == command) return e.Action;
        return nullptr;
    }
};

// Runs act on the modal dialog of type T as soon as it shows (the command under test is
// blocked in exec() meanwhile). Records whether it ran.
template <class T>
std::shared_ptr<bool> WhenModal(std::function<void(T*)> act) {
    auto ran = std::make_shared<bool>(false);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act, ran, poll] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            *ran = true;
            act(dialog);
            *poll = nullptr;  // break the cycle
        } else {
            QTimer::singleShot(10, *poll);
        }
    };
    QTimer::singleShot(0, *poll);
    return ran;
}

// Where the pixel at (x, y) of a w × h picture lands.
using Mapping = std::function<QPoint(int x, int y, int w, int h)>;

}  // namespace

class GeometryCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void TurnsAndMirrorsMoveEveryPixelAndTakeUndo_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("swaps");
        QTest::addColumn<Mapping>("to");
        const Mapping right = [](int x, int y, int, int h) { return QPoint(h - 1 - y, x); };
        const Mapping left = [](int x, int y, int w, int) { return QPoint(y, w - 1 - x); };
        QTest::newRow("right 90") << "actImageRotateR90" << true << right;
        QTest::newRow("toolbar 회  전") << "actImageRotate" << true << right;
        QTest::newRow("left 90") << "actImageRotateL90" << true << left;
        QTest::newRow("180") << "actImageRotate180" << false
                             << Mapping([](int x, int y, int w, int h) {
                                    return QPoint(w - 1 - x, h - 1 - y);
                                });
        QTest::newRow("상하 뒤집기")
            << "actImageFlipV" << false
            << Mapping([](int x, int y, int, int h) { return QPoint(x, h - 1 - y); });
        QTest::newRow("좌우 뒤집기")
            << "actImageFlipH" << false
            << Mapping([](int x, int y, int w, int) { return QPoint(w - 1 - x, y); });
    }
    void TurnsAndMirrorsMoveEveryPixelAndTakeUndo() {
        QFETCH(QString, command);
        QFETCH(bool, swaps);
        QFETCH(Mapping, to);
        Fixture f;
        const int w = 37, h = 22;
        const BitmapHandle before = Photo(w, h);
        f.Load(before);
        QVERIFY(f.Form->RunCommand(command));
        const BitmapHandle& after = f.Form->WorkBitmap;
        QCOMPARE(after.Width, swaps ? h : w);
        QCOMPARE(after.Height, swaps ? w : h);
        QCOMPARE(f.Form->StatusPanelText(5).contains(
                     QString("%1×%2").arg(after.Width).arg(after.Height)),
                 true);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QPoint p = to(x, y, w, h);
                QCOMPARE(L_GetPixelColor(&after, p.x(), p.y()), L_GetPixelColor(&before, x, y));
            }
        QVERIFY(f.Form->Modified);
        QVERIFY(SamePixels(f.Form->UndoBitmap, before));
    }

    void FourQuarterTurnsGiveThePictureBack() {
        for (const char* command : {"actImageRotateR90", "actImageRotateL90", "actImageRotate"}) {
            Fixture f;
            const BitmapHandle before = Photo(40, 25);
            f.Load(before);
            QStringList sizes;
            for (int i = 0; i < 4; ++i) {
                f.Form->RunCommand(command);
                sizes << f.Form->StatusPanelText(5);
            }
            QCOMPARE(sizes, (QStringList{"25×40×24b", "40×25×24b", "25×40×24b", "40×25×24b"}));
            QVERIFY2(SamePixels(f.Form->WorkBitmap, before), command);
        }
    }

    void ToolbarRotateIsDisabledWhileTheLibraryWorks() {
        // The button goes off before the undo copy and comes back only after the turn and the
        // refresh: each change of its state is recorded with the picture as it was then.
        Fixture f;
        f.Load(Photo(90, 70));
        QAction* button = f.Toolbar("actImageRotate");
        QVERIFY(button && button->isEnabled());
        QStringList seen;
        QObject::connect(button, &QAction::changed, [&] {
            seen << QString("%1 %2 undo:%3 status:%4")
                        .arg(button->isEnabled() ? "on" : "off")
                        .arg(f.Form->WorkBitmap.Width)
                        .arg(f.Form->UndoBitmap.Allocated())
                        .arg(f.Form->StatusPanelText(5));
        });
        f.Form->RunCommand("actImageRotate");
        QCOMPARE(seen,
                 (QStringList{"off 90 undo:0 status:90×70×24b", "on 70 undo:1 status:70×90×24b"}));
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void WithoutAPictureNothingHappens() {
        Fixture f;
        for (const char* command :
             {"actImageRotateR90", "actImageRotateL90", "actImageRotate180", "actImageRotate",
              "actImageFlipV", "actImageFlipH", "actImageSizeControl"}) {
            QVERIFY(f.Form->RunCommand(command));
            QVERIFY2(!f.Form->WorkBitmap.Allocated(), command);
            QVERIFY2(!f.Form->UndoBitmap.Allocated(), command);
            QVERIFY2(!f.Form->Modified, command);
        }
        QVERIFY(f.Fakes.Messages.Asked.empty());
        QVERIFY(f.Toolbar("actImageRotate")->isEnabled());
    }

    void ResizeTakesTheEditsAndTheListsMethod_data() {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<int>("method");
        QTest::newRow("BICUBIC (권장) is method 4") << "50"
                                                    << "30" << 3 << 50 << 30 << int(SIZE_BICUBIC);
        QTest::newRow("separators") << "1,20"
                                    << " 7,0 " << 3 << 120 << 70 << int(SIZE_BICUBIC);
        QTest::newRow("Normal") << "50"
                                << "30" << 0 << 50 << 30 << int(SIZE_NORMAL);
        QTest::newRow("FAVORBLACK") << "19"
                                    << "11" << 1 << 19 << 11 << int(SIZE_FAVORBLACK);
        QTest::newRow("RESAMPLE") << "19"
                                  << "11" << 2 << 19 << 11 << int(SIZE_RESAMPLE);
    }
    void ResizeTakesTheEditsAndTheListsMethod() {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(int, index);
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(int, method);
        Fixture f;
        const BitmapHandle before = Photo(64, 48);
        f.Load(before);
        f.Form->SetZoom(200);
        auto ran = WhenModal<TSizeCForm>([&](TSizeCForm* d) {
            QCOMPARE(d->edtSizeWidth->text(), QString("64"));
            QCOMPARE(d->edtSizeHeight->text(), QString("48"));
            d->btnRatio->setChecked(false);
            d->edtSizeWidth->setText(width);
            d->edtSizeHeight->setText(height);
            d->cbxReSampleFilter->setCurrentIndex(index);
            d->btnOK->click();
        });
        f.Form->RunCommand("actImageSizeControl");
        QVERIFY(*ran);
        BitmapHandle expected = before;
        QCOMPARE(L_SizeBitmap(&expected, w, h, method), int(SUCCESS));
        QVERIFY(SamePixels(f.Form->WorkBitmap, expected));
        if (method == SIZE_BICUBIC) {  // and not what the method numbered like the item gives
            BitmapHandle other = before;
            L_SizeBitmap(&other, w, h, SIZE_RESAMPLE);
            QVERIFY(!SamePixels(f.Form->WorkBitmap, other));
        }
        QCOMPARE(f.Form->ZoomPercent, 100);
        QVERIFY(f.Form->Modified);
        QVERIFY(SamePixels(f.Form->UndoBitmap, before));
        QCOMPARE(f.Form->StatusPanelText(5), QString("%1×%2×24b").arg(w).arg(h));
    }

    void ResizeThatEndsWithoutANewSizeChangesNothing_data() {
        QTest::addColumn<QString>("width");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("message");
        QTest::newRow("cancel") << "50" << false << false;
        QTest::newRow("not a number") << "5x" << true << true;
        QTest::newRow("empty") << "" << true << true;
    }
    void ResizeThatEndsWithoutANewSizeChangesNothing() {
        QFETCH(QString, width);
        QFETCH(bool, ok);
        QFETCH(bool, message);
        Fixture f;
        const BitmapHandle before = Photo(64, 48);
        f.Load(before);
        f.Form->RunCommand("actImageFlipH");  // an undo copy and Modified already there
        const BitmapHandle flipped = f.Form->WorkBitmap;
        auto ran = WhenModal<TSizeCForm>([&](TSizeCForm* d) {
            d->btnRatio->setChecked(false);
            d->edtSizeWidth->setText(width);
            (ok ? d->btnOK : d->btnCANCEL)->click();
        });
        f.Form->RunCommand("actImageSizeControl");
        QVERIFY(*ran);
        QVERIFY(SamePixels(f.Form->WorkBitmap, flipped));
        QVERIFY(SamePixels(f.Form->UndoBitmap, before));
        QVERIFY(f.Form->Modified);
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(message ? 1 : 0));
        if (message) {
            QVERIFY(f.Fakes.Messages.Asked[0].Text.contains("not a valid integer"));
            QCOMPARE(f.Fakes.Messages.Asked[0].Caption, MessageCaption);
        }
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void ShearWithoutAPictureSaysSo() {
        Fixture f;
        f.Form->RunCommand("actViewShearImage");
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(1));
        QCOMPARE(f.Fakes.Messages.Asked[0].Text, QString("이미지가 없습니다."));
        QCOMPARE(f.Fakes.Messages.Asked[0].Caption, MessageCaption);
        QCOMPARE(f.Fakes.Messages.Asked[0].IconShown, Icon::Information);
        QVERIFY(!f.Form->UndoBitmap.Allocated());
    }

    void ShearOfZeroWithOKStillTakesUndo() {
        Fixture f;
        const BitmapHandle before = Photo(64, 48);
        f.Load(before);
        auto ran = WhenModal<TShearForm>([](TShearForm* d) {
            QCOMPARE(d->windowTitle(), QString("이미지 비틀기"));
            QCOMPARE(d->Gauge->value(), 0);
            d->btnOK->click();
        });
        f.Form->RunCommand("actViewShearImage");
        QVERIFY(*ran);
        QVERIFY(f.Form->Modified);
        QVERIFY(f.Form->UndoBitmap.Allocated());
        QVERIFY(SamePixels(f.Form->UndoBitmap, before));
        QVERIFY(SamePixels(f.Form->WorkBitmap, before));
    }

    void ShearCancelChangesNothingAndRunsWithoutProgress() {
        Fixture f;
        const BitmapHandle before = Photo(64, 48);
        f.Load(before);
        const StatusCallback installed = L_GetStatusCallBack();
        QVERIFY(installed != nullptr);
        StatusCallback during = installed;
        auto ran = WhenModal<TShearForm>([&](TShearForm* d) {
            during = L_GetStatusCallBack();
            d->Gauge->setValue(3000);
            d->btnCANCEL->click();
        });
        f.Form->RunCommand("actViewShearImage");
        QVERIFY(*ran);
        QVERIFY(during == nullptr);
        QVERIFY(L_GetStatusCallBack() == installed);
        QVERIFY(SamePixels(f.Form->WorkBitmap, before));
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        QVERIFY(!f.Form->Modified);
    }

    void ShearPreviewFollowsBarDirectionAndColour() {
        Fixture f;
        f.Load(Photo(400, 300));
        f.Fakes.Pickers.Colours.push_back(QColor(255, 0, 0));
        auto ran = WhenModal<TShearForm>([&](TShearForm* d) {
            // The preview is the picture fitted into the 198 × 199 paint box.
            QCOMPARE(d->PreviewSource.Width, 198);
            QCOMPARE(d->PreviewSource.Height, 148);
            QVERIFY(SamePixels(d->PreviewBitmap, d->PreviewSource));

            d->Gauge->setValue(2000);  // 20°, rows slide: the preview grows sideways
            QCOMPARE(d->edtValue->text(), QString("2000"));
            QCOMPARE(d->UpDown->Position(), 2000);
            const int grown = int(std::lround(148 * std::tan(20 * M_PI / 180)));
            QVERIFY(std::abs(d->PreviewBitmap.Width - (198 + grown)) <= 1);
            QCOMPARE(d->PreviewBitmap.Height, 148);
            // An uncovered corner takes the swatch colour, white at first.
            QCOMPARE(L_GetPixelColor(&d->PreviewBitmap, 0, 0), RGBColor(255, 255, 255));

            d->ShpSelectColor->pressed();
            QCOMPARE(d->SwatchColour(), RGBColor(255, 0, 0));
            QCOMPARE(L_GetPixelColor(&d->PreviewBitmap, 0, 0), RGBColor(255, 0, 0));

            d->VertRadioButton->click();  // columns slide: it grows downwards instead
            QCOMPARE(d->PreviewBitmap.Width, 198);
            QVERIFY(std::abs(d->PreviewBitmap.Height -
                             (148 + int(std::lround(198 * std::tan(20 * M_PI / 180))))) <= 1);

            d->UpDown->ClickDown();  // the spin moves the bar
            QCOMPARE(d->Gauge->value(), 1999);
            d->btnInitValue->click();
            QCOMPARE(d->Gauge->value(), 0);
            QCOMPARE(d->edtValue->text(), QString("0"));
            QVERIFY(SamePixels(d->PreviewBitmap, d->PreviewSource));
            d->btnCANCEL->click();
            QVERIFY(!d->PreviewBitmap.Allocated() && !d->PreviewSource.Allocated());
        });
        f.Form->RunCommand("actViewShearImage");
        QVERIFY(*ran);
    }

    void ShearOKShearsThePictureLikeThePreview_data() {
        QTest::addColumn<bool>("vertical");
        QTest::newRow("수평으로 비틀기") << false;
        QTest::newRow("수직으로 비틀기") << true;
    }
    void ShearOKShearsThePictureLikeThePreview() {
        QFETCH(bool, vertical);
        Fixture f;
        const BitmapHandle before = Photo(120, 80);
        f.Load(before);
        f.Fakes.Pickers.Colours.push_back(QColor(0, 0, 255));
        auto ran = WhenModal<TShearForm>([&](TShearForm* d) {
            if (vertical) d->VertRadioButton->click();
            d->ShpSelectColor->pressed();
            d->Gauge->setValue(-1500);
            d->btnOK->click();
        });
        f.Form->RunCommand("actViewShearImage");
        QVERIFY(*ran);
        const BitmapHandle& w = f.Form->WorkBitmap;
        const double slope = std::tan(15 * M_PI / 180);
        const int grownW = vertical ? 120 : 120 + int(std::lround(80 * slope));
        const int grownH = vertical ? 80 + int(std::lround(120 * slope)) : 80;
        QVERIFY2(std::abs(w.Width - grownW) <= 1, qPrintable(QString::number(w.Width)));
        QVERIFY2(std::abs(w.Height - grownH) <= 1, qPrintable(QString::number(w.Height)));
        // Whichever way the picture leans, one of the corners lies outside it.
        int blue = 0;
        for (auto [x, y] :
             {std::pair{0, 0}, {w.Width - 1, 0}, {0, w.Height - 1}, {w.Width - 1, w.Height - 1}})
            blue += L_GetPixelColor(&w, x, y) == RGBColor(0, 0, 255);
        QVERIFY(blue >= 2);
        QVERIFY(SamePixels(f.Form->UndoBitmap, before));
        QVERIFY(f.Form->Modified);
        QCOMPARE(f.Form->StatusPanelText(5), QString("%1×%2×24b").arg(w.Width).arg(w.Height));
    }
};

QTEST_MAIN(GeometryCommandsTest)
#include "GeometryCommandsTest.moc"
