#include "PluginHost.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "FrmMain.h"
#include "kivo/imaging/Bitmap.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/Geometry.h"
#include "kivo/platform/Platform.h"
#include "uFunctions.h"

using namespace kivo::platform;

std::string MoreFiltersLibraryName = "KivoMoreFilters.so";

namespace {

const char* const OriginalFileName = "OriKivoEffectImage.Bmp";
const char* const PreviewFileName = "WokKivoEffectImage.Bmp";

std::string ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return std::filesystem::path(std::string(buffer, size_t(n))).parent_path().string();
}

// The module handle, closed when the call is over.
class TPluginLibrary {
public:
    TPluginLibrary() {
        if (MoreFiltersLibraryName.find('/') != std::string::npos) return;  // names only
        const std::string local = ProgramFolder() + "/" + MoreFiltersLibraryName;
        if (access(local.c_str(), F_OK) == 0) Handle = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (Handle) return;
        Handle = dlopen(MoreFiltersLibraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
        // A bare name can still be found through a relative entry of the search path (".", or an
        // empty one); the current folder is never a place to load code from.
        link_map* map = nullptr;
        if (Handle && (dlinfo(Handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name ||
                       map->l_name[0] != '/')) {
            dlclose(Handle);
            Handle = nullptr;
        }
    }
    ~TPluginLibrary() {
        if (Handle) dlclose(Handle);
    }
    TPluginLibrary(const TPluginLibrary&) = delete;
    TPluginLibrary& operator=(const TPluginLibrary&) = delete;
    void* Handle = nullptr;
};

void RemoveIfExists(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

void PromoteTo24Bits(BitmapHandle& bitmap) {
    if (bitmap.Allocated() && bitmap.BitsPerPixel < 24)
        L_ColorResBitmap(&bitmap, &bitmap, 24, CRF_BYTEORDERBGR);
}

}  // namespace

int CallFilterPlugin(void* window, const char* previewPath, const char* imagePath, int number) {
    using ExecFn = int (*)(void*, const char*, const char*, int);
    TPluginLibrary library;
    if (!library.Handle) return 0;
    auto exec = reinterpret_cast<ExecFn>(dlsym(library.Handle, "ExecMoreFilterImage"));
    if (!exec) return 0;
    return exec(window, previewPath, imagePath, number);
}

// 1. No picture: a message, nothing else.
// 2. Stale exchange files from an interrupted run are deleted, never read.
// 3. Pictures below 24 bits are promoted in place (not undoable).
// 4-8. The full picture and the preview (fitted into 250 x 200, never enlarged) are written as
//    BMP; a failed save skips to the clean-up.
// 9-11. Undo copy, the plug-in's dialog, and the full picture read back, also after cancel, so a
//    cancelled filter still leaves a 24-bit picture, Modified set and an undo copy equal to it.
// 12. Clean-up, however the steps before ended: preview freed, both files deleted, zoom 100 %.
void RunAdvancedFilter(TMainForm& form, int number) {
    BitmapHandle& work = form.WorkBitmap;
    if (!work.Allocated()) {
        Current().Messages->Show(&form, QStringLiteral("필터를 적용할 이미지가 존재하지 않습니다."),
                                 MessageCaption, Icon::Information, Buttons::Ok);
        return;
    }
    const QString folder = SystemFolderPath();
    const std::string imagePath = (folder + OriginalFileName).toStdString();
    const std::string previewPath = (folder + PreviewFileName).toStdString();
    BitmapHandle preview;
    try {
        // Without the exchange folder the names would be relative to the current folder.
        if (!folder.isEmpty()) {
            RemoveIfExists(imagePath);
            RemoveIfExists(previewPath);
            PromoteTo24Bits(work);
            TRect size{0, 0, work.Width, work.Height};
            FitRect(size, 250, 200);
            L_InitBitmap(&preview);
            L_CopyBitmap(&preview, &work);
            L_SizeBitmap(&preview, RectWidth(size), RectHeight(size), SIZE_NORMAL);
            if (L_SaveBitmap(imagePath, &work, FILE_BMP, 0, 2) == SUCCESS &&
                L_SaveBitmap(previewPath, &preview, FILE_BMP, 0, 2) == SUCCESS) {
                form.PushUndo();
                CallFilterPlugin(&form, previewPath.c_str(), imagePath.c_str(), number);
                L_LoadBitmap(imagePath, &work, 0, 1);
                PromoteTo24Bits(work);
                L_ChangeBitmapViewPerspective(&work, &work, 0);
            }
        }
    } catch (...) {
    }
    if (preview.Allocated()) L_FreeBitmap(&preview);
    if (!folder.isEmpty()) {
        RemoveIfExists(imagePath);
        RemoveIfExists(previewPath);
    }
    form.ResetZoom();
    form.RefreshWorkArea();
}

void TBXItemMoreFiltersClick(TMainForm& form, int tag) {
    if (tag >= 111 && tag <= 123) RunAdvancedFilter(form, tag);
}

void btnMoreFilters(TMainForm& form, int tag) {
    if (tag >= 111 && tag <= 123) RunAdvancedFilter(form, tag);
}

void RegisterPluginHostCommands(TMainForm& form) {
    form.RegisterCommand("TBXItemMoreFilters",
                         [&form](int tag) { TBXItemMoreFiltersClick(form, tag); });
    form.RegisterCommand("btnMoreFilters", [&form](int tag) { btnMoreFilters(form, tag); });
}
