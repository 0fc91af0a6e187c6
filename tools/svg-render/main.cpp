// svg-render IN.svg OUT.png [WIDTH HEIGHT]
// Renders an SVG picture to a PNG of its own size (or the size given), keeping transparency.
// An output named .jpg gets a JPEG instead, the transparent parts on black.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "用法：svg-render 输入.svg 输出.png [宽 高]\n");
        return 2;
    }
    // Text in the pictures needs fonts, not a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "无法读取图片源文件：%s\n", argv[1]);
        return 1;
    }
    QSize size = svg.defaultSize();
    if (argc == 5) size = QSize(std::atoi(argv[3]), std::atoi(argv[4]));
    if (size.isEmpty()) {
        std::fprintf(stderr, "图片尺寸无效：%s\n", argv[1]);
        return 1;
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        svg.render(&painter);
    }
    const QString outName = QString::fromLocal8Bit(argv[2]);
    const bool jpeg = outName.endsWith(".jpg", Qt::CaseInsensitive);
    if (jpeg) image = image.convertToFormat(QImage::Format_RGB32);
    QSaveFile out(outName);
    if (!out.open(QIODevice::WriteOnly) ||
        !image.save(&out, jpeg ? "JPG" : "PNG", jpeg ? 92 : -1) || !out.commit()) {
        std::fprintf(stderr, "无法写入图片：%s\n", argv[2]);
        return 1;
    }
    return 0;
}
