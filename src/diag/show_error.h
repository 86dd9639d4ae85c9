#pragma once
// The one way the program tells the user that something failed: its own text,
// and for a non-zero code an empty line and the system's text for the code.

#include <functional>
#include <string>
#include <vector>

namespace diag {

// Receives the composed text; returns the box's result. The program installs
// one that shows a message box on the UI thread; tests install a recorder.
using ErrorPresenter = std::function<int(void* owner, const std::u16string& text)>;
void SetErrorPresenter(ErrorPresenter presenter);

// Composes the text (inserts %1..%9 from args, then "\n\n" and the system's
// text for a non-zero code, or "Unknown error: N") and presents it.
// Returns the presenter's result, or -1 when text is null or empty.
int ShowError(void* owner, const char16_t* text, int code,
              const std::vector<std::u16string>& args = {});
// The text ShowError would present (no presenter involved).
std::u16string ComposeErrorText(const char16_t* text, int code,
                                const std::vector<std::u16string>& args = {});

}  // namespace diag
