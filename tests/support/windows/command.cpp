// Shell commands from the Windows test programs. The fixtures come from the
// same Debian tools as on Linux (zip, ImageMagick), so under Wine a command
// runs in the host's /bin/sh, which Wine starts for a Windows program like
// any program but hands back no process to wait for: the shell writes the
// command's exit status to a file as its last step, and that file is waited
// for. Paths the tests build from ScratchDir under TMPDIR (a host path) mean
// the same file on both sides while the current drive is Wine's Z: (the
// host's /).
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "scratchdir.h"

namespace testsupport {
namespace {

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// One argument of a Windows command line, as the C runtime and Wine split it.
std::string QuoteArgument(const std::string& text) {
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs command in the host's shell, its standard output into outPath (when
// given); returns the exit status, -1 when it could not run or took longer
// than two minutes.
int RunOnHost(const std::string& command, const std::string& outPath) {
    static int serial = 0;
    const std::string status =
        "halcyon2-command-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial) + ".status";
    const std::string script = "(" + command + ")" + (outPath.empty() ? "" : " >" + Quote(outPath)) + "; echo $? >" +
                               Quote(status + ".part") + " && mv " + Quote(status + ".part") + " " + Quote(status);
    std::string line = "/bin/sh -c " + QuoteArgument(script);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA("Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    if (process.hThread) CloseHandle(process.hThread);
    if (process.hProcess) CloseHandle(process.hProcess);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!std::filesystem::exists(status)) {
        if (std::chrono::steady_clock::now() > deadline) return -1;
        Sleep(10);
    }
    const int code = std::atoi(ReadWhole(status).c_str());
    std::error_code ignored;
    std::filesystem::remove(status, ignored);
    return code;
}

}  // namespace

int Run(const std::string& command) {
    if (!UnderWine()) return std::system(command.c_str());
    return RunOnHost(command, "");
}

std::string Output(const std::string& command) {
    if (!UnderWine()) return "";
    const ScratchDir dir;
    if (RunOnHost(command, dir / "out") < 0) return "";
    return ReadWhole(dir / "out");
}

}  // namespace testsupport
