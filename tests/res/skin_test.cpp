// The skin table: every id has its image, in the size the windows place it at.
#include <gtest/gtest.h>

#include <QImage>

#include "res/resid.h"
#include "res/skin.h"

namespace {

TEST(Skin, EveryIdLoads)
{
    const QList<int> ids = SkinImageIds();
    EXPECT_EQ(ids.size(), 25 + 21 * 4 + 3 * 10 * 4);
    for (int id : ids) {
        EXPECT_FALSE(LoadSkinImage(id).isNull()) << id << " " << SkinImagePath(id).toStdString();
    }
    EXPECT_TRUE(LoadSkinImage(0).isNull());
    EXPECT_TRUE(LoadSkinBitmap(123456).isNull());
    EXPECT_TRUE(SkinImagePath(123456).isEmpty());
}

TEST(Skin, SizesMatchTheirPlaces)
{
    const struct {
        int id;
        int w, h;
    } sizes[] = {
        {IDB_MAIN_BG, 975, 736},
        {IDB_CH3_BG, 655, 401},
        {IDB_TURN_NONE, 83, 35},
        {IDB_TURN_BOTH, 83, 35},
        {IDB_PEDAL_NONE, 60, 56},
        {IDB_PEDAL_BA, 60, 56},
        {IDB_GEAR_NONE, 164, 44},
        {IDB_GEAR_D, 164, 44},
        {SkinId(IDB_BTN_PLAY, kSkinNormal), 15, 17},
        {SkinId(IDB_BTN_PAUSE, kSkinSelected), 15, 17},
        {SkinId(IDB_BTN_PREV, kSkinNormal), 31, 17},
        {SkinId(IDB_BTN_BACK10, kSkinNormal), 25, 16},
        {SkinId(IDB_BTN_CH3, kSkinDisabled), 76, 25},
        {SkinId(IDB_BTN_CLOSE, kSkinNormal), 25, 25},
        {SkinId(IDB_BTN_CAPTURE, kSkinNormal), 30, 20},
        {SkinId(IDB_BOX_MUTE, kSkinNormal), 27, 22},
        {SkinId(IDB_BOX_MIRROR, kSkinSelected), 30, 23},
        {IDB_SLIDER_POS_CHANNEL, 410, 14},
        {IDB_SLIDER_VOL_CHANNEL, 81, 14},
        {IDB_SLIDER_BRIGHT_ACTIVE, 81, 14},
        {LangSkinId(IDL_CAT_EVENT, SkinSet::Japanese), 65, 24},
        {LangSkinId(IDL_EXPORT, SkinSet::Chinese, kSkinSelected), 117, 20},
        {LangSkinId(IDL_VIEW_MAP, SkinSet::Default), 161, 24},
        {LangSkinId(IDL_SWAP, SkinSet::Default, kSkinDisabled), 161, 24},
    };
    for (const auto& s : sizes) {
        EXPECT_EQ(LoadSkinImage(s.id).size(), QSize(s.w, s.h)) << s.id;
    }
}

// For screens of pixel ratio 2 every image has a twin with twice the pixels, of the same
// size in device-independent pixels and with the same see-through pixels at its corner.
TEST(Skin, EveryImageHasATwinForRatioTwo)
{
    for (int id : SkinImageIds()) {
        const QImage one = LoadSkinImage(id);
        const QImage two = LoadSkinImage(id, 2.0);
        EXPECT_EQ(two.devicePixelRatio(), 2.0) << id;
        EXPECT_EQ(two.size(), one.size() * 2) << id;
        EXPECT_EQ(two.deviceIndependentSize().toSize(), one.size()) << id;
        const QRgb corner = one.pixel(0, 0) & 0xFFFFFF;
        if (corner == 0 || corner == 0xFF00FF) {  // a key colour
            EXPECT_EQ(two.pixel(0, 0) & 0xFFFFFF, corner) << id;
        }
    }
    EXPECT_EQ(LoadSkinImage(IDB_MAIN_BG, 1.5).devicePixelRatio(), 2.0);
    EXPECT_EQ(LoadSkinImage(IDB_MAIN_BG, 1.0).devicePixelRatio(), 1.0);
}

TEST(Skin, SliderImagesCarryTheirKeyInTheTopLeftPixel)
{
    for (int id : {IDB_SLIDER_POS_CHANNEL, IDB_SLIDER_POS_ACTIVE, IDB_SLIDER_POS_THUMB, IDB_SLIDER_VOL_THUMB,
                   IDB_SLIDER_BRIGHT_CHANNEL}) {
        const QImage img = LoadSkinImage(id);
        EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFF, 0xFF00FFu) << id;
        // the track in the middle row is not see-through
        EXPECT_NE(img.pixel(img.width() / 2, img.height() / 2) & 0xFFFFFF, 0xFF00FFu) << id;
    }
}

TEST(Skin, KeyedButtonsShowTheBackgroundAroundTheirFace)
{
    // a glyph button is black (see-through) in its corners and has drawn pixels in its middle
    for (int base : {IDB_BTN_PLAY, IDB_BTN_STOP, IDB_BTN_CLOSE, IDB_BTN_ZOOM}) {
        const QImage img = LoadSkinImage(SkinId(base, kSkinNormal));
        EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFF, 0u) << base;
        int drawn = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                drawn += (img.pixel(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
            }
        }
        EXPECT_GT(drawn, 10) << base;
    }
    // check boxes read the same as three-image (normal, down, disabled) or four-image sets
    for (int base : {IDB_BOX_MUTE, IDB_BOX_MIRROR, LangSkinId(IDL_VIEW_MAP, SkinSet::Japanese)}) {
        EXPECT_EQ(LoadSkinImage(SkinId(base, 2)), LoadSkinImage(SkinId(base, kSkinDisabled))) << base;
        EXPECT_NE(LoadSkinImage(SkinId(base, kSkinNormal)), LoadSkinImage(SkinId(base, kSkinSelected)))
            << base;
    }
    // the language sets differ in their captions
    EXPECT_NE(LoadSkinImage(LangSkinId(IDL_CAT_ALL, SkinSet::Default)),
              LoadSkinImage(LangSkinId(IDL_CAT_ALL, SkinSet::Chinese)));
    EXPECT_NE(LoadSkinImage(LangSkinId(IDL_CAT_ALL, SkinSet::Chinese)),
              LoadSkinImage(LangSkinId(IDL_CAT_ALL, SkinSet::Japanese)));
}

}  // namespace
