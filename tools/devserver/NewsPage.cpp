#include "tools/devserver/NewsPage.h"

#include <httplib.h>

namespace {

constexpr char kPage[] = R"html(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>Velmora 新闻</title>
<style>
html, body { margin: 0; padding: 0; overflow: hidden; }
body { width: 791px; height: 305px; background: #1d0e33; color: #d8c8f0;
       font: 13px "WenQuanYi Micro Hei", "Microsoft YaHei", sans-serif; }
.banner { position: absolute; left: 0; top: 0; width: 791px; height: 130px; }
.news { position: absolute; left: 18px; top: 140px; width: 755px; }
h1 { margin: 0 0 8px; font-size: 16px; color: #f0e2ff; }
ul { margin: 0; padding: 0; list-style: none; }
li { padding: 5px 0; border-bottom: 1px solid #3a2260; }
li span { float: right; color: #9a86c0; }
a { color: #e6d2ff; text-decoration: none; }
</style>
</head>
<body>
<img class="banner" src="velmora-news.svg" alt="Velmora">
<div class="news">
<h1>插件动态</h1>
<ul>
<li><a href="#">界面插件合集已更新：新增团队框体与施法条</a><span>12-08</span></li>
<li><a href="#">更新服务器维护完毕，电信与网通线路恢复正常</a><span>12-06</span></li>
<li><a href="#">新手指南：如何备份与恢复插件配置</a><span>12-01</span></li>
<li><a href="#">开发服务器：此页面由 velmora-devserver 提供</a><span>本地</span></li>
</ul>
</div>
</body>
</html>
)html";

constexpr char kPicture[] = R"svg(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="791" height="130" viewBox="0 0 791 130">
<defs>
<linearGradient id="sky" x1="0" y1="0" x2="1" y2="1">
<stop offset="0" stop-color="#4a2a7e"/><stop offset="1" stop-color="#1d0e33"/></linearGradient>
<linearGradient id="gem" x1="0" y1="0" x2="0" y2="1">
<stop offset="0" stop-color="#e2b8ff"/><stop offset="1" stop-color="#5a2896"/></linearGradient>
</defs>
<rect width="791" height="130" fill="url(#sky)"/>
<g stroke="#c38add" stroke-opacity="0.14" stroke-width="8">
<line x1="520" y1="130" x2="590" y2="0"/><line x1="560" y1="130" x2="630" y2="0"/>
<line x1="600" y1="130" x2="670" y2="0"/><line x1="640" y1="130" x2="710" y2="0"/>
</g>
<polygon points="70,22 104,48 70,108 36,48" fill="url(#gem)" stroke="#2a1548" stroke-width="2"/>
<path d="M52,48 L70,80 L88,48" fill="none" stroke="#fff" stroke-width="6"
 stroke-linejoin="round" stroke-linecap="round"/>
<text x="130" y="66" font-family="WenQuanYi Micro Hei, sans-serif" font-size="34"
 font-weight="bold" fill="#ebddff">Velmora</text>
<text x="132" y="96" font-family="WenQuanYi Micro Hei, sans-serif" font-size="15"
 fill="#c9b2ec">本周插件更新已发布</text>
</svg>
)svg";

}  // namespace

void AddNewsPage(httplib::Server& server) {
    server.Get(kNewsPagePath, [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Cache-Control", "no-cache");
        res.set_content(kPage, "text/html; charset=utf-8");
    });
    server.Get(kNewsPicturePath, [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kPicture, "image/svg+xml");
    });
}
