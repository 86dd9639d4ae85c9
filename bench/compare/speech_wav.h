#pragma once
// One speech-like WAV file for the benchmarks: 8000 Hz 16-bit mono, phrases
// of 4 to 12 syllables at about 5 a second with a falling pitch, each
// syllable a vowel (glottal pulses through three formants) after a short
// noise consonant, and pauses between phrases with room noise. The same
// seed every time, so every run codes the same audio.

#include <string>

namespace bench {

// False when the file cannot be written.
bool WriteSpeech(const std::string& path, int seconds);

}  // namespace bench
