// The community service's XML answers: result code, info text and the objects built from the
// elements of a successful answer.
#include <tinyxml2.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "net/CPHPCharacter.h"
#include "net/CPHPLoginUser.h"
#include "net/CPHPNotification.h"
#include "net/CPHPUser.h"
#include "net/CommunityResult.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vm::CommunityInfoCode(text);
    tinyxml2::XMLDocument doc;
    const tinyxml2::XMLElement* result = nullptr;
    const int code = vm::ParseCommunityResult(text, doc, &result);
    if (code != 0 || !result) return 0;
    auto login = vm::CPHPLoginUser::FromElement(*result);
    login->GetCookieString();
    auto user = vm::CPHPUser::FromElement(*result);
    for (const auto* e = result->FirstChildElement(); e; e = e->NextSiblingElement()) {
        vm::CPHPUser::FromElement(*e);
        vm::CPHPCharacter::FromElement(*e);
        vm::CPHPNotification::FromElement(*e);
    }
    return 0;
}
