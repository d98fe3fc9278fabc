#include "crawl/search_point_web_thread.h"

#include "analysis/contact_shapes.h"
#include "analysis/links.h"
#include "analysis/parse_html.h"
#include "core/gbk.h"
#include "core/program_state.h"
#include "crawl/find_web_thread.h"
#include "net/client_settings.h"
#include "net/fetch.h"
#include "store/task_store.h"

TSearchPointWebThread::TSearchPointWebThread(TProgramState& state, const TSettingsStore& settings,
                                             TCrawlShared shared, TTaskStore* store)
    : PointParser(state),
      state_(state),
      settings_(settings),
      shared_(std::move(shared)),
      store_(store) {}

TSearchPointWebThread::~TSearchPointWebThread() {
  Join();
}

std::string TSearchPointWebThread::NormaliseStartURL(const std::string& address) {
  // An https address keeps its scheme instead of getting "http://" in front of it.
  return links::WithHttpScheme(address);
}

void TSearchPointWebThread::Execute() {
  StartURL = state_.SearchText;
  const std::shared_ptr<const TGlobalSet> settings = settings_.Snapshot();
  ConfigureClient(HTTPClient, *settings, kUserAgentDirectory);
  HTTPClient.SetHostLimiter(shared_.Limiter);
  HTTPClient.SetCookieStore(shared_.Cookies);

  const std::string start = NormaliseStartURL(StartURL);
  if (state_.DirectoryResumePages.empty()) {
    ToVisit.push_back(start);
    MarkVisited(start);
  } else {
    for (const std::string& page : state_.DirectoryResumePages)
      if (MarkVisited(page)) ToVisit.push_back(page);
  }

  // Addresses in ToVisit are trimmed: the start by NormaliseStartURL, next pages by the parser.
  std::vector<std::string> next;
  bool cutOff = false;
  while (!ToVisit.empty() && !cutOff) {
    if (Terminated()) {
      cutOff = true;
      break;
    }
    next.clear();
    for (std::size_t i = 0; i < ToVisit.size(); ++i) {
      if (!ReadPage(ToVisit[i], next)) {
        cutOff = true;
        break;
      }
      if (store_) {
        // The pages still to read: the rest of this level, then the next one found so far.
        std::vector<std::string> pending(ToVisit.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                         ToVisit.end());
        pending.insert(pending.end(), next.begin(), next.end());
        // Another node walks the directory now: this turn ends here, not completed.
        if (!store_->ProducerPageDone(pending)) {
          RequestStop();
          cutOff = true;
          break;
        }
      }
    }
    ToVisit.swap(next);
  }
  if (!cutOff) MarkCompleted();
}

bool TSearchPointWebThread::ReadPage(const std::string& u, std::vector<std::string>& next) {
  PageText = FetchPage(HTTPClient, u);
  if (Terminated()) return false;
  // A page that could not be read yields nothing.
  if (gbk::IsBlank(PageText)) return true;

  // Fresh snapshots per page, so lists confirmed during the run take effect.
  const std::shared_ptr<const TGlobalSet> settings = settings_.Snapshot();
  {
    TParseHTML parser(settings);
    parser.LoadPage(PageText, std::string(), u, std::string());
    parser.Analyse();
    HandOverPageRecords(parser, settings->FlagModernRecognition);
  }

  PointParser.SetSettings(settings);
  PointParser.LoadPage(PageText, u);
  PointParser.Analyse();
  for (const std::string& x : PointParser.NextPages) {
    if (Terminated()) return false;
    if (MarkVisited(x)) next.push_back(x);
  }
  return true;
}

void TSearchPointWebThread::HandOverPageRecords(const TParseHTML& parser, bool once) {
  if (!once) {
    HandOverRecords(state_, parser);
    return;
  }
  for (auto& record : MakeRecords(parser)) {
    // The key is the record's contacts; one without any is known by its name and address.
    std::string key = contact::DigitsOf(record->Telephone) + '|' + contact::DigitsOf(record->Fax) +
                      '|' + gbk::LowerLatin(record->Email);
    if (key == "||") key += gbk::Trim(record->CompanyName) + '|' + gbk::Trim(record->Address);
    if (!handedOver_.insert(std::move(key)).second) continue;
    state_.AppendCompany(std::move(record));
  }
}

bool TSearchPointWebThread::MarkVisited(const std::string& u) {
  if (!visitedIndex_.insert(gbk::Trim(u)).second) return false;
  Visited.push_back(u);
  return true;
}
