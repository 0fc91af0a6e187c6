#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/CPHPCharacter.h"
#include "net/IUser.h"

namespace tinyxml2 {
class XMLElement;
}

namespace vm {

// A community user built from the attributes of a "result", "friend" or "user" element. Owns
// its primary character. Not thread-safe.
class CPHPUser : public virtual IUser {
  public:
    // The forum level, known once groupId is no longer -1.
    struct LevelRecord {
        std::string level;
        std::string tip;
        int current = 0;
        int maximum = 0;
        int groupId = -1;
    };

    static std::unique_ptr<CPHPUser> FromElement(const tinyxml2::XMLElement& element);

    std::uint32_t GetId() const override { return m_uid; }
    std::string GetUserName() const override { return m_userName; }
    std::string GetEmail() const override { return m_email; }
    int GetState() const override { return m_state; }
    int GetLevel() const override { return m_level; }
    std::string GetAvatar(int pixelSize) override;
    ICharacter* GetPrimaryCharacter() override { return m_primary.get(); }
    void AddFriend(const std::string& message) override;
    void DeleteFriend() override;
    void GetLevelInfo(std::string& level, int& current, int& maximum, Refresh refresh) override;
    int GetGroupId(Refresh refresh) override;
    void GetTip(std::string& tip, Refresh refresh) override;

  protected:
    // uid, username, email, state and level.
    void ReadRecord(const tinyxml2::XMLElement& element);

    std::uint32_t m_uid = 0;
    std::string m_userName;
    std::string m_email;
    int m_state = 0;
    int m_level = 0;
    std::unique_ptr<CPHPCharacter> m_primary;

  private:
    const LevelRecord& Level(Refresh refresh);

    LevelRecord m_levelRecord;
};

}  // namespace vm
