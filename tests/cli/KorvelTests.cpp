// SPDX-License-Identifier: GPL-3.0-or-later
// korvel as a script meets it: exit statuses, what goes to standard output and to standard
// error, the output it proposes and never replaces unasked.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Korvel.h"
#include "TestFiles.h"

using namespace testing_files;
namespace fs = std::filesystem;

namespace {

class Captured final : public korvel::Console {
  public:
    void Out(std::u16string_view text) override { out += Utf8(std::u16string(text)); }
    void Err(std::u16string_view text) override { err += Utf8(std::u16string(text)); }
    bool ErrIsTerminal() const override { return false; }
    std::string out, err;
};

struct Ran {
    int status;
    std::string out, err;
};

Ran Korvel(std::vector<std::string> words) {
    std::vector<std::u16string> arguments;
    for (const std::string& word : words) {
        arguments.push_back(U16(word));
    }
    Captured console;
    const int status = korvel::Run(arguments, console, {});
    return {status, console.out, console.err};
}

}  // namespace

TEST(Korvel, says_how_each_call_went_by_its_status_and_on_which_stream) {
    TempDir dir;
    const Bytes source = RandomBytes(2 * kMiB + 5, 140);
    WriteFile(dir / "s", source);
    const std::string s = Utf8(dir / "s");
    WriteFile(dir / "kept", {1, 2, 3});
    struct Row {
        std::vector<std::string> words;
        int status;
        const char* says;  // the start of what it writes, to stdout on 0 and stderr otherwise
    };
    for (const Row& row : std::vector<Row>{
             {{}, korvel::kUsageError, "缺少命令。"},
             {{"--help"}, korvel::kSucceeded, "用法："},
             {{"--version"}, korvel::kSucceeded, "korvel 1.0.0"},
             {{"split", s}, korvel::kUsageError, "命令或参数不对：split"},
             {{"split", s, "abc"}, korvel::kUsageError, "每份大小必须是一个数"},
             {{"split", s, "0"}, korvel::kFailed, "除数为零"},
             {{"split", s, "-1"}, korvel::kFailed, "下标越界"},
             {{"split", s, "5000"}, korvel::kFailed, "溢出：每份大小超出范围"},
             {{"--frobnicate"}, korvel::kUsageError, "没有这个选项：--frobnicate"},
             {{"split", s, "１"}, korvel::kSucceeded, "文件分割完成！！！"},
             {{"merge", s + ".FLF"}, korvel::kFailed, "合并后的文件已经存在："},
             {{"merge", s + ".FLF", Utf8(dir / "kept")}, korvel::kFailed, "合并后的文件已经存在："},
             {{"merge", "--force", s + ".001"}, korvel::kSucceeded, "文件合并完成！！！"},
             {{"verify", s + ".002"}, korvel::kSucceeded, "校验通过："},
             {{"merge", s + ".FLF", Utf8(dir / "gone" / "out")}, korvel::kFailed, "路径未找到"}}) {
        SCOPED_TRACE(row.words.empty() ? "(nothing)" : row.words.front());
        const Ran ran = Korvel(row.words);
        EXPECT_EQ(ran.status, row.status);
        const std::string& said = row.status == korvel::kSucceeded ? ran.out : ran.err;
        EXPECT_EQ(said.rfind(row.says, 0), 0u) << said;
        EXPECT_EQ(said.find('\r'), std::string::npos) << "lines end with line feeds";
        EXPECT_TRUE(said.ends_with('\n'));
    }
    EXPECT_EQ(ReadFile(dir / "s"), source) << "merged back over the source, byte for byte";
    EXPECT_EQ(ReadFile(dir / "kept"), Bytes({1, 2, 3})) << "never replaced unasked";
    Captured console;  // a name that is no text is refused, never taken as another name
    EXPECT_EQ(korvel::Run({u"merge", std::u16string(1, char16_t{0xDCED})}, console, {}),
              korvel::kUsageError);
#if !defined(_WIN32)
    EXPECT_EQ(
        std::system(
            ("cd '" + dir.path().string() + "' && sha256sum --quiet -c s.FLF.sha256").c_str()),
        0)
        << "the set korvel wrote checks with no program of ours";
#endif
    fs::remove(dir / "s.FLF.sha256");
    const Ran unchecked = Korvel({"verify", s + ".FLF"});
    EXPECT_EQ(unchecked.status, korvel::kFailed);
    EXPECT_EQ(unchecked.err.rfind("没有校验文件", 0), 0u) << unchecked.err;
}
