#pragma once
// The core keeps GBK byte strings; Qt shows QString. These convert at the widget boundary.

#include <QString>
#include <string>

#include "core/gbk.h"

inline QString QFromGbk(const std::string& gbk) {
  return QString::fromStdString(ToUtf8(gbk));
}

inline std::string GbkFromQ(const QString& text) {
  return FromUtf8(text.toStdString());
}
