#include <memory>

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QDockWidget>
#include <QMenu>
#include <QMimeData>
#include <QMenuBar>
#include <QProcess>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include "FrmAbout.h"
#include "FrmMain.h"
#include "WorkArea.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/File.h"
#include "kivo/platform/Fakes.h"
#include "support/EditorFixture.h"

using namespace kivo::platform;

namespace {

// A picture whose pixels all differ, so that a wrong crop or a lost edit shows.
BitmapHandle Photo(int w, int h, int bpp = 24) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            L_PutPixelColor(&b, x, y, RGBColor(uint8_t(x * 3), uint8_t(y * 5), uint8_t(x + y)));
    if (bpp != 24) {
        BitmapHandle out;
        L_ColorResBitmap(&b, &out, bpp, 0);
        return out;
    }
    return b;
}

bool SamePixels(const BitmapHandle& a, const BitmapHandle& b, int offsetX = 0, int offsetY = 0) {
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x)
            if (L_GetPixelColor(&a, x, y) != L_GetPixelColor(&b, x + offsetX, y + offsetY))
                return false;
    return true;
}

QString Identify(const QString& path) {
    QProcess p;
    p.start("identify", {"-format", "%m %w %h", path});
    if (!p.waitForFinished(20000) || p.exitCode() != 0) return "<identify failed>";
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

struct Fixture : kivo::test::EditorFixture {
    QTemporaryDir Dir;

    using EditorFixture::EditorFixture;
    QString Write(const QString& name, const BitmapHandle& b, int format, int bpp) {
        QString path = Dir.filePath(name);
        if (L_SaveBitmap(path.toStdString(), &b, format, bpp) != SUCCESS) return {};
        return path;
    }
    QSize Client() const { return Form->ScrollPaintBox->viewport()->size(); }
};

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QGuiApplication::clipboard()->clear();
        RandSeed = 0;
    }

    void StartWritesProgramPathAndShowsEmptyState() {
        Fixture f;
        auto value = f.Fakes.Registry.ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE/MORVANE",
                                                 "Kivo Image Editor");
        QVERIFY(value.has_value());
        QCOMPARE(*value, QCoreApplication::applicationFilePath());
        QVERIFY(!f.Form->WorkBitmap.Allocated());
        QVERIFY(!f.Form->NoticePanel->isHidden());
        QCOMPARE(f.Form->windowTitle(), MainCaption);
        QCOMPARE(f.Form->ZoomPercent, 100);
        QCOMPARE(f.Form->CurrentMenuStyle(), QString("OfficeXP"));
        QVERIFY(f.Fakes.Messages.Asked.empty());
    }

    void RegistryFailureShowsErrorAndSkipsCommandLineFile() {
        FakePlatform fakes;
        fakes.Registry.FailWrites = true;
        QTemporaryDir dir;
        BitmapHandle b = Photo(20, 10);
        QString path = dir.filePath("start.bmp");
        QCOMPARE(L_SaveBitmap(path.toStdString(), &b, FILE_BMP, 24), int(SUCCESS));
        TMainForm form({"kivoEditor", "42", path});
        QCOMPARE(fakes.Messages.Asked.size(), size_t(1));
        QVERIFY(fakes.Messages.Asked[0].Text.contains("Kivo Image Editor"));
        QVERIFY(!form.WorkBitmap.Allocated());
    }

    void CommandLineOpensOnlyWithBothArguments() {
        QTemporaryDir dir;
        BitmapHandle b = Photo(20, 10);
        QString path = dir.filePath("start.bmp");
        QCOMPARE(L_SaveBitmap(path.toStdString(), &b, FILE_BMP, 24), int(SUCCESS));
        {
            Fixture f({"kivoEditor", path});
            QVERIFY(!f.Form->WorkBitmap.Allocated());
        }
        {
            Fixture f({"kivoEditor", "42", path});
            QVERIFY(f.Form->WorkBitmap.Allocated());
            QCOMPARE(f.Form->CurrentFilePath, path);
            QVERIFY(f.Form->NoticePanel->isHidden());
            // The command-line open writes neither the load time nor the file name.
            QCOMPARE(f.Form->StatusPanelText(1), QString());
        }
    }

    void OpenShowsLoadedDepthThenPromotes_data() {
        QTest::addColumn<int>("bpp");
        QTest::newRow("1 bit") << 1;
        QTest::newRow("4 bits") << 4;
        QTest::newRow("8 bits") << 8;
        QTest::newRow("24 bits") << 24;
    }
    void OpenShowsLoadedDepthThenPromotes() {
        QFETCH(int, bpp);
        Fixture f;
        QString path = f.Write("deep.bmp", Photo(33, 17, bpp), FILE_BMP, bpp);
        QVERIFY(!path.isEmpty());
        f.Fakes.Pickers.OpenAnswers.push_back({true, path, 1});
        f.Fakes.Clock.TickStep = 7;
        f.Form->actFileOpenExecute();
        QCOMPARE(f.Fakes.Pickers.OpenRequests.size(), size_t(1));
        QVERIFY(f.Fakes.Pickers.OpenRequests[0].Filter.startsWith(
            "All image files |*.cal;*.img;*.png;*.gif;"));
        QVERIFY(f.Fakes.Pickers.OpenRequests[0].Filter.endsWith("|WordPerfect (*.wpg)|*.wpg;"));
        QCOMPARE(f.Form->StatusPanelText(5), QString("33×17×%1b").arg(bpp));
        QCOMPARE(f.Form->StatusPanelText(4), QString("100 %"));
        QCOMPARE(f.Form->StatusPanelText(1), QString("7ms"));
        QCOMPARE(f.Form->StatusPanelText(2), path);
        QCOMPARE(f.Form->WorkBitmap.BitsPerPixel, 24);
        QCOMPARE(f.Form->OriginalBitmap.BitsPerPixel, 24);
        f.Form->RefreshStatusBar();
        QCOMPARE(f.Form->StatusPanelText(5), QString("33×17×24b"));
    }

    void ThumbnailOpenTimesAndCollapsesSeparators() {
        Fixture f;
        QString path = f.Write("thumb.bmp", Photo(9, 4, 8), FILE_BMP, 8);
        QString doubled = f.Dir.path() + "//thumb.bmp";
        f.Fakes.Clock.TickStep = 12;
        f.Form->CurrentFilePath = doubled;  // set by the strip before it calls
        f.Form->OpenImagePathTimed(doubled);
        QCOMPARE(f.Form->StatusPanelText(1), QString("12ms"));
        QCOMPARE(f.Form->StatusFileName, path);
        QCOMPARE(f.Form->StatusPanelText(2), path);
        QCOMPARE(f.Form->StatusPanelText(5), QString("9×4×8b"));
        QCOMPARE(f.Form->WorkBitmap.BitsPerPixel, 24);
    }

    void UnreadableFileLeavesDocumentEmpty() {
        Fixture f;
        QString path = f.Dir.filePath("broken.jpg");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a picture at all");
        file.close();
        f.Fakes.Pickers.OpenAnswers.push_back({true, path, 1});
        f.Form->actFileOpenExecute();
        QVERIFY(!f.Form->WorkBitmap.Allocated());
        QCOMPARE(f.Form->CurrentFilePath, path);
        QVERIFY(f.Fakes.Messages.Asked.empty());
    }

    void OpeningGifGoesThroughTheClipboard() {
        Fixture f;
        QString path = f.Dir.filePath("anim.gif");
        // Written by ImageMagick, read by the platform's GIF reader.
        QCOMPARE(QProcess::execute("convert", {"-size", "12x9", "xc:rgb(200,30,40)", path}), 0);
        QGuiApplication::clipboard()->setText("before");
        f.Form->OpenImagePath(path);
        QVERIFY(f.Form->WorkBitmap.Allocated());
        QImage onClipboard = QGuiApplication::clipboard()->image();
        QCOMPARE(onClipboard.size(), QSize(12, 9));
        QCOMPARE(QColor(onClipboard.pixel(3, 3)), QColor(200, 30, 40));
        QCOMPARE(L_GetPixelColor(&f.Form->WorkBitmap, 5, 5), RGBColor(200, 30, 40));
    }

    void OpenKeepsUndoOfPreviousPicture() {
        Fixture f;
        f.Load(Photo(30, 20));
        f.Form->PushUndo();
        BitmapHandle first = f.Form->WorkBitmap;
        QString path = f.Write("second.bmp", Photo(8, 8), FILE_BMP, 24);
        f.Form->Modified = false;  // no prompt for this test
        f.Form->OpenChosenFile(path);
        QCOMPARE(f.Form->WorkBitmap.Width, 8);
        f.Form->actEditUndoExecute();
        QCOMPARE(f.Form->WorkBitmap.Width, 30);
        QVERIFY(SamePixels(first, f.Form->WorkBitmap));
    }

    void ConfirmSaveChangesAsksOnlyWhenChangedWithUndo() {
        Fixture f;
        f.Load(Photo(10, 10));
        f.Form->Modified = true;  // changed, but nothing to undo: no question
        f.Form->ConfirmSaveChanges();
        QVERIFY(f.Fakes.Messages.Asked.empty());
        f.Form->PushUndo();
        f.Fakes.Messages.Answers.push_back(Answer::No);
        f.Form->ConfirmSaveChanges();
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(1));
        QCOMPARE(f.Fakes.Messages.Asked[0].Text,
                 QString("이미지가 변경 되었습니다.\r\n\r\n변경된 이미지를 저장 하시겠습니까?."));
        QCOMPARE(f.Fakes.Messages.Asked[0].Caption, MessageCaption);
        QVERIFY(f.Fakes.Messages.Asked[0].ButtonsShown == Buttons::YesNo);
        QVERIFY(!f.Form->Modified);
        QVERIFY(f.Fakes.Pickers.SaveRequests.empty());
        // Yes opens the save dialog; cancelling it is fine.
        f.Form->PushUndo();
        f.Fakes.Messages.Answers.push_back(Answer::Yes);
        f.Form->ConfirmSaveChanges();
        QCOMPARE(f.Fakes.Pickers.SaveRequests.size(), size_t(1));
    }

    void SaveNameRules_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("identified");
        QTest::newRow("photo.JPG keeps its name") << "photo.JPG" << 1 << "photo.JPG" << "JPEG";
        QTest::newRow("photo.jpeg gets .jpg") << "photo.jpeg" << 1 << "photo.jpeg.jpg" << "JPEG";
        QTest::newRow("BMP filter on photo.jpg") << "photo.jpg" << 2 << "photo.jpg.bmp" << "BMP3";
        QTest::newRow("no extension, PSD") << "photo" << 10 << "photo.psd" << "PSD";
        QTest::newRow("upper-case extension kept") << "PHOTO.PSD" << 10 << "PHOTO.PSD" << "PSD";
        QTest::newRow("unknown index saves JPEG") << "photo.xyz" << 99 << "photo.xyz.jpg" << "JPEG";
    }
    void SaveNameRules() {
        QFETCH(QString, chosen);
        QFETCH(int, filterIndex);
        QFETCH(QString, saved);
        QFETCH(QString, identified);
        Fixture f;
        f.Load(Photo(40, 30));
        f.Form->PushUndo();
        f.Fakes.Pickers.SaveAnswers.push_back({true, f.Dir.filePath(chosen), filterIndex});
        f.Form->actFileSaveExecute();
        QVERIFY(!f.Form->Modified);
        QVERIFY2(f.Fakes.Messages.Asked.empty(),
                 f.Fakes.Messages.Asked.empty() ? "" : qPrintable(f.Fakes.Messages.Asked[0].Text));
        QVERIFY(QFileInfo::exists(f.Dir.filePath(saved)));
        QCOMPARE(Identify(f.Dir.filePath(saved)), identified + " 40 30");
        QVERIFY(f.Fakes.Host.Notified.empty());  // no host on the command line
    }

    void SaveFailureReportsNameAndDepthAndDoesNotNotify() {
        Fixture f({"kivoEditor", "4711", "/nowhere/start.jpg"});
        f.Load(Photo(16, 16));
        f.Form->PushUndo();
        f.Fakes.Pickers.SaveAnswers.push_back({true, "/nonexistent-folder/out.jpg", 1});
        f.Form->actFileSaveExecute();
        QVERIFY(!f.Form->Modified);
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(1));
        QCOMPARE(f.Fakes.Messages.Asked[0].Text,
                 QString("이미지를 저장할 수 없습니다.\r\n\r\n화일이름 : out.jpg\r\n컬러비트 : 24"));
        QVERIFY(f.Fakes.Host.Notified.empty());
    }

    void SuccessfulSaveNotifiesHostEvenWhenStartFileWasMissing() {
        Fixture f({"kivoEditor", "4711", "/nowhere/start.jpg"});
        QVERIFY(!f.Form->WorkBitmap.Allocated());
        f.Load(Photo(16, 16));
        f.Form->CurrentFilePath = f.Dir.filePath("original.jpg");
        QString target = f.Dir.filePath("done.jpg");
        f.Fakes.Pickers.SaveAnswers.push_back({true, target, 1});
        f.Form->actFileSaveExecute();
        QCOMPARE(f.Fakes.Host.Notified.size(), size_t(1));
        QCOMPARE(f.Fakes.Host.Notified[0].first, uint64_t(4711));
        // Without an overwrite question, the dialog must not offer the original's name.
        QCOMPARE(f.Fakes.Pickers.SaveRequests[0].FileName, QString());
        QCOMPARE(f.Fakes.Pickers.SaveRequests[0].InitialDir, f.Dir.path());
        QCOMPARE(f.Fakes.Host.Notified[0].second, target);
    }

    void SaveWithoutPicture() {
        Fixture f;
        f.Form->actFileSaveExecute();
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(1));
        QCOMPARE(f.Fakes.Messages.Asked[0].Text, QString("저장 할 이미지가 없습니다."));
        QVERIFY(f.Fakes.Pickers.SaveRequests.empty());
    }

    void UndoTwiceSecondDoesNothing() {
        Fixture f;
        f.Load(Photo(20, 20));
        BitmapHandle before = f.Form->WorkBitmap;
        f.Form->PushUndo();
        QVERIFY(f.Form->Modified);
        L_FillBitmap(&f.Form->WorkBitmap, RGBColor(0, 0, 0));
        f.Form->actEditUndoExecute();
        QVERIFY(SamePixels(before, f.Form->WorkBitmap));
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        L_FillBitmap(&f.Form->WorkBitmap, RGBColor(9, 9, 9));
        f.Form->actEditUndoExecute();
        QCOMPARE(L_GetPixelColor(&f.Form->WorkBitmap, 3, 3), RGBColor(9, 9, 9));
        QVERIFY(f.Form->Modified);  // undo leaves the flag alone
    }

    void RestoreOriginalKeepsUndo() {
        Fixture f;
        f.Load(Photo(20, 20));
        f.Form->PushUndo();
        L_FillBitmap(&f.Form->WorkBitmap, RGBColor(0, 0, 0));
        f.Form->TBXItemOriginalImgClick();
        QVERIFY(!f.Form->Modified);
        QVERIFY(SamePixels(f.Form->OriginalBitmap, f.Form->WorkBitmap));
        QVERIFY(f.Form->UndoBitmap.Allocated());
        // Without an original the working picture stays.
        L_FreeBitmap(&f.Form->OriginalBitmap);
        f.Form->Modified = true;
        f.Form->TBXItemOriginalImgClick();
        QVERIFY(f.Form->WorkBitmap.Allocated());
        QVERIFY(f.Form->Modified);
    }

    void PasteWithEmptyClipboard() {
        Fixture f;
        f.Load(Photo(20, 12));
        BitmapHandle before = f.Form->WorkBitmap;
        L_FillBitmap(&f.Form->OriginalBitmap, RGBColor(1, 1, 1));  // to see it replaced
        f.Form->actEditPasteExecute();
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(1));
        QCOMPARE(f.Fakes.Messages.Asked[0].Text, QString("\"붙여넣기\" 할 데이터가 없습니다."));
        QVERIFY(f.Fakes.Messages.Asked[0].IconShown == Icon::Information);
        QVERIFY(SamePixels(before, f.Form->WorkBitmap));
        QVERIFY(SamePixels(before, f.Form->UndoBitmap));
        QVERIFY(SamePixels(before, f.Form->OriginalBitmap));
        QVERIFY(f.Form->Modified);
    }

    void CopyThenPastePromotesAndResetsZoom() {
        Fixture f;
        f.Load(Photo(21, 13, 8));
        f.Form->SetZoom(50);
        f.Form->actEditCopyExecute();
        f.Form->actFileNewExecute();
        QVERIFY(!f.Form->WorkBitmap.Allocated());
        f.Form->actEditPasteExecute();
        QVERIFY(f.Fakes.Messages.Asked.empty());
        QCOMPARE(f.Form->WorkBitmap.Width, 21);
        QCOMPARE(f.Form->WorkBitmap.BitsPerPixel, 24);
        QCOMPARE(f.Form->ZoomPercent, 100);
        QVERIFY(f.Form->NoticePanel->isHidden());
        QVERIFY(SamePixels(f.Form->WorkBitmap, f.Form->OriginalBitmap));
    }

    void NewEmptiesEverything() {
        Fixture f;
        f.Load(Photo(20, 20));
        f.Form->PushUndo();
        f.Form->SetZoom(200);
        f.Form->actFileNewExecute();
        QVERIFY(!f.Form->WorkBitmap.Allocated());
        QVERIFY(!f.Form->OriginalBitmap.Allocated());
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        QVERIFY(!f.Form->Modified);
        QCOMPARE(f.Form->ZoomPercent, 100);
        QVERIFY(!f.Form->NoticePanel->isHidden());
        for (int i = 0; i <= 5; ++i) QCOMPARE(f.Form->StatusPanelText(i), QString());
    }

    void ZoomSteps_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("in from 300 stays") << "actViewZoomIn" << 300 << 300;
        QTest::newRow("in from 295 caps") << "actViewZoomIn" << 295 << 300;
        QTest::newRow("out from 25 gives 20") << "actViewZoomOut" << 25 << 20;
        QTest::newRow("out from 33 gives 23") << "actViewZoomOut" << 33 << 23;
        QTest::newRow("in from 33 gives 43") << "actViewZoomIn" << 33 << 43;
        QTest::newRow("actual") << "actViewZoomActual" << 43 << 100;
        QTest::newRow("x2") << "TBXItemZoomInX2" << 100 << 200;
        QTest::newRow("x3") << "TBXItemZoomInX3" << 100 << 300;
        QTest::newRow("/2") << "TBXItemZoomOutX2" << 100 << 50;
        QTest::newRow("/3") << "TBXItemZoomOutX3" << 100 << 33;
    }
    void ZoomSteps() {
        QFETCH(QString, command);
        QFETCH(int, from);
        QFETCH(int, to);
        Fixture f;
        f.Load(Photo(50, 40));
        f.Form->ZoomPercent = from;
        QVERIFY(f.Form->RunCommand(command));
        QCOMPARE(f.Form->ZoomPercent, to);
        QCOMPARE(f.Form->StatusPanelText(4), QString("%1 %").arg(to));
    }

    void ZoomWithoutPictureChangesNothing() {
        Fixture f;
        f.Form->actViewZoomInExecute();
        f.Form->RunCommand("TBXItemZoomOutX3");
        QCOMPARE(f.Form->ZoomPercent, 100);
    }

    void CropBandMapsAtTheCentringOffset() {
        Fixture f;
        f.Load(Photo(200, 150));
        QSize client = f.Client();
        QVERIFY(client.width() > 200 && client.height() > 150);
        int32_t ox, oy;
        f.Form->CentringOffset(ox, oy);
        QCOMPARE(ox, (client.width() - 200) / 2);
        QCOMPARE(oy, (client.height() - 150) / 2);
        f.Form->TBXItemImageCropClick();
        QVERIFY(f.Form->btnCrop->isChecked());
        f.Form->ScrollPaintBoxMouseDown(ox + 10, oy + 10);
        QCOMPARE(f.Form->CropHandle, -1);
        f.Form->ScrollPaintBoxMouseMove(ox + 60, oy + 40);
        QCOMPARE(f.Form->MousePosPanel->text(), QString("       W : 50, H : 30"));
        f.Form->ScrollPaintBoxMouseUp(ox + 60, oy + 40);
        QCOMPARE(f.Form->CropRect, (TRect{10, 10, 60, 40}));
        QVERIFY(!f.Form->CropDragging);

        // Right to left and bottom to top: normalised on release.
        f.Form->ScrollPaintBoxMouseDown(ox + 150, oy + 100);
        f.Form->ScrollPaintBoxMouseMove(ox + 100, oy + 70);
        f.Form->ScrollPaintBoxMouseUp(ox + 100, oy + 70);
        QCOMPARE(f.Form->CropRect, (TRect{100, 70, 150, 100}));
    }

    void CropBandMapsAtZoomAndScroll() {
        Fixture f;
        f.Load(Photo(2000, 1500));
        f.Form->SetZoom(50);  // 1000 × 750, larger than the area: no centring
        f.Form->ScrollPaintBox->horizontalScrollBar()->setValue(40);
        f.Form->ScrollPaintBox->verticalScrollBar()->setValue(20);
        f.Form->TBXItemImageCropClick();
        f.Form->ScrollPaintBoxMouseDown(10, 10);
        f.Form->ScrollPaintBoxMouseMove(110, 60);
        f.Form->ScrollPaintBoxMouseUp(110, 60);
        // Client (10, 10) is zoomed (50, 30), image (100, 60); 100 × 50 client pixels are 200 × 100.
        QCOMPARE(f.Form->CropRect, (TRect{100, 60, 300, 160}));
        QCOMPARE(f.Form->ImageToScreen(f.Form->CropRect), (TRect{10, 10, 110, 60}));
    }

    void DoubleClickCropsToPictureEdges() {
        Fixture f;
        BitmapHandle picture = Photo(120, 90);
        f.Load(picture);
        int32_t ox, oy;
        f.Form->CentringOffset(ox, oy);
        f.Form->TBXItemImageCropClick();
        f.Form->ScrollPaintBoxMouseDown(ox + 100, oy + 70);
        f.Form->ScrollPaintBoxMouseMove(ox + 200, oy + 150);  // past the picture
        f.Form->ScrollPaintBoxMouseUp(ox + 200, oy + 150);
        f.Form->ScrollPaintBoxMouseDown(ox + 110, oy + 80);
        f.Form->ScrollPaintBoxMouseUp(ox + 110, oy + 80);
        // The press of the second click started a zero band; the double-click comes before it.
        f.Form->ScrollPaintBoxDblClick();
        QCOMPARE(f.Form->WorkBitmap.Width, 20);
        QCOMPARE(f.Form->WorkBitmap.Height, 20);
        QVERIFY(SamePixels(f.Form->WorkBitmap, picture, 100, 70));
        QCOMPARE(f.Form->CropRect, TRect{});
        QVERIFY(f.Form->UndoBitmap.Allocated());
        QCOMPARE(f.Form->StatusPanelText(5), QString("20×20×24b"));
    }

    void SmallBandStillCrops() {
        Fixture f;
        BitmapHandle picture = Photo(120, 90);
        f.Load(picture);
        f.Form->btnCrop->setChecked(true);
        f.Form->CropRect = TRect{30, 30, 38, 38};  // 8 × 8: not drawn
        int32_t ox, oy;
        f.Form->CentringOffset(ox, oy);
        f.Form->DragPoint = TPoint{ox + 33, oy + 33};
        f.Form->ScrollPaintBoxDblClick();
        QCOMPARE(f.Form->WorkBitmap.Width, 8);
        QVERIFY(SamePixels(f.Form->WorkBitmap, picture, 30, 30));
    }

    void DoubleClickOutsideBandChangesNothing() {
        Fixture f;
        f.Load(Photo(120, 90));
        f.Form->CropRect = TRect{30, 30, 60, 60};
        f.Form->DragPoint = TPoint{2, 2};
        f.Form->ScrollPaintBoxDblClick();
        QCOMPARE(f.Form->WorkBitmap.Width, 120);
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        f.Form->CropRect = TRect{};
        f.Form->ScrollPaintBoxDblClick();
        QCOMPARE(f.Form->WorkBitmap.Width, 120);
    }

    void BandOutsideASmallerPictureCropsNothing() {
        Fixture f;
        f.Load(Photo(50, 40));
        f.Form->CropRect = TRect{100, 100, 160, 150};  // left from a larger picture
        TRect screen = f.Form->ImageToScreen(f.Form->CropRect);
        f.Form->DragPoint = TPoint{screen.Left + 5, screen.Top + 5};
        f.Form->ScrollPaintBoxDblClick();
        QVERIFY(f.Form->WorkBitmap.Allocated());
        QCOMPARE(f.Form->WorkBitmap.Width, 50);
    }

    void PointerReadOutFollowsCropMode() {
        Fixture f;
        f.Load(Photo(60, 40));
        f.Form->ScrollPaintBoxMouseMove(17, 23);
        QCOMPARE(f.Form->MousePosPanel->text(), QString("       X : 17, Y : 23"));
        f.Form->TBXItemImageCropClick();
        QCOMPARE(f.Form->MousePosPanel->text(), QString());
        f.Form->CropRect = TRect{5, 6, 25, 36};
        f.Form->ScrollPaintBoxMouseMove(17, 23);
        QCOMPARE(f.Form->MousePosPanel->text(), QString("       W : 20, H : 30"));
        // Leaving crop mode drops the band.
        f.Form->TBXItemImageCropClick();
        QCOMPARE(f.Form->CropRect, TRect{});
    }

    void CropModeNeedsAPicture() {
        Fixture f;
        f.Form->TBXItemImageCropClick();
        QVERIFY(!f.Form->btnCrop->isChecked());
    }

    void PaintShowsPictureCentredInWhiteFrame() {
        Fixture f;
        f.Load(Photo(200, 150));
        QImage shot = f.Form->ScrollPaintBox->viewport()->grab().toImage();
        int32_t ox, oy;
        f.Form->CentringOffset(ox, oy);
        QCOMPARE(QColor(shot.pixel(ox, oy)), QColor(0, 0, 0));
        QCOMPARE(QColor(shot.pixel(ox + 10, oy + 20)), QColor(30, 100, 30));  // x*3, y*5, x+y
        QCOMPARE(QColor(shot.pixel(ox + 199, oy + 149)), QColor(597 % 256, 745 % 256, 348 % 256));
        QCOMPARE(QColor(shot.pixel(ox - 1, oy + 5)), QColor(Qt::white));  // the frame
        QCOMPARE(QColor(shot.pixel(2, 2)), QColor(Qt::white));
        QCOMPARE(QColor(shot.pixel(ox + 200, oy + 150)), QColor(Qt::white));
    }

    void PixelInfoBoxShowsNeighbourhood() {
        Fixture f;
        f.Load(Photo(200, 150));
        int32_t ox, oy;
        f.Form->CentringOffset(ox, oy);
        f.Form->ScrollPaintBoxMouseMove(ox + 10, oy + 20);
        QImage box = f.Form->pbxPixelInfo->grab().toImage();
        QCOMPARE(QColor(box.pixel(10 * 1 + 5, 6 * 1 + 3)), QColor(30, 100, 30));  // centre cell
        QCOMPARE(QColor(box.pixel(10 * 2 + 5, 6 * 2 + 3)), QColor(33, 105, 32));  // (+1, +1)
        QCOMPARE(QColor(box.pixel(10 * 1 + 2, 6 * 1)), QColor(Qt::black));       // centre outline
    }

    void HintSplitting_data() {
        QTest::addColumn<QString>("hint");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::newRow("title and description") << "열기\r\n내 사진 폴더를 열어 새로운 사진을 불러 옵니다."
                                               << "열기" << "☞ 내 사진 폴더를 열어 새로운 사진을 불러 옵니다.";
        QTest::newRow("no line break") << "P2P 최강" << "P2P 최강" << "☞ P2P 최강";
        QTest::newRow("empty") << "" << MainCaption
                               << "☞ 각 기능 버튼에 마우스를 올려 놓으면 도움말이 나타납니다.   ";
        QTest::newRow("blank title falls back") << "  \r\nonly text" << MainCaption + " "
                                                << "☞ only text";
        QTest::newRow("title trimmed") << "서브메뉴 \r\n서브메뉴를 보이게 하거나 안보이게 합니다."
                                       << "서브메뉴" << "☞ 서브메뉴를 보이게 하거나 안보이게 합니다.";
    }
    void HintSplitting() {
        QFETCH(QString, hint);
        QFETCH(QString, title);
        QFETCH(QString, description);
        Fixture f;
        f.Form->UpdateHintPanel(hint);
        QCOMPARE(f.Form->lblInfoItem->text(), title);
        QCOMPARE(f.Form->lblInfoItemHint->text(), description);
    }

    void MenuStructureByCaptionAndTag() {
        Fixture f;
        QStringList titles;
        for (QAction* a : f.Form->menuBar()->actions()) titles << a->text().remove('&');
        QCOMPARE(titles, (QStringList{"파일(F)", "편집(E)", "보기(V)", "이미지(I)", "컬러(C)",
                                      "조정(B)", "필터(T)", "고급기능(S)", "결과활용(R)",
                                      "대하여(A)"}));
        QVERIFY(!f.Form->menuBar()->actions()[2]->font().bold());
        for (int i = 3; i <= 8; ++i) QVERIFY(f.Form->menuBar()->actions()[i]->font().bold());

        auto find = [&](const QString& place, const QString& caption) -> const TMainForm::EntryAction* {
            for (const auto& e : f.Form->EntryActions())
                if (e.Place == place && e.Entry->Caption == caption) return &e;
            return nullptr;
        };
        struct Row {
            const char* Place;
            const char* Caption;
            int Tag;
            bool Enabled;
        };
        const Row rows[] = {
            {"menu", "수묵화 (India ink) ", 3, true},
            {"menu", "유화 (Oilify)", 2, true},
            {"panel", "수    묵    화", 2, true},
            {"panel", "유           화", 3, true},
            {"menu", "XP Style", 111, true},
            {"menu", "Stripes", 222, true},
            {"menu", "트위스트 (Twist)", 123, false},
            {"menu", "업데이트", 0, false},
            {"menu", "새작업", 0, true},
            {"toolbar", "자르기", 0, true},
            {"popup", "확대 (+)", 0, true},
            {"panel", "달력만들기", 0, false},
            {"menu", "코믹 캐릭터 만들기", 0, false},
        };
        for (const Row& r : rows) {
            const auto* e = find(r.Place, r.Caption);
            QVERIFY2(e, r.Caption);
            QCOMPARE(e->Action->data().toInt(), r.Tag);
            QCOMPARE(e->Action->isEnabled(), r.Enabled);
        }
        const auto* noise = find("menu", "노이즈 제거");
        QVERIFY(noise && !noise->Action->isVisible() && !noise->Action->isEnabled());
        QVERIFY(find("menu", "XP Style")->Action->isChecked());
        QCOMPARE(find("toolbar", "확  대")->Action->property("kivoHint").toString(),
                 QString("확대\r\n마우스 왼쪽버튼을 누를 때마다 사진 크기가 확대 됩니다."));
        QCOMPARE(find("popup", "확대 (+)")->Action->property("kivoHint").toString(),
                 QString("확대\r\n사진의 크기를 증가 시킵니다."));
        QCOMPARE(find("menu", "압축하기")->Action->shortcut(), QKeySequence("Ctrl+A"));

        // Toolbar order.
        QStringList toolbar;
        for (const auto& e : f.Form->EntryActions())
            if (e.Place == "toolbar") toolbar << e.Entry->Caption;
        QCOMPARE(toolbar.size(), 18);
        QCOMPARE(toolbar.first(), QString("새작업"));
        QCOMPARE(toolbar[10], QString("자르기"));
        QCOMPARE(toolbar.last(), QString("비트맵"));

        // Popup: eleven entries with three separators.
        QCOMPARE(f.Form->MainPopupMenu->actions().size(), 11);
        QVERIFY(f.Form->MainPopupMenu->actions()[2]->isSeparator());
    }

    void ShortcutsReachTheirCommands() {
        Fixture f;
        auto shortcutOf = [&](const QString& command) {
            for (QAction* a : f.Form->actions())
                if (a->objectName() == "command:" + command) return a->shortcut();
            return QKeySequence();
        };
        QCOMPARE(shortcutOf("actFileOpen"), QKeySequence("Ctrl+O"));
        QCOMPARE(shortcutOf("actEditUndo"), QKeySequence("Ctrl+Z"));
        QCOMPARE(shortcutOf("actViewZoomIn"), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus));
        QCOMPARE(shortcutOf("actColorBW"), QKeySequence("Ctrl+1"));
        QCOMPARE(shortcutOf("actColorCT"), QKeySequence("Ctrl+8"));

        f.Load(Photo(50, 40));
        f.Form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f.Form.get()));
        QTest::keyClick(f.Form.get(), Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(f.Form->ZoomPercent, 110);
        QTest::keyClick(f.Form.get(), Qt::Key_Minus, Qt::KeypadModifier);
        QTest::keyClick(f.Form.get(), Qt::Key_Minus, Qt::KeypadModifier);
        QCOMPARE(f.Form->ZoomPercent, 90);
        f.Fakes.Pickers.OpenAnswers.clear();
        QTest::keyClick(f.Form.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(f.Fakes.Pickers.OpenRequests.size(), size_t(1));
    }

    void ViewToggles() {
        Fixture f;
        QCOMPARE(f.Form->BottomThumbPanel->maximumHeight(), 22);
        // From the 22-pixel header the entry hides the panel completely, then shows it at 225.
        f.Form->RunCommand("TBXItemViewThumbnail");
        QCOMPARE(f.Form->BottomThumbPanel->maximumHeight(), 0);
        f.Form->RunCommand("TBXItemViewThumbnail");
        QCOMPARE(f.Form->BottomThumbPanel->maximumHeight(), 225);

        f.Form->RunCommand("TBXItemViewSubMenu");
        QVERIFY(f.Form->TBXDockablePanel->isHidden());
        QCOMPARE(f.Form->DecoPanel2->maximumWidth(), 10);
        f.Form->RunCommand("TBXItemViewSubMenu");
        QVERIFY(!f.Form->TBXDockablePanel->isHidden());
        QCOMPARE(f.Form->DecoPanel2->maximumWidth(), 145);

        f.Form->RunCommand("TBXItemViewHint");
        QVERIFY(f.Form->BottomInfoPanel->isHidden());
        f.Form->RunCommand("TBXItemViewToolbar");
        QVERIFY(f.Form->SubTBXToolbar->isHidden());

        f.Form->RunCommand("TBXItemMenuStyle", 222);
        QCOMPARE(f.Form->CurrentMenuStyle(), QString("Stripes"));
        f.Form->RunCommand("TBXItemMenuStyle", 5);  // any tag but 111 and 222
        QCOMPARE(f.Form->CurrentMenuStyle(), QString("Default"));
        f.Form->RunCommand("TBXItemMenuStyle", 0);
        for (const auto& e : f.Form->EntryActions())
            if (e.Entry->Command == "TBXItemMenuStyle")
                QCOMPARE(e.Action->isChecked(), e.Entry->Caption == "Default");
    }

    void ProgressGaugeAndSuspension_data() {
        QTest::addColumn<int>("percent");
        QTest::addColumn<bool>("visible");
        QTest::newRow("98 shows") << 98 << true;
        QTest::newRow("99 hides") << 99 << false;
        QTest::newRow("100 hides") << 100 << false;
    }
    void ProgressGaugeAndSuspension() {
        QFETCH(int, percent);
        QFETCH(bool, visible);
        Fixture f;
        QCOMPARE(TMainForm::ProgressCallback(percent, nullptr), 1);
        QCOMPARE(f.Form->Gauge->isVisibleTo(f.Form.get()), visible);
        f.Form->SuspendProgress();
        QVERIFY(L_GetStatusCallBack() == nullptr);
        QCOMPARE(TMainForm::ProgressCallback(50, nullptr), 0);
        QVERIFY(!f.Form->Gauge->isVisibleTo(f.Form.get()));
        f.Form->ResumeProgress();
        QVERIFY(L_GetStatusCallBack() == &TMainForm::ProgressCallback);
    }

    void WebLinksOpenMakerPages() {
        Fixture f;
        qunsetenv("KIVO_WEB_BASE");
        f.Form->RunCommand("TBXItemImageQNA");
        f.Form->RunCommand("lblMenuHandPhone");
        f.Form->RunCommand("TBXItemImageDN");
        QCOMPARE(f.Fakes.Desktop.Urls,
                 (QStringList{"http://www.kivoalbum.example/Userboard.asp?tbname=kivoboard4",
                              "http://www.kivoalbum.example/QXMobileX.asp",
                              "http://www.kivoalbum.example/download.asp"}));
    }

    void CropLabelColourDrawsFromSharedSequence() {
        Fixture f;
        f.Load(Photo(200, 150));
        f.Form->CropRect = TRect{10, 10, 100, 80};
        RandSeed = 0;
        f.Form->ScrollPaintBox->viewport()->grab();
        // One repaint draws red, green and blue: three numbers of the sequence.
        QCOMPARE(RandSeed, 134775813u * 134775813u + 134775813u + 1u);
    }

    void DroppedFileOpensAfterThePrompt() {
        Fixture f;
        f.Load(Photo(30, 30));
        f.Form->PushUndo();
        QString path = f.Write("dropped.bmp", Photo(12, 7), FILE_BMP, 24);
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        // As a real drag does: enter (which must be accepted for the drop to come), then drop.
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.Form->ScrollPaintBox->viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(f.Form->ScrollPaintBox->viewport(), &drop);
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(1));  // the save prompt
        QCOMPARE(f.Form->WorkBitmap.Width, 12);
        QCOMPARE(f.Form->CurrentFilePath, path);
        QCOMPARE(f.Form->StatusPanelText(5), QString("12×7×24b"));
    }

    void WheelScrollsAndCtrlWheelZooms() {
        Fixture f;
        f.Load(Photo(3000, 3000));
        auto wheel = [&](Qt::KeyboardModifiers modifiers, int delta) {
            QPointF at(40, 40);
            QWheelEvent event(at, f.Form->ScrollPaintBox->viewport()->mapToGlobal(at), QPoint(),
                              QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(f.Form->ScrollPaintBox->viewport(), &event);
        };
        wheel(Qt::NoModifier, -120);
        QVERIFY(f.Form->ScrollPaintBox->verticalScrollBar()->value() > 0);
        QCOMPARE(f.Form->ZoomPercent, 100);
        wheel(Qt::ControlModifier, 240);
        QCOMPARE(f.Form->ZoomPercent, 120);
        wheel(Qt::ControlModifier, -120);
        QCOMPARE(f.Form->ZoomPercent, 110);
    }

    void HoveringAnEntryShowsItsHint() {
        Fixture f;
        for (const auto& e : f.Form->EntryActions())
            if (e.Place == "toolbar" && e.Entry->Command == "actFileSave") e.Action->hover();
        QCOMPARE(f.Form->lblInfoItem->text(), QString("저장"));
        QCOMPARE(f.Form->lblInfoItemHint->text(), QString("☞ 편집된 사진을 저장 합니다."));
    }

    void NoticePanelIsCentred() {
        Fixture f;
        QSize area = f.Client();
        QCOMPARE(f.Form->NoticePanel->pos(),
                 QPoint((area.width() - 250) / 2, (area.height() - 192) / 2));
        f.Form->resize(f.Form->width() + 60, f.Form->height() + 40);
        QApplication::processEvents();
        area = f.Client();
        QCOMPARE(f.Form->NoticePanel->pos(),
                 QPoint((area.width() - 250) / 2, (area.height() - 192) / 2));
    }

    void AboutShowsHistoryAndClosesWithOk() {
        Fixture f;
        QString text;
        QString caption;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<TAboutForm*>(QApplication::activeModalWidget());
            if (!about) return;
            text = about->Memo->toPlainText();
            caption = about->windowTitle();
            about->btnOK->click();
        });
        f.Form->RunCommand("TBXItemAbout");
        QCOMPARE(caption, MainCaption);
        QVERIFY(text.contains("Kivo Image Editor 공개용(Freeware)"));
        QVERIFY(text.indexOf("2004. 02. 10. Kivo Image Editor ver 1.07") <
                text.indexOf("2003. 10. 08. Kivo Image Editor ver 1.00"));
        QVERIFY(text.contains("2003. 11. 16. Kivo Image Editor ver 1.02"));
    }

    void MulDivRoundsHalvesAwayFromZero() {
        QCOMPARE(MulDiv(5, 1, 2), 3);
        QCOMPARE(MulDiv(-5, 1, 2), -3);
        QCOMPARE(MulDiv(7, 33, 100), 2);    // 2.31
        QCOMPARE(MulDiv(50, 33, 100), 17);  // 16.5
        QCOMPARE(MulDiv(1000000, 300, 7), 42857143);
    }
};

QTEST_MAIN(MainFormTest)
#include "MainFormTest.moc"
