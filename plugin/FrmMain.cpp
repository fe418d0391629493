#include "FrmMain.h"

#include <sys/stat.h>

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include "FastFX.h"

namespace kivo::morefilters {

namespace {

struct TSliderSetup {
    int Min;
    int Max;
    int Start;
    int LargeStep;
};

struct TControlSetup {
    TSliderSetup Bar1;
    bool ShowMore;  // GaugeBar2 / GaugeBar3 with their edits and up-downs
    TSliderSetup Bar2;
    TSliderSetup Bar3;
};

TControlSetup SetupFor(int number) {
    if (number == 111) return {{1, 100, 1, 10}, true, {1, 100, 1, 10}, {1, 100, 2, 10}};
    if (number == 112) return {{0, 3600, 0, 10}, true, {0, 100, 0, 10}, {0, 100, 0, 10}};
    if (number >= 113 && number <= 121) return {{0, 100, 0, 1}, false, {}, {}};
    if (number == 122) return {{1, 10, 1, 1}, false, {}, {}};
    if (number == 123) return {{1, 1000, 1, 100}, false, {}, {}};
    return {{1, 100, 1, 10}, false, {}, {}};
}

void ApplySetup(QSlider* bar, TUpDown* upDown, const TSliderSetup& s) {
    bar->setRange(s.Min, s.Max);
    bar->setValue(s.Start);
    bar->setPageStep(s.LargeStep);
    upDown->SetRange(s.Min, s.Max);
    upDown->SetPosition(s.Start);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

TUpDown::TUpDown(QWidget* parent, QLineEdit* associate, int tag)
    : QWidget(parent), Tag(tag), Associate(associate) {
    btnUp = new QToolButton(this);
    btnUp->setArrowType(Qt::UpArrow);
    btnUp->setObjectName("btnUp");
    btnDown = new QToolButton(this);
    btnDown->setArrowType(Qt::DownArrow);
    btnDown->setObjectName("btnDown");
    btnUp->setGeometry(0, 0, 17, 11);
    btnDown->setGeometry(0, 11, 17, 11);
    QObject::connect(btnUp, &QToolButton::clicked, this, [this] { Step(1); });
    QObject::connect(btnDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::SetRange(int min, int max) {
    Min = min;
    Max = max;
    SetPosition(Pos);
}

void TUpDown::SetPosition(int position) {
    Pos = ClampInt(position, Min, Max);
    if (Associate) Associate->setText(QString::number(Pos));
}

void TUpDown::Step(int delta) {
    SetPosition(Pos + delta);
    if (OnClick) OnClick(this);
}

void TPaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (OnPaint) OnPaint(painter);
}

TMainForm::TMainForm() {
    setObjectName("MainForm");
    setWindowTitle(QStringLiteral("필터 적용"));
    setFixedSize(590, 295);
    setWindowFlag(Qt::WindowStaysOnTopHint);
    QFont font(QStringLiteral("NanumGothic"));
    font.setPixelSize(12);
    setFont(font);

    lblPreview = new QLabel(QStringLiteral("미리보기  "), this);
    lblPreview->setObjectName("lblPreview");
    lblPreview->setStyleSheet("color: blue;");
    lblPreview->setGeometry(24, 20, 120, 16);

    // The black panel sits behind the white one, offset by four pixels, as a drop shadow.
    pnlBBack = new QFrame(this);
    pnlBBack->setObjectName("pnlBBack");
    pnlBBack->setGeometry(28, 43, 250, 200);
    pnlBBack->setStyleSheet("background: black;");
    pnlBack = new QFrame(this);
    pnlBack->setObjectName("pnlBack");
    pnlBack->setGeometry(24, 39, 250, 200);
    pnlBack->setFrameStyle(QFrame::Box | QFrame::Plain);
    pnlBack->setStyleSheet("QFrame#pnlBack { background: white; border: 1px solid black; }");
    PaintBox = new TPaintBox(pnlBack);
    PaintBox->setObjectName("PaintBox");
    PaintBox->setGeometry(0, 0, 0, 0);
    PaintBox->OnPaint = [this](QPainter& painter) { PaintBoxPaint(painter); };

    pnlMenuBack = new QFrame(this);
    pnlMenuBack->setObjectName("pnlMenuBack");
    pnlMenuBack->setGeometry(281, 39, 278, 103);
    pnlMenuBack->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlMenuBack->setStyleSheet("QFrame#pnlMenuBack { background: white; }");
    auto* lblMin = new QLabel(QStringLiteral("최소 "), pnlMenuBack);
    lblMin->setGeometry(8, 8, 60, 16);
    auto* lblMax = new QLabel(QStringLiteral("최대 "), pnlMenuBack);
    lblMax->setGeometry(159, 8, 60, 16);
    lblMax->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    QSlider** bars[3] = {&GaugeBar1, &GaugeBar2, &GaugeBar3};
    QLineEdit** edits[3] = {&edtValue1, &edtValue2, &edtValue3};
    TUpDown** upDowns[3] = {&UpDown1, &UpDown2, &UpDown3};
    for (int i = 0; i < 3; ++i) {
        const int y = 28 + 24 * i;
        QSlider* bar = new QSlider(Qt::Horizontal, pnlMenuBack);
        bar->setObjectName(QStringLiteral("GaugeBar%1").arg(i + 1));
        bar->setProperty("Tag", i + 1);
        bar->setGeometry(8, y, 211, 19);
        bar->setStyleSheet(
            "QSlider::groove:horizontal { height: 4px; background: #c0c0c0; }"
            "QSlider::handle:horizontal { width: 9px; margin: -6px 0; background: teal; "
            "border: 1px solid #004040; }");
        QObject::connect(bar, &QSlider::valueChanged, this, [this, bar] { GaugeBarChange(bar); });
        QLineEdit* edit = new QLineEdit(QStringLiteral("0"), pnlMenuBack);
        edit->setObjectName(QStringLiteral("edtValue%1").arg(i + 1));
        edit->setReadOnly(true);
        edit->setGeometry(222, y - 1, 36, 21);
        TUpDown* upDown = new TUpDown(pnlMenuBack, edit, i + 1);
        upDown->setObjectName(QStringLiteral("UpDown%1").arg(i + 1));
        upDown->setGeometry(258, y - 1, 17, 22);
        upDown->OnClick = [this](TUpDown* sender) { UpDownClick(sender); };
        *bars[i] = bar;
        *edits[i] = edit;
        *upDowns[i] = upDown;
    }

    lblInfo = new QLabel(
        QStringLiteral("미리보기에서의 효과와 필터 적용후의 효과가 \n다를수 있습니다. "), this);
    lblInfo->setObjectName("lblInfo");
    lblInfo->setStyleSheet("color: blue;");
    lblInfo->setGeometry(283, 150, 276, 34);

    btnInitValue = new QToolButton(this);
    btnInitValue->setObjectName("btnInitValue");
    btnInitValue->setText(QStringLiteral("초기값"));
    btnInitValue->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    btnInitValue->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnInitValue->setAutoRaise(true);
    btnInitValue->setGeometry(281, 250, 80, 25);
    QObject::connect(btnInitValue, &QToolButton::clicked, this, [this] { btnInitValueClick(); });

    btnOK = new QPushButton(QStringLiteral("확  인"), this);
    btnOK->setObjectName("btnOK");
    QFont bold = font;
    bold.setBold(true);
    btnOK->setFont(bold);
    btnOK->setDefault(true);
    btnOK->setGeometry(399, 250, 75, 25);
    QObject::connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });

    btnCANCEL = new QPushButton(QStringLiteral("취  소"), this);
    btnCANCEL->setObjectName("btnCANCEL");
    btnCANCEL->setGeometry(484, 250, 75, 25);
    QObject::connect(btnCANCEL, &QPushButton::clicked, this, [this] { btnCANCELClick(); });
}

TMainForm::~TMainForm() = default;

void TMainForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen()) {
        const QRect area = s->geometry();
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }
}

void TMainForm::SetupControls(int number) {
    FilterNumber = number;
    const TControlSetup setup = SetupFor(number);
    ApplySetup(GaugeBar1, UpDown1, setup.Bar1);
    if (setup.ShowMore) {
        ApplySetup(GaugeBar2, UpDown2, setup.Bar2);
        ApplySetup(GaugeBar3, UpDown3, setup.Bar3);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{GaugeBar2, GaugeBar3, edtValue2, edtValue3,
                                                      UpDown2, UpDown3})
        w->setVisible(setup.ShowMore);
}

void TMainForm::LoadPreview() {
    if (!FileExists(PreviewPath)) return;
    TargetBmp = TFastBMP::CreateFromFile(PreviewPath);
    SourceBmp = TFastBMP::CreateCopy(*TargetBmp);
    const int w = TargetBmp->Width;
    const int h = TargetBmp->Height;
    PaintBox->setGeometry((pnlBack->width() - w) / 2, (pnlBack->height() - h) / 2, w, h);
    ImageLoaded = true;
}

void TMainForm::ApplyEffect() {
    const int s1 = GaugeBar1->value();
    const int s2 = GaugeBar2->value();
    const int s3 = GaugeBar3->value();
    TFastBMP& target = *TargetBmp;
    const TFastBMP& source = *SourceBmp;
    switch (FilterNumber) {
        case 111:
            Wave(source, target, s1 * 0.5, s2 * 0.5, s3 * 0.5);
            break;
        case 112:
            Rotate(source, target, s2, s3, s1 * 0.1);
            break;
        case 113:
            Sharpen(target, s1);
            break;
        case 114:
            Mosaic(target, s1, s1);
            break;
        case 115:
            Spray(source, target, s1);
            break;
        case 116:
            SplitBlur(target, s1);
            break;
        case 117:  // captioned as the horizontal effect in the editor, it moves rows
            WrapShiftY(target, 2 * s1);
            break;
        case 118:
            WrapShiftX(target, 2 * s1);
            break;
        case 119:
            GaussianBlur(target, ClampInt(s1, 0, 10));
            break;
        case 120:
            MonoNoise(target, uint32_t(std::max(s1, 0)));
            break;
        case 121:
            ColorNoise(target, uint32_t(std::max(s1, 0)));
            break;
        case 122:
            if (s1 > 0) FishEye(source, target, s1);
            break;
        case 123:
            Twist(source, target, 1000 - s1);
            break;
        default:
            break;
    }
}

void TMainForm::GaugeBarChange(QSlider* sender) {
    if (!TargetBmp || !ImageLoaded) return;
    try {
        // The shifts build on the already shifted preview, so successive changes add up; every
        // other effect starts again from the untouched preview.
        if (FilterNumber != 117 && FilterNumber != 118)
            TargetBmp = TFastBMP::CreateCopy(*SourceBmp);
        ApplyEffect();
        switch (sender->property("Tag").toInt()) {
            case 1:
                UpDown1->SetPosition(GaugeBar1->value());
                break;
            case 2:
                UpDown2->SetPosition(GaugeBar2->value());
                break;
            case 3:
                UpDown3->SetPosition(GaugeBar3->value());
                break;
        }
    } catch (...) {
    }
    PaintBox->update();
}

void TMainForm::UpDownClick(TUpDown* sender) {
    try {
        switch (sender->Tag) {
            case 1:
                GaugeBar1->setValue(UpDown1->Position());
                break;
            case 2:
                GaugeBar2->setValue(UpDown2->Position());
                break;
            case 3:
                GaugeBar3->setValue(UpDown3->Position());
                break;
        }
    } catch (...) {
    }
}

void TMainForm::PaintBoxPaint(QPainter& painter) {
    if (TargetBmp && ImageLoaded) TargetBmp->Draw(painter, 0, 0);
}

void TMainForm::btnInitValueClick() {
    // Positions below a slider's range store its minimum.
    GaugeBar1->setValue(0);
    GaugeBar2->setValue(0);
    GaugeBar3->setValue(0);
}

void TMainForm::btnOKClick() {
    lblInfo->setStyleSheet("color: red;");
    lblInfo->setText(QStringLiteral("적용중입니다. 잠시만 기다려 주세요... "));
    lblInfo->repaint();
    PaintBox->hide();
    try {
        TargetBmp.reset();
        SourceBmp.reset();
        TargetBmp = TFastBMP::CreateFromFile(ImagePath);
        SourceBmp = TFastBMP::CreateCopy(*TargetBmp);
        ApplyEffect();
        TargetBmp->SaveToFile(ImagePath);
    } catch (...) {
        // A full picture that cannot be read is left as it is; the editor then reloads its own
        // unchanged file.
    }
    accept();
}

void TMainForm::btnCANCELClick() { reject(); }

}  // namespace kivo::morefilters
