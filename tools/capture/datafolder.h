#pragma once
#include <filesystem>

// The folder the capture tool plays from when no --data is given: the working
// folder when it holds the show's data (as in the build folder), otherwise the
// data installed beside the tool (HALCYON2_DATA_FROM_BIN, relative to the
// folder of the executable), otherwise the working folder again so the show
// reports the missing file itself.
std::filesystem::path DefaultDataFolder();

// The same choice with the working folder and the executable's folder given.
std::filesystem::path ChooseDataFolder(const std::filesystem::path& working, const std::filesystem::path& exeDir);
