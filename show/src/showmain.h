#pragma once
#include <vector>
#include <windows.h>

namespace show {
// The show from start to end: load, play the six parts in step with the
// music, free. The process entry point calls it through WinMain.
int main(int argc, char** argv);
}  // namespace show

// The command line's tokens: runs of characters other than the space, each
// ended in place by overwriting the space after it with a zero.
std::vector<char*> SplitCommandLine(char* line);

// Runs body; whatever it throws is shown in the report window. Returns
// body's result, or 0 after a report.
int CallWithReport(int (*body)(int, char**), int argc, char** argv);

// Splits the command line in place at spaces, runs the show and shows the
// report window for a failure. Always returns 0.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);
