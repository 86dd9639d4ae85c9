#pragma once
// What the main view needs of the transport that owns it. The transport lives
// above the view, so the view knows it only through this interface.

namespace audio {
struct MeterState;
class WaveIO;
}  // namespace audio

namespace view {

class MainView;

class ViewTransport {
 public:
  virtual ~ViewTransport() = default;
  // The transport keeps the view to show its state.
  virtual void AttachView(MainView* view) = 0;
  // The device object measures each buffer's level into this meter.
  virtual void AttachLevelMeter(audio::MeterState* meter) = 0;
  // The transport's device object (its AudioIO), whose events and progress
  // the monitor thread follows; without one the view runs no monitor.
  virtual audio::WaveIO* GetAudioIO() { return nullptr; }
  // Playback ran out of data: close the device and apply the play mode.
  // Called on the UI thread.
  virtual void OnPlaybackEnd() {}
  // The device stopped by itself on a failure: a recorded write or a played
  // read failed. Called on the UI thread; true when the transport has ended
  // what ran and told the user, false to have the failure shown as it is.
  virtual bool OnDeviceFailed() { return false; }
};

}  // namespace view
