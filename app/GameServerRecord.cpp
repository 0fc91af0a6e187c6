#include "app/GameServerRecord.h"

#include <cstring>

#include "platform/FileUtil.h"
#include "platform/Text.h"

namespace vm {

namespace {

// Text at offset, at most chars-1 characters so the terminating zero always fits.
void PutText(std::uint8_t* rec, std::size_t offset, std::size_t chars, const std::string& s) {
    std::u16string w = platform::Utf8ToUtf16(s);
    if (w.size() > chars - 1) w.resize(chars - 1);
    for (std::size_t i = 0; i < w.size(); ++i) {
        rec[offset + 2 * i] = std::uint8_t(w[i] & 0xFF);
        rec[offset + 2 * i + 1] = std::uint8_t(w[i] >> 8);
    }
}

std::string GetText(const std::uint8_t* rec, std::size_t offset, std::size_t chars) {
    std::u16string w;
    for (std::size_t i = 0; i < chars; ++i) {
        char16_t c = char16_t(rec[offset + 2 * i] | (rec[offset + 2 * i + 1] << 8));
        if (c == 0) break;
        w.push_back(c);
    }
    return platform::Utf16ToUtf8(w);
}

void PutInt(std::uint8_t* rec, std::size_t offset, std::int32_t v) {
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) rec[offset + i] = std::uint8_t(u >> (8 * i));
}

std::int32_t GetInt(const std::uint8_t* rec, std::size_t offset) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= std::uint32_t(rec[offset + i]) << (8 * i);
    return static_cast<std::int32_t>(u);
}

}  // namespace

std::array<std::uint8_t, GameServerRecord::kSize> GameServerRecord::Serialize() const {
    std::array<std::uint8_t, kSize> rec{};
    PutText(rec.data(), 0, 256, displayName);
    PutText(rec.data(), 512, 256, host);
    PutInt(rec.data(), 2600, port);
    PutInt(rec.data(), 2604, latency);
    return rec;
}

GameServerRecord GameServerRecord::Deserialize(const std::uint8_t* bytes) {
    GameServerRecord r;
    r.displayName = GetText(bytes, 0, 256);
    r.host = GetText(bytes, 512, 256);
    r.port = GetInt(bytes, 2600);
    r.latency = GetInt(bytes, 2604);
    return r;
}

bool WriteRealmsFile(const std::string& path, const std::vector<GameServerRecord>& records) {
    std::string bytes;
    bytes.reserve(records.size() * GameServerRecord::kSize);
    for (const auto& r : records) {
        auto rec = r.Serialize();
        bytes.append(reinterpret_cast<const char*>(rec.data()), rec.size());
    }
    return platform::WriteFileAtomic(path, bytes);
}

std::vector<GameServerRecord> ReadRealmsFile(const std::string& path) {
    std::vector<GameServerRecord> out;
    auto bytes = platform::ReadWholeFile(path);
    if (!bytes) return out;
    for (std::size_t off = 0; off + GameServerRecord::kSize <= bytes->size();
         off += GameServerRecord::kSize)
        out.push_back(GameServerRecord::Deserialize(
            reinterpret_cast<const std::uint8_t*>(bytes->data()) + off));
    return out;
}

}  // namespace vm
