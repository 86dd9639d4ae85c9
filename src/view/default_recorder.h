#pragma once
// Making the program the one that the hardware Record button starts: the
// shell's launch entry for that key holds the command to run.

#include <string>

namespace view {

inline constexpr char16_t kRecordButtonKey[] = u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5";
// The platform's own command for the Record button, restored when switched off.
inline constexpr char16_t kPlatformRecorderCommand[] = u"\"\\Windows\\AppButtons\\Record.lnk\" -b";

// The program's own full path between double quotes.
std::u16string QuotedProgramPath();
// Writes the launch entry; false when the store cannot be written.
bool SetDefaultRecorder(bool on);
// Why the last SetDefaultRecorder failed (errno), 0 when it succeeded or was
// never called: the program says so at exit.
int DefaultRecorderSaveError();
// True when the launch entry names this program.
bool IsDefaultRecorder();

}  // namespace view
