#include "skin/ResourceLoader.h"

#include <QFile>
#include <map>
#include <optional>

#include "imaging/ImageDecoder.h"
#include "platform/FileUtil.h"
#include "skin/DecodedImage.h"

namespace vm {
namespace {

struct Modules {
    std::string current = ":";
    std::optional<std::string> strings;
};

Modules& State() {
    static Modules modules;
    return modules;
}

const char* Folder(ResourceType type) {
    switch (type) {
        case ResourceType::Png:
            return "png";
        case ResourceType::Bitmap:
            return "bmp";
        case ResourceType::Icon:
            return "icon";
        case ResourceType::Jpeg:
            return "jpg";
        case ResourceType::SystemIcon:
            return "sysicon";
    }
    return "png";
}

QImage Decode(const QByteArray& bytes) {
    // PNG goes through Qt; the rest through our own decoders.
    if (bytes.startsWith("\x89PNG")) {
        QImage image;
        if (!image.loadFromData(bytes, "PNG")) return {};
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    const DecodeResult r = DecodeImage(std::string_view(bytes.constData(), bytes.size()));
    if (!r) return {};
    return ToQImage(r.image).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Twice-size pictures by the path of their picture, decoded when a scaled screen first asks
// and kept (like the theme); on a plain screen they would only be dead weight, four times the
// picture each.
std::map<QString, QImage>& DoubleSize() {
    static std::map<QString, QImage> pictures;
    return pictures;
}

QString DoubleSizePath(QString path) {
    path.insert(path.size() - 4, QLatin1String("@2x"));
    return path;
}

// The key a picture carries in its metadata, which QImage copies along with the pixels.
const QString kDoubleSizeKey = QStringLiteral("vm-double-size");

}  // namespace

void SetResourceInstance(std::string_view module) {
    Modules& m = State();
    m.current = module.empty() ? std::string(":") : std::string(module);
    if (!m.strings) m.strings = m.current;
}

const std::string& GetResourceInstance() {
    return State().current;
}

const std::string& GetStringResourceInstance() {
    const Modules& m = State();
    return m.strings ? *m.strings : m.current;
}

std::string ResourcePath(ResourceType type, int number, std::string_view module) {
    std::string root = module.empty() ? GetResourceInstance() : std::string(module);
    if (!root.empty() && root.back() != '/') root += '/';
    const char* ext = type == ResourceType::Jpeg ? ".jpg" : ".png";
    return root + Folder(type) + "/" + std::to_string(number) + ext;
}

bool LoadImageResource(QImage& target, ResourceType type, int number, std::string_view module) {
    const QString path = QString::fromStdString(ResourcePath(type, number, module));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QImage image = Decode(file.readAll());
    if (image.isNull()) return false;
    if (path.endsWith(QLatin1String(".png")) && QFile::exists(DoubleSizePath(path)))
        image.setText(kDoubleSizeKey, path);
    target = std::move(image);
    return true;
}

const QImage& DoubleSizeOf(const QImage& image) {
    static const QImage none;
    if (image.isNull()) return none;
    const QString key = image.text(kDoubleSizeKey);
    if (key.isEmpty()) return none;
    auto& known = DoubleSize();
    auto it = known.find(key);
    if (it == known.end()) {
        QImage twice;
        QFile f(DoubleSizePath(key));
        if (f.open(QIODevice::ReadOnly)) twice = Decode(f.readAll());
        it = known.emplace(key, std::move(twice)).first;
    }
    if (it->second.size() != image.size() * 2) return none;
    return it->second;
}

bool LoadPngResource(QImage& target, int number, std::string_view module) {
    return LoadImageResource(target, ResourceType::Png, number, module);
}

QImage LoadPictureFile(const std::filesystem::path& path) {
    const std::optional<std::string> bytes = platform::ReadWholeFile(path);
    if (!bytes) return {};
    return Decode(QByteArray::fromRawData(bytes->data(), static_cast<qsizetype>(bytes->size())));
}

}  // namespace vm
