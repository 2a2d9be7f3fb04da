// SPDX-License-Identifier: GPL-2.0-or-later
// Draws Tavrin's window art: the skinned frames, logos, button states, the
// progress strip and the icons. Run at build time; every picture the program
// shows is made here, so the art can be changed by changing this file.
//
//   sbartgen ART_ROOT RES_DIR [ICON_ROOT]
// writes ART_ROOT/sounds/ISORes/ (layout 0), ART_ROOT/sounds/ISORes2/
// (layout 1), the icons and the strip into RES_DIR, and the desktop's icons
// (PNGs 16 to 256 and an SVG) into ICON_ROOT/hicolor/.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

namespace {

constexpr QRgb Key = 0xFF00FF;

// One set of window art. Sizes follow the two window layouts: the positions
// of the buttons, logos and labels are fixed by the program, the art is
// drawn around them.
struct TSkin {
    QString Folder;
    int Width, Height;
    int HeaderHeight;  // title band with the top logo and the min/close buttons
    int SidebarWidth;  // left band with the left logo and the version labels
    int FooterTop;     // band with the five bottom buttons
    QSize TitleButton; // min and close
    QSize BottomButton;
    QSize LeftLogo;
    bool Dark; // dark side band (white labels) or light one (grey labels)
};

const QColor HeaderTop(0x1B, 0x2B, 0x41);
const QColor HeaderBottom(0x22, 0x37, 0x52);
const QColor Accent(0x3B, 0x82, 0xF6);
const QColor AccentLight(0x60, 0xA5, 0xFA);
const QColor Teal(0x14, 0xB8, 0xA6);

QFont uiFont(double pt, int weight = QFont::Normal) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(pt);
    f.setWeight(static_cast<QFont::Weight>(weight));
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QLinearGradient headerGradient(int height) {
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, HeaderTop);
    g.setColorAt(1, HeaderBottom);
    return g;
}

// A stylised disc: rings with a soft sheen, the way the program's icon and
// logos show it.
void drawDisc(QPainter& p, const QPointF& c, double r, const QColor& tint) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    QRadialGradient body(c, r);
    body.setColorAt(0.0, QColor(0xF8, 0xFA, 0xFC));
    body.setColorAt(0.55, QColor(0xE2, 0xE8, 0xF0));
    body.setColorAt(1.0, QColor(0xC8, 0xD2, 0xDE));
    p.setPen(QPen(QColor(0x94, 0xA3, 0xB8), std::max(1.0, r / 40)));
    p.setBrush(body);
    p.drawEllipse(c, r, r);

    // A sweep of colour across the data area.
    QConicalGradient sheen(c, 30);
    QColor t1 = tint;
    t1.setAlpha(150);
    QColor t2 = tint.lighter(150);
    t2.setAlpha(40);
    sheen.setColorAt(0.0, t1);
    sheen.setColorAt(0.18, t2);
    sheen.setColorAt(0.5, t1);
    sheen.setColorAt(0.68, t2);
    sheen.setColorAt(1.0, t1);
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    QPainterPath ring;
    ring.addEllipse(c, r * 0.93, r * 0.93);
    ring.addEllipse(c, r * 0.36, r * 0.36);
    p.drawPath(ring);

    p.setBrush(Qt::NoBrush);
    for (double f : {0.52, 0.68, 0.84}) {
        p.setPen(QPen(QColor(255, 255, 255, 70), std::max(0.6, r / 70)));
        p.drawEllipse(c, r * f, r * f);
    }
    // Hub and hole.
    p.setPen(QPen(QColor(0x94, 0xA3, 0xB8), std::max(0.8, r / 60)));
    p.setBrush(QColor(0xF1, 0xF5, 0xF9));
    p.drawEllipse(c, r * 0.30, r * 0.30);
    p.setBrush(QColor(0, 0, 0, 0));
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(c, r * 0.12, r * 0.12);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(QColor(0x94, 0xA3, 0xB8), std::max(0.8, r / 60)));
    p.drawEllipse(c, r * 0.12, r * 0.12);
    p.restore();
}

bool save(const QImage& image, const QString& path) {
    if (!image.save(path)) {
        std::fprintf(stderr, "sbartgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QImage frameBitmap(const TSkin& s) {
    QImage img(s.Width, s.Height, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);

    const QRectF outer(0.5, 0.5, s.Width - 1.0, s.Height - 1.0);
    const double radius = 12;
    QPainterPath shape;
    shape.addRoundedRect(outer, radius, radius);
    p.setClipPath(shape);

    // Content: white.
    p.fillRect(img.rect(), Qt::white);

    // Side band.
    QRectF side(0, s.HeaderHeight, s.SidebarWidth, s.FooterTop - s.HeaderHeight);
    QLinearGradient sg(0, side.top(), 0, side.bottom());
    if (s.Dark) {
        sg.setColorAt(0, QColor(0x1E, 0x2D, 0x44));
        sg.setColorAt(1, QColor(0x15, 0x22, 0x36));
    } else {
        sg.setColorAt(0, QColor(0xF4, 0xF7, 0xFB));
        sg.setColorAt(1, QColor(0xE6, 0xEC, 0xF3));
    }
    p.fillRect(side, sg);
    p.setPen(QPen(s.Dark ? QColor(0x0F, 0x19, 0x29) : QColor(0xDA, 0xE1, 0xEA), 1));
    p.drawLine(QPointF(s.SidebarWidth - 0.5, s.HeaderHeight),
               QPointF(s.SidebarWidth - 0.5, s.FooterTop));

    // Title band with a thin accent underline.
    p.fillRect(QRectF(0, 0, s.Width, s.HeaderHeight), headerGradient(s.HeaderHeight));
    QLinearGradient accent(0, 0, s.Width, 0);
    accent.setColorAt(0, Accent);
    accent.setColorAt(1, Teal);
    p.fillRect(QRectF(0, s.HeaderHeight - 2, s.Width, 2), accent);

    // Footer band.
    QRectF foot(0, s.FooterTop, s.Width, s.Height - s.FooterTop);
    QLinearGradient fg(0, foot.top(), 0, foot.bottom());
    if (s.Dark) {
        fg.setColorAt(0, QColor(0x1B, 0x2B, 0x41));
        fg.setColorAt(1, QColor(0x15, 0x22, 0x36));
    } else {
        fg.setColorAt(0, QColor(0xF5, 0xF7, 0xFA));
        fg.setColorAt(1, QColor(0xEC, 0xF0, 0xF5));
    }
    p.fillRect(foot, fg);
    p.setPen(QPen(s.Dark ? QColor(0x0F, 0x19, 0x29) : QColor(0xD5, 0xDC, 0xE5), 1));
    p.drawLine(QPointF(0, s.FooterTop + 0.5), QPointF(s.Width, s.FooterTop + 0.5));

    // Outline.
    p.setClipping(false);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x0F, 0x1B, 0x2B), 1));
    p.drawPath(shape);
    p.end();

    // The outline must be hard: a pixel the antialiased edge covers less than
    // half becomes key colour, the others are made opaque over the outline's
    // colour, so no pink fringe is left between the frame and the desktop.
    QImage out(img.size(), QImage::Format_RGB32);
    const QColor edge(0x0F, 0x1B, 0x2B);
    for (int y = 0; y < img.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int a = qAlpha(src[x]);
            if (a < 128) {
                dst[x] = 0xFF000000 | Key;
                continue;
            }
            const int rest = 255 - a;
            dst[x] = qRgb(qRed(src[x]) + edge.red() * rest / 255,
                          qGreen(src[x]) + edge.green() * rest / 255,
                          qBlue(src[x]) + edge.blue() * rest / 255);
        }
    }
    return out;
}

QImage topLogo(const TSkin& s) {
    const int h = s.HeaderHeight - 4;
    QImage img(250, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const double r = h * 0.36;
    drawDisc(p, QPointF(4 + r, h / 2.0 + 1), r, AccentLight);
    p.setPen(Qt::white);
    p.setFont(uiFont(h > 34 ? 14 : 12.5, QFont::Bold));
    const int textLeft = static_cast<int>(12 + 2 * r);
    QRect nameRect(textLeft, 0, 120, h);
    p.drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Tavrin"));
    const int nameWidth = p.fontMetrics().horizontalAdvance(QStringLiteral("Tavrin"));
    p.setPen(QColor(0x9F, 0xB3, 0xC8));
    p.setFont(uiFont(8));
    p.drawText(QRect(textLeft + nameWidth + 10, 0, 150, h + 2), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("Disc Image Burner"));
    return img;
}

QImage leftLogo(const TSkin& s) {
    QImage img(s.LeftLogo, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double w = img.width();
    const QPointF c(w / 2, w / 2 + 14);
    const double r = w * 0.40;

    // Soft shadow under the disc.
    QRadialGradient shadow(QPointF(c.x(), c.y() + r * 0.95), r);
    shadow.setColorAt(0, QColor(0, 0, 0, s.Dark ? 90 : 45));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.save();
    p.translate(c.x(), c.y() + r * 0.95);
    p.scale(1.0, 0.22);
    p.translate(-c.x(), -(c.y() + r * 0.95));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(c.x(), c.y() + r * 0.95), r, r);
    p.restore();

    drawDisc(p, c, r, Accent);

    // A laser's arc above the disc.
    QPen arc(QColor(Teal.red(), Teal.green(), Teal.blue(), 200), 3, Qt::SolidLine, Qt::RoundCap);
    p.setPen(arc);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(c.x() - r * 1.12, c.y() - r * 1.12, r * 2.24, r * 2.24), 30 * 16, 60 * 16);
    p.setPen(QPen(QColor(Accent.red(), Accent.green(), Accent.blue(), 170), 3, Qt::SolidLine,
                  Qt::RoundCap));
    p.drawArc(QRectF(c.x() - r * 1.12, c.y() - r * 1.12, r * 2.24, r * 2.24), 100 * 16, 25 * 16);

    // Wordmark under the disc.
    p.setPen(s.Dark ? QColor(0xE2, 0xE8, 0xF0) : QColor(0x33, 0x41, 0x55));
    p.setFont(uiFont(11, QFont::DemiBold));
    const QRectF text(0, c.y() + r + 18, w, 22);
    p.drawText(text, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Burn an image"));
    p.setPen(s.Dark ? QColor(0x94, 0xA3, 0xB8) : QColor(0x64, 0x74, 0x8B));
    p.setFont(uiFont(8));
    p.drawText(QRectF(0, text.bottom() + 2, w, 18), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("to CD or DVD, step by step"));
    return img;
}

// min or close, in one of three states, on the title band's own colours.
QImage titleButton(const TSkin& s, bool close, int state, int top) {
    QImage img(s.TitleButton, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.translate(0, -top);
    p.fillRect(QRect(0, 0, img.width(), s.HeaderHeight), headerGradient(s.HeaderHeight));
    p.translate(0, top);
    const QRectF box = QRectF(img.rect()).adjusted(1, 1, -1, -1);
    if (state > 1) {
        QColor bg = close ? QColor(0xE5, 0x48, 0x4D) : QColor(255, 255, 255, 40);
        if (state == 3) {
            bg = close ? QColor(0xC2, 0x32, 0x37) : QColor(255, 255, 255, 22);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(bg);
        p.drawRoundedRect(box, 4, 4);
    }
    const QColor glyph = state == 1 ? QColor(0xC3, 0xCF, 0xDC) : QColor(Qt::white);
    p.setPen(QPen(glyph, 1.6, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = box.center() + QPointF(state == 3 ? 0.5 : 0, state == 3 ? 0.5 : 0);
    const double a = std::min(img.width(), img.height()) * 0.19;
    if (close) {
        p.drawLine(c + QPointF(-a, -a), c + QPointF(a, a));
        p.drawLine(c + QPointF(-a, a), c + QPointF(a, -a));
    } else {
        p.drawLine(c + QPointF(-a, a * 0.8), c + QPointF(a, a * 0.8));
    }
    return img;
}

// One state of the bottom buttons; the caption is drawn by the program.
QImage bottomButton(const TSkin& s, int state, int top) {
    QImage img(s.BottomButton, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    // The footer band behind the rounded corners.
    QLinearGradient fg(0, s.FooterTop - top, 0, s.Height - top);
    if (s.Dark) {
        fg.setColorAt(0, QColor(0x1B, 0x2B, 0x41));
        fg.setColorAt(1, QColor(0x15, 0x22, 0x36));
    } else {
        fg.setColorAt(0, QColor(0xF5, 0xF7, 0xFA));
        fg.setColorAt(1, QColor(0xEC, 0xF0, 0xF5));
    }
    p.fillRect(img.rect(), fg);

    QColor face1, face2, border;
    switch (state) {
    case 1: // normal
        face1 = QColor(0xFF, 0xFF, 0xFF);
        face2 = QColor(0xF3, 0xF6, 0xF9);
        border = s.Dark ? QColor(0x0F, 0x19, 0x29) : QColor(0xC3, 0xCC, 0xD7);
        break;
    case 2: // mouse over
        face1 = QColor(0xF4, 0xF8, 0xFF);
        face2 = QColor(0xE3, 0xEE, 0xFD);
        border = Accent;
        break;
    case 3: // pressed
        face1 = QColor(0xD6, 0xE4, 0xFA);
        face2 = QColor(0xE2, 0xEC, 0xFB);
        border = QColor(0x25, 0x63, 0xEB);
        break;
    default: // disabled
        face1 = s.Dark ? QColor(0x3A, 0x4A, 0x60) : QColor(0xF2, 0xF4, 0xF7);
        face2 = face1;
        border = s.Dark ? QColor(0x2C, 0x3A, 0x4E) : QColor(0xDD, 0xE2, 0xE8);
        break;
    }
    QLinearGradient face(0, 0, 0, img.height());
    face.setColorAt(0, face1);
    face.setColorAt(1, face2);
    p.setPen(QPen(border, 1));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(img.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    return img;
}

bool writeSkin(const TSkin& s, const QString& artRoot) {
    const QString dir = artRoot + QStringLiteral("/sounds/") + s.Folder + QLatin1Char('/');
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "sbartgen: cannot create %s\n", qPrintable(dir));
        return false;
    }
    bool ok = save(frameBitmap(s), dir + "main.bmp");
    ok = save(topLogo(s), dir + "toplogo.png") && ok;
    ok = save(leftLogo(s), dir + "leftlogo.png") && ok;
    const int titleTop = s.Dark ? 3 : 4;
    const int bottomTop = s.Dark ? 566 : 510;
    for (int state = 1; state <= 3; ++state) {
        ok = save(titleButton(s, false, state, titleTop),
                  dir + QStringLiteral("min_%1.bmp").arg(state)) &&
             ok;
        ok = save(titleButton(s, true, state, titleTop),
                  dir + QStringLiteral("close_%1.bmp").arg(state)) &&
             ok;
    }
    for (int state = 1; state <= 4; ++state) {
        ok = save(bottomButton(s, state, bottomTop),
                  dir + QStringLiteral("bottom_%1.bmp").arg(state)) &&
             ok;
    }
    return ok;
}

// 30 frames of 352 x 18, one below the other: a bar with moving stripes.
// Any four frames in a row loop seamlessly, since a frame moves the stripes
// by a quarter of their period.
QImage progressStrip() {
    constexpr int W = 352, H = 18, Frames = 30, Period = 24;
    QImage img(W, H * Frames, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int f = 0; f < Frames; ++f) {
        p.save();
        p.translate(0, f * H);
        const QRectF bar(0.5, 2.5, W - 1.0, H - 5.0);
        QPainterPath clip;
        clip.addRoundedRect(bar, 6.5, 6.5);
        QLinearGradient g(0, 2, 0, H - 2);
        g.setColorAt(0, AccentLight);
        g.setColorAt(1, Accent);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawPath(clip);
        p.setClipPath(clip);
        const double shift = (f % 4) * (Period / 4.0);
        p.setBrush(QColor(255, 255, 255, 60));
        for (double x = -2.0 * Period + shift; x < W + Period; x += Period) {
            QPolygonF stripe;
            stripe << QPointF(x, H) << QPointF(x + Period / 2.0, H)
                   << QPointF(x + Period / 2.0 + H, 0) << QPointF(x + H, 0);
            p.drawPolygon(stripe);
        }
        p.setClipping(false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0x25, 0x63, 0xEB), 1));
        p.drawPath(clip);
        p.restore();
    }
    return img;
}

QImage icon(int size, const QColor& tint, const QString& letter) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    drawDisc(p, QPointF(size / 2.0, size / 2.0), size * 0.46, tint);
    if (!letter.isEmpty()) {
        const double b = size * 0.42;
        const QRectF badge(size - b - 1, size - b - 1, b, b);
        p.setPen(QPen(Qt::white, std::max(1.0, size / 32.0)));
        p.setBrush(tint.darker(115));
        p.drawEllipse(badge);
        p.setPen(Qt::white);
        QFont f = uiFont(8, QFont::Bold);
        f.setPixelSize(static_cast<int>(b * 0.62));
        p.setFont(f);
        p.drawText(badge, Qt::AlignCenter, letter);
    }
    return img;
}

// The program's icon as SVG for the desktop's icon theme: the same disc as
// drawDisc, with the same proportions and colours. SVG has no conical
// gradient, so the sheen is laid as thin ring sectors, each one the colour
// the conical gradient has at its middle, laid over the body.
QString svgColor(const QColor& c) {
    return QStringLiteral("#%1%2%3")
        .arg(c.red(), 2, 16, QLatin1Char('0'))
        .arg(c.green(), 2, 16, QLatin1Char('0'))
        .arg(c.blue(), 2, 16, QLatin1Char('0'));
}

QString svgNumber(double v) {
    return QString::number(v, 'f', 3);
}

QColor mixColor(const QColor& a, const QColor& b, double t) {
    QColor c;
    c.setRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
              static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
              static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t),
              static_cast<float>(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
    return c;
}

QString iconSvg(const QColor& tint) {
    constexpr double size = 256;
    const double c = size / 2, r = size * 0.46;
    QString svg;
    svg += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" "
                          "height=\"256\" viewBox=\"0 0 256 256\">\n"
                          "  <title>Tavrin</title>\n"
                          "  <defs>\n"
                          "    <radialGradient id=\"body\" cx=\"%1\" cy=\"%1\" r=\"%2\" "
                          "gradientUnits=\"userSpaceOnUse\">\n"
                          "      <stop offset=\"0\" stop-color=\"#f8fafc\"/>\n"
                          "      <stop offset=\"0.55\" stop-color=\"#e2e8f0\"/>\n"
                          "      <stop offset=\"1\" stop-color=\"#c8d2de\"/>\n"
                          "    </radialGradient>\n"
                          "  </defs>\n")
               .arg(svgNumber(c), svgNumber(r));
    const auto circle = [&](double radius) {
        return QStringLiteral("M %1 %2 a %3 %3 0 1 0 %4 0 a %3 %3 0 1 0 %5 0 Z ")
            .arg(svgNumber(c - radius), svgNumber(c), svgNumber(radius), svgNumber(2 * radius),
                 svgNumber(-2 * radius));
    };
    const QString edge = QStringLiteral("#94a3b8");
    // The body, with the hole cut out.
    svg += QStringLiteral("  <path fill-rule=\"evenodd\" fill=\"url(#body)\" stroke=\"%1\" "
                          "stroke-width=\"%2\" d=\"%3%4\"/>\n")
               .arg(edge, svgNumber(std::max(1.0, r / 40)), circle(r), circle(r * 0.12));

    // The sheen: the conical gradient starts at 30 degrees and turns
    // counter-clockwise, as Qt's does.
    QColor t1 = tint;
    t1.setAlpha(150);
    QColor t2 = tint.lighter(150);
    t2.setAlpha(40);
    const std::pair<double, QColor> stops[] = {
        {0.0, t1}, {0.18, t2}, {0.5, t1}, {0.68, t2}, {1.0, t1}};
    const auto sheenAt = [&](double t) {
        for (size_t i = 1; i < std::size(stops); ++i) {
            if (t <= stops[i].first) {
                const double span = stops[i].first - stops[i - 1].first;
                return mixColor(stops[i - 1].second, stops[i].second,
                                (t - stops[i - 1].first) / span);
            }
        }
        return stops[std::size(stops) - 1].second;
    };
    // The body under the ring, as its radial gradient gives it.
    const auto bodyAt = [](double f) {
        const QColor centre(0xF8, 0xFA, 0xFC), middle(0xE2, 0xE8, 0xF0), edge(0xC8, 0xD2, 0xDE);
        return f < 0.55 ? mixColor(centre, middle, f / 0.55)
                        : mixColor(middle, edge, (f - 0.55) / 0.45);
    };
    // The sheen over the body, as the painter composes it: an opaque colour.
    const auto over = [](const QColor& top, const QColor& under) {
        const double a = top.alphaF();
        QColor c;
        c.setRgbF(static_cast<float>(top.redF() * a + under.redF() * (1 - a)),
                  static_cast<float>(top.greenF() * a + under.greenF() * (1 - a)),
                  static_cast<float>(top.blueF() * a + under.blueF() * (1 - a)));
        return c;
    };
    constexpr int sectors = 90;
    const double outer = r * 0.93, inner = r * 0.36;
    const auto point = [&](double radius, double degrees) {
        const double a = degrees * M_PI / 180;
        return QStringLiteral("%1 %2").arg(svgNumber(c + radius * std::cos(a)),
                                           svgNumber(c - radius * std::sin(a)));
    };
    // Each sector is opaque (the sheen already laid over the body, radially
    // as the body's gradient goes), so sectors may overlap a little and no
    // seam shows between them.
    QString gradients;
    QString paths;
    for (int i = 0; i < sectors; ++i) {
        const QColor sheen = sheenAt((i + 0.5) / sectors);
        gradients += QStringLiteral("    <radialGradient id=\"s%1\" cx=\"%2\" cy=\"%2\" r=\"%3\" "
                                    "gradientUnits=\"userSpaceOnUse\">")
                         .arg(i)
                         .arg(svgNumber(c), svgNumber(r));
        for (double f : {0.36, 0.45, 0.55, 0.65, 0.75, 0.85, 0.93}) {
            gradients += QStringLiteral("<stop offset=\"%1\" stop-color=\"%2\"/>")
                             .arg(svgNumber(f), svgColor(over(sheen, bodyAt(f))));
        }
        gradients += QStringLiteral("</radialGradient>\n");
        const double from = 30 + 360.0 * i / sectors;
        const double to = 30 + 360.0 * (i + 1) / sectors + 0.5;
        paths +=
            QStringLiteral("    <path fill=\"url(#s%1)\" d=\"M %2 A %3 %3 0 0 0 %4 L %5 A %6 %6 "
                           "0 0 1 %7 Z\"/>\n")
                .arg(i)
                .arg(point(outer, from), svgNumber(outer), point(outer, to), point(inner, to),
                     svgNumber(inner), point(inner, from));
    }
    svg += QStringLiteral("  <defs>\n") + gradients + QStringLiteral("  </defs>\n");
    svg += QStringLiteral("  <g stroke=\"none\">\n") + paths + QStringLiteral("  </g>\n");

    // The grooves.
    for (double f : {0.52, 0.68, 0.84}) {
        svg += QStringLiteral("  <circle cx=\"%1\" cy=\"%1\" r=\"%2\" fill=\"none\" "
                              "stroke=\"#ffffff\" stroke-opacity=\"%3\" stroke-width=\"%4\"/>\n")
                   .arg(svgNumber(c), svgNumber(r * f), svgNumber(70 / 255.0),
                        svgNumber(std::max(0.6, r / 70)));
    }
    // Hub and hole.
    const QString hubStroke = svgNumber(std::max(0.8, r / 60));
    svg += QStringLiteral("  <path fill-rule=\"evenodd\" fill=\"#f1f5f9\" stroke=\"%1\" "
                          "stroke-width=\"%2\" d=\"%3%4\"/>\n")
               .arg(edge, hubStroke, circle(r * 0.30), circle(r * 0.12));
    svg += QStringLiteral("</svg>\n");
    return svg;
}

bool saveText(const QString& text, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 ||
        !file.flush()) {
        std::fprintf(stderr, "sbartgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The desktop's icons: the window icon's design at the theme's sizes, plus
// the scalable one, under ICON_ROOT/hicolor/.
bool writeThemeIcons(const QString& iconRoot) {
    bool ok = true;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(iconRoot).arg(size);
        ok = QDir().mkpath(folder) && ok;
        ok = save(icon(size, Accent, QString()), folder + "/org.tavrin.Tavrin.png") && ok;
    }
    const QString scalable = iconRoot + "/hicolor/scalable/apps";
    ok = QDir().mkpath(scalable) && ok;
    ok = saveText(iconSvg(Accent), scalable + "/org.tavrin.Tavrin.svg") && ok;
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: sbartgen ART_ROOT RES_DIR [ICON_ROOT]\n");
        return 2;
    }
    const QString artRoot = QString::fromLocal8Bit(argv[1]);
    const QString resDir = QString::fromLocal8Bit(argv[2]);

    const TSkin skin0{
        QStringLiteral("ISORes"), 772, 547, 36, 198, 497, {28, 24}, {88, 28}, {180, 236}, false};
    const TSkin skin1{
        QStringLiteral("ISORes2"), 840, 620, 40, 212, 548, {26, 22}, {88, 32}, {162, 236}, true};
    bool ok = writeSkin(skin0, artRoot);
    ok = writeSkin(skin1, artRoot) && ok;

    if (!QDir().mkpath(resDir)) {
        std::fprintf(stderr, "sbartgen: cannot create %s\n", qPrintable(resDir));
        return 1;
    }
    ok = save(progressStrip(), resDir + "/myclock.png") && ok;
    ok = save(icon(64, Accent, QString()), resDir + "/tavrin.png") && ok;
    ok = save(icon(64, QColor(0x10, 0xA3, 0x7F), QStringLiteral("Q")), resDir + "/a1.png") && ok;
    ok = save(icon(64, QColor(0xD9, 0x77, 0x06), QStringLiteral("D")), resDir + "/a2.png") && ok;
    if (argc == 4) {
        ok = writeThemeIcons(QString::fromLocal8Bit(argv[3])) && ok;
    }
    return ok ? 0 : 1;
}
