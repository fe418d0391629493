#pragma once

// TMainForm: the editor's one top-level window. It owns the working image (WorkBitmap, its
// original and its single undo copy), shows it in the work area, and starts every command from
// the menu bar, the toolbar, the side panel and the work area's popup menu (CommandMap).

#include <functional>
#include <map>
#include <vector>

#include <QLabel>
#include <QMainWindow>
#include <QPointer>

#include "CommandMap.h"
#include "kivo/imaging/Bitmap.h"
#include "uFunctions.h"

class QAbstractScrollArea;
class QDockWidget;
class QFrame;
class QListView;
class QMenu;
class QProgressBar;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;
class TScrollPaintBox;
class TPixelInfoBox;

inline const QString MessageCaption = QStringLiteral("☆ 키보 앨범 이미지 편집 ☆");
inline const QString MainCaption =
    QStringLiteral("키보 이미지 에디터 ver 1.07 (개인 공개용 - Freeware)");

// MulDiv: a × b / c in 64 bits, rounded to the nearest integer with halves away from zero.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The application-wide flag of SuspendProgress / ResumeProgress.
extern bool ProgressSuspended;

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // arguments as the program got them: [0] the program, [1] the host window handle in
    // decimal, [2] the picture to open.
    explicit TMainForm(const QStringList& arguments, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The one main window, for dialogs that work on WorkBitmap.
    static TMainForm* Instance();

    // Document (working image).
    BitmapHandle WorkBitmap;
    BitmapHandle OriginalBitmap;
    BitmapHandle UndoBitmap;
    bool Modified = false;
    QString CurrentFilePath;
    QString StatusFileName;

    // View.
    int32_t ZoomPercent = 100;
    TRect CropRect{};
    int CropHandle = 0;
    bool CropDragging = false;
    TPoint DragPoint{};
    TPoint PixelInfoPoint{};

    QStringList FolderFileList;
    int InitialFormWidth = 0;

    // Document operations.
    void PushUndo();
    void RefreshStatusBar();
    void ClearStatusBar();
    void ResetImages();
    void ReleaseImages();
    void LoadImageFile(const QString& path, BitmapHandle* bitmap);
    void OpenImagePath(const QString& path);
    void OpenImagePathTimed(const QString& path);
    // The open of the open dialog after the dialog: prompt, load with timing, finish. Files
    // dropped from the file manager take the same way.
    void OpenChosenFile(const QString& path);
    void ConfirmSaveChanges();
    void SaveImageAs();

    // View operations.
    void ResetZoom();
    void CentringOffset(int32_t& ox, int32_t& oy) const;
    TRect ImageToScreen(const TRect& r) const;
    TRect ScreenToImage(const TRect& r) const;
    void UpdateScrollRange();
    void RefreshWorkArea();
    void ClampCropRect();

    // Dialog support.
    void CenterOnMainWindow(QWidget* dialog);
    void SuspendProgress();
    void ResumeProgress();
    static int ProgressCallback(int percent, void* userData);

    void UpdateHintPanel(const QString& hint);
    // Centres the start picture in the work area while it shows.
    void CenterNoticePanel();
    void ApplyMenuStyle(const QString& name);
    void NotifyHostWindow(uint64_t hostHandle, const QString& savedPath);

    // Binds a command name of the command map to its handler (the tag of the entry that ran it
    // is passed) and enables the entries that run it.
    void RegisterCommand(const QString& command, std::function<void(int tag)> handler);
    // Runs a command as its entry would; false when it has no handler.
    bool RunCommand(const QString& command, int tag = 0);
    bool HasCommand(const QString& command) const;

    // Commands of the document, the view and the window.
    void actFileNewExecute();
    void actFileOpenExecute();
    void actFileSaveExecute();
    void actEditUndoExecute();
    void actEditCopyExecute();
    void actEditPasteExecute();
    void TBXItemOriginalImgClick();
    void actViewZoomInExecute();
    void actViewZoomOutExecute();
    void actViewZoomActualExecute();
    void SetZoom(int32_t percent);
    void btnCropClick();
    void TBXItemImageCropClick();

    // Work-area events (client pixels).
    void ScrollPaintBoxPaint(QPainter& painter, const QRect& clip);
    void ScrollPaintBoxMouseDown(int x, int y);
    void ScrollPaintBoxMouseMove(int x, int y);
    void ScrollPaintBoxMouseUp(int x, int y);
    void ScrollPaintBoxDblClick();
    void pbxPixelInfoPaint(QPainter& painter);

    // Widgets the commands and the tests reach.
    TScrollPaintBox* ScrollPaintBox = nullptr;
    QWidget* NoticePanel = nullptr;
    QToolBar* SubTBXToolbar = nullptr;
    QDockWidget* TBXDockablePanel = nullptr;
    QTabWidget* PageControl = nullptr;
    QWidget* BottomThumbPanel = nullptr;
    QWidget* BottomInfoPanel = nullptr;
    QWidget* DecoPanel2 = nullptr;
    QLabel* lblInfoItem = nullptr;
    QLabel* lblInfoItemHint = nullptr;
    QLabel* MousePosPanel = nullptr;
    TPixelInfoBox* pbxPixelInfo = nullptr;
    QProgressBar* Gauge = nullptr;
    QMenu* MainPopupMenu = nullptr;
    QAction* btnCrop = nullptr;
    QLabel* lblMenuPicPrint = nullptr;
    QLabel* lblMenuHandPhone = nullptr;
    QLabel* lblMenuP2P = nullptr;
    QLabel* ImgLogo1 = nullptr;
    QTreeView* PTShellTree = nullptr;
    QListView* ThumbView = nullptr;

    QString StatusPanelText(int panel) const;
    void SetStatusPanelText(int panel, const QString& text);
    QString CurrentMenuStyle() const { return MenuStyle; }

    // Every QAction made for an entry, with the entry it came from, in creation order.
    struct EntryAction {
        const CommandEntry* Entry;
        QAction* Action;
        QString Place;  // "menu", "toolbar", "panel", "popup"
    };
    const std::vector<EntryAction>& EntryActions() const { return Entries; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QStringList Arguments;
    QString MenuStyle;
    QLabel* StatusPanels[6] = {};
    std::map<QString, std::function<void(int)>> Handlers;
    std::vector<EntryAction> Entries;
    std::map<QString, QAction*> CommandActions;  // one per command, carrying its shortcut

    void BuildLayout();
    void BuildMenus();
    void BuildToolbar();
    void BuildSidePanel();
    void BuildPopup();
    void BuildStatusBar();
    void BuildHintPanel();
    void RegisterOwnCommands();
    void AssignShortcuts();
    void RegisterExePath(bool* ok);
    void OpenCommandLineFile();
    void FinishLoad();
    void ResetPageScrollers();
    void ToggleSidePanel(bool visible);
    QAction* MakeEntryAction(const CommandEntry& entry, const QString& place, QObject* owner);
    void PopulateMenu(QMenu* menu, const std::vector<CommandEntry>& entries);
    QWidget* MakeButtonGroup(const std::vector<CommandEntry>& entries, const QColor& colour,
                             const QString& title);
    void UpdateEnabled(QAction* action, const CommandEntry& entry);
    QAction* CommandAction(const QString& command);
    void UpdateCropDrag(const TRect& before);

    // The visible part of the picture, scaled once for the current zoom, scroll position and
    // area size: repaints from expose events and crop drags only copy from it. RefreshWorkArea
    // drops it, as every command that changes WorkBitmap ends with it.
    struct ViewKey {
        const uint8_t* Data = nullptr;
        int Width = 0, Height = 0, Bpp = 0, Zoom = 0, H = 0, V = 0;
        QSize Client;
        friend bool operator==(const ViewKey&, const ViewKey&) = default;
    };
    ViewKey CachedKey;
    QImage ViewCache;
    QRect ViewCacheRect;
    bool ViewCacheValid = false;
    void PaintPicture(QPainter& p, const QRect& dst, const QRect& clip, const QSize& client);
};
