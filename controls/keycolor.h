// SPDX-License-Identifier: GPL-3.0-or-later
// Key-colour transparency: pixels of one colour are left unpainted, so what lies behind shows.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRgb>

class QPainter;

// Asks for the key colour to be taken from the image pixel at (key x, key y).
constexpr QRgb kKeyFromPixel = 0xFF000000u;
// Colour values compare in their 24 RGB bits only; this is the magenta the buttons start with.
constexpr QRgb kDefaultKeyColor = 0xFF00FFu;

// The key colour to use: `key` itself, or the pixel at (x, y) when key is kKeyFromPixel
// (a pixel outside the image gives black).
QRgb ResolveKeyColor(const QImage& image, QRgb key, int x, int y);

// A copy of the image in which every pixel of the key colour is fully transparent and every other
// pixel is opaque. A null image gives a null image.
QImage KeyedImage(const QImage& image, QRgb key);

// Draws the image at (x, y) leaving its key-coloured pixels unpainted. Nothing happens when the
// painter or the image is missing.
void BlitWithKeyColor(QPainter* target, const QPixmap& image, int x, int y, QRgb key);

// Turns the image into its see-through form for the key colour (kKeyFromPixel takes it from
// (key x, key y)): returns the key mask (1 where the key colour was) and leaves the image with
// those pixels transparent. Returns the key colour used through usedKey when given.
QBitmap BuildKeyMask(QImage& image, QRgb key, int keyX, int keyY, QRgb* usedKey = nullptr);
