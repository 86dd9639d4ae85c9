#pragma once
// Looks at something only while it changes, and at most once per interval:
// the first change as soon as the event that made it is done, later ones with
// the first change after the interval has passed, and the last of them by a
// timer once they stop. A
// program left alone wakes for none of it (the media-player service looked
// four times a second, always).

#include <functional>

#include <QElapsedTimer>
#include <QObject>

class QTimer;

namespace app {

class ChangeLook : public QObject {
 public:
  ChangeLook(int intervalMs, std::function<void()> look, QObject* parent = nullptr);

  // On the thread of this object.
  void Changed();
  // Whether a change is still to be looked at.
  bool Pending() const;

 private:
  void Look();

  const int intervalMs_;
  const std::function<void()> look_;
  QElapsedTimer since_;  // since the last look
  QTimer* last_;         // looks at the last change once changes stop
};

}  // namespace app
