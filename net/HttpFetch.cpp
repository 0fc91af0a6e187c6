#include "net/HttpFetch.h"

#include <cerrno>
#include <cstdio>

#include "app/CVelmoraApp.h"
#include "net/CHttpSession.h"
#include "net/CPartFile.h"
#include "net/HttpUrl.h"
#include "net/NetMessages.h"
#include "net/RequestLimits.h"
#include "platform/FileUtil.h"

namespace vm {

bool IsHttpError(int status) {
    return status >= 400 && status != 499;
}

std::string HttpErrorText(int status) {
    char text[160];
    std::snprintf(text, sizeof text, "发生网络传输错误，HTTP错误代码(%d)，Velmora更新失败。",
                  status);
    return text;
}

HttpResult SharedSessionRequest(HttpRequest request) {
    std::optional<HttpUrl> url = ParseHttpUrl(request.url);
    if (!url) {
        HttpResult bad;
        bad.errorText = "URL 无效：" + request.url;
        return bad;
    }
    return GetHttpConnection(url->host, url->port)->Perform(std::move(request));
}

int HttpFetchToFile(const std::string& url, const std::filesystem::path& path, std::uint64_t cap) {
    CPartFile out(path);
    int httpError = 0;

    HttpRequest request;
    request.url = url;
    ApplyMirrorLimits(request, cap ? cap : CurrentRequestLimits().fileCap);
    request.onHead = [&](const HttpResponseHead& head) {
        if (IsHttpError(head.status)) {
            httpError = head.status;
            return false;
        }
        return out.Open();
    };
    request.onData = [&](const char* data, std::size_t n) { return out.Write(data, n); };
    HttpResult result = SharedSessionRequest(std::move(request));
    if (result.Ok() && !out.Error() && out.Commit()) return 0;
    if (httpError)
        ShowNetMessage(HttpErrorText(httpError));
    else if (out.Error())
        ShowNetMessage(FileErrorText(path, out.Error()));
    else
        ShowNetMessage(NetworkErrorText(result.errorText));
    return -1;
}

std::string HttpFetchToString(const std::string& url) {
    std::string body;
    int httpError = 0;
    HttpRequest request;
    request.url = url;
    ApplyMirrorLimits(request, CurrentRequestLimits().answerCap);
    request.onHead = [&](const HttpResponseHead& head) {
        if (!IsHttpError(head.status)) return true;
        httpError = head.status;
        return false;
    };
    request.onData = [&](const char* data, std::size_t n) {
        body.append(data, n);
        return true;
    };
    HttpResult result = SharedSessionRequest(std::move(request));
    if (httpError) ShowNetMessage(HttpErrorText(httpError));
    if (!result.Ok()) return {};
    return body;
}

}  // namespace vm
