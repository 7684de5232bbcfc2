// halcyon2-content OUTDIR: writes OUTDIR/data.zip and OUTDIR/murikka.mp3.
// The music and the archive are made on two threads; each is deterministic on
// its own, so the files do not depend on the scheduling.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>

#include "archive/archivewriter.h"
#include "archive/archivecontents.h"
#include "music/mp3encoder.h"
#include "progress.h"
#include "music/soundtrack.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    fs::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + tmp.string());
    }
    fs::rename(tmp, path);
}

void MakeMusic(const fs::path& out) {
    content::Progress("composing the soundtrack");
    content::Soundtrack s = content::ComposeSoundtrack();
    content::Progress("encoding murikka.mp3");
    std::vector<std::uint8_t> mp3 = content::EncodeMp3(s.left, s.right);
    WriteFile(out / "murikka.mp3", mp3);
    content::Progress("murikka.mp3: " + std::to_string(mp3.size()) + " bytes");
}

void MakeArchive(const fs::path& out) {
    std::vector<content::ArchiveEntry> entries = content::MakeArchiveContents();
    fs::path tmp = out / "data.zip.tmp";
    {
        content::ArchiveWriter zip(tmp.string(), "hopla");
        for (const content::ArchiveEntry& e : entries) zip.Add(e.name, e.bytes);
        zip.Close();
    }
    fs::rename(tmp, out / "data.zip");
    content::Progress("data.zip: " + std::to_string(entries.size()) + " files, " +
                      std::to_string(fs::file_size(out / "data.zip")) + " bytes");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: halcyon2-content OUTDIR\n");
        return 2;
    }
    try {
        fs::path out = argv[1];
        fs::create_directories(out);
        auto music = std::async(std::launch::async, MakeMusic, out);
        MakeArchive(out);
        music.get();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "halcyon2-content: %s\n", e.what());
        return 1;
    }
    return 0;
}
