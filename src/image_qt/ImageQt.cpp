// CRzImage's QImage bridges, apart from the image layer so that only the programs that show
// pictures link Qt Gui.
#include <QImage>

#include "image/Image.h"

QImage CRzImage::View() const {
    if (IsEmpty()) {
        return QImage();
    }
    return QImage(reinterpret_cast<const uchar*>(pixels_.get()), width_, height_,
                  static_cast<qsizetype>(stride()), QImage::Format_ARGB32);
}

QImage CRzImage::ToQImage() const {
    // copy() detaches from our buffer.
    return View().copy();
}
