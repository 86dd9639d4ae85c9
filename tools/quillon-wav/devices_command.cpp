// quillon-wav devices: the sound devices record and play can use, one per
// line: "in" or "out", a tab, the id --device takes, a tab, the description
// the desktop shows, and for the desktop's default a tab and "*". The
// sound server's devices where one runs, PortAudio's otherwise.

#include <cstdio>

#include "cli.h"
#include "commands.h"
#include "device_cli.h"
#include "platform/wave_backend.h"

namespace quillonwav {

int RunDevices(const Args& args) {
  if (!args.empty()) return UsageError("devices takes no arguments", "devices");
  auto backend = platform::CurrentWaveBackend();
  if (!backend) return Fail("devices", "No sound device driver is present.");
  for (const bool input : {true, false}) {
    for (const platform::WaveEndpoint& e : backend->Endpoints(input)) {
      std::printf("%s\t%s\t%s%s\n", input ? "in" : "out", e.id.c_str(), e.description.c_str(),
                  e.isDefault ? "\t*" : "");
    }
  }
  return 0;
}

}  // namespace quillonwav
