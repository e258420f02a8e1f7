// Measures split and merge against the fastest single-stream copy of the same file, on the
// same disk, in the same run: copy, split, merge, copy, split, merge, ... and reports medians.
//
//   korvel_bench [--dir D] [--sizes 64M,512M,2G,4G] [--piece 128M] [--rounds 5]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Module1.h"

namespace fs = std::filesystem;

namespace {

std::int64_t ParseSize(const std::string& text) {
    std::size_t used = 0;
    const double value = std::stod(text, &used);
    const std::string unit = text.substr(used);
    const double scale = unit == "G" ? 1 << 30 : unit == "M" ? 1 << 20 : unit == "K" ? 1 << 10 : 1;
    return static_cast<std::int64_t>(value * scale);
}

std::string SizeText(std::int64_t bytes) {
    if (bytes % (1LL << 30) == 0) {
        return std::to_string(bytes >> 30) + " GiB";
    }
    return std::to_string(bytes >> 20) + " MiB";
}

std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "korvel_bench: %s\n", what.c_str());
    std::exit(1);
}

// Peak resident memory since the last reset, in KiB (Linux keeps it per process).
long PeakRssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

void ResetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void GenerateFile(const std::string& path, std::int64_t size) {
    std::vector<std::uint64_t> block(1 << 19);  // 4 MiB
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        Die("cannot create " + path);
    }
    for (std::int64_t done = 0; done < size;) {
        for (auto& word : block) {  // xorshift64
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(size - done, static_cast<std::int64_t>(block.size() * 8)));
        if (::write(fd, block.data(), chunk) != static_cast<ssize_t>(chunk)) {
            Die("cannot write " + path);
        }
        done += static_cast<std::int64_t>(chunk);
    }
    ::close(fd);
}

// Brings a file into the page cache, as a user's recently written file would be.
void ReadOnce(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buffer(1 << 20);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

void CopyFile(const std::string& from, const std::string& to, bool flush) {
    const int in = ::open(from.c_str(), O_RDONLY);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (in < 0 || out < 0) {
        Die("copy cannot open its files");
    }
    while (::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0) > 0) {
    }
    if (flush) {
        ::fsync(out);
    }
    ::close(in);
    ::close(out);
}

bool SameContent(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> bx(1 << 20), by(1 << 20);
    while (x && y) {
        x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
        y.read(by.data(), static_cast<std::streamsize>(by.size()));
        if (x.gcount() != y.gcount() || std::memcmp(bx.data(), by.data(), x.gcount()) != 0) {
            return false;
        }
    }
    return x.eof() && y.eof();
}

struct Samples {
    std::vector<double> seconds;
    long peakKiB = 0;

    double Median() const {
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        const std::size_t n = sorted.size();
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double Min() const { return *std::min_element(seconds.begin(), seconds.end()); }
    double Max() const { return *std::max_element(seconds.begin(), seconds.end()); }
};

template <typename F>
void Time(Samples& samples, F run) {
    ResetPeakRss();
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    samples.seconds.push_back(elapsed.count());
    samples.peakKiB = std::max(samples.peakKiB, PeakRssKiB());
}

void RemoveSet(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename() != "source.bin") {
            fs::remove(entry.path());
        }
    }
}

void BenchOneSize(const fs::path& dir, std::int64_t size, std::int32_t requestedPiece, int rounds) {
    // A file no longer than one piece is not split: small sizes get eight pieces instead.
    const std::int32_t piece = size > requestedPiece + 1
                                   ? requestedPiece
                                   : static_cast<std::int32_t>(std::max<std::int64_t>(size / 8, 1));
    const std::string source = (dir / "source.bin").string();
    GenerateFile(source, size);
    const std::string list = source + ".FLF";
    const std::string copy = (dir / "copy.bin").string();
    const std::string merged = (dir / "merged.bin").string();
    Samples copySamples, copyFlushSamples, splitSamples, mergeSamples;
    Samples firstSplit;

    for (int round = 0; round <= rounds; ++round) {  // round 0 is the first run after a pause
        RemoveSet(dir);
        ::sync();
        ReadOnce(source);
        Time(copySamples, [&] { CopyFile(source, copy, false); });
        fs::remove(copy);
        ::sync();
        ReadOnce(source);
        Samples& splitTarget = round == 0 ? firstSplit : splitSamples;
        Time(splitTarget, [&] {
            std::u16string message;
            if (!Module1::SplitFile(U16(source), 0, message, piece)) {
                Die("split failed: " + std::string(message.begin(), message.end()));
            }
        });
        ::sync();
        ReadOnce(source);
        Time(copyFlushSamples, [&] { CopyFile(source, copy, true); });
        fs::remove(copy);
        ::sync();
        for (const auto& entry : fs::directory_iterator(dir)) {
            if (entry.path().string().rfind(source + ".", 0) == 0) {
                ReadOnce(entry.path().string());
            }
        }
        Time(mergeSamples, [&] { Module1::MergeFile(U16(list), U16(merged)); });
        if (round == 0 && !SameContent(source, merged)) {
            Die("the merged file differs from the source");
        }
        fs::remove(merged);
        if (round == 0) {  // keep the warm figures apart from the first, cold round
            copySamples = {};
            copyFlushSamples = {};
            mergeSamples = {};
        }
    }
    RemoveSet(dir);
    fs::remove(source);

    const double gb = static_cast<double>(size) / 1e9;
    auto row = [&](const char* name, const Samples& s, const Samples& baseline) {
        std::printf("| %-22s | %7s | %7s | %7.3f | %6.3f–%-6.3f | %5.2f | %5.2f | %6.1f |\n", name,
                    SizeText(size).c_str(), SizeText(piece).c_str(), s.Median(), s.Min(), s.Max(),
                    gb / s.Median(), baseline.Median() / s.Median(),
                    static_cast<double>(s.peakKiB) / 1024);
    };
    row("copy (copy_file_range)", copySamples, copySamples);
    row("copy + fsync", copyFlushSamples, copyFlushSamples);
    row("split", splitSamples, copySamples);
    row("merge (incl. fsync)", mergeSamples, copyFlushSamples);
    std::printf("| %-22s | %7s | %7s | %7.3f | first round, kept out of the split median |\n",
                "split, first round", SizeText(size).c_str(), SizeText(piece).c_str(),
                firstSplit.Median());
}

}  // namespace

int main(int argc, char** argv) {
    fs::path dir = fs::temp_directory_path();
    std::vector<std::int64_t> sizes = {2LL << 30};
    std::int32_t piece = 128 << 20;
    int rounds = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string flag = argv[i], value = argv[i + 1];
        if (flag == "--dir") {
            dir = value;
        } else if (flag == "--sizes") {
            sizes.clear();
            for (std::size_t start = 0; start <= value.size();) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                sizes.push_back(ParseSize(value.substr(start, comma - start)));
                start = comma + 1;
            }
        } else if (flag == "--piece") {
            piece = static_cast<std::int32_t>(ParseSize(value));
        } else if (flag == "--rounds") {
            rounds = std::max(1, std::stoi(value));
        } else {
            Die("unknown option " + flag);
        }
    }
    const fs::path work = dir / ("korvel-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::printf("piece size %s, %d warm rounds, medians; ratio = baseline time / operation time\n",
                SizeText(piece).c_str(), rounds);
    std::printf("| operation | size | piece | median s | min–max s | GB/s | ratio | peak MiB |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const std::int64_t size : sizes) {
        BenchOneSize(work, size, piece, rounds);
        std::fflush(stdout);
    }
    fs::remove_all(work);
}
