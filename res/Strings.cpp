#include "res/Strings.h"

#include <algorithm>
#include <iterator>

#include "skin/StringTable.h"

namespace vm::res {
namespace {

struct Entry {
    unsigned id;
    const char* text;
};

// Tooltips of the main window's controls, by control id; sorted by id.
constexpr Entry kStrings[] = {
    {2, "用户登录"},  {3, "注册账号"},      {10, "退出"},     {12, "上传配置"},   {13, "下载配置"},
    {17, "更新插件"}, {18, "查看更新日志"}, {19, "运行游戏"}, {22, "网络加速"},   {26, "访问论坛"},
    {27, "设置"},     {28, "最小化"},       {29, "关闭"},     {32, "复制校验码"},
};

}  // namespace

void RegisterStringTable() {
    SetStringTable([](unsigned id) -> std::optional<std::string> {
        const auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                                         [](const Entry& e, unsigned v) { return e.id < v; });
        if (it == std::end(kStrings) || it->id != id) return std::nullopt;
        return std::string(it->text);
    });
}

}  // namespace vm::res
