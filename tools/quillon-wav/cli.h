#pragma once
// What every command shares: host paths for the engine, one-line errors and
// opening a WAV file for reading.

#include <string>

#include "audio/wave_file_stream.h"

namespace quillonwav {

// An ordinary file name as the engine's host path (absolute, "/..." form).
std::u16string EnginePath(const std::string& name);

// "quillon-wav: NAME: MESSAGE" on standard error; returns 1.
int Fail(const std::string& name, const std::string& message);
// The same with the last error's system text ("No such file or directory").
int FailWithLastError(const std::string& name);
// "quillon-wav: MESSAGE" and the command's usage; returns 2.
int UsageError(const std::string& message, const char* usage);

// Opens name for reading; on failure prints "Wrong file format." for a
// rejected header, else the system's text, and returns false.
bool OpenForReading(audio::WaveFileStream& stream, const std::string& name);

// Whole seconds as the program shows them: "HH:MM:SS".
std::string FormatSeconds(uint32_t seconds);

}  // namespace quillonwav
