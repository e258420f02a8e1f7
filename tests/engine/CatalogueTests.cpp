// SPDX-License-Identifier: GPL-3.0-or-later
// Only the catalogue (engine/Messages.cpp) spells what the engine tells the user: no other engine
// source holds a string literal with a Chinese character or full-width punctuation in it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The code point of the UTF-8 sequence at text[i], and its length.
char32_t Decode(const std::string& text, std::size_t i, std::size_t& length) {
    const auto byte = static_cast<unsigned char>(text[i]);
    length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? byte : byte & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
        point = point << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    return point;
}

// The lines of source whose string or character literals hold a character of U+3000 and above:
// CJK punctuation and ideographs, full-width forms. Comments may hold any words.
std::vector<int> LinesSpellingChinese(const std::string& source) {
    enum { Code, LineComment, BlockComment, Literal } state = Code;
    char quote = 0;
    int line = 1;
    std::vector<int> lines;
    for (std::size_t i = 0; i < source.size();) {
        const char c = source[i];
        const char next = i + 1 < source.size() ? source[i + 1] : '\0';
        std::size_t length = 1;
        switch (state) {
            case Code:
                if (c == '/' && (next == '/' || next == '*')) {
                    state = next == '/' ? LineComment : BlockComment;
                    length = 2;
                } else if (c == '"' || c == '\'') {
                    state = Literal;
                    quote = c;
                }
                break;
            case LineComment: state = c == '\n' ? Code : state; break;
            case BlockComment:
                if (c == '*' && next == '/') {
                    state = Code;
                    length = 2;
                }
                break;
            case Literal:
                if (c == '\\') {
                    length = 2;
                } else if (c == quote || c == '\n') {
                    state = Code;
                } else if (Decode(source, i, length) >= 0x3000 &&
                           (lines.empty() || lines.back() != line)) {
                    lines.push_back(line);
                }
                break;
        }
        for (std::size_t k = 0; k < length && i + k < source.size(); ++k) {
            line += source[i + k] == '\n';
        }
        i += length;
    }
    return lines;
}

}  // namespace

TEST(Boundary, no_engine_source_but_the_catalogue_spells_a_word_the_user_reads) {
    EXPECT_EQ(LinesSpellingChinese("// 文件\nconst char* a = \"ok\"; /* “ */\nauto b = \"（\";"),
              std::vector<int>{3});
    int sources = 0;
    for (const auto& entry : fs::recursive_directory_iterator(KORVEL_ENGINE_DIR)) {
        const std::string extension = entry.path().extension().string();
        if ((extension != ".cpp" && extension != ".h") ||
            entry.path().filename() == "Messages.cpp") {
            continue;
        }
        ++sources;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        for (const int line : LinesSpellingChinese(text.str())) {
            ADD_FAILURE() << entry.path().string() << ":" << line << " spells a text of its own";
        }
    }
    EXPECT_GT(sources, 20);
}
