#pragma once

#include <stdlib.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "net/CPHPServer.h"
#include "tests/net/NetTestEnv.h"
#include "tests/support/CommunityFake.h"

namespace vm::test {

// The community client against the fake service, with two users who are no friends yet:
// alice (1, password "secret1") and bob (2, with a primary character).
class CommunityTest : public NetTest {
  protected:
    void SetUp() override {
        NetTest::SetUp();
        // Pictures land in this test's folder; the next test's folder is made where it was.
        if (const char* tmp = ::getenv("TMPDIR")) m_oldTmp = tmp;
        ::setenv("TMPDIR", home.Path().c_str(), 1);
        CommunityFake::User alice;
        alice.uid = 1;
        alice.username = "alice";
        alice.email = "alice@example.org";
        alice.password = "secret1";
        alice.notification = 3;
        fake.AddUser(alice);
        CommunityFake::User bob;
        bob.uid = 2;
        bob.username = "bob";
        bob.email = "bob@example.org";
        bob.password = "secret2";
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

    ILoginUser& LoginAlice() {
        ILoginUser* me = GetServer()->Login("alice", "", "secret1", false);
        if (!me) throw std::runtime_error("alice could not log in");
        fake.ClearLog();
        return *me;
    }

    CommunityFake fake{server};

  private:
    std::optional<std::string> m_oldTmp;
};

}  // namespace vm::test
