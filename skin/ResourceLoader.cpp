#include "skin/ResourceLoader.h"

#include <QFile>
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
    QFile file(QString::fromStdString(ResourcePath(type, number, module)));
    if (!file.open(QIODevice::ReadOnly)) return false;
    QImage image = Decode(file.readAll());
    if (image.isNull()) return false;
    target = std::move(image);
    return true;
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
