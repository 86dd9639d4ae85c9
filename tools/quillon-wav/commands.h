#pragma once
// The commands of quillon-wav. Each takes the arguments after its name and
// returns the process exit code: 0 success, 1 a file could not be read or
// written, 2 a usage error. main.cpp lists them in its dispatch table.

#include <string>
#include <vector>

namespace quillonwav {

using Args = std::vector<std::string>;

int RunInfo(const Args& args);
int RunEncode(const Args& args);
int RunDecode(const Args& args);
int RunPlay(const Args& args);
int RunRecord(const Args& args);
int RunDevices(const Args& args);

}  // namespace quillonwav
