#include "tools/devservices/DevServices.h"

#include "app/SettingsKeys.h"
#include "tools/devservices/CommunityFake.h"
#include "tools/devservices/DataServerFake.h"
#include "tools/devservices/PassportFake.h"
#include "tools/devservices/RouteServer.h"

namespace vm::dev {

struct DevServices::Impl {
    RouteServer server;
    CommunityFake community{server};
    PassportFake passport{server};
    DataServerFake data{server};

    Impl() {
        CommunityFake::User demo;
        demo.uid = 1;
        demo.username = kDemoUser;
        demo.email = "demo@velmora.example";
        demo.password = kDemoPassword;
        community.AddUser(demo);
        passport.AddUser({kDemoUser, kDemoPassword, kDemoUser, ""});
        // The statistics server only needs to answer.
        const auto ok = [](const httplib::Request&, httplib::Response& res) {
            res.set_content("ok", "text/plain");
        };
        server.On("GET", "/stat.php", ok);
        server.On("POST", "/stat.php", ok);
    }
    // The handlers use the services: no request may still run when they go.
    ~Impl() { server.Stop(); }
};

DevServices::DevServices() : m_impl(std::make_unique<Impl>()) {}

DevServices::~DevServices() = default;

bool DevServices::Start(std::function<void(const std::string&)> logger) {
    if (logger) m_impl->server.SetLogger(std::move(logger));
    return m_impl->server.Start();
}

std::string DevServices::Origin() const {
    return m_impl->server.Origin();
}

std::string DevServices::EndpointLines() const {
    const std::string origin = m_impl->server.Origin();
    const std::string host = m_impl->server.HostPort();
    using namespace settings;
    return EntryLine(kPassportOrigin, origin) + EntryLine(kStatServer, origin) +
           EntryLine(kDataServer, origin) + EntryLine(kCommunityHost, host) +
           EntryLine(kAvatarHost, host);
}

}  // namespace vm::dev
