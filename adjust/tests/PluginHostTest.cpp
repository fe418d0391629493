// The advanced filters from the editor's side: the real main window runs RunAdvancedFilter with
// the real plug-in loaded by name from the program's folder; its dialog is driven from a timer.

#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "FrmMain.h"
#include "PluginHost.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/File.h"
#include "kivo/platform/Fakes.h"
#include "support/EditorFixture.h"

using namespace kivo::platform;
using kivo::test::EditorFixture;
using kivo::test::SamePixels;

namespace {

// Every pixel differs, so a shifted or resampled picture shows.
BitmapHandle Photo(int w, int h, int bpp = 24) {
    BitmapHandle b;
    L_CreateBitmap(&b, 1, w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            L_PutPixelColor(&b, x, y, RGBColor(uint8_t(x * 3), uint8_t(y * 5), uint8_t(x ^ y)));
    if (bpp == 24) return b;
    BitmapHandle out;
    L_ColorResBitmap(&b, &out, bpp, 0);
    return out;
}

// The plug-in's mosaic: whole blocks only, each filled with its bottom-right pixel.
BitmapHandle Mosaic(const BitmapHandle& source, int block) {
    BitmapHandle out;
    L_CopyBitmap(&out, &source);
    const int bw = source.Width / block * block, bh = source.Height / block * block;
    for (int y = 0; y < bh; ++y)
        for (int x = 0; x < bw; ++x)
            L_PutPixelColor(&out, x, y,
                            L_GetPixelColor(&source, x / block * block + block - 1,
                                            y / block * block + block - 1));
    return out;
}

struct Fixture : EditorFixture {
    QTemporaryDir System;
    QString ImagePath, PreviewPath;

    Fixture() {
        qputenv("KIVO_SYSTEM_DIR", System.path().toUtf8());
        ImagePath = System.filePath("OriKivoEffectImage.Bmp");
        PreviewPath = System.filePath("WokKivoEffectImage.Bmp");
    }
    ~Fixture() { MoreFiltersLibraryName = "KivoMoreFilters.so"; }
    // Zoomed in, so that the reset to 100 % shows.
    void Load(BitmapHandle picture) {
        EditorFixture::Load(std::move(picture));
        Form->SetZoom(200);
    }
    // Runs the filter with drive called on the plug-in's dialog once it is up; false when no
    // dialog came up.
    bool Run(int number, const std::function<void(QWidget*)>& drive) {
        return Drive([&] { RunAdvancedFilter(*Form, number); }, drive);
    }
    bool Drive(const std::function<void()>& action, const std::function<void(QWidget*)>& drive) {
        bool driven = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || driven) return;
            driven = true;
            poll.stop();
            drive(dialog);
        });
        poll.start();
        QTimer guard;  // a dialog the drive leaves open must not hang the suite
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        guard.start(20000);
        action();
        return driven;
    }
    bool ExchangeFilesGone() const {
        return !QFile::exists(ImagePath) && !QFile::exists(PreviewPath);
    }
};

void Click(QWidget* dialog, const char* name) {
    auto* button = dialog->findChild<QAbstractButton*>(name);
    QVERIFY(button);
    button->click();
}

BitmapHandle LoadFile(const QString& path) {
    BitmapHandle b;
    L_LoadBitmap(path.toStdString(), &b, 0, 1);
    return b;
}

}  // namespace

class PluginHostTest : public QObject {
    Q_OBJECT

private slots:
    void OkWritesTheFilteredPictureBack() {
        // A 256-colour picture goes over as 24 bits, with a preview fitted into 250 x 200.
        Fixture f;
        f.Load(Photo(1000, 400, 8));
        BitmapHandle promoted;
        L_ColorResBitmap(&f.Form->WorkBitmap, &promoted, 24, CRF_BYTEORDERBGR);
        BitmapHandle full, preview;
        QVERIFY(f.Run(114, [&](QWidget* dialog) {
            full = LoadFile(f.ImagePath);
            preview = LoadFile(f.PreviewPath);
            auto* bar = dialog->findChild<QSlider*>("GaugeBar1");
            QVERIFY(bar);
            bar->setValue(3);
            Click(dialog, "btnOK");
        }));
        QCOMPARE(full.BitsPerPixel, 24);
        QVERIFY(SamePixels(full, promoted));
        QCOMPARE(preview.Width, 250);
        QCOMPARE(preview.Height, 100);
        QCOMPARE(f.Form->WorkBitmap.BitsPerPixel, 24);
        QVERIFY(SamePixels(f.Form->WorkBitmap, Mosaic(promoted, 3)));
        QVERIFY(SamePixels(f.Form->UndoBitmap, promoted));
        QVERIFY(f.Form->Modified);
        QCOMPARE(f.Form->ZoomPercent, 100);
        QVERIFY(f.ExchangeFilesGone());
        QVERIFY(f.Fakes.Messages.Asked.empty());
    }

    void CancelStillMakesTheRoundTrip() {
        // Stale exchange files are deleted before the run, never read: a garbage preview would
        // make the plug-in's dialog fail to show a picture, a garbage full picture would come back.
        Fixture f;
        f.Load(Photo(200, 100, 4));
        for (const QString& path : {f.ImagePath, f.PreviewPath}) {
            QFile stale(path);
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write("left over from an interrupted run");
        }
        BitmapHandle promoted;
        L_ColorResBitmap(&f.Form->WorkBitmap, &promoted, 24, CRF_BYTEORDERBGR);
        BitmapHandle preview;
        QVERIFY(f.Run(111, [&](QWidget* dialog) {
            preview = LoadFile(f.PreviewPath);
            Click(dialog, "btnCANCEL");
        }));
        QCOMPARE(preview.Width, 200);  // never enlarged
        QCOMPARE(preview.Height, 100);
        QCOMPARE(f.Form->WorkBitmap.BitsPerPixel, 24);
        QVERIFY(SamePixels(f.Form->WorkBitmap, promoted));
        QVERIFY(SamePixels(f.Form->UndoBitmap, promoted));
        QVERIFY(f.Form->Modified);
        QCOMPARE(f.Form->ZoomPercent, 100);
        QVERIFY(f.ExchangeFilesGone());
    }

    void MissingPluginChangesNothingVisible() {
        Fixture f;
        MoreFiltersLibraryName = "KivoMoreFiltersAbsent.so";
        f.Load(Photo(64, 48));
        BitmapHandle before;
        L_CopyBitmap(&before, &f.Form->WorkBitmap);
        QVERIFY(!f.Run(111, [](QWidget* dialog) { dialog->close(); }));
        QVERIFY(SamePixels(f.Form->WorkBitmap, before));
        QVERIFY(f.Form->Modified);
        QCOMPARE(f.Form->ZoomPercent, 100);
        QVERIFY(f.Fakes.Messages.Asked.empty());
        QVERIFY(f.ExchangeFilesGone());
    }

    void PluginInTheCurrentFolderIsNeverLoaded() {
        // The test runs with "." on the library search path (see CMakeLists.txt), so only the
        // host's own check keeps a copy in the current folder out.
        Fixture f;
        QTemporaryDir here;
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/KivoMoreFilters.so",
                            here.filePath("KivoMoreFiltersHere.so")));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(here.path());
        MoreFiltersLibraryName = "KivoMoreFiltersHere.so";
        f.Load(Photo(30, 20));
        const bool ran = f.Run(111, [](QWidget* dialog) { Click(dialog, "btnCANCEL"); });
        QDir::setCurrent(previous);
        QVERIFY(!ran);
        QVERIFY(f.Form->Modified);  // the rest of the exchange still ran
    }

    void FailedSaveSkipsUndoAndPlugin() {
        // A folder that cannot be removed stands where the full picture must be written.
        Fixture f;
        QVERIFY(QDir().mkpath(f.ImagePath + "/keep"));
        f.Load(Photo(40, 30, 8));
        QVERIFY(!f.Run(111, [](QWidget* dialog) { Click(dialog, "btnCANCEL"); }));
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        QVERIFY(!f.Form->Modified);
        QCOMPARE(f.Form->WorkBitmap.BitsPerPixel, 24);  // the promotion is not undone
        QCOMPARE(f.Form->ZoomPercent, 100);
        QVERIFY(!QFile::exists(f.PreviewPath));
    }

    void NoPictureShowsTheMessageOnly() {
        Fixture f;
        f.Form->SetZoom(200);
        QVERIFY(!f.Run(111, [](QWidget* dialog) { dialog->close(); }));
        QCOMPARE(f.Fakes.Messages.Asked.size(), size_t(1));
        QCOMPARE(f.Fakes.Messages.Asked[0].Text,
                 QString("필터를 적용할 이미지가 존재하지 않습니다."));
        QCOMPARE(f.Fakes.Messages.Asked[0].Caption, MessageCaption);
        QVERIFY(!f.Form->UndoBitmap.Allocated());
        QVERIFY(f.ExchangeFilesGone());
    }

    void EntriesAndTagsReachTheFilter() {
        // Menu entries and panel buttons 111..114 run the plug-in, 115..123 stay disabled, and
        // a tag outside 111..123 does nothing.
        Fixture f;
        int enabled = 0, disabled = 0;
        for (const auto& e : f.Form->EntryActions()) {
            if (e.Entry->Command != "TBXItemMoreFilters" && e.Entry->Command != "btnMoreFilters")
                continue;
            const bool shouldRun = e.Entry->Tag >= 111 && e.Entry->Tag <= 114;
            QCOMPARE(e.Action->isEnabled(), shouldRun);
            (shouldRun ? enabled : disabled) += 1;
        }
        QCOMPARE(enabled, 8);
        QCOMPARE(disabled, 18);
        f.Load(Photo(20, 10));
        const auto cancel = [](QWidget* dialog) { Click(dialog, "btnCANCEL"); };
        for (int tag : {110, 124, 0}) {
            QVERIFY(!f.Drive([&] { TBXItemMoreFiltersClick(*f.Form, tag); }, cancel));
            QVERIFY(!f.Drive([&] { btnMoreFilters(*f.Form, tag); }, cancel));
        }
        QVERIFY(!f.Form->Modified);
        QVERIFY(f.Drive([&] { QVERIFY(f.Form->RunCommand("btnMoreFilters", 113)); }, cancel));
        QVERIFY(f.Drive([&] { QVERIFY(f.Form->RunCommand("TBXItemMoreFilters", 123)); }, cancel));
        QVERIFY(f.Form->Modified);
    }
};

QTEST_MAIN(PluginHostTest)
#include "PluginHostTest.moc"
