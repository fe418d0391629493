#include "FilterMenu.h"

#include <QWidget>

#include "FrmMain.h"
#include "Hourglass.h"
#include "kivo/imaging/FilterRecipes.h"

namespace {

// Restores the original picture as the filter numbered 0: the undo copy is already taken, so
// undo brings the filtered picture back. Without an original the picture stays: freeing it first
// would leave the work area empty.
void BackToOriginal(TMainForm& form) {
    form.Modified = false;
    if (!form.OriginalBitmap.Allocated()) return;
    if (form.WorkBitmap.Allocated()) L_FreeBitmap(&form.WorkBitmap);
    L_CopyBitmap(&form.WorkBitmap, &form.OriginalBitmap);
}

// Enables the panel again when the filter is over, however it ends.
class TPanelDisabled {
public:
    explicit TPanelDisabled(QWidget* panel) : Panel(panel) {
        if (Panel) Panel->setEnabled(false);
    }
    ~TPanelDisabled() {
        if (Panel) Panel->setEnabled(true);
    }
    TPanelDisabled(const TPanelDisabled&) = delete;
    TPanelDisabled& operator=(const TPanelDisabled&) = delete;

private:
    QWidget* Panel;
};

void ApplyFilterClick(TMainForm& form, int tag) {
    if (!form.WorkBitmap.Allocated()) return;
    if (tag >= 0) ApplyFilterByNumber(form, tag);
}

}  // namespace

void ApplyFilterByNumber(TMainForm& form, int number) {
    if (number == -1 || !form.WorkBitmap.Allocated()) return;
    try {
        THourglass hourglass;
        form.PushUndo();
        {
            TPanelDisabled disabled(form.findChild<QWidget*>("FilterFuncPanel"));
            try {
                if (number == 0)
                    BackToOriginal(form);
                else if (number >= FirstFilterRecipe && number <= LastFilterRecipe)
                    ApplyFilterRecipe(&form.WorkBitmap, number);
            } catch (...) {
            }
        }
        hourglass.Restore();
    } catch (...) {
    }
    // Filter 0 can bring back another size and the recipes another depth: the status bar
    // follows, as after every other command that changes the picture.
    form.RefreshStatusBar();
    form.RefreshWorkArea();
}

void TBXItemApplyFilterClick(TMainForm& form, int tag) { ApplyFilterClick(form, tag); }

void ImgApplyFilterClick(TMainForm& form, int tag) { ApplyFilterClick(form, tag); }

void RegisterFilterMenuCommands(TMainForm& form) {
    form.RegisterCommand("TBXItemApplyFilter",
                         [&form](int tag) { TBXItemApplyFilterClick(form, tag); });
    form.RegisterCommand("ImgApplyFilter", [&form](int tag) { ImgApplyFilterClick(form, tag); });
}
