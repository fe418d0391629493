#include "kivo/imaging/qt/ScreenCapture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include "kivo/imaging/qt/Display.h"

int L_ScreenCaptureBitmap(QWidget* window, BitmapHandle* h, const BitmapRect* rect) {
    if (!h || !rect) return ERROR_INV_PARAMETER;
    const QRect area(QPoint(rect->Left, rect->Top), QPoint(rect->Right - 1, rect->Bottom - 1));
    if (area.isEmpty()) return ERROR_INV_PARAMETER;
    // Only the part inside the window or the screen is grabbed; the rest stays black.
    QPixmap shot;
    QRect taken;
    if (window) {
        taken = area & window->rect();
        if (!taken.isEmpty()) shot = window->grab(taken);
    } else {
        QScreen* screen = QGuiApplication::screenAt(area.topLeft());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (!screen) return ERROR_NO_SCREEN;
        // grabWindow(0) takes the whole desktop, in the screen's own coordinates.
        const QRect desktop = screen->geometry();
        taken = area & desktop;
        if (!taken.isEmpty())
            shot = screen->grabWindow(0, taken.x() - desktop.x(), taken.y() - desktop.y(),
                                      taken.width(), taken.height());
    }
    if (!taken.isEmpty() && shot.isNull()) return ERROR_NO_SCREEN;
    QImage picture(area.size(), QImage::Format_BGR888);
    picture.fill(Qt::black);
    if (!shot.isNull()) {
        QPainter painter(&picture);
        painter.drawPixmap(taken.topLeft() - area.topLeft(), shot);
    }
    BitmapHandle out;
    const int status = L_ConvertFromDDB(nullptr, &out, picture);
    if (status != SUCCESS) return status;
    *h = std::move(out);
    return SUCCESS;
}
