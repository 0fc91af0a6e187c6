#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>

#include "app/CVelmoraApp.h"
#include "net/CCookieStore.h"
#include "net/OneShot.h"
#include "net/endpoints.h"
#include "tests/support/ScopedTempDir.h"
#include "tests/support/ScriptedPrompter.h"
#include "tests/support/TestServer.h"

namespace vm::test {

// Every network test: a private data folder (the cookie jar never touches the user's), no
// proxy, a scripted prompter, and the endpoints pointing at two in-process servers: the
// statistics and data servers on `services`, everything else on `server`. A request sent to
// the wrong service then goes unanswered.
class NetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        ::setenv("HOME", home.Path().c_str(), 1);
        for (const char* v :
             {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            ::unsetenv(v);
        CCookieStore::ReloadShared();
        SessionCookieList().Set({});
        theApp().SetPrompter(prompter);
        Endpoints e;
        e.passportOrigin = server.Origin();
        e.statServer = services.Origin();
        e.dataServer = services.Origin();
        e.communityHost = server.HostPort();
        e.avatarHost = server.HostPort();
        e.gameHost = "game.test.example";
        SetEndpoints(e);
    }
    void TearDown() override { theApp().SetPrompter(nullptr); }

    ScopedTempDir home;
    TestServer server;
    TestServer services;
    std::shared_ptr<ScriptedPrompter> prompter = std::make_shared<ScriptedPrompter>();
};

}  // namespace vm::test
