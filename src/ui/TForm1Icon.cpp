#include "ui/TForm1Icon.h"

#include <QImage>
#include <QPixmap>

QIcon TForm1Icon()
{
    // An envelope on a transparent ground, drawn with the 16-colour palette.
    QImage image(32, 32, QImage::Format_Indexed8);
    const QRgb palette[16] = {qRgba(0, 0, 0, 0), qRgb(0, 0, 0), qRgb(128, 0, 0), qRgb(0, 128, 0),
                              qRgb(128, 128, 0), qRgb(0, 0, 128), qRgb(128, 0, 128), qRgb(0, 128, 128),
                              qRgb(192, 192, 192), qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 255, 0),
                              qRgb(255, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 255), qRgb(255, 255, 255)};
    image.setColorCount(16);
    for (int i = 0; i < 16; ++i)
        image.setColor(i, palette[i]);
    image.fill(0);
    for (int y = 7; y <= 24; ++y) {
        for (int x = 2; x <= 29; ++x) {
            const bool edge = y == 7 || y == 24 || x == 2 || x == 29;
            // The flap: two lines from the top corners to the middle.
            const bool flap = (y - 7) == (x - 2) * 9 / 14 && x <= 16;
            const bool flap2 = (y - 7) == (29 - x) * 9 / 14 && x >= 16;
            image.setPixel(x, y, edge || flap || flap2 ? 5 : 15);
        }
    }
    image.setPixel(26, 10, 10);
    image.setPixel(25, 10, 10);
    image.setPixel(26, 11, 10);
    image.setPixel(25, 11, 10);
    return QIcon(QPixmap::fromImage(image));
}
