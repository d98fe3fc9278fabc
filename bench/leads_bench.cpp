// Phone numbers read per second (parse, type, place), and the site of an address.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "core/gbk.h"
#include "core/phone_numbers.h"
#include "core/site_domain.h"

namespace {

std::vector<std::string> Numbers() {
  std::vector<std::string> out;
  for (int i = 0; i < 1000; ++i) {
    const std::string n = std::to_string(1000 + i * 7 % 9000);
    out.push_back("0571-8765" + n);
    out.push_back("138" + n + "5678");
    out.push_back("+86 10 6234 " + n);
    out.push_back("400-810-" + n);
    out.push_back("8765-" + n);  // no area code: rejected
  }
  return out;
}

void BM_PhoneParse(benchmark::State& st) {
  const TPhoneNumbers phones("CN");
  const std::vector<std::string> numbers = Numbers();
  std::size_t i = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(phones.ReadCell(numbers[i]));
    i = (i + 1) % numbers.size();
  }
  st.SetItemsProcessed(static_cast<int64_t>(st.iterations()));
}
BENCHMARK(BM_PhoneParse);

void BM_PhoneColumnsOfARecord(benchmark::State& st) {
  const TPhoneNumbers phones("CN");
  const std::string telephone = gbk::FromUtf8("0571-87654321 13812345678；400-810-8888");
  for (auto _ : st) benchmark::DoNotOptimize(PhoneColumns(phones, telephone, "0571-87654322"));
  st.SetItemsProcessed(static_cast<int64_t>(st.iterations()));
}
BENCHMARK(BM_PhoneColumnsOfARecord);

void BM_SiteOfAddress(benchmark::State& st) {
  for (auto _ : st)
    benchmark::DoNotOptimize(SiteOfAddress("http://www.shop.abc.com.cn:8080/about/index.html"));
  st.SetItemsProcessed(static_cast<int64_t>(st.iterations()));
}
BENCHMARK(BM_SiteOfAddress);

}  // namespace
