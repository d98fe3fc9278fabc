// The result list under load, through the real window: 100,000 records moved into the list
// in one supervision tick, a sort of them by company name, and a tick bringing 1,000 records
// into a list that already holds 100,000; each as first designed and with the lead columns
// (description, number kind and place shown, records merged by phone and e-mail).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <array>
#include <filesystem>
#include <memory>
#include <string>

#include "core/gbk.h"
#include "run/run_control.h"
#include "ui/jolo_list_view.h"
#include "ui/main_form.h"

namespace {

void EnsureApplication() {
  if (QApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "veltra_bench";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
}

// `leads`: the lead columns and merging on (the window's and recognition's modern switches).
std::unique_ptr<TMainForm> MakeForm(bool leads) {
  EnsureApplication();
  const auto ini = std::filesystem::temp_directory_path() / "veltra_list_bench.ini";
  auto form = std::make_unique<TMainForm>(ini.string());
  TGlobalSet& set = form->GlobalSet();
  set.FlagModernWindow = set.FlagModernRecognition = leads;
  form->Store().Publish(set);
  form->UpdateActions();
  form->show();
  QApplication::processEvents();
  return form;
}

void QueueCompanies(TProgramState& state, int count, int seed) {
  static const std::array<std::string, 8> cities = {
      gbk::FromUtf8("上海"), gbk::FromUtf8("北京"), gbk::FromUtf8("广州"), gbk::FromUtf8("深圳"),
      gbk::FromUtf8("重庆"), gbk::FromUtf8("佟家"), gbk::FromUtf8("王府"), gbk::FromUtf8("安徽")};
  static const std::string suffix = gbk::FromUtf8("机械有限公司");
  for (int i = 0; i < count; ++i) {
    const int n = (seed + i) * 7919 % 100003;
    auto record = std::make_unique<TCompanyObject>();
    record->CompanyName =
        cities[static_cast<std::size_t>(n) % cities.size()] + std::to_string(n) + suffix;
    record->WebAddress = "http://www.c" + std::to_string(n) + ".com/";
    record->Telephone = "021-" + std::to_string(60000000 + n);
    record->Email = "info@c" + std::to_string(n) + ".com";
    state.AppendCompany(std::move(record));
  }
}

// The part of a supervision tick that touches the list, and the repaint that follows it.
void Tick(TMainForm& form) {
  form.RunControl().TransferCompanies();
  form.RunControl().UpdateStatusCounters();
  QApplication::processEvents();
}

void BM_ListAppend100kInOneTick(benchmark::State& st) {
  auto form = MakeForm(st.range(0) != 0);
  for (auto _ : st) {
    st.PauseTiming();
    form->Results().Clear();
    QueueCompanies(form->State(), 100000, 0);
    st.ResumeTiming();
    Tick(*form);
  }
  form->State().Modified = false;
}
BENCHMARK(BM_ListAppend100kInOneTick)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// Arguments: lead columns off/on, and the column sorted by (0 company name, 8 number kind).
void BM_ListSort100kByCompanyName(benchmark::State& st) {
  auto form = MakeForm(st.range(0) != 0);
  QueueCompanies(form->State(), 100000, 0);
  Tick(*form);
  const int column = static_cast<int>(st.range(1));
  for (auto _ : st) {
    form->ListView()->HeaderClicked(column);  // flips the direction each time
    QApplication::processEvents();
  }
  form->State().Modified = false;
}
BENCHMARK(BM_ListSort100kByCompanyName)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 8})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

void BM_ListTick1000Into100k(benchmark::State& st) {
  auto form = MakeForm(st.range(0) != 0);
  QueueCompanies(form->State(), 100000, 0);
  Tick(*form);
  int seed = 100000;
  for (auto _ : st) {
    st.PauseTiming();
    QueueCompanies(form->State(), 1000, seed);
    seed += 1000;
    st.ResumeTiming();
    Tick(*form);
  }
  form->State().Modified = false;
}
BENCHMARK(BM_ListTick1000Into100k)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
