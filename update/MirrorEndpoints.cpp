#include "update/MirrorEndpoints.h"

#include "app/CVelmoraApp.h"
#include "net/HttpUrl.h"
#include "net/endpoints.h"

namespace vm {

int MirrorIndexForServer(int server) {
    return (server == 0 || server == 1) ? 0 : 1;
}

MirrorUrls MirrorUrlsFor(int mirrorIndex) {
    const Endpoints endpoints = GetEndpoints();
    MirrorUrls urls;
    urls.base = mirrorIndex == 0 ? endpoints.telecomMirror : endpoints.netcomMirror;
    const std::string folder = urls.base + "/" + kMirrorProgramFolder + "/";
    urls.checksum = folder + kChecksumFileName;
    urls.info = folder + kInfoFileName + kArchiveSuffix;
    return urls;
}

MirrorHost MirrorHostFor(int mirrorIndex) {
    MirrorHost host;
    const std::string base = MirrorUrlsFor(mirrorIndex).base;
    if (auto url = ParseHttpUrl(base)) {
        host.host = url->host;
        host.port = static_cast<std::uint16_t>(url->port);
    } else {
        host.host = base;
    }
    return host;
}

void SetMirrorUrlsFromSettings() {
    CVelmoraApp& app = theApp();
    const MirrorUrls urls = MirrorUrlsFor(MirrorIndexForServer(app.GetProfile(settings::kServer)));
    app.MirrorState().infoUrl.Set(urls.info);
    app.MirrorState().baseUrl.Set(urls.base);
    app.MirrorState().checksumUrl.Set(urls.checksum);
}

}  // namespace vm
