#include "GeometryCommands.h"

#include <QAction>
#include <QComboBox>
#include <functional>

#include "FrmMain.h"
#include "FrmShear.h"
#include "FrmSizeControl.h"
#include "Hourglass.h"
#include "kivo/imaging/Geometry.h"
#include "kivo/platform/Platform.h"

using namespace kivo::platform;

namespace {

constexpr ColorRef Black = RGBColor(0, 0, 0);

// The pattern of every turn and mirror: undo copy, hourglass, the call, and the cursor, status
// bar and view put right however the call ends.
void RunGeometryCall(TMainForm& form, const std::function<void(BitmapHandle*)>& call) {
    if (!form.WorkBitmap.Allocated()) return;
    try {
        form.PushUndo();
        THourglass hourglass;
        try {
            call(&form.WorkBitmap);
        } catch (...) {
        }
        hourglass.Restore();
    } catch (...) {
    }
    form.RefreshStatusBar();
    form.RefreshWorkArea();
}

// The toolbar's own rotate button (TBXItemRotate): the toolbar entry of actImageRotate.
QAction* TBXItemRotate(TMainForm& form) {
    for (const TMainForm::EntryAction& e : form.EntryActions())
        if (e.Place == "toolbar" && e.Entry->Command == "actImageRotate") return e.Action;
    return nullptr;
}

}  // namespace

void actImageRotateR90Execute(TMainForm& form) {
    RunGeometryCall(form, [](BitmapHandle* w) { L_RotateBitmap(w, 9000, ROTATE_RESIZE, Black); });
}

void actImageRotateL90Execute(TMainForm& form) {
    RunGeometryCall(form, [](BitmapHandle* w) { L_RotateBitmap(w, -9000, ROTATE_RESIZE, Black); });
}

void actImageRotate180Execute(TMainForm& form) {
    RunGeometryCall(form, [](BitmapHandle* w) { L_RotateBitmap(w, 18000, ROTATE_RESIZE, Black); });
}

void actImageRotateExecute(TMainForm& form) {
    if (!form.WorkBitmap.Allocated()) return;
    QAction* button = TBXItemRotate(form);
    if (button) button->setEnabled(false);
    RunGeometryCall(form, [](BitmapHandle* w) { L_RotateBitmap(w, 9000, ROTATE_RESIZE, Black); });
    if (button) button->setEnabled(true);
}

void actImageFlipVExecute(TMainForm& form) {
    RunGeometryCall(form, [](BitmapHandle* w) { L_FlipBitmap(w); });
}

void actImageFlipHExecute(TMainForm& form) {
    RunGeometryCall(form, [](BitmapHandle* w) { L_ReverseBitmap(w); });
}

void actImageSizeControlExecute(TMainForm& form) {
    if (!form.WorkBitmap.Allocated()) return;
    try {
        TSizeCForm dialog(&form, form.WorkBitmap.Width, form.WorkBitmap.Height);
        form.CenterOnMainWindow(&dialog);
        if (dialog.exec() != QDialog::Accepted) {
            form.RefreshWorkArea();
            return;
        }
        int width = 0, height = 0;
        QString error;
        if (!dialog.ReadSize(&width, &height, &error)) {
            // The conversion error ends the command before anything changes.
            Current().Messages->Show(&form, error, MessageCaption, Icon::Error, Buttons::Ok);
            return;
        }
        form.PushUndo();
        THourglass hourglass;
        L_SizeBitmap(&form.WorkBitmap, width, height,
                     TSizeCForm::MethodForIndex(dialog.cbxReSampleFilter->currentIndex()));
        form.ZoomPercent = 100;
        form.RefreshStatusBar();
        form.RefreshWorkArea();
    } catch (...) {
    }
}

void actViewShearImageExecute(TMainForm& form) {
    if (!form.WorkBitmap.Allocated() && !form.OriginalBitmap.Allocated()) {
        Current().Messages->Show(&form, "이미지가 없습니다.", MessageCaption, Icon::Information,
                                 Buttons::Ok);
        return;
    }
    try {
        TShearForm dialog(form);
        form.SuspendProgress();
        form.CenterOnMainWindow(&dialog);
        try {
            dialog.MakePreview(form.WorkBitmap);
            dialog.exec();
        } catch (...) {
        }
    } catch (...) {
    }
    form.RefreshStatusBar();
    form.RefreshWorkArea();
    form.ResumeProgress();
}

void RegisterGeometryCommands(TMainForm& form) {
    const std::pair<const char*, void (*)(TMainForm&)> commands[] = {
        {"actImageRotateR90", actImageRotateR90Execute},
        {"actImageRotateL90", actImageRotateL90Execute},
        {"actImageRotate180", actImageRotate180Execute},
        {"actImageRotate", actImageRotateExecute},
        {"actImageFlipV", actImageFlipVExecute},
        {"actImageFlipH", actImageFlipHExecute},
        {"actImageSizeControl", actImageSizeControlExecute},
        {"actViewShearImage", actViewShearImageExecute},
    };
    for (const auto& [name, run] : commands)
        form.RegisterCommand(name, [&form, run](int) { run(form); });
}
