// Writes the program's icon for the desktop's hicolor theme: PNG files at the
// usual sizes and one SVG, all drawn from the shapes below (the orange disc
// with the note of the 32 x 32 window icon, on a 32-unit grid).
//
// usage: generate_icons <output directory>   (writes <dir>/hicolor/...)

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

struct Ellipse {
    double cx, cy, rx, ry, angle;
    const char* fill;
};
struct Rect {
    double x, y, w, h;
    const char* fill;
};

const char* const Orange = "#ff8000";
const char* const Rim = "#803000";
const double DiscRadius = 14, RimWidth = 2;
const Ellipse Highlight{8, 8.5, 4.2, 1.7, -45, "#ffe0b0"};
const Rect Stem{17, 7, 2, 15.5, "#202020"};
const Rect Flag{17, 7, 7, 2, "#202020"};
const Ellipse Head{14.8, 22.4, 3.7, 2.8, -20, "#202020"};

void fillEllipse(QPainter& p, const Ellipse& e)
{
    p.save();
    p.translate(e.cx, e.cy);
    p.rotate(e.angle);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(e.fill));
    p.drawEllipse(QPointF(0, 0), e.rx, e.ry);
    p.restore();
}

QImage draw(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(Rim), RimWidth));
    p.setBrush(QColor(Orange));
    p.drawEllipse(QPointF(16, 16), DiscRadius, DiscRadius);
    fillEllipse(p, Highlight);
    p.setPen(Qt::NoPen);
    for (const Rect& r : {Stem, Flag}) {
        p.setBrush(QColor(r.fill));
        p.drawRect(QRectF(r.x, r.y, r.w, r.h));
    }
    fillEllipse(p, Head);
    return image;
}

QString svgEllipse(const Ellipse& e)
{
    return QString("  <ellipse cx=\"%1\" cy=\"%2\" rx=\"%3\" ry=\"%4\" transform=\"rotate(%5 %1 %2)\" fill=\"%6\"/>\n")
        .arg(e.cx).arg(e.cy).arg(e.rx).arg(e.ry).arg(e.angle).arg(e.fill);
}

QString svgRect(const Rect& r)
{
    return QString("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
        .arg(r.x).arg(r.y).arg(r.w).arg(r.h).arg(r.fill);
}

QString svg()
{
    return QString("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" viewBox=\"0 0 32 32\">\n") +
           QString("  <circle cx=\"16\" cy=\"16\" r=\"%1\" fill=\"%2\" stroke=\"%3\" stroke-width=\"%4\"/>\n")
               .arg(DiscRadius).arg(Orange).arg(Rim).arg(RimWidth) +
           svgEllipse(Highlight) + svgRect(Stem) + svgRect(Flag) + svgEllipse(Head) + "</svg>\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_icons <output directory>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + "/hicolor/";
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = root + QString("%1x%1/apps").arg(size);
        if (!QDir().mkpath(dir) || !draw(size).save(dir + "/quellora.png")) {
            std::fprintf(stderr, "generate_icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    QDir().mkpath(root + "scalable/apps");
    QFile file(root + "scalable/apps/quellora.svg");
    if (!file.open(QIODevice::WriteOnly) || file.write(svg().toUtf8()) < 0) {
        std::fprintf(stderr, "generate_icons: cannot write %s\n", qPrintable(file.fileName()));
        return 1;
    }
    return 0;
}
