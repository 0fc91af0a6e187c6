#pragma once

namespace httplib {
class Server;
}

// The main window's news page as the development server offers it: a small page with a
// picture, 791 x 305 without scroll bars, at the path the main window opens on EmbedServer.
// Files of the same name in the mirror folder take precedence (they are looked up first).
inline constexpr char kNewsPagePath[] = "/tvrn/html/velmora.html";
inline constexpr char kNewsPicturePath[] = "/tvrn/html/velmora-news.svg";

void AddNewsPage(httplib::Server& server);
