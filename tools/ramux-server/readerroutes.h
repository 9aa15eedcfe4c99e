// The web reader on the HTTP server: its routes and the headers of every answer it gives.
#pragma once

class ReaderSite;
namespace httplib {
class Server;
}

// Answers GET (and HEAD) for every path the routes registered before it do not take (the
// api, the offered file): register it last. Pages may be kept maxAgeSeconds by any cache.
void registerReaderRoutes(httplib::Server &server, ReaderSite &site, int maxAgeSeconds);
