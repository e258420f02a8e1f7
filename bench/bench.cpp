// SPDX-License-Identifier: GPL-3.0-or-later
// Times SplitFile and MergeFile against a plain `cat` of the same file, paired in one run:
// every round runs cat, cat + fsync, SHA-256 alone, split, merge, and merge without the checksum
// list, on fresh outputs, and the table gives medians with min–max and each run's peak memory.
//
//   korvel_bench [--dir D] [--sizes 64M,2G] [--piece 128M] [--rounds 5] [--cold]
//
// Before each timed run a child process touches and frees as much memory as the run will fill:
// on a virtual machine the first touch of fresh memory is several times slower, and a run
// that needs more of it than its baseline would look slower than it is. With --cold the page
// cache is dropped before each timed run (root only, Linux only), so every read comes from the
// disk.
//
// Every timed run is a child process of its own, so that its peak memory is that of a program
// which does only this: forked on POSIX, and on Windows this program started again with
// "--child OPERATION ARGUMENTS", which reports its time and its peak working set.
#if defined(_WIN32)
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <psapi.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Module1.h"
#include "Sha256.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    fs::path dir = fs::temp_directory_path();
    std::vector<std::int64_t> sizes = {2LL << 30};
    std::int32_t piece = 128 << 20;
    int rounds = 5;
    bool cold = false;
};

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "korvel_bench: %s\n", what.c_str());
    std::exit(1);
}

std::int64_t ParseSize(const std::string& text) {
    std::size_t used = 0;
    const double value = std::stod(text, &used);
    const std::string unit = text.substr(used);
    const double scale = unit == "G" ? 1 << 30 : unit == "M" ? 1 << 20 : unit == "K" ? 1 << 10 : 1;
    return static_cast<std::int64_t>(value * scale);
}

std::string SizeText(std::int64_t bytes) {
    return bytes % (1LL << 30) == 0 ? std::to_string(bytes >> 30) + " GiB"
                                    : std::to_string(bytes >> 20) + " MiB";
}

std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// One thing the benchmark times, as a name and its arguments, so that a child process of this
// program can be told which to run:
//   touch BYTES           touch and free as much memory
//   cat FROM TO FLUSH     copy as cat does (FLUSH 1: then flush the copy to disk)
//   hash PATH             SHA-256 of the file on one core
//   split SOURCE PIECE    SplitFile
//   merge LIST OUTPUT     MergeFile
using Operation = std::vector<std::string>;

void TouchMemory(std::int64_t bytes) {
    std::vector<char> memory(static_cast<std::size_t>(bytes));
    for (std::size_t at = 0; at < memory.size(); at += 4096) {
        static_cast<volatile char*>(memory.data())[at] = 1;
    }
}

// SHA-256 of the whole file on one core, through the engine's own hash: what hashing alone
// costs.
void HashOnly(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Module1::Sha256 hash;
    std::vector<char> buffer(4 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    hash.Finish();
}

#if defined(_WIN32)

// cat's own loop: 128 KiB reads and writes, then, when asked, a flush of the copy.
void Cat(const std::string& from, const std::string& to, bool flush) {
    const HANDLE in = ::CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    const HANDLE out = ::CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
        Die("cannot copy " + from);
    }
    std::vector<char> buffer(128 << 10);
    DWORD got = 0, put = 0;
    while (::ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got > 0) {
        if (!::WriteFile(out, buffer.data(), got, &put, nullptr) || put != got) {
            Die("cannot write " + to);
        }
    }
    if (flush && !::FlushFileBuffers(out)) {
        Die("cannot flush " + to);
    }
    ::CloseHandle(in);
    ::CloseHandle(out);
}

#else

// Runs body in a child process and waits for it; the child's memory never counts as ours.
void InChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) {
        Die("cannot fork");
    }
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Die("a child process failed");
    }
}

// `cat from > to`, then fsync of the copy when asked.
void Cat(const std::string& from, const std::string& to, bool flush) {
    InChild([&] {
        const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) {
            return 1;
        }
        ::execlp("cat", "cat", from.c_str(), static_cast<char*>(nullptr));
        return 1;
    });
    if (flush) {
        const int fd = ::open(to.c_str(), O_WRONLY);
        if (fd < 0 || ::fsync(fd) != 0) {
            Die("cannot flush " + to);
        }
        ::close(fd);
    }
}

#endif

void RunOperation(const Operation& operation) {
    const std::string& name = operation.at(0);
    if (name == "touch") {
        TouchMemory(std::stoll(operation.at(1)));
    } else if (name == "cat") {
        Cat(operation.at(1), operation.at(2), operation.at(3) == "1");
    } else if (name == "hash") {
        HashOnly(operation.at(1));
    } else if (name == "split") {
        std::u16string message;
        if (!Module1::SplitFile(U16(operation.at(1)), 0, message,
                                static_cast<std::int32_t>(std::stoll(operation.at(2))))) {
            Die("split failed");
        }
    } else if (name == "merge") {
        Module1::MergeFile(U16(operation.at(1)), U16(operation.at(2)));
    } else {
        Die("unknown operation " + name);
    }
}

// The time one operation took in a child process of its own, and that process's peak memory.
struct Timed {
    double seconds;
    long peakKiB;
};

#if defined(_WIN32)

// This program's peak working set so far.
long PeakKiB() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::K32GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<long>(counters.PeakWorkingSetSize / 1024);
}

Timed TimeInChild(const Operation& operation) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --child";
    for (const std::string& argument : operation) {
        command += L" \"" + std::wstring(argument.begin(), argument.end()) + L"\"";
    }
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
        Die("cannot make a pipe");
    }
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &child)) {
        Die("cannot start a child process");
    }
    ::CloseHandle(writeEnd);
    std::string report;
    char buffer[256];
    for (DWORD got = 0; ::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0;) {
        report.append(buffer, got);
    }
    ::CloseHandle(readEnd);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD status = 1;
    ::GetExitCodeProcess(child.hProcess, &status);
    ::CloseHandle(child.hProcess);
    ::CloseHandle(child.hThread);
    Timed timed{};
    if (status != 0 ||
        std::sscanf(report.c_str(), "%lf %ld", &timed.seconds, &timed.peakKiB) != 2) {
        Die("a timed run failed");
    }
    return timed;
}

// Run as "--child OPERATION ARGUMENTS": does the one operation and reports its time and peak.
int RunAsChild(const Operation& operation) {
    const auto start = std::chrono::steady_clock::now();
    RunOperation(operation);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.6f %ld\n", elapsed.count(), PeakKiB());
    return 0;
}

void FlushAll() {}

void DropPageCache() {
    Die("--cold drops the page cache of Linux only");
}

#else

Timed TimeInChild(const Operation& operation) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        Die("cannot make a pipe");
    }
    const pid_t child = ::fork();
    if (child < 0) {
        Die("cannot fork");
    }
    if (child == 0) {
        const auto start = std::chrono::steady_clock::now();
        RunOperation(operation);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        const double seconds = elapsed.count();
        ::_exit(::write(pipeFds[1], &seconds, sizeof seconds) == sizeof seconds ? 0 : 1);
    }
    ::close(pipeFds[1]);
    Timed timed{};
    const bool got = ::read(pipeFds[0], &timed.seconds, sizeof timed.seconds) ==
                     static_cast<ssize_t>(sizeof timed.seconds);
    ::close(pipeFds[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(child, &status, 0, &usage);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Die("a timed run failed");
    }
    timed.peakKiB = usage.ru_maxrss;
    return timed;
}

void FlushAll() {
    ::sync();
}

void DropPageCache() {
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    if (!(drop << "3" << std::flush)) {
        Die("--cold needs root to drop the page cache");
    }
}

#endif

void TouchAndFree(std::int64_t bytes) {
    TimeInChild({"touch", std::to_string(bytes)});
}

// Reads a file once, so that it lies in the page cache as a recently used file would.
void ReadOnce(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
    }
}

void GenerateFile(const std::string& path, std::int64_t size) {
    std::vector<std::uint64_t> block(1 << 19);  // 4 MiB
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::int64_t done = 0; done < size;) {
        for (auto& word : block) {  // xorshift64: bytes no file system can compress
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const auto chunk = static_cast<std::size_t>(
            std::min<std::int64_t>(size - done, static_cast<std::int64_t>(block.size() * 8)));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(chunk));
        done += static_cast<std::int64_t>(chunk);
    }
    if (!out.flush()) {
        Die("cannot write " + path);
    }
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

class Bench {
  public:
    Bench(const Options& options, const fs::path& dir, std::int64_t size)
        : options_(options),
          dir_(dir),
          size_(size),
          // A file no longer than one piece is not split: small sizes get eight pieces instead.
          piece_(size > options.piece + 1
                     ? options.piece
                     : static_cast<std::int32_t>(std::max<std::int64_t>(size / 8, 1))),
          source_((dir / "source.bin").string()),
          list_(source_ + ".FLF"),
          checksums_(list_ + ".sha256"),
          output_((dir / "output.bin").string()) {}

    void Run() {
        GenerateFile(source_, size_);
        for (int round = 0; round < options_.rounds; ++round) {
            RunRound();
        }
        RemoveSet();
        fs::remove(source_);
        PrintRows();
    }

  private:
    // Brings the inputs to the state the run starts from, warms the memory it will fill,
    // and times it.
    void Time(Samples& samples, const std::vector<std::string>& inputs,
              const Operation& operation) {
        FlushAll();
        if (options_.cold) {
            DropPageCache();
        } else {
            for (const std::string& input : inputs) {
                ReadOnce(input);
            }
        }
        TouchAndFree(size_ + (64 << 20));
        const Timed timed = TimeInChild(operation);
        samples.seconds.push_back(timed.seconds);
        samples.peakKiB = std::max(samples.peakKiB, timed.peakKiB);
    }

    std::vector<std::string> SetFiles() const {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.path().string().rfind(source_ + ".", 0) == 0) {
                files.push_back(entry.path().string());
            }
        }
        return files;
    }

    void RemoveSet() const {
        for (const std::string& file : SetFiles()) {
            fs::remove(file);
        }
    }

    void Merge(Samples& samples) {
        Time(samples, SetFiles(), {"merge", list_, output_});
        if (!SameContent(source_, output_)) {
            Die("the merged file differs from the source");
        }
        fs::remove(output_);
    }

    void RunRound() {
        Time(cat_, {source_}, {"cat", source_, output_, "0"});
        fs::remove(output_);
        Time(catFlush_, {source_}, {"cat", source_, output_, "1"});
        fs::remove(output_);
        Time(hash_, {source_}, {"hash", source_});
        Time(split_, {source_}, {"split", source_, std::to_string(piece_)});
        Merge(merge_);
        const std::string aside = (dir_ / "checksums.aside").string();
        fs::rename(checksums_, aside);
        Merge(mergeUnchecked_);
        fs::rename(aside, checksums_);
        RemoveSet();  // the next round splits into fresh files
    }

    void PrintRows() const {
        const double gb = static_cast<double>(size_) / 1e9;
        auto ratio = [](const Samples& baseline, const Samples& s, bool shown) {
            return shown ? std::to_string(baseline.Median() / s.Median()).substr(0, 4) + "×"
                         : std::string();
        };
        auto row = [&](const char* name, const Samples& s, bool compared) {
            std::printf("| %-31s | %7s | %7.3f | %6.3f–%-6.3f | %5.2f | %6s | %6s | %6.1f |\n",
                        name, SizeText(size_).c_str(), s.Median(), s.Min(), s.Max(),
                        gb / s.Median(), ratio(cat_, s, compared).c_str(),
                        ratio(catFlush_, s, compared).c_str(),
                        static_cast<double>(s.peakKiB) / 1024);
        };
        row("cat", cat_, false);
        row("cat + fsync", catFlush_, false);
        row("SHA-256 alone (1 core)", hash_, false);
        row("split (hashing)", split_, true);
        row("merge (verifying, fsync)", merge_, true);
        row("merge, no checksum list (fsync)", mergeUnchecked_, true);
        std::fflush(stdout);
    }

    const Options& options_;
    fs::path dir_;
    std::int64_t size_;
    std::int32_t piece_;
    std::string source_, list_, checksums_, output_;
    Samples cat_, catFlush_, hash_, split_, merge_, mergeUnchecked_;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--cold") {
            options.cold = true;
            continue;
        }
        if (i + 1 == argc) {
            Die("option " + flag + " needs a value");
        }
        const std::string value = argv[++i];
        if (flag == "--dir") {
            options.dir = value;
        } else if (flag == "--sizes") {
            options.sizes.clear();
            for (std::size_t start = 0; start <= value.size();) {
                const std::size_t comma = std::min(value.find(',', start), value.size());
                options.sizes.push_back(ParseSize(value.substr(start, comma - start)));
                start = comma + 1;
            }
        } else if (flag == "--piece") {
            options.piece = static_cast<std::int32_t>(ParseSize(value));
        } else if (flag == "--rounds") {
            options.rounds = std::max(1, std::stoi(value));
        } else {
            Die("unknown option " + flag);
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    if (argc >= 3 && std::string(argv[1]) == "--child") {
        return RunAsChild(Operation(argv + 2, argv + argc));
    }
#endif
    const Options options = ParseOptions(argc, argv);
    const fs::path work =
        options.dir / ("korvel-bench-" + std::to_string(std::random_device{}() % 1000000));
    fs::create_directories(work);
    std::printf(
        "%s, piece size %s, %d rounds, %s page cache; a ratio is the baseline's median "
        "time ÷ the operation's\n",
        options.dir.string().c_str(), SizeText(options.piece).c_str(), options.rounds,
        options.cold ? "cold" : "warm");
    std::printf(
        "| operation | size | median s | min–max s | GB/s | vs cat | vs cat + fsync | "
        "peak MiB |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    for (const std::int64_t size : options.sizes) {
        Bench(options, work, size).Run();
    }
    fs::remove_all(work);
}
