// veltra-demoweb: the local demo web. Prints its port and the settings a client needs, can
// write a settings file and the expected records, and serves until SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

#include "demo_server.h"
#include "demo_sources.h"

namespace {

int Usage() {
  std::fputs(
      "usage: veltra-demoweb [--port N] [--sites N] [--latency-ms N] [--search-latency-ms N]\n"
      "                      [--slow-ms N] [--threads N] [--write-settings PATH] [--classic]\n"
      "                      [--block NAME[:FROMPAGE]]... [--expected PATH]\n"
      "                      [--big-site-pages N] [--list-sites PATH]\n"
      "                      [--verify NAME[:FREEPAGES]]\n"
      "  --port N            port on 127.0.0.1 (0: any free port; default 0)\n"
      "  --sites N           company sites (default 36)\n"
      "  --latency-ms N      delay of every answer (default 0)\n"
      "  --search-latency-ms N  delay of the engines' and the directory's pages instead\n"
      "  --slow-ms N         extra delay of the slow sites (default 1500)\n"
      "  --threads N         MaxFindWebThreadCount written by --write-settings (default 10)\n"
      "  --write-settings P  write a settings file pointing every engine and source at this\n"
      "                      server: today's sources on ([SOURCES] NAME=1, [SOURCEHOST]\n"
      "                      NAME=http://HOST:PORT, [SEARCH] PaceMs=100), the classic six off\n"
      "  --classic           with --write-settings: the classic six on, today's sources off\n"
      "  --block NAME[:P]    from result page P (default 1) on, today's source NAME answers\n"
      "                      as it does a robot; repeatable. BaiduWeb: 302 to\n"
      "                      /static/captcha/... (百度安全验证), Bing: a page without li.b_algo,\n"
      "                      Sogou: 302 to /antispider/, So360: empty body, DuckDuckGo:\n"
      "                      form#challenge-form, SearXNG: no results, unresponsive_engines\n"
      "  --verify NAME[:N]   after N result pages (default 0) today's source NAME shows a\n"
      "                      verification page until a client carries the cookie its\n"
      "                      button sets (demo_verified=passed)\n"
      "  --expected P        write the records a harvest should find (TSV, UTF-8)\n"
      "  --big-site-pages N  one product-only site gets N pages linking to each other\n"
      "  --list-sites P      write the site addresses the engines list, one a line\n"
      "sources (name, host): BaiduWeb baidu.today.localhost, Bing bing.today.localhost,\n"
      "  Sogou sogou.today.localhost, So360 so360.today.localhost,\n"
      "  DuckDuckGo duckduckgo.today.localhost, SearXNG searxng.today.localhost\n"
      "script-built sites: the SearXNG-style host search.scripts.localhost lists a static\n"
      "  site and two whose contacts their scripts write (any keyword), or hostile script\n"
      "  pages before the two (keyword \"hostile\"); set [SOURCEHOST] SearXNG to it\n"
      "On SIGINT or SIGTERM the number of client connections seen is printed.\n",
      stderr);
  return 2;
}

std::optional<int> Number(const char* text, int min, int max) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < min || v > max) return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0, sites = 36, latency = 0, searchLatency = -1, slow = 1500, threads = 10,
      bigPages = 0;
  std::string settingsPath, expectedPath, listPath;
  bool classic = false;
  demoweb::TSourceBlocks blocks;
  std::string verifySource;
  int verifyFree = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help") {
      Usage();
      return 0;
    }
    if (a == "--classic") {
      classic = true;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const char* v = argv[++i];
    std::optional<int> n;
    if (a == "--port" && (n = Number(v, 0, 65535)))
      port = *n;
    else if (a == "--sites" && (n = Number(v, 1, 5000)))
      sites = *n;
    else if (a == "--latency-ms" && (n = Number(v, 0, 60000)))
      latency = *n;
    else if (a == "--search-latency-ms" && (n = Number(v, 0, 60000)))
      searchLatency = *n;
    else if (a == "--slow-ms" && (n = Number(v, 0, 600000)))
      slow = *n;
    else if (a == "--threads" && (n = Number(v, 1, 1000)))
      threads = *n;
    else if (a == "--write-settings" && *v)
      settingsPath = v;
    else if (a == "--expected" && *v)
      expectedPath = v;
    else if (a == "--big-site-pages" && (n = Number(v, 0, 100000)))
      bigPages = *n;
    else if (a == "--list-sites" && *v)
      listPath = v;
    else if (a == "--verify" && *v) {
      verifySource = v;
      if (const auto colon = verifySource.find(':'); colon != std::string::npos) {
        const auto free = Number(verifySource.c_str() + colon + 1, 0, 100000);
        if (!free) return Usage();
        verifyFree = *free;
        verifySource.erase(colon);
      }
    } else if (a == "--block" && *v) {
      const std::string block = v;
      const auto colon = block.find(':');
      int from = 1;
      if (colon != std::string::npos) {
        const auto page = Number(block.c_str() + colon + 1, 1, 100000);
        if (!page) return Usage();
        from = *page;
      }
      blocks[block.substr(0, colon)] = from;
    } else
      return Usage();
  }

  // Signals are taken by sigwait below; every server thread inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    demoweb::TDemoServer server(sites, port, latency, slow, blocks, bigPages);
    server.SetSearchLatency(searchLatency);
    const demoweb::TDemoWeb& web = server.Web();
    if (!verifySource.empty())
      server.SetVerifyGate(std::make_shared<demoweb::TDemoVerifyGate>(verifySource, verifyFree));
    if (!settingsPath.empty())
      web.WriteSettings(settingsPath, threads,
                        classic ? demoweb::TSourceSet::Classic : demoweb::TSourceSet::Today);
    if (!expectedPath.empty()) web.WriteExpected(expectedPath);
    if (!listPath.empty()) {
      std::FILE* f = std::fopen(listPath.c_str(), "w");
      if (!f) throw std::runtime_error("cannot write " + listPath);
      for (const std::string& url : web.ListedSiteUrls()) std::fprintf(f, "%s\n", url.c_str());
      std::fclose(f);
    }

    const std::string p = std::to_string(server.Port());
    std::printf("port %s\n", p.c_str());
    std::printf("veltra-demoweb: %d company sites on 127.0.0.1:%s\n", sites, p.c_str());
    std::printf("keyword search: any keyword, for example 机械\n");
    std::printf("directory search: %s\n", web.DirectoryUrl().c_str());
    std::printf("settings, section [ENGINEHOST]:\n");
    for (std::size_t e = 0; e < 6; ++e)
      std::printf("  %s=%s:%s\n", demoweb::kEngineKeys[e], demoweb::kEngineHosts[e], p.c_str());
    std::printf("today's sources, section [SOURCEHOST]:\n");
    for (std::size_t k = 0; k < demoweb::kSourceNames.size(); ++k) {
      const int from = web.Sources().BlockedFrom(k);
      std::printf("  %s=http://%s:%s%s\n", demoweb::kSourceNames[k], demoweb::kSourceHosts[k],
                  p.c_str(),
                  from ? (" (blocked from page " + std::to_string(from) + ")").c_str() : "");
    }
    if (!settingsPath.empty()) std::printf("settings written to %s\n", settingsPath.c_str());
    if (!expectedPath.empty())
      std::printf("expected records written to %s\n", expectedPath.c_str());
    std::fflush(stdout);

    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.Stop();
    std::printf("connections %zu\n", server.ConnectionCount());
    std::fflush(stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltra-demoweb: %s\n", e.what());
    return 1;
  }
  return 0;
}
