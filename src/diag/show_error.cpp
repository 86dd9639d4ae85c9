#include "diag/show_error.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <string_view>

#include "platform/last_error.h"
#include "platform/text.h"

namespace diag {

namespace {

constexpr int kMaxStringId = 65535;

struct PresenterSlot {
  std::mutex lock;
  ErrorPresenter presenter;
};

PresenterSlot& Presenter() {
  static PresenterSlot slot;
  return slot;
}

struct StringTable {
  std::mutex lock;
  std::map<int, std::u16string> texts;
};

StringTable& Strings() {
  static StringTable table;
  return table;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// A message template as the system's message formatter reads it: %1..%99
// take the numbered insert (an optional !format! after it is skipped: the
// inserts are already text), %0 ends the message, %n, %r and %t are line
// feed, carriage return and tab, and any other character after a percent
// stands for itself ("%%" is a percent). An insert with no argument stays
// as written.
std::u16string FormatTemplate(std::u16string_view text, const std::vector<std::u16string>& args) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c != u'%' || i + 1 == text.size()) {
      out += c;
      ++i;
      continue;
    }
    const char16_t next = text[i + 1];
    if (next == u'0') break;
    if (IsDigit(next)) {
      size_t end = i + 2;
      int number = next - u'0';
      if (end < text.size() && IsDigit(text[end])) {
        number = number * 10 + (text[end] - u'0');
        ++end;
      }
      if (end < text.size() && text[end] == u'!') {
        const size_t close = text.find(u'!', end + 1);
        if (close != std::u16string_view::npos) end = close + 1;
      }
      if (static_cast<size_t>(number) <= args.size()) {
        out += args[number - 1];
      } else {
        out.append(text.substr(i, end - i));
      }
      i = end;
      continue;
    }
    switch (next) {
      case u'n': out += u'\n'; break;
      case u'r': out += u'\r'; break;
      case u't': out += u'\t'; break;
      default: out += next; break;
    }
    i += 2;
  }
  return out;
}

// Cuts text to at most limit characters without splitting a surrogate pair.
void CutTo(std::u16string& text, size_t limit) {
  if (text.size() <= limit) return;
  text.resize(limit);
  if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
}

}  // namespace

void SetErrorPresenter(ErrorPresenter presenter) {
  PresenterSlot& slot = Presenter();
  std::lock_guard<std::mutex> guard(slot.lock);
  slot.presenter = std::move(presenter);
}

std::u16string ComposeErrorText(const char16_t* text, int code,
                                const std::vector<std::u16string>& args) {
  if (text == nullptr) return {};
  std::u16string message = FormatTemplate(text, args);
  CutTo(message, kMaxMessageChars);
  if (code != 0) {
    message += u"\n\n";
    std::u16string system = platform::SystemErrorText(code);
    if (system.empty()) {
      system = u"Unknown error: " + platform::FromUtf8(std::to_string(code));
    }
    message += system;
    CutTo(message, kMaxMessageChars);
  }
  return message;
}

int ShowError(void* owner, const char16_t* text, int code,
              const std::vector<std::u16string>& args) {
  if (text == nullptr || text[0] == u'\0') return -1;
  const std::u16string message = ComposeErrorText(text, code, args);

  ErrorPresenter presenter;
  {
    PresenterSlot& slot = Presenter();
    std::lock_guard<std::mutex> guard(slot.lock);
    presenter = slot.presenter;
  }
  // The box is shown outside the lock: it may wait for the user a long time.
  if (presenter) return presenter(owner, message);
  std::fprintf(stderr, "%s\n", platform::ToUtf8(message).c_str());
  std::fflush(stderr);
  return kResultOk;
}

int ShowError(void* owner, int textId, int code, const std::vector<std::u16string>& args) {
  std::u16string text;
  if (!LoadString(textId, &text)) return -1;
  return ShowError(owner, text.c_str(), code, args);
}

bool RegisterString(int id, const std::u16string& text) {
  if (id < 1 || id > kMaxStringId) return false;
  StringTable& table = Strings();
  std::lock_guard<std::mutex> guard(table.lock);
  std::u16string stored = text;
  CutTo(stored, kStringTableChars - 1);
  table.texts[id] = std::move(stored);
  return true;
}

bool LoadString(int id, std::u16string* text) {
  StringTable& table = Strings();
  std::lock_guard<std::mutex> guard(table.lock);
  const auto found = table.texts.find(id);
  if (found == table.texts.end()) return false;
  *text = found->second;
  return true;
}

}  // namespace diag
