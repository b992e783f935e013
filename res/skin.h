// SPDX-License-Identifier: GPL-3.0-or-later
// Skin images by numeric resource id.
#pragma once

#include <QImage>
#include <QList>
#include <QPixmap>
#include <QString>

// The resource path of the image with this id (":/skin/....png"), or an empty string for an
// unknown id. Id 0 always means no image.
QString SkinImagePath(int id);
// The image with this id; a null image when the id is 0, unknown or does not load.
QImage LoadSkinImage(int id);
QPixmap LoadSkinBitmap(int id);
// Every id the skin table knows, in table order.
QList<int> SkinImageIds();
