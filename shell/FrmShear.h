#pragma once

// TShearForm: the shear dialog "이미지 비틀기". It shows the picture scaled into its preview,
// sheared live as the angle bar, the direction or the background colour change, and on OK shears
// the working picture the same way.

#include <QDialog>

#include "kivo/imaging/Bitmap.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;
class TMainForm;
class TUpDown;

// The preview's paint box: paints PreviewBitmap fitted and centred.
class TShearPaintBox : public QWidget {
public:
    using QWidget::QWidget;
    const BitmapHandle* Bitmap = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class TShearForm : public QDialog {
    Q_OBJECT

public:
    explicit TShearForm(TMainForm& mainForm);
    ~TShearForm() override;

    // The picture scaled to the preview, untouched, and the sheared copy shown.
    BitmapHandle PreviewSource;
    BitmapHandle PreviewBitmap;

    QLabel* lblPreview = nullptr;
    TShearPaintBox* PaintBox = nullptr;
    QLabel* lblControl = nullptr;
    QToolButton* btnInitValue = nullptr;
    QSlider* Gauge = nullptr;
    QLineEdit* edtValue = nullptr;
    TUpDown* UpDown = nullptr;
    QGroupBox* grpDirection = nullptr;
    QRadioButton* HorzRadioButton = nullptr;  // tag 1
    QRadioButton* VertRadioButton = nullptr;  // tag 2
    QGroupBox* grpColour = nullptr;
    QToolButton* ShpSelectColor = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCANCEL = nullptr;

    // The background colour uncovered corners take.
    ColorRef SwatchColour() const { return Swatch; }
    void SetSwatchColour(ColorRef colour);

    // Builds the preview from WorkBitmap: a copy scaled to fit the paint box, kept as
    // PreviewSource too.
    void MakePreview(const BitmapHandle& work);

    void GaugeChange();
    void RadioButtonClick(int tag);
    void ShpSelectColorMouseDown();
    void btnInitValueClick();
    void UpDownClick();
    void btnOKClick();

protected:
    // Closing by any way releases both preview bitmaps.
    void done(int result) override;

private:
    TMainForm& Main;
    ColorRef Swatch = 0xFFFFFF;
    // PreviewBitmap := PreviewSource sheared by the bar's angle in the given direction.
    void Rebuild(bool horizontal);
    void ReleasePreviews();
};
