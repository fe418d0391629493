#pragma once

// The work area: a scroll area whose viewport shows the working image; it hands every paint,
// pointer and drop event to the main window, which owns the view state. And the 3 × 3 pixel
// colour box of the status bar.

#include <QAbstractScrollArea>
#include <QWidget>

class TMainForm;

class TScrollPaintBox : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit TScrollPaintBox(TMainForm* form, QWidget* parent = nullptr);

    int HorzPosition() const;
    int VertPosition() const;
    // Ranges as the view sets them: the zoomed picture's size (0 when there is none).
    void SetScrollRanges(int horizontal, int vertical);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TMainForm* Form;
    int RangeH = 0;
    int RangeV = 0;
    void ApplyRanges();
};

class TPixelInfoBox : public QWidget {
    Q_OBJECT

public:
    explicit TPixelInfoBox(TMainForm* form, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TMainForm* Form;
};
