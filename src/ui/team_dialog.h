#pragma once
// "团队任务": the connection to a team database (postgresql:// address or libpq key=value
// string), the task's name and a button that tests the database. OK hands both to the
// window, which joins or creates the task; the dialog stays open when that fails.

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

// What a connection problem of the team database means, in the window's words (the detail
// from the server follows on a line of its own). `problem` is UTF-8, "" for none.
QString TeamProblemText(const std::string& problem);

class TTeamDialog : public QDialog {
  Q_OBJECT
 public:
  // `join` gets the connection and the task name (UTF-8) and returns whether the window
  // joined; it tells the user why not itself.
  using TJoin = std::function<bool(const std::string& connection, const std::string& taskName)>;
  TTeamDialog(const QString& connection, const QString& taskName, TJoin join,
              QWidget* parent = nullptr);
  ~TTeamDialog() override;

  // The outcome of the last test, as shown.
  QString TestText() const;

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};
