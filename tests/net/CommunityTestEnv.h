#pragma once

#include <stdlib.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "net/CPHPServer.h"
#include "tests/net/NetTestEnv.h"
#include "tools/devservices/CommunityFake.h"

namespace vm::test {

using dev::CommunityFake;

// The community client against the fake service, with two users who are no friends yet:
// alice (1, password "secret1") and bob (2, with a primary character).
class CommunityTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        // Pictures land in this test's folder; the next test's folder is made where it was.
        if (const char* tmp = ::getenv("TMPDIR")) m_oldTmp = tmp;
        ::setenv("TMPDIR", home.Path().c_str(), 1);
        CommunityFake::User alice = Member(1, "alice");
        alice.notification = 3;
        fake.AddUser(alice);
        CommunityFake::User bob = Member(2, "bob");
        bob.characters = {{"cn", "Stormhold", "Bobbin", "m", "north", "mage", "elf", true}};
        fake.AddUser(bob);
    }
    void TearDown() override {
        AcquireServer()->Release();
        if (m_oldTmp)
            ::setenv("TMPDIR", m_oldTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        NetTest::TearDown();
    }

    // A user named name with the password "secret" + uid.
    static CommunityFake::User Member(std::uint32_t uid, const std::string& name) {
        CommunityFake::User u;
        u.uid = uid;
        u.username = name;
        u.email = name + "@example.org";
        u.password = "secret" + std::to_string(uid);
        return u;
    }
    // Logs the member in and forgets the requests so far.
    ILoginUser& LoginAs(const CommunityFake::User& u) {
        ILoginUser* me = GetServer()->Login(u.username, "", u.password, false);
        if (!me) throw std::runtime_error(u.username + " could not log in");
        fake.ClearLog();
        return *me;
    }
    ILoginUser& LoginAlice() { return LoginAs(*fake.GetUser(1)); }

    CommunityFake fake{server};

  private:
    std::optional<std::string> m_oldTmp;
};

}  // namespace vm::test
