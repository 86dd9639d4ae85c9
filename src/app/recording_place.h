#pragma once
// Where a new recording goes: "\My Documents\Quillon" for main memory, or the
// folder "Quillon" at the root of the storage card named in the settings, and
// the lowest free name "Recording" + a number of at least two digits + ".wav".

#include <string>

namespace app {

inline constexpr char16_t kMainMemory[] = u"Main Memory";

struct RecordingPlace {
  std::u16string Folder;  // "\My Documents\Quillon"
  std::u16string Path;    // "\My Documents\Quillon\Recording03.wav"
  std::u16string Name;    // "Recording03.wav"
  // The stored storage name, cut to the record's length, begins the names of
  // more than one card: which one is meant cannot be told.
  bool AmbiguousCard = false;
};

// Creates the folder when it is missing (only its last level: a missing card
// fails) and finds the first name not taken. False, with the last error set,
// when the folder cannot be created or the card is ambiguous.
bool ChooseRecordingPlace(const char16_t* storage, RecordingPlace* place);
// Says why ChooseRecordingPlace failed, in an error box owned by `owner`.
void ShowRecordingPlaceFailure(void* owner, const RecordingPlace& place, const char16_t* storage, int error);

}  // namespace app
