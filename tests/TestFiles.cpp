// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestFiles.h"

#if !defined(_WIN32)
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>
#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

#include "Module1.h"
#include "Operations.h"
#include "Text.h"

namespace testing_files {

TempDir::TempDir() {
    std::random_device random;
    const std::filesystem::path parent = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        std::filesystem::path candidate =
            parent / ("korvel-test-" + std::to_string(random() % 1000000000u));
        if (std::filesystem::create_directory(candidate)) {
            std::filesystem::permissions(candidate, std::filesystem::perms::owner_all);
            path_ = std::move(candidate);
        }
    }
    if (path_.empty()) {
        throw std::runtime_error("cannot make a temporary folder");
    }
}

std::filesystem::path TempDir::operator/(const std::string& name) const {
    return path_ / PathOf(name);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::List() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(Utf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(size);
    for (auto& byte : bytes) {
        byte = static_cast<std::uint8_t>(generator());
    }
    return bytes;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void MakeSparseFile(const std::filesystem::path& path, std::int64_t length) {
    WriteFile(path, {});
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(length));
}

std::filesystem::path PathOf(const std::string& utf8) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

std::u16string U16(const std::filesystem::path& path) {
    return U16(Utf8(path));
}
std::u16string U16(const std::string& utf8) {
    return Module1::text::FromUtf8(utf8);
}
std::string Utf8(const std::u16string& text) {
    return Module1::text::ToUtf8(text);
}

Bytes Le16(std::int32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

Bytes Le32(std::int64_t value) {
    Bytes out;
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

void SplitOrFail(const std::filesystem::path& source, std::int32_t pieceSize) {
    std::u16string message;
    EXPECT_TRUE(Module1::SplitFile(U16(source), 0, message, pieceSize)) << Utf8(message);
}

std::string Opening(const std::string& description, const std::string& path) {
    return description + "：\r“" + path + "”";
}

std::string MergeError(const std::filesystem::path& list, const std::filesystem::path& output) {
    try {
        Module1::MergeFile(U16(list), U16(output));
    } catch (const Module1::EngineError& error) {
        return error.what();
    }
    ADD_FAILURE() << "merge succeeded";
    return {};
}

Failed MergeFails(const std::filesystem::path& list, const std::filesystem::path& output) {
    try {
        Module1::MergeFile(U16(list), U16(output));
    } catch (const Module1::EngineError& error) {
        return {error.failure(), error.paths()};
    }
    ADD_FAILURE() << "merge succeeded";
    return {};
}

Failed SplitFails(const std::filesystem::path& source, std::int32_t pieceSize) {
    try {
        Module1::Split(U16(source), 0, pieceSize);
    } catch (const Module1::EngineError& error) {
        return {error.failure(), error.paths()};
    }
    ADD_FAILURE() << "split succeeded";
    return {};
}

#if !defined(_WIN32)
std::string AsOrdinaryUser(const std::filesystem::path& tree,
                           const std::function<std::string()>& body) {
    if (::geteuid() != 0) {
        return body();
    }
    ::chown(tree.c_str(), kNobody, kNobody);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        ::lchown(entry.path().c_str(), kNobody, kNobody);
    }
    return AsUser(kNobody, kNobody, body);
}

std::string AsUser(unsigned uid, unsigned gid, const std::function<std::string()>& body) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        std::string result = "could not become user " + std::to_string(uid);
        const gid_t group = gid;
        if (::setgroups(1, &group) == 0 && ::setresgid(gid, gid, gid) == 0 &&
            ::setresuid(uid, uid, uid) == 0) {
            result = body();
        }
        const ssize_t written = ::write(pipeEnds[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string result;
    char buffer[4096];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        result.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the child as " << uid << " failed";
    return result;
}
#endif

}  // namespace testing_files
