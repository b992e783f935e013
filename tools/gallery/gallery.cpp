// SPDX-License-Identifier: GPL-3.0-or-later
// gallery [--lang ko|zh|jp|en] [--screenshot FILE] [--main-screenshot FILE]
// Every skinned control in each of its states, and every skin image of one language set.
#include <QApplication>
#include <QCommandLineParser>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <cstdio>

#include "controls/bitmapbuttontrans.h"
#include "controls/bitmapslider.h"
#include "controls/transbitmap.h"
#include "controls/xskinbutton.h"
#include "res/language.h"
#include "res/resid.h"
#include "res/skin.h"
#include "res/strings.h"

namespace {

const QColor kWindow(0x13, 0x15, 0x18);
const QColor kPanel(0x1d, 0x20, 0x25);
const QColor kBorder(0x2c, 0x31, 0x39);
const QColor kCaption(0x8d, 0x95, 0xa1);
const QColor kText(0xe6, 0xe9, 0xee);

// A rounded panel with a title; children are placed by absolute coordinates.
class Panel : public QWidget {
public:
    Panel(QWidget* parent, const QString& title, QRect geometry) : QWidget(parent), m_title(title)
    {
        setGeometry(geometry);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(kBorder, 1));
        p.setBrush(kPanel);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
        p.setPen(kCaption);
        QFont f = font();
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(12, 6, width() - 24, 16), Qt::AlignLeft | Qt::AlignVCenter, m_title.toUpper());
    }

private:
    QString m_title;
};

QLabel* Caption(QWidget* parent, const QString& text, QPoint at, int width = 90, int px = 11)
{
    auto* l = new QLabel(text, parent);
    QFont f = l->font();
    f.setPixelSize(px);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, kCaption);
    l->setPalette(pal);
    l->setGeometry(at.x(), at.y(), width, 16);
    return l;
}

struct ButtonRow {
    int base;
    const char* name;
};

// Four states of a four-image button: normal, selected (held down), focus image, disabled.
int AddButtonStates(QWidget* panel, int base, const QString& name, int x, int y, int colWidth,
                    int labelWidth = 88)
{
    Caption(panel, name, QPoint(x, y + 2), labelWidth - 4);
    int h = 0;
    for (int state = 0; state < 4; ++state) {
        auto* b = new CBitmapButtonTrans(panel);
        b->SetKeyColor(0);
        if (state == kSkinFocus) {
            b->LoadBitmaps(SkinId(base, kSkinFocus));  // what the focused button shows
        } else {
            b->LoadBitmaps(SkinId(base, kSkinNormal), SkinId(base, kSkinSelected), SkinId(base, kSkinFocus),
                           SkinId(base, kSkinDisabled));
        }
        b->SizeToContent();
        b->setFocusPolicy(Qt::NoFocus);
        b->move(x + labelWidth + state * colWidth, y);
        if (state == kSkinSelected) {
            b->setDown(true);
        } else if (state == kSkinDisabled) {
            b->setEnabled(false);
        }
        h = std::max(h, b->height());
    }
    return h;
}

// Unchecked, checked and disabled of a skinned check box.
void AddBoxStates(QWidget* panel, int normalId, int downId, int disabledId, const QString& name, int x, int y,
                  int colWidth, int labelWidth = 88)
{
    Caption(panel, name, QPoint(x, y + 2), labelWidth - 4);
    for (int state = 0; state < 3; ++state) {
        auto* b = new CxSkinButton(panel, 0, CxSkinButton::kCheckBox);
        b->LoadSkinImages(normalId, downId, 0, disabledId, 0, 0, CxSkinButton::kDrawAsIs, 0, 0);
        b->resize(b->sizeHint());
        b->setFocusPolicy(Qt::NoFocus);
        b->move(x + labelWidth + state * colWidth, y);
        if (state == 1) {
            b->SetCheck(true);
        } else if (state == 2) {
            b->setEnabled(false);
        }
    }
}

class Gallery : public QWidget {
public:
    Gallery(int primaryLanguage, const QString& langName)
    {
        setWindowTitle(LocalizedString(1109) + QStringLiteral(" skin gallery"));
        setWindowIcon(QIcon(LoadSkinBitmap(IDI_MAINFRAME)));
        const SkinSet set = SkinSetForLanguage(primaryLanguage);
        const char* setName = kSkinSetNames[static_cast<int>(set)];
        resize(1260, 972);

        // header
        auto* icon = new QLabel(this);
        icon->setPixmap(
            LoadSkinBitmap(IDI_MAINFRAME).scaled(40, 40, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        icon->setGeometry(16, 12, 40, 40);
        auto* title = new QLabel(LocalizedString(1109) + QStringLiteral("  \u2014  skin gallery"), this);
        QFont tf = title->font();
        tf.setPixelSize(20);
        tf.setBold(true);
        title->setFont(tf);
        QPalette tp = title->palette();
        tp.setColor(QPalette::WindowText, kText);
        title->setPalette(tp);
        title->setGeometry(66, 10, 600, 26);
        Caption(this,
                QStringLiteral("language module: %1   \u00b7   caption set: %2   \u00b7   %3 images")
                    .arg(CurrentLanguageModule() ? CurrentLanguageModule()->FilePath().section('/', -1)
                                                 : QStringLiteral("(built-in Korean)"),
                         QLatin1String(setName))
                    .arg(SkinImageIds().size()),
                QPoint(66, 36), 700);
        (void)langName;

        // four-image buttons
        const ButtonRow rows[] = {
            {IDB_BTN_PLAY, "PLAY"},           {IDB_BTN_PAUSE, "Pause"},
            {IDB_BTN_STOP, "STOP"},           {IDB_BTN_PREV, "PRE"},
            {IDB_BTN_NEXT, "NEXT"},           {IDB_BTN_BACK10, "<- SEC"},
            {IDB_BTN_FWD10, "-> SEC"},        {IDB_BTN_OPEN, "OPEN"},
            {IDB_BTN_CAPTURE, "Capture"},     {IDB_BTN_SETTINGS, "Settings"},
            {IDB_BTN_ZOOM, "Zoom"},           {IDB_BTN_MINIMIZE, "Minimise"},
            {IDB_BTN_FULLSCREEN, "Full"},     {IDB_BTN_RESTORE, "Restore"},
            {IDB_BTN_CLOSE, "Close"},         {IDB_BTN_CH3, "CH3"},
            {IDB_BTN_CH3_RETURN, "CH3 full"}, {IDB_BTN_CH3_CLOSE, "CH3 close"},
            {IDB_BTN_BRIGHTNESS, "Bright."},
        };
        auto* buttons = new Panel(this, QStringLiteral("Buttons: normal / selected / focus / disabled"),
                                  QRect(16, 64, 470, 650));
        const int half = (static_cast<int>(std::size(rows)) + 1) / 2;
        for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
            const int col = i < half ? 0 : 1;
            const int row = i < half ? i : i - half;
            if (rows[i].base == IDB_BTN_CH3) {
                continue;  // wide: placed below
            }
            AddButtonStates(buttons, rows[i].base, QString::fromLatin1(rows[i].name), 12 + col * 232,
                            32 + row * 30, 34);
        }
        AddButtonStates(buttons, IDB_BTN_CH3, QStringLiteral("CH3"), 12, 32 + half * 30 + 4, 86);
        AddBoxStates(buttons, SkinId(IDB_BOX_MUTE, kSkinNormal), SkinId(IDB_BOX_MUTE, kSkinSelected),
                     SkinId(IDB_BOX_MUTE, kSkinDisabled), QStringLiteral("Mute box"), 12, 32 + half * 30 + 40,
                     40);
        AddBoxStates(buttons, SkinId(IDB_BOX_MIRROR, kSkinNormal), SkinId(IDB_BOX_MIRROR, kSkinSelected),
                     SkinId(IDB_BOX_MIRROR, kSkinDisabled), QStringLiteral("Mirror box"), 244,
                     32 + half * 30 + 40, 40);

        // the application icon at the sizes the system asks for
        Caption(buttons, QStringLiteral("Application icon"), QPoint(12, 490), 200);
        int ix = 12;
        for (int size : {96, 64, 48, 32, 16}) {
            auto* l = new QLabel(buttons);
            l->setPixmap(LoadSkinBitmap(IDI_MAINFRAME)
                             .scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            l->setGeometry(ix, 512 + (96 - size) / 2, size, size);
            ix += size + 16;
        }

        // captioned buttons of this language set
        auto* captioned =
            new Panel(this, QStringLiteral("Captioned buttons (%1 set)").arg(QLatin1String(setName)),
                      QRect(500, 64, 744, 314));
        const struct {
            int item;
            const char* name;
        } langRows[] = {{IDL_SWAP, "Swap"}, {IDL_MAP_ENLARGE, "Map"}, {IDL_EXPORT, "Export"}};
        for (int i = 0; i < 3; ++i) {
            AddButtonStates(captioned, LangSkinId(langRows[i].item, set),
                            QString::fromLatin1(langRows[i].name), 12, 32 + i * 32, 164, 72);
        }
        const int cats[] = {IDL_CAT_DRIVING, IDL_CAT_EVENT, IDL_CAT_MOTION, IDL_CAT_MANUAL, IDL_CAT_ALL};
        for (int state = 0; state < 4; ++state) {
            Caption(captioned, QStringList{"Categories", "selected", "focus", "disabled"}[state],
                    QPoint(12, 134 + state * 30), 70);
            for (int i = 0; i < 5; ++i) {
                auto* b = new CBitmapButtonTrans(captioned);
                b->SetKeyColor(0);
                const int base = LangSkinId(cats[i], set);
                if (state == kSkinFocus) {
                    b->LoadBitmaps(SkinId(base, kSkinFocus));
                } else {
                    b->LoadBitmaps(base, SkinId(base, kSkinSelected), 0, SkinId(base, kSkinDisabled));
                }
                b->SizeToContent();
                b->setFocusPolicy(Qt::NoFocus);
                b->move(84 + i * 64, 132 + state * 30);
                b->setDown(state == kSkinSelected);
                b->setEnabled(state != kSkinDisabled);
            }
        }
        for (int i = 0; i < 2; ++i) {
            const int base = LangSkinId(i == 0 ? IDL_VIEW_TWO : IDL_VIEW_MAP, set);
            AddBoxStates(captioned, base, SkinId(base, kSkinSelected), SkinId(base, kSkinDisabled),
                         i == 0 ? QStringLiteral("View 402") : QStringLiteral("View 401"), 12, 252 + i * 30,
                         164, 72);
        }

        // sliders
        auto* sliders = new Panel(this, QStringLiteral("Sliders"), QRect(500, 388, 744, 96));
        auto addSlider = [&](int channel, int active, int thumb, int x, int y, int max, int pos, bool enabled,
                             bool focus) {
            auto* s = new CBitmapSlider(sliders);
            s->LoadChannelImages(channel, active, true, kKeyFromPixel, 0, 0);
            s->LoadThumbImages(thumb, thumb, true, kKeyFromPixel, 0, 0);
            s->SetRange(0, max);
            s->SetPosition(pos);
            s->Enable(enabled);
            s->move(x, y);
            if (focus) {
                s->setFocus();
            } else {
                s->setFocusPolicy(Qt::NoFocus);
            }
            return s;
        };
        Caption(sliders, QStringLiteral("Position"), QPoint(12, 32));
        addSlider(IDB_SLIDER_POS_CHANNEL, IDB_SLIDER_POS_ACTIVE, IDB_SLIDER_POS_THUMB, 100, 33, 100, 38, true,
                  false);
        Caption(sliders, QStringLiteral("disabled"), QPoint(12, 56));
        addSlider(IDB_SLIDER_POS_CHANNEL, IDB_SLIDER_POS_ACTIVE, IDB_SLIDER_POS_THUMB, 100, 57, 100, 38,
                  false, false);
        Caption(sliders, QStringLiteral("Volume"), QPoint(530, 32), 60);
        addSlider(IDB_SLIDER_VOL_CHANNEL, IDB_SLIDER_VOL_ACTIVE, IDB_SLIDER_VOL_THUMB, 600, 33, 99, 60, true,
                  false);
        Caption(sliders, QStringLiteral("Brightness"), QPoint(530, 56), 70);
        addSlider(IDB_SLIDER_BRIGHT_CHANNEL, IDB_SLIDER_BRIGHT_ACTIVE, IDB_SLIDER_BRIGHT_THUMB, 600, 57, 10,
                  5, true, false);
        Caption(sliders, QStringLiteral("focus frame"), QPoint(12, 80));
        addSlider(IDB_SLIDER_VOL_CHANNEL, IDB_SLIDER_VOL_ACTIVE, IDB_SLIDER_VOL_THUMB, 100, 81, 99, 20, true,
                  true);

        // vehicle-signal pictures with their labels from the string table
        auto* signalPanel = new Panel(this, QStringLiteral("Vehicle signals"), QRect(500, 494, 744, 220));
        const int turn[] = {IDB_TURN_NONE, IDB_TURN_LEFT, IDB_TURN_RIGHT, IDB_TURN_BOTH};
        const int pedal[] = {IDB_PEDAL_NONE, IDB_PEDAL_A, IDB_PEDAL_B, IDB_PEDAL_BA};
        const int gear[] = {IDB_GEAR_NONE, IDB_GEAR_P, IDB_GEAR_R, IDB_GEAR_N, IDB_GEAR_D};
        Caption(signalPanel, LocalizedString(1175), QPoint(12, 26), 300);
        for (int i = 0; i < 4; ++i) {
            auto* t = new TransBitmap(signalPanel, 788);
            t->SetBitmapId(turn[i]);
            t->setGeometry(12 + i * 88, 50, 83, 35);
        }
        Caption(signalPanel, LocalizedString(1176), QPoint(380, 26), 300);
        for (int i = 0; i < 4; ++i) {
            auto* t = new TransBitmap(signalPanel, 789);
            t->SetBitmapId(pedal[i]);
            t->setGeometry(380 + i * 64, 42, 60, 56);
        }
        Caption(signalPanel, LocalizedString(1177), QPoint(12, 104), 300);
        for (int i = 0; i < 5; ++i) {
            auto* t = new TransBitmap(signalPanel, 790);
            t->SetBitmapId(gear[i]);
            t->setGeometry(12 + (i % 4) * 176, 120 + (i / 4) * 46, 164, 44);
        }

        // backgrounds, scaled down
        auto* images = new Panel(this, QStringLiteral("Backgrounds and strings"), QRect(16, 724, 1228, 232));
        auto* mainBg = new QLabel(images);
        mainBg->setPixmap(
            LoadSkinBitmap(IDB_MAIN_BG).scaled(260, 196, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        mainBg->setGeometry(12, 28, 260, 196);
        auto* ch3 = new QLabel(images);
        ch3->setPixmap(
            LoadSkinBitmap(IDB_CH3_BG).scaled(260, 160, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        ch3->setGeometry(284, 28, 260, 160);
        auto* strings = new QLabel(images);
        QStringList lines;
        for (int id :
             {1109, 1115, 1116, 1125, 1111, 1112, 1113, 1131, 1133, 1134, 1107, 1178, 1179, 1180, 1181}) {
            lines << QStringLiteral("<span style='color:#6b7380'>%1</span>&nbsp;&nbsp;%2")
                         .arg(id)
                         .arg(LocalizedString(id).toHtmlEscaped());
        }
        strings->setText(lines.mid(0, 8).join(QStringLiteral("<br>")));
        auto* strings2 = new QLabel(images);
        strings2->setText(lines.mid(8).join(QStringLiteral("<br>")));
        for (QLabel* l : {strings, strings2}) {
            QPalette sp = l->palette();
            sp.setColor(QPalette::WindowText, kText);
            l->setPalette(sp);
            QFont f = l->font();
            f.setPixelSize(12);
            l->setFont(f);
            l->setAlignment(Qt::AlignTop | Qt::AlignLeft);
        }
        strings->setGeometry(560, 30, 300, 196);
        strings2->setGeometry(870, 30, 330, 196);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), kWindow);
    }
};

// The bare main background, as the main window paints it.
class MainBackground : public QWidget {
public:
    MainBackground() { setFixedSize(975, 736); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        p.drawPixmap(0, 0, LoadSkinBitmap(IDB_MAIN_BG));
    }
};

// The main background with every skinned control at its place in the normal layout.
class ComposedMain : public MainBackground {
public:
    explicit ComposedMain(SkinSet set)
    {
        const struct {
            int base, x, y;
        } buttons[] = {
            {IDB_BTN_MINIMIZE, 898, 5},
            {IDB_BTN_CLOSE, 946, 5},
            {IDB_BTN_FULLSCREEN, 922, 5},
            {IDB_BTN_CH3, 817, 5},
            {IDB_BTN_ZOOM, 431, 471},
            {IDB_BTN_SETTINGS, 546, 471},
            {IDB_BTN_CAPTURE, 484, 472},
            {IDB_BTN_OPEN, 28, 473},
            {IDB_BTN_STOP, 87, 474},
            {IDB_BTN_PREV, 137, 473},
            {IDB_BTN_BACK10, 198, 473},
            {IDB_BTN_PLAY, 261, 473},
            {IDB_BTN_FWD10, 313, 473},
            {IDB_BTN_NEXT, 368, 473},
            {IDB_BTN_BRIGHTNESS, 832, 472},
            {LangSkinId(IDL_SWAP, set), 326, 38},
            {LangSkinId(IDL_MAP_ENLARGE, set), 485, 38},
            {LangSkinId(IDL_CAT_DRIVING, set), 650, 38},
            {LangSkinId(IDL_CAT_EVENT, set), 714, 38},
            {LangSkinId(IDL_CAT_MOTION, set), 778, 38},
            {LangSkinId(IDL_CAT_MANUAL, set), 842, 38},
            {LangSkinId(IDL_CAT_ALL, set), 906, 38},
            {LangSkinId(IDL_EXPORT, set), 825, 218},
        };
        for (const auto& b : buttons) {
            auto* w = new CBitmapButtonTrans(this);
            w->SetKeyColor(0);
            w->LoadBitmaps(b.base, SkinId(b.base, kSkinSelected), SkinId(b.base, kSkinFocus),
                           SkinId(b.base, kSkinDisabled));
            w->SizeToContent();
            w->move(b.x, b.y);
            w->setEnabled(b.base != IDB_BTN_BRIGHTNESS);
        }
        const struct {
            int base, x, y;
            bool checked;
        } boxes[] = {{IDB_BOX_MUTE, 684, 472, false},
                     {IDB_BOX_MIRROR, 599, 470, false},
                     {LangSkinId(IDL_VIEW_TWO, set), 650, 246, true},
                     {LangSkinId(IDL_VIEW_MAP, set), 809, 246, false}};
        for (const auto& b : boxes) {
            auto* w = new CxSkinButton(this, 0, CxSkinButton::kCheckBox);
            w->LoadSkinImages(b.base, SkinId(b.base, kSkinSelected), 0, SkinId(b.base, kSkinDisabled), 0, 0,
                              CxSkinButton::kDrawAsIs, 0, 0);
            w->resize(w->sizeHint());
            w->move(b.x, b.y);
            w->SetCheck(b.checked);
        }
        const struct {
            int channel, x, y, max, pos;
        } sliders[] = {{IDB_SLIDER_POS_CHANNEL, 92, 432, 100, 35},
                       {IDB_SLIDER_VOL_CHANNEL, 715, 474, 99, 50},
                       {IDB_SLIDER_BRIGHT_CHANNEL, 864, 474, 10, 6}};
        for (const auto& sl : sliders) {
            auto* w = new CBitmapSlider(this);
            w->LoadChannelImages(sl.channel, sl.channel + 1, true, kKeyFromPixel, 0, 0);
            w->LoadThumbImages(sl.channel + 2, sl.channel + 2, true, kKeyFromPixel, 0, 0);
            w->SetRange(0, sl.max);
            w->SetPosition(sl.pos);
            w->move(sl.x, sl.y);
            w->setFocusPolicy(Qt::NoFocus);
        }
        const struct {
            int id, x, y, w, h;
        } pics[] = {{IDB_TURN_LEFT, 43, 552, 83, 35},
                    {IDB_PEDAL_A, 171, 543, 60, 56},
                    {IDB_GEAR_D, 281, 551, 164, 44}};
        for (const auto& pc : pics) {
            auto* t = new TransBitmap(this);
            t->SetBitmapId(pc.id);
            t->setGeometry(pc.x, pc.y, pc.w, pc.h);
        }
        const struct {
            int id, x, y, w, h;
        } labels[] = {{1175, 27, 511, 115, 25},  {1176, 142, 511, 115, 25}, {1177, 257, 511, 211, 25},
                      {1178, 468, 511, 120, 25}, {1179, 588, 511, 120, 25}, {1180, 708, 511, 120, 25},
                      {1181, 828, 511, 120, 25}};
        for (const auto& l : labels) {
            auto* q = new QLabel(LocalizedString(l.id), this);
            q->setAlignment(Qt::AlignCenter);
            q->setStyleSheet(QStringLiteral("color: white; font-weight: bold; font-size: 12px;"));
            q->setGeometry(l.x, l.y, l.w, l.h);
        }
        const struct {
            const char* text;
            int x, y, w, h, px;
            const char* colour;
        } texts[] = {{"00:01:25", 25, 433, 56, 14, 11, "white"}, {"00:04:00", 495, 433, 56, 14, 11, "white"},
                     {"57Km/h", 580, 433, 56, 14, 11, "red"},    {"57", 486, 555, 60, 35, 24, "white"},
                     {"2100", 623, 555, 60, 35, 24, "white"},    {"88", 743, 555, 60, 35, 24, "white"},
                     {"-12", 848, 555, 82, 35, 24, "white"}};
        for (const auto& t : texts) {
            auto* q = new QLabel(QString::fromLatin1(t.text), this);
            q->setAlignment(Qt::AlignCenter);
            q->setStyleSheet(
                QStringLiteral("color: %1; font-size: %2px;").arg(QLatin1String(t.colour)).arg(t.px));
            q->setGeometry(t.x, t.y, t.w, t.h);
        }
    }
};

int LanguageFromName(const QString& name)
{
    if (name == QLatin1String("zh")) {
        return LANG_PRIMARY_CHINESE;
    }
    if (name == QLatin1String("jp") || name == QLatin1String("ja")) {
        return LANG_PRIMARY_JAPANESE;
    }
    if (name == QLatin1String("en")) {
        return LANG_PRIMARY_ENGLISH;
    }
    if (name == QLatin1String("ko")) {
        return LANG_PRIMARY_KOREAN;
    }
    return UserPrimaryLanguage();
}

bool SaveGrab(QWidget* w, const QString& file)
{
    w->show();
    QApplication::processEvents();
    const bool ok = w->grab().save(file);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("lang"), QStringLiteral("ko, zh, jp or en (default: the system's)"),
                      QStringLiteral("lang")});
    parser.addOption({QStringLiteral("screenshot"), QStringLiteral("save the gallery as an image and quit"),
                      QStringLiteral("file")});
    parser.addOption({QStringLiteral("main-screenshot"),
                      QStringLiteral("save the bare main background and quit"), QStringLiteral("file")});
    parser.addOption({QStringLiteral("composed-screenshot"),
                      QStringLiteral("save the background with the controls at their places and quit"),
                      QStringLiteral("file")});
    parser.process(app);

    const QString langName = parser.value(QStringLiteral("lang"));
    const int primary = LanguageFromName(langName);
    LoadLanguageModule(primary);
    QFont font(primary == LANG_PRIMARY_CHINESE    ? QStringLiteral("Noto Sans CJK SC")
               : primary == LANG_PRIMARY_JAPANESE ? QStringLiteral("Noto Sans CJK JP")
                                                  : QStringLiteral("Noto Sans CJK KR"));
    font.setPixelSize(12);
    QApplication::setFont(font);

    int rc = 0;
    if (parser.isSet(QStringLiteral("main-screenshot"))) {
        MainBackground bg;
        rc = SaveGrab(&bg, parser.value(QStringLiteral("main-screenshot"))) ? 0 : 1;
        if (!parser.isSet(QStringLiteral("screenshot"))) {
            UnloadLanguageModule();
            return rc;
        }
    }
    if (parser.isSet(QStringLiteral("composed-screenshot"))) {
        ComposedMain composed(SkinSetForLanguage(primary));
        rc |= SaveGrab(&composed, parser.value(QStringLiteral("composed-screenshot"))) ? 0 : 1;
        if (!parser.isSet(QStringLiteral("screenshot"))) {
            UnloadLanguageModule();
            return rc;
        }
    }
    Gallery gallery(primary, langName);
    if (parser.isSet(QStringLiteral("screenshot"))) {
        rc |= SaveGrab(&gallery, parser.value(QStringLiteral("screenshot"))) ? 0 : 1;
        UnloadLanguageModule();
        return rc;
    }
    gallery.show();
    rc = app.exec();
    UnloadLanguageModule();
    return rc;
}
