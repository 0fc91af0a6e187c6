#include "GalleryOutput.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "skin/MarkupText.h"

namespace vm::gallery {
namespace {

struct State {
    QString folder;
    QString prefix;
    std::vector<QString> pictures;          // in the order written, for the contact sheet
    std::vector<MarkupTextRecord> pending;  // text drawn since the last picture
    int clipped = 0;
};

State& S() {
    static State s;
    return s;
}

// Renders with the text observer on: only whole-window renders are looked at, so a partial
// repaint's clip never passes for a cut.
template <typename F>
QImage Observed(F&& render) {
    SetMarkupTextObserver([](const MarkupTextRecord& r) { S().pending.push_back(r); });
    QImage shot = render();
    SetMarkupTextObserver({});
    return shot;
}

QString Describe(const MarkupTextRecord& r) {
    QString what;
    if (r.leftOver) what = QStringLiteral("未能排下全部文字");
    for (const MarkupTextPiece& p : r.pieces) {
        if ((QRegion(p.ink) - r.visible).isEmpty()) continue;
        if (!what.isEmpty()) what += QStringLiteral("；");
        const QRect v = r.visible.boundingRect();
        what += QStringLiteral("“%1”在 (%2,%3)-(%4,%5)，可见范围 (%6,%7)-(%8,%9)")
                    .arg(QString::fromStdString(p.text))
                    .arg(p.ink.left())
                    .arg(p.ink.top())
                    .arg(p.ink.right() + 1)
                    .arg(p.ink.bottom() + 1)
                    .arg(v.left())
                    .arg(v.top())
                    .arg(v.right() + 1)
                    .arg(v.bottom() + 1);
    }
    return what;
}

}  // namespace

void SetOutputFolder(const QString& folder) {
    S().folder = folder;
}

void SetNamePrefix(const QString& prefix) {
    S().prefix = prefix;
}

const std::vector<QString>& Pictures() {
    return S().pictures;
}

QImage RenderWindow(QWidget* w) {
    QApplication::processEvents();
    return Observed([w] {
        const qreal ratio = w->devicePixelRatioF();
        QImage shot((QSizeF(w->size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        shot.setDevicePixelRatio(ratio);
        shot.fill(Qt::transparent);
        w->render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
        if (w->mask().isEmpty()) return shot;
        QImage cut(shot.size(), QImage::Format_ARGB32_Premultiplied);
        cut.setDevicePixelRatio(ratio);
        cut.fill(Qt::transparent);
        QPainter p(&cut);
        p.setClipRegion(w->mask());
        p.drawImage(0, 0, shot);
        p.end();
        return cut;
    });
}

QImage GrabWindow(QWidget* w) {
    return Observed([w] { return w->grab().toImage(); });
}

int SavePicture(const QImage& image, const QString& baseName) {
    State& s = S();
    const QString name = s.prefix + baseName;
    for (const MarkupTextRecord& r : s.pending) {
        if (MarkupTextFits(r)) continue;
        ++s.clipped;
        std::fprintf(stderr, "文字被截断：%s：%s：%s\n", name.toUtf8().constData(), r.text.c_str(),
                     Describe(r).toUtf8().constData());
    }
    s.pending.clear();
    const QString path = QDir(s.folder).filePath(name);
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "无法写入图片：%s\n", path.toLocal8Bit().constData());
        return 1;
    }
    s.pictures.push_back(name);
    return 0;
}

void AddToContactSheet(const QString& name) {
    S().pictures.push_back(name);
}

int WriteContactSheet(const QString& name) {
    // Rows of pictures, each under its file name, no wider than this.
    constexpr int kMaxWidth = 2600, kGap = 16, kCaption = 22;
    struct Tile {
        QString name;
        QImage image;
        QPoint at;
    };
    std::vector<Tile> tiles;
    int x = kGap, y = kGap, rowHeight = 0, width = 0;
    for (const QString& picture : S().pictures) {
        QImage image(QDir(S().folder).filePath(picture));
        if (image.isNull()) continue;
        // Every window at the size it has on the screen; the twice-size renders are looked at
        // in their own files.
        if (picture.startsWith(QLatin1String("scale2-")))
            image = image.scaled(image.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        image.setDevicePixelRatio(1);
        if (x > kGap && x + image.width() > kMaxWidth) {
            x = kGap;
            y += rowHeight + kGap;
            rowHeight = 0;
        }
        tiles.push_back({picture, image, QPoint(x, y)});
        x += std::max(image.width(), 160) + kGap;
        width = std::max(width, x);
        rowHeight = std::max(rowHeight, image.height() + kCaption);
    }
    QImage sheet(std::max(width, 1), y + rowHeight + kGap, QImage::Format_RGB32);
    sheet.fill(QColor(0x1B, 0x0C, 0x2E));
    QPainter p(&sheet);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(14);
    p.setFont(font);
    p.setPen(QColor(0xE6, 0xD2, 0xFF));
    for (const Tile& t : tiles) {
        p.drawText(QRect(t.at.x(), t.at.y(), std::max(t.image.width(), 160), kCaption - 4),
                   Qt::AlignLeft | Qt::AlignVCenter, t.name);
        p.drawImage(t.at + QPoint(0, kCaption), t.image);
    }
    p.end();
    const QString path = QDir(S().folder).filePath(name);
    if (sheet.save(path, "PNG")) return 0;
    std::fprintf(stderr, "无法写入图片：%s\n", path.toLocal8Bit().constData());
    return 1;
}

int ClippedTextCount() {
    return S().clipped;
}

}  // namespace vm::gallery
