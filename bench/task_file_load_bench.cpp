// Memory and time of opening a task file, against the file's size. Each load runs in a child
// process whose peak resident size is reset first, so the figure is the load's own.
// VELTRA_TASK_BENCH_MIB sets the file size (default 64).

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/gbk.h"
#include "core/program_state.h"
#include "core/result_table.h"
#include "core/task_file.h"

namespace {

enum class TShape { Realistic, ShortFields };

std::size_t FileMiB() {
  const char* v = std::getenv("VELTRA_TASK_BENCH_MIB");
  return v ? std::strtoul(v, nullptr, 10) : 64;
}

// Bytes a string takes in the file.
std::size_t Stored(const std::string& gbkText) {
  if (!gbk::IsAscii(gbkText)) return 5 + gbk::ToUtf8(gbkText).size();
  return (gbkText.size() <= 255 ? 2 : 5) + gbkText.size();
}

// A task of about `bytes` bytes: half URL list, half result rows.
std::string MakeTaskFile(TShape shape, std::size_t bytes) {
  TTaskFileData d;
  d.TaskName = GBK("任务");
  const bool real = shape == TShape::Realistic;
  const std::string title = real ? GBK("上海海德机械有限公司 - 数控机床 加工中心") : "";
  const std::string text =
      real ? GBK("上海海德机械有限公司是一家专业生产数控机床的企业，欢迎来电咨询。") : "";
  const std::string address = real ? GBK("上海市浦东新区张江高科技园区碧波路690号") : "";
  std::size_t size = 0;
  for (int64_t i = 0; size < bytes / 2; ++i) {
    TSearchURLResult e{"http://www.company" + std::to_string(i) + ".com.cn/", title, text};
    size += Stored(e.URL) + Stored(e.Title) + Stored(e.Description);
    d.URLs.push_back(std::move(e));
  }
  for (int64_t i = 0; size < bytes; ++i) {
    const std::string n = std::to_string(i);
    TResultRow row;
    if (real)
      row = {title + n,
             "http://www.company" + n + ".com.cn/contact.html",
             "sales" + n + "@company.com.cn",
             "021-5080" + n,
             "021-5081" + n,
             address,
             "201203",
             text};
    else
      row = {n, "", "", "", "", "", "", ""};
    for (const auto& cell : row) size += Stored(cell);
    d.Rows.push_back(std::move(row));
  }
  return EncodeTaskFile(d);
}

long RssKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0)
      return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
  return 0;
}

struct TLoadFigures {
  double PeakMiB = 0;
  double HeldMiB = 0;
  double CpuSeconds = 0;
  double Seconds = 0;
};

// Loads `path` in a child: the file alone (`intoState` false) or into a state and a table.
TLoadFigures LoadInChild(const std::string& path, bool intoState) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak resident size
    const long base = RssKiB("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    TProgramState state;
    TResultTable rows;
    TTaskWindowItems window;
    TTaskFileData data;
    if (intoState)
      LoadFromFile(path, state, rows, window, {});
    else
      data = ReadTaskFile(path);
    TLoadFigures f;
    f.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.CpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    // Read while the loaded task is still held.
    f.PeakMiB = static_cast<double>(RssKiB("VmHWM:") - base) / 1024.0;
    f.HeldMiB = static_cast<double>(RssKiB("VmRSS:") - base) / 1024.0;
    (void)!::write(fds[1], &f, sizeof f);
    ::_exit(0);
  }
  ::close(fds[1]);
  TLoadFigures f;
  (void)!::read(fds[0], &f, sizeof f);
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  return f;
}

void BM_TaskFileLoad(benchmark::State& st) {
  const auto shape = static_cast<TShape>(st.range(0));
  const bool intoState = st.range(1) != 0;
  const std::string path =
      (std::filesystem::temp_directory_path() /
       ("veltra-bench-" + std::to_string(::getpid()) + "-" + std::to_string(st.range(0)) + ".swrw"))
          .string();
  // Written by a child too: memory the parent freed would stay resident and be reused by the
  // loading child without showing in its figures.
  if (const pid_t writer = ::fork(); writer == 0) {
    const std::string bytes = MakeTaskFile(shape, FileMiB() << 20);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    ::_exit(0);
  } else {
    ::waitpid(writer, nullptr, 0);
  }
  const std::size_t fileBytes = std::filesystem::file_size(path);
  TLoadFigures f;
  for (auto _ : st) {
    f = LoadInChild(path, intoState);
    st.SetIterationTime(f.Seconds);
  }
  std::filesystem::remove(path);
  const double fileMiB = static_cast<double>(fileBytes) / (1 << 20);
  st.counters["file_MiB"] = fileMiB;
  st.counters["peak_MiB"] = f.PeakMiB;
  st.counters["held_MiB"] = f.HeldMiB;
  st.counters["cpu_s"] = f.CpuSeconds;
  st.counters["peak_per_file_byte"] = f.PeakMiB / fileMiB;
  st.SetBytesProcessed(static_cast<int64_t>(fileBytes) * st.iterations());
}

}  // namespace

// Arguments: shape (0 realistic, 1 short fields), 0 file only / 1 into the state and table.
BENCHMARK(BM_TaskFileLoad)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
