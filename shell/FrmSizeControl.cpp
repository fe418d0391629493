#include "FrmSizeControl.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "uFunctions.h"

namespace {

// The text as an integer, or nothing when it is not one (as the platform's conversion would
// fail).
std::optional<int> ToInt(const QString& text) {
    bool ok = false;
    int value = text.trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
}

// The other edit of a ratio-keeping pair: the integer part of other ÷ (start ÷ typed). A typed
// 0 has no ratio (the division fails), which leaves the other edit as it was.
void KeepRatio(const QString& typed, int start, int otherStart, TUpDown* upDown, QLineEdit* other) {
    upDown->SetPosition(ToInt(typed).value_or(32767));
    int value = ToInt(typed).value_or(start);
    if (value == 0) return;
    double ratio = double(start) / value;
    double result = std::trunc(otherStart / ratio);
    if (!std::isfinite(result) || std::abs(result) > std::numeric_limits<int>::max()) return;
    other->setText(QString::number(int64_t(result)));
}

}  // namespace

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Up = new QToolButton(this);
    Up->setArrowType(Qt::UpArrow);
    Up->setFixedSize(17, 11);
    Down = new QToolButton(this);
    Down->setArrowType(Qt::DownArrow);
    Down->setFixedSize(17, 11);
    layout->addWidget(Up);
    layout->addWidget(Down);
    connect(Up, &QToolButton::clicked, this, &TUpDown::ClickUp);
    connect(Down, &QToolButton::clicked, this, &TUpDown::ClickDown);
}

void TUpDown::SetPosition(int position) { Pos = std::clamp(position, Min, Max); }

void TUpDown::ClickUp() {
    SetPosition(Pos + 1);
    emit Clicked();
}

void TUpDown::ClickDown() {
    SetPosition(Pos - 1);
    emit Clicked();
}

TSizeCForm::TSizeCForm(QWidget* parent, int width, int height) : QDialog(parent) {
    setObjectName("SizeCForm");
    setWindowTitle("크기 변경");
    setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(322, 334);

    auto* layout = new QVBoxLayout(this);
    grpBoxSizeC = new QGroupBox("새 크기", this);
    auto* sizeLayout = new QGridLayout(grpBoxSizeC);
    btnRatio = new QCheckBox("가로 세로 비율 유지 ", grpBoxSizeC);
    btnRatio->setChecked(true);
    sizeLayout->addWidget(btnRatio, 0, 0, 1, 3);
    auto addRow = [&](int row, const QString& caption, QLabel*& label, QLineEdit*& edit,
                      TUpDown*& upDown) {
        label = new QLabel(caption, grpBoxSizeC);
        edit = new QLineEdit(grpBoxSizeC);
        edit->setMaxLength(5);
        edit->installEventFilter(this);
        upDown = new TUpDown(grpBoxSizeC);
        sizeLayout->addWidget(label, row, 0);
        sizeLayout->addWidget(edit, row, 1);
        sizeLayout->addWidget(upDown, row, 2);
    };
    addRow(1, "픽셀 너비 : ", lblSizeWidth, edtSizeWidth, UpDownWidth);
    addRow(2, "픽셀 높이 : ", lblSizeHeight, edtSizeHeight, UpDownHeight);
    layout->addWidget(grpBoxSizeC);

    grpBoxFilterC = new QGroupBox("설   정", this);
    auto* filterLayout = new QHBoxLayout(grpBoxFilterC);
    lblReFilter = new QLabel("리샘플링 필터 :  ", grpBoxFilterC);
    cbxReSampleFilter = new QComboBox(grpBoxFilterC);
    cbxReSampleFilter->addItems({"Normal", "FAVORBLACK", "RESAMPLE", "BICUBIC (권장)"});
    cbxReSampleFilter->setCurrentIndex(3);
    filterLayout->addWidget(lblReFilter);
    filterLayout->addWidget(cbxReSampleFilter, 1);
    layout->addWidget(grpBoxFilterC);
    layout->addStretch(1);

    auto* buttons = new QHBoxLayout;
    btnOK = new QPushButton("확  인", this);
    btnOK->setDefault(true);
    btnCANCEL = new QPushButton("취  소", this);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCANCEL);
    layout->addLayout(buttons);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCANCEL, &QPushButton::clicked, this, &QDialog::reject);

    connect(UpDownWidth, &TUpDown::Clicked, this, &TSizeCForm::UpDownWidthClick);
    connect(UpDownHeight, &TUpDown::Clicked, this, &TSizeCForm::UpDownHeightClick);

    StartWidth = width;
    StartHeight = height;
    UpDownWidth->SetPosition(width);
    UpDownHeight->SetPosition(height);
    edtSizeWidth->setText(QString::number(width));
    edtSizeHeight->setText(QString::number(height));
}

int TSizeCForm::MethodForIndex(int index) { return index == 3 ? 4 : std::clamp(index, 0, 2); }

bool TSizeCForm::ReadSize(int* width, int* height, QString* error) const {
    auto w = ToInt(ReplaceAll(edtSizeWidth->text(), ",", ""));
    auto h = ToInt(ReplaceAll(edtSizeHeight->text(), ",", ""));
    if (!w || !h) {
        if (error) {
            QString bad = !w ? edtSizeWidth->text() : edtSizeHeight->text();
            *error = QString("'%1' is not a valid integer value").arg(bad);
        }
        return false;
    }
    *width = *w;
    *height = *h;
    return true;
}

void TSizeCForm::edtSizeWidthKeyUp() {
    if (!btnRatio->isChecked() || edtSizeWidth->text().isEmpty()) return;
    KeepRatio(edtSizeWidth->text(), StartWidth, StartHeight, UpDownWidth, edtSizeHeight);
}

void TSizeCForm::edtSizeHeightKeyUp() {
    if (!btnRatio->isChecked() || edtSizeHeight->text().isEmpty()) return;
    KeepRatio(edtSizeHeight->text(), StartHeight, StartWidth, UpDownHeight, edtSizeWidth);
}

void TSizeCForm::UpDownWidthClick() {
    edtSizeWidth->setFocus();
    edtSizeWidth->setText(QString::number(UpDownWidth->Position()));
    edtSizeWidthKeyUp();
}

void TSizeCForm::UpDownHeightClick() {
    edtSizeHeight->setFocus();
    edtSizeHeight->setText(QString::number(UpDownHeight->Position()));
    edtSizeHeightKeyUp();
}

bool TSizeCForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtSizeWidth || watched == edtSizeHeight) {
        if (event->type() == QEvent::KeyPress) {
            // Only digits are typed in; control characters and the space pass.
            QString text = static_cast<QKeyEvent*>(event)->text();
            if (text.size() == 1 && text[0].unicode() > ' ' &&
                !(text[0] >= u'0' && text[0] <= u'9')) return true;
        } else if (event->type() == QEvent::KeyRelease) {
            if (watched == edtSizeWidth) edtSizeWidthKeyUp();
            else edtSizeHeightKeyUp();
        }
    }
    return QDialog::eventFilter(watched, event);
}
