#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/line_cutter.h"

namespace velmora {
namespace {

// Feeds `pieces` one after another as separate receipts; returns the line and what each
// piece left over after the line ended.
std::pair<std::string, std::string> cut(std::string_view delimiter, std::size_t max_line,
                                        const std::vector<std::string>& pieces) {
  LineCutter cutter(delimiter, max_line);
  std::string rest;
  for (const std::string& piece : pieces) {
    std::size_t taken = cutter.feed(piece);
    rest += piece.substr(taken);
  }
  return {cutter.line(), rest};
}

TEST(LineCutter, FindsTheDelimiterWhereverTheReceiptsSplitIt) {
  const std::string text = "PING :x\r\nNEXT";
  for (std::size_t split = 0; split <= text.size(); ++split) {
    auto [line, rest] = cut("\r\n", 100, {text.substr(0, split), text.substr(split)});
    EXPECT_EQ(line, "PING :x\r\n") << "split at " << split;
    EXPECT_EQ(rest, "NEXT") << "split at " << split;
  }
}

TEST(LineCutter, Cases) {
  struct Case {
    const char* name;
    std::string delimiter;
    std::size_t max_line;
    std::vector<std::string> pieces;
    std::string line;
    std::string rest;
  };
  const Case cases[] = {
      {"single byte delimiter", "\n", 100, {"a\nb\n"}, "a\n", "b\n"},
      {"three byte delimiter over three pieces", "<#>", 100, {"ab<", "#", ">c"}, "ab<#>", "c"},
      {"false start of delimiter", "\r\n", 100, {"a\r", "b\r\n"}, "a\rb\r\n", ""},
      {"delimiter only", "\r\n", 100, {"\r\n"}, "\r\n", ""},
      {"no delimiter yet", "\r\n", 100, {"abc"}, "abc", ""},
      {"exactly the longest line", "\n", 4, {"abcd\nz"}, "abcd\n", "z"},
      {"one byte over", "\n", 4, {"abcde\nz"}, "abcd\n", "z"},
      {"long line over many pieces", "\r\n", 3, {"abcd", "efg\r", "\nrest"}, "abc\r\n", "rest"},
      {"delimiter split after the cut", "\r\n", 3, {"abcdef\r", "\n"}, "abc\r\n", ""},
      {"unterminated long line", "\n", 3, {"abcdef"}, "abc", ""},
  };
  for (const Case& c : cases) {
    auto [line, rest] = cut(c.delimiter, c.max_line, c.pieces);
    EXPECT_EQ(line, c.line) << c.name;
    EXPECT_EQ(rest, c.rest) << c.name;
  }
}

TEST(LineCutter, KeepsNoMoreThanTheLongestLine) {
  LineCutter cutter("\r\n", 64);
  std::string block(1 << 20, 'x');
  for (int i = 0; i < 10; ++i) EXPECT_EQ(cutter.feed(block), block.size());
  EXPECT_FALSE(cutter.complete());
  EXPECT_EQ(cutter.feed("\r\nnext"), 2u);
  EXPECT_EQ(cutter.line(), std::string(64, 'x') + "\r\n");
  EXPECT_EQ(cutter.feed("more"), 0u);  // complete: takes nothing further
}

}  // namespace
}  // namespace velmora
