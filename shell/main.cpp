#include <QApplication>
#include <QFont>
#include <QFontDatabase>

#include "FrmMain.h"
#include "Memory.h"
#include "kivo/imaging/Bitmap.h"

int main(int argc, char** argv) {
    KeepPictureMemory();
    QApplication app(argc, argv);
    QApplication::setApplicationName("kivoEditor");
    // The window was laid out for a Korean sans font 12 pixels high.
    QFont font("NanumGothic");
    font.setPixelSize(12);
    QApplication::setFont(font);

    L_PreLoadFilters(5, 1, "BMP, TIF, GIF, JPG, PNG");
    TMainForm form(QApplication::arguments());
    form.show();
    return app.exec();
}
