#include "OnStack.h"

#include "buffers/BufferDiskFile.h"
#include "buffers/BufferFixed.h"
#include "buffers/BufferHeap.h"
#include "runtime/OsalTime.h"
#include "runtime/ReturnCode.h"
#include "support/LogReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadAll(KTX_BufferHeap &buf) {
  Bytes out(buf.GetSize());
  uint32_t n = static_cast<uint32_t>(out.size());
  if (n > 0) {
    EXPECT_EQ(buf.ReadAt(0, out.data(), &n), KTX_RC_OK);
    EXPECT_EQ(n, out.size());
  }
  return out;
}

int32_t WriteBytes(KTX_Buffer &buf, const Bytes &bytes) {
  uint32_t n = static_cast<uint32_t>(bytes.size());
  return buf.Write(bytes.data(), &n);
}

int32_t WriteAtBytes(KTX_Buffer &buf, uint32_t address, const Bytes &bytes) {
  uint32_t n = static_cast<uint32_t>(bytes.size());
  return buf.WriteAt(address, bytes.data(), &n);
}

TEST(PackedUint32, EncodesAndReadsBack) {
  struct Case {
    uint32_t value;
    Bytes bytes;
  } cases[] = {
      {0, {0x00}},
      {250, {0xFA}},
      {251, {0xFB, 0xFB}},
      {255, {0xFB, 0xFF}},
      {256, {0xFC, 0x01, 0x00}},
      {65535, {0xFC, 0xFF, 0xFF}},
      {65536, {0xFE, 0x00, 0x01, 0x00, 0x00}},
      {0x12345678, {0xFE, 0x12, 0x34, 0x56, 0x78}},
      {0xFFFFFFFE, {0xFE, 0xFF, 0xFF, 0xFF, 0xFE}},
      {0xFFFFFFFF, {0xFF}},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    ASSERT_EQ(heap.WritePackedUint32(c.value), KTX_RC_OK) << c.value;
    EXPECT_EQ(ReadAll(heap), c.bytes) << c.value;
    ASSERT_EQ(heap.SetReadPosition(0, nullptr, nullptr), KTX_RC_OK);
    uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(heap.ReadPackedUint32(&value), KTX_RC_OK) << c.value;
    EXPECT_EQ(value, c.value);
    uint32_t remaining = 1;
    heap.GetByteCount(&remaining, nullptr);
    EXPECT_EQ(remaining, 0u) << c.value;
  }
}

TEST(PackedUint32, WholeEncodingGoesOutInOneWrite) {
  // A fixed buffer refuses a write that does not fit whole, so a 5-byte
  // encoding into 4 bytes of room must leave the buffer untouched.
  uint8_t storage[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  OnStack<KTX_BufferFixed> fixed(storage, 4);
  EXPECT_EQ(fixed.WritePackedUint32(0x10000), KTX_RC_BUFFER_OVERFLOW);
  EXPECT_EQ(fixed.GetWritePosition(), 0u);
  EXPECT_EQ(storage[0], 0xAA);
}

TEST(PackedUint32, OtherLeadBytesAreTheValue) {
  // 0xFD has no follow-up bytes; it stands for itself.
  uint8_t data[] = {0xFD, 0x07};
  OnStack<KTX_BufferFixed> fixed(data, 2);
  uint32_t value = 0;
  EXPECT_EQ(fixed.ReadPackedUint32(&value), KTX_RC_OK);
  EXPECT_EQ(value, 253u);
  EXPECT_EQ(fixed.ReadPackedUint32(&value), KTX_RC_OK);
  EXPECT_EQ(value, 7u);
}

TEST(PackedUint32, TruncatedEncodingIsRefused) {
  struct Case {
    Bytes bytes;
  } cases[] = {{{}}, {{0xFB}}, {{0xFC, 0x01}}, {{0xFE, 0x00, 0x01, 0x00}}};
  for (const Case &c : cases) {
    // Heap: the follow-up read comes back short (result 0) or empty (502).
    OnStack<KTX_BufferHeap> heap;
    if (!c.bytes.empty()) {
      ASSERT_EQ(WriteBytes(heap, c.bytes), KTX_RC_OK);
    }
    uint32_t value = 0;
    EXPECT_EQ(heap.ReadPackedUint32(&value), KTX_RC_BUFFER_EMPTY) << c.bytes.size();
    // Fixed: short reads report success, which must not turn into a value.
    Bytes copy = c.bytes;
    OnStack<KTX_BufferFixed> fixed(copy.empty() ? nullptr : copy.data(), static_cast<uint32_t>(copy.size()));
    EXPECT_EQ(fixed.ReadPackedUint32(&value), KTX_RC_BUFFER_EMPTY) << c.bytes.size();
  }
}

TEST(BufferHeap, GrowsDownAndUpWithZeroFilledGaps) {
  struct Write {
    uint32_t address;
    Bytes bytes;
  };
  struct Case {
    const char *what;
    std::vector<Write> writes;
    uint32_t base;
    Bytes content;
  } cases[] = {
      {"first write sets the base", {{0x1000, {1, 2, 3, 4}}}, 0x1000, {1, 2, 3, 4}},
      {"downward keeps earlier bytes at 0x10",
       {{0x1000, {1, 2, 3, 4}}, {0x0FF0, {5, 6, 7, 8}}},
       0x0FF0,
       {5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}},
      {"upward leaves a zero gap", {{0x20, {9}}, {0x25, {8, 7}}}, 0x20, {9, 0, 0, 0, 0, 8, 7}},
      {"overwrite inside the window", {{0x10, {1, 2, 3, 4}}, {0x11, {9, 9}}}, 0x10, {1, 9, 9, 4}},
      {"overlapping the start", {{0x10, {1, 2, 3, 4}}, {0x0E, {7, 7, 7}}}, 0x0E, {7, 7, 7, 2, 3, 4}},
      {"scattered image", {{0x300, {3}}, {0x100, {1}}, {0x200, {2}}}, 0x100, {}},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    for (const Write &w : c.writes) {
      ASSERT_EQ(WriteAtBytes(heap, w.address, w.bytes), KTX_RC_OK) << c.what;
    }
    EXPECT_EQ(heap.GetBaseAddress(), c.base) << c.what;
    const Bytes all = ReadAll(heap);
    if (!c.content.empty()) {
      EXPECT_EQ(all, c.content) << c.what;
    } else {
      ASSERT_EQ(all.size(), 0x201u) << c.what;
      for (size_t i = 0; i < all.size(); ++i) {
        const uint8_t expected = i == 0 ? 1 : i == 0x100 ? 2 : i == 0x200 ? 3 : 0;
        ASSERT_EQ(all[i], expected) << c.what << " at " << i;
      }
    }
    EXPECT_EQ(heap.GetCapacity() % KTX_BufferHeap::c_u32GrowthStep, 0u) << c.what;
    EXPECT_GT(heap.GetCapacity(), heap.GetSize()) << c.what;
  }
}

TEST(BufferHeap, WriteContinuesAfterWriteAt) {
  OnStack<KTX_BufferHeap> heap;
  ASSERT_EQ(WriteAtBytes(heap, 0x500, {1, 2}), KTX_RC_OK);
  ASSERT_EQ(WriteBytes(heap, {3, 4}), KTX_RC_OK);
  EXPECT_EQ(heap.GetWriteAddress(), 0x504u);
  EXPECT_EQ(ReadAll(heap), (Bytes{1, 2, 3, 4}));
}

TEST(BufferHeap, CapacityGrowsInSteps) {
  struct Case {
    uint32_t size;
    uint32_t capacity;
  } cases[] = {{1, 5120}, {5119, 5120}, {5120, 10240}, {10239, 10240}, {0x500000 - 5120, 0x500000},
               {0x500000, 0x500000}};
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    ASSERT_EQ(heap.EnsureRange(0, c.size), KTX_RC_OK) << c.size;
    EXPECT_EQ(heap.GetSize(), c.size);
    EXPECT_EQ(heap.GetCapacity(), c.capacity) << c.size;
  }
  // Appends one byte at a time reallocate only at the steps.
  OnStack<KTX_BufferHeap> heap;
  const uint8_t *storage = nullptr;
  int reallocations = 0;
  for (uint32_t i = 0; i < 3 * 5120; ++i) {
    uint8_t b = static_cast<uint8_t>(i);
    uint32_t n = 1;
    ASSERT_EQ(heap.Write(&b, &n), KTX_RC_OK);
    if (heap.GetData() != storage) {
      storage = heap.GetData();
      ++reallocations;
    }
  }
  EXPECT_EQ(reallocations, 4);
}

TEST(BufferHeap, WindowNeverExceedsTheCeiling) {
  struct Case {
    const char *what;
    uint32_t firstAddress;
    uint32_t firstCount;
    uint32_t address;
    uint32_t count;
  } cases[] = {
      {"append past the ceiling", 0, 0x500000, 0x500000, 1},
      {"grow down past the ceiling", 0x100000, 0x500000, 0xFFFFF, 1},
      {"grow down far", 0x1000000, 16, 0, 16},
      {"single write too large", 0x10, 16, 0x10, 0x500001},
      {"window through the top of the address space", 0xFFFFFF00, 16, 0xFFFFFFF0, 0x200},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferHeap> heap;
    Bytes first(c.firstCount, 0x5A);
    ASSERT_EQ(WriteAtBytes(heap, c.firstAddress, first), KTX_RC_OK) << c.what;
    const uint32_t base = heap.GetBaseAddress(), size = heap.GetSize(), capacity = heap.GetCapacity();
    const uint32_t writeAddress = heap.GetWriteAddress();
    const uint8_t *data = heap.GetData();
    Bytes more(c.count, 0x11);
    EXPECT_EQ(WriteAtBytes(heap, c.address, more), KTX_RC_INVALID_PARAMETER) << c.what;
    EXPECT_EQ(heap.GetBaseAddress(), base) << c.what;
    EXPECT_EQ(heap.GetSize(), size) << c.what;
    EXPECT_EQ(heap.GetCapacity(), capacity) << c.what;
    EXPECT_EQ(heap.GetWriteAddress(), writeAddress) << c.what;
    EXPECT_EQ(heap.GetData(), data) << c.what;
  }
  OnStack<KTX_BufferHeap> heap;
  EXPECT_EQ(heap.EnsureRange(0, 0), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(heap.EnsureRange(0, 0x500001), KTX_RC_INVALID_PARAMETER);
  EXPECT_EQ(heap.EnsureRange(7, 0x500000), KTX_RC_OK);
  uint8_t b = 1;
  uint32_t n = 1;
  EXPECT_EQ(heap.Write(&b, &n), KTX_RC_INVALID_PARAMETER) << "write address 0 is below the base";
}

TEST(BufferHeap, ReadsToTheEndThenReportsEmpty) {
  OnStack<KTX_BufferHeap> heap;
  uint8_t out[16];
  uint32_t n = 4;
  EXPECT_EQ(heap.Read(out, &n), KTX_RC_BUFFER_EMPTY) << "nothing written yet";
  ASSERT_EQ(WriteBytes(heap, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), KTX_RC_OK);

  struct Step {
    uint32_t ask;
    int32_t result;
    uint32_t delivered;
    uint8_t first;
  } steps[] = {{4, KTX_RC_OK, 4, 1}, {10, KTX_RC_OK, 6, 5}, {1, KTX_RC_BUFFER_EMPTY, 1, 0}};
  for (const Step &s : steps) {
    n = s.ask;
    out[0] = 0;
    EXPECT_EQ(heap.Read(out, &n), s.result) << s.ask;
    EXPECT_EQ(n, s.delivered) << s.ask;
    EXPECT_EQ(out[0], s.first) << s.ask;
  }
  uint32_t remaining = 99, total = 99;
  EXPECT_EQ(heap.SetReadPosition(8, &remaining, &total), KTX_RC_OK);
  EXPECT_EQ(remaining, 2u);
  EXPECT_EQ(total, 10u);
  EXPECT_EQ(heap.SetReadPosition(50, &remaining, &total), KTX_RC_OK);
  EXPECT_EQ(remaining, 0u);
  n = 1;
  EXPECT_EQ(heap.Read(out, &n), KTX_RC_BUFFER_EMPTY);
  n = 1;
  EXPECT_EQ(heap.Read(nullptr, &n), KTX_RC_INVALID_PARAMETER);
}

TEST(BufferHeap, ReadAtChecksTheOffset) {
  OnStack<KTX_BufferHeap> heap;
  uint8_t out[8];
  uint32_t n = 1;
  EXPECT_EQ(heap.ReadAt(0, out, &n), KTX_RC_BUFFER_EMPTY);
  ASSERT_EQ(WriteAtBytes(heap, 0x40, {1, 2, 3, 4}), KTX_RC_OK);
  struct Case {
    uint32_t offset;
    uint32_t ask;
    int32_t result;
    uint32_t delivered;
  } cases[] = {{0, 2, KTX_RC_OK, 2}, {2, 8, KTX_RC_OK, 2}, {4, 1, KTX_RC_BUFFER_EMPTY, 1},
               {5, 1, KTX_RC_INVALID_PARAMETER, 1}, {0x40, 1, KTX_RC_INVALID_PARAMETER, 1}};
  for (const Case &c : cases) {
    n = c.ask;
    EXPECT_EQ(heap.ReadAt(c.offset, out, &n), c.result) << c.offset;
    EXPECT_EQ(n, c.delivered) << c.offset;
  }
  // The read offset follows a successful ReadAt.
  n = 1;
  ASSERT_EQ(heap.ReadAt(1, out, &n), KTX_RC_OK);
  n = 1;
  ASSERT_EQ(heap.Read(out, &n), KTX_RC_OK);
  EXPECT_EQ(out[0], 3);
}

TEST(BufferFixed, WritesWholeOrNothingAndReadsWhatIsLeft) {
  uint8_t storage[8] = {};
  OnStack<KTX_BufferFixed> fixed(storage, 8);
  EXPECT_EQ(WriteBytes(fixed, {1, 2, 3, 4, 5, 6}), KTX_RC_OK);
  EXPECT_EQ(WriteBytes(fixed, {7, 8, 9}), KTX_RC_BUFFER_OVERFLOW);
  EXPECT_EQ(fixed.GetWritePosition(), 6u);
  EXPECT_EQ(storage[6], 0);
  EXPECT_EQ(WriteBytes(fixed, {7, 8}), KTX_RC_OK);
  EXPECT_EQ(WriteBytes(fixed, {9}), KTX_RC_BUFFER_OVERFLOW);

  uint8_t out[10] = {};
  uint32_t n = 4;
  ASSERT_EQ(fixed.Read(out, &n), KTX_RC_OK);
  uint32_t remaining = 0, total = 0;
  EXPECT_EQ(fixed.GetByteCount(&remaining, &total), KTX_RC_OK);
  EXPECT_EQ(remaining, 4u);
  EXPECT_EQ(total, 4u);
  n = 10;
  EXPECT_EQ(fixed.Read(out, &n), KTX_RC_OK);
  EXPECT_EQ(n, 4u);
  EXPECT_EQ(out[0], 5);
  EXPECT_EQ(out[3], 8);
  n = 10;
  EXPECT_EQ(fixed.Read(out, &n), KTX_RC_OK);
  EXPECT_EQ(n, 0u);

  fixed.Attach(storage + 2, 3);
  EXPECT_EQ(fixed.GetReadPosition(), 0u);
  n = 10;
  EXPECT_EQ(fixed.Read(out, &n), KTX_RC_OK);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(out[0], 3);

  OnStack<KTX_BufferFixed> empty(nullptr, 100);
  n = 5;
  EXPECT_EQ(empty.Read(out, &n), KTX_RC_OK);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(WriteBytes(empty, {1}), KTX_RC_BUFFER_OVERFLOW);
}

TEST(Buffer, UnsupportedOperationsAreRefused) {
  uint8_t storage[4] = {};
  OnStack<KTX_BufferFixed> fixed(storage, 4);
  OnStack<KTX_BufferDiskFile> disk("never-opened.bin");
  KTX_Buffer *buffers[] = {&fixed, &disk};
  for (KTX_Buffer *b : buffers) {
    uint8_t byte = 0;
    uint32_t n = 1;
    EXPECT_EQ(b->WriteAt(0, &byte, &n), KTX_RC_OPERATION_NOT_PERMITTED) << b->GetName();
    EXPECT_EQ(b->ReadAt(0, &byte, &n), KTX_RC_OPERATION_NOT_PERMITTED) << b->GetName();
    uint32_t remaining = 9, total = 9;
    EXPECT_EQ(b->SetReadPosition(0, &remaining, &total), KTX_RC_OPERATION_NOT_PERMITTED) << b->GetName();
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(total, 0u);
  }
  std::FILE *f = std::fopen("never-opened.bin", "rb");
  EXPECT_EQ(f, nullptr) << "refused operations must not open the file";
  if (f != nullptr) {
    std::fclose(f);
  }
}

TEST(Buffer, AgeFollowsTheTimeStamp) {
  OnStack<KTX_BufferHeap> heap;
  const uint32_t stamp = heap.SetAge(5000);
  EXPECT_LT(OsalGetTickCount() - stamp - 5000u, 60000u) << "the stamp lies 5 s back";
  EXPECT_GE(heap.GetAge(), 5000u);
  EXPECT_LT(heap.GetAge(), 65000u);
  heap.MarkTime();
  EXPECT_LT(heap.GetAge(), 5000u);
  EXPECT_EQ(heap.SetBaseAddress(0x1234), KTX_RC_OK);
  EXPECT_EQ(heap.GetBaseAddress(), 0x1234u);
}

TEST(BufferDiskFile, WritesANewFileAndReadsItBack) {
  Bytes content;
  for (int i = 0; i < 3000; ++i) {
    content.push_back(static_cast<uint8_t>(i * 13));
  }
  {
    // A file that exists is replaced, not appended to.
    std::FILE *f = std::fopen("data.bin", "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("old content that must go away", f);
    std::fclose(f);
    OnStack<KTX_BufferDiskFile> out("data.bin");
    ASSERT_EQ(WriteBytes(out, Bytes(content.begin(), content.begin() + 1000)), KTX_RC_OK);
    ASSERT_EQ(WriteBytes(out, Bytes(content.begin() + 1000, content.end())), KTX_RC_OK);
  }
  OnStack<KTX_BufferDiskFile> in("data.bin");
  uint32_t remaining = 0, total = 0;
  ASSERT_EQ(in.GetByteCount(&remaining, &total), KTX_RC_OK);
  EXPECT_EQ(remaining, 3000u);
  EXPECT_EQ(total, 3000u);
  Bytes back(4000);
  uint32_t n = 2000;
  ASSERT_EQ(in.Read(back.data(), &n), KTX_RC_OK);
  EXPECT_EQ(n, 2000u);
  in.GetByteCount(&remaining, nullptr);
  EXPECT_EQ(remaining, 1000u);
  n = 2000;
  ASSERT_EQ(in.Read(back.data() + 2000, &n), KTX_RC_OK);
  EXPECT_EQ(n, 1000u);
  back.resize(3000);
  EXPECT_EQ(back, content);
  n = 10;
  EXPECT_EQ(in.Read(back.data(), &n), KTX_RC_OK);
  EXPECT_EQ(n, 0u) << "end of file";
  uint32_t value = 0;
  EXPECT_EQ(in.ReadPackedUint32(&value), KTX_RC_BUFFER_EMPTY);
}

TEST(BufferDiskFile, FailedOpensAreLoggedAndRetried) {
  UseFreshLogFile("BufferDiskFile");
  OnStack<KTX_BufferDiskFile> missing("missing.bin");
  uint8_t out[4];
  uint32_t n = 4;
  EXPECT_EQ(missing.Read(out, &n), KTX_RC_OPERATION_FAILED);
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(LogContains("KTX_BufferDiskFile::Read -- CreateFile failed"));
  // The next call tries again and finds the file that appeared meanwhile.
  std::FILE *f = std::fopen("missing.bin", "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("abc", f);
  std::fclose(f);
  n = 4;
  EXPECT_EQ(missing.Read(out, &n), KTX_RC_OK);
  EXPECT_EQ(n, 3u);

  OnStack<KTX_BufferDiskFile> nowhere("no-such-directory/file.bin");
  EXPECT_EQ(WriteBytes(nowhere, {1}), KTX_RC_OPERATION_FAILED);
  EXPECT_TRUE(LogContains("KTX_BufferDiskFile::Write -- CreateFile failed"));
  uint32_t remaining = 7;
  EXPECT_EQ(nowhere.GetByteCount(&remaining, nullptr), KTX_RC_OPERATION_FAILED);
  EXPECT_EQ(remaining, 0u);
}

} // namespace
