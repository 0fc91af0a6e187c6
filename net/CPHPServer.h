#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "net/CCommunityTransport.h"
#include "net/CPHPLoginUser.h"
#include "net/CPHPUser.h"
#include "net/IServer.h"

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace vm {

// The community web-service client, one per process (GetServer). Requests are serialised by
// the transport's RequestLock. The logged-in user, the logged-in flag, the stored credentials
// and the user cache sit under a lock of their own that is never held across a request. The
// objects handed out (users, characters, notifications) are not guarded: callers use the
// object model from one thread at a time. Release destroys the client; a worker that took it
// with AcquireServer keeps it alive until it lets go.
class CPHPServer final : public IServer {
  public:
    CPHPServer();
    ~CPHPServer() override;
    CPHPServer(const CPHPServer&) = delete;
    CPHPServer& operator=(const CPHPServer&) = delete;

    // IServer
    IUser* GetUserInfo(std::uint32_t uid) override;
    std::string GetVerifyCode() override;
    int CreateUser(const std::string& userName, const std::string& email,
                   const std::string& password, const std::string& question,
                   const std::string& answer, const std::string& verifyCode) override;
    ILoginUser* Login(const std::string& userName, const std::string& email,
                      const std::string& password, bool remember) override;
    ILoginUser* GetLoginUser() override;
    void Release() override;
    void Logout() override;
    void SetHost(const std::string& host) override;
    int GetLastError() const override;
    void SetLastError(int code) override;
    std::string GetErrorText(int code) const override;
    ILoginUser* Relogin() override;

    // The requests behind the object model. They act on the held logged-in user's lists.
    // Throws CAddFriendException with the service's code.
    void AddFriend(std::uint32_t uid, const std::string& message);
    void DeleteFriend(std::uint32_t uid);
    void SetPrimaryCharacter(const CPHPCharacter& character);
    bool CheckMessages();
    bool LoadNotifications();
    bool LoadFriends();
    bool LoadCharacters();
    void Search(SearchKind kind, const std::string& value,
                std::vector<std::unique_ptr<IUser>>& out);
    bool AddCharacter(const std::string& region, const std::string& realm, const std::string& name,
                      const std::string& gender, const std::string& race,
                      const std::string& characterClass, int level, const std::string& guild,
                      const std::string& verifyCode);
    bool RemoveCharacter(const std::string& region, const std::string& realm,
                         const std::string& name);
    bool DownloadSettings(const std::filesystem::path& file, ITransferProgress* progress);
    bool UploadSettings(const std::filesystem::path& file, ITransferProgress* progress);
    // 1 with record filled, 0 on any failure (never throws).
    int GetLevelInfo(std::uint32_t uid, CPHPUser::LevelRecord& record);
    // 1 when sent, 0 otherwise (never throws).
    int SendMessage(std::uint32_t uid, const std::string& content);
    // A link through the service's redirect page; target and sessionId travel encoded.
    std::string BuildRedirectUrl(const std::string& target, const std::string& sessionId) const;
    int UploadArmory(const std::filesystem::path& file, ITransferProgress* progress);
    // The picture of uid at pixelSize; empty when the service has none.
    std::string FetchAvatar(std::uint32_t uid, int pixelSize);

    // The result code of an answer, which also becomes the last error.
    int ParseResult(std::string_view text, tinyxml2::XMLDocument& doc,
                    const tinyxml2::XMLElement** result = nullptr);
    // The logged-in user's uid (fetching the user when needed); safe against a concurrent
    // Logout, for workers.
    std::optional<std::uint32_t> LoginUid();

    CCommunityTransport& Transport() { return m_transport; }

  private:
    using Params = CCommunityTransport::Params;
    std::string Get(const std::string& path, const Params& params = {});
    std::string Post(const std::string& path, const Params& params);
    // The held logged-in user (null when none).
    CPHPLoginUser* Held();
    // The "result" element of a successful answer to the request; null on a failure answer.
    const tinyxml2::XMLElement* Answer(CCommunityTransport::Verb verb, const std::string& path,
                                       const Params& params, tinyxml2::XMLDocument& doc);
    // Whether an answer says success (its code becomes the last error).
    bool Succeeds(const std::string& answer);

    CCommunityTransport m_transport;
    mutable std::mutex m_stateLock;
    std::unordered_map<std::uint32_t, std::unique_ptr<CPHPUser>> m_userCache;
    std::unique_ptr<CPHPLoginUser> m_loginUser;
    bool m_loggedIn = false;
    bool m_remember = false;
    std::string m_storedName;
    std::string m_storedPassword;
};

// The process's community client, created on first use.
CPHPServer* GetServer();
// The same, kept alive for as long as the caller holds it (workers that may outlive Release).
std::shared_ptr<CPHPServer> AcquireServer();

}  // namespace vm
