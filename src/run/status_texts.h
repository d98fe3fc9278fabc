#pragma once
// The texts of the five status panels, for run control, the window and the CLI (GBK).

#include <cstdint>
#include <string>

// Panel 0 by RunState: "结束" (-1), "就绪" (0), "正在运行..." (1); empty for anything else.
std::string RunStateText(int32_t runState);
// Panels 1 to 3: "得到网址数:N", "已处理网址:N", "得到信息:N".
std::string URLCountText(std::size_t count);
std::string ProcessedURLText(int64_t count);
std::string RecordCountText(std::size_t count);
// Panel 4: "运行时间:" H "时" M "分" S "秒".
std::string RunTimeText(uint32_t elapsedMs);
