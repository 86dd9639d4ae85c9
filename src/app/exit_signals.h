#pragma once
// SIGTERM and SIGINT end the program the way its Exit command does: a
// running recording is finished and the settings are saved. The signal
// handler only writes a byte; the UI thread does the work.

#include <functional>

#include <QObject>

class QSocketNotifier;

namespace app {

class ExitSignals : public QObject {
 public:
  // onSignal runs on the UI thread for each signal that arrives.
  explicit ExitSignals(std::function<void()> onSignal);
  ~ExitSignals() override;
  // False when the handlers could not be installed.
  bool IsActive() const { return notifier_ != nullptr; }

 private:
  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace app
