#pragma once

// The plug-in's filter dialog "필터 적용": up to three sliders tune the chosen effect on the
// preview picture; OK applies the same effect with the same values to the full picture and writes
// it back as a 24-bit BMP; cancel writes nothing. Unrelated to the editor's main window of the same
// name.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "FastBMP.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolButton;

namespace kivo::morefilters {

// The up-down beside each value edit: two arrow buttons stepping a position within a range and
// showing it in the associated edit.
class TUpDown : public QWidget {
public:
    TUpDown(QWidget* parent, QLineEdit* associate, int tag);
    void SetRange(int min, int max);
    void SetPosition(int position);
    int Position() const { return Pos; }
    const int Tag;
    std::function<void(TUpDown*)> OnClick;

private:
    QLineEdit* Associate;
    QToolButton* btnUp;
    QToolButton* btnDown;
    int Min = 0;
    int Max = 100;
    int Pos = 0;
    void Step(int delta);
};

// The preview surface; painting is delegated to the dialog's PaintBoxPaint.
class TPaintBox : public QWidget {
public:
    explicit TPaintBox(QWidget* parent) : QWidget(parent) {}
    std::function<void(QPainter&)> OnPaint;

protected:
    void paintEvent(QPaintEvent*) override;
};

class TMainForm : public QDialog {
public:
    TMainForm();
    ~TMainForm() override;

    std::string PreviewPath;
    std::string ImagePath;

    void SetupControls(int number);
    void LoadPreview();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<TFastBMP> SourceBmp;
    std::unique_ptr<TFastBMP> TargetBmp;
    bool ImageLoaded = false;
    int FilterNumber = 0;

    QLabel* lblPreview;
    QFrame* pnlBBack;
    QFrame* pnlBack;
    TPaintBox* PaintBox;
    QFrame* pnlMenuBack;
    QSlider* GaugeBar1;
    QSlider* GaugeBar2;
    QSlider* GaugeBar3;
    QLineEdit* edtValue1;
    QLineEdit* edtValue2;
    QLineEdit* edtValue3;
    TUpDown* UpDown1;
    TUpDown* UpDown2;
    TUpDown* UpDown3;
    QLabel* lblInfo;
    QToolButton* btnInitValue;
    QPushButton* btnOK;
    QPushButton* btnCANCEL;

    void ApplyEffect();
    void GaugeBarChange(QSlider* sender);
    void UpDownClick(TUpDown* sender);
    void PaintBoxPaint(QPainter& painter);
    void btnInitValueClick();
    void btnOKClick();
    void btnCANCELClick();
};

}  // namespace kivo::morefilters
