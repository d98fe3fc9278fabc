#include "run/status_texts.h"

#include "core/gbk.h"

std::string RunStateText(int32_t runState) {
  switch (runState) {
    case -1:
      return GBK("结束");
    case 0:
      return GBK("就绪");
    case 1:
      return GBK("正在运行...");
    default:
      return {};
  }
}

std::string URLCountText(std::size_t count) {
  return GBK("得到网址数:") + std::to_string(count);
}

std::string ProcessedURLText(int64_t count) {
  return GBK("已处理网址:") + std::to_string(count);
}

std::string RecordCountText(std::size_t count) {
  return GBK("得到信息:") + std::to_string(count);
}

std::string RunTimeText(uint32_t elapsedMs) {
  const uint32_t s = elapsedMs / 1000;
  return GBK("运行时间:") + std::to_string(s / 3600) + GBK("时") + std::to_string(s % 3600 / 60) +
         GBK("分") + std::to_string(s % 60) + GBK("秒");
}
