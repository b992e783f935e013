// Skin images by numeric resource id.
#pragma once

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QString>

// The resource path of the image with this id (":/skin/....png"), or an empty string for an
// unknown id. Id 0 always means no image.
QString SkinImagePath(int id);
// The image with this id; a null image when the id is 0, unknown or does not load. With a
// pixel ratio above 1 it is the image drawn at twice the pixels, with a device pixel ratio
// of 2 (the same size in device-independent pixels), where there is one.
QImage LoadSkinImage(int id, qreal pixelRatio = 1.0);
// As LoadSkinImage, at the ratio of the sharpest screen (SkinPixelRatio).
QPixmap LoadSkinBitmap(int id);
// The highest device pixel ratio of the screens, 1 without a GUI application.
qreal SkinPixelRatio();
// Every id the skin table knows, in table order.
QList<int> SkinImageIds();
