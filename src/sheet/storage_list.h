#pragma once
// Where new recordings can go, as the General page lists them, and how long
// a store can still record: "Main Memory" (the documents folder) and each
// mounted removable volume by its folder name.

#include <cstdint>
#include <functional>
#include <string>

#include <QString>
#include <QStringList>

namespace sheet {

inline constexpr char16_t kMainMemory[] = u"Main Memory";

// "Main Memory" and the card names, sorted as the storage box shows them
// (alphabetically, ignoring letter case).
QStringList StorageNames();

// Free bytes available to the user on the volume of a device path; false when
// it cannot be told. The platform's query unless a test installs another
// (an empty function restores it).
using FreeSpaceQuery = std::function<bool(const std::u16string& devicePath, uint64_t* freeBytes)>;
void SetFreeSpaceQuery(FreeSpaceQuery query);

// Free bytes of a storage entry: the documents folder for "Main Memory", the
// card's root folder for a card name; 0 when the query fails.
uint64_t StorageFreeBytes(const QString& storage);

// free ÷ byteRate seconds as "HH:MM:SS" (hours unlimited). Counted in 64
// bits, so stores of 2 GiB and more show their true time.
QString RecordingTimeText(uint64_t freeBytes, uint32_t byteRate);

}  // namespace sheet
