// Wine's registry file format: escapes, every value form, the code page, and re-writing a key
// exactly as Wine writes it while leaving the rest of the file alone.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "runtime/text/cp1250.h"
#include "runtime/system/store/wine_registry_file.h"

using namespace vantrel::store;
using vantrel::Cp1250ToUnicode;
using vantrel::Cp1250ToUtf16;
using vantrel::UnicodeToCp1250;
using vantrel::Utf16ToCp1250;

namespace {

std::string Escaped(std::u16string_view text) {
  std::string out;
  AppendEscaped(out, text, "\"\"");
  return out;
}

TEST(StoreFormat, EscapesMatchWine) {
  struct Case {
    std::u16string text;
    std::string file;
  } cases[] = {
      {u"a\\b", "a\\\\b"},
      {u"say \"hi\"", "say \\\"hi\\\""},
      {u"\n\r\t\a\b\v\f", "\\n\\r\\t\\a\\b\\v\\f"},
      {u"\x1b", "\\e"},
      {std::u16string(u"\x01") + u"9", "\\19"},
      {std::u16string(u"\x01") + u"7", "\\0017"},
      {u"\x17dlu", "\\x17dlu"},  // next unit is no hex digit: short form
      {u"\x17d"
       u"a",
       "\\x017da"},  // next unit is a hex digit: four digits
      {u"\xfd k\x16f\x148", "\\xfd k\\x16f\\x148"},
      // A final zero is written too: names keep it (string data leaves its terminator out).
      {std::u16string(u"a\0b\0", 4), "a\\0b\\0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Escaped(c.text), c.file);
    std::string quoted = c.file + "\"";
    size_t pos = 0;
    std::u16string back;
    ASSERT_TRUE(ParseEscaped(quoted, pos, '"', back)) << c.file;
    EXPECT_EQ(back, c.text) << c.file;
    EXPECT_EQ(pos, quoted.size());
  }
  // Reading accepts what Wine accepts: unknown escapes, a lone \x, raw UTF-8.
  std::string loose = "\\q\\x-\xc5\xbe\"";
  size_t pos = 0;
  std::u16string out;
  ASSERT_TRUE(ParseEscaped(loose, pos, '"', out));
  EXPECT_EQ(out, u"qx-\x17e");
  pos = 0;
  EXPECT_FALSE(ParseEscaped("no end", pos, '"', out));
}

TEST(StoreFormat, CodePage1250MatchesTheSystemTable) {
  iconv_t cd = iconv_open("UTF-16LE", "CP1250");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "iconv has no CP1250";
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char outBuf[8];
    char* inPtr = &in;
    char* outPtr = outBuf;
    size_t inLeft = 1, outLeft = sizeof outBuf;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      continue;  // undefined in the system table; ours keeps the byte's own number
    }
    char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(outBuf[0]) |
                                          (static_cast<unsigned char>(outBuf[1]) << 8));
    EXPECT_EQ(Cp1250ToUnicode(static_cast<unsigned char>(b)), unit) << "byte " << b;
    EXPECT_EQ(UnicodeToCp1250(unit), b) << "byte " << b;
  }
  iconv_close(cd);
  EXPECT_EQ(UnicodeToCp1250(u'\x4e2d'), '?');
  EXPECT_EQ(Utf16ToCp1250(u"\x17elu\x165ou\x10dk\xfd"), "\x9elu\x9dou\xe8k\xfd");
}

// A key as Wine wrote it (taken from a fresh prefix), with a value long enough to wrap.
const char* const kWineFile =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\Classes\\\\CLSID\\\\{083863F1}\\\\Instance\\\\{1B544C20}] 1796877720\n"
    "#time=1dd8860cb7967d6\n"
    "\"CLSID\"=\"{1B544C20-FD0B-11CE-8C63-00AA0044B51E}\"\n"
    "\"FilterData\"=hex:02,00,00,00,00,00,60,00,02,00,00,00,00,00,00,00,30,70,69,33,\\\n"
    "  00,00,00,00,00,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00,30,74,79,33,00,\\\n"
    "  00,00,00,60,00,00,00,70,00,00,00,31,70,69,33,08,00,00,00,00,00,00,00,01,00,\\\n"
    "  00,00,00,00,00,00,00,00,00,00,30,74,79,33,00,00,00,00,80,00,00,00,90,00,00,\\\n"
    "  00,83,eb,36,e4,4f,52,ce,11,9f,53,00,20,af,0b,a7,70,88,eb,36,e4,4f,52,ce,11,\\\n"
    "  9f,53,00,20,af,0b,a7,70,76,69,64,73,00,00,10,00,80,00,00,aa,00,38,9b,71,00,\\\n"
    "  00,00,00,00,00,00,00,00,00,00,00,00,00,00,00\n"
    "\"FriendlyName\"=\"AVI Splitter\"\n"
    "\n"
    "[Software\\\\Tst] 1796877833\n"
    "#time=1dd88610ee17a40\n"
    "#class=\"my \\\"class\\\"\"\n"
    "\"bin\"=hex:00,ff,10\n"
    "\"dw\"=dword:ffffffff\n"
    "\"ex\"=str(2):\"%PATH%;x\"\n"
    "\"multi\"=str(7):\"a\\0b\\0\\x10f\\0\"\n"
    "\"none\"=hex(0):\n"
    "\"qw\"=hex(b):34,12,00,00,00,00,00,00\n"
    "\"short\"=hex(4):01,02\n"
    "\"unterminated\"=hex(1):61,00\n"
    "\"\\x17dlu\\x165ou\\x10dk\\xfd k\\x16f\\x148\"=\"P\\x159\\xedli\\x161 \\\"q\\\" \\\\back "
    "a1\\x17e\"\n"
    "@=\"def\"\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\Classes] 1796877712\n"
    "#time=1dd8860c6b1edfe\n"
    "#link\n"
    "\"SymbolicLinkValue\"=hex(6):5c,00,52,00\n";

TEST(StoreFormat, EveryFormReadsAndWritesBackAsWineWroteIt) {
  RegistryFile file;
  ASSERT_TRUE(file.Load(kWineFile));
  ASSERT_TRUE(file.Validate()) << file.Problem();
  // Force every key to be written from its decoded form, keeping its time.
  for (auto* path : {"Software\\Classes\\CLSID\\{083863F1}\\Instance\\{1B544C20}", "Software\\Tst",
                     "Software\\Wow6432Node\\Classes"}) {
    std::vector<std::u16string> comps;
    std::string p = path;
    size_t i = 0;
    while (i <= p.size()) {
      size_t j = p.find('\\', i);
      if (j == std::string::npos) j = p.size();
      comps.push_back(Cp1250ToUtf16(p.substr(i, j - i)));
      i = j + 1;
    }
    RegistryFile::Node* node = file.Find(comps);
    ASSERT_NE(node, nullptr) << path;
    uint64_t time = file.Content(node)->time;
    // Without their lines, values are written from what was decoded.
    for (RegValue& v : file.Modify(node, time)->values) v.srcEnd = 0;
  }
  EXPECT_EQ(file.Serialize(), kWineFile);

  RegistryFile::Node* tst = file.Find({u"software", u"TST"});
  ASSERT_NE(tst, nullptr);
  KeyContent* c = file.Content(tst);
  EXPECT_EQ(c->keyClass, u"my \"class\"");
  auto data = [&](std::u16string_view name) {
    const RegValue* v = c->Find(name);
    return v ? std::to_string(v->type) + ":" + v->data : std::string("missing");
  };
  EXPECT_EQ(data(u"BIN"), std::string("3:\x00\xff\x10", 5));
  EXPECT_EQ(data(u"dw"), "4:\xff\xff\xff\xff");
  EXPECT_EQ(data(u"multi"), std::string("7:a\0\0\0b\0\0\0\x0f\x01\0\0\0\0", 16));
  EXPECT_EQ(data(u"none"), "0:");
  EXPECT_EQ(data(u"short"), std::string("4:\x01\x02", 4));
  EXPECT_EQ(data(u"unterminated"), std::string("1:a\0", 4));
  EXPECT_EQ(data(u""), std::string("1:d\0e\0f\0\0\0", 10));
  EXPECT_EQ(data(u"\x17dlu\x165ou\x10dk\xfd k\x16f\x148").substr(0, 6),
            std::string("1:P\0\x59\x01", 6));
}

TEST(StoreFormat, ChangesTouchOnlyTheirKey) {
  RegistryFile file;
  ASSERT_TRUE(file.Load(kWineFile));
  std::string before = file.Text();
  bool created = false;
  // A new key lands where Wine would sort it, between the two others.
  RegistryFile::Node* node = file.CreatePath({u"Software", u"Sub"}, 0x1dd88610ee17a40ull, created);
  ASSERT_TRUE(created);
  KeyContent* c = file.Modify(node, 0x1dd88610ee17a40ull);
  c->values.push_back(RegValue{u"n", 4, std::string("\x01\0\0\0", 4)});
  std::string after = file.Serialize();
  std::string block =
      "[Software\\\\Sub] 1796877833\n#time=1dd88610ee17a40\n\"n\"=dword:00000001\n\n";
  size_t at = before.find("[Software\\\\Tst]");
  EXPECT_EQ(after, before.substr(0, at) + block + before.substr(at));

  // Removing the only sub-key keeps the parent, which then needs lines of its own.
  RegistryFile::Node* wow = file.Find({u"Software", u"Wow6432Node", u"Classes"});
  ASSERT_NE(wow, nullptr);
  file.RemoveTree(wow, 0x1dd88610ee17a40ull);
  std::string removed = file.Serialize();
  EXPECT_EQ(removed.find("Classes] 1796877712"), std::string::npos);
  EXPECT_NE(removed.find("\n\n[Software\\\\Wow6432Node] 1796877833\n#time=1dd88610ee17a40\n"),
            std::string::npos);
  EXPECT_NE(file.Find({u"Software", u"Wow6432Node"}), nullptr);
}

TEST(StoreFormat, UnreadableLinesAreFoundWithTheirLineNumber) {
  struct Case {
    std::string text;
    size_t line;
  } cases[] = {
      {"WINE REGISTRY Version 3\n", 1},
      {"WINE REGISTRY Version 2\n\n[A] 1\n\"v\"=dword:12345678\n\"w\"=dwurd:1\n", 5},
      {"WINE REGISTRY Version 2\n\n[A] 1\n\"v\"=\"open\n", 4},
      {"WINE REGISTRY Version 2\n\"v\"=\"no key\"\n", 2},
      {"WINE REGISTRY Version 2\n[A] 1\nstray text\n", 3},
      {"WINE REGISTRY Version 2\n[A] 1\n\"h\"=hex:00,\\\n  zz\n", 4},
      {"WINE REGISTRY Version 2\n[A\n", 2},
      {"WINE REGISTRY Version 2\n[A] 1\n[a] 2\n", 3},
      // The closing bracket of a key name is looked for on its own line only.
      {"WINE REGISTRY Version 2\n[\n\xb6]", 2},
      {"WINE REGISTRY Version 2\n[A] 1\n\n[B\n]\n[C] 1\n", 4},
      // Wine ends a line at a NUL byte.
      {std::string("WINE REGISTRY Version 2\n[A] 1\n\"v\"=\"a\0b\"\n", 40), 3},
  };
  for (const auto& c : cases) {
    RegistryFile file;
    file.Load(c.text);
    EXPECT_FALSE(file.Validate()) << c.text;
    EXPECT_EQ(file.ProblemLine(), c.line) << c.text;
  }
}

// Key names are read as Wine reads them: the whole name decoded, then split at every backslash,
// so an escaped one separates components too, and empty components (leading, repeated or
// trailing backslashes) are skipped; a key line that cannot be read is skipped with its values
// while the keys after it are read.
TEST(StoreFormat, KeyPathsSplitAsWineSplitsThem) {
  struct Case {
    std::string keyLines;
    std::vector<std::vector<std::u16string>> present, absent;
  } cases[] = {
      // \x takes up to four hex digits: "\x5cB" would be U+05CB.
      {"[Software\\\\A\\x005cB] 1\n", {{u"Software", u"A", u"B"}}, {{u"Software", u"A\\B"}}},
      {"[Software\\\\A\\x5cGo] 1\n", {{u"Software", u"A", u"Go"}}, {{u"Software", u"A\\Go"}}},
      {"[Software\\\\A\\x5cB] 1\n", {{u"Software", u"A\u05cb"}}, {{u"Software", u"A"}}},
      {"[A\\x5c\\x5c\\x005cB] 1\n", {{u"A", u"B"}}, {{u"A", u"\\B"}}},
      {"[A\\\\\\\\B\\\\] 1\n", {{u"A", u"B"}}, {}},
      {"[A\\x5c] 1\n\"v\"=dword:1\n", {{u"A"}}, {}},
      {"[A\n\"v\"=dword:1\n[B] 1\n\"v\"=dword:2\n", {{u"B"}}, {{u"A"}}},
      {"[\\\\A] 1\n[\\x005cB\\\\C] 1\n", {{u"A"}, {u"B", u"C"}}, {}},
  };
  for (const auto& c : cases) {
    RegistryFile file;
    ASSERT_TRUE(file.Load("WINE REGISTRY Version 2\n\n" + c.keyLines)) << c.keyLines;
    for (const auto& path : c.present) EXPECT_NE(file.Find(path), nullptr) << c.keyLines;
    for (const auto& path : c.absent) EXPECT_EQ(file.Find(path), nullptr) << c.keyLines;
  }
  // The value of the split key is where Wine finds it.
  RegistryFile file;
  file.Load("WINE REGISTRY Version 2\n\n[Software\\\\A\\x005cB] 1\n\"v\"=dword:00000007\n");
  RegistryFile::Node* b = file.FindJoined(u"Software\\A\\B");
  ASSERT_NE(b, nullptr);
  ASSERT_NE(file.Content(b)->Find(u"v"), nullptr);
  EXPECT_EQ(file.Content(b)->Find(u"v")->data, std::string("\x07\0\0\0", 4));
}

// A name that ends in a zero unit and the same name without it are two keys or two values (so
// Wine reads them); writing the file back must keep them two.
TEST(StoreFormat, NamesEndingInZeroStayApartFromNamesWithout) {
  const std::string text =
      "WINE REGISTRY Version 2\n\n"
      "[K] 1\n#time=1\n\"n\\0\"=\"with zero\"\n\"n\"=\"plain\"\n\n"
      "[K\\0] 1\n#time=1\n\"v\"=dword:00000001\n";
  RegistryFile file;
  ASSERT_TRUE(file.Load(text));
  ASSERT_TRUE(file.Validate()) << file.Problem();
  const std::u16string withZero(u"n\0", 2), keyWithZero(u"K\0", 2);
  for (const std::u16string& key : {std::u16string(u"K"), keyWithZero}) {
    RegistryFile::Node* node = file.FindJoined(key);
    ASSERT_NE(node, nullptr);
    file.Modify(node, 1)->values.push_back(RegValue{u"new", 4, std::string("\x02\0\0\0", 4)});
  }
  RegistryFile again;
  ASSERT_TRUE(again.Load(file.Serialize()));
  ASSERT_TRUE(again.Validate()) << again.Problem() << "\n" << again.Text();
  KeyContent* k = again.Content(again.FindJoined(u"K"));
  ASSERT_NE(k->Find(withZero), nullptr) << again.Text();
  ASSERT_NE(k->Find(u"n"), nullptr) << again.Text();
  EXPECT_EQ(k->Find(withZero)->data.size(), 20u);  // "with zero" and its terminator
  EXPECT_EQ(k->Find(u"n")->data.size(), 12u);      // "plain"
  EXPECT_NE(again.FindJoined(keyWithZero), nullptr);
}

// Value lines as Wine's loader reads them (each checked with wine64's reg.exe on a prefix): a
// dword is strtoul's reading of what follows, text after a string's closing quote is ignored,
// each run of hex digits is one byte, a value whose data cannot be read stays as REG_NONE
// without data, and blanks may stand before a line and around its '='.
TEST(StoreFormat, ValueLinesReadAsWineReadsThem) {
  const struct {
    std::string line;
    uint32_t type;
    std::string data;
    bool writable;  // Validate() accepts the file
  } cases[] = {
      {"\"v\"=dword:123456789", 4, std::string("\x89\x67\x45\x23", 4), true},
      {"\"v\"=dword:-1", 4, "\xff\xff\xff\xff", true},
      {"\"v\"=dword:ffffffffffffffffff", 4, "\xff\xff\xff\xff", true},
      {"\"v\"=dword:zz", 4, std::string(4, '\0'), true},
      {"\"v\"=dword:", 4, std::string(4, '\0'), true},
      {"\"v\"=dword:0x1f", 4, std::string("\x1f\0\0\0", 4), true},
      {"\"v\"=dword:12 zz", 4, std::string("\x12\0\0\0", 4), true},
      {"\"v\"=\"abc\" trailing", 1, std::string("a\0b\0c\0\0\0", 8), true},
      {"\"v\" = \"spaced\"", 1, std::string("s\0p\0a\0c\0e\0d\0\0\0", 14), true},
      {"\t\"v\"=\"x\"", 1, std::string("x\0\0\0", 4), true},
      {"\"v\"=hex():01,02", 0, "\x01\x02", true},
      {"\"v\"=hex:01,02,\\ ignored\n  03", 3, "\x01\x02\x03", true},
      {"\"v\"=hex:000000ff", 3, "\xff", true},
      {"\"v\"=hex:1 2 3", 3, "\x01\x02\x03", true},
      {"\"v\"=hex:123", 0, "", false},
      {"\"v\"=foo:1", 0, "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    RegistryFile file;
    ASSERT_TRUE(file.Load("WINE REGISTRY Version 2\n\n[K] 1\n" + c.line + "\n\"after\"=dword:1\n"));
    RegistryFile::Node* node = file.FindJoined(u"K");
    ASSERT_NE(node, nullptr);
    const RegValue* v = file.Content(node)->Find(u"v");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->type, c.type);
    EXPECT_EQ(v->data, c.data);
    EXPECT_NE(file.Content(node)->Find(u"after"), nullptr);
    EXPECT_EQ(file.Validate(), c.writable) << file.Problem();
  }
}

// An indented key line is a key to Wine; a name longer than Windows allows is dropped, and a
// value listed twice holds what its last line says.
TEST(StoreFormat, KeysAndValuesWineReadsAreRead) {
  const std::string tooLong(kMaxValueNameLength + 1, 'n'), longest(kMaxValueNameLength, 'n');
  const std::string text =
      "WINE REGISTRY Version 2\n\n  [Software\\\\Fmt] 1\n\"v\"=dword:1\n\n"
      "\t[Software\\\\Fmt\\\\Sub] 1\n\"" +
      tooLong + "\"=dword:2\n\"" + longest + "\"=dword:3\n\"twice\"=dword:4\n\"TWICE\"=dword:5\n";
  RegistryFile file;
  ASSERT_TRUE(file.Load(text));
  ASSERT_TRUE(file.Validate()) << file.Problem();
  RegistryFile::Node* fmt = file.FindJoined(u"Software\\Fmt");
  RegistryFile::Node* sub = file.FindJoined(u"Software\\Fmt\\Sub");
  ASSERT_NE(fmt, nullptr);
  ASSERT_NE(sub, nullptr);
  EXPECT_NE(file.Content(fmt)->Find(u"v"), nullptr);
  KeyContent* c = file.Content(sub);
  EXPECT_EQ(c->values.size(), 2u);
  EXPECT_EQ(c->Find(std::u16string(tooLong.begin(), tooLong.end())), nullptr);
  EXPECT_NE(c->Find(std::u16string(longest.begin(), longest.end())), nullptr);
  ASSERT_NE(c->Find(u"twice"), nullptr);
  EXPECT_EQ(c->Find(u"twice")->data, std::string("\x05\0\0\0", 4));
  // Untouched keys keep their lines, indentation included.
  file.Modify(fmt, 1)->Set(RegValue{u"w", 4, std::string(4, '\0')});
  std::string out = file.Serialize();
  EXPECT_NE(out.find("\t[Software\\\\Fmt\\\\Sub] 1\n"), std::string::npos) << out;
  // A rewritten key keeps the line of a name too long to read.
  file.Modify(sub, 1)->Set(RegValue{u"w", 4, std::string(4, '\0')});
  out = file.Serialize();
  EXPECT_NE(out.find("\"" + tooLong + "\"=dword:2\n"), std::string::npos);
}

// A change to one value of a key copies the lines of the others as they were, however they are
// written; values set through the index land where Wine sorts them.
TEST(StoreFormat, OneChangeKeepsTheOtherValueLines) {
  const std::string text =
      "WINE REGISTRY Version 2\n\n[K] 1\n#time=1\n\"a\" = dword:7\n\"c\"=hex:01,\\\n  "
      "02\n\"e\"=\"x\" note\n";
  RegistryFile file;
  ASSERT_TRUE(file.Load(text));
  ASSERT_TRUE(file.Validate());
  RegistryFile::Node* k = file.FindJoined(u"K");
  KeyContent* c = file.Modify(k, 1);
  c->Set(RegValue{u"b", 4, std::string("\x02\0\0\0", 4)});
  c->Set(RegValue{u"E", 1, std::string("y\0\0\0", 4)});
  EXPECT_TRUE(c->Erase(u"A"));
  EXPECT_FALSE(c->Erase(u"a"));
  const std::string out = file.Serialize();
  EXPECT_EQ(out,
            "WINE REGISTRY Version 2\n\n[K] "
            "0\n#time=000000001\n\"b\"=dword:00000002\n\"c\"=hex:01,\\\n  02\n"
            "\"e\"=\"y\"\n");
  // And again, from what the first write left.
  file.Modify(k, 1)->Set(RegValue{u"d", 4, std::string("\x04\0\0\0", 4)});
  EXPECT_EQ(file.Serialize(),
            "WINE REGISTRY Version 2\n\n[K] "
            "0\n#time=000000001\n\"b\"=dword:00000002\n\"c\"=hex:01,\\\n  02\n"
            "\"d\"=dword:00000004\n\"e\"=\"y\"\n");
}

}  // namespace
