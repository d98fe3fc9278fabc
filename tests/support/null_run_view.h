#pragma once
// A run view that shows nothing: messages are answered OK, file dialogs cancelled, the input
// box is empty and keyword search is selected. Fakes override only what they record.

#include "run/run_view.h"

class TNullRunView : public TRunView {
 public:
  void SetStatusText(int, const std::string&) override {}
  void AppendURLBarLines(const std::vector<std::string>&) override {}
  void ClearURLBar() override {}
  std::size_t URLBarLineCount() const override { return 0; }
  TMessageResult ShowMessage(const std::string&, const std::string&, TMessageIcon,
                             TMessageButtons) override {
    return TMessageResult::Ok;
  }
  void SetCursor(TRunCursor) override {}
  std::string InputText() const override { return {}; }
  void SetInputText(const std::string&) override {}
  void FocusInput() override {}
  bool KeywordModeSelected() const override { return true; }
  bool WebsiteModeSelected() const override { return false; }
  void SetModeButtons(bool, bool) override {}
  void SetWindowCaption(const std::string&) override {}
  std::optional<std::string> AskSaveFileName(const std::string&, const std::string&,
                                             const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> AskOpenFileName(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void EnableTimer(TRunTimer, bool) override {}
};
