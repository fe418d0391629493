// The plug-in's one exported function. Everything else in the module is hidden (compiler
// visibility plus the linker's version script), so no class here can clash with the host's.

#include <QApplication>
#include <memory>
#include <string>

#include "FrmMain.h"

namespace kivo::morefilters {
// The one live dialog while the export runs.
TMainForm* MainForm = nullptr;
}  // namespace kivo::morefilters

using kivo::morefilters::MainForm;
using kivo::morefilters::TMainForm;

extern "C" __attribute__((visibility("default"))) int ExecMoreFilterImage(void* window,
                                                                          const char* previewPath,
                                                                          const char* imagePath,
                                                                          int number) {
    (void)window;  // the dialog stays unowned, centred on the screen and on top
    try {
        // The host owns the strings only for the duration of the call.
        const std::string preview = previewPath ? previewPath : "";
        const std::string image = imagePath ? imagePath : "";

        // A host without a widget application (a command-line caller) gets one for the call.
        std::unique_ptr<QApplication> ownApplication;
        static int argc = 1;
        static char arg0[] = "KivoMoreFilters";
        static char* argv[] = {arg0, nullptr};
        if (!QCoreApplication::instance())
            ownApplication = std::make_unique<QApplication>(argc, argv);
        else if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return 0;  // a console-only Qt host cannot show a dialog

        auto form = std::make_unique<TMainForm>();
        MainForm = form.get();
        form->PreviewPath = preview;
        form->ImagePath = image;
        form->SetupControls(number);
        try {
            form->LoadPreview();
        } catch (...) {
            // An unreadable preview leaves the preview empty, as a missing one does.
        }
        form->exec();
        form.reset();
        MainForm = nullptr;
    } catch (...) {
        MainForm = nullptr;
    }
    return 0;
}
