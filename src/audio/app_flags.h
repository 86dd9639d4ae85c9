#pragma once
// Program-wide flags shared without locks by the UI thread, the monitor
// thread and the audio callback thread: 32-bit values, read and written whole.

#include <atomic>
#include <cstdint>

namespace audio {

// Voice activation is switched on (listening, and recording only voice).
inline std::atomic<int32_t> VasEnabled{0};
// A recording is running (paused or not).
inline std::atomic<int32_t> RecordingActive{0};
// The screen is on; "Display Off" clears it.
inline std::atomic<int32_t> DisplayOn{1};

}  // namespace audio
