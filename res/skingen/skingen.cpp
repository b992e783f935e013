// Draws every skin image of the viewer from code and writes them, with a resource list, into a
// folder: skingen <output folder>. Run by the build; the images are never edited by hand.
// Each image is drawn twice: "name.png" and, for screens of device pixel ratio 2, "name@2x.png"
// at twice the pixels, drawn from the same geometry so it stays sharp there.
//
// Buttons drawn with a key colour are painted over the exact part of the background they sit on,
// then every pixel left unchanged becomes the key colour: edges blend with the real background and
// the rest shows through.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>

#include "res/resid.h"

namespace {

// Palette: graphite panels, one azure accent.
const QColor kBgTop(0x1c, 0x1f, 0x24);
const QColor kBgBottom(0x13, 0x15, 0x18);
const QColor kPanelTop(0x23, 0x27, 0x2e);
const QColor kPanelBottom(0x1b, 0x1e, 0x23);
const QColor kPanelBorder(0x30, 0x35, 0x3e);
const QColor kPanelHighlight(0x3a, 0x40, 0x4a);
const QColor kScreen(0x06, 0x07, 0x09);
const QColor kText(0xe6, 0xe9, 0xee);
const QColor kTextDim(0x8d, 0x95, 0xa1);
const QColor kGlyph(0xc7, 0xcd, 0xd6);
const QColor kGlyphDisabled(0x4b, 0x51, 0x5a);
const QColor kAccent(0x35, 0x9c, 0xff);
const QColor kAccentDark(0x1f, 0x6f, 0xc9);
const QColor kAccentLight(0x7c, 0xc0, 0xff);
const QColor kDanger(0xe5, 0x48, 0x4d);
const QColor kGreen(0x3d, 0xdc, 0x84);
const QColor kUnlit(0x3a, 0x40, 0x49);
constexpr QRgb kBlackKey = 0x000000;   // key colour of the four-image buttons and signal pictures
constexpr QRgb kSliderKey = 0xFF00FF;  // see-through colour in the top-left pixel of slider images
constexpr QRgb kNearBlack = 0x010101;  // stands in for black content so it is not keyed out

QString g_outDir;
QStringList g_files;
int g_scale = 1;  // pixels per unit of the geometry below: 1, or 2 for the "@2x" images

QString FontFamily(const QString& set)
{
    if (set == QLatin1String("zh")) {
        return QStringLiteral("Noto Sans CJK SC");
    }
    if (set == QLatin1String("jp")) {
        return QStringLiteral("Noto Sans CJK JP");
    }
    return QStringLiteral("Noto Sans CJK KR");
}

QFont MakeFont(double px, int weight = QFont::Normal, const QString& set = QStringLiteral("ko"))
{
    QFont f(FontFamily(set));
    f.setPixelSize(1);
    f.setPointSizeF(px * 0.75);  // QImage paints at 96 dpi
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// The font shrunk until the text fits the width.
QFont FitFont(const QString& text, double px, double maxWidth, int weight, const QString& set)
{
    QFont f = MakeFont(px, weight, set);
    while (px > 7 && QFontMetricsF(f).horizontalAdvance(text) > maxWidth) {
        px -= 0.5;
        f = MakeFont(px, weight, set);
    }
    return f;
}

void Save(const QImage& img, const QString& name)
{
    const QString file =
        name + (g_scale == 1 ? QStringLiteral(".png") : QStringLiteral("@%1x.png").arg(g_scale));
    if (!img.save(QDir(g_outDir).filePath(file))) {
        std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(file));
        std::exit(1);
    }
    g_files << file;
}

// An image of w x h units: painters draw on it in units whatever its scale.
QImage NewImage(int w, int h, QColor fill = Qt::transparent)
{
    QImage img(w * g_scale, h * g_scale, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(g_scale);
    img.fill(fill);
    return img;
}

// The part of a drawn image under a place given in units.
QImage PartOf(const QImage& img, const QRect& place)
{
    return img.copy(QRect(place.topLeft() * g_scale, place.size() * g_scale));
}

// Keyed copy: pixels that `drawn` left as they were in `under` take the key colour; content that
// happens to equal the key is nudged off it.
QImage KeyAgainst(const QImage& drawn, const QImage& under, QRgb key)
{
    QImage out = drawn.convertToFormat(QImage::Format_RGB32);
    const QImage u = under.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto* s = reinterpret_cast<const QRgb*>(u.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = d[x] & 0xFFFFFF;
            if (c == (s[x] & 0xFFFFFF)) {
                d[x] = 0xFF000000 | key;
            } else if (c == key) {
                d[x] = 0xFF000000 | (key == 0 ? kNearBlack : (key ^ 0x010101));
            }
        }
    }
    return out;
}

// Flattens a transparent drawing over a plain matte colour; nearly transparent pixels become the key.
QImage KeyFlatten(const QImage& argb, QColor matte, QRgb key)
{
    QImage out(argb.size(), QImage::Format_RGB32);
    out.setDevicePixelRatio(argb.devicePixelRatio());
    out.fill(matte);
    QPainter p(&out);
    p.drawImage(0, 0, argb);
    p.end();
    const QImage a = argb.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        const auto* s = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            if (qAlpha(s[x]) < 24) {
                d[x] = 0xFF000000 | key;
            } else if ((d[x] & 0xFFFFFF) == key) {
                d[x] ^= 0x010101;
            }
        }
    }
    return out;
}

void Panel(QPainter& p, const QRectF& r, double radius, QColor top = kPanelTop, QColor bottom = kPanelBottom)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(kPanelBorder, 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    // a one-pixel light line along the top edge gives the panel some depth
    p.setPen(QPen(QColor(255, 255, 255, 14), 1));
    p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
}

void Screen(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(kPanelBorder, 1));
    p.setBrush(kScreen);
    p.drawRect(r.adjusted(-1.5, -1.5, 0.5, 0.5));
}

// A faint camera glyph centred in an empty video place.
void CameraMark(QPainter& p, const QPointF& c, double s, QColor col)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    QPainterPath body;
    body.addRoundedRect(QRectF(c.x() - s * 0.55, c.y() - s * 0.32, s * 0.8, s * 0.64), s * 0.1, s * 0.1);
    QPainterPath lens;
    lens.moveTo(c.x() + s * 0.28, c.y() - s * 0.08);
    lens.lineTo(c.x() + s * 0.55, c.y() - s * 0.26);
    lens.lineTo(c.x() + s * 0.55, c.y() + s * 0.26);
    lens.lineTo(c.x() + s * 0.28, c.y() + s * 0.08);
    lens.closeSubpath();
    p.drawPath(body.united(lens));
    p.restore();
}

void Logo(QPainter& p, const QRectF& r)
{
    p.save();
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, kAccentLight);
    g.setColorAt(1, kAccentDark);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, r.width() * 0.24, r.width() * 0.24);
    const QPointF c = r.center();
    const double s = r.width();
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawEllipse(c, s * 0.3, s * 0.3);
    p.setBrush(kAccentDark);
    p.drawEllipse(c, s * 0.19, s * 0.19);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawEllipse(c + QPointF(-s * 0.07, -s * 0.07), s * 0.06, s * 0.06);
    p.restore();
}

// ---------------------------------------------------------------------------------------------
// Window backdrops: the main window and the third camera's window share one look.

struct TitleBar {
    int height;
    QRectF logo;
    double titlePx;
    double titleX;
    QString title;
    double subtitleX;
    QString subtitle;
};

// The body's gradient over the whole image, then the title bar with its rule, logo and titles.
void WindowBackdrop(QPainter& p, const QImage& img, const TitleBar& bar)
{
    const QSizeF size = img.deviceIndependentSize();
    QLinearGradient bg(0, 0, 0, size.height());
    bg.setColorAt(0, kBgTop);
    bg.setColorAt(1, kBgBottom);
    p.fillRect(QRectF(QPointF(0, 0), size), bg);

    QLinearGradient tb(0, 0, 0, bar.height);
    tb.setColorAt(0, QColor(0x25, 0x29, 0x30));
    tb.setColorAt(1, QColor(0x1d, 0x20, 0x25));
    p.fillRect(QRectF(0, 0, size.width(), bar.height), tb);
    p.setPen(QPen(QColor(0x2c, 0x31, 0x39), 1));
    p.drawLine(QPointF(0, bar.height - 0.5), QPointF(size.width(), bar.height - 0.5));
    Logo(p, bar.logo);
    p.setPen(kText);
    p.setFont(MakeFont(bar.titlePx, QFont::DemiBold));
    p.drawText(QRectF(bar.titleX, 0, 200, bar.height), Qt::AlignVCenter | Qt::AlignLeft, bar.title);
    p.setPen(kTextDim);
    p.setFont(MakeFont(11));
    p.drawText(QRectF(bar.subtitleX, 1, 200, bar.height), Qt::AlignVCenter | Qt::AlignLeft, bar.subtitle);
}

// ---------------------------------------------------------------------------------------------
// Main background

QImage MainBackground()
{
    QImage img = NewImage(975, 736);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    WindowBackdrop(p, img,
                   {.height = 34,
                    .logo = QRectF(10, 7, 20, 20),
                    .titlePx = 14,
                    .titleX = 38,
                    .title = QStringLiteral("MUB Viewer"),
                    .subtitleX = 132,
                    .subtitle = QStringLiteral("Blackbox Player")});
    // window controls sit on a darker strip
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x17, 0x19, 0x1d));
    p.drawRoundedRect(QRectF(812, 3, 161, 29), 6, 6);

    // toolbar strip above the video and the list
    Panel(p, QRectF(2, 36, 646, 26), 5);
    p.setPen(kTextDim);
    p.setFont(MakeFont(10.5, QFont::DemiBold));
    p.drawText(QRectF(14, 36, 200, 26), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("PLAYBACK"));
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawEllipse(QPointF(8.5, 49), 2.2, 2.2);
    Panel(p, QRectF(648, 36, 325, 26), 5);

    // main video place and its frame
    Panel(p, QRectF(0, 62, 648, 364), 4, QColor(0x1f, 0x23, 0x29), QColor(0x1a, 0x1d, 0x22));
    Screen(p, QRectF(4, 64, 640, 360));
    CameraMark(p, QPointF(324, 244), 64, QColor(0x15, 0x17, 0x1b));

    // recording list, export row, view boxes, side place
    Panel(p, QRectF(648, 62, 325, 389), 4, QColor(0x1f, 0x23, 0x29), QColor(0x1a, 0x1d, 0x22));
    Screen(p, QRectF(650, 65, 320, 150));
    p.setPen(QPen(QColor(0x2a, 0x2f, 0x37), 1));
    p.drawLine(QPointF(652, 241.5), QPointF(968, 241.5));
    p.setPen(kTextDim);
    p.setFont(MakeFont(10.5, QFont::DemiBold));
    p.drawText(QRectF(656, 216, 160, 24), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("RECORDINGS"));
    Screen(p, QRectF(650, 270, 320, 178));
    CameraMark(p, QPointF(810, 359), 40, QColor(0x15, 0x17, 0x1b));

    // time row under the main place
    Panel(p, QRectF(2, 427, 646, 24), 5);
    // transport row and the audio/brightness row
    Panel(p, QRectF(2, 462, 646, 40), 8);
    Panel(p, QRectF(648, 462, 325, 40), 8);
    p.setPen(QPen(QColor(0x2c, 0x31, 0x39), 1));
    for (const double x : {66.5, 416.5, 589.5}) {
        p.drawLine(QPointF(x, 470), QPointF(x, 494));
    }
    p.drawLine(QPointF(818.5, 470), QPointF(818.5, 494));

    // vehicle-signal row: a header band with the labels, a column per signal
    Panel(p, QRectF(2, 506, 971, 100), 8);
    QLinearGradient hb(0, 507, 0, 537);
    hb.setColorAt(0, QColor(0x29, 0x2e, 0x36));
    hb.setColorAt(1, QColor(0x23, 0x27, 0x2e));
    p.setPen(Qt::NoPen);
    p.setBrush(hb);
    p.drawRoundedRect(QRectF(3, 507, 969, 30), 7, 7);
    p.fillRect(QRectF(3, 525, 969, 12), QColor(0x23, 0x27, 0x2e));
    p.setPen(QPen(QColor(0x2c, 0x31, 0x39), 1));
    p.drawLine(QPointF(3, 537.5), QPointF(972, 537.5));
    for (const double x : {142.5, 257.5, 468.5, 588.5, 708.5, 828.5}) {
        p.drawLine(QPointF(x, 512), QPointF(x, 600));
    }
    // unit captions under the numbers
    p.setPen(kTextDim);
    p.setFont(MakeFont(10));
    const struct {
        double x, w;
        const char* unit;
    } units[] = {
        {486, 60, "km/h"}, {623, 60, "rpm"}, {743, 60, "\u00b0C"}, {848, 82, "deg"}};  // under the numbers
    for (const auto& u : units) {
        p.drawText(QRectF(u.x, 588, u.w, 16), Qt::AlignCenter, QString::fromUtf8(u.unit));
    }

    // G-sensor chart frame and its legend
    Panel(p, QRectF(2, 612, 796, 120), 8);
    p.setPen(QPen(kPanelBorder, 1));
    p.setBrush(QColor(0x01, 0x00, 0x00));
    p.drawRect(QRectF(29.5, 619.5, 761, 105));
    p.save();
    p.translate(17, 672);
    p.rotate(-90);
    p.setPen(kTextDim);
    p.setFont(MakeFont(10, QFont::DemiBold));
    p.drawText(QRectF(-50, -8, 100, 16), Qt::AlignCenter, QStringLiteral("G-SENSOR"));
    p.restore();

    Panel(p, QRectF(800, 612, 173, 120), 8);
    Logo(p, QRectF(814, 626, 30, 30));
    p.setPen(kText);
    p.setFont(MakeFont(17, QFont::Bold));
    p.drawText(QRectF(852, 624, 120, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("MUB"));
    p.setPen(kTextDim);
    p.setFont(MakeFont(11));
    p.drawText(QRectF(852, 642, 120, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Viewer"));
    const struct {
        QColor c;
        const char* name;
    } axes[] = {{QColor(0, 0, 255), "X"}, {QColor(255, 255, 0), "Y"}, {QColor(255, 0, 0), "Z"}};
    for (int i = 0; i < 3; ++i) {
        const double y = 674 + i * 17;
        p.setPen(QPen(axes[i].c, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(818, y), QPointF(840, y));
        p.setPen(kTextDim);
        p.setFont(MakeFont(10.5, QFont::DemiBold));
        p.drawText(QRectF(848, y - 8, 100, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1 axis").arg(QLatin1String(axes[i].name)));
    }
    p.end();
    return img.convertToFormat(QImage::Format_RGB32);
}

// ---------------------------------------------------------------------------------------------
// Glyphs for the icon buttons, drawn into a rectangle in one colour.

using Glyph = std::function<void(QPainter&, const QRectF&, QColor)>;

void Tri(QPainter& p, QPointF a, QPointF b, QPointF c)
{
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    p.drawPath(path);
}

void GlyphPlay(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    const double h = std::min(r.height(), r.width() * 1.2) * 0.82;
    const QPointF m = r.center();
    Tri(p, QPointF(m.x() - h * 0.36, m.y() - h / 2), QPointF(m.x() + h * 0.46, m.y()),
        QPointF(m.x() - h * 0.36, m.y() + h / 2));
}

void GlyphPause(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const double h = r.height() * 0.74;
    const QPointF m = r.center();
    p.drawRoundedRect(QRectF(m.x() - 4.6, m.y() - h / 2, 3.4, h), 1, 1);
    p.drawRoundedRect(QRectF(m.x() + 1.2, m.y() - h / 2, 3.4, h), 1, 1);
}

void GlyphStop(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const double s = std::min(r.width(), r.height()) * 0.66;
    p.drawRoundedRect(QRectF(r.center().x() - s / 2, r.center().y() - s / 2, s, s), 1.6, 1.6);
}

// Previous/next: a bar and a triangle (dir -1 points left).
void GlyphStep(QPainter& p, const QRectF& r, QColor c, int dir)
{
    p.setPen(QPen(c, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    const QPointF m = r.center();
    const double h = r.height() * 0.7;
    const double w = h * 0.9;
    for (int k = 0; k < 2; ++k) {
        const double x0 = m.x() + dir * (k == 0 ? -w * 0.55 : w * 0.45);
        Tri(p, QPointF(x0 - dir * w * 0.5, m.y() - h / 2), QPointF(x0 + dir * w * 0.5, m.y()),
            QPointF(x0 - dir * w * 0.5, m.y() + h / 2));
    }
    p.setPen(Qt::NoPen);
    const double bx = m.x() + dir * (w * 0.95 + 1.2);
    p.drawRoundedRect(QRectF(bx - 1.2, m.y() - h / 2, 2.4, h), 0.8, 0.8);
}

// Ten-second skip: a circular arrow around "10".
void GlyphSkip(QPainter& p, const QRectF& r, QColor c, int dir)
{
    const QPointF m = r.center() + QPointF(0, 0.3);
    const double rad = r.height() * 0.42;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
    const QRectF arc(m.x() - rad - 3, m.y() - rad, 2 * rad + 6, 2 * rad);
    // an open circle whose gap sits at the top, on the side the arrow points to
    const int startDeg = dir < 0 ? 120 : -220;
    p.drawArc(arc, startDeg * 16, 280 * 16);
    // arrow head at the arc's start
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const double hx = dir < 0 ? arc.left() + arc.width() * 0.22 : arc.right() - arc.width() * 0.22;
    const double hy = arc.top() + 0.6;
    Tri(p, QPointF(hx - dir * 3.2, hy - 2.6), QPointF(hx + dir * 1.6, hy + 0.2),
        QPointF(hx - dir * 3.0, hy + 3.0));
    p.setPen(c);
    QFont f = MakeFont(7.5, QFont::Bold);
    p.setFont(f);
    p.drawText(arc.adjusted(0, 0.5, 0, 0), Qt::AlignCenter, QStringLiteral("10"));
}

void GlyphFolder(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    const QRectF b(r.left() + 1.5, r.top() + 3, r.width() - 3, r.height() - 5.5);
    QPainterPath path;
    path.moveTo(b.left(), b.top() + 1);
    path.lineTo(b.left() + b.width() * 0.38, b.top() + 1);
    path.lineTo(b.left() + b.width() * 0.48, b.top() + 3);
    path.lineTo(b.right(), b.top() + 3);
    path.lineTo(b.right(), b.bottom());
    path.lineTo(b.left(), b.bottom());
    path.closeSubpath();
    p.drawPath(path);
    p.setBrush(QColor(0, 0, 0, 90));
    p.drawRect(QRectF(b.left(), b.top() + 5, b.width(), 1));
}

void GlyphMinimize(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    const QPointF m = r.center();
    p.drawLine(QPointF(m.x() - 5, m.y() + 3), QPointF(m.x() + 5, m.y() + 3));
}

void GlyphClose(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    const QPointF m = r.center();
    p.drawLine(m + QPointF(-4.5, -4.5), m + QPointF(4.5, 4.5));
    p.drawLine(m + QPointF(-4.5, 4.5), m + QPointF(4.5, -4.5));
}

void GlyphFullscreen(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF m = r.center();
    const double a = 5.5, b = 2.5;
    for (int sx : {-1, 1}) {
        for (int sy : {-1, 1}) {
            QPainterPath path;
            path.moveTo(m + QPointF(sx * a, sy * (a - b)));
            path.lineTo(m + QPointF(sx * a, sy * a));
            path.lineTo(m + QPointF(sx * (a - b), sy * a));
            p.drawPath(path);
        }
    }
}

void GlyphRestore(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF m = r.center();
    p.drawRoundedRect(QRectF(m.x() - 5, m.y() - 2, 7.5, 7), 1.2, 1.2);
    QPainterPath back;
    back.moveTo(m.x() - 2.5, m.y() - 3.5);
    back.lineTo(m.x() - 2.5, m.y() - 5);
    back.lineTo(m.x() + 5, m.y() - 5);
    back.lineTo(m.x() + 5, m.y() + 2);
    back.lineTo(m.x() + 3.5, m.y() + 2);
    p.drawPath(back);
}

void GlyphZoom(QPainter& p, const QRectF& r, QColor c)
{
    p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF m = r.center() + QPointF(-1.5, -1.5);
    p.drawEllipse(m, 5, 5);
    p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(m + QPointF(3.8, 3.8), m + QPointF(7, 7));
    p.setPen(QPen(c, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(m + QPointF(-2.4, 0), m + QPointF(2.4, 0));
    p.drawLine(m + QPointF(0, -2.4), m + QPointF(0, 2.4));
}

void GlyphGear(QPainter& p, const QRectF& r, QColor c)
{
    const QPointF m = r.center();
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double a0 = (i - 0.5) * std::numbers::pi / teeth;
        const double a1 = (i + 0.5) * std::numbers::pi / teeth;
        const double rad = (i % 2 == 0) ? 8.0 : 6.0;
        const QPointF p0 = m + QPointF(std::cos(a0) * rad, std::sin(a0) * rad);
        const QPointF p1 = m + QPointF(std::cos(a1) * rad, std::sin(a1) * rad);
        if (i == 0) {
            gear.moveTo(p0);
        } else {
            gear.lineTo(p0);
        }
        gear.lineTo(p1);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(m, 2.6, 2.6);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(gear.subtracted(hole));
}

void GlyphCamera(QPainter& p, const QRectF& r, QColor c)
{
    const QPointF m = r.center() + QPointF(0, 0.5);
    QPainterPath body;
    body.addRoundedRect(QRectF(m.x() - 9, m.y() - 5.5, 18, 12), 2.5, 2.5);
    body.addRoundedRect(QRectF(m.x() - 4, m.y() - 8, 8, 4), 1.2, 1.2);
    QPainterPath lens;
    lens.addEllipse(m + QPointF(0, 0.5), 3.6, 3.6);
    QPainterPath dot;
    dot.addEllipse(m + QPointF(0, 0.5), 1.8, 1.8);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(body.simplified().subtracted(lens).united(dot));
}

void GlyphSun(QPainter& p, const QRectF& r, QColor c)
{
    const QPointF m = r.center();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(m, 3.6, 3.6);
    p.setPen(QPen(c, 1.5, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 8; ++i) {
        const double a = i * std::numbers::pi / 4;
        p.drawLine(m + QPointF(std::cos(a) * 5.8, std::sin(a) * 5.8),
                   m + QPointF(std::cos(a) * 8, std::sin(a) * 8));
    }
}

void GlyphSpeaker(QPainter& p, const QRectF& r, QColor c, bool muted)
{
    const QPointF m = r.center() + QPointF(-3, 0);
    QPainterPath body;
    body.moveTo(m + QPointF(-5, -2.6));
    body.lineTo(m + QPointF(-2, -2.6));
    body.lineTo(m + QPointF(2, -6));
    body.lineTo(m + QPointF(2, 6));
    body.lineTo(m + QPointF(-2, 2.6));
    body.lineTo(m + QPointF(-5, 2.6));
    body.closeSubpath();
    p.setPen(QPen(c, 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    p.drawPath(body);
    p.setBrush(Qt::NoBrush);
    if (muted) {
        p.setPen(QPen(kDanger, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(m + QPointF(5, -3), m + QPointF(11, 3));
        p.drawLine(m + QPointF(5, 3), m + QPointF(11, -3));
    } else {
        p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(m.x() - 1, m.y() - 4, 8, 8), -50 * 16, 100 * 16);
        p.drawArc(QRectF(m.x() - 3, m.y() - 7.5, 15, 15), -50 * 16, 100 * 16);
    }
}

void GlyphMirror(QPainter& p, const QRectF& r, QColor c, QColor axis)
{
    const QPointF m = r.center();
    p.setPen(QPen(c, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(c);
    Tri(p, m + QPointF(-2.5, -6), m + QPointF(-2.5, 6), m + QPointF(-10, 6));
    p.setBrush(Qt::NoBrush);
    Tri(p, m + QPointF(2.5, -6), m + QPointF(2.5, 6), m + QPointF(10, 6));
    p.setPen(QPen(axis, 1.2, Qt::DashLine, Qt::FlatCap));
    p.drawLine(m + QPointF(0, -8.5), m + QPointF(0, 8.5));
}

// ---------------------------------------------------------------------------------------------
// Buttons

// State colours of a plain glyph button.
QColor GlyphColor(int state, bool accentNormal = false)
{
    switch (state) {
        case kSkinSelected:
            return kAccentLight;
        case kSkinFocus:
            return QColor(0xff, 0xff, 0xff);
        case kSkinDisabled:
            return kGlyphDisabled;
        default:
            return accentNormal ? kAccent : kGlyph;
    }
}

// Draws the four states of a key-coloured button over the background it sits on.
void KeyedButton(const char* name, const QImage& bg, const QRect& place,
                 const std::function<void(QPainter&, int)>& draw)
{
    const QImage under = PartOf(bg, place).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int s = 0; s < 4; ++s) {
        QImage img = under;
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        draw(p, s);
        p.end();
        Save(KeyAgainst(img, under, kBlackKey), QStringLiteral("%1_%2").arg(name, kSkinStateNames[s]));
    }
}

// A glyph button with a soft round backplate on press and focus.
void GlyphButton(const char* name, const QImage& bg, const QRect& place, const Glyph& glyph,
                 bool accentNormal = false, bool roundPlate = true, QColor pressPlate = kAccent)
{
    KeyedButton(name, bg, place, [&](QPainter& p, int s) {
        const QRectF r(0, 0, place.width(), place.height());
        if (s == kSkinSelected || s == kSkinFocus) {
            QColor plate = s == kSkinSelected ? pressPlate : QColor(0xff, 0xff, 0xff);
            plate.setAlpha(s == kSkinSelected ? 70 : 22);
            p.setPen(Qt::NoPen);
            p.setBrush(plate);
            if (roundPlate) {
                const double d = std::min(r.width(), r.height()) - 1;
                p.drawEllipse(QRectF(r.center().x() - d / 2, r.center().y() - d / 2, d, d));
            } else {
                p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
            }
        }
        glyph(p, r, GlyphColor(s, accentNormal));
    });
}

// A rounded text pill (CH3, captioned buttons).
void PillFace(QPainter& p, const QRectF& r, int s, double radius, bool checkedLook = false)
{
    QColor top(0x2b, 0x30, 0x38), bottom(0x23, 0x27, 0x2e), border(0x3a, 0x40, 0x4a);
    if (s == kSkinSelected || checkedLook) {
        top = kAccent;
        bottom = kAccentDark;
        border = kAccentLight.darker(115);
    } else if (s == kSkinFocus) {
        top = QColor(0x31, 0x37, 0x40);
        bottom = QColor(0x28, 0x2d, 0x35);
        border = kAccent;
    } else if (s == kSkinDisabled) {
        top = QColor(0x21, 0x24, 0x2a);
        bottom = QColor(0x1d, 0x20, 0x25);
        border = QColor(0x2a, 0x2e, 0x35);
    }
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(QPen(border, 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    if (s != kSkinDisabled) {
        p.setPen(QPen(QColor(255, 255, 255, s == kSkinSelected || checkedLook ? 60 : 16), 1));
        p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
    }
}

QColor PillText(int s, bool checkedLook = false)
{
    if (s == kSkinSelected || checkedLook) {
        return QColor(0xff, 0xff, 0xff);
    }
    if (s == kSkinDisabled) {
        return kGlyphDisabled;
    }
    return s == kSkinFocus ? QColor(0xff, 0xff, 0xff) : QColor(0xd3, 0xd8, 0xdf);
}

void TextPill(const QString& name, const QImage& bg, const QRect& place, const QString& text,
              const QString& set, const Glyph& icon = nullptr, double inset = 1)
{
    KeyedButton(qPrintable(name), bg, place, [&](QPainter& p, int s) {
        const QRectF r = QRectF(0, 0, place.width(), place.height()).adjusted(inset, inset, -inset, -inset);
        PillFace(p, r, s, std::min(6.0, r.height() / 2));
        QRectF tr = r.adjusted(6, 0, -6, 0);
        if (icon) {
            const QRectF ir(tr.left(), r.top(), r.height(), r.height());
            icon(p, ir, PillText(s));
            tr.setLeft(ir.right() + 2);
        }
        p.setPen(PillText(s));
        p.setFont(FitFont(text, 12, tr.width(), QFont::DemiBold, set));
        p.drawText(tr, Qt::AlignCenter, text);
    });
}

// Opaque check-box images (CxSkinButton draws them as they are): normal, down, disabled, disabled.
// Check boxes have no focus image, so the third slot repeats the disabled one: a three-image reader
// (normal, down, disabled) finds the same pictures.
void OpaqueBox(const QString& name, const QImage& bg, const QRect& place,
               const std::function<void(QPainter&, int)>& draw)
{
    for (int s = 0; s < 4; ++s) {
        QImage img = PartOf(bg, place).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p, s == kSkinFocus ? kSkinDisabled : s);
        p.end();
        Save(img.convertToFormat(QImage::Format_RGB32),
             QStringLiteral("%1_%2").arg(name, kSkinStateNames[s]));
    }
}

// A captioned view toggle: a round indicator and the caption; down means checked.
void ViewBox(const QString& name, const QImage& bg, const QRect& place, const QString& text,
             const QString& set)
{
    OpaqueBox(name, bg, place, [&](QPainter& p, int s) {
        const bool on = s == kSkinSelected;
        const QRectF r = QRectF(0, 0, place.width(), place.height()).adjusted(1, 1, -1, -1);
        PillFace(p, r, on ? kSkinNormal : s, 6);
        if (on) {
            p.setPen(Qt::NoPen);
            p.setBrush(kAccent);
            p.drawRoundedRect(QRectF(r.left() + 10, r.bottom() - 3, r.width() - 20, 2), 1, 1);
        }
        const QPointF c(r.left() + 13, r.center().y());
        p.setPen(QPen(on ? kAccent : (s == kSkinDisabled ? kGlyphDisabled : kTextDim), 1.4));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 5, 5);
        if (on) {
            p.setPen(Qt::NoPen);
            p.setBrush(kAccentLight);
            p.drawEllipse(c, 2.6, 2.6);
        }
        p.setPen(on ? QColor(0xff, 0xff, 0xff) : PillText(s == kSkinSelected ? kSkinNormal : s));
        const QRectF tr = r.adjusted(24, 0, -8, 0);
        p.setFont(FitFont(text, 12, tr.width(), QFont::DemiBold, set));
        p.drawText(tr, Qt::AlignCenter, text);
    });
}

// ---------------------------------------------------------------------------------------------
// Sliders: channel, active channel and thumb; the top-left pixel is the see-through colour.

void SliderImages(const char* prefix, int w, int h, double trackH)
{
    const QRectF track(3, (h - trackH) / 2, w - 6, trackH);
    QImage ch = NewImage(w, h);
    {
        QPainter p(&ch);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x0c, 0x0e, 0x11));
        p.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), trackH / 2 + 0.5, trackH / 2 + 0.5);
        p.setBrush(QColor(0x34, 0x3a, 0x44));
        p.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), trackH / 2, trackH / 2);
    }
    QImage act = NewImage(w, h);
    {
        QPainter p(&act);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(track.topLeft(), track.topRight());
        g.setColorAt(0, kAccentDark);
        g.setColorAt(1, kAccent);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x0c, 0x0e, 0x11));
        p.drawRoundedRect(track.adjusted(-0.5, -0.5, 0.5, 0.5), trackH / 2 + 0.5, trackH / 2 + 0.5);
        p.setBrush(g);
        p.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), trackH / 2, trackH / 2);
    }
    const int t = h;
    QImage th = NewImage(t, t);
    {
        QPainter p(&th);
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(t / 2.0, t / 2.0);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 110));
        p.drawEllipse(c + QPointF(0, 0.6), t / 2.0 - 0.4, t / 2.0 - 0.4);
        QRadialGradient g(c + QPointF(-1.5, -2), t / 2.0);
        g.setColorAt(0, QColor(0xff, 0xff, 0xff));
        g.setColorAt(1, QColor(0xd5, 0xdb, 0xe3));
        p.setBrush(g);
        p.drawEllipse(c, t / 2.0 - 1.2, t / 2.0 - 1.2);
        p.setBrush(kAccent);
        p.drawEllipse(c, t / 5.5, t / 5.5);
    }
    const QColor matte(0x20, 0x24, 0x2a);
    Save(KeyFlatten(ch, matte, kSliderKey), QStringLiteral("%1_channel").arg(prefix));
    Save(KeyFlatten(act, matte, kSliderKey), QStringLiteral("%1_active").arg(prefix));
    Save(KeyFlatten(th, matte, kSliderKey), QStringLiteral("%1_thumb").arg(prefix));
}

// ---------------------------------------------------------------------------------------------
// Vehicle-signal pictures (black shows the background).

void SignalPicture(const QString& name, const QImage& bg, const QRect& place,
                   const std::function<void(QPainter&)>& draw)
{
    const QImage under = PartOf(bg, place).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage img = under;
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    draw(p);
    p.end();
    Save(KeyAgainst(img, under, kBlackKey), name);
}

void TurnArrow(QPainter& p, const QPointF& tip, int dir, QColor c, bool lit)
{
    QPainterPath a;
    a.moveTo(tip);
    a.lineTo(tip + QPointF(-dir * 13, -11));
    a.lineTo(tip + QPointF(-dir * 13, -5));
    a.lineTo(tip + QPointF(-dir * 27, -5));
    a.lineTo(tip + QPointF(-dir * 27, 5));
    a.lineTo(tip + QPointF(-dir * 13, 5));
    a.lineTo(tip + QPointF(-dir * 13, 11));
    a.closeSubpath();
    if (lit) {
        QColor glow = c;
        glow.setAlpha(60);
        p.setPen(QPen(glow, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(a);
    }
    p.setPen(
        QPen(lit ? c.lighter(115) : QColor(0x4a, 0x51, 0x5b), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(lit ? c : kUnlit);
    p.drawPath(a);
}

void Pedal(QPainter& p, const QRectF& r, const QString& letter, QColor litColor, bool lit)
{
    QPainterPath path;
    path.addRoundedRect(r, 5, 5);
    if (lit) {
        QColor glow = litColor;
        glow.setAlpha(70);
        p.setPen(QPen(glow, 3));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, lit ? litColor.lighter(120) : QColor(0x3e, 0x44, 0x4e));
    g.setColorAt(1, lit ? litColor.darker(115) : QColor(0x30, 0x35, 0x3d));
    p.setPen(QPen(lit ? litColor.lighter(140) : QColor(0x4a, 0x51, 0x5b), 1));
    p.setBrush(g);
    p.drawPath(path);
    // tread lines
    p.setPen(
        QPen(lit ? QColor(255, 255, 255, 70) : QColor(0x26, 0x2a, 0x30), 1.2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const double y = r.top() + 8 + i * 4;
        p.drawLine(QPointF(r.left() + 5, y), QPointF(r.right() - 5, y));
    }
    p.setPen(lit ? QColor(0xff, 0xff, 0xff) : QColor(0x8d, 0x95, 0xa1));
    p.setFont(MakeFont(14, QFont::Bold));
    p.drawText(QRectF(r.left(), r.bottom() - 22, r.width(), 20), Qt::AlignCenter, letter);
}

// ---------------------------------------------------------------------------------------------

void AppIcon()
{
    const int s = 256;
    QImage img = NewImage(s, s);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, QColor(0x2e, 0x33, 0x3b));
    g.setColorAt(1, QColor(0x15, 0x17, 0x1b));
    p.setPen(QPen(QColor(0x40, 0x46, 0x50), 4));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(10, 10, s - 20, s - 20), 52, 52);
    const QPointF c(s / 2.0, s / 2.0 + 4);
    QRadialGradient ring(c, 80);
    ring.setColorAt(0.0, kAccentLight);
    ring.setColorAt(1.0, kAccentDark);
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(c, 80, 80);
    p.setBrush(QColor(0x10, 0x12, 0x15));
    p.drawEllipse(c, 60, 60);
    p.setBrush(QColor(0xff, 0xff, 0xff));
    Tri(p, c + QPointF(-20, -32), c + QPointF(34, 0), c + QPointF(-20, 32));
    p.setBrush(kDanger);
    p.drawEllipse(QPointF(196, 58), 13, 13);
    p.end();
    Save(img, QStringLiteral("app_icon"));
}

void Ch3Background(QImage* out)
{
    QImage img = NewImage(655, 401);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    WindowBackdrop(p, img,
                   {.height = 31,
                    .logo = QRectF(9, 7, 17, 17),
                    .titlePx = 13,
                    .titleX = 33,
                    .title = QStringLiteral("CH3"),
                    .subtitleX = 66,
                    .subtitle = QStringLiteral("Third camera")});
    p.setPen(QPen(QColor(0x2e, 0x33, 0x3b), 1));
    p.drawRect(QRectF(0.5, 0.5, 654, 400));
    Screen(p, QRectF(8, 34, 640, 360));
    CameraMark(p, QPointF(328, 214), 60, QColor(0x15, 0x17, 0x1b));
    p.end();
    *out = img.convertToFormat(QImage::Format_RGB32);
    Save(*out, QStringLiteral("ch3_bg"));
}

struct LangCaptions {
    const char* set;
    const char* swap;
    const char* mapEnlarge;
    const char* cat[5];  // driving, event, motion, manual, all
    const char* exportText;
    const char* viewTwo;
    const char* viewMap;
};

const LangCaptions kCaptions[3] = {
    {"ko",
     "전후방 전환",
     "지도 크게보기",
     {"상시녹화", "이벤트녹화", "모션녹화", "수동녹화", "전체보기"},
     "파일 내보내기",
     "2채널 보기",
     "지도 보기"},
    {"zh",
     "前后画面切换",
     "放大地图",
     {"常规录像", "事件录像", "移动录像", "手动录像", "全部"},
     "导出文件",
     "双画面",
     "显示地图"},
    {"jp",
     "前後カメラ切替",
     "地図を拡大",
     {"常時録画", "イベント", "モーション", "手動録画", "すべて"},
     "ファイル書き出し",
     "2画面表示",
     "地図表示"},
};

void SwapIcon(QPainter& p, const QRectF& r, QColor c)
{
    const QPointF m = r.center();
    p.setPen(QPen(c, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(m + QPointF(-6, -2.5), m + QPointF(5, -2.5));
    p.drawLine(m + QPointF(5, -2.5), m + QPointF(2, -5.5));
    p.drawLine(m + QPointF(6, 2.5), m + QPointF(-5, 2.5));
    p.drawLine(m + QPointF(-5, 2.5), m + QPointF(-2, 5.5));
}

void MapIcon(QPainter& p, const QRectF& r, QColor c)
{
    const QPointF m = r.center() + QPointF(0, -1);
    QPainterPath pin;
    pin.moveTo(m + QPointF(0, 7));
    pin.cubicTo(m + QPointF(-6, 0), m + QPointF(-5.5, -6), m + QPointF(0, -6));
    pin.cubicTo(m + QPointF(5.5, -6), m + QPointF(6, 0), m + QPointF(0, 7));
    QPainterPath hole;
    hole.addEllipse(m + QPointF(0, -1.5), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(pin.subtracted(hole));
}

void ExportIcon(QPainter& p, const QRectF& r, QColor c)
{
    const QPointF m = r.center();
    p.setPen(QPen(c, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawLine(m + QPointF(0, -5.5), m + QPointF(0, 2.5));
    p.drawLine(m + QPointF(-3.2, -0.5), m + QPointF(0, 2.7));
    p.drawLine(m + QPointF(3.2, -0.5), m + QPointF(0, 2.7));
    p.drawLine(m + QPointF(-5, 5.5), m + QPointF(5, 5.5));
}

void WriteQrc()
{
    QFile f(QDir(g_outDir).filePath(QStringLiteral("skin.qrc")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "skingen: cannot write skin.qrc\n");
        std::exit(1);
    }
    QTextStream out(&f);
    out << "<RCC>\n  <qresource prefix=\"/skin\">\n";
    for (const QString& file : g_files) {
        out << "    <file>" << file << "</file>\n";
    }
    out << "  </qresource>\n</RCC>\n";
}

// Every image at the current scale.
void DrawSkin()
{
    const QImage bg = MainBackground();
    Save(bg, QStringLiteral("main_bg"));
    QImage ch3;
    Ch3Background(&ch3);
    AppIcon();

    // title bar
    GlyphButton("btn_minimize", bg, QRect(898, 5, 25, 25), GlyphMinimize, false, false);
    GlyphButton("btn_fullscreen", bg, QRect(922, 5, 25, 25), GlyphFullscreen, false, false);
    GlyphButton("btn_close", bg, QRect(946, 5, 25, 25), GlyphClose, false, false, kDanger);
    // restore shows in the full-screen layout only, over the black window
    {
        const QImage black = NewImage(975, 736, Qt::black).convertToFormat(QImage::Format_RGB32);
        GlyphButton("btn_restore", black, QRect(906, 5, 25, 25), GlyphRestore, false, false);
    }
    TextPill(
        QStringLiteral("btn_ch3"), bg, QRect(817, 5, 76, 25), QStringLiteral("CH3"), QStringLiteral("ko"),
        [](QPainter& p, const QRectF& r, QColor c) { GlyphCamera(p, r.adjusted(1, 2, 1, -2), c); }, 2);
    GlyphButton("btn_ch3_return", ch3, QRect(602, 5, 25, 25), GlyphFullscreen, false, false);
    GlyphButton("btn_ch3_close", ch3, QRect(626, 5, 25, 25), GlyphClose, false, false, kDanger);

    // transport row
    GlyphButton("btn_open", bg, QRect(28, 473, 19, 17), GlyphFolder, false, false);
    GlyphButton("btn_stop", bg, QRect(87, 474, 15, 17), GlyphStop);
    GlyphButton(
        "btn_prev", bg, QRect(137, 473, 31, 17),
        [](QPainter& p, const QRectF& r, QColor c) { GlyphStep(p, r, c, -1); }, false, false);
    GlyphButton(
        "btn_back10", bg, QRect(198, 473, 25, 16),
        [](QPainter& p, const QRectF& r, QColor c) { GlyphSkip(p, r, c, -1); }, false, false);
    GlyphButton("btn_play", bg, QRect(261, 473, 15, 17), GlyphPlay, true);
    GlyphButton("btn_pause", bg, QRect(261, 473, 15, 17), GlyphPause, true);
    GlyphButton(
        "btn_fwd10", bg, QRect(313, 473, 25, 16),
        [](QPainter& p, const QRectF& r, QColor c) { GlyphSkip(p, r, c, 1); }, false, false);
    GlyphButton(
        "btn_next", bg, QRect(368, 473, 31, 17),
        [](QPainter& p, const QRectF& r, QColor c) { GlyphStep(p, r, c, 1); }, false, false);
    GlyphButton("btn_zoom", bg, QRect(431, 471, 21, 21), GlyphZoom);
    GlyphButton("btn_capture", bg, QRect(484, 472, 30, 20), GlyphCamera, false, false);
    GlyphButton("btn_settings", bg, QRect(546, 471, 21, 21), GlyphGear);
    // the inert button beside the brightness slider always shows its (disabled) sun
    KeyedButton("btn_brightness", bg, QRect(832, 472, 24, 25),
                [](QPainter& p, int) { GlyphSun(p, QRectF(0, 0, 24, 25), QColor(0x9a, 0xa2, 0xad)); });

    // skinned check boxes, drawn opaque over their place
    OpaqueBox(QStringLiteral("box_mute"), bg, QRect(684, 472, 27, 22), [](QPainter& p, int s) {
        const QRectF r(0, 0, 27, 22);
        GlyphSpeaker(p, r, s == kSkinDisabled ? kGlyphDisabled : kGlyph, s == kSkinSelected);
    });
    OpaqueBox(QStringLiteral("box_mirror"), bg, QRect(599, 470, 30, 23), [](QPainter& p, int s) {
        const QRectF r(0, 0, 30, 23);
        if (s == kSkinSelected) {
            QColor plate = kAccent;
            plate.setAlpha(60);
            p.setPen(Qt::NoPen);
            p.setBrush(plate);
            p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 5, 5);
        }
        const QColor c = s == kSkinDisabled ? kGlyphDisabled : (s == kSkinSelected ? kAccentLight : kGlyph);
        GlyphMirror(p, r, c, s == kSkinSelected ? kAccentLight : kTextDim);
    });

    // sliders
    SliderImages("slider_pos", 410, 14, 4);
    SliderImages("slider_vol", 81, 14, 4);
    SliderImages("slider_bright", 81, 14, 4);

    // vehicle-signal pictures
    struct TurnPic {
        const char* name;
        bool left, right;
    } const turns[] = {{"turn_none", false, false},
                       {"turn_left", true, false},
                       {"turn_right", false, true},
                       {"turn_both", true, true}};
    for (const TurnPic& t : turns) {
        SignalPicture(QString::fromLatin1(t.name), bg, QRect(43, 552, 83, 35), [&](QPainter& p) {
            TurnArrow(p, QPointF(3, 17.5), -1, kGreen, t.left);
            TurnArrow(p, QPointF(80, 17.5), 1, kGreen, t.right);
        });
    }
    struct PedalPic {
        const char* name;
        bool b, a;
    } const pedals[] = {{"pedal_none", false, false},
                        {"pedal_a", false, true},
                        {"pedal_b", true, false},
                        {"pedal_ba", true, true}};
    for (const PedalPic& pp : pedals) {
        SignalPicture(QString::fromLatin1(pp.name), bg, QRect(171, 543, 60, 56), [&](QPainter& p) {
            Pedal(p, QRectF(3, 10, 25, 42), QStringLiteral("B"), kDanger, pp.b);
            Pedal(p, QRectF(33, 3, 24, 49), QStringLiteral("A"), kGreen, pp.a);
        });
    }
    const char* gearNames[] = {"gear_none", "gear_p", "gear_r", "gear_n", "gear_d"};
    for (int lit = 0; lit < 5; ++lit) {
        SignalPicture(QString::fromLatin1(gearNames[lit]), bg, QRect(281, 551, 164, 44), [&](QPainter& p) {
            const char* letters[] = {"P", "R", "N", "D"};
            const QColor litColors[] = {kAccent, kDanger, QColor(0xf5, 0xa6, 0x23), kGreen};
            for (int i = 0; i < 4; ++i) {
                const QRectF r(4 + i * 40, 4, 36, 36);
                const bool on = lit == i + 1;
                if (on) {
                    QColor glow = litColors[i];
                    glow.setAlpha(70);
                    p.setPen(QPen(glow, 3));
                    p.setBrush(Qt::NoBrush);
                    p.drawRoundedRect(r, 8, 8);
                }
                QLinearGradient g(r.topLeft(), r.bottomLeft());
                g.setColorAt(0, on ? litColors[i].lighter(115) : QColor(0x2e, 0x33, 0x3b));
                g.setColorAt(1, on ? litColors[i].darker(120) : QColor(0x25, 0x29, 0x30));
                p.setPen(QPen(on ? litColors[i].lighter(140) : QColor(0x3a, 0x40, 0x4a), 1));
                p.setBrush(g);
                p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
                p.setPen(on ? QColor(0xff, 0xff, 0xff) : QColor(0x6b, 0x73, 0x7e));
                p.setFont(MakeFont(20, QFont::Bold));
                p.drawText(r, Qt::AlignCenter, QString::fromLatin1(letters[i]));
            }
        });
    }

    // captioned buttons, one set per language
    for (const LangCaptions& lc : kCaptions) {
        const QString set = QString::fromLatin1(lc.set);
        auto nm = [&](const char* base) { return QStringLiteral("%1_%2").arg(QLatin1String(base), set); };
        TextPill(nm("swap"), bg, QRect(326, 38, 161, 24), QString::fromUtf8(lc.swap), set, SwapIcon, 1.5);
        TextPill(nm("map_enlarge"), bg, QRect(485, 38, 161, 24), QString::fromUtf8(lc.mapEnlarge), set,
                 MapIcon, 1.5);
        const char* catNames[] = {"cat_driving", "cat_event", "cat_motion", "cat_manual", "cat_all"};
        for (int i = 0; i < 5; ++i) {
            TextPill(nm(catNames[i]), bg, QRect(650 + 64 * i, 38, 65, 24), QString::fromUtf8(lc.cat[i]), set,
                     nullptr, 1.5);
        }
        TextPill(nm("export"), bg, QRect(825, 218, 117, 20), QString::fromUtf8(lc.exportText), set,
                 ExportIcon, 0);
        ViewBox(nm("view_two"), bg, QRect(650, 246, 161, 24), QString::fromUtf8(lc.viewTwo), set);
        ViewBox(nm("view_map"), bg, QRect(809, 246, 161, 24), QString::fromUtf8(lc.viewMap), set);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: skingen <output folder>\n");
        return 2;
    }
    g_outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_outDir);

    for (const int scale : {1, 2}) {
        g_scale = scale;
        DrawSkin();
    }
    WriteQrc();
    return 0;
}
