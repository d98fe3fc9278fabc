#pragma once
// What run control needs from the window: status panels, the URL bar, message boxes, file
// dialogs, the cursor, the input box and the mode buttons. The Qt window, the CLI and the
// tests each implement it. Display texts are GBK; file paths are native file-system paths.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

enum class TMessageIcon { None, Information, Warning, Error, Question };
enum class TMessageButtons { Ok, YesNoCancel };
enum class TMessageResult { Ok, Yes, No, Cancel };
enum class TRunCursor { Normal, Hourglass };
enum class TRunTimer { BeginCheck, StopWait };

// A search source that asked for verification, as the window and the CLI name it.
struct TBlockedSourceNotice {
  std::string Name;       // registry name ("Bing")
  std::string Caption;    // GBK
  std::string VerifyURL;  // where the user passes the verification
};

class TRunView {
 public:
  virtual ~TRunView() = default;

  // Status bar panels 0 to 4.
  virtual void SetStatusText(int panel, const std::string& text) = 0;

  // URL bar: one line per URL list entry.
  virtual void AppendURLBarLines(const std::vector<std::string>& lines) = 0;
  virtual void ClearURLBar() = 0;
  virtual std::size_t URLBarLineCount() const = 0;

  virtual TMessageResult ShowMessage(const std::string& text, const std::string& caption,
                                     TMessageIcon icon,
                                     TMessageButtons buttons = TMessageButtons::Ok) = 0;
  virtual void SetCursor(TRunCursor cursor) = 0;

  // Input box (GBK text as shown) and the two mode buttons.
  virtual std::string InputText() const = 0;
  virtual void SetInputText(const std::string& text) = 0;
  virtual void FocusInput() = 0;
  virtual bool KeywordModeSelected() const = 0;
  virtual bool WebsiteModeSelected() const = 0;
  virtual void SetModeButtons(bool keyword, bool website) = 0;

  virtual void SetWindowCaption(const std::string& caption) = 0;

  // File dialogs with a GBK title and filter ("description|*.ext"); nullopt when cancelled.
  virtual std::optional<std::string> AskSaveFileName(const std::string& title,
                                                     const std::string& filter,
                                                     const std::string& proposedName) = 0;
  virtual std::optional<std::string> AskOpenFileName(const std::string& title,
                                                     const std::string& filter) = 0;

  // The two 1000 ms timers; the window starts or stops them. Ticks of a disabled timer are
  // ignored by run control anyway.
  virtual void EnableTimer(TRunTimer timer, bool enabled) = 0;

  // A run ended with these sources blocked: the window offers their verification pages, the
  // CLI says how to pass them.
  virtual void SourcesBlocked(const std::vector<TBlockedSourceNotice>&) {}
};
