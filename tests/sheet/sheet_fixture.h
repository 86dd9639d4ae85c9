#pragma once
// The settings sheet over a main-window-sized owner that counts help
// requests, on temporary device roots and the virtual sound device, with
// failure messages recorded instead of shown.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <QTabBar>
#include <QTest>
#include <QWidget>

#include "diag/show_error.h"
#include "platform/virtual_wave_device.h"
#include "settings/settings_store.h"
#include "sheet/link_label.h"
#include "sheet/settings_page.h"
#include "sheet/sheet_dialog.h"
#include "sheet/storage_list.h"
#include "support/temp_roots.h"
#include "view/help_request.h"

namespace sheettest {

class Owner : public QWidget {
 public:
  int helpRequests = 0;
  bool event(QEvent* event) override {
    if (event->type() != view::HelpRequestEvent::EventType()) return QWidget::event(event);
    ++helpRequests;
    return true;
  }
};

class SheetTest : public ::testing::Test {
 protected:
  explicit SheetTest(std::vector<std::u16string> cards = {u"Storage Card"}) : roots_(std::move(cards)) {
    store_.SetDefaults();
    diag::SetErrorPresenter([this](void*, const std::u16string& text) {
      errors_.push_back(text);
      return diag::kResultOk;
    });
    owner_.setGeometry(30, 40, 240, 294);
    owner_.show();
  }
  ~SheetTest() override {
    sheet_.reset();
    EXPECT_TRUE(errors_.empty()) << QString::fromStdU16String(errors_.front()).toStdString();
    sheet::SetFreeSpaceQuery(nullptr);
    sheet::SetLinkOpener(nullptr);
    diag::SetErrorPresenter(nullptr);
    platform::InstallWaveBackend(nullptr);
  }
  sheet::SettingsSheet& Open(int startPage) {
    store_.StartPage = startPage;
    sheet_ = std::make_unique<sheet::SettingsSheet>(&owner_, &store_);
    sheet_->show();
    sheet_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(sheet_.get()));
    return *sheet_;
  }
  template <typename Page>
  Page* PageAt(int index) const {
    return static_cast<Page*>(sheet_->Page(index));
  }
  void Switch(int index) { sheet_->TabBar()->setCurrentIndex(index); }

  testsupport::TempRoots roots_;
  std::shared_ptr<platform::VirtualWaveDevice> device_ = platform::VirtualWaveDevice::Install();
  settings::SettingsStore store_;
  std::vector<std::u16string> errors_;
  Owner owner_;
  std::unique_ptr<sheet::SettingsSheet> sheet_;
};

}  // namespace sheettest
