#include "controls/keycolor.h"

#include <QBitmap>
#include <QPainter>

QRgb ResolveKeyColor(const QImage& image, QRgb key, int x, int y)
{
    if (key != kKeyFromPixel) {
        return key & 0xFFFFFFu;
    }
    if (!image.valid(x, y)) {
        return 0;
    }
    return image.pixel(x, y) & 0xFFFFFFu;
}

QImage KeyedImage(const QImage& image, QRgb key)
{
    if (image.isNull()) {
        return {};
    }
    const QRgb key24 = key & 0xFFFFFFu;
    QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QImage out(rgb.size(), QImage::Format_ARGB32);
    out.setDevicePixelRatio(image.devicePixelRatio());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = src[x] & 0xFFFFFFu;
            dst[x] = (c == key24) ? 0u : (0xFF000000u | c);
        }
    }
    return out;
}

void BlitWithKeyColor(QPainter* target, const QPixmap& image, int x, int y, QRgb key)
{
    if (target == nullptr || image.isNull()) {
        return;
    }
    target->drawImage(x, y, KeyedImage(image.toImage(), key));
}

QBitmap BuildKeyMask(QImage& image, QRgb key, int keyX, int keyY, QRgb* usedKey)
{
    if (image.isNull()) {
        return {};
    }
    const QRgb k = ResolveKeyColor(image, key, keyX, keyY);
    if (usedKey != nullptr) {
        *usedKey = k;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    QBitmap mask = QBitmap::fromImage(rgb.createMaskFromColor(0xFF000000u | k, Qt::MaskInColor));
    image = KeyedImage(rgb, k);
    return mask;
}
