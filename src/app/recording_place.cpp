#include "app/recording_place.h"

#include <cerrno>
#include <cstdio>

#include "platform/file.h"
#include "platform/last_error.h"

namespace app {
namespace {

constexpr char16_t kFolderWord[] = u"Quillon";
constexpr char16_t kBaseName[] = u"Recording";

std::u16string NumberText(unsigned number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02u", number);
  return std::u16string(digits, digits + std::char_traits<char>::length(digits));
}

}  // namespace

bool ChooseRecordingPlace(const char16_t* storage, RecordingPlace* place) {
  const std::u16string name(storage != nullptr ? storage : u"");
  if (name == kMainMemory) {
    place->Folder = std::u16string(u"\\My Documents\\") + kFolderWord;
  } else {
    place->Folder = u"\\" + name + u"\\" + kFolderWord;
  }
  if (!platform::CreateDirectory(place->Folder) && platform::GetLastError() != EEXIST) return false;

  // Numbers go on past 99 with more digits; a deleted recording's number is
  // taken again. A link under a name, even one that leads nowhere, holds it:
  // the recording is never made through it.
  for (unsigned n = 0;; ++n) {
    place->Name = kBaseName + NumberText(n) + u".wav";
    place->Path = place->Folder + u"\\" + place->Name;
    if (!platform::NameTaken(place->Path)) return true;
  }
}

}  // namespace app
