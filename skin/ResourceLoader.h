#pragma once

// Pictures compiled into the program, found by type and number (":/png/254.png",
// ":/bmp/218.png", ":/icon/128.png", ":/jpg/4.jpg"). A module is the root folder the numbers
// are looked up in: the compiled-in resources (":") unless SetResourceInstance chose another
// one; a plain folder works the same way, which lets tools and tests bring their own pictures.
// UI thread only.

#include <QImage>
#include <filesystem>
#include <string>
#include <string_view>

namespace vm {

enum class ResourceType { Png, Bitmap, Icon, Jpeg, SystemIcon };

// Sets the module used when a call names none; the first module set is also kept as the
// string-resource module.
void SetResourceInstance(std::string_view module);
const std::string& GetResourceInstance();
const std::string& GetStringResourceInstance();

// Where resource `number` of `type` lives in `module` (the current one when empty).
std::string ResourcePath(ResourceType type, int number, std::string_view module = {});

// Decodes the picture into `target`; false (target untouched) when it is missing or broken.
bool LoadPngResource(QImage& target, int number, std::string_view module = {});
bool LoadImageResource(QImage& target, ResourceType type, int number, std::string_view module = {});

// The twice-size drawing of a loaded picture ("png/254@2x.png" beside "png/254.png"), for
// screens scaled by two; null when there is none or `image` is no longer the whole picture.
// Copies and clones of a loaded picture keep it; a cut-out part does not.
const QImage& DoubleSizeOf(const QImage& image);

// A picture file of any format the program reads (PNG through Qt, JPEG, GIF, BMP and TGA
// through our decoders); a null image when it cannot be read.
QImage LoadPictureFile(const std::filesystem::path& path);

}  // namespace vm
