#include "tools/devservices/DataServerFake.h"

#include <optional>

namespace vm::dev {
namespace {
constexpr char kModule[] = "velmora_tvrn_data_receiver";
}  // namespace

DataServerFake::DataServerFake(HttpRoutes& server) {
    server.On("GET", "/main.php", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> g(m_lock);
        if (req.get_param_value("ping") != "ping" || req.get_param_value("cache") != "0" ||
            req.get_param_value("module") != kModule) {
            m_refused.push_back("probe: " + req.target);
            res.status = 400;
            res.set_content("error:bad request", "text/plain");
            return;
        }
        ++m_probes;
        // The id the probe hands out is the one upload the server then takes.
        m_issuedId = m_probeAnswer.substr(0, m_probeAnswer.find(':'));
        res.set_content(m_probeAnswer, "text/plain");
    });
    server.On("POST", "/main.php", [this](const httplib::Request& req, httplib::Response& res) {
        Fields fields = ParseMultipart(req.body, "velmoraboundary1");
        std::lock_guard<std::mutex> g(m_lock);
        std::string why;
        const auto field = [&](const char* name) {
            auto it = fields.find(name);
            return it == fields.end() ? std::optional<std::string>() : it->second;
        };
        if (req.get_header_value(HttpRoutes::kRealContentType) !=
            "multipart/form-data, boundary=velmoraboundary1")
            why = "content type";
        else if (fields.size() != 6 || field("cache") != "0" || field("module") != kModule ||
                 !field("checksum") || !field("rup") || !field("data"))
            why = "fields";
        else if (req.body.find("name=\"data\"; filename=\"datafile.gz\"\r\n") == std::string::npos)
            why = "data part";
        else if (!m_issuedId || field("qelid") != *m_issuedId)
            why = "id not from a probe";
        if (!why.empty()) {
            m_refused.push_back("upload: " + why);
            res.status = 400;
            res.set_content("error:bad request", "text/plain");
            return;
        }
        m_issuedId.reset();
        m_uploads.push_back(std::move(fields));
        res.set_content("ok", "text/plain");
    });
}

void DataServerFake::SetProbeAnswer(std::string answer) {
    std::lock_guard<std::mutex> g(m_lock);
    m_probeAnswer = std::move(answer);
}

std::vector<std::string> DataServerFake::Refused() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_refused;
}

int DataServerFake::ProbeCount() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_probes;
}

std::vector<DataServerFake::Fields> DataServerFake::Uploads() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_uploads;
}

DataServerFake::Fields DataServerFake::ParseMultipart(const std::string& body,
                                                      const std::string& boundary) {
    Fields fields;
    const std::string open = "--" + boundary + "\r\n";
    const std::string next = "\r\n--" + boundary;
    std::size_t p = body.find(open);
    while (p != std::string::npos) {
        p += open.size();
        const auto headEnd = body.find("\r\n\r\n", p);
        if (headEnd == std::string::npos) break;
        const std::string head = body.substr(p, headEnd - p);
        const auto nameAt = head.find("name=\"");
        const auto valueEnd = body.find(next, headEnd + 4);
        if (nameAt == std::string::npos || valueEnd == std::string::npos) break;
        const auto nameEnd = head.find('"', nameAt + 6);
        fields[head.substr(nameAt + 6, nameEnd - nameAt - 6)] =
            body.substr(headEnd + 4, valueEnd - headEnd - 4);
        p = body.compare(valueEnd + next.size(), 2, "--") == 0 ? std::string::npos : valueEnd + 2;
    }
    return fields;
}

}  // namespace vm::dev
