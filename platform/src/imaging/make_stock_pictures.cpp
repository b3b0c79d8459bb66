// Draws the phone's stock pictures into a folder, at build time: a landscape
// photo, a portrait and a small square, in the formats and sizes a contact's
// picture comes in. Shapes only, no text, so that no fonts are needed.
//   make_stock_pictures FOLDER
#include <cmath>
#include <cstdio>

#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

// A sun setting over the sea, 400 x 300.
QImage sunset()
{
    QImage image(400, 300, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 190);
    sky.setColorAt(0, QColor(58, 40, 110));
    sky.setColorAt(0.6, QColor(230, 110, 70));
    sky.setColorAt(1, QColor(255, 190, 90));
    p.fillRect(0, 0, 400, 190, sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 225, 120));
    p.drawEllipse(QPointF(200, 190), 55, 55);
    QLinearGradient sea(0, 190, 0, 300);
    sea.setColorAt(0, QColor(40, 60, 120));
    sea.setColorAt(1, QColor(10, 20, 50));
    p.fillRect(0, 190, 400, 110, sea);
    p.setPen(QPen(QColor(255, 200, 110), 3));
    for (int i = 0; i < 6; ++i) {
        const int y = 200 + i * 16;
        const int half = 60 - i * 8;
        p.drawLine(200 - half, y, 200 + half, y);
    }
    return image;
}

// A head and shoulders on a blue ground, 120 x 160: the shape of a contact's photo.
QImage portrait()
{
    QImage image(120, 160, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient ground(60, 60, 110);
    ground.setColorAt(0, QColor(150, 190, 230));
    ground.setColorAt(1, QColor(60, 100, 160));
    p.fillRect(image.rect(), ground);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 70, 90));
    p.drawEllipse(QRectF(10, 115, 100, 90));  // shoulders
    p.setBrush(QColor(235, 195, 160));
    p.drawRect(QRectF(50, 95, 20, 25));       // neck
    p.drawEllipse(QRectF(32, 38, 56, 68));    // face
    p.setBrush(QColor(90, 55, 30));
    QPainterPath hair;
    hair.moveTo(30, 70);
    hair.cubicTo(25, 20, 95, 20, 90, 70);
    hair.cubicTo(85, 45, 35, 45, 30, 70);
    p.drawPath(hair);
    p.setBrush(QColor(40, 40, 40));
    p.drawEllipse(QPointF(49, 70), 3, 3);
    p.drawEllipse(QPointF(71, 70), 3, 3);
    p.setPen(QPen(QColor(170, 80, 80), 2));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(48, 78, 24, 14), 200 * 16, 140 * 16);
    return image;
}

// A daisy, 64 x 64.
QImage daisy()
{
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(QColor(70, 140, 60));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 200, 190), 1));
    p.setBrush(Qt::white);
    p.translate(32, 32);
    for (int i = 0; i < 12; ++i) {
        p.drawEllipse(QRectF(-5, -28, 10, 22));
        p.rotate(30);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(245, 190, 30));
    p.drawEllipse(QPointF(0, 0), 8, 8);
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_stock_pictures FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const struct {
        const char* name;
        QImage image;
        const char* format;
    } pictures[] = {
        {"Sunset.jpg", sunset(), "JPEG"},
        {"Portrait.jpg", portrait(), "JPEG"},
        {"Daisy.png", daisy(), "PNG"},
    };
    for (const auto& picture : pictures) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(picture.name);
        if (!picture.image.save(path, picture.format, 90)) {
            std::fprintf(stderr, "make_stock_pictures: cannot write %s\n", path.toLocal8Bit().constData());
            return 1;
        }
    }
    return 0;
}
