#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vm {

inline constexpr char kParticleKey[] = "rendSetting.particle";

// The game's "Client.ini" with the particle entry set to "false" (disable) or "true".
// Works on bytes, so a file in the game's own encoding keeps every other byte: line ends,
// empty lines, section headers and comments stay as they are. Only the first key=value line
// with the particle key is kept, carrying the wanted value; later ones are dropped. Nothing
// is added when the file has no such line.
std::string WithParticleSetting(std::string_view clientIni, bool disableParticle);

// Rewrites the file atomically with WithParticleSetting. A missing, empty, unreadable or
// unwritable file is left alone. true when the file was rewritten.
bool ApplyParticleSwitch(const std::filesystem::path& clientIni, bool disableParticle);

}  // namespace vm
