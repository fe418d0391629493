#pragma once

// What the editor's window tests share: the main window with every platform service scripted
// (the fakes are in place before the window writes the registry at creation), a picture given
// to it as an open would, and pixel comparison.

#include <QAction>
#include <QtTest>
#include <memory>

#include "FrmMain.h"
#include "kivo/platform/Fakes.h"

namespace kivo::test {

// Same size, depth and colour at every pixel.
inline bool SamePixels(const BitmapHandle& a, const BitmapHandle& b) {
    if (a.Width != b.Width || a.Height != b.Height || a.BitsPerPixel != b.BitsPerPixel)
        return false;
    for (int y = 0; y < a.Height; ++y)
        for (int x = 0; x < a.Width; ++x)
            if (L_GetPixelColor(&a, x, y) != L_GetPixelColor(&b, x, y)) return false;
    return true;
}

struct EditorFixture {
    kivo::platform::FakePlatform Fakes;
    std::unique_ptr<TMainForm> Form;

    explicit EditorFixture(const QStringList& arguments = {"kivoEditor"}) {
        Form = std::make_unique<TMainForm>(arguments);
        Form->resize(1000, 760);
        Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
    }
    // The picture as just opened: also the original, unmodified, at 100 %.
    void Load(BitmapHandle picture) {
        Form->ResetImages();
        Form->WorkBitmap = std::move(picture);
        L_CopyBitmap(&Form->OriginalBitmap, &Form->WorkBitmap);
        Form->Modified = false;
        Form->NoticePanel->hide();
        Form->ResetZoom();
        Form->RefreshWorkArea();
        Form->RefreshStatusBar();
    }
    // The entry of a place ("menu", "toolbar", "panel", "popup") with that caption.
    QAction* Entry(const QString& place, const QString& caption) const {
        for (const auto& e : Form->EntryActions())
            if (e.Place == place && e.Entry->Caption == caption) return e.Action;
        return nullptr;
    }
    // Clicks it as the user would; it must exist and be enabled.
    void Click(const QString& place, const QString& caption) {
        QAction* action = Entry(place, caption);
        QVERIFY2(action, qPrintable("no entry " + caption));
        QVERIFY2(action->isEnabled(), qPrintable(caption));
        action->trigger();
    }
};

}  // namespace kivo::test
