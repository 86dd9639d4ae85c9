#pragma once
// Qt events are handled until `done` holds or 5 s have passed: a limit for a
// test that would otherwise hang, not a timing.

#include <QCoreApplication>
#include <QElapsedTimer>

namespace testsupport {

template <typename Done>
bool RunUntil(Done done) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace testsupport
