// veltra-cli search: the headless harvest. The same run control as the window drives the
// run; a loop stands in for the two 1000 ms timers, and a console view prints the status
// panels, message boxes and the final summary.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "app/cli_commands.h"
#include "core/export_sheet.h"
#include "core/file_read.h"
#include "core/gbk.h"
#include "core/global_set.h"
#include "core/log.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "net/cookie_store.h"
#include "run/app_root.h"
#include "run/status_texts.h"
#include "store/pg_task_store.h"

namespace {

struct TSearchArgs {
  std::optional<bool> keywordMode;  // --mode; unset: the settings file's search mode
  std::optional<std::string> text;  // the input box text (UTF-8)
  std::string config;
  std::string taskFile;
  std::string continueFile;
  std::string outFile;
  std::optional<TCsvFlavour> csvFlavour;  // --csv-flavour; unset: excel
  double maxSeconds = 0;                  // 0: no limit
  int tickMs = 1000;
  std::string cookieFile;  // --cookies: a Netscape cookie file the clients send from
  std::string logFile;     // --log: the log is appended to this file
  bool verbose = false;    // --verbose: the log is printed to stderr
  std::string team;        // --team: the team database's connection string
  std::string taskName;    // --task-name: the team task (UTF-8)
  double leaseSeconds = 120;
  double giveUpSeconds = 300;
};

bool EndsWith(const std::string& s, const char* suffix) {
  const std::string t(suffix);
  return s.size() > t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

std::optional<double> ParsePositive(const std::string& text) {
  try {
    std::size_t used = 0;
    const double v = std::stod(text, &used);
    if (used != text.size() || !(v > 0) || v > 1e9) return std::nullopt;
    return v;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<TSearchArgs> ParseArgs(const TCliArgs& args) {
  TSearchArgs parsed;
  bool seenMode = false, seenConfig = false, seenTask = false, seenContinue = false;
  bool seenOut = false, seenMax = false, seenTick = false, seenLog = false;
  bool seenFlavour = false, seenCookies = false, seenTeam = false, seenTaskName = false;
  bool seenLease = false, seenGiveUp = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--verbose") {
      if (std::exchange(parsed.verbose, true)) return std::nullopt;
      continue;
    }
    const bool takesValue = a == "--mode" || a == "--config" || a == "--task" ||
                            a == "--continue" || a == "--out" || a == "--max-seconds" ||
                            a == "--tick-ms" || a == "--log" || a == "--csv-flavour" ||
                            a == "--cookies" || a == "--team" || a == "--task-name" ||
                            a == "--lease-seconds" || a == "--give-up-seconds";
    if (!takesValue) {
      // Anything else is the input text, once; "--" lets a text start with a dash.
      if (a == "--" && i + 1 < args.size()) {
        if (parsed.text) return std::nullopt;
        parsed.text = args[++i];
        continue;
      }
      if (a.starts_with("--") || parsed.text) return std::nullopt;
      parsed.text = a;
      continue;
    }
    if (i + 1 >= args.size()) return std::nullopt;
    const std::string& v = args[++i];
    auto once = [](bool& seen) { return !std::exchange(seen, true); };
    if (a == "--mode") {
      if (!once(seenMode) || (v != "keyword" && v != "site")) return std::nullopt;
      parsed.keywordMode = v == "keyword";
    } else if (a == "--config") {
      if (!once(seenConfig) || v.empty()) return std::nullopt;
      parsed.config = v;
    } else if (a == "--task") {
      if (!once(seenTask) || v.empty()) return std::nullopt;
      parsed.taskFile = v;
    } else if (a == "--continue") {
      if (!once(seenContinue) || v.empty()) return std::nullopt;
      parsed.continueFile = v;
    } else if (a == "--out") {
      if (!once(seenOut) || !(EndsWith(v, ".xlsx") || EndsWith(v, ".csv"))) return std::nullopt;
      parsed.outFile = v;
    } else if (a == "--csv-flavour") {
      if (!once(seenFlavour) || (v != "excel" && v != "plain")) return std::nullopt;
      parsed.csvFlavour = v == "plain" ? TCsvFlavour::Plain : TCsvFlavour::Excel;
    } else if (a == "--cookies") {
      if (!once(seenCookies) || v.empty()) return std::nullopt;
      parsed.cookieFile = v;
    } else if (a == "--log") {
      if (!once(seenLog) || v.empty()) return std::nullopt;
      parsed.logFile = v;
    } else if (a == "--team") {
      if (!once(seenTeam) || v.empty()) return std::nullopt;
      parsed.team = v;
    } else if (a == "--task-name") {
      if (!once(seenTaskName) || gbk::Trim(v).empty()) return std::nullopt;
      parsed.taskName = v;
    } else if (a == "--lease-seconds" || a == "--give-up-seconds") {
      const auto seconds = ParsePositive(v);
      if (!once(a == "--lease-seconds" ? seenLease : seenGiveUp) || !seconds) return std::nullopt;
      (a == "--lease-seconds" ? parsed.leaseSeconds : parsed.giveUpSeconds) = *seconds;
    } else if (a == "--max-seconds") {
      const auto seconds = ParsePositive(v);
      if (!once(seenMax) || !seconds) return std::nullopt;
      parsed.maxSeconds = *seconds;
    } else {
      const auto ms = ParsePositive(v);
      if (!once(seenTick) || !ms || *ms < 1 || *ms > 60000 || *ms != static_cast<int>(*ms))
        return std::nullopt;
      parsed.tickMs = static_cast<int>(*ms);
    }
  }
  // A team task needs its name, and is never a task file continued.
  if (parsed.team.empty() != parsed.taskName.empty()) return std::nullopt;
  if (!parsed.team.empty())
    return parsed.continueFile.empty() ? std::optional(parsed) : std::nullopt;
  // A new run needs its input text; a continued one has the mode stored in the task.
  if (parsed.continueFile.empty() ? !parsed.text : parsed.keywordMode.has_value())
    return std::nullopt;
  return parsed;
}

void WriteOut(FILE* f, const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), f);
}

// The window's side of run control, on a terminal: panels are kept and printed by the loop,
// message boxes go to stderr, file dialogs answer with the paths given on the command line.
class TConsoleRunView : public TRunView {
 public:
  void SetStatusText(int panel, const std::string& text) override {
    if (panel >= 0 && panel < 5) panels_[static_cast<std::size_t>(panel)] = text;
  }
  void AppendURLBarLines(const std::vector<std::string>& lines) override {
    urlLines_ += lines.size();
  }
  void ClearURLBar() override { urlLines_ = 0; }
  std::size_t URLBarLineCount() const override { return urlLines_; }

  TMessageResult ShowMessage(const std::string& text, const std::string& caption, TMessageIcon,
                             TMessageButtons buttons) override {
    std::fflush(stdout);
    WriteOut(stderr, "veltra-cli: " + gbk::ToUtf8(caption) + ": " + gbk::ToUtf8(text) + "\n");
    messageShown = true;
    return buttons == TMessageButtons::Ok ? TMessageResult::Ok : TMessageResult::Cancel;
  }
  void SetCursor(TRunCursor) override {}

  std::string InputText() const override { return input_; }
  void SetInputText(const std::string& text) override { input_ = text; }
  void FocusInput() override {}
  bool KeywordModeSelected() const override { return keyword_; }
  bool WebsiteModeSelected() const override { return website_; }
  void SetModeButtons(bool keyword, bool website) override {
    keyword_ = keyword;
    website_ = website;
  }
  void SetWindowCaption(const std::string&) override {}

  std::optional<std::string> AskSaveFileName(const std::string&, const std::string&,
                                             const std::string&) override {
    if (saveAnswer.empty()) return std::nullopt;
    return saveAnswer;
  }
  std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void EnableTimer(TRunTimer, bool) override {}

  // The five panels as one UTF-8 line.
  std::string StatusLine() const {
    std::string line;
    for (const auto& panel : panels_) {
      if (panel.empty()) continue;
      if (!line.empty()) line += "  ";
      line += gbk::ToUtf8(panel);
    }
    return line;
  }

  bool messageShown = false;
  std::string saveAnswer;  // the --task path, given to Save As

 private:
  std::array<std::string, 5> panels_;
  std::size_t urlLines_ = 0;
  std::string input_;
  bool keyword_ = true;
  bool website_ = false;
};

std::atomic<int> gSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int sig) {
  gSignal.store(sig);
}

// Installs the Ctrl-C / SIGTERM handler for the run and restores the old ones afterwards.
class TStopSignals {
 public:
  TStopSignals() {
    gSignal.store(0);
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &oldInt_);
    sigaction(SIGTERM, &sa, &oldTerm_);
  }
  ~TStopSignals() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;

 private:
  struct sigaction oldInt_ {};
  struct sigaction oldTerm_ {};
};

// Prints the status line when it changed: on a terminal one line rewritten in place, else
// one line each time.
class TStatusPrinter {
 public:
  TStatusPrinter() : tty_(isatty(STDOUT_FILENO) == 1) {}
  void Print(const std::string& line) {
    if (line == last_) return;
    last_ = line;
    if (tty_) {
      WriteOut(stdout, "\r" + line + "\x1b[K");
      pending_ = true;
    } else {
      WriteOut(stdout, line + "\n");
    }
    std::fflush(stdout);
  }
  // Ends the updating line before anything else is printed.
  void Finish() {
    if (pending_) WriteOut(stdout, "\n");
    pending_ = false;
    std::fflush(stdout);
  }

 private:
  bool tty_;
  bool pending_ = false;
  std::string last_;
};

// Where the log goes during a run: a file (--log), stderr (--verbose), both or neither. The
// sink is removed again when the run is over.
class TCliLogSink {
 public:
  static std::optional<TCliLogSink> Open(const std::string& file, bool verbose, bool english) {
    std::shared_ptr<std::ofstream> out;
    if (!file.empty()) {
      out = std::make_shared<std::ofstream>(file, std::ios::app);
      if (!*out) {
        std::fprintf(stderr, "veltra-cli: cannot write the log to %s: %s\n", file.c_str(),
                     std::strerror(errno));
        return std::nullopt;
      }
    }
    if (!out && !verbose) return TCliLogSink(false);
    TLog::Global().SetSink([out, verbose, english](const TLogEntry& e) {
      const std::string line = LogEntryText(e, english) + "\n";
      if (out) out->write(line.data(), static_cast<std::streamsize>(line.size())).flush();
      if (verbose) WriteOut(stderr, line);
    });
    return TCliLogSink(true);
  }
  TCliLogSink(TCliLogSink&& other) noexcept : installed_(std::exchange(other.installed_, false)) {}
  TCliLogSink& operator=(TCliLogSink&&) = delete;
  ~TCliLogSink() {
    if (installed_) TLog::Global().SetSink(nullptr);
  }

 private:
  explicit TCliLogSink(bool installed) : installed_(installed) {}
  bool installed_;
};

// How to pass the verification of each blocked source and go on from where the run stopped.
void PrintBlockedHints(const std::vector<TBlockedSourceNotice>& blocked, const std::string& task) {
  if (blocked.empty()) return;
  std::string text;
  for (const auto& b : blocked)
    text += "blocked: " + gbk::ToUtf8(b.Caption) + " (" + b.Name +
            ") answered with a verification page:\n  " + b.VerifyURL + "\n";
  text +=
      "To go on: open the address in a browser and pass the check, export that site's cookies "
      "to a Netscape-format cookie file (cookies.txt), then run\n  veltra-cli search --cookies "
      "COOKIEFILE ";
  text += task.empty() ? "... (save the run with --task FILE to continue it instead of "
                         "starting over)\n"
                       : "--continue '" + task + "'\n";
  WriteOut(stdout, text);
}

int Export(TResultTable& results, const std::string& path, const TSearchArgs& args,
           const TGlobalSet& settings) {
  try {
    results.SetPhoneRegion(settings.PhoneRegion);
    TExportChoice choice;
    choice.LeadColumns = settings.FlagModernWindow;
    choice.Flavour = args.csvFlavour.value_or(TCsvFlavour::Excel);
    ExportTable(results, path, choice);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "veltra-cli: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int CliSearch(const TCliArgs& args) {
  const std::optional<TSearchArgs> parsed = ParseArgs(args);
  if (!parsed) return CliUsage();

  const TSettingsStart start = CliSettingsStart(parsed->config);
  if (CliSettingsError(start)) return 2;
  // Output files are checked before the run, so hours of harvesting never end in a write
  // to a pipe or a device.
  for (const std::string* out : {&parsed->outFile, &parsed->taskFile}) {
    if (out->empty()) continue;
    if (const std::string problem = WriteTargetProblem(*out); !problem.empty()) {
      std::fprintf(stderr, "veltra-cli: cannot write %s: %s\n", out->c_str(), problem.c_str());
      return 2;
    }
  }
  std::vector<TCookie> cookies;
  if (!parsed->cookieFile.empty()) {
    try {
      cookies = ReadNetscapeCookieFile(parsed->cookieFile);
    } catch (const ECookieFileError& e) {
      std::fprintf(stderr, "veltra-cli: cookie file %s: %s\n", parsed->cookieFile.c_str(),
                   e.what());
      return 2;
    }
  }
  std::error_code ec;
  if (!parsed->config.empty() && !std::filesystem::exists(start.Path, ec)) {
    std::fprintf(stderr, "veltra-cli: settings file not found: %s\n", start.Path.c_str());
    return 1;
  }
  const std::optional<TCliLogSink> logSink =
      TCliLogSink::Open(parsed->logFile, parsed->verbose, LogInEnglish(start.LoadPath));
  if (!logSink) return 1;
  if (!start.Problem.empty()) {
    std::fprintf(stderr, "veltra-cli: %s\n", start.Problem.c_str());
    TLog::Global().Write(TLogLevel::Warning, "settings", start.Problem, start.Path);
  } else if (start.LoadPath.empty() || !std::filesystem::exists(start.LoadPath, ec)) {
    std::fprintf(stderr, "veltra-cli: no settings file at %s; built-in defaults apply\n",
                 start.Path.c_str());
  }

  // The browser, the view and the team store are declared first: run control, in the root,
  // uses them until it has joined every thread.
  std::unique_ptr<TCliBrowser> browser;
  TConsoleRunView view;
  std::unique_ptr<TPgTaskStore> team;
  TAppRoot root(start, view);
  if (root.GlobalSet().RenderScripts > 0) {
    browser = MakeCliBrowser();
    if (browser) root.SetPageRenderer(&browser->Renderer());
  }
  const bool keywordSearch = root.KeywordMode();
  TProgramState& state = root.State();
  TResultTable& results = root.Results();
  TRunControl& control = root.Control();
  if (!cookies.empty()) {
    root.Cookies().Add(cookies);
    // The count only: cookie values are credentials.
    TLog::Global().Write(TLogLevel::Info, "search",
                         std::to_string(cookies.size()) + " cookies read from the cookie file",
                         parsed->cookieFile);
  }
  TStatusPrinter printer;
  TStopSignals signals;
  // A worker that ends wakes the loop, so its slot is refilled without waiting for the tick.
  std::mutex wakeMutex;
  std::condition_variable wakeSignal;
  bool woken = false;
  control.SetWakeRequest([&] {
    {
      std::lock_guard lock(wakeMutex);
      woken = true;
    }
    wakeSignal.notify_one();
    if (browser) browser->Wake();
  });

  if (!parsed->team.empty()) {
    const bool keyword = parsed->keywordMode.value_or(keywordSearch);
    TTeamTaskPlan plan;
    plan.SearchMode = keyword ? 0 : 1;
    plan.SearchText = parsed->text ? gbk::Trim(gbk::FromUtf8(*parsed->text)) : std::string();
    plan.OneEntryPerSite = keyword && root.GlobalSet().FlagModernRecognition;
    plan.Settings = TeamSettingsSnapshot(root.GlobalSet());
    TTeamOptions options;
    options.Connection = parsed->team;
    options.TaskName = gbk::FromUtf8(parsed->taskName);
    options.Lease = std::chrono::milliseconds(static_cast<int64_t>(parsed->leaseSeconds * 1000));
    options.GiveUpAfter =
        std::chrono::milliseconds(static_cast<int64_t>(parsed->giveUpSeconds * 1000));
    options.Prefetch =
        static_cast<std::size_t>(std::clamp(root.GlobalSet().MaxFindWebThreadCount / 2, 2, 16));
    try {
      // A node without its own text joins the task as the first node made it.
      team = std::make_unique<TPgTaskStore>(options, parsed->text ? &plan : nullptr);
    } catch (const ETeamError& e) {
      std::fprintf(stderr, "veltra-cli: %s\n", e.what());
      return 2;
    }
    const TTeamTaskPlan& task = team->Task().Plan;
    WriteOut(stdout, "team: task " + parsed->taskName + " on " + team->MaskedConnection() +
                         ", node " + std::to_string(team->NodeId()) + "\n");
    root.UseTaskStore(team.get());
    view.SetModeButtons(task.SearchMode != 1, task.SearchMode == 1);
    view.SetInputText(task.SearchText);
    state.TaskName = options.TaskName;
    control.StartActionExecute();
  } else if (!parsed->continueFile.empty()) {
    if (!control.OpenTask(parsed->continueFile)) return 1;
    if (parsed->text) view.SetInputText(gbk::FromUtf8(*parsed->text));
    control.ContinueActionExecute();
  } else {
    const bool keyword = parsed->keywordMode.value_or(keywordSearch);
    view.SetModeButtons(keyword, !keyword);
    view.SetInputText(gbk::FromUtf8(*parsed->text));
    if (!parsed->taskFile.empty())
      state.TaskName = gbk::FromUtf8(std::filesystem::path(parsed->taskFile).stem().string());
    control.StartActionExecute();
  }
  if (state.RunState != 1) return 1;  // run control said why

  using Clock = std::chrono::steady_clock;
  const auto tick = std::chrono::milliseconds(parsed->tickMs);
  const auto started = Clock::now();
  auto nextTick = started + tick;
  auto lastPrint = started - std::chrono::seconds(1);
  bool stopSent = false;
  int interruptedBy = 0;

  for (;;) {
    const auto now = Clock::now();
    if (!stopSent) {
      const int sig = gSignal.load();
      const bool overTime = parsed->maxSeconds > 0 &&
                            now - started >= std::chrono::duration<double>(parsed->maxSeconds);
      if ((sig != 0 || overTime) && control.CanStop()) {
        interruptedBy = sig;
        control.StopActionExecute();
        stopSent = true;
      }
    }
    if (now >= nextTick) {
      control.BeginCheckTimerTimer();
      control.StopWaitTimerTimer();
      nextTick += tick;
      if (nextTick < now) nextTick = now + tick;  // a late tick does not make up for lost ones
      if (now - lastPrint >= std::chrono::seconds(1)) {
        printer.Print(view.StatusLine() + (team ? "  " + TeamCountsText(team->Counts()) : ""));
        lastPrint = now;
      }
    }
    if (!control.BeginCheckTimerEnabled() && !control.StopWaitTimerEnabled()) break;
    bool wake = false;
    const auto wait =
        std::min<Clock::duration>(std::chrono::milliseconds(20), nextTick - Clock::now());
    if (browser) {
      // The renderer works on this thread's event loop, so the wait turns it.
      bool pending = false;
      {
        std::lock_guard lock(wakeMutex);
        pending = woken;
      }
      if (!pending && wait > Clock::duration::zero())
        browser->Wait(std::chrono::duration_cast<std::chrono::milliseconds>(wait));
      std::lock_guard lock(wakeMutex);
      wake = std::exchange(woken, false);
    } else {
      std::unique_lock lock(wakeMutex);
      wakeSignal.wait_for(lock, wait, [&] { return woken; });
      wake = std::exchange(woken, false);
    }
    if (wake) control.WorkerEnded();
    control.DispatchPending();  // addresses the producer queued meanwhile
    // After a stop, the end is noticed within one wait, not at the next tick.
    if (stopSent) control.StopWaitTimerTimer();
  }

  // Records appended after the last tick of a stopped run would otherwise be left out of
  // the saved task and the export, while their sites already count as processed.
  control.TransferCompanies();
  view.SetStatusText(3, RecordCountText(results.RowCount()));
  printer.Print(view.StatusLine());
  printer.Finish();

  int code = 0;
  if (team) {
    // The store's own problem was shown by run control when it stopped the run.
    if (!team->Failure().empty()) code = 1;
    team->Flush();
  }
  if (team && !parsed->outFile.empty()) {
    // The team's whole list, not only what this node found.
    try {
      TPgConnection db(parsed->team);
      LoadTeamResults(db, team->Task(), root.GlobalSet(), results);
    } catch (const ETeamError& e) {
      std::fprintf(stderr, "veltra-cli: %s\n", e.what());
      code = 1;
    }
  }
  if (!parsed->taskFile.empty()) {
    view.saveAnswer = parsed->taskFile;
    if (!control.SaveAsActionExecute()) code = 1;
  } else if (!parsed->continueFile.empty()) {
    if (!control.SaveSessionActionExecute()) code = 1;
  }
  if (!parsed->outFile.empty() && Export(results, parsed->outFile, *parsed, root.GlobalSet()) != 0)
    code = 1;

  std::string summary = "records: " + std::to_string(results.RowCount()) +
                        "  sites: " + std::to_string(state.URLCount());
  if (team) {
    const TTeamCounts counts = team->Counts();
    summary += "\n" + TeamCountsText(counts) + "\nnode: sites " +
               std::to_string(state.ProcessedURLCount) + "  db round trips " +
               std::to_string(counts.RoundTrips);
  }
  if (code == 0 && !state.TaskFileName.empty() &&
      (!parsed->taskFile.empty() || !parsed->continueFile.empty()))
    summary += "\ntask: " + state.TaskFileName;
  if (code == 0 && !parsed->outFile.empty()) summary += "\nexported: " + parsed->outFile;
  WriteOut(stdout, summary + "\n");
  PrintBlockedHints(control.BlockedSources(),
                    code == 0 && !state.TaskFileName.empty() ? state.TaskFileName : std::string());
  std::fflush(stdout);

  if (code != 0) return code;
  if (interruptedBy != 0) return 128 + interruptedBy;
  return 0;
}
