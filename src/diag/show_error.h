#pragma once
// The one way the program tells the user that something failed: its own text,
// and for a non-zero code an empty line and the system's text for the code.

#include <functional>
#include <string>
#include <vector>

namespace diag {

// Receives the composed text; returns the box's result. The program installs
// one that shows a message box on the UI thread; tests install a recorder.
// With none installed the text goes to stderr and the result is 1 (OK).
using ErrorPresenter = std::function<int(void* owner, const std::u16string& text)>;
void SetErrorPresenter(ErrorPresenter presenter);

// The message buffer holds 4096 characters, of which at most 4094 are written;
// longer texts are cut.
inline constexpr size_t kMessageBufferChars = 4096;
inline constexpr size_t kMaxMessageChars = kMessageBufferChars - 2;
// A string-table text is loaded into 2048 characters, terminator included.
inline constexpr size_t kStringTableChars = 2048;
// The result of the OK button.
inline constexpr int kResultOk = 1;

// Composes the text (inserts %1..%9 from args, then "\n\n" and the system's
// text for a non-zero code, or "Unknown error: N") and presents it.
// Returns the presenter's result, or -1 when text is null or empty.
int ShowError(void* owner, const char16_t* text, int code,
              const std::vector<std::u16string>& args = {});
// The same with a string-table id in place of the text; -1 for an id with no
// registered text.
int ShowError(void* owner, int textId, int code, const std::vector<std::u16string>& args = {});
// The text ShowError would present (no presenter involved).
std::u16string ComposeErrorText(const char16_t* text, int code,
                                const std::vector<std::u16string>& args = {});

// The string table: ids 1..65535. Registering an id again replaces its text;
// false for an id out of range.
bool RegisterString(int id, const std::u16string& text);
// False (text untouched) when the id has no text.
bool LoadString(int id, std::u16string* text);

}  // namespace diag
