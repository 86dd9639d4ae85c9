#pragma once
// How many of the General page's recording formats the input device takes.

namespace sheet {

// Counts, without opening anything: 8 kHz 8-bit and 16-bit PCM when the
// device answers a format query for them, the 11 and 22 kHz mono formats it
// reports as capabilities, and GSM 6.10, which is asked even when the
// capability query fails. 0..7.
int CountInputFormats();

}  // namespace sheet
