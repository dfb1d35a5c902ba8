#include "ui/TForm1Icon.h"

#include "display/FormIcon.h"

#include <QImage>
#include <QPixmap>

QIcon TForm1Icon()
{
    QImage image(formicon::kSize, formicon::kSize, QImage::Format_Indexed8);
    image.setColorCount(16);
    image.setColor(0, qRgba(0, 0, 0, 0));
    for (int i = 1; i < 16; ++i)
        image.setColor(i, 0xFF000000u | formicon::kPalette[i]);
    for (int y = 0; y < formicon::kSize; ++y) {
        for (int x = 0; x < formicon::kSize; ++x)
            image.setPixel(x, y, static_cast<uint>(formicon::Pixel(x, y)));
    }
    return QIcon(QPixmap::fromImage(image));
}
