#pragma once
// Directory crawl thread: walks a directory site along its next-page links, breadth-first,
// hands over the records printed on its pages and queues the company links it lists.

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/global_set.h"
#include "crawl/crawl_shared.h"
#include "crawl/parse_point_web_html.h"
#include "crawl/worker_thread.h"
#include "net/http_client.h"

class TProgramState;
class TTaskStore;

class TSearchPointWebThread : public TWorkerThread {
 public:
  // Created suspended; the directory address is the program state's SearchText, read when
  // the thread starts.
  // `store`, when given, is told after every directory page. A walk starts from the state's
  // DirectoryResumePages when there are any.
  TSearchPointWebThread(TProgramState& state, const TSettingsStore& settings,
                        TCrawlShared shared = {}, TTaskStore* store = nullptr);
  ~TSearchPointWebThread() override;

  // The start address as it is read: trimmed, "//host" read as http, and "http://" put in
  // front of an address without "http://" or "https://".
  static std::string NormaliseStartURL(const std::string& address);

  // Written by the thread while it runs; read them only after WorkState 2.
  TParsePointWebHTML PointParser;
  std::string PageText;
  std::string StartURL;
  THttpClient HTTPClient;
  std::vector<std::string> ToVisit;
  std::vector<std::string> Visited;

 protected:
  void Execute() override;
  void DisconnectClient() override { HTTPClient.Disconnect(); }

 private:
  // Reads one directory page; false when the terminate request cut it off.
  bool ReadPage(const std::string& u, std::vector<std::string>& next);
  // Appends to Visited unless an equal trimmed address is there; returns whether it did.
  bool MarkVisited(const std::string& u);
  // Hands over the page's records; with FlagModernRecognition a record whose contacts were
  // handed over before in this run (the directory's own footer or hotline) is left out.
  void HandOverPageRecords(const TParseHTML& parser, bool once);

  std::string LogAddress() const override { return StartURL; }

  TProgramState& state_;
  const TSettingsStore& settings_;
  TCrawlShared shared_;
  TTaskStore* store_;
  std::unordered_set<std::string> visitedIndex_;
  std::unordered_set<std::string> handedOver_;  // contact keys of the records handed over
};
