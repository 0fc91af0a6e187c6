#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/Version.h"
#include "tools/cli/CliCommand.h"
#include "tools/cli/CliOptions.h"
#include "update/MirrorPublisher.h"

namespace vm::cli {

namespace {

// Two positional arguments and a repeatable --optional, which the shared option parser
// does not carry; the value options accept "--name VALUE" and "--name=VALUE" alike.
bool ParsePublishArgs(const std::vector<std::string>& args, PublishOptions& options, bool& help,
                      std::string& error) {
    std::vector<std::string> positional;
    std::optional<std::string> set;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            help = true;
            continue;
        }
        if (a == "--no-cache") {
            options.noCache = true;
            continue;
        }
        if (a.rfind("--", 0) != 0) {
            positional.push_back(a);
            continue;
        }
        const std::size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        static const char* const kValueOptions[] = {"--set",      "--folder",  "--version",
                                                    "--client",   "--updater", "--changelog",
                                                    "--optional", "--sign"};
        bool known = false;
        for (const char* o : kValueOptions) known = known || name == o;
        if (!known) {
            error = "无法识别的参数：" + a;
            return false;
        }
        std::string value;
        if (eq != std::string::npos) {
            value = a.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = "选项 " + name + " 缺少参数。";
            return false;
        }
        if (name == "--set") set = value;
        if (name == "--folder") options.folder = value;
        if (name == "--version") options.version = value;
        if (name == "--client") options.client = value;
        if (name == "--updater") options.updater = value;
        if (name == "--changelog") options.changelog = value;
        if (name == "--optional") options.optionalFolders.push_back(value);
        if (name == "--sign") options.signingKey = value;
    }
    if (help) return true;
    if (positional.size() != 2) {
        error = "需要插件目录和镜像目录两个参数。";
        return false;
    }
    if (!set) {
        error = "缺少 --set NAME。";
        return false;
    }
    options.addonsDir = positional[0];
    options.mirrorDir = positional[1];
    options.setName = *set;
    return true;
}

int RunPublish(const std::vector<std::string>& args) {
    PublishOptions options;
    bool help = false;
    std::string error;
    if (!ParsePublishArgs(args, options, help, error)) {
        PrintError(error);
        std::cerr << kPublishCommand.help;
        return kExitUsage;
    }
    if (help) {
        std::cout << kPublishCommand.help;
        return kExitOk;
    }
    const PublishResult result = PublishMirror(options);
    if (!result.ok) {
        PrintError(result.error);
        return kExitFailed;
    }
    std::cout << "插件集: " << options.setName << "\n"
              << "服务器目录: " << result.setFolder << "\n"
              << "插件: " << result.addOns << "\n"
              << "文件: " << result.files << "\n"
              << "checksum.txt: " << result.infoChecksum << " / " << result.listChecksum << "\n";
    for (const std::string& signature : result.signatures)
        std::cout << "签名: " << signature << "\n";
    return kExitOk;
}

}  // namespace

const CliCommand kPublishCommand{
    "publish",
    "ADDONS_DIR MIRROR_DIR --set NAME [选项]",
    "把插件目录发布为可直接提供下载的镜像目录",
    "用法: velmora publish ADDONS_DIR MIRROR_DIR --set NAME [--folder /PATH] [--version V]\n"
    "         [--client PATH] [--updater PATH] [--no-cache] [--changelog FILE]\n"
    "         [--optional FOLDER]... [--sign KEY]\n"
    "ADDONS_DIR 中的每个目录是一个插件，其中的文件（包括 info.ini）与 ADDONS_DIR 中的散文件\n"
    "一起发布到 MIRROR_DIR 中插件集的目录下（每个文件另附一个 .z 压缩包），并写入\n"
    "filelist.xml.z、Velmora-TVRN/Info.z 和 Velmora-TVRN/checksum.txt。再次发布另一个插件集\n"
    "时，它会加入已有的 Info。\n"
    "  --set NAME         插件集名称\n"
    "  --folder /PATH     插件集在服务器上的目录，默认由名称得出\n"
    "  --version V        最新客户端版本，默认保留原值，否则为 " VM_VERSION_TEXT
    "\n"
    "  --client PATH      新客户端：本地文件（复制到 Velmora-TVRN/）或服务器上的路径（/...）\n"
    "  --updater PATH     更新程序，同上\n"
    "  --no-cache         下载时附加防缓存参数（NoCacheMode = 1）\n"
    "  --changelog FILE   更新说明文本（UTF-8）\n"
    "  --optional FOLDER  把该插件标记为可选插件，可多次使用\n"
    "  --sign KEY         用 Ed25519 私钥 KEY（PEM 文件）为更新信息中的客户端和更新程序签名：\n"
    "                     每个程序旁写入同名加 .sig 的签名文件（如 Velmora-TVRN/VMUpdate.sig），\n"
    "                     签名包含发布的版本号。Velmora 只安装由内置公钥验证通过、且版本比\n"
    "                     自身新的程序；更换程序或版本号后须重新签名。开发用密钥在构建目录的\n"
    "                     signing/velmora-dev.pem\n",
    RunPublish,
};

}  // namespace vm::cli
