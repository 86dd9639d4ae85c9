#pragma once
// The real main window with its controller, on the virtual wave device with
// its clock stepped by hand, in temporary documents, configuration and card
// folders. Error boxes are recorded instead of shown.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QString>

#include "app/controller.h"
#include "app/document_list.h"
#include "app/main_window.h"
#include "app/menu_bar.h"
#include "audio/app_flags.h"
#include "audio/wave_file_stream.h"
#include "diag/show_error.h"
#include "platform/virtual_wave_device.h"
#include "settings/settings_store.h"
#include "support/temp_roots.h"
#include "view/display_power.h"
#include "view/main_view.h"

namespace apptest {

using Bytes = std::vector<uint8_t>;
using Area = view::MainView::TextArea;

class AppTest : public ::testing::Test {
 public:
  void SetUp() override {
    device_ = platform::VirtualWaveDevice::Install();
    device_->Clock().RunManually();
    diag::SetErrorPresenter([this](void*, const std::u16string& text) {
      errors_.push_back(QString::fromStdU16String(text));
      return diag::kResultOk;
    });
    view::SetDisplayNotice([this](const QString& text, const QString&) { errors_.push_back(text); });
  }

  void TearDown() override {
    window_.reset();
    diag::SetErrorPresenter(nullptr);
    view::SetDisplayNotice(nullptr);
    platform::InstallWaveBackend(nullptr);
    audio::VasEnabled = 0;
    audio::RecordingActive = 0;
    audio::DisplayOn = 1;
  }

  // settings.dat as the defaults changed by `edit`, before the program starts.
  void WriteSettings(const std::function<void(settings::SettingsRecord&)>& edit) {
    settings::SettingsStore store;
    store.SetDefaults();
    edit(store.Record);
    ASSERT_TRUE(store.Save());
  }

  void Start() {
    window_ = std::make_unique<app::MainWindow>();
    ASSERT_TRUE(window_->Create());
    window_->show();
    T().PlayDelayMs = 0;
    T().AudioIO.TickSource = [device = device_.get()] {
      return static_cast<uint32_t>(device->Clock().NowMicros() / 1000);
    };
    Pump();
  }

  app::CController& C() { return *window_->Controller(); }
  app::CTransport& T() { return C().Transport; }
  view::MainView& V() { return C().View; }
  app::DocumentList& List() { return *C().DocList; }

  // A tap: pen down and up at the middle of a view button.
  void Tap(int id) {
    Press(id);
    Release(id);
  }
  void Press(int id) {
    const QPoint p = Centre(id);
    T().OnLButtonDown(p.x(), p.y());
  }
  void Release(int id) {
    const QPoint p = Centre(id);
    T().OnLButtonUp(p.x(), p.y());
  }
  QPoint Centre(int id) {
    const view::SkinButton& b = V().Buttons[id - view::kFirstButton];
    return QPoint((b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2);
  }
  bool Enabled(int id) { return V().Buttons[id - view::kFirstButton].Enabled != 0; }
  std::u16string Shown(Area area) { return V().ShownText(area); }

  // Lets queued calls (the monitor's hand-overs, repaints) run.
  static void Pump() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }
  // Runs the event loop until `done` holds; false after a generous deadline.
  static bool WaitFor(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // Advances virtual time in 40 ms steps (one buffer each).
  void StepBuffers(int buffers) {
    for (int i = 0; i < buffers; ++i) {
      ASSERT_TRUE(device_->StepMs(40));
      Pump();
    }
  }
  // Steps the clock a buffer at a time until `done` holds. The end of a file
  // reaches the transport through the monitor thread, which the clock's
  // settling does not wait for (a loaded machine may not run it for a while):
  // after `fastSteps` steps each one also lets real time pass, up to 20 s.
  bool StepUntil(const std::function<bool()>& done, int fastSteps) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 0; !done(); ++i) {
      if (!device_->StepMs(40)) return false;
      Pump();
      if (i < fastSteps) continue;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }
  // Steps until playback has ended and the end has been handled.
  bool PlayToEnd() {
    return StepUntil([&] { return !T().AudioIO.IsPlaying() && T().AudioIO.Direction == audio::WaveDirection::None; },
                     5000);
  }

  // A WAV file as the program writes it, from samples in the device format.
  static void WriteWav(const std::string& hostPath, uint32_t formatId, const Bytes& deviceBytes) {
    std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
    audio::WaveFileStream stream;
    stream.SetFormat(formatId);
    ASSERT_TRUE(stream.Open(std::u16string(hostPath.begin(), hostPath.end()), audio::kStreamWrite));
    const uint32_t align = stream.GetBlockAlign() == 0 ? 1 : stream.GetBlockAlign();
    const uint32_t frameBytes = formatId == 49 ? 2 : align;
    for (size_t o = 0; o < deviceBytes.size(); o += 640) {
      const size_t n = std::min<size_t>(640, deviceBytes.size() - o);
      ASSERT_TRUE(stream.Write(deviceBytes.data() + o, static_cast<uint32_t>(n / frameBytes)));
    }
    stream.Close();
  }

  std::string DocumentsFolder() const { return roots_.Documents() + "/Quillon"; }
  std::string InDocuments(const std::string& name) const { return DocumentsFolder() + "/" + name; }

  // 16-bit little-endian samples that never repeat a block, so that any
  // stretch heard or recorded can be found in them.
  static Bytes NumberedSamples(size_t samples) {
    Bytes out(samples * 2);
    uint32_t state = 12345;
    for (size_t i = 0; i < samples; ++i) {
      state = state * 1664525u + 1013904223u;
      const auto value = static_cast<uint16_t>(state >> 16);
      out[2 * i] = static_cast<uint8_t>(value & 0xFF);
      out[2 * i + 1] = static_cast<uint8_t>(value >> 8);
    }
    return out;
  }

  testsupport::TempRoots roots_;
  std::shared_ptr<platform::VirtualWaveDevice> device_;
  std::unique_ptr<app::MainWindow> window_;
  std::vector<QString> errors_;
};

// Bytes of a host file.
inline Bytes ReadFileBytes(const std::string& path) {
  const std::string text = testsupport::ReadHostFile(path);
  return Bytes(text.begin(), text.end());
}

inline uint32_t Le32(const Bytes& b, size_t o) {
  return b.at(o) | b.at(o + 1) << 8 | b.at(o + 2) << 16 | static_cast<uint32_t>(b.at(o + 3)) << 24;
}

// The data chunk of a WAV file written by the program (empty when none).
inline Bytes DataChunk(const Bytes& file) {
  for (size_t o = 12; o + 8 <= file.size();) {
    const uint32_t size = Le32(file, o + 4);
    if (std::string(file.begin() + o, file.begin() + o + 4) == "data") {
      if (o + 8 + size > file.size()) return {};
      return Bytes(file.begin() + o + 8, file.begin() + o + 8 + size);
    }
    o += 8 + size + (size & 1);
  }
  return {};
}

}  // namespace apptest
