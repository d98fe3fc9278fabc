#pragma once
// A generated local web that stands in for the internet: six classic search engines and
// today's sources (demo_sources.h) that list the same few dozen company sites for any
// keyword, the company sites themselves (contact data in the shapes real Chinese sites use),
// and a directory site with next-page links. The content follows from the site count alone,
// so every run sees the same web and the records a harvest should find are known in advance.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace demoweb {

// How a company site presents its contact data.
enum class TSiteShape {
  TableHome,    // contact table on the start page
  LinesHome,    // paragraphs and line breaks on the start page
  ContactPage,  // start page -> "about" and "contact" pages; the contact page has the data
  TwoDeep,      // start page -> company profile -> contact page (no about/contact names)
  Redirect,     // start page redirects to /cn/index.htm, which has the data
  Slow,         // like LinesHome, answering late
  Branches,     // contact page with a table of three branch offices
  NoContact,    // product pages only
  DeadStatus,   // answers 503
  DeadRefused,  // listed with a port where nothing listens
};

enum class TCharset { GbkHeader, GbkMeta, Utf8Header, Utf8Sniffed };

struct TDemoSite {
  int Index = 0;
  std::string Host;  // "www.hengda-jixie-007.localhost"
  TSiteShape Shape = TSiteShape::TableHome;
  TCharset Charset = TCharset::GbkHeader;
  // UTF-8 texts.
  std::string Company;
  std::string Address;
  std::string PostCode;
  std::string Telephone;
  std::string Fax;    // may be empty
  std::string Email;  // may be empty
  std::string Product;
  std::string City;
  int HomeEngine = 0;  // 0..5: Sina, Sohu, Yahoo, Google, 163, Baidu
};

// One record in result-list column order: company, web address, e-mail, telephone, fax,
// address, postcode, description (UTF-8).
using TDemoRecord = std::array<std::string, 8>;

struct TDemoResponse {
  int Status = 200;
  std::string ContentType;
  std::string Body;  // bytes as sent
  std::string Location;
  int ExtraDelayMs = 0;  // on top of the server's latency
};

// Search hosts under which the six engines answer, in the order Sina, Sohu, Yahoo, Google,
// 163, Baidu, with the ENGINEHOST key of each.
inline constexpr std::array<const char*, 6> kEngineKeys = {"Sina",   "Sohu", "Yahoo",
                                                           "Google", "163",  "Baidu"};
inline constexpr std::array<const char*, 6> kEngineHosts = {
    "search.sina.localhost", "dir.sohu.localhost",   "search.yahoo.localhost",
    "www.google.localhost",  "search.163.localhost", "www.baidu.localhost"};
inline constexpr const char* kDirectoryHost = "www.qiye-minglu.localhost";

// Today's source name -> the 1-based result page from which it answers as it does a robot.
using TSourceBlocks = std::map<std::string, int>;

// Which engines a written settings file turns on.
enum class TSourceSet {
  Today,    // today's sources (demo_sources.h), the six classic engines off
  Classic,  // the six classic engines, as before today's sources existed
};

class TDemoSources;

// The markup bytes as entities; safe in GBK and UTF-8 text alike (they are below 0x40).
std::string EscapeHtml(std::string_view text);
// The demo's "404 Not Found" page.
TDemoResponse NotFound();

class TDemoWeb {
 public:
  // `port` is the port the server listens on; every address on the pages carries it.
  TDemoWeb(int siteCount, int port, int slowMs = 1500, const TSourceBlocks& blocks = {});
  ~TDemoWeb();
  TDemoWeb(const TDemoWeb&) = delete;
  TDemoWeb& operator=(const TDemoWeb&) = delete;

  const std::vector<TDemoSite>& Sites() const { return sites_; }
  int Port() const { return port_; }

  // The page for a request. `query` holds the decoded query parameters (bytes as sent:
  // GBK keywords stay GBK).
  TDemoResponse Respond(const std::string& host, const std::string& path,
                        const std::multimap<std::string, std::string>& query) const;

  // "http://HOST:PORT" + path.
  std::string Url(const std::string& host, const std::string& path) const;
  // The address a site is listed under on the engines (dead ones included).
  std::string SiteUrl(const TDemoSite& site) const;
  // The directory's first page: the input for a directory search.
  std::string DirectoryUrl() const;

  // The records a keyword search (all six engines) or a directory search should find.
  std::vector<TDemoRecord> ExpectedKeywordRecords() const;
  std::vector<TDemoRecord> ExpectedDirectoryRecords() const;
  // The records a keyword search with today's sources only should find, given the blocks:
  // those of the sites listed on a page that is not blocked.
  std::vector<TDemoRecord> ExpectedTodayRecords() const;
  const TDemoSources& Sources() const { return *sources_; }
  // See TDemoSources::SetBlocks.
  void SetBlocks(const TSourceBlocks& blocks);
  // The distinct site addresses the six engines list.
  std::vector<std::string> ListedSiteUrls() const;

  // Writes a complete settings file: the usual keyword lists, the directory rules for the
  // demo directory, the worker count, ENGINEHOST pointing every classic engine at this
  // server, and SOURCES / SOURCEHOST for today's sources (all off with Classic).
  void WriteSettings(const std::string& path, int workerCount = 10,
                     TSourceSet sources = TSourceSet::Today) const;
  // TSV, UTF-8: "keyword" or "site", then the eight fields.
  void WriteExpected(const std::string& path) const;

  int DirectoryPageCount() const;

  // Gives the first product-only site `pages` pages that all link to each other (0: none).
  void SetBigSitePages(int pages);

 private:
  std::string EnginePage(int engine, const std::multimap<std::string, std::string>& query) const;
  std::vector<const TDemoSite*> EngineList(int engine) const;
  TDemoResponse SitePage(const TDemoSite& site, const std::string& path) const;
  TDemoResponse DirectoryPage(const std::string& path,
                              const std::multimap<std::string, std::string>& query) const;
  TDemoRecord Record(const TDemoSite& site, const std::string& pageUrl) const;
  void AppendKeywordRecords(const TDemoSite& site, std::vector<TDemoRecord>& out) const;

  int port_;
  int slowMs_;
  std::vector<TDemoSite> sites_;
  std::map<std::string, std::size_t> byHost_;
  int bigPages_ = 0;
  int bigSite_ = -1;
  std::unique_ptr<TDemoSources> sources_;
};

}  // namespace demoweb
