#include "net/HttpFetch.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "app/CVelmoraApp.h"
#include "net/CHttpSession.h"
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

int HttpFetchToFile(const std::string& url, const std::filesystem::path& path) {
    const std::filesystem::path part = path.string() + ".vmpart";
    std::ofstream out;
    int httpError = 0;
    int fileErrno = 0;

    HttpRequest request;
    request.url = url;
    request.onHead = [&](const HttpResponseHead& head) {
        if (IsHttpError(head.status)) {
            httpError = head.status;
            return false;
        }
        out.open(part, std::ios::binary | std::ios::trunc);
        if (!out) fileErrno = errno ? errno : EIO;
        return !fileErrno;
    };
    request.onData = [&](const char* data, std::size_t n) {
        out.write(data, static_cast<std::streamsize>(n));
        if (!out) fileErrno = errno ? errno : EIO;
        return !fileErrno;
    };
    HttpResult result = SharedSessionRequest(std::move(request));
    if (out.is_open()) {
        out.close();
        if (out.fail() && !fileErrno) fileErrno = errno ? errno : EIO;
    }

    std::error_code ec;
    if (result.Ok() && !fileErrno) {
        std::filesystem::rename(part, path, ec);
        if (!ec) return 0;
        fileErrno = ec.value();
    }
    std::filesystem::remove(part, ec);
    if (httpError)
        ShowNetMessage(HttpErrorText(httpError));
    else if (fileErrno)
        ShowNetMessage(FileErrorText(path, fileErrno));
    else
        ShowNetMessage(NetworkErrorText(result.errorText));
    return -1;
}

std::string HttpFetchToString(const std::string& url) {
    std::string body;
    int httpError = 0;
    HttpRequest request;
    request.url = url;
    request.maxBodyBytes = CurrentRequestLimits().answerCap;
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
