#include "WorkArea.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>

#include "FrmMain.h"

TScrollPaintBox::TScrollPaintBox(TMainForm* form, QWidget* parent)
    : QAbstractScrollArea(parent), Form(form) {
    setFrameShape(QFrame::NoFrame);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    // Every pixel is painted by the view itself (picture, white margins, frame), so Qt need not
    // clear the viewport first.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    // Drag events go to the first widget under the pointer that accepts drops: the viewport.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    horizontalScrollBar()->setTracking(true);
    verticalScrollBar()->setTracking(true);
}

int TScrollPaintBox::HorzPosition() const { return horizontalScrollBar()->value(); }
int TScrollPaintBox::VertPosition() const { return verticalScrollBar()->value(); }

void TScrollPaintBox::SetScrollRanges(int horizontal, int vertical) {
    RangeH = horizontal;
    RangeV = vertical;
    ApplyRanges();
}

void TScrollPaintBox::ApplyRanges() {
    QSize client = viewport()->size();
    horizontalScrollBar()->setPageStep(client.width());
    verticalScrollBar()->setPageStep(client.height());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setRange(0, std::max(0, RangeH - client.width()));
    verticalScrollBar()->setRange(0, std::max(0, RangeV - client.height()));
}

void TScrollPaintBox::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    Form->ScrollPaintBoxPaint(painter, event->rect());
}

void TScrollPaintBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) return;  // the popup menu takes it
    Form->ScrollPaintBoxMouseDown(event->position().toPoint().x(), event->position().toPoint().y());
}

void TScrollPaintBox::mouseMoveEvent(QMouseEvent* event) {
    Form->ScrollPaintBoxMouseMove(event->position().toPoint().x(), event->position().toPoint().y());
}

void TScrollPaintBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) return;
    Form->ScrollPaintBoxMouseUp(event->position().toPoint().x(), event->position().toPoint().y());
}

void TScrollPaintBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) return;
    // Qt delivers the second press of a double-click as this event: the double-click runs
    // first, then the press it replaces.
    Form->ScrollPaintBoxDblClick();
    Form->ScrollPaintBoxMouseDown(event->position().toPoint().x(), event->position().toPoint().y());
}

void TScrollPaintBox::wheelEvent(QWheelEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        int steps = event->angleDelta().y() / 120;
        for (; steps > 0; --steps) Form->actViewZoomInExecute();
        for (; steps < 0; ++steps) Form->actViewZoomOutExecute();
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void TScrollPaintBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    ApplyRanges();
    Form->CenterNoticePanel();
}

bool TScrollPaintBox::viewportEvent(QEvent* event) {
    bool handled = QAbstractScrollArea::viewportEvent(event);
    // The viewport may take its final size after the area's own resize (scroll bars appearing).
    if (event->type() == QEvent::Resize) {
        ApplyRanges();
        Form->CenterNoticePanel();
    }
    return handled;
}

void TScrollPaintBox::scrollContentsBy(int, int) { viewport()->update(); }

void TScrollPaintBox::contextMenuEvent(QContextMenuEvent* event) {
    if (Form->MainPopupMenu) Form->MainPopupMenu->popup(event->globalPos());
}

namespace {
QStringList LocalFiles(const QMimeData* mime) {
    QStringList files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    return files;
}
}  // namespace

void TScrollPaintBox::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TScrollPaintBox::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TScrollPaintBox::dropEvent(QDropEvent* event) {
    QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    // One picture at a time: the first file dropped is opened.
    Form->OpenChosenFile(files.first());
}

TPixelInfoBox::TPixelInfoBox(TMainForm* form, QWidget* parent) : QWidget(parent), Form(form) {
    setFixedSize(30, 18);
}

void TPixelInfoBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Form->pbxPixelInfoPaint(painter);
}
