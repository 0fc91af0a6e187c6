#include "tools/devserver/DevServices.h"

#ifdef VELMORA_DEVSERVER_FAKES
#include "tests/support/CommunityFake.h"
#include "tests/support/DataServerFake.h"
#include "tests/support/PassportFake.h"
#include "tests/support/TestServer.h"

struct DevServices::Impl {
    vm::test::TestServer server;
    vm::test::CommunityFake community{server};
    vm::test::PassportFake passport{server};
    vm::test::DataServerFake data{server};

    Impl() {
        vm::test::CommunityFake::User demo;
        demo.uid = 1;
        demo.username = "demo";
        demo.email = "demo@velmora.example";
        demo.password = "demo";
        community.AddUser(demo);
        passport.AddUser({"demo", "demo", "demo", ""});
        server.Reply("/stat.php", "ok");
    }
};

DevServices::DevServices() : m_impl(std::make_unique<Impl>()) {}

std::string DevServices::EndpointLines() const {
    const std::string origin = m_impl->server.Origin();
    const std::string host = m_impl->server.HostPort();
    return "PassportOrigin=" + origin + "\r\nStatServer=" + origin + "\r\nDataServer=" + origin +
           "\r\nCommunityHost=" + host + "\r\nAvatarHost=" + host + "\r\n";
}
#else
struct DevServices::Impl {};

DevServices::DevServices() = default;

std::string DevServices::EndpointLines() const {
    return {};
}
#endif

DevServices::~DevServices() = default;
