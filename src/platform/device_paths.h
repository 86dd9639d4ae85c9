#pragma once
// The handheld's backslash paths mapped onto host folders.
//   "\My Documents\..."      -> the user's documents folder
//   "\<Card>\..."            -> the mount point of the removable volume <Card>
//   "\Program Files\Quillon" -> the configuration folder ($XDG_CONFIG_HOME/quillon),
//                               which is the program's own folder here
// Tests point every root at temporary folders.

#include <optional>
#include <string>
#include <vector>

namespace platform {

inline constexpr char16_t kDocumentsRoot[] = u"\\My Documents";
inline constexpr char16_t kProgramFolder[] = u"\\Program Files\\Quillon";
inline constexpr char16_t kModuleFileName[] = u"\\Program Files\\Quillon\\Quillon.exe";

struct StorageCard {
  std::u16string name;      // folder name of the card ("Storage Card", "USBSTICK")
  std::string hostPath;     // its mount point
};

// What a storage name from the settings finds among the cards mounted now.
struct CardLookup {
  enum class Match { Found, None, Ambiguous };
  Match match = Match::None;
  std::u16string name;  // the card's whole name when found
};

class DevicePaths {
 public:
  // Host folder behind "\My Documents" (default: the user's documents folder).
  static void SetDocumentsRoot(const std::string& hostPath);
  static std::string DocumentsRoot();
  // Host folder behind the program's folder (default: $XDG_CONFIG_HOME/quillon,
  // else ~/.config/quillon).
  static void SetConfigRoot(const std::string& hostPath);
  static std::string ConfigRoot();
  // Cards: by default the mounted removable volumes; tests set their own list.
  static void SetStorageCards(std::vector<StorageCard> cards);
  static void UseSystemStorageCards();
  static bool HasTestCards();
  static std::vector<StorageCard> StorageCards();
  // Restores every root to the system default.
  static void ResetToDefaults();

  // Whether a card of this name would be taken for one of the program's own
  // places ("My Documents", "Program Files", "Main Memory"): such a volume
  // is never offered as a card, and a stored storage of that name finds none.
  static bool IsReservedCardName(std::u16string_view name);
  // The card a stored name stands for: the card of that name (letter case
  // ignored), or, for a name of `cutLength` characters or more (the settings
  // keep only so many, and a volume named by its UUID has 36), the one card
  // whose name begins with it. Two such cards are Ambiguous: never guessed.
  static CardLookup FindStorageCard(const std::u16string& stored, size_t cutLength);

  // Maps a device path to a host path; nullopt for a path outside every root.
  static std::optional<std::string> ToHost(const std::u16string& devicePath);
  // Creates the host folder behind the documents or program root of the path
  // when it is missing (a fresh machine has neither); card roots are mount
  // points and never created. False, last error set, when it cannot be made.
  static bool CreateRootFor(const std::u16string& devicePath);
  // The running program's file as a device path ("\Program Files\Quillon\Quillon.exe").
  static std::u16string ModuleFileName();
};

}  // namespace platform
