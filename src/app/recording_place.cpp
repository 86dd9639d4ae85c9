#include "app/recording_place.h"

#include <cerrno>
#include <cstdio>

#include "diag/show_error.h"
#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "settings/settings_record.h"

namespace app {
namespace {

constexpr char16_t kFolderWord[] = u"Quillon";
constexpr char16_t kBaseName[] = u"Recording";
constexpr char16_t kAmbiguousCard[] =
    u"More than one storage card's name begins with \"%1\". Choose the card on the settings sheet.";

std::u16string NumberText(unsigned number) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02u", number);
  return std::u16string(digits, digits + std::char_traits<char>::length(digits));
}

}  // namespace

bool ChooseRecordingPlace(const char16_t* storage, RecordingPlace* place) {
  const std::u16string name(storage != nullptr ? storage : u"");
  place->AmbiguousCard = false;
  if (name == kMainMemory) {
    place->Folder = std::u16string(u"\\My Documents\\") + kFolderWord;
  } else {
    // A storage named like one of the program's own places is no card.
    if (platform::DevicePaths::IsReservedCardName(name)) {
      platform::SetLastError(ENODEV);
      return false;
    }
    // A card's whole name may be longer than the settings keep of it.
    const platform::CardLookup card =
        platform::DevicePaths::FindStorageCard(name, static_cast<size_t>(settings::kStorageChars - 1));
    if (card.match == platform::CardLookup::Match::Ambiguous) {
      place->AmbiguousCard = true;
      platform::SetLastError(0);
      return false;
    }
    place->Folder = u"\\" + (card.match == platform::CardLookup::Match::Found ? card.name : name) + u"\\" + kFolderWord;
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

void ShowRecordingPlaceFailure(void* owner, const RecordingPlace& place, const char16_t* storage, int error) {
  if (place.AmbiguousCard) {
    diag::ShowError(owner, kAmbiguousCard, 0, {std::u16string(storage != nullptr ? storage : u"")});
  } else {
    diag::ShowError(owner, u"CreateDirectory(): failed", error);
  }
}

}  // namespace app
