#pragma once
// What the main view needs of the transport that owns it. The transport lives
// above the view, so the view knows it only through this interface.

namespace audio {
struct MeterState;
}

namespace view {

class MainView;

class ViewTransport {
 public:
  virtual ~ViewTransport() = default;
  // The transport keeps the view to show its state.
  virtual void AttachView(MainView* view) = 0;
  // The device object measures each buffer's level into this meter.
  virtual void AttachLevelMeter(audio::MeterState* meter) = 0;
};

}  // namespace view
