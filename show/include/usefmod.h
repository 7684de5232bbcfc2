#pragma once
// The soundtrack: one MP3 stream whose play position is the show's clock.
// Every failure throws cvcore::Exception from module "usefmod".

void MusicInit();
void MusicOpen(const char* name);
void MusicPlay();
void MusicClose();
float MusicTime();  // seconds since MusicPlay succeeded
const char* FmodErrorText(int code);
