#include "FrmShear.h"

#include <QColor>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include "FrmMain.h"
#include "FrmSizeControl.h"
#include "kivo/imaging/Geometry.h"
#include "kivo/imaging/qt/Display.h"
#include "kivo/platform/Platform.h"
#include "uFunctions.h"

namespace {

constexpr int MaxAngle = 4500;  // hundredths of a degree either way

QColor ToQColor(ColorRef c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }

}  // namespace

void TShearPaintBox::paintEvent(QPaintEvent*) {
    if (!Bitmap || !Bitmap->Allocated()) return;
    QPainter p(this);
    TRect r{0, 0, Bitmap->Width, Bitmap->Height};
    FitRect(r, width(), height());
    CenterRect(r, TRect{0, 0, width(), height()});
    const QRect dst(r.Left, r.Top, RectWidth(r), RectHeight(r));
    L_PaintDC(&p, Bitmap, nullptr, nullptr, &dst, nullptr, SRCCOPY);
}

TShearForm::TShearForm(TMainForm& mainForm) : QDialog(&mainForm), Main(mainForm) {
    setObjectName("ShearForm");
    setWindowTitle("이미지 비틀기");
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(505, 327);

    auto* layout = new QHBoxLayout(this);

    // Left: the preview in a white bordered panel.
    auto* previewColumn = new QVBoxLayout;
    lblPreview = new QLabel("미리보기  ", this);
    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::Box);
    panel->setAutoFillBackground(true);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel->setPalette(white);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(4, 4, 4, 4);
    PaintBox = new TShearPaintBox(panel);
    PaintBox->setObjectName("PaintBox");
    PaintBox->setFixedSize(198, 199);
    PaintBox->Bitmap = &PreviewBitmap;
    panelLayout->addWidget(PaintBox);
    previewColumn->addWidget(lblPreview);
    previewColumn->addWidget(panel);
    previewColumn->addStretch(1);
    layout->addLayout(previewColumn);

    // Right: angle, direction, colour, buttons.
    auto* controls = new QVBoxLayout;
    auto* head = new QHBoxLayout;
    lblControl = new QLabel("조정 ", this);
    btnInitValue = new QToolButton(this);
    btnInitValue->setText("초기값");
    btnInitValue->setAutoRaise(true);
    head->addWidget(lblControl);
    head->addStretch(1);
    head->addWidget(btnInitValue);
    controls->addLayout(head);

    auto* angle = new QHBoxLayout;
    Gauge = new QSlider(Qt::Horizontal, this);
    Gauge->setObjectName("Gauge");
    Gauge->setRange(-MaxAngle, MaxAngle);
    Gauge->setValue(0);
    Gauge->setSingleStep(10);
    Gauge->setPageStep(500);
    edtValue = new QLineEdit("0", this);
    edtValue->setReadOnly(true);
    edtValue->setFixedWidth(60);
    UpDown = new TUpDown(this);
    UpDown->Min = -MaxAngle;
    UpDown->Max = MaxAngle;
    UpDown->SetPosition(0);
    angle->addWidget(Gauge, 1);
    angle->addWidget(edtValue);
    angle->addWidget(UpDown);
    controls->addLayout(angle);

    grpDirection = new QGroupBox("비틀기 방향", this);
    auto* directions = new QVBoxLayout(grpDirection);
    HorzRadioButton = new QRadioButton("수평으로 비틀기", grpDirection);
    HorzRadioButton->setProperty("tag", 1);
    HorzRadioButton->setChecked(true);
    VertRadioButton = new QRadioButton("수직으로 비틀기", grpDirection);
    VertRadioButton->setProperty("tag", 2);
    directions->addWidget(HorzRadioButton);
    directions->addWidget(VertRadioButton);
    controls->addWidget(grpDirection);

    grpColour = new QGroupBox("배경색상 선택 ", this);
    auto* colourLayout = new QHBoxLayout(grpColour);
    ShpSelectColor = new QToolButton(grpColour);
    ShpSelectColor->setObjectName("ShpSelectColor");
    ShpSelectColor->setFixedSize(120, 24);
    colourLayout->addWidget(ShpSelectColor);
    colourLayout->addStretch(1);
    controls->addWidget(grpColour);
    controls->addStretch(1);

    auto* buttons = new QHBoxLayout;
    btnOK = new QPushButton("확  인", this);
    btnOK->setDefault(true);
    btnCANCEL = new QPushButton("취  소", this);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCANCEL);
    controls->addLayout(buttons);
    layout->addLayout(controls, 1);

    SetSwatchColour(RGBColor(255, 255, 255));

    connect(Gauge, &QSlider::valueChanged, this, &TShearForm::GaugeChange);
    connect(UpDown, &TUpDown::Clicked, this, &TShearForm::UpDownClick);
    connect(btnInitValue, &QToolButton::clicked, this, &TShearForm::btnInitValueClick);
    for (QRadioButton* b : {HorzRadioButton, VertRadioButton})
        connect(b, &QRadioButton::clicked, this,
                [this, b] { RadioButtonClick(b->property("tag").toInt()); });
    connect(ShpSelectColor, &QToolButton::pressed, this, &TShearForm::ShpSelectColorMouseDown);
    connect(btnOK, &QPushButton::clicked, this, &TShearForm::btnOKClick);
    connect(btnCANCEL, &QPushButton::clicked, this, &QDialog::reject);
}

TShearForm::~TShearForm() { ReleasePreviews(); }

void TShearForm::ReleasePreviews() {
    for (BitmapHandle* h : {&PreviewBitmap, &PreviewSource})
        if (h->Allocated()) L_FreeBitmap(h);
}

void TShearForm::done(int result) {
    ReleasePreviews();
    QDialog::done(result);
}

void TShearForm::SetSwatchColour(ColorRef colour) {
    Swatch = colour;
    ShpSelectColor->setStyleSheet(
        QString("QToolButton { background: %1; border: 1px solid black; }")
            .arg(ToQColor(colour).name()));
}

void TShearForm::MakePreview(const BitmapHandle& work) {
    L_CopyBitmap(&PreviewBitmap, &work);
    TRect r{0, 0, work.Width, work.Height};
    FitRect(r, PaintBox->width(), PaintBox->height());
    L_SizeBitmap(&PreviewBitmap, RectWidth(r), RectHeight(r), SIZE_NORMAL);
    L_CopyBitmap(&PreviewSource, &PreviewBitmap);
    PaintBox->update();
}

void TShearForm::Rebuild(bool horizontal) {
    try {
        if (PreviewSource.Allocated()) {
            L_CopyBitmap(&PreviewBitmap, &PreviewSource);
            L_ShearBitmap(&PreviewBitmap, Gauge->value(), horizontal, Swatch);
        }
    } catch (...) {
    }
    PaintBox->update();
}

void TShearForm::GaugeChange() {
    UpDown->SetPosition(Gauge->value());
    edtValue->setText(QString::number(UpDown->Position()));
    if (HorzRadioButton->isChecked())
        Rebuild(true);
    else if (VertRadioButton->isChecked())
        Rebuild(false);
    else
        PaintBox->update();
}

void TShearForm::RadioButtonClick(int tag) { Rebuild(tag == 1); }

void TShearForm::ShpSelectColorMouseDown() {
    auto chosen = kivo::platform::Current().Pickers->Colour(this, ToQColor(Swatch));
    if (!chosen) return;
    SetSwatchColour(
        RGBColor(uint8_t(chosen->red()), uint8_t(chosen->green()), uint8_t(chosen->blue())));
    GaugeChange();
}

void TShearForm::btnInitValueClick() { Gauge->setValue(0); }

void TShearForm::UpDownClick() {
    edtValue->setText(QString::number(UpDown->Position()));
    Gauge->setValue(UpDown->Position());
}

void TShearForm::btnOKClick() {
    try {
        Main.PushUndo();
        if (HorzRadioButton->isChecked() || VertRadioButton->isChecked())
            L_ShearBitmap(&Main.WorkBitmap, Gauge->value(), HorzRadioButton->isChecked(), Swatch);
        L_ChangeBitmapViewPerspective(&Main.WorkBitmap, &Main.WorkBitmap, TOP_LEFT);
    } catch (...) {
    }
    accept();
}
