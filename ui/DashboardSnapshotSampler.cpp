#include "DashboardSnapshotSampler.h"

#include <QImage>

#include <algorithm>

bool DashboardSnapshotSampler::looksRendered(const QImage &snapshot)
{
    const QImage bitmap = snapshot.convertToFormat(QImage::Format_RGB32);
    const int height = bitmap.height();
    const int width = bitmap.width();
    // Rows every max(height, 63) / 32 pixels, columns every width / 40; every one when tiny.
    const int rowStep = height <= 1 ? 1 : std::max(height, 63) / 32;
    const int columnStep = width < 80 ? 1 : width / 40;
    int samples = 0;
    int bright = 0;
    int coloured = 0;
    for (int y = 0; y < height; y += rowStep) {
        const auto *line = reinterpret_cast<const QRgb *>(bitmap.constScanLine(y));
        for (int x = 0; x < width; x += columnStep) {
            const QRgb pixel = line[x];
            const int red = qRed(pixel);
            const int green = qGreen(pixel);
            const int blue = qBlue(pixel);
            ++samples;
            if (0.2126 * red + 0.7152 * green + 0.0722 * blue > 55)
                ++bright;
            if (std::max({red, green, blue}) - std::min({red, green, blue}) > 10)
                ++coloured;
        }
    }
    return samples >= 1 && bright > 7 && coloured > 3;
}
