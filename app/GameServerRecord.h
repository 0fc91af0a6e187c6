#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vm {

// One game server as stored in "Velmora.realms": a fixed 2608-byte record of UTF-16LE text
// fields, the port and the last latency (little-endian 32-bit integers).
struct GameServerRecord {
    static constexpr std::size_t kSize = 2608;

    std::string displayName;    // at 0, 256 characters
    std::string host;           // at 512, 256 characters
    std::int32_t port = 80;     // at 2600
    std::int32_t latency = -1;  // at 2604, -1 when not measured or failed

    std::array<std::uint8_t, kSize> Serialize() const;
    static GameServerRecord Deserialize(const std::uint8_t* bytes);
};

// Writes the records as a flat array, replacing the file atomically.
bool WriteRealmsFile(const std::string& path, const std::vector<GameServerRecord>& records);
std::vector<GameServerRecord> ReadRealmsFile(const std::string& path);

}  // namespace vm
