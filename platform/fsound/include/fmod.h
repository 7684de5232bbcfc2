#pragma once
// The sound library's FSOUND_* subset this program uses: MP3 streams played
// through SDL2 audio at 44100 Hz, 16 bit, with the library's names, result
// conventions and error numbers.

#define F_API
#define FSOUND_FREE (-1)

typedef struct FSOUND_STREAM FSOUND_STREAM;

// Error codes reported by FSOUND_GetError.
enum FMOD_ERRORS {
    FMOD_ERR_NONE = 0,
    FMOD_ERR_BUSY = 1,           // command not allowed after FSOUND_Init
    FMOD_ERR_UNINITIALIZED = 2,  // FSOUND_Init was not called
    FMOD_ERR_INIT = 3,           // the output device could not be opened
    FMOD_ERR_ALLOCATED = 4,
    FMOD_ERR_PLAY = 5,
    FMOD_ERR_OUTPUT_FORMAT = 6,
    FMOD_ERR_COOPERATIVELEVEL = 7,
    FMOD_ERR_CREATEBUFFER = 8,
    FMOD_ERR_FILE_NOTFOUND = 9,
    FMOD_ERR_FILE_FORMAT = 10,
    FMOD_ERR_FILE_BAD = 11,
    FMOD_ERR_MEMORY = 12,
    FMOD_ERR_VERSION = 13,
    FMOD_ERR_INVALID_MIXER = 14,
    FMOD_ERR_INVALID_PARAM = 15,
    FMOD_ERR_NO_EAX = 16,
    FMOD_ERR_NO_EAX2 = 17,
    FMOD_ERR_CHANNEL_ALLOC = 18
};

// Output types for FSOUND_SetOutput; every one plays through SDL2 audio
// except NOSOUND, which plays nothing but keeps time.
enum FSOUND_OUTPUTTYPES {
    FSOUND_OUTPUT_NOSOUND = 0,
    FSOUND_OUTPUT_WINMM = 1,
    FSOUND_OUTPUT_DSOUND = 2,
    FSOUND_OUTPUT_A3D = 3
};

// Stream modes (only the default, 0, is used).
#define FSOUND_NORMAL 0x0

signed char F_API FSOUND_SetOutput(int outputType);
signed char F_API FSOUND_SetDriver(int driver);
signed char F_API FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags);
void F_API FSOUND_Close();
int F_API FSOUND_GetError();

// Null on failure (FSOUND_GetError says why: 2 before FSOUND_Init, 9 missing
// file, 10 not an MP3).
FSOUND_STREAM* F_API FSOUND_Stream_OpenMpeg(const char* fileName, unsigned int mode);
// Returns the channel playing the stream, or -1 on failure.
int F_API FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream);
// Play position in milliseconds: 0 when play starts, from the samples the
// device has consumed (or the virtual clock while it is on); never decreases.
// Past the end of the stream it goes on at the same rate, as if silence were
// playing, so a clock read from a stream shorter than expected keeps running.
int F_API FSOUND_Stream_GetTime(FSOUND_STREAM* stream);
signed char F_API FSOUND_Stream_Close(FSOUND_STREAM* stream);
