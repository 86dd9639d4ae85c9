#pragma once
// Thread-local last error, holding errno values, and their system text.

#include <string>

namespace platform {

int GetLastError();
void SetLastError(int code);
// Sets the last error from errno and returns it.
int SetLastErrorFromErrno();

// The system's text for a code ("Cannot allocate memory"), or an empty string
// when the system has none for it.
std::u16string SystemErrorText(int code);

}  // namespace platform
