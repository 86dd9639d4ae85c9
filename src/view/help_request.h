#pragma once
// A request for the program's help page, sent to the main window by windows
// that cannot open it themselves (the settings sheet and its pages), as the
// handheld forwarded its help message to the main window.

#include <QEvent>

namespace view {

class HelpRequestEvent : public QEvent {
 public:
  static QEvent::Type EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  HelpRequestEvent() : QEvent(EventType()) {}
};

}  // namespace view
