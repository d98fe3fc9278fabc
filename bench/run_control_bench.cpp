// Supervision and the task file at the sizes of a long run. One tick with 30 busy workers, a
// large URL list and 1,000 waiting records must cost what is new, not what the task holds;
// save and load of a task with 100k addresses and 50k rows are reported in MB/s.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/gbk.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "core/task_file.h"
#include "engines/engine_set.h"
#include "null_run_view.h"
#include "run/run_control.h"

namespace {

// A thread that stays busy until it is asked to stop.
class TBusyWorker final : public TWorkerThread {
 public:
  ~TBusyWorker() override { Join(); }

 protected:
  void Execute() override {
    while (!Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
};

class TBusyFactory final : public TThreadFactory {
 public:
  std::unique_ptr<TWorkerThread> CreateCrawlWorker(const TSearchURLResult&) override {
    return std::make_unique<TBusyWorker>();
  }
  std::unique_ptr<TWorkerThread> CreateSearchThread() override {
    return std::make_unique<TBusyWorker>();
  }
  std::unique_ptr<TWorkerThread> CreatePointWebThread() override {
    return std::make_unique<TBusyWorker>();
  }
};

// Keeps only what run control needs to read back: the URL bar's line count.
class TBenchView final : public TNullRunView {
 public:
  void AppendURLBarLines(const std::vector<std::string>& lines) override {
    urlBarLines_ += lines.size();
  }
  void ClearURLBar() override { urlBarLines_ = 0; }
  std::size_t URLBarLineCount() const override { return urlBarLines_; }
  std::string InputText() const override { return "machine"; }

 private:
  std::size_t urlBarLines_ = 0;
};

std::string Address(int64_t i) {
  return "http://www.company" + std::to_string(i) + ".com.cn/";
}

std::vector<TSearchURLResult> Entries(int64_t count) {
  const std::string title = GBK("上海海德机床有限公司");
  const std::string description = GBK("专业生产数控机床、加工中心及各类配件，产品远销海外");
  std::vector<TSearchURLResult> list;
  list.reserve(static_cast<std::size_t>(count));
  for (int64_t i = 0; i < count; ++i) list.push_back({Address(i), title, description});
  return list;
}

std::unique_ptr<TCompanyObject> Record(int64_t i) {
  auto r = std::make_unique<TCompanyObject>();
  r->CompanyName = GBK("上海海德机床有限公司");
  r->WebAddress = Address(i);
  r->Address = GBK("上海市浦东新区张江路1号");
  r->PostCode = "201203";
  r->Telephone = "021-58881234";
  r->Fax = "021-58881235";
  r->Email = "sales@haide.example.com";
  return r;
}

// Arguments: URL list size, records waiting at each tick. Twenty new addresses arrive per
// tick as well, as they would from a search thread.
void BM_SupervisionTick(benchmark::State& st) {
  const int64_t urls = st.range(0);
  const int64_t records = st.range(1);
  TSettingsStore store;
  TGlobalSet set;
  set.MaxFindWebThreadCount = 30;
  store.Publish(set);
  TProgramState state;
  TResultTable results;
  TBenchView view;
  TBusyFactory factory;
  TEngineSet engines;
  uint32_t now = 1000;
  TRunControl control(state, store, results, view, factory, engines.Entries(),
                      [&now] { return now; });
  control.StartActionExecute();
  state.ReplaceURLList(Entries(urls));
  now += 1000;
  control.BeginCheckTimerTimer();  // hands out the 30 entries and fills the URL bar
  int64_t next = urls;
  int64_t ticks = 0;
  for (auto _ : st) {
    st.PauseTiming();
    // The table is emptied now and then so that its own growth (a vector doubling now and
    // then) does not hide what the tick costs.
    if (++ticks % 256 == 0) results.Clear();
    for (int64_t i = 0; i < records; ++i) state.AppendCompany(Record(i));
    for (int i = 0; i < 20; ++i) state.AppendURL(Address(next++), "t", "d");
    now += 1000;
    st.ResumeTiming();
    control.BeginCheckTimerTimer();
  }
  if (state.CompanyCount() != 0 || view.URLBarLineCount() != state.URLCount())
    st.SkipWithError("the tick did not take everything new");
  st.counters["result_rows"] = static_cast<double>(results.RowCount());
  control.Shutdown();
}

struct TTaskOnDisk {
  TProgramState state;
  TResultTable rows;
  TEngineSet engines;
  std::string path;

  TTaskOnDisk() {
    path = (std::filesystem::temp_directory_path() /
            ("veltra_bench_" + std::to_string(::getpid()) + ".swrw"))
               .string();
    state.TaskName = GBK("上海机床");
    state.SearchText = GBK("机床 上海");
    state.ReplaceURLList(Entries(100000));
    std::vector<TResultRow> list;
    list.reserve(50000);
    for (int64_t i = 0; i < 50000; ++i) list.push_back(RowFromCompany(*Record(i)));
    rows.ReplaceRows(std::move(list));
  }
  ~TTaskOnDisk() { std::remove(path.c_str()); }
  TTaskOnDisk(const TTaskOnDisk&) = delete;
  TTaskOnDisk& operator=(const TTaskOnDisk&) = delete;

  void Save() { SaveToFile(path, state, rows, {GBK("机床 上海"), true, false}, engines.Naming()); }
  int64_t FileBytes() const { return static_cast<int64_t>(std::filesystem::file_size(path)); }
};

void BM_SaveTask(benchmark::State& st) {
  TTaskOnDisk task;
  for (auto _ : st) task.Save();
  st.SetBytesProcessed(st.iterations() * task.FileBytes());
  st.counters["file_MB"] = static_cast<double>(task.FileBytes()) / 1e6;
}

// Loading replaces the previous content, as opening a task in the window does.
void BM_LoadTask(benchmark::State& st) {
  TTaskOnDisk task;
  task.Save();
  TProgramState state;
  TResultTable rows;
  TTaskWindowItems window;
  const TEngineNaming naming = task.engines.Naming();
  for (auto _ : st) {
    LoadFromFile(task.path, state, rows, window, naming);
    benchmark::DoNotOptimize(rows.RowCount());
  }
  if (state.URLCount() != 100000 || rows.RowCount() != 50000)
    st.SkipWithError("the task did not load whole");
  st.SetBytesProcessed(st.iterations() * task.FileBytes());
}

}  // namespace

BENCHMARK(BM_SupervisionTick)
    ->Args({10000, 1000})
    ->Args({100000, 1000})
    ->Args({1000000, 1000})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveTask)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadTask)->Unit(benchmark::kMillisecond)->UseRealTime();
