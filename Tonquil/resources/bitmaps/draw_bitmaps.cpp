// Draws Tonquil's bitmaps into a folder, so that they can be redrawn after a
// change of colour or shape instead of being edited pixel by pixel:
//
//   draw_bitmaps <folder> [--preview <file.png>]
//
// The small list marks and their masks are pixel art written out below as
// character grids: a mask must cover exactly the pixels of its image, and
// antialiasing at 18 x 15 pixels would only blur them. Everything larger is
// painted with QPainter. --preview also writes every bitmap enlarged on one
// sheet, for looking at them.
//
// Build it by hand when a picture is to change (it is not part of the
// program's build; the files it writes are kept in the repository):
//   g++ -std=c++20 -fPIC draw_bitmaps.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/draw_bitmaps
//   /tmp/draw_bitmaps Tonquil/resources/bitmaps
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// The house colours, shared with the Today item's icon: a clear phone blue.
const QColor kBlue(0x2B, 0x6C, 0xD4);
const QColor kBlueDark(0x1A, 0x47, 0x9A);
const QColor kBlueLight(0x6F, 0xA3, 0xF0);
const QColor kNavy(0x1C, 0x2E, 0x7A);
const QColor kWhite(0xFF, 0xFF, 0xFF);

// The vendor's web address as the About box shows it; the About box opens
// the same address.
const char* const kVendorAddress = "www.quorrel.example";

struct Named {
    QString file;
    QImage image;
};

// An image from a character grid: each character is looked up in the
// palette; '.' is white.
QImage fromGrid(const std::vector<std::string>& rows, const std::map<char, QColor>& palette)
{
    const int height = static_cast<int>(rows.size());
    const int width = static_cast<int>(rows.front().size());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kWhite);
    for (int y = 0; y < height; ++y) {
        if (static_cast<int>(rows[y].size()) != width) {
            std::fprintf(stderr, "grid row %d is %zu wide, not %d\n", y, rows[y].size(), width);
            std::exit(1);
        }
        for (int x = 0; x < width; ++x) {
            const char c = rows[y][x];
            if (c == '.')
                continue;
            const auto colour = palette.find(c);
            if (colour == palette.end()) {
                std::fprintf(stderr, "grid character '%c' has no colour\n", c);
                std::exit(1);
            }
            image.setPixelColor(x, y, colour->second);
        }
    }
    return image;
}

// The mask of a list mark: black wherever the image is not white, white
// elsewhere. Written with 24 bits like the marks: Qt's one-bit writer
// leaves the padding of each row unset, so such a file would change on
// every redraw.
QImage maskOf(const QImage& image)
{
    QImage mask(image.size(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            mask.setPixel(x, y, image.pixel(x, y) == kWhite.rgb() ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return mask;
}

// Bitmap 138, the ring tone mark of the lists (18 x 15): two beamed notes.
QImage drawNote()
{
    return fromGrid(
        {
            "..................",
            ".................#",
            "............######",
            ".......###########",
            ".......#####.....#",
            ".......#.........#",
            ".......#.........#",
            ".......#.........#",
            ".......#.......###",
            ".......#....######",
            ".....###...##oo###",
            "..######...######.",
            ".##oo###....####..",
            ".######...........",
            "..####............",
        },
        {{'#', kNavy}, {'o', kBlueLight}});
}

// Bitmap 139, the SMS tone mark of the lists (15 x 10): a closed envelope.
QImage drawEnvelope()
{
    return fromGrid(
        {
            "###############",
            "##-----------##",
            "#-#---------#-#",
            "#--#-------#--#",
            "#---#-----#---#",
            "#----#---#----#",
            "#----#####----#",
            "#---#-----#---#",
            "#--#-------#--#",
            "###############",
        },
        {{'#', kNavy}, {'-', QColor(0xFF, 0xF1, 0xB8)}});
}

// The face of the Play and Stop buttons (27 x 22): a rounded key with a
// soft top light, as the phone's own media keys look. Focused keys get a
// blue rim; a pressed key is darker and its sign moves down and right by
// one pixel, so a tap shows.
enum class KeyState { Normal, Focused, Pressed };

QImage drawKey(KeyState state, const std::function<void(QPainter&, QPointF)>& sign)
{
    QImage image(27, 22, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face(0.5, 0.5, 26, 21);
    QLinearGradient light(0, 0, 0, 22);
    if (state == KeyState::Pressed) {
        light.setColorAt(0, QColor(0xB4, 0xBC, 0xC8));
        light.setColorAt(1, QColor(0xD8, 0xDD, 0xE4));
    } else {
        light.setColorAt(0, QColor(0xFC, 0xFD, 0xFF));
        light.setColorAt(0.5, QColor(0xE6, 0xEA, 0xF0));
        light.setColorAt(1, QColor(0xC9, 0xD0, 0xDA));
    }
    p.setBrush(light);
    p.setPen(QPen(state == KeyState::Focused ? kBlue : QColor(0x7A, 0x84, 0x94), 1));
    p.drawRoundedRect(face, 4, 4);
    if (state == KeyState::Focused) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kBlueLight, 1));
        p.drawRoundedRect(face.adjusted(1, 1, -1, -1), 3, 3);
    }
    const QPointF centre = state == KeyState::Pressed ? QPointF(14.5, 12) : QPointF(13.5, 11);
    sign(p, centre);
    return image;
}

void playSign(QPainter& p, QPointF c)
{
    QPainterPath triangle;
    triangle.moveTo(c.x() - 3.5, c.y() - 6);
    triangle.lineTo(c.x() + 5.5, c.y());
    triangle.lineTo(c.x() - 3.5, c.y() + 6);
    triangle.closeSubpath();
    p.setPen(QPen(QColor(0x1E, 0x6B, 0x22), 1));
    QLinearGradient green(0, c.y() - 6, 0, c.y() + 6);
    green.setColorAt(0, QColor(0x6C, 0xD0, 0x5A));
    green.setColorAt(1, QColor(0x2A, 0x96, 0x2C));
    p.setBrush(green);
    p.drawPath(triangle);
}

void stopSign(QPainter& p, QPointF c)
{
    p.setPen(QPen(QColor(0x8A, 0x1C, 0x18), 1));
    QLinearGradient red(0, c.y() - 5, 0, c.y() + 5);
    red.setColorAt(0, QColor(0xF0, 0x6A, 0x5A));
    red.setColorAt(1, QColor(0xC0, 0x2A, 0x22));
    p.setBrush(red);
    p.drawRoundedRect(QRectF(c.x() - 5, c.y() - 5, 10, 10), 1.5, 1.5);
}

// Bitmap 143, the contact without a picture (55 x 55): a grey figure on a
// pale card.
QImage drawNoPicture()
{
    QImage image(55, 55, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient card(0, 0, 0, 55);
    card.setColorAt(0, QColor(0xF2, 0xF4, 0xF7));
    card.setColorAt(1, QColor(0xDD, 0xE1, 0xE7));
    p.setBrush(card);
    p.setPen(QPen(QColor(0xA8, 0xAF, 0xBA), 1));
    p.drawRect(QRectF(0.5, 0.5, 54, 54));
    p.setClipRect(QRect(1, 1, 53, 53));
    const QColor figure(0x9B, 0xA3, 0xAF);
    p.setPen(Qt::NoPen);
    p.setBrush(figure);
    p.drawEllipse(QPointF(27.5, 21), 9.5, 10.5);
    QPainterPath shoulders;
    shoulders.moveTo(8, 56);
    shoulders.cubicTo(8, 40, 17, 34, 27.5, 34);
    shoulders.cubicTo(38, 34, 47, 40, 47, 56);
    shoulders.closeSubpath();
    p.drawPath(shoulders);
    return image;
}

// The vendor's mark: a rounded blue tile with a white Q for "Quorrel" and
// waves of sound beside it, for its ring tones. Drawn at any size; the
// logo, the program icon and the Start menu icon share it.
void paintMark(QPainter& p, const QRectF& box)
{
    p.setRenderHint(QPainter::Antialiasing);
    const double s = box.width();
    QLinearGradient tile(box.topLeft(), box.bottomLeft());
    tile.setColorAt(0, kBlueLight);
    tile.setColorAt(0.45, kBlue);
    tile.setColorAt(1, kBlueDark);
    p.setPen(s > 20 ? QPen(kBlueDark, 1) : Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), s * 0.2, s * 0.2);

    // The ring of the Q, left of the middle to leave room for the sound.
    const QPointF centre(box.left() + s * 0.38, box.top() + s * 0.50);
    const double outer = s * 0.25;
    const double inner = s * 0.145;
    QPainterPath ring;
    ring.addEllipse(centre, outer, outer);
    ring.addEllipse(centre, inner, inner);
    ring.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(kWhite);
    p.drawPath(ring);

    // The Q's short tail across the ring's lower right.
    p.setPen(QPen(kWhite, s * 0.10, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(centre + QPointF(outer * 0.45, outer * 0.45), centre + QPointF(outer * 1.12, outer * 1.12));

    // Two waves of sound going out to the right: Quorrel makes ring tones.
    if (s > 20) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kWhite, s * 0.06, Qt::SolidLine, Qt::RoundCap));
        for (const double radius : {0.37, 0.49}) {
            const double r = s * radius;
            p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), -14 * 16, 62 * 16);
        }
    }

    // A soft gloss over the top half, as icons of the era had.
    QLinearGradient gloss(box.topLeft(), QPointF(box.left(), box.top() + s * 0.5));
    gloss.setColorAt(0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    QPainterPath top;
    top.addRoundedRect(box.adjusted(1, 1, -1, -s * 0.5), s * 0.18, s * 0.18);
    p.drawPath(top);
}

// Bitmap 150, the vendor's logo (55 x 55) on the About box's white.
QImage drawLogo()
{
    QImage image(55, 55, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter p(&image);
    paintMark(p, QRectF(1, 1, 53, 53));
    return image;
}

// Icon 102 in one size, with a transparent corner.
QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paintMark(p, QRectF(0, 0, size, size));
    return image;
}

// Bitmap 151, the link (171 x 19): the vendor's address as blue underlined
// text, centred, on white.
QImage drawLink()
{
    QImage image(171, 19, QImage::Format_RGB32);
    image.fill(kWhite);
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    font.setUnderline(true);
    p.setFont(font);
    p.setPen(QColor(0x00, 0x33, 0xCC));
    p.drawText(QRect(0, 0, 171, 19), Qt::AlignCenter, QString::fromLatin1(kVendorAddress));
    return image;
}

QImage enlarged(const QImage& image, int factor)
{
    return image.convertToFormat(QImage::Format_ARGB32)
        .scaled(image.width() * factor, image.height() * factor, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// All bitmaps enlarged four times on a grey sheet, in rows.
QImage previewSheet(const std::vector<Named>& all)
{
    const int factor = 4;
    const int gap = 12;
    const int width = 760;
    int x = gap, y = gap, rowHeight = 0;
    std::vector<QPoint> places;
    for (const Named& n : all) {
        const QSize size = n.image.size() * factor;
        if (x + size.width() > width - gap) {
            x = gap;
            y += rowHeight + gap;
            rowHeight = 0;
        }
        places.emplace_back(x, y);
        x += size.width() + gap;
        rowHeight = std::max(rowHeight, size.height());
    }
    QImage sheet(width, y + rowHeight + gap, QImage::Format_ARGB32);
    sheet.fill(QColor(0x90, 0x98, 0xA4));
    QPainter p(&sheet);
    for (std::size_t i = 0; i < all.size(); ++i)
        p.drawImage(places[i], enlarged(all[i].image, factor));
    return sheet;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--preview")) {
        std::fprintf(stderr, "usage: draw_bitmaps <folder> [--preview <file.png>]\n");
        return 2;
    }
    // Drawing needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);

    const QImage note = drawNote();
    const QImage envelope = drawEnvelope();
    const std::vector<Named> all = {
        {"note.bmp", note},
        {"note_mask.bmp", maskOf(note)},
        {"envelope.bmp", envelope},
        {"envelope_mask.bmp", maskOf(envelope)},
        {"play.png", drawKey(KeyState::Normal, playSign)},
        {"play_focus.png", drawKey(KeyState::Focused, playSign)},
        {"play_pressed.png", drawKey(KeyState::Pressed, playSign)},
        {"stop.png", drawKey(KeyState::Normal, stopSign)},
        {"stop_focus.png", drawKey(KeyState::Focused, stopSign)},
        {"stop_pressed.png", drawKey(KeyState::Pressed, stopSign)},
        {"nopicture.png", drawNoPicture()},
        {"logo.png", drawLogo()},
        {"link.png", drawLink()},
        {"tonquil16.png", drawIcon(16)},
        {"tonquil32.png", drawIcon(32)},
    };
    int failures = 0;
    for (const Named& n : all) {
        const QString path = folder + "/" + n.file;
        // Bitmaps are written without transparency except the icons, whose
        // corners are see-through on the Start menu.
        const QImage out = n.image.format() == QImage::Format_ARGB32 ? n.image
                                                                      : n.image.convertToFormat(QImage::Format_RGB888);
        if (!out.save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    if (argc == 4 && !previewSheet(all).save(QString::fromLocal8Bit(argv[3]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
