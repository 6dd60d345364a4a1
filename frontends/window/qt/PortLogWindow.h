// A port's log in a read-only window of its own, opened from the port's tile
// and following the file as the port writes it. It only reads what is new
// since the last look, once a refresh, so a day's log costs one read of its
// tail each time.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <functional>
#include <string>

namespace stb::ui {

class TPortLogWindow : public QPlainTextEdit {
 public:
  // `logFile` gives the port's log as the port reports it now (empty: the
  // station keeps none); asked at each refresh, since a port that came back
  // writes a new one.
  TPortLogWindow(QWidget* owner, const std::string& port, std::function<std::string()> logFile);

  // Reads what the log gained since the last look (the timer's work).
  void Refresh();
  const std::string& File() const { return file_; }
  // The port's tile, whole, above the log: what the compact tile has no
  // room for. Unchanged text costs nothing.
  void ShowDetails(const QString& details);
  QString Details() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Starts over on `file`: a new log, or one that shrank (written anew).
  void Restart(const std::string& file);

  std::function<std::string()> logFile_;
  std::string file_;
  long long offset_ = 0;  // how far the file was read
  std::string partial_;   // a line read without its end yet
  bool noLog_ = false;    // kNoLog is shown
  QTimer refresh_;
  QLabel* details_ = nullptr;
};

}  // namespace stb::ui
