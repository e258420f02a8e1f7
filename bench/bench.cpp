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
// cache is dropped before each timed run (root only), so every read comes from the disk.
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Module1.h"

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

void TouchAndFree(std::int64_t bytes) {
    InChild([bytes] {
        const auto length = static_cast<std::size_t>(bytes);
        void* memory =
            ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED) {
            return 1;
        }
        for (std::size_t at = 0; at < length; at += 4096) {
            static_cast<volatile char*>(memory)[at] = 1;
        }
        return 0;
    });
}

// Runs one timed operation in a child process of its own, so that its peak memory is that of
// a program which does only this, whatever the rounds before it left allocated here.
struct Timed {
    double seconds;
    long peakKiB;
};

Timed TimeInChild(const std::function<void()>& run) {
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
        run();
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

void DropPageCache() {
    ::sync();
    std::ofstream drop("/proc/sys/vm/drop_caches");
    if (!(drop << "3" << std::flush)) {
        Die("--cold needs root to drop the page cache");
    }
}

// Reads a file once, so that it lies in the page cache as a recently used file would.
void ReadOnce(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<char> buffer(1 << 20);
    while (fd >= 0 && ::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

void GenerateFile(const std::string& path, std::int64_t size) {
    std::vector<std::uint64_t> block(1 << 19);  // 4 MiB
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        Die("cannot create " + path);
    }
    for (std::int64_t done = 0; done < size;) {
        for (auto& word : block) {  // xorshift64: bytes no file system can compress
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

// SHA-256 of the whole file on one core, through pread: what hashing alone costs.
void HashOnly(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    std::vector<unsigned char> buffer(4 << 20);
    off_t at = 0;
    for (ssize_t got; (got = ::pread(fd, buffer.data(), buffer.size(), at)) > 0; at += got) {
        EVP_DigestUpdate(context, buffer.data(), static_cast<std::size_t>(got));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    EVP_DigestFinal_ex(context, digest, nullptr);
    EVP_MD_CTX_free(context);
    ::close(fd);
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
              const std::function<void()>& run) {
        ::sync();
        if (options_.cold) {
            DropPageCache();
        } else {
            for (const std::string& input : inputs) {
                ReadOnce(input);
            }
        }
        TouchAndFree(size_ + (64 << 20));
        const Timed timed = TimeInChild(run);
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
        Time(samples, SetFiles(), [&] { Module1::MergeFile(U16(list_), U16(output_)); });
        if (!SameContent(source_, output_)) {
            Die("the merged file differs from the source");
        }
        fs::remove(output_);
    }

    void RunRound() {
        Time(cat_, {source_}, [&] { Cat(source_, output_, false); });
        fs::remove(output_);
        Time(catFlush_, {source_}, [&] { Cat(source_, output_, true); });
        fs::remove(output_);
        Time(hash_, {source_}, [&] { HashOnly(source_); });
        Time(split_, {source_}, [&] {
            std::u16string message;
            if (!Module1::SplitFile(U16(source_), 0, message, piece_)) {
                Die("split failed");
            }
        });
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
    const Options options = ParseOptions(argc, argv);
    const fs::path work = options.dir / ("korvel-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::printf(
        "%s, piece size %s, %d rounds, %s page cache; a ratio is the baseline's median "
        "time ÷ the operation's\n",
        options.dir.c_str(), SizeText(options.piece).c_str(), options.rounds,
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
