// The one Qt-dependent operation of TFastBMP, kept out of the effect library so that the effects
// and their tests need no Qt.
#include <QImage>
#include <QPainter>

#include "FastBMP.h"

namespace kivo::morefilters {

void TFastBMP::Draw(QPainter& painter, int x, int y) const {
    // The const-pointer constructor wraps the rows read-only; nothing is copied.
    const QImage view(static_cast<const uchar*>(PixelData), Width, Height, RowStride,
                      QImage::Format_BGR888);
    painter.drawImage(x, y, view);
}

}  // namespace kivo::morefilters
