#include "net/LoginMessages.h"

namespace vm {

std::string LogonFailureText(PassportFailure why) {
    if (why == PassportFailure::Unreachable)
        return "<c #F4E9FF>无法连接通行证服务器，请检查网络连接后再试。</c>";
    return "<c #F4E9FF>验证失败，确认你的用户或密码输入正确。</c>";
}

std::string AutoLoginFailureText(PassportFailure why) {
    if (why == PassportFailure::Unreachable)
        return "无法连接通行证服务器，自动登录失败！请检查网络连接后手动登录。";
    return "自动登录失败！请手动登陆。";
}

}  // namespace vm
