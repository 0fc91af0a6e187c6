#include "net/GameDataUpload.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "app/GameFolder.h"
#include "net/Multipart.h"
#include "net/OneShot.h"
#include "net/endpoints.h"
#include "platform/Md5.h"

namespace vm {
namespace {

constexpr std::size_t kFieldBytes = 80;  // id and token, zero-terminated
constexpr std::size_t kSignatureExtra = 417;
constexpr std::size_t kSignedExtra = 128;

// zlib format at the default level; empty when the piece is empty or does not compress.
std::string Compress(std::string_view piece) {
    if (piece.empty()) return {};
    uLongf size = compressBound(static_cast<uLong>(piece.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(piece.data()), static_cast<uLong>(piece.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

void AddField(std::string& body, std::string_view name, std::string_view value) {
    body += "--";
    body += kPassportBoundary;
    body += "\r\nContent-Disposition: form-data; name=\"";
    body += name;
    body += "\"\r\n\r\n";
    body += value;
    body += "\r\n";
}

}  // namespace

std::optional<std::string> Md5OfFile(const std::filesystem::path& path) {
    return platform::Md5HexOfFile(path);
}

PackedGameData PackGameData(const CollectedData& collected) {
    PackedGameData out;
    bool first = true;
    auto add = [&out, &first](std::string_view piece) {
        const std::string packed = Compress(piece);
        if (!first) out.rup += ',';
        first = false;
        out.rup += std::to_string(packed.size());
        out.data += packed;
    };
    add(collected.first);
    add(collected.second);
    add(collected.third);
    for (const auto& [name, piece] : collected.pieces) add(piece);
    return out;
}

std::optional<ProbeAnswer> ParseProbeAnswer(std::string_view answer) {
    if (answer.find("error") != std::string_view::npos) return std::nullopt;
    const auto colon = answer.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    ProbeAnswer probe{std::string(answer.substr(0, colon)), std::string(answer.substr(colon + 1))};
    // The fields hold 79 bytes of text; a longer id or token would not reach the server whole.
    if (probe.id.size() >= kFieldBytes || probe.token.size() >= kFieldBytes) return std::nullopt;
    return probe;
}

std::string BuildSignatureBlock(std::string_view data, std::string_view token, std::string_view h1,
                                std::string_view h2, std::string_view h3) {
    std::string block(data.size() + kSignatureExtra, '\0');
    auto put = [&block](std::size_t at, std::string_view bytes, std::size_t max) {
        std::memcpy(block.data() + at, bytes.data(), std::min(bytes.size(), max));
    };
    put(0, data, 8);
    put(8, token, 32);
    put(40, h1, 32);
    put(72, h2, 32);
    put(104, h3, 32);
    if (data.size() > 8) put(136, data.substr(8), data.size() - 8);
    return block;
}

std::string DataChecksum(std::string_view data, std::string_view token, std::string_view h1,
                         std::string_view h2, std::string_view h3) {
    const std::string block = BuildSignatureBlock(data, token, h1, h2, h3);
    return platform::Md5Hex(std::string_view(block).substr(0, data.size() + kSignedExtra));
}

std::string BuildGameDataBody(std::string_view id, std::string_view checksum, std::string_view rup,
                              std::string_view data) {
    std::string body;
    body.reserve(data.size() + 1024);
    AddField(body, "cache", "0");
    AddField(body, "module", "velmora_tvrn_data_receiver");
    AddField(body, "qelid", id);
    AddField(body, "checksum", checksum);
    AddField(body, "rup", rup);
    AppendPassportFilePart(body, kPassportBoundary, "datafile.gz", data);
    return body;
}

std::optional<std::string> ProbeDataServer() {
    return OneShotGet(DataPingUrl(), OneShotFlags::NoCacheWrite | OneShotFlags::NoAutoCookies, {});
}

void UploadGameData() {
    const CollectedData collected = theApp().CombatLog().collectedData.Get();
    const PackedGameData packed = PackGameData(collected);

    std::optional<std::string> answer = ProbeDataServer();
    if (!answer) return;
    std::optional<ProbeAnswer> probe = ParseProbeAnswer(*answer);
    if (!probe || packed.data.empty()) return;

    const std::string h1 = Md5OfFile(GameFile("Interface/VM_Hive/Hive.lua"))
                               .value_or(platform::Md5Hex(collected.first));
    const std::string h2 =
        Md5OfFile(GameFile("Interface/VM_Hive/info.ini")).value_or(platform::Md5Hex(probe->token));
    const std::string h3 = Md5OfFile(GameFile(kGameExecutableName)).value_or(platform::Md5Hex(h2));
    const std::string checksum = DataChecksum(packed.data, probe->token, h1, h2, h3);

    (void)OneShotPost(DataUploadUrl(), OneShotFlags::NoCacheWrite | OneShotFlags::NoAutoCookies,
                      kPassportMultipartHeader,
                      BuildGameDataBody(probe->id, checksum, packed.rup, packed.data),
                      BuildPassportCookieHeader(CookieSource::WithSessionList));
}

}  // namespace vm
