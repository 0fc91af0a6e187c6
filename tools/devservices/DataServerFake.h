#pragma once

// The data server on an HttpRoutes (a test's TestServer or the development server): the probe
// ("/main.php?...&ping=ping") answers a settable "id:token" text, and the upload (POST
// "/main.php") keeps the fields of every form it gets.
//
//   vm::dev::DataServerFake data(server);
//   data.SetProbeAnswer("42:abc");
//   ... UploadGameData against server.Origin() ...
//   data.Uploads()[0].at("qelid");   // "42"; "data" holds the raw data block
//
// Like the server it refuses (status 400) a probe without its fixed query and an upload that
// is not the multipart form it reads (its content type, exactly the six fields, the data part
// named "datafile.gz") or whose "qelid" is not the id the last probe handed out (an id is
// good for one upload); such uploads are not in Uploads() but in Refused().
//
// Thread-safe: handlers run on the server's threads, the accessors on any other.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "tools/devservices/HttpRoutes.h"

namespace vm::dev {

class DataServerFake {
  public:
    using Fields = std::map<std::string, std::string>;

    explicit DataServerFake(HttpRoutes& server);
    DataServerFake(const DataServerFake&) = delete;
    DataServerFake& operator=(const DataServerFake&) = delete;

    void SetProbeAnswer(std::string answer);
    int ProbeCount() const;
    std::vector<Fields> Uploads() const;
    std::vector<std::string> Refused() const;

    // The parts of a multipart body by their names; values are the raw bytes.
    static Fields ParseMultipart(const std::string& body, const std::string& boundary);

  private:
    mutable std::mutex m_lock;
    std::string m_probeAnswer = "1:token";
    int m_probes = 0;
    std::vector<Fields> m_uploads;
    std::vector<std::string> m_refused;
    std::optional<std::string> m_issuedId;
};

}  // namespace vm::dev
