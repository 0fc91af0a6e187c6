#include "tests/support/DataServerFake.h"

namespace vm::test {

DataServerFake::DataServerFake(TestServer& server) {
    server.On("GET", "/main.php", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> g(m_lock);
        if (req.get_param_value("ping") != "ping") {
            res.set_content("error:bad request", "text/plain");
            return;
        }
        ++m_probes;
        res.set_content(m_probeAnswer, "text/plain");
    });
    server.On("POST", "/main.php", [this](const httplib::Request& req, httplib::Response& res) {
        Fields fields = ParseMultipart(req.body, "velmoraboundary1");
        std::lock_guard<std::mutex> g(m_lock);
        m_uploads.push_back(std::move(fields));
        res.set_content("ok", "text/plain");
    });
}

void DataServerFake::SetProbeAnswer(std::string answer) {
    std::lock_guard<std::mutex> g(m_lock);
    m_probeAnswer = std::move(answer);
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

}  // namespace vm::test
