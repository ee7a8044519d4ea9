// SPDX-License-Identifier: GPL-3.0-or-later

// Build tool: draws an SVG into a square PNG, so that the hicolor sizes of the application icon come
// from the one SVG without an external converter.
//   tarvo_render_icon INPUT.svg SIZE OUTPUT.png
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: tarvo_render_icon INPUT.svg SIZE OUTPUT.png\n");
        return 2;
    }
    bool numeric = false;
    const int size = QString::fromLocal8Bit(argv[2]).toInt(&numeric);
    if (!numeric || size < 1 || size > 4096) {
        std::fprintf(stderr, "tarvo_render_icon: bad size %s\n", argv[2]);
        return 2;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "tarvo_render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    if (!image.save(QString::fromLocal8Bit(argv[3]), "PNG")) {
        std::fprintf(stderr, "tarvo_render_icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
