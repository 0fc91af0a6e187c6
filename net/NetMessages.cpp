#include "net/NetMessages.h"

#include "app/CVelmoraApp.h"
#include "app/Prompter.h"
#include "platform/FileUtil.h"

namespace vm {

namespace {
constexpr char kCaption[] = "Velmora";
}

void ShowNetMessage(const std::string& text) {
    theApp().Prompt(text, kCaption, MB_OK | MB_ICONERROR);
}

std::string NetworkErrorText(const std::string& detail) {
    return "网络传输发生错误：" + (detail.empty() ? std::string("未知原因") : detail) +
           "\n请检查网络连接后重试。";
}

std::string FileErrorText(const std::filesystem::path& path, int err) {
    return "无法写入文件“" + path.string() + "”：" + platform::ErrnoText(err);
}

}  // namespace vm
