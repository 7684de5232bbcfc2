#pragma once
#include <string>

// Decodes the MP3 from `from` to `to` seconds and writes the samples as
// 16-bit PCM WAV, with silence for any part of the range past the file's end.
// False with a message on failure.
bool WriteWavRange(const std::string& mp3, const std::string& wav, double from, double to, std::string& error);
