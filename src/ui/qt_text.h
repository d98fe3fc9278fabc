#pragma once
// The core keeps GBK byte strings; Qt shows QString. These convert at the widget boundary.

#include <QString>
#include <string>
#include <string_view>

#include "core/gbk.h"

inline QString QFromGbk(std::string_view text) {
  return QString::fromStdString(gbk::ToUtf8(text));
}

inline std::string GbkFromQ(const QString& text) {
  return gbk::FromUtf8(text.toStdString());
}
