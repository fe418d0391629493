#include "FrmMain.h"

#include <algorithm>
#include <cstdlib>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "FilterMenu.h"
#include "FrmAbout.h"
#include "Hourglass.h"
#include "GeometryCommands.h"
#include "PluginHost.h"
#include "WorkArea.h"
#include "kivo/imaging/ColorRes.h"
#include "kivo/imaging/File.h"
#include "kivo/imaging/SaveTable.h"
#include "kivo/imaging/qt/Display.h"
#include "kivo/platform/Platform.h"

using namespace kivo::platform;

bool ProgressSuspended = false;

namespace {

TMainForm* TheMainForm = nullptr;

const QString OpenFilter =
    "All image files |*.cal;*.img;*.png;*.gif;*.ica;*.jpg;*.jff;*.jtf;*.pct;*.mac;*.msp;*.pcd;"
    "*.pcx;*.dcx;*.psd;*.eps;*.ras;*.tga;*.tif;*.wmf;*.bmp;*.fxs;*.wpg|Windows & OS2 (*.bmp)|"
    "*.bmp;|Meta files (*.wmf)|*.wmf;|Pcx files (*.pcx;*.dcx)|*.pcx;*.dcx|Tif files (*.tif)|"
    "*.tif;|Gif files (*.gif)|*.gif;|Targa files (*.tga)|*.tga;|Jpeg files (*.jpg;*.jff;*.jtf)|"
    "*.jpg;*.jff;*.jtf;|Photoshop 3.0 (*.psd)|*.psd;|PhotoCD (*.pcd)|*.pcd;|CALS files (*.cal)|"
    "*.cal;|GEM files (*.img)|*.img;|Compuserve PNG (*.png)|*.png;|IBM IOCA (*.ica)|*.ica;|"
    "Macintosh PICTURE (*.pct)|*.pct;|MacPaint (*.mac)|*.mac;|Microsoft Paint (*.msp)|*.msp;|"
    "Postscript Raster (*.eps)|*.eps;|SUN Raster (*.ras)|*.ras;|WinFax (*.fxs)|*.fxs;|"
    "WordPerfect (*.wpg)|*.wpg;";

const QString SaveFilter =
    "Jpeg Files (*.jpg)|*.jpg;|Windows & OS2 (*.bmp)|*.bmp;|Pcx Files (*.pcx)|*.pcx;|Tif Files "
    "(*.tif)|*.tif;|CompuServe GIF Files (*.gif)|*.gif;|Windows Meta Files (*.wmf)|*.wmf;|Windows "
    "Enhanced Meta Files (*.emf)|*.emf;|XPicmap Files (*.xpm)|*.xpm|Interchange Files (*.cat)|"
    "*.cat|Adobe Photoshop 3.0 Files (*.psd)|*.psd|Portable Network Graphics Files (*.png)|*.png|"
    "TARGA Files (*.tga)|*.tga|Sun Raster Files (*.ras)|*.ras|MacPict Files (*.pct)|*.pct|";

const QString DefaultHintText = "각 기능 버튼에 마우스를 올려 놓으면 도움말이 나타납니다.   ";

template <class F>
struct Finally {
    F Run;
    ~Finally() { Run(); }
};
template <class F>
Finally(F) -> Finally<F>;

QColor DelphiColour(uint32_t c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

bool PtInRect(const TRect& r, const TPoint& p) {
    return p.X >= r.Left && p.X < r.Right && p.Y >= r.Top && p.Y < r.Bottom;
}

QString DepthText(const BitmapHandle& b) {
    return QString("%1×%2×%3b").arg(b.Width).arg(b.Height).arg(b.BitsPerPixel);
}

// Delphi's Trim: blanks and control characters off both ends.
QString TrimControl(const QString& s) {
    qsizetype begin = 0, end = s.size();
    while (begin < end && s[begin].unicode() <= ' ') ++begin;
    while (end > begin && s[end - 1].unicode() <= ' ') --end;
    return s.mid(begin, end - begin);
}

QString MenuTitle(const CommandEntry& e) {
    // "파일(F)" with Alt+F: the letter in the parentheses becomes the mnemonic.
    QString title = e.Caption;
    if (e.Shortcut.startsWith("Alt+") || (title.endsWith(')') && title.size() >= 3 &&
                                          title[title.size() - 3] == '(')) {
        qsizetype open = title.lastIndexOf('(');
        if (open >= 0 && open + 1 < title.size()) title.insert(open + 1, '&');
    }
    return title;
}

const char* MenuStyleSheet(const QString& name) {
    if (name == "OfficeXP")
        return "QMenuBar { background: #f7f7f5; }"
               "QMenuBar::item:selected { background: #c1d2ee; border: 1px solid #316ac5; }"
               "QMenu { background: #fcfcf9; border: 1px solid #8a867a; }"
               "QMenu::item { padding: 3px 24px 3px 28px; }"
               "QMenu::item:selected { background: #c1d2ee; color: black; border: 1px solid #316ac5; }"
               "QMenu::item:disabled { color: #a0a0a0; }"
               "QToolBar { background: #f3f3ef; border: none; }"
               "QToolBar QToolButton:hover { background: #c1d2ee; border: 1px solid #316ac5; }"
               "QToolBar QToolButton:checked { background: #e1e6ee; border: 1px solid #316ac5; }";
    if (name == "Stripes")
        return "QMenuBar { background: qlineargradient(spread:repeat, x1:0, y1:0, x2:0, y2:0.25,"
               " stop:0 #dfe7f1, stop:0.5 #dfe7f1, stop:0.51 #eef2f8, stop:1 #eef2f8); }"
               "QMenuBar::item:selected { background: #ffd27a; }"
               "QMenu { background: qlineargradient(spread:repeat, x1:0, y1:0, x2:0.04, y2:0,"
               " stop:0 #e6ecf5, stop:0.5 #e6ecf5, stop:0.51 #f7f9fc, stop:1 #f7f9fc);"
               " border: 1px solid #7a8fb0; }"
               "QMenu::item { padding: 3px 24px 3px 28px; }"
               "QMenu::item:selected { background: #ffd27a; color: black; }"
               "QToolBar { background: qlineargradient(spread:repeat, x1:0, y1:0, x2:0, y2:0.1,"
               " stop:0 #dfe7f1, stop:0.5 #dfe7f1, stop:0.51 #eef2f8, stop:1 #eef2f8); }"
               "QToolBar QToolButton:hover { background: #ffd27a; }";
    return "";
}

}  // namespace

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
    if (c == 0) return -1;
    int64_t p = int64_t(a) * int64_t(b);
    int64_t q = c;
    bool negative = (p < 0) != (q < 0);
    uint64_t ap = uint64_t(p < 0 ? -p : p);
    uint64_t aq = uint64_t(q < 0 ? -q : q);
    int64_t r = int64_t((ap + aq / 2) / aq);
    return int32_t(negative ? -r : r);
}

TMainForm* TMainForm::Instance() { return TheMainForm; }

TMainForm::TMainForm(const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), Arguments(arguments) {
    TheMainForm = this;
    setObjectName("MainForm");
    setWindowTitle(MainCaption);
    resize(919, 693);
    BuildLayout();
    RegisterOwnCommands();

    // Window creation, in the order the program has always followed.
    Modified = false;
    CropDragging = false;
    ZoomPercent = 100;
    ApplyMenuStyle("OfficeXP");
    ResetImages();
    L_InitBitmap(&UndoBitmap, 0, 0, 0);
    FolderFileList.clear();
    L_SetStatusCallBack(&TMainForm::ProgressCallback, this);
    ThumbView->setStyleSheet("QListView { background: white; }");
    lblInfoItem->setText(windowTitle());
    PageControl->setCurrentIndex(0);
    ResetPageScrollers();
    AssignShortcuts();
    setWindowState(windowState() | Qt::WindowMaximized);
    InitialFormWidth = width();
    bool registered = false;
    RegisterExePath(&registered);
    if (registered) OpenCommandLineFile();
    UpdateHintPanel(QString());
}

TMainForm::~TMainForm() {
    L_SetStatusCallBack(nullptr, nullptr);
    if (TheMainForm == this) TheMainForm = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Layout

void TMainForm::BuildLayout() {
    BuildMenus();
    BuildToolbar();
    BuildSidePanel();

    auto* client = new QWidget(this);
    client->setObjectName("MainClientPanel");
    auto* clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);

    auto* top = new QHBoxLayout;
    top->setSpacing(0);
    auto* back = new QFrame(client);
    back->setObjectName("MainBackPanel");
    back->setStyleSheet("#MainBackPanel { background: black; }");
    auto* backLayout = new QVBoxLayout(back);
    backLayout->setContentsMargins(3, 3, 3, 3);
    ScrollPaintBox = new TScrollPaintBox(this, back);
    ScrollPaintBox->setObjectName("ScrollPaintBox");
    backLayout->addWidget(ScrollPaintBox);
    top->addWidget(back, 1);
    auto* rightStrip = new QWidget(client);
    rightStrip->setFixedWidth(7);
    rightStrip->setStyleSheet("background: #A0A0A0;");
    top->addWidget(rightStrip);
    clientLayout->addLayout(top, 1);

    auto* bottomStrip = new QHBoxLayout;
    bottomStrip->setSpacing(0);
    DecoPanel2 = new QWidget(client);
    DecoPanel2->setObjectName("DecoPanel2");
    DecoPanel2->setFixedSize(145, 7);
    DecoPanel2->setStyleSheet("background: #808080;");
    bottomStrip->addWidget(DecoPanel2);
    auto* grey = new QWidget(client);
    grey->setFixedHeight(7);
    grey->setStyleSheet("background: #A0A0A0;");
    bottomStrip->addWidget(grey, 1);
    clientLayout->addLayout(bottomStrip);

    // The thumbnail panel: only its header shows at start; the folder tree and the thumbnails
    // are filled by the thumbnail strip.
    BottomThumbPanel = new QWidget(client);
    BottomThumbPanel->setObjectName("BottomThumbPanel");
    BottomThumbPanel->setFixedHeight(22);
    BottomThumbPanel->setAutoFillBackground(true);
    BottomThumbPanel->setStyleSheet("#BottomThumbPanel { background: white; }");
    auto* thumbLayout = new QHBoxLayout(BottomThumbPanel);
    thumbLayout->setContentsMargins(0, 0, 0, 0);
    thumbLayout->setSpacing(0);
    auto* leftMenu = new QWidget(BottomThumbPanel);
    leftMenu->setObjectName("BottomLeftMenuPanel");
    leftMenu->setFixedWidth(209);
    auto* leftLayout = new QVBoxLayout(leftMenu);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    auto* treeTop = new QLabel("내 사진 폴더 (My Folder)                ", leftMenu);
    treeTop->setObjectName("lblThumbView");
    treeTop->setFixedHeight(20);
    treeTop->setStyleSheet("background: #F0F0F0; font-weight: bold;");
    leftLayout->addWidget(treeTop);
    PTShellTree = new QTreeView(leftMenu);
    PTShellTree->setObjectName("PTShellTree");
    // While the panel shows only its header, the tree and the grid below it get no height.
    PTShellTree->setMinimumHeight(1);
    PTShellTree->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    leftLayout->addWidget(PTShellTree, 1);
    thumbLayout->addWidget(leftMenu);
    auto* thumbPar = new QWidget(BottomThumbPanel);
    thumbPar->setObjectName("ThumbParPanel");
    auto* parLayout = new QVBoxLayout(thumbPar);
    parLayout->setContentsMargins(0, 0, 0, 0);
    parLayout->setSpacing(0);
    auto* thumbTop = new QWidget(thumbPar);
    thumbTop->setObjectName("ThumbTopPanel");
    thumbTop->setFixedHeight(20);
    thumbTop->setStyleSheet("#ThumbTopPanel { background: #F0F0F0; }");
    auto* thumbTopLayout = new QHBoxLayout(thumbTop);
    thumbTopLayout->setContentsMargins(4, 0, 4, 0);
    auto* upDown = new QLabel("▲", thumbTop);
    upDown->setObjectName("ImgUpDown");
    upDown->setCursor(Qt::PointingHandCursor);
    upDown->installEventFilter(this);
    thumbTopLayout->addWidget(upDown);
    auto* folderLabel = new QLabel("   *.bmp, *.jpg, *.gif, *.tif     ", thumbTop);
    folderLabel->setObjectName("lblThumbFolder");
    thumbTopLayout->addWidget(folderLabel, 1);
    auto* upTo = new QToolButton(thumbTop);
    upTo->setObjectName("ImgUpToScrollPaintBox");
    upTo->setText("사진 올리기");
    upTo->setAutoRaise(true);
    upTo->setEnabled(false);  // opens the thumbnail chosen in the strip
    upTo->setProperty("kivoHint", "사진 올리기\r\n작업 화면으로 선택된 사진을 올립니다.");
    upTo->installEventFilter(this);
    thumbTopLayout->addWidget(upTo);
    parLayout->addWidget(thumbTop);
    ThumbView = new QListView(thumbPar);
    ThumbView->setObjectName("ThumbView");
    ThumbView->setViewMode(QListView::IconMode);
    ThumbView->setMinimumHeight(1);
    ThumbView->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    parLayout->addWidget(ThumbView, 1);
    thumbLayout->addWidget(thumbPar, 1);
    clientLayout->addWidget(BottomThumbPanel);

    BuildHintPanel();
    clientLayout->addWidget(BottomInfoPanel);
    setCentralWidget(client);

    // The start picture inside the work area.
    NoticePanel = new QWidget(ScrollPaintBox->viewport());
    NoticePanel->setObjectName("NoticePanel");
    NoticePanel->setFixedSize(250, 192);
    NoticePanel->setAutoFillBackground(true);
    QPalette pal = NoticePanel->palette();
    pal.setColor(QPalette::Window, Qt::white);
    NoticePanel->setPalette(pal);
    auto* notice = new QLabel(NoticePanel);
    notice->setObjectName("ImgNotice");
    notice->setGeometry(0, 0, 250, 192);
    QPixmap art(250, 192);
    art.fill(Qt::white);
    {
        QPainter p(&art);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 250, 192);
        g.setColorAt(0, QColor(0x2E, 0x6E, 0xB5));
        g.setColorAt(1, QColor(0x7F, 0xB8, 0xE8));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRect(6, 6, 238, 180), 12, 12);
        p.setPen(Qt::white);
        QFont f = font();
        f.setPixelSize(20);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(6, 22, 238, 34), Qt::AlignCenter, "Kivo Image Editor");
        f.setPixelSize(13);
        f.setBold(false);
        p.setFont(f);
        p.drawText(QRect(16, 62, 218, 70), Qt::AlignCenter | Qt::TextWordWrap,
                   "키보 이미지 에디터\n사진을 열거나 붙여 넣어\n편집을 시작하세요.");
        f.setPixelSize(12);
        p.setFont(f);
        p.drawText(QRect(16, 148, 105, 26), Qt::AlignCenter, "P2P 최강");
        p.drawText(QRect(129, 148, 105, 26), Qt::AlignCenter, "키보 앨범");
    }
    notice->setPixmap(art);
    auto* p2p = new QLabel(NoticePanel);
    p2p->setObjectName("ImgNoticeP2P");
    p2p->setGeometry(16, 148, 105, 26);
    p2p->setCursor(Qt::PointingHandCursor);
    p2p->setProperty("kivoHint", "P2P 최강\r\n키보 P2P 서비스를 소개 합니다.");
    p2p->installEventFilter(this);
    auto* album = new QLabel(NoticePanel);
    album->setObjectName("ImgNoticeALBUM");
    album->setGeometry(129, 148, 105, 26);
    album->setCursor(Qt::PointingHandCursor);
    album->setProperty("kivoHint", "키보 앨범\r\n키보 앨범 사진 서비스를 소개 합니다.");
    album->installEventFilter(this);

    BuildPopup();
    BuildStatusBar();
}

void TMainForm::BuildHintPanel() {
    BottomInfoPanel = new QFrame(this);
    BottomInfoPanel->setObjectName("BottomInfoPanel");
    static_cast<QFrame*>(BottomInfoPanel)->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    BottomInfoPanel->setFixedHeight(42);
    BottomInfoPanel->setStyleSheet("#BottomInfoPanel { background: #F0F0F0; }");
    auto* layout = new QHBoxLayout(BottomInfoPanel);
    layout->setContentsMargins(4, 2, 8, 2);
    auto* close = new QLabel("×", BottomInfoPanel);
    close->setObjectName("ImgHintShowHide");
    close->setFixedSize(17, 17);
    close->setAlignment(Qt::AlignCenter);
    close->setStyleSheet("border: 1px solid #808080; background: white;");
    close->setCursor(Qt::PointingHandCursor);
    close->setProperty(
        "kivoHint",
        "힌트(도움말) 창\r\n힌트 창을 닫습니다. 나중에 보이게 하고 싶으시면 보기 메뉴를 참조 하세요.");
    close->installEventFilter(this);
    layout->addWidget(close, 0, Qt::AlignTop);
    auto* icon = new QLabel(BottomInfoPanel);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(24, 24));
    layout->addWidget(icon);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(1);
    lblInfoItem = new QLabel(BottomInfoPanel);
    lblInfoItem->setObjectName("lblInfoItem");
    lblInfoItem->setStyleSheet("color: maroon; font-weight: bold;");
    lblInfoItemHint = new QLabel(BottomInfoPanel);
    lblInfoItemHint->setObjectName("lblInfoItemHint");
    lblInfoItemHint->setStyleSheet("color: maroon;");
    texts->addWidget(lblInfoItem);
    texts->addWidget(lblInfoItemHint);
    layout->addLayout(texts, 1);
    auto* maker = new QLabel("키보앨범 (KivoAlbum)\n개인 사용자 무료 프로그램", BottomInfoPanel);
    maker->setObjectName("lblMakerNotice");
    maker->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    maker->setStyleSheet("color: #505050;");
    layout->addWidget(maker);
}

void TMainForm::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    bar->setSizeGripEnabled(true);

    auto* panel0 = new QWidget(bar);
    panel0->setFixedWidth(170);
    auto* p0 = new QHBoxLayout(panel0);
    p0->setContentsMargins(2, 0, 2, 0);
    p0->setSpacing(2);
    pbxPixelInfo = new TPixelInfoBox(this, panel0);
    pbxPixelInfo->setObjectName("pbxPixelInfo");
    p0->addWidget(pbxPixelInfo);
    MousePosPanel = new QLabel(panel0);
    MousePosPanel->setObjectName("MousePosPanel");
    MousePosPanel->setStyleSheet("color: teal;");
    p0->addWidget(MousePosPanel, 1);
    bar->addWidget(panel0);
    StatusPanels[0] = MousePosPanel;

    auto addPanel = [&](int index, int width, Qt::Alignment align, const QString& text) {
        auto* label = new QLabel(text, bar);
        label->setObjectName(QString("StatusPanel%1").arg(index));
        if (width > 0) label->setFixedWidth(width);
        else label->setMinimumWidth(60);
        label->setAlignment(align | Qt::AlignVCenter);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusPanels[index] = label;
        bar->addWidget(label);
        return label;
    };
    addPanel(1, 0, Qt::AlignHCenter, QString());
    addPanel(2, 355, Qt::AlignLeft, QString());
    QLabel* gaugePanel = addPanel(3, 150, Qt::AlignHCenter, QString());
    Gauge = new QProgressBar(gaugePanel);
    Gauge->setObjectName("Gauge");
    Gauge->setGeometry(2, 2, 146, 17);
    Gauge->setRange(0, 100);
    Gauge->setTextVisible(false);
    Gauge->setStyleSheet("QProgressBar { border: none; background: #E0E0E0; }"
                         "QProgressBar::chunk { background: teal; }");
    Gauge->hide();
    addPanel(4, 80, Qt::AlignLeft, "Zoom %");
    addPanel(5, 150, Qt::AlignLeft, "이미지 정보");
}

QAction* TMainForm::MakeEntryAction(const CommandEntry& entry, const QString& place,
                                    QObject* owner) {
    auto* action = new QAction(entry.Caption, owner);
    action->setObjectName(entry.Command);
    action->setData(entry.Tag);
    action->setCheckable(entry.Checkable);
    action->setChecked(entry.Checked);
    action->setVisible(entry.Visible);
    QFont f = action->font();
    f.setBold(entry.Bold);
    f.setUnderline(entry.Underline);
    action->setFont(f);
    if (!entry.Colour.isEmpty()) action->setProperty("kivoColour", entry.Colour);
    if (!entry.Shortcut.isEmpty()) action->setShortcut(QKeySequence(entry.Shortcut));
    QString hint = entry.EffectiveHint();
    action->setProperty("kivoHint", hint);
    connect(action, &QAction::hovered, this, [this, hint] { UpdateHintPanel(hint); });
    QString command = entry.Command;
    int tag = entry.Tag;
    connect(action, &QAction::triggered, this, [this, command, tag] { RunCommand(command, tag); });
    Entries.push_back({&entry, action, place});
    UpdateEnabled(action, entry);
    return action;
}

void TMainForm::UpdateEnabled(QAction* action, const CommandEntry& entry) {
    action->setEnabled(entry.Enabled && entry.Visible && !entry.Command.isEmpty() &&
                       HasCommand(entry.Command));
}

void TMainForm::PopulateMenu(QMenu* menu, const std::vector<CommandEntry>& entries) {
    connect(menu, &QMenu::aboutToHide, this, [this] { UpdateHintPanel(QString()); });
    for (const CommandEntry& e : entries) {
        switch (e.Type) {
        case CommandEntry::Kind::Separator: menu->addSeparator(); break;
        case CommandEntry::Kind::Submenu: {
            QMenu* sub = menu->addMenu(e.Caption);
            QFont f = sub->menuAction()->font();
            f.setBold(e.Bold);
            sub->menuAction()->setFont(f);
            QString hint = e.EffectiveHint();
            sub->menuAction()->setProperty("kivoHint", hint);
            connect(sub->menuAction(), &QAction::hovered, this, [this, hint] { UpdateHintPanel(hint); });
            PopulateMenu(sub, e.Children);
            break;
        }
        case CommandEntry::Kind::Item: menu->addAction(MakeEntryAction(e, "menu", menu)); break;
        }
    }
}

void TMainForm::BuildMenus() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("MainTBXToolbar");
    QFont barFont = bar->font();
    barFont.setPixelSize(13);
    bar->setFont(barFont);
    for (const CommandEntry& e : MainCommandMap().Menus) {
        QMenu* menu = bar->addMenu(MenuTitle(e));
        menu->setObjectName(e.Caption);
        QFont f = menu->menuAction()->font();
        f.setBold(e.Bold);
        menu->menuAction()->setFont(f);
        PopulateMenu(menu, e.Children);
        // Ctrl shortcuts that open a menu, except where a command owns the same keys (Ctrl+V
        // paste, Ctrl+C copy, Ctrl+S save, Ctrl+A compress): there the command wins.
        static const QStringList taken = {"Ctrl+V", "Ctrl+C", "Ctrl+S", "Ctrl+A"};
        if (e.Shortcut.startsWith("Ctrl+") && !taken.contains(e.Shortcut)) {
            auto* opener = new QAction(this);
            opener->setShortcut(QKeySequence(e.Shortcut));
            connect(opener, &QAction::triggered, this, [bar, menu] {
                bar->setActiveAction(menu->menuAction());
            });
            addAction(opener);
        }
    }

    // The logo and the three link labels at the right end of the menu bar.
    auto* corner = new QWidget(bar);
    auto* layout = new QHBoxLayout(corner);
    layout->setContentsMargins(0, 0, 4, 0);
    layout->setSpacing(6);
    ImgLogo1 = new QLabel(corner);
    ImgLogo1->setObjectName("ImgLogo1");
    ImgLogo1->setFixedWidth(60);
    ImgLogo1->setScaledContents(true);
    QPixmap logo(120, 20);
    logo.fill(Qt::transparent);
    {
        QPainter p(&logo);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 120, 0);
        g.setColorAt(0, QColor(255, 255, 255, 0));
        g.setColorAt(1, QColor(0x2E, 0x6E, 0xB5, 90));
        p.fillRect(logo.rect(), g);
    }
    ImgLogo1->setPixmap(logo);
    layout->addWidget(ImgLogo1);
    const auto& labels = MainCommandMap().MenuLabels;
    QLabel** targets[3] = {&lblMenuPicPrint, &lblMenuHandPhone, &lblMenuP2P};
    const char* names[3] = {"lblMenuPicPrint", "lblMenuHandPhone", "lblMenuP2P"};
    for (size_t i = 0; i < labels.size() && i < 3; ++i) {
        auto* label = new QLabel(labels[i].Caption, corner);
        label->setObjectName(names[i]);
        label->setCursor(Qt::PointingHandCursor);
        QFont f = label->font();
        f.setBold(true);
        f.setPixelSize(13);
        label->setFont(f);
        label->setStyleSheet("color: " + labels[i].Colour + ";");
        label->setProperty("kivoHint", labels[i].EffectiveHint());
        label->setProperty("kivoCommand", labels[i].Command);
        label->setProperty("kivoColour", labels[i].Colour);
        label->installEventFilter(this);
        layout->addWidget(label);
        *targets[i] = label;
    }
    bar->setCornerWidget(corner, Qt::TopRightCorner);
}

void TMainForm::BuildToolbar() {
    SubTBXToolbar = addToolBar("주 도구 모음");
    SubTBXToolbar->setObjectName("SubTBXToolbar");
    SubTBXToolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    SubTBXToolbar->setIconSize(QSize(24, 22));
    SubTBXToolbar->setMovable(false);
    SubTBXToolbar->toggleViewAction()->setEnabled(false);  // no close button
    const std::map<QString, QStyle::StandardPixmap> icons = {
        {"actFileNew", QStyle::SP_FileIcon},
        {"actFileOpen", QStyle::SP_DialogOpenButton},
        {"actFileSave", QStyle::SP_DialogSaveButton},
        {"actEditCopy", QStyle::SP_FileDialogContentsView},
        {"actEditPaste", QStyle::SP_FileDialogDetailedView},
        {"actEditUndo", QStyle::SP_ArrowBack},
        {"TBXItemOriginalImg", QStyle::SP_BrowserReload},
        {"actViewZoomIn", QStyle::SP_ArrowUp},
        {"actViewZoomActual", QStyle::SP_TitleBarNormalButton},
        {"actViewZoomOut", QStyle::SP_ArrowDown},
        {"btnCrop", QStyle::SP_DialogResetButton},
        {"actImageSizeControl", QStyle::SP_TitleBarMaxButton},
        {"actImageRotate", QStyle::SP_BrowserReload},
        {"actImageFlipV", QStyle::SP_ToolBarVerticalExtensionButton},
        {"actImageFlipH", QStyle::SP_ToolBarHorizontalExtensionButton},
        {"TBXItemChangeBrightness", QStyle::SP_DialogYesButton},
        {"TBXItemChangeHue", QStyle::SP_DialogHelpButton},
        {"actControlPixelCombine", QStyle::SP_DirIcon},
    };
    for (const CommandEntry& e : MainCommandMap().Toolbar) {
        QAction* a = MakeEntryAction(e, "toolbar", SubTBXToolbar);
        auto icon = icons.find(e.Command);
        if (icon != icons.end()) a->setIcon(style()->standardIcon(icon->second));
        SubTBXToolbar->addAction(a);
        if (QWidget* w = SubTBXToolbar->widgetForAction(a)) w->installEventFilter(this);
        if (e.Command == "btnCrop") btnCrop = a;
    }
}

QWidget* TMainForm::MakeButtonGroup(const std::vector<CommandEntry>& entries,
                                    const QColor& colour, const QString& title) {
    auto* group = new QWidget;
    group->setAutoFillBackground(true);
    QPalette pal = group->palette();
    pal.setColor(QPalette::Window, colour);
    group->setPalette(pal);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(4, 0, 4, 6);
    layout->setSpacing(2);
    auto* head = new QLabel(title, group);
    head->setAlignment(Qt::AlignCenter);
    head->setFixedHeight(22);
    head->setStyleSheet(QString("background: %1; color: white; font-weight: bold;")
                            .arg(colour.darker(160).name()));
    layout->addWidget(head);
    for (const CommandEntry& e : entries) {
        QAction* a = MakeEntryAction(e, "panel", group);
        auto* button = new QToolButton(group);
        button->setDefaultAction(a);
        button->setAutoRaise(true);
        button->setFixedSize(89, 21);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->installEventFilter(this);
        layout->addWidget(button, 0, Qt::AlignHCenter);
    }
    return group;
}

void TMainForm::BuildSidePanel() {
    TBXDockablePanel = new QDockWidget("서브메뉴", this);
    TBXDockablePanel->setObjectName("TBXDockablePanel");
    TBXDockablePanel->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    TBXDockablePanel->setFixedWidth(123);
    TBXDockablePanel->installEventFilter(this);
    PageControl = new QTabWidget(TBXDockablePanel);
    PageControl->setObjectName("PageControl");
    PageControl->setDocumentMode(true);
    // Both page tabs fit the narrow panel side by side.
    PageControl->tabBar()->setExpanding(true);
    PageControl->tabBar()->setUsesScrollButtons(false);
    PageControl->tabBar()->setStyleSheet(
        "QTabBar::tab { color: blue; font-weight: bold; padding: 3px 2px; min-width: 50px; }");

    const auto& map = MainCommandMap();
    auto makePage = [&](const QString& name, std::initializer_list<QWidget*> groups) {
        auto* scroller = new QScrollArea;
        scroller->setObjectName(name);
        scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroller->setWidgetResizable(true);
        auto* column = new QWidget;
        auto* layout = new QVBoxLayout(column);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(4);
        for (QWidget* g : groups) layout->addWidget(g);
        layout->addStretch(1);
        scroller->setWidget(column);
        return scroller;
    };
    QWidget* high = MakeButtonGroup(map.HighFunc, DelphiColour(12697518), "고급 기능");
    high->setObjectName("HighFuncPanel");
    QWidget* content = MakeButtonGroup(map.ContentFunc, DelphiColour(11183249), "꾸미기");
    content->setObjectName("ContentFuncPanel");
    QWidget* result = MakeButtonGroup(map.ResultFunc, DelphiColour(13285811), "결과 활용");
    result->setObjectName("ResultFuncPanel");
    QWidget* filter = MakeButtonGroup(map.FilterFunc, DelphiColour(14671839), "필터 효과");
    filter->setObjectName("FilterFuncPanel");
    PageControl->addTab(makePage("TBXPageScrollerMainFunc", {high, content, result}), "고급기능");
    PageControl->addTab(makePage("TBXPageScrollerFilter", {filter}), "필터효과");
    PageControl->widget(0)->setObjectName("TBXPageScrollerMainFunc");
    PageControl->widget(1)->setObjectName("TBXPageScrollerFilter");
    TBXDockablePanel->setWidget(PageControl);
    addDockWidget(Qt::LeftDockWidgetArea, TBXDockablePanel);
    connect(TBXDockablePanel, &QDockWidget::topLevelChanged, this, [this](bool) {
        TBXDockablePanel->resize(TBXDockablePanel->width(), 550);
        DecoPanel2->setFixedWidth(DecoPanel2->width() == 10 ? 145 : 10);
        UpdateScrollRange();
        ResetPageScrollers();
    });
}

void TMainForm::BuildPopup() {
    MainPopupMenu = new QMenu(this);
    MainPopupMenu->setObjectName("MainPopupMenu");
    for (const CommandEntry& e : MainCommandMap().Popup) {
        if (e.Type == CommandEntry::Kind::Separator) MainPopupMenu->addSeparator();
        else MainPopupMenu->addAction(MakeEntryAction(e, "popup", MainPopupMenu));
    }
}

QAction* TMainForm::CommandAction(const QString& command) {
    auto it = CommandActions.find(command);
    if (it != CommandActions.end()) return it->second;
    auto* action = new QAction(command, this);
    action->setObjectName("command:" + command);
    action->setEnabled(HasCommand(command));
    connect(action, &QAction::triggered, this, [this, command] { RunCommand(command, 0); });
    addAction(action);
    CommandActions[command] = action;
    return action;
}

void TMainForm::AssignShortcuts() {
    // Shortcuts stored with the actions, then those set in code.
    const std::pair<const char*, QKeySequence> stored[] = {
        {"actFileOpen", QKeySequence("Ctrl+O")}, {"actFileSave", QKeySequence("Ctrl+S")},
        {"actEditUndo", QKeySequence("Ctrl+Z")}, {"actEditCopy", QKeySequence("Ctrl+C")},
        {"actEditPaste", QKeySequence("Ctrl+V")},
    };
    for (const auto& [command, key] : stored) CommandAction(command)->setShortcut(key);
    for (const AssignedShortcut& s : CodeShortcuts()) {
        QKeySequence key = s.Key == "+"   ? QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)
                           : s.Key == "-" ? QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)
                                          : QKeySequence(s.Key);
        CommandAction(s.Command)->setShortcut(key);
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

bool TMainForm::HasCommand(const QString& command) const { return Handlers.count(command) > 0; }

void TMainForm::RegisterCommand(const QString& command, std::function<void(int)> handler) {
    Handlers[command] = std::move(handler);
    for (const EntryAction& e : Entries)
        if (e.Entry->Command == command) UpdateEnabled(e.Action, *e.Entry);
    if (auto it = CommandActions.find(command); it != CommandActions.end())
        it->second->setEnabled(true);
}

bool TMainForm::RunCommand(const QString& command, int tag) {
    auto it = Handlers.find(command);
    if (it == Handlers.end()) return false;
    // The handler may be replaced while it runs; run a copy.
    auto handler = it->second;
    handler(tag);
    return true;
}

void TMainForm::RegisterOwnCommands() {
    auto plain = [this](const QString& name, void (TMainForm::*method)()) {
        RegisterCommand(name, [this, method](int) { (this->*method)(); });
    };
    RegisterPluginHostCommands(*this);
    RegisterGeometryCommands(*this);
    RegisterFilterMenuCommands(*this);
    plain("actFileNew", &TMainForm::actFileNewExecute);
    plain("actFileOpen", &TMainForm::actFileOpenExecute);
    plain("actFileSave", &TMainForm::actFileSaveExecute);
    RegisterCommand("actFileQuit", [this](int) { close(); });
    plain("actEditUndo", &TMainForm::actEditUndoExecute);
    plain("actEditCopy", &TMainForm::actEditCopyExecute);
    plain("actEditPaste", &TMainForm::actEditPasteExecute);
    plain("TBXItemOriginalImg", &TMainForm::TBXItemOriginalImgClick);
    plain("actViewZoomIn", &TMainForm::actViewZoomInExecute);
    plain("actViewZoomOut", &TMainForm::actViewZoomOutExecute);
    plain("actViewZoomActual", &TMainForm::actViewZoomActualExecute);
    RegisterCommand("TBXItemZoomInX2", [this](int) { SetZoom(200); });
    RegisterCommand("TBXItemZoomInX3", [this](int) { SetZoom(300); });
    RegisterCommand("TBXItemZoomOutX2", [this](int) { SetZoom(50); });
    RegisterCommand("TBXItemZoomOutX3", [this](int) { SetZoom(33); });
    plain("btnCrop", &TMainForm::btnCropClick);
    plain("TBXItemImageCrop", &TMainForm::TBXItemImageCropClick);

    RegisterCommand("TBXItemMenuStyle", [this](int tag) {
        try {
            ApplyMenuStyle(tag == 111 ? "OfficeXP" : tag == 222 ? "Stripes" : "Default");
        } catch (...) {
        }
        for (const EntryAction& e : Entries)
            if (e.Entry->Command == "TBXItemMenuStyle") e.Action->setChecked(e.Entry->Tag == tag);
    });
    auto setChecked = [this](const QString& command, bool checked) {
        for (const EntryAction& e : Entries)
            if (e.Entry->Command == command) e.Action->setChecked(checked);
    };
    RegisterCommand("TBXItemViewToolbar", [this, setChecked](int) {
        bool show = SubTBXToolbar->isHidden();
        SubTBXToolbar->setVisible(show);
        setChecked("TBXItemViewToolbar", show);
        ScrollPaintBox->viewport()->update();
    });
    RegisterCommand("TBXItemViewSubMenu", [this](int) {
        ToggleSidePanel(TBXDockablePanel->isHidden());
    });
    RegisterCommand("TBXItemViewThumbnail", [this, setChecked](int) {
        bool show = BottomThumbPanel->maximumHeight() <= 0;
        BottomThumbPanel->setFixedHeight(show ? 225 : 0);
        setChecked("TBXItemViewThumbnail", show);
        ScrollPaintBox->viewport()->update();
    });
    RegisterCommand("TBXItemViewHint", [this, setChecked](int) {
        bool show = BottomInfoPanel->isHidden();
        BottomInfoPanel->setVisible(show);
        setChecked("TBXItemViewHint", show);
        UpdateScrollRange();
        ScrollPaintBox->viewport()->update();
    });

    RegisterCommand("TBXItemAbout", [this](int) {
        TAboutForm about(this);
        CenterOnMainWindow(&about);
        about.exec();
    });
    auto page = [](const QString& path) { OpenWebPage(WebServerBase() + path); };
    RegisterCommand("TBXItemImageHomePage", [page](int) { page("/"); });
    RegisterCommand("TBXItemImageCooperation", [page](int) { page("/"); });
    RegisterCommand("TBXItemImageQNA", [page](int) { page("/Userboard.asp?tbname=kivoboard4"); });
    RegisterCommand("TBXItemImageDN", [page](int) { page("/download.asp"); });
    RegisterCommand("lblMenuHandPhone", [page](int) { page("/QXMobileX.asp"); });
    RegisterCommand("lblMenuP2P", [page](int) { page("/"); });
}

void TMainForm::ToggleSidePanel(bool visible) {
    TBXDockablePanel->setVisible(visible);
    DecoPanel2->setFixedWidth(visible ? 145 : 10);
    for (const EntryAction& e : Entries)
        if (e.Entry->Command == "TBXItemViewSubMenu") e.Action->setChecked(visible);
    UpdateScrollRange();
    if (auto* filter = qobject_cast<QScrollArea*>(PageControl->widget(1)))
        filter->verticalScrollBar()->setValue(0);
    ScrollPaintBox->viewport()->update();
}

void TMainForm::ResetPageScrollers() {
    for (int i = 0; i < PageControl->count(); ++i)
        if (auto* page = qobject_cast<QScrollArea*>(PageControl->widget(i)))
            page->verticalScrollBar()->setValue(0);
}

// ---------------------------------------------------------------------------------------------
// Start-up, hints, progress, host

void TMainForm::RegisterExePath(bool* ok) {
    QString error;
    *ok = Current().Registry->WriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\MORVANE",
                                          "Kivo Image Editor",
                                          QCoreApplication::applicationFilePath(), &error);
    if (!*ok) Current().Messages->Show(this, error, MessageCaption, Icon::Error, Buttons::Ok);
}

void TMainForm::OpenCommandLineFile() {
    if (Arguments.size() < 3 || Arguments[1].isEmpty() || Arguments[2].isEmpty()) return;
    if (!QFileInfo::exists(Arguments[2])) return;
    OpenImagePath(Arguments[2]);
}

void TMainForm::UpdateHintPanel(const QString& hint) {
    QString title, description;
    try {
        if (hint.isEmpty()) {
            title = windowTitle() + "  ";
            description = DefaultHintText;
        } else {
            qsizetype p = hint.indexOf('\r');
            if (p >= 0) {
                title = hint.left(p + 1);
                description = hint.mid(p + 2);
            } else {
                title = hint;
                description = hint;
            }
        }
    } catch (...) {
    }
    QString shown = TrimControl(title);
    if (shown.isEmpty()) shown = windowTitle() + " ";
    lblInfoItem->setText(shown);
    lblInfoItemHint->setText("☞ " + description);
}

void TMainForm::ApplyMenuStyle(const QString& name) {
    MenuStyle = name == "OfficeXP" || name == "Stripes" ? name : QString("Default");
    setStyleSheet(MenuStyleSheet(MenuStyle));
}

void TMainForm::CenterOnMainWindow(QWidget* dialog) {
    int x = (width() - dialog->width()) / 2;
    int y = (height() - dialog->height()) / 2;
    dialog->move(mapToGlobal(QPoint(x, y)));
}

void TMainForm::SuspendProgress() {
    L_SetStatusCallBack(nullptr, nullptr);
    ProgressSuspended = true;
}

void TMainForm::ResumeProgress() {
    ProgressSuspended = false;
    L_SetStatusCallBack(&TMainForm::ProgressCallback, this);
}

int TMainForm::ProgressCallback(int percent, void*) {
    QCoreApplication::processEvents();
    TMainForm* form = Instance();
    if (form && form->Gauge) {
        form->Gauge->setValue(percent);
        form->Gauge->setVisible(percent < 99);
    }
    if (ProgressSuspended) {
        if (form && form->Gauge) form->Gauge->hide();
        return 0;
    }
    return 1;
}

void TMainForm::NotifyHostWindow(uint64_t hostHandle, const QString& savedPath) {
    try {
        Current().Host->Notify(hostHandle, savedPath);
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------------
// Window events

void TMainForm::closeEvent(QCloseEvent* event) {
    FolderFileList.clear();
    ReleaseImages();
    L_SetStatusCallBack(nullptr, nullptr);
    event->accept();
}

void TMainForm::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!ImgLogo1) return;
    ResetPageScrollers();
    // The logo stretches with the window so that the link labels stay at the right end; it
    // never takes more than the room the menus leave.
    int wanted = std::max(0, width() - InitialFormWidth + 60);
    int menus = 0;
    for (QAction* a : menuBar()->actions()) menus += menuBar()->actionGeometry(a).width();
    int labels = 0;
    for (QLabel* l : {lblMenuPicPrint, lblMenuHandPhone, lblMenuP2P}) labels += l->sizeHint().width() + 6;
    int room = std::max(0, menuBar()->width() - menus - labels - 12);
    ImgLogo1->setFixedWidth(std::min(wanted, room));
    if (ThumbView) {
        int columns = std::max(1, ThumbView->width() / (128 + 10));
        ThumbView->setProperty("kivoColumns", columns);
    }
    CenterNoticePanel();
    ScrollPaintBox->viewport()->update();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return QMainWindow::eventFilter(watched, event);
    const QString name = widget->objectName();
    switch (event->type()) {
    case QEvent::Enter:
        if (widget->property("kivoHint").isValid())
            UpdateHintPanel(widget->property("kivoHint").toString());
        if (name.startsWith("lblMenu")) widget->setStyleSheet("color: red;");
        break;
    case QEvent::Leave:
        if (widget->property("kivoHint").isValid() || qobject_cast<QToolButton*>(widget))
            UpdateHintPanel(QString());
        if (name.startsWith("lblMenu"))
            for (QLabel* l : {lblMenuPicPrint, lblMenuHandPhone, lblMenuP2P})
                l->setStyleSheet("color: " + l->property("kivoColour").toString() + ";");
        break;
    case QEvent::MouseButtonRelease:
        if (name.startsWith("lblMenu")) {
            RunCommand(widget->property("kivoCommand").toString(), 0);
            return true;
        }
        if (name == "ImgHintShowHide") {
            BottomInfoPanel->hide();
            for (const EntryAction& e : Entries)
                if (e.Entry->Command == "TBXItemViewHint") e.Action->setChecked(false);
            UpdateScrollRange();
            return true;
        }
        if (name == "ImgUpDown") {
            BottomThumbPanel->setFixedHeight(BottomThumbPanel->maximumHeight() > 22 ? 22 : 225);
            return true;
        }
        break;
    case QEvent::Close:
        if (watched == TBXDockablePanel) {
            DecoPanel2->setFixedWidth(10);
            for (const EntryAction& e : Entries)
                if (e.Entry->Command == "TBXItemViewSubMenu") e.Action->setChecked(false);
            UpdateScrollRange();
        }
        break;
    default: break;
    }
    return QMainWindow::eventFilter(watched, event);
}

QString TMainForm::StatusPanelText(int panel) const {
    if (panel < 0 || panel > 5 || !StatusPanels[panel]) return {};
    return StatusPanels[panel]->text();
}

void TMainForm::SetStatusPanelText(int panel, const QString& text) {
    if (panel >= 0 && panel <= 5 && StatusPanels[panel]) StatusPanels[panel]->setText(text);
}

void TMainForm::CenterNoticePanel() {
    if (!NoticePanel || !NoticePanel->isVisibleTo(ScrollPaintBox)) return;
    QSize area = ScrollPaintBox->viewport()->size();
    NoticePanel->move((area.width() - NoticePanel->width()) / 2,
                      (area.height() - NoticePanel->height()) / 2);
}

// ---------------------------------------------------------------------------------------------
// Document

void TMainForm::PushUndo() {
    try {
        if (!WorkBitmap.Allocated()) return;
        if (UndoBitmap.Allocated()) L_FreeBitmap(&UndoBitmap);
        L_CopyBitmap(&UndoBitmap, &WorkBitmap);
        Modified = true;
    } catch (...) {
    }
}

void TMainForm::RefreshStatusBar() {
    try {
        if (!WorkBitmap.Allocated()) return;
        SetStatusPanelText(2, StatusFileName);
        SetStatusPanelText(4, QString::number(ZoomPercent) + " %");
        SetStatusPanelText(5, DepthText(WorkBitmap));
    } catch (...) {
    }
}

void TMainForm::ClearStatusBar() {
    MousePosPanel->clear();
    for (int i = 0; i <= 5; ++i) SetStatusPanelText(i, QString());
}

void TMainForm::ResetImages() {
    for (BitmapHandle* h : {&WorkBitmap, &OriginalBitmap}) {
        if (h->Allocated()) L_FreeBitmap(h);
        L_InitBitmap(h, 0, 0, 0);
    }
}

void TMainForm::ReleaseImages() {
    for (BitmapHandle* h : {&WorkBitmap, &OriginalBitmap, &UndoBitmap})
        if (h->Allocated()) L_FreeBitmap(h);
}

void TMainForm::LoadImageFile(const QString& path, BitmapHandle* bitmap) {
    try {
        if (("." + QFileInfo(path).suffix()).toUpper() == ".GIF" && path.contains('.')) {
            // GIF pictures come in through the clipboard as the platform's GIF class gives them:
            // its first frame.
            QImageReader reader(path);
            QImage first = reader.read();
            if (first.isNull()) return;
            QGuiApplication::clipboard()->setImage(first);
            BitmapHandle taken;
            if (L_CopyFromClipboard(nullptr, &taken) > 0) *bitmap = std::move(taken);
            return;
        }
        BitmapHandle loaded;
        if (L_LoadBitmap(path.toUtf8().toStdString(), &loaded, 0, 1) == SUCCESS)
            *bitmap = std::move(loaded);
    } catch (...) {
    }
}

void TMainForm::FinishLoad() {
    SetStatusPanelText(4, "100 %");
    SetStatusPanelText(5, DepthText(WorkBitmap));
    if (WorkBitmap.BitsPerPixel < 24) L_ColorResBitmap(&WorkBitmap, &WorkBitmap, 24, CRF_BYTEORDERBGR);
    L_ChangeBitmapViewPerspective(&WorkBitmap, &WorkBitmap, 0);
    L_CopyBitmap(&OriginalBitmap, &WorkBitmap);
    ResetZoom();
    RefreshWorkArea();
}

void TMainForm::actFileOpenExecute() {
    try {
        FileRequest request;
        request.Filter = OpenFilter;
        request.FilterIndex = 1;
        if (!CurrentFilePath.isEmpty()) request.InitialDir = QFileInfo(CurrentFilePath).absolutePath();
        FileAnswer answer = Current().Pickers->OpenFile(this, request);
        if (!answer.Accepted || answer.FileName.isEmpty()) return;
        OpenChosenFile(answer.FileName);
    } catch (...) {
    }
}

void TMainForm::OpenChosenFile(const QString& path) {
    try {
        ConfirmSaveChanges();
        NoticePanel->hide();
        ResetImages();
        StatusFileName = path;
        CurrentFilePath = path;
        int64_t start = Current().Clock->Ticks();
        LoadImageFile(path, &WorkBitmap);
        if (WorkBitmap.Allocated()) {
            SetStatusPanelText(1, QString::number(Current().Clock->Ticks() - start) + "ms");
            SetStatusPanelText(2, StatusFileName);
            FinishLoad();
            // The folder tree follows the file's folder once the thumbnail strip is there.
        } else {
            RefreshWorkArea();
        }
    } catch (...) {
    }
}

void TMainForm::ConfirmSaveChanges() {
    if (!Modified || !UndoBitmap.Allocated()) return;
    Modified = false;
    Answer answer = Current().Messages->Show(
        this, "이미지가 변경 되었습니다.\r\n\r\n변경된 이미지를 저장 하시겠습니까?.", MessageCaption,
        Icon::Information, Buttons::YesNo);
    if (answer == Answer::Yes) actFileSaveExecute();
}

void TMainForm::OpenImagePath(const QString& path) {
    if (path.isEmpty()) return;
    try {
        NoticePanel->hide();
        ResetImages();
        StatusFileName = path;
        CurrentFilePath = path;
        LoadImageFile(path, &WorkBitmap);
        if (WorkBitmap.Allocated()) FinishLoad();
        else RefreshWorkArea();
    } catch (...) {
    }
}

void TMainForm::OpenImagePathTimed(const QString& path) {
    try {
        ResetImages();
        int64_t start = Current().Clock->Ticks();
        LoadImageFile(path, &WorkBitmap);
        if (WorkBitmap.Allocated()) {
            SetStatusPanelText(1, QString::number(Current().Clock->Ticks() - start) + "ms");
            // Doubled separators collapse once, as the strip's paths always had them collapsed.
            StatusFileName = ReplaceAll(path, "//", "/");
            SetStatusPanelText(2, StatusFileName);
            FinishLoad();
        } else {
            RefreshWorkArea();
        }
    } catch (...) {
    }
}

void TMainForm::SaveImageAs() {
    FileRequest request;
    request.Filter = SaveFilter;
    request.FilterIndex = 1;
    // The dialog starts in the picture's folder but names no file: it does not ask before
    // overwriting, so offering the original's name would make overwriting it one key away.
    if (!CurrentFilePath.isEmpty()) request.InitialDir = QFileInfo(CurrentFilePath).absolutePath();
    FileAnswer answer = Current().Pickers->SaveFile(this, request);
    if (!answer.Accepted || answer.FileName.isEmpty()) return;

    const int bpp = WorkBitmap.BitsPerPixel;
    const SaveTableRow& row = SaveRowForFilterIndex(answer.FilterIndex);
    QString fileName = answer.FileName;
    QString name = QFileInfo(fileName).fileName();
    qsizetype dot = name.lastIndexOf('.');
    QString extension = dot >= 0 ? name.mid(dot) : QString();
    if (extension.toUpper() != QString(row.Extension)) fileName += QString(row.Extension).toLower();

    int result;
    {
        THourglass wait;
        result = L_SaveBitmap(fileName.toUtf8().toStdString(), &WorkBitmap, row.Format,
                              row.DepthFor(bpp), 2, 0);
    }
    Modified = false;
    if (result > 0) {
        if (Arguments.size() >= 3 && !Arguments[1].isEmpty() && !Arguments[2].isEmpty()) {
            bool number = false;
            uint64_t host = Arguments[1].toULongLong(&number);
            NotifyHostWindow(number ? host : 0, fileName);
        }
    } else {
        Current().Messages->Show(this,
                                 "이미지를 저장할 수 없습니다.\r\n\r\n" + QString("화일이름 : ") +
                                     QFileInfo(fileName).fileName() + "\r\n" + "컬러비트 : " +
                                     QString::number(bpp),
                                 MessageCaption, Icon::Information, Buttons::Ok);
    }
}

void TMainForm::actFileSaveExecute() {
    if (WorkBitmap.Allocated()) {
        try {
            SaveImageAs();
        } catch (...) {
        }
    } else {
        Current().Messages->Show(this, "저장 할 이미지가 없습니다.", MessageCaption,
                                 Icon::Information, Buttons::Ok);
    }
}

void TMainForm::actFileNewExecute() {
    if (!WorkBitmap.Allocated()) {
        RefreshWorkArea();
        return;
    }
    Modified = false;
    if (UndoBitmap.Allocated()) L_FreeBitmap(&UndoBitmap);
    NoticePanel->show();
    ResetZoom();
    ClearStatusBar();
    ResetImages();
    CenterNoticePanel();
    RefreshWorkArea();
}

void TMainForm::actEditUndoExecute() {
    try {
        if (!UndoBitmap.Allocated()) return;
        if (WorkBitmap.Allocated()) L_FreeBitmap(&WorkBitmap);
        L_CopyBitmap(&WorkBitmap, &UndoBitmap);
        L_FreeBitmap(&UndoBitmap);
        RefreshStatusBar();
        RefreshWorkArea();
    } catch (...) {
    }
}

void TMainForm::TBXItemOriginalImgClick() {
    // Without an original there is nothing to go back to: freeing the working picture would
    // only lose it.
    if (OriginalBitmap.Allocated()) {
        Modified = false;
        if (WorkBitmap.Allocated()) L_FreeBitmap(&WorkBitmap);
        L_CopyBitmap(&WorkBitmap, &OriginalBitmap);
    }
    RefreshStatusBar();
    RefreshWorkArea();
}

void TMainForm::actEditCopyExecute() {
    try {
        if (!WorkBitmap.Allocated()) return;
        THourglass wait;
        L_CopyToClipboardExt(this, &WorkBitmap, 14);
    } catch (...) {
    }
}

void TMainForm::actEditPasteExecute() {
    PushUndo();
    BitmapHandle temp;
    L_InitBitmap(&temp, 0, 0, 0);
    if (WorkBitmap.Allocated()) L_CopyBitmap(&temp, &WorkBitmap);
    if (WorkBitmap.Allocated()) L_FreeBitmap(&WorkBitmap);
    THourglass wait;
    Finally closing{[this, &temp] {
        if (WorkBitmap.Allocated()) L_ChangeBitmapViewPerspective(&WorkBitmap, &WorkBitmap, 0);
        if (OriginalBitmap.Allocated()) L_FreeBitmap(&OriginalBitmap);
        if (WorkBitmap.Allocated()) L_CopyBitmap(&OriginalBitmap, &WorkBitmap);
        L_FreeBitmap(&temp);
        RefreshWorkArea();
        RefreshStatusBar();
    }};
    try {
        if (L_CopyFromClipboard(this, &WorkBitmap) > 0) {
            NoticePanel->hide();
            ZoomPercent = 100;
            L_ColorResBitmap(&WorkBitmap, &WorkBitmap, 24, CRF_BYTEORDERBGR);
        } else {
            QApplication::restoreOverrideCursor();
            Current().Messages->Show(this, "\"붙여넣기\" 할 데이터가 없습니다.", MessageCaption,
                                     Icon::Information, Buttons::Ok);
            QApplication::setOverrideCursor(Qt::WaitCursor);
            if (temp.Allocated()) L_CopyBitmap(&WorkBitmap, &temp);
        }
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------------
// View

void TMainForm::ResetZoom() { ZoomPercent = 100; }

void TMainForm::CentringOffset(int32_t& ox, int32_t& oy) const {
    ox = oy = 0;
    if (!WorkBitmap.Allocated()) return;
    int32_t zw = MulDiv(WorkBitmap.Width, ZoomPercent, 100);
    int32_t zh = MulDiv(WorkBitmap.Height, ZoomPercent, 100);
    QSize client = ScrollPaintBox->viewport()->size();
    if (zw < client.width()) ox = (client.width() - zw) / 2;
    if (zh < client.height()) oy = (client.height() - zh) / 2;
}

TRect TMainForm::ImageToScreen(const TRect& r) const {
    int32_t ox, oy;
    CentringOffset(ox, oy);
    const int32_t z = ZoomPercent;
    int32_t w = MulDiv(r.Right - r.Left, z, 100);
    int32_t h = MulDiv(r.Bottom - r.Top, z, 100);
    TRect s;
    s.Left = MulDiv(r.Left, z, 100) - ScrollPaintBox->HorzPosition();
    s.Top = MulDiv(r.Top, z, 100) - ScrollPaintBox->VertPosition();
    s.Right = s.Left + w;
    s.Bottom = s.Top + h;
    s.Left += ox;
    s.Right += ox;
    s.Top += oy;
    s.Bottom += oy;
    return s;
}

TRect TMainForm::ScreenToImage(const TRect& r) const {
    int32_t ox, oy;
    CentringOffset(ox, oy);
    const int32_t z = ZoomPercent;
    TRect s{r.Left - ox, r.Top - oy, r.Right - ox, r.Bottom - oy};
    int32_t w = MulDiv(s.Right - s.Left, 100, z);
    int32_t h = MulDiv(s.Bottom - s.Top, 100, z);
    TRect out;
    out.Left = MulDiv(s.Left + ScrollPaintBox->HorzPosition(), 100, z);
    out.Top = MulDiv(s.Top + ScrollPaintBox->VertPosition(), 100, z);
    out.Right = out.Left + w;
    out.Bottom = out.Top + h;
    return out;
}

void TMainForm::UpdateScrollRange() {
    if (!WorkBitmap.Allocated()) {
        ScrollPaintBox->SetScrollRanges(0, 0);
        return;
    }
    ScrollPaintBox->SetScrollRanges(MulDiv(WorkBitmap.Width, ZoomPercent, 100),
                                    MulDiv(WorkBitmap.Height, ZoomPercent, 100));
}

void TMainForm::RefreshWorkArea() {
    ViewCacheValid = false;
    UpdateScrollRange();
    ScrollPaintBox->viewport()->update();
}

void TMainForm::ClampCropRect() {
    CropRect.Left = std::max(CropRect.Left, 0);
    CropRect.Top = std::max(CropRect.Top, 0);
    CropRect.Right = std::min(CropRect.Right, WorkBitmap.Width);
    CropRect.Bottom = std::min(CropRect.Bottom, WorkBitmap.Height);
}

void TMainForm::SetZoom(int32_t percent) {
    if (WorkBitmap.Allocated()) ZoomPercent = percent;
    RefreshStatusBar();
    RefreshWorkArea();
}

void TMainForm::actViewZoomInExecute() {
    SetZoom(WorkBitmap.Allocated() ? std::min(ZoomPercent + 10, 300) : ZoomPercent);
}

void TMainForm::actViewZoomOutExecute() {
    SetZoom(WorkBitmap.Allocated() ? std::max(ZoomPercent - 10, 20) : ZoomPercent);
}

void TMainForm::actViewZoomActualExecute() { SetZoom(100); }

void TMainForm::btnCropClick() {
    MousePosPanel->clear();
    if (!WorkBitmap.Allocated()) {
        btnCrop->setChecked(false);
        return;
    }
    if (!btnCrop->isChecked()) CropRect = TRect{};
    RefreshWorkArea();
}

void TMainForm::TBXItemImageCropClick() {
    btnCrop->setChecked(!btnCrop->isChecked());
    btnCropClick();
}

void TMainForm::ScrollPaintBoxPaint(QPainter& p, const QRect& clip) {
    const QSize client = ScrollPaintBox->viewport()->size();
    if (!WorkBitmap.Allocated()) {
        p.fillRect(clip, Qt::white);
        return;
    }
    int32_t ox, oy;
    CentringOffset(ox, oy);
    int32_t zw = MulDiv(WorkBitmap.Width, ZoomPercent, 100);
    int32_t zh = MulDiv(WorkBitmap.Height, ZoomPercent, 100);
    TRect d = ImageToScreen(TRect{0, 0, WorkBitmap.Width, WorkBitmap.Height});
    QRect dst(d.Left, d.Top, d.Right - d.Left, d.Bottom - d.Top);
    // The area is erased exactly when the zoomed picture is narrower or lower than it; the
    // part the picture covers is left out, since the picture is drawn over it anyway.
    if (zw < client.width() || zh < client.height()) {
        QRegion erase = QRegion(clip).subtracted(QRegion(dst.intersected(clip)));
        for (const QRect& r : erase) p.fillRect(r, Qt::white);
    }
    if (ox > 0) {
        p.fillRect(QRect(0, 0, ox - 1, client.height()).intersected(clip), Qt::white);
        p.fillRect(QRect(zw + ox + 1, 0, client.width() - (zw + ox + 1), client.height()).intersected(clip),
                   Qt::white);
    }
    if (oy > 0) {
        p.fillRect(QRect(0, 0, client.width(), oy - 1).intersected(clip), Qt::white);
        p.fillRect(QRect(0, zh + oy + 1, client.width(), client.height() - (zh + oy + 1)).intersected(clip),
                   Qt::white);
    }

    PaintPalette palette = L_CreatePaintPalette(&p, &WorkBitmap);
    (void)palette;  // always 0: Qt paints in true colour, so there is nothing to select
    PaintPicture(p, dst, clip, client);

    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(d.Left - 1, d.Top - 1, dst.width() + 1, dst.height() + 1));

    if (CropDragging) {
        TRect band = CropRect;
        NormalizeRect(band);
        if (RectWidth(band) > 0 || RectHeight(band) > 0) {
            p.setCompositionMode(QPainter::RasterOp_NotDestination);
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.drawRect(QRect(band.Left, band.Top, std::max(0, RectWidth(band) - 1),
                             std::max(0, RectHeight(band) - 1)));
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        }
        return;
    }
    TRect b = ImageToScreen(CropRect);
    NormalizeRect(b);
    if (RectWidth(b) <= 10 || RectHeight(b) <= 10) return;
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(QRect(b.Left, b.Top, RectWidth(b) - 1, RectHeight(b) - 1));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QFont f = p.font();
    f.setPointSize(10);
    f.setBold(true);
    p.setFont(f);
    int red = Random(255);
    int green = Random(255);
    int blue = Random(255);
    p.setPen(QColor(red, green, blue));
    p.drawText(QRect(b.Right, b.Bottom, 400, 40), Qt::AlignLeft | Qt::AlignTop, " ↖ Double Click");
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    for (int handle = 1; handle <= 8; ++handle) {
        TRect h = HandleRect(b, handle);
        p.drawRect(QRect(h.Left, h.Top, h.Right - h.Left, h.Bottom - h.Top));
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TMainForm::PaintPicture(QPainter& p, const QRect& dst, const QRect& clip, const QSize& client) {
    const QRect visible = dst.intersected(QRect(QPoint(0, 0), client));
    if (visible.isEmpty()) return;
    ViewKey key{WorkBitmap.Data(), WorkBitmap.Width, WorkBitmap.Height, WorkBitmap.BitsPerPixel,
                ZoomPercent, ScrollPaintBox->HorzPosition(), ScrollPaintBox->VertPosition(), client};
    if (!ViewCacheValid || !(key == CachedKey) || ViewCacheRect != visible) {
        ViewCache = QImage(visible.size(), QImage::Format_RGB32);
        if (ViewCache.isNull()) {
            ViewCacheValid = false;
            L_PaintDC(&p, &WorkBitmap, nullptr, nullptr, &dst, &clip, SRCCOPY);
            return;
        }
        ViewCache.fill(Qt::white);  // what pictures with transparency are shown over
        QPainter cache(&ViewCache);
        // Reduced views are filtered so that photographs do not break up into jagged edges; at
        // 100 % and above every pixel is shown as it is.
        cache.setRenderHint(QPainter::SmoothPixmapTransform, ZoomPercent < 100);
        QRect shifted = dst.translated(-visible.topLeft());
        L_PaintDC(&cache, &WorkBitmap, nullptr, nullptr, &shifted, nullptr, SRCCOPY);
        CachedKey = key;
        ViewCacheRect = visible;
        ViewCacheValid = true;
    }
    QRect part = clip.intersected(visible);
    if (!part.isEmpty()) p.drawImage(part.topLeft(), ViewCache, part.translated(-visible.topLeft()));
}

void TMainForm::ScrollPaintBoxMouseDown(int x, int y) {
    if (!WorkBitmap.Allocated()) return;
    DragPoint = TPoint{x, y};
    if (!btnCrop->isChecked()) return;
    CropDragging = true;
    TRect b = ImageToScreen(CropRect);
    NormalizeRect(b);
    CropHandle = HitTestHandles(b, TPoint{x, y});
    if (CropHandle == 0) {
        if (!PtInRect(b, TPoint{x, y})) {
            CropHandle = -1;
            CropRect = TRect{x, y, x, y};
            ScrollPaintBox->viewport()->update();
            return;
        }
        CropHandle = 0;
    }
    CropRect = b;
    ScrollPaintBox->viewport()->update();
}

void TMainForm::UpdateCropDrag(const TRect& before) {
    // Only the outlines of the old and the new band need painting again.
    QRegion region;
    for (TRect r : {before, CropRect}) {
        NormalizeRect(r);
        QRect q(r.Left, r.Top, RectWidth(r) + 1, RectHeight(r) + 1);
        region += QRegion(q.adjusted(-1, -1, 1, 1)).subtracted(QRegion(q.adjusted(2, 2, -2, -2)));
    }
    ScrollPaintBox->viewport()->update(region);
}

void TMainForm::ScrollPaintBoxMouseMove(int x, int y) {
    try {
        PixelInfoPoint = TPoint{x, y};
        pbxPixelInfo->update();
        if (!btnCrop->isChecked()) {
            MousePosPanel->setText("       X : " + QString::number(x) + ", " + "Y : " +
                                   QString::number(y));
            return;
        }
    } catch (...) {
        return;
    }
    if (CropDragging) {
        TRect before = CropRect;
        TPoint delta{x - DragPoint.X, y - DragPoint.Y};
        if (CropHandle == -1) {
            CropRect.Right = x;
            CropRect.Bottom = y;
        } else if (CropHandle == 0) {
            CropRect.Left += delta.X;
            CropRect.Right += delta.X;
            CropRect.Top += delta.Y;
            CropRect.Bottom += delta.Y;
            DragPoint = TPoint{x, y};
        } else {
            MoveRectEdges(CropRect, delta, CropHandle);
            DragPoint = TPoint{x, y};
        }
        UpdateCropDrag(before);
    } else {
        CropHandle = HitTestHandles(ImageToScreen(CropRect), TPoint{x, y});
        Qt::CursorShape shape = Qt::ArrowCursor;
        switch (CropHandle) {
        case 1: case 5: shape = Qt::SizeFDiagCursor; break;
        case 2: case 6: shape = Qt::SizeVerCursor; break;
        case 3: case 7: shape = Qt::SizeBDiagCursor; break;
        case 4: case 8: shape = Qt::SizeHorCursor; break;
        default: break;
        }
        ScrollPaintBox->viewport()->setCursor(shape);
    }
    MousePosPanel->setText("       W : " + QString::number(RectWidth(CropRect)) + ", " + "H : " +
                           QString::number(RectHeight(CropRect)));
}

void TMainForm::ScrollPaintBoxMouseUp(int, int) {
    if (!CropDragging) return;
    TRect r = ScreenToImage(CropRect);
    NormalizeRect(r);
    CropRect = r;
    ScrollPaintBox->viewport()->update();
    CropDragging = false;
}

void TMainForm::ScrollPaintBoxDblClick() {
    if (!WorkBitmap.Allocated()) return;
    try {
        if (!PtInRect(ImageToScreen(CropRect), DragPoint)) return;
        THourglass wait;
        // A band left over from a larger picture may lie wholly outside this one; cropping to
        // nothing would throw the picture away, so such a band crops nothing.
        TRect clamped = CropRect;
        clamped.Left = std::max(clamped.Left, 0);
        clamped.Top = std::max(clamped.Top, 0);
        clamped.Right = std::min(clamped.Right, WorkBitmap.Width);
        clamped.Bottom = std::min(clamped.Bottom, WorkBitmap.Height);
        if (clamped.Right <= clamped.Left || clamped.Bottom <= clamped.Top) return;
        PushUndo();
        ClampCropRect();
        BitmapHandle temp;
        L_CopyBitmapRect(&temp, &WorkBitmap, CropRect.Left, CropRect.Top,
                         CropRect.Right - CropRect.Left, CropRect.Bottom - CropRect.Top);
        L_FreeBitmap(&WorkBitmap);
        L_CopyBitmap(&WorkBitmap, &temp);
        L_FreeBitmap(&temp);
        RefreshStatusBar();
        CropRect = TRect{};
        RefreshWorkArea();
    } catch (...) {
    }
}

void TMainForm::pbxPixelInfoPaint(QPainter& p) {
    try {
        const QColor face = palette().color(QPalette::Button);
        TRect d{};
        if (WorkBitmap.Allocated()) d = ImageToScreen(TRect{0, 0, WorkBitmap.Width, WorkBitmap.Height});
        const QSize client = ScrollPaintBox->viewport()->size();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                int x = PixelInfoPoint.X + c - 1;
                int y = PixelInfoPoint.Y + r - 1;
                // The colour the work area shows there: the picture inside its rectangle, the
                // white background (and frame) around it.
                QColor colour = Qt::white;
                if (x < 0 || y < 0 || x >= client.width() || y >= client.height()) colour = face;
                else if (WorkBitmap.Allocated() && x >= d.Left && x < d.Right && y >= d.Top &&
                         y < d.Bottom) {
                    int ix = int((int64_t(x - d.Left) * WorkBitmap.Width) / (d.Right - d.Left));
                    int iy = int((int64_t(y - d.Top) * WorkBitmap.Height) / (d.Bottom - d.Top));
                    ColorRef cr = L_GetPixelColor(&WorkBitmap, ix, iy);
                    colour = QColor(GetRValue(cr), GetGValue(cr), GetBValue(cr));
                }
                p.setBrush(colour);
                p.setPen(r == 1 && c == 1 ? QColor(Qt::black) : face);
                p.drawRect(QRect(10 * c + 2, 6 * r, 7, 5));
            }
    } catch (...) {
    }
}
