#include "OnStack.h"

#include "buffers/BufferFixed.h"
#include "buffers/BufferHeap.h"
#include "buffers/BufferToken.h"
#include "runtime/DateTime.h"
#include "runtime/ReturnCode.h"
#include "runtime/StringAscii.h"
#include "runtime/StringUnicode.h"
#include "runtime/Version.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <initializer_list>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBinary = KTX_BufferToken::c_u32EncodingBinary;
constexpr uint32_t kText = KTX_BufferToken::c_u32EncodingText;

// Rows a configuration would add; here one per value type so every type can be
// carried through both encodings.
enum : uint32_t {
  kDescription = 7,
  kLocalPort = 43,
  kTestH8 = 100,
  kTestSz8,
  kTestU16,
  kTestSz16,
  kTestI32,
  kTestU32,
  kTestI8,
  kTestNone,
};
const KTX_BufferTokenKeyword kExtension[] = {
    {kDescription, KTX_BTT_SZ16, "Description"},
    {kLocalPort, KTX_BTT_U16, "LocalPort"},
    {kTestH8, KTX_BTT_H8, "TestH8"},
    {kTestSz8, KTX_BTT_SZ8, "TestSZ8"},
    {kTestU16, KTX_BTT_U16, "TestU16"},
    {kTestSz16, KTX_BTT_SZ16, "TestSZ16"},
    {kTestI32, KTX_BTT_I32, "TestI32"},
    {kTestU32, KTX_BTT_U32, "TestU32"},
    {kTestI8, KTX_BTT_I8, "TestI8"},
    {kTestNone, KTX_BTT_NONE, "TestNone"},
    {0, KTX_BTT_NONE, "Unknown"},
};

class BufferTokenTest : public ::testing::Test {
protected:
  void SetUp() override { KTX_BufferToken::SetKeywordExtension(kExtension); }
  void TearDown() override { KTX_BufferToken::SetKeywordExtension(nullptr); }
};

KTX_Version ProgramVersion() { return KTX_Version(1, 9, 0, "b", KTX_DateTime(2017, 8, 10, 21, 9, 14)); }

Bytes Contents(KTX_BufferHeap &heap) {
  const uint8_t *p = heap.GetData();
  return p == nullptr ? Bytes{} : Bytes(p, p + heap.GetSize());
}

std::string Text(KTX_BufferHeap &heap) {
  const Bytes b = Contents(heap);
  return std::string(b.begin(), b.end());
}

Bytes Value(const KTX_BufferToken &t) { return Bytes(t.GetValue(), t.GetValue() + t.GetLength()); }

void Fill(KTX_BufferHeap &heap, const std::string &s) {
  uint32_t n = static_cast<uint32_t>(s.size());
  ASSERT_EQ(heap.Write(reinterpret_cast<const uint8_t *>(s.data()), &n), KTX_RC_OK);
}

// A token object whose read encoding is set by reading a header written in p_u32Encoding.
struct Reader {
  OnStack<KTX_BufferHeap> heap;
  OnStack<KTX_BufferToken> token;
  explicit Reader(uint32_t encoding, const std::string &body = "") {
    OnStack<KTX_BufferToken> writer;
    writer.SetWriteEncoding(encoding);
    EXPECT_EQ(writer.WriteHeader(&heap, ProgramVersion(), KTX_DateTime(2020, 1, 2, 3, 4, 5)), KTX_RC_OK);
    EXPECT_EQ(token.ReadHeader(&heap), KTX_RC_OK);
    if (!body.empty()) {
      Fill(heap, body);
    }
  }
};

TEST_F(BufferTokenTest, HeadersAreExactBytes) {
  EXPECT_EQ(std::strlen(KTX_BufferToken::c_szBinaryHeader), 33u);
  EXPECT_EQ(std::strlen(KTX_BufferToken::c_szTextHeader), 33u);

  OnStack<KTX_BufferHeap> binary;
  OnStack<KTX_BufferToken> t;
  ASSERT_EQ(t.WriteHeader(&binary, ProgramVersion(), KTX_DateTime(2020, 1, 2, 3, 4, 5)), KTX_RC_OK);
  std::string expected = "Tarnvel, Inc. Binary Token File..";
  const uint8_t version[] = {0x04, 16, 1, 9, 0, 0, 0, 0, 0, 'b', 0x07, 0xE1, 8, 10, 21, 9, 14, 0};
  expected.append(reinterpret_cast<const char *>(version), sizeof version);
  expected += std::string("\x05\x13") + "2017 08 10 21:09:14";
  expected += std::string("\x06\x13") + "2020 01 02 03:04:05";
  EXPECT_EQ(Text(binary), expected);

  OnStack<KTX_BufferHeap> text;
  t.SetWriteEncoding(kText);
  ASSERT_EQ(t.WriteHeader(&text, ProgramVersion(), KTX_DateTime(2020, 1, 2, 3, 4, 5)), KTX_RC_OK);
  EXPECT_EQ(Text(text), "Tarnvel, Inc. Ascii Token File.\r\n"
                        "VersionNumber [VER] 1.9.0.b   2017 08 10 21:09:14        \r\n"
                        "VersionDate [DATE] 2017 08 10 21:09:14\r\n"
                        "FileDate [DATE] 2020 01 02 03:04:05\r\n");

  for (KTX_BufferHeap *heap : {static_cast<KTX_BufferHeap *>(&binary), static_cast<KTX_BufferHeap *>(&text)}) {
    OnStack<KTX_BufferToken> r;
    ASSERT_EQ(r.ReadHeader(heap), KTX_RC_OK);
    EXPECT_EQ(r.GetReadEncoding(), heap == &binary ? kBinary : kText);
    KTX_DateTime date;
    ASSERT_EQ(r.GetDate(&date), KTX_RC_OK);
    EXPECT_EQ(date, KTX_DateTime(2020, 1, 2, 3, 4, 5));
  }
}

TEST_F(BufferTokenTest, BadHeadersAreRefused) {
  const std::string tokens = std::string("\x04\x10") + std::string(16, '\0') + "\x05\x13" + "2017 08 10 21:09:14" +
                             "\x06\x13" + "2020 01 02 03:04:05";
  const std::string binary = KTX_BufferToken::c_szBinaryHeader;
  struct Case {
    const char *what;
    std::string bytes;
    int32_t result;
  } cases[] = {
      {"garbage", std::string(33, 'x') + tokens, KTX_RC_OPERATION_FAILED},
      {"one byte off", "Tarnvel, Inc. Binary Token File.!" + tokens, KTX_RC_OPERATION_FAILED},
      {"text header without CR", std::string("Tarnvel, Inc. Ascii Token File.\n\n"), KTX_RC_OPERATION_FAILED},
      {"shorter than a header", "Tarnvel, Inc.", KTX_RC_OPERATION_FAILED},
      {"nothing at all", "", KTX_RC_BUFFER_EMPTY},
      {"header tokens out of order", binary + std::string("\x05\x00\x04\x00\x06\x00", 6), KTX_RC_OPERATION_FAILED},
      {"header tokens missing", binary + std::string("\x04\x00", 2), KTX_RC_BUFFER_EMPTY},
      {"header token cut short", binary + std::string("\x04\x10\x01", 3), KTX_RC_OPERATION_FAILED},
      {"text header, binary tokens", std::string(KTX_BufferToken::c_szTextHeader) + tokens,
       KTX_RC_BUFFER_GENERIC_ERROR},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    if (!c.bytes.empty()) {
      Fill(heap, c.bytes);
    }
    OnStack<KTX_BufferToken> t;
    EXPECT_EQ(t.ReadHeader(&heap), c.result) << c.what;
    EXPECT_EQ(t.GetReadEncoding(), KTX_BufferToken::c_u32EncodingUnknown) << c.what;
    EXPECT_EQ(t.ReadToken(&heap), KTX_RC_INTERNAL_ERROR) << c.what << ": no tokens without a header";
  }
}

TEST_F(BufferTokenTest, HeaderWriteReportsFailuresAndUnknownEncodings) {
  uint8_t room[40];
  OnStack<KTX_BufferFixed> small(room, sizeof room);
  OnStack<KTX_BufferToken> t;
  EXPECT_EQ(t.WriteHeader(&small, ProgramVersion(), KTX_DateTime()), KTX_RC_BUFFER_OVERFLOW);

  OnStack<KTX_BufferHeap> heap;
  t.SetWriteEncoding(3);
  EXPECT_EQ(t.WriteHeader(&heap, ProgramVersion(), KTX_DateTime()), KTX_RC_INTERNAL_ERROR);
  EXPECT_EQ(t.SetEmpty(KTX_BTID_END).WriteToken(&heap), KTX_RC_INTERNAL_ERROR);
  EXPECT_EQ(heap.GetSize(), 0u);
}

TEST_F(BufferTokenTest, BinaryLayouts) {
  struct Case {
    const char *what;
    void (*set)(KTX_BufferToken &);
    Bytes bytes;
  } cases[] = {
      {"End", [](KTX_BufferToken &t) { t.SetEmpty(KTX_BTID_END); }, {0x02, 0x00}},
      {"Begin 5 0", [](KTX_BufferToken &t) { t.SetIdValue(KTX_BTID_BEGIN, 5, 0); }, {0x01, 0x02, 0x05, 0x00}},
      {"Begin 3 300", [](KTX_BufferToken &t) { t.SetIdValue(KTX_BTID_BEGIN, 3, 300); },
       {0x01, 0x04, 0x00, 0x03, 0x01, 0x2C}},
      {"U16", [](KTX_BufferToken &t) { t.SetUint16(kLocalPort, 5150); }, {43, 0x02, 0x14, 0x1E}},
      {"U32 array", [](KTX_BufferToken &t) {
         const uint32_t v[] = {1, 0xFFFFFFFE};
         t.SetUint32Array(300, 2, v);
       },
       {0xFC, 0x01, 0x2C, 0x08, 0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFE}},
      {"id 44", [](KTX_BufferToken &t) { t.SetUint8(44, 9); }, {44, 0x01, 0x09}},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    OnStack<KTX_BufferToken> t;
    c.set(t);
    ASSERT_EQ(t.WriteToken(&heap), KTX_RC_OK) << c.what;
    EXPECT_EQ(Contents(heap), c.bytes) << c.what;
  }
}

TEST_F(BufferTokenTest, IdValuesTakeTheSmallestCommonWidth) {
  struct Case {
    uint32_t type;
    uint32_t index;
    uint32_t length;
  } cases[] = {{1, 0, 2},          {255, 255, 2},        {3, 300, 4},     {0xFFFF, 1, 4},
               {4, 0x10000, 6},    {0xFFFFFF, 0, 6},     {8, 0x1000000, 8}, {0xFFFFFFFF, 0xFFFFFFFF, 8}};
  for (const Case &c : cases) {
    for (uint32_t encoding : {kBinary, kText}) {
      // Only the named configuration types have a text form.
      if (encoding == kText && KTX_BufferToken::GetConfigTypeName(c.type) == nullptr) {
        continue;
      }
      Reader r(encoding);
      OnStack<KTX_BufferToken> w;
      w.SetWriteEncoding(encoding);
      ASSERT_EQ(w.SetIdValue(KTX_BTID_BEGIN, c.type, c.index).WriteToken(&r.heap), KTX_RC_OK);
      EXPECT_EQ(w.GetLength(), c.length) << c.type << "/" << c.index;
      ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
      uint32_t id = 0, type = 0, index = 0;
      ASSERT_EQ(r.token.GetIdValue(&id, &type, &index), KTX_RC_OK);
      EXPECT_EQ(id, KTX_BTID_BEGIN);
      EXPECT_EQ(type, c.type) << encoding;
      EXPECT_EQ(index, c.index) << encoding;
      EXPECT_EQ(r.token.GetLength(), c.length) << encoding;
    }
  }
}

TEST_F(BufferTokenTest, EveryValueTypeRoundTripsInBothEncodings) {
  OnStack<KTX_StringAscii> ascii("  lead, inner  and trail ");
  OnStack<KTX_StringUnicode> wide;
  for (uint16_t u : {uint16_t('A'), uint16_t('\\'), uint16_t('B'), uint16_t(0xE9), uint16_t(1), uint16_t(0xFFFF),
                     uint16_t(' '), uint16_t('~'), uint16_t(0x7F), uint16_t(0)}) {
    wide.AppendChar(u);
  }
  const KTX_DateTime badMonth(2017, 13, 1, 0, 0, 0);
  const uint32_t i32s[] = {0, 1, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu};
  const uint32_t u32s[] = {0, 4294967295u, 5150};
  const uint8_t u8s[] = {0, 7, 128, 255};
  struct Case {
    const char *what;
    std::function<void(KTX_BufferToken &)> set;
  } cases[] = {
      {"[]", [](KTX_BufferToken &t) { t.SetEmpty(KTX_BTID_END); }},
      {"[] of a test row", [](KTX_BufferToken &t) { t.SetEmpty(kTestNone); }},
      {"U8", [&](KTX_BufferToken &t) { t.SetBytes(KTX_BTID_COMMENT, sizeof u8s, u8s); }},
      {"U8 single", [](KTX_BufferToken &t) { t.SetUint8(KTX_BTID_COMMENT, 200); }},
      {"H8", [&](KTX_BufferToken &t) { t.SetBytes(kTestH8, sizeof u8s, u8s); }},
      {"SZ8", [&](KTX_BufferToken &t) { t.SetStringAscii(kTestSz8, &ascii); }},
      {"SZ8 empty", [](KTX_BufferToken &t) { t.SetStringAscii(kTestSz8, nullptr); }},
      {"U16", [](KTX_BufferToken &t) { t.SetUint16(kTestU16, 65535); }},
      {"SZ16", [&](KTX_BufferToken &t) { t.SetStringUnicode(kTestSz16, &wide); }},
      {"I32", [&](KTX_BufferToken &t) { t.SetUint32Array(kTestI32, 5, i32s); }},
      {"U32", [&](KTX_BufferToken &t) { t.SetUint32Array(kTestU32, 3, u32s); }},
      {"DATE", [](KTX_BufferToken &t) { t.SetDate(KTX_BTID_FILE_DATE, KTX_DateTime(2016, 2, 29, 23, 59, 30)); }},
      {"DATE zero", [](KTX_BufferToken &t) { t.SetDate(KTX_BTID_FILE_DATE, KTX_DateTime()); }},
      {"DATE month 13", [&](KTX_BufferToken &t) { t.SetDate(KTX_BTID_VERSION_DATE, badMonth); }},
      {"VER", [](KTX_BufferToken &t) { t.SetVersion(KTX_BTID_VERSION_NUMBER, ProgramVersion()); }},
      {"VER three letters",
       [](KTX_BufferToken &t) {
         t.SetVersion(KTX_BTID_VERSION_NUMBER, KTX_Version(255, 0, 999, "rcX", KTX_DateTime(1999, 12, 31, 0, 0, 1)));
       }},
      {"ID", [](KTX_BufferToken &t) { t.SetIdValue(KTX_BTID_BEGIN, 8, 3); }},
  };
  for (uint32_t encoding : {kBinary, kText}) {
    Reader r(encoding);
    std::vector<std::pair<uint32_t, Bytes>> written;
    OnStack<KTX_BufferToken> w;
    w.SetWriteEncoding(encoding);
    for (const Case &c : cases) {
      c.set(w);
      ASSERT_EQ(w.WriteToken(&r.heap), KTX_RC_OK) << c.what << " in " << encoding;
      uint32_t id = 0;
      w.GetId(&id);
      Bytes value = Value(w);
      // The text form shows a release letter 0 as a blank and reads it back as one.
      if (encoding == kText && id == KTX_BTID_VERSION_NUMBER) {
        for (size_t k = 5; k < 8; ++k) {
          value[k] = value[k] == 0 ? ' ' : value[k];
        }
      }
      written.emplace_back(id, value);
    }
    for (size_t i = 0; i < written.size(); ++i) {
      ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK) << cases[i].what << " in " << encoding;
      uint32_t id = 0;
      r.token.GetId(&id);
      EXPECT_EQ(id, written[i].first) << cases[i].what << " in " << encoding;
      EXPECT_EQ(Value(r.token), written[i].second) << cases[i].what << " in " << encoding;
    }
    EXPECT_EQ(r.token.ReadToken(&r.heap), encoding == kBinary ? KTX_RC_BUFFER_EMPTY : KTX_RC_BUFFER_GENERIC_ERROR)
        << "nothing more in " << encoding;
  }
  // The typed getters see the values that went in.
  Reader r(kText);
  OnStack<KTX_BufferToken> w;
  w.SetWriteEncoding(kText);
  w.SetStringUnicode(kTestSz16, &wide).WriteToken(&r.heap);
  w.SetDate(KTX_BTID_VERSION_DATE, badMonth).WriteToken(&r.heap);
  w.SetVersion(KTX_BTID_VERSION_NUMBER, ProgramVersion()).WriteToken(&r.heap);
  ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
  OnStack<KTX_StringUnicode> back;
  ASSERT_EQ(r.token.GetStringUnicode(&back), KTX_RC_OK);
  ASSERT_EQ(back.GetLength(), wide.GetLength());
  EXPECT_EQ(std::memcmp(back.GetText(), wide.GetText(), 2 * static_cast<size_t>(wide.GetLength())), 0);
  ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
  KTX_DateTime date;
  ASSERT_EQ(r.token.GetDate(&date), KTX_RC_OK);
  EXPECT_EQ(date.GetMonth(), 13);
  EXPECT_FALSE(date.IsValid());
  ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
  KTX_Version version;
  ASSERT_EQ(r.token.GetVersion(&version), KTX_RC_OK);
  EXPECT_EQ(version.GetDisplay(), ProgramVersion().GetDisplay());
  EXPECT_EQ(version.GetBuildTime(), ProgramVersion().GetBuildTime());
}

TEST_F(BufferTokenTest, TextLines) {
  const uint8_t h8[] = {0x0A, 0xFF, 0x00};
  const uint32_t i32[] = {5, 0xFFFFFFFBu, 0x80000000u};
  struct Case {
    const char *what;
    uint32_t level;
    std::function<void(KTX_BufferToken &)> set;
    const char *line;
  } cases[] = {
      {"root Begin", 0, [](KTX_BufferToken &t) { t.SetIdValue(KTX_BTID_BEGIN, 1, 0); }, "Begin [ID] Device 0"},
      {"port at level 2", 2, [](KTX_BufferToken &t) { t.SetUint16(kLocalPort, 5150); }, "      LocalPort [U16] 5150"},
      {"End", 1, [](KTX_BufferToken &t) { t.SetEmpty(KTX_BTID_END); }, "   End []"},
      {"level 20", 20, [](KTX_BufferToken &t) { t.SetEmpty(KTX_BTID_END); }, "                                                            End []"},
      {"level 21", 21, [](KTX_BufferToken &t) { t.SetEmpty(KTX_BTID_END); }, "                                 End []"},
      {"H8", 0, [&](KTX_BufferToken &t) { t.SetBytes(kTestH8, 3, h8); }, "TestH8 [H8] 0A FF 00"},
      {"U8", 0, [&](KTX_BufferToken &t) { t.SetBytes(KTX_BTID_COMMENT, 3, h8); }, "Comment [U8] 10 255 0"},
      {"I32", 0, [&](KTX_BufferToken &t) { t.SetUint32Array(kTestI32, 3, i32); }, "TestI32 [I32] 5 -5 -2147483648"},
      {"SZ8 stops at a zero byte", 0,
       [](KTX_BufferToken &t) {
         const uint8_t s[] = {'a', ' ', 'b', 0, 'c'};
         t.SetBytes(kTestSz8, 5, s);
       },
       "TestSZ8 [SZ8] a b"},
      {"empty SZ16", 0, [](KTX_BufferToken &t) { t.SetEmpty(kDescription); }, "Description [SZ16] "},
      {"U16 odd byte ignored", 0,
       [](KTX_BufferToken &t) {
         const uint8_t s[] = {1, 0, 9};
         t.SetBytes(kTestU16, 3, s);
       },
       "TestU16 [U16] 256"},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    OnStack<KTX_BufferToken> t;
    t.SetWriteEncoding(kText);
    t.SetIndent(c.level);
    EXPECT_EQ(t.GetIndent(), c.level);
    c.set(t);
    ASSERT_EQ(t.WriteToken(&heap), KTX_RC_OK) << c.what;
    EXPECT_EQ(Text(heap), std::string(c.line) + "\r\n") << c.what;
  }
}

TEST_F(BufferTokenTest, IndentLevels) {
  struct Case {
    uint32_t level;
    size_t blanks;
  } cases[] = {{0, 0}, {1, 3}, {20, 60}, {21, 33}, {30, 60}, {31, 33}, {45, 45}};
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    OnStack<KTX_BufferToken> t;
    t.SetWriteEncoding(kText);
    t.SetIndent(c.level);
    ASSERT_EQ(t.SetEmpty(KTX_BTID_END).WriteToken(&heap), KTX_RC_OK);
    EXPECT_EQ(Text(heap), std::string(c.blanks, ' ') + "End []\r\n") << c.level;
    // The binary encoding has no indent.
    OnStack<KTX_BufferHeap> bin;
    t.SetWriteEncoding(kBinary);
    ASSERT_EQ(t.WriteToken(&bin), KTX_RC_OK);
    EXPECT_EQ(Contents(bin), (Bytes{2, 0}));
  }
}

TEST_F(BufferTokenTest, TextWriterRefusesWhatItCannotSpell) {
  struct Case {
    const char *what;
    std::function<void(KTX_BufferToken &)> set;
  } cases[] = {
      {"id 44 has no keyword", [](KTX_BufferToken &t) { t.SetUint8(44, 1); }},
      {"id 0", [](KTX_BufferToken &t) { t.SetEmpty(0); }},
      {"configuration type without a name", [](KTX_BufferToken &t) { t.SetIdValue(KTX_BTID_BEGIN, 9, 0); }},
      {"configuration type 0", [](KTX_BufferToken &t) { t.SetIdValue(KTX_BTID_BEGIN, 0, 0); }},
      {"ID value of the wrong width", [](KTX_BufferToken &t) { t.SetUint8(KTX_BTID_BEGIN, 1); }},
      {"DATE value of the wrong length", [](KTX_BufferToken &t) { t.SetUint8(KTX_BTID_FILE_DATE, 1); }},
      {"VER value too short", [](KTX_BufferToken &t) { t.SetUint32(KTX_BTID_VERSION_NUMBER, 1); }},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    Fill(heap, "x");
    OnStack<KTX_BufferToken> t;
    t.SetWriteEncoding(kText);
    c.set(t);
    EXPECT_EQ(t.WriteToken(&heap), KTX_RC_INVALID_PARAMETER) << c.what;
    EXPECT_EQ(Text(heap), "x") << c.what << ": no line written";
    // The binary form still writes it.
    t.SetWriteEncoding(kBinary);
    EXPECT_EQ(t.WriteToken(&heap), KTX_RC_OK) << c.what;
  }
}

TEST_F(BufferTokenTest, TextReading) {
  const auto u16 = [](std::initializer_list<uint16_t> units) {
    Bytes b;
    for (uint16_t u : units) {
      b.push_back(static_cast<uint8_t>(u));
      b.push_back(static_cast<uint8_t>(u >> 8));
    }
    return b;
  };
  struct Case {
    const char *what;
    std::string line;
    int32_t result;
    uint32_t id;
    Bytes value;
  } cases[] = {
      {"SZ16 escapes", "Description [SZ16] A\\\\B\\00E9", KTX_RC_OK, kDescription, u16({'A', '\\', 'B', 0xE9})},
      {"SZ16 keeps blanks", "Description [SZ16]  a  b ", KTX_RC_OK, kDescription, u16({' ', 'a', ' ', ' ', 'b', ' '})},
      {"SZ16 tab is a character", "Description [SZ16] \t", KTX_RC_OK, kDescription, u16({'\t'})},
      {"U16 keeps the low bits", "LocalPort [U16] 70000", KTX_RC_OK, kLocalPort, {0x11, 0x70}},
      {"U16 several, extra blanks", "   LocalPort   [U16]  1   2\x07" "3", KTX_RC_OK, kLocalPort, {0, 1, 0, 2, 0, 3}},
      {"U8 digits up to a non-digit", "Comment [U8] 12x 7 x 300", KTX_RC_OK, KTX_BTID_COMMENT, {12, 7, 0, 44}},
      {"I32 signs", "TestI32 [I32] -1 2 -", KTX_RC_OK, kTestI32, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2, 0, 0, 0, 0}},
      {"H8 either case, bad word gives 0", "TestH8 [H8] ab 1F2 zz 123456789", KTX_RC_OK, kTestH8, {0xAB, 0xF2, 0, 0x78}},
      {"SZ8 rest of line", "TestSZ8 [SZ8]  two  blanks ", KTX_RC_OK, kTestSz8,
       {' ', 't', 'w', 'o', ' ', ' ', 'b', 'l', 'a', 'n', 'k', 's', ' '}},
      {"SZ8 nothing after the type", "TestSZ8 [SZ8]", KTX_RC_OK, kTestSz8, {}},
      {"type in the line decides", "LocalPort [U32] 1", KTX_RC_OK, kLocalPort, {0, 0, 0, 1}},
      {"ID", "Begin [ID] Calibration 0", KTX_RC_OK, KTX_BTID_BEGIN, {5, 0}},
      {"ID unknown name", "Begin [ID] Gadget 300", KTX_RC_OK, KTX_BTID_BEGIN, {0, 0, 1, 0x2C}},
      {"DATE hyphens", "FileDate [DATE] 2017-08-10 21:09:14", KTX_RC_OK, KTX_BTID_FILE_DATE,
       Bytes({'0', '0', '0', '0', ' ', '0', '0', ' ', '0', '0', ' ', '0', '0', ':', '0', '0', ':', '0', '0'})},
      {"DATE month 13 kept", "FileDate [DATE] 2017 13 10 21:09:14", KTX_RC_OK, KTX_BTID_FILE_DATE,
       Bytes({'2', '0', '1', '7', ' ', '1', '3', ' ', '1', '0', ' ', '2', '1', ':', '0', '9', ':', '1', '4'})},
      {"VER short form", "VersionNumber [VER] 2.1.300.rc       ", KTX_RC_OK, KTX_BTID_VERSION_NUMBER,
       {2, 1, 1, 0x2C, 0, ' ', 'c', 'r', 0, 0, 0, 0, 0, 0, 0, 0}},
      {"VER without trailing blanks", "VersionNumber [VER] 1.9.0.b   2017 08 10 21:09:14", KTX_RC_INVALID_PARAMETER, 0, {}},
      {"VER not a number", "VersionNumber [VER] 1.x.0.b   2017 08 10 21:09:14        ", KTX_RC_OPERATION_FAILED, 0, {}},
      {"unknown keyword", "Nonsense [U8] 1", KTX_RC_BUFFER_GENERIC_ERROR, 0, {}},
      {"keywords are case-sensitive", "begin [ID] Device 0", KTX_RC_BUFFER_GENERIC_ERROR, 0, {}},
      {"tab is not a separator", "End\t[]", KTX_RC_BUFFER_GENERIC_ERROR, 0, {}},
      {"unknown type", "Comment [U9] 1", KTX_RC_BUFFER_GENERIC_ERROR, 0, {}},
      {"end-of-table type", "Comment [??] 1", KTX_RC_BUFFER_GENERIC_ERROR, 0, {}},
      {"missing type", "Comment", KTX_RC_BUFFER_GENERIC_ERROR, 0, {}},
      {"I8 has no text form", "TestI8 [I8] 1", KTX_RC_OPERATION_FAILED, 0, {}},
      {"I16 has no text form", "Comment [I16] 1", KTX_RC_OPERATION_FAILED, 0, {}},
      {"H16 has no text form", "Comment [H16] 1", KTX_RC_OPERATION_FAILED, 0, {}},
      {"SZ16 escape cut short", "Description [SZ16] ab\\00E", KTX_RC_BUFFER_EMPTY, 0, {}},
      {"SZ16 lone backslash at the end", "Description [SZ16] ab\\", KTX_RC_BUFFER_EMPTY, 0, {}},
      {"SZ16 lower-case escape", "Description [SZ16] \\00e9", KTX_RC_BUFFER_EMPTY, 0, {}},
      {"SZ16 unknown escape", "Description [SZ16] \\n000", KTX_RC_BUFFER_EMPTY, 0, {}},
  };
  for (const Case &c : cases) {
    Reader r(kText, c.line + "\r\n");
    EXPECT_EQ(r.token.ReadToken(&r.heap), c.result) << c.what;
    if (c.result == KTX_RC_OK) {
      uint32_t id = 0;
      r.token.GetId(&id);
      EXPECT_EQ(id, c.id) << c.what;
      EXPECT_EQ(Value(r.token), c.value) << c.what;
    }
  }
  // Writing the escaped units gives the same line back.
  Reader r(kText, "Description [SZ16] A\\\\B\\00E9\r\n");
  ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
  OnStack<KTX_BufferHeap> out;
  r.token.SetWriteEncoding(kText);
  ASSERT_EQ(r.token.WriteToken(&out), KTX_RC_OK);
  EXPECT_EQ(Text(out), "Description [SZ16] A\\\\B\\00E9\r\n");
}

TEST_F(BufferTokenTest, TextLinesEndAtCrLfOrTheEndOfData) {
  Reader r(kText, "\r\n\n\rComment [U8] 1\n\nComment [U8] 2\rComment [U8] 3");
  for (uint8_t expected : {1, 2, 3}) {
    ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
    uint8_t v = 0;
    ASSERT_EQ(r.token.GetUint8(&v), KTX_RC_OK);
    EXPECT_EQ(v, expected);
  }
  EXPECT_EQ(r.token.ReadToken(&r.heap), KTX_RC_BUFFER_GENERIC_ERROR) << "an empty line at the end of the data";

  // A fixed buffer signals its end by delivering nothing.
  const std::string text = std::string(KTX_BufferToken::c_szTextHeader) +
                           "VersionNumber [VER] 1.9.0.b   2017 08 10 21:09:14        \r\n"
                           "VersionDate [DATE] 2017 08 10 21:09:14\r\nFileDate [DATE] 2017 08 10 21:09:14\r\nEnd []";
  std::vector<uint8_t> bytes(text.begin(), text.end());
  OnStack<KTX_BufferFixed> fixed(bytes.data(), static_cast<uint32_t>(bytes.size()));
  OnStack<KTX_BufferToken> t;
  ASSERT_EQ(t.ReadHeader(&fixed), KTX_RC_OK);
  ASSERT_EQ(t.ReadToken(&fixed), KTX_RC_OK);
  uint32_t id = 0;
  t.GetId(&id);
  EXPECT_EQ(id, KTX_BTID_END);
  EXPECT_EQ(t.ReadToken(&fixed), KTX_RC_BUFFER_GENERIC_ERROR);
}

TEST_F(BufferTokenTest, BinaryReadingRefusesBadInput) {
  struct Case {
    const char *what;
    Bytes bytes;
    int32_t heapResult;
    int32_t fixedResult;
  } cases[] = {
      {"nothing", {}, KTX_RC_BUFFER_EMPTY, KTX_RC_BUFFER_EMPTY},
      {"id only", {0x07}, KTX_RC_BUFFER_EMPTY, KTX_RC_BUFFER_EMPTY},
      {"packed id cut short", {0xFE, 0x00, 0x01}, KTX_RC_BUFFER_EMPTY, KTX_RC_BUFFER_EMPTY},
      {"packed length cut short", {0x07, 0xFC, 0x01}, KTX_RC_BUFFER_EMPTY, KTX_RC_BUFFER_EMPTY},
      {"value cut short", {0x07, 0x05, 1, 2, 3}, KTX_RC_OPERATION_FAILED, KTX_RC_OPERATION_FAILED},
      {"value missing", {0x07, 0x05}, KTX_RC_BUFFER_EMPTY, KTX_RC_OPERATION_FAILED},
      {"length 1,000,001", {0x07, 0xFE, 0x00, 0x0F, 0x42, 0x41, 1, 2}, KTX_RC_INVALID_PARAMETER,
       KTX_RC_INVALID_PARAMETER},
      {"length 0xFFFFFFFF", {0x07, 0xFF, 1, 2}, KTX_RC_INVALID_PARAMETER, KTX_RC_INVALID_PARAMETER},
  };
  for (const Case &c : cases) {
    Reader r(kBinary);
    if (!c.bytes.empty()) {
      uint32_t n = static_cast<uint32_t>(c.bytes.size());
      ASSERT_EQ(r.heap.Write(c.bytes.data(), &n), KTX_RC_OK);
    }
    EXPECT_EQ(r.token.ReadToken(&r.heap), c.heapResult) << c.what;
    EXPECT_LE(r.token.GetLength(), c.bytes.size()) << c.what;

    Bytes copy = c.bytes;
    OnStack<KTX_BufferFixed> fixed(copy.empty() ? nullptr : copy.data(), static_cast<uint32_t>(copy.size()));
    EXPECT_EQ(r.token.ReadToken(&fixed), c.fixedResult) << c.what;
  }
}

TEST_F(BufferTokenTest, LongValuesUseOneGrowingBlock) {
  Bytes big(1000000);
  for (size_t i = 0; i < big.size(); ++i) {
    big[i] = static_cast<uint8_t>(i * 7);
  }
  Reader r(kBinary);
  OnStack<KTX_BufferToken> w;
  ASSERT_EQ(w.SetBytes(kTestH8, static_cast<uint32_t>(big.size()), big.data()).WriteToken(&r.heap), KTX_RC_OK);
  ASSERT_EQ(w.SetBytes(kTestH8, 100, big.data() + 5).WriteToken(&r.heap), KTX_RC_OK);
  ASSERT_EQ(w.SetUint8(KTX_BTID_COMMENT, 3).WriteToken(&r.heap), KTX_RC_OK);
  ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
  EXPECT_EQ(Value(r.token), big);
  const uint8_t *block = r.token.GetValue();
  ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
  EXPECT_EQ(Value(r.token), Bytes(big.begin() + 5, big.begin() + 105));
  EXPECT_EQ(r.token.GetValue(), block) << "the block is reused, not shrunk";
  ASSERT_EQ(r.token.ReadToken(&r.heap), KTX_RC_OK);
  EXPECT_EQ(r.token.GetLength(), 1u);

  // Too long to be a token: refused at writing time, nothing written.
  OnStack<KTX_BufferHeap> heap;
  big.push_back(0);
  EXPECT_EQ(w.SetBytes(kTestH8, static_cast<uint32_t>(big.size()), big.data()).WriteToken(&heap),
            KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(w.GetLength(), 0u);
  EXPECT_EQ(heap.GetSize(), 0u);
  // A text line whose value would be longer is refused too.
  std::string line = "TestSZ8 [SZ8] " + std::string(1000001, 'a') + "\r\n";
  Reader rt(kText, line);
  EXPECT_EQ(rt.token.ReadToken(&rt.heap), KTX_RC_INVALID_PARAMETER);
}

TEST_F(BufferTokenTest, TypedGettersCheckTheLength) {
  OnStack<KTX_BufferToken> t;
  uint8_t u8 = 0;
  uint16_t u16 = 0;
  uint32_t u32[2] = {};
  uint8_t bytes[3] = {};
  uint32_t id = 0;
  t.SetUint16(kLocalPort, 5150);
  EXPECT_EQ(t.GetUint8(&u8), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(t.GetUint32(u32), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(t.GetBytes(3, bytes), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(t.GetUint16(&id, &u16), KTX_RC_OK);
  EXPECT_EQ(id, kLocalPort);
  EXPECT_EQ(u16, 5150);
  EXPECT_EQ(t.GetBytes(2, bytes), KTX_RC_OK);
  EXPECT_EQ(t.GetIdValue(&id, nullptr, nullptr), KTX_RC_OPERATION_FAILED) << "not a Begin";

  t.SetUint32(9, 0xA1B2C3D4);
  EXPECT_EQ(t.GetUint16(&id, &u16), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(id, 9u);
  EXPECT_EQ(t.GetUint32(u32), KTX_RC_OK);
  EXPECT_EQ(u32[0], 0xA1B2C3D4u);
  EXPECT_EQ(t.GetUint32Array(2, u32), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(t.GetUint8(&u8), KTX_RC_INVALID_PARAMETER);

  const uint8_t three[] = {1, 2, 3};
  t.SetBytes(KTX_BTID_BEGIN, 3, three);
  uint32_t type = 0, index = 0;
  EXPECT_EQ(t.GetIdValue(&id, &type, &index), KTX_RC_INVALID_PARAMETER);
  t.SetEmpty(KTX_BTID_BEGIN);
  EXPECT_EQ(t.GetIdValue(&id, &type, &index), KTX_RC_INVALID_PARAMETER);
  t.SetUint8(4, 1);
  EXPECT_EQ(t.GetUint8(&u8), KTX_RC_OK);
  EXPECT_EQ(u8, 1);
  KTX_DateTime date;
  EXPECT_EQ(t.GetDate(&date), KTX_RC_INVALID_PARAMETER);
  KTX_Version version;
  EXPECT_EQ(t.GetVersion(&version), KTX_RC_INVALID_PARAMETER);
  OnStack<KTX_StringUnicode> wide;
  EXPECT_EQ(t.GetStringUnicode(&wide), KTX_RC_INVALID_PARAMETER) << "odd length";
  OnStack<KTX_StringAscii> narrow;
  const uint8_t text[] = {'h', 'i', 0, 'x'};
  t.SetBytes(kTestSz8, 4, text);
  EXPECT_EQ(t.GetStringAscii(&narrow), KTX_RC_OK);
  EXPECT_STREQ(narrow.GetText(), "hi");
}

TEST_F(BufferTokenTest, KeywordTableIsExtensible) {
  EXPECT_NE(KTX_BufferToken::FindKeyword(kLocalPort), nullptr);
  EXPECT_EQ(KTX_BufferToken::FindKeyword("LocalPort", 9)->u32Id, kLocalPort);
  KTX_BufferToken::SetKeywordExtension(nullptr);
  EXPECT_EQ(KTX_BufferToken::FindKeyword(kLocalPort), nullptr);
  EXPECT_EQ(KTX_BufferToken::FindKeyword(44), nullptr);
  for (uint32_t id = 1; id <= 6; ++id) {
    ASSERT_NE(KTX_BufferToken::FindKeyword(id), nullptr) << id;
  }
  EXPECT_STREQ(KTX_BufferToken::FindKeyword(KTX_BTID_VERSION_NUMBER)->szKeyword, "VersionNumber");
  EXPECT_EQ(KTX_BufferToken::FindKeyword("Unknown", 7), nullptr) << "the end row is not a keyword";
  Reader r(kText, "LocalPort [U16] 1\r\n");
  EXPECT_EQ(r.token.ReadToken(&r.heap), KTX_RC_BUFFER_GENERIC_ERROR);
}

} // namespace
