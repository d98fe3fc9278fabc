#pragma once
// Lookups shared by the dialog tests: named controls, a number field's text part, and a key
// of the settings file as written.

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>
#include <filesystem>
#include <string>

#include "core/ini_file.h"
#include "test_support.h"

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (!child) qFatal("no child %s", name);
  return child;
}

inline QPushButton* Button(QWidget* parent, const char* name) {
  return Child<QPushButton>(parent, name);
}

// The text part of a number field, as the user types into it.
inline QLineEdit* SpinText(QSpinBox* spin) {
  return spin->findChild<QLineEdit*>();
}

inline std::string Ini(const std::filesystem::path& path, const char* section, const char* key) {
  TIniFile ini(testsupport::ReadFile(path));
  return ini.ReadString(section, key).value_or("<missing>");
}
