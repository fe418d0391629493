#pragma once

// TSizeCForm: the resize dialog. It starts with the picture's size, keeps the width-to-height
// ratio while the user types or spins (when asked to), and hands the new size and resampling
// method to the resize command.

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// A spin button beside an edit, as the dialog shows them apart: its position runs from Min to
// Max and a click on either arrow moves it by one and reports the click.
class TUpDown : public QWidget {
    Q_OBJECT

public:
    explicit TUpDown(QWidget* parent = nullptr);
    int Min = 0;
    int Max = 32767;
    int Position() const { return Pos; }
    void SetPosition(int position);
    void ClickUp();
    void ClickDown();

signals:
    void Clicked();

private:
    int Pos = 0;
    QToolButton* Up;
    QToolButton* Down;
};

class TSizeCForm : public QDialog {
    Q_OBJECT

public:
    TSizeCForm(QWidget* parent, int width, int height);

    int StartWidth = 0;
    int StartHeight = 0;

    QGroupBox* grpBoxSizeC = nullptr;
    QCheckBox* btnRatio = nullptr;
    QLabel* lblSizeWidth = nullptr;
    QLineEdit* edtSizeWidth = nullptr;
    TUpDown* UpDownWidth = nullptr;
    QLabel* lblSizeHeight = nullptr;
    QLineEdit* edtSizeHeight = nullptr;
    TUpDown* UpDownHeight = nullptr;
    QGroupBox* grpBoxFilterC = nullptr;
    QLabel* lblReFilter = nullptr;
    QComboBox* cbxReSampleFilter = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCANCEL = nullptr;

    // The library's resize method for an entry of the resampling list: 0, 1, 2, then 4 for
    // "BICUBIC (권장)".
    static int MethodForIndex(int index);
    // The size the edits hold, with "," separators removed. False with the conversion error's
    // text when an edit holds no number.
    bool ReadSize(int* width, int* height, QString* error) const;

    void edtSizeWidthKeyUp();
    void edtSizeHeightKeyUp();
    void UpDownWidthClick();
    void UpDownHeightClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
