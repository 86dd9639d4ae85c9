// quillon-wav COMMAND ARGS...: looks the command up in the table below.
// A new command is one file defining Run<Name>(const Args&), declared in
// commands.h, plus one row here.

#include <cstdio>
#include <cstring>

#include "commands.h"
#include "platform/wave_route.h"

namespace {

struct Command {
  const char* Name;
  const char* Usage;
  int (*Run)(const quillonwav::Args& args);
};

const Command kCommands[] = {
    {"info", "info FILE.wav", quillonwav::RunInfo},
    {"encode", "encode --format ID IN.wav OUT.wav", quillonwav::RunEncode},
    {"encode", "encode [--format opus|flac|mp3|wav] IN.wav OUT.opus|.flac|.mp3|.wav", quillonwav::RunEncode},
    {"decode", "decode [--backward | --speed S] IN.wav OUT.raw", quillonwav::RunDecode},
    {"play", "play FILE [--quiet] [--speed S] [--device ID]", quillonwav::RunPlay},
    {"record", "record --format ID --seconds N [--vas THRESHOLD [--pre-roll MS]] [--amplify] [--device ID] OUT.wav",
     quillonwav::RunRecord},
    {"devices", "devices", quillonwav::RunDevices},
};

int Usage() {
  std::fprintf(stderr, "usage:\n");
  for (const Command& c : kCommands) std::fprintf(stderr, "  quillon-wav %s\n", c.Usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  // What the desktop's volume control shows beside the streams.
  platform::SetWaveApplication({"quillon-wav", "quillon", "quillon"});
  for (const Command& c : kCommands) {
    if (std::strcmp(argv[1], c.Name) == 0) return c.Run(quillonwav::Args(argv + 2, argv + argc));
  }
  std::fprintf(stderr, "quillon-wav: unknown command \"%s\"\n", argv[1]);
  return Usage();
}
