#include "OnStack.h"

#include "buffers/BufferResource.h"
#include "buffers/ResourceTable.h"
#include "runtime/ReturnCode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> FixtureBytes(const char *name) {
  std::ifstream in(std::string(KTX_TEST_FIXTURE_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BufferResource, ReadsTheEmbeddedBytesInPlace) {
  const std::vector<uint8_t> expected = FixtureBytes("sample.bin");
  ASSERT_EQ(expected.size(), 300u);
  OnStack<KTX_BufferResource> res;
  ASSERT_EQ(res.LoadFromResource("IDR_TEST_SAMPLE_1", "SNAPSHOT"), KTX_RC_OK);
  EXPECT_EQ(res.GetClassType(), KTX_BASE_CLASS_BUFFER_RESOURCE);
  uint32_t remaining = 0, total = 0;
  EXPECT_EQ(res.GetByteCount(&remaining, &total), KTX_RC_OK);
  EXPECT_EQ(total, 300u);
  std::vector<uint8_t> back(400);
  uint32_t n = 400;
  ASSERT_EQ(res.Read(back.data(), &n), KTX_RC_OK);
  ASSERT_EQ(n, 300u);
  back.resize(n);
  EXPECT_EQ(back, expected);

  // No copy: the buffer exposes the table's own bytes.
  const uint8_t *data = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(KTX_ResourceTable::Find("IDR_TEST_SAMPLE_1", "SNAPSHOT", nullptr, &data, &size), KTX_RC_OK);
  EXPECT_EQ(res.GetData(), data);
}

TEST(BufferResource, LookupByNameTypeAndModule) {
  struct Case {
    const char *name;
    const char *type;
    const char *module;
    int32_t result;
    uint32_t size;
  } cases[] = {
      {"IDR_TEST_SAMPLE_1", "SNAPSHOT", nullptr, KTX_RC_OK, 300},
      {"idr_test_sample_1", "Snapshot", nullptr, KTX_RC_OK, 300},
      {"IDR_TEST_SAMPLE_1", "SNAPSHOT", "test_buffers", KTX_RC_OK, 300},
      {"IDR_TEST_EMPTY", "SNAPSHOT", nullptr, KTX_RC_OK, 0},
      {"IDR_TEST_SAMPLE_1", "BITMAP", nullptr, KTX_RC_OPERATION_FAILED, 0},
      {"IDR_TEST_SAMPLE_2", "SNAPSHOT", nullptr, KTX_RC_OPERATION_FAILED, 0},
      {"IDR_TEST_SAMPLE_1", "SNAPSHOT", "another_program", KTX_RC_OPERATION_FAILED, 0},
      {nullptr, "SNAPSHOT", nullptr, KTX_RC_OPERATION_FAILED, 0},
      {"IDR_TEST_SAMPLE_1", nullptr, nullptr, KTX_RC_OPERATION_FAILED, 0},
  };
  for (const Case &c : cases) {
    OnStack<KTX_BufferResource> res;
    EXPECT_EQ(res.LoadFromResource(c.name, c.type, c.module), c.result) << (c.name ? c.name : "null");
    EXPECT_EQ(res.GetCapacity(), c.size) << (c.name ? c.name : "null");
    uint8_t byte = 0;
    uint32_t n = 1;
    EXPECT_EQ(res.Read(&byte, &n), KTX_RC_OK);
    EXPECT_EQ(n, c.size > 0 ? 1u : 0u);
  }
}

TEST(BufferResource, EmbeddedBytesAreNotWritable) {
  OnStack<KTX_BufferResource> res;
  ASSERT_EQ(res.LoadFromResource("IDR_TEST_SAMPLE_1", "SNAPSHOT"), KTX_RC_OK);
  const uint8_t first = res.GetData()[0];
  uint8_t byte = static_cast<uint8_t>(first + 1);
  uint32_t n = 1;
  EXPECT_EQ(res.Write(&byte, &n), KTX_RC_OPERATION_NOT_PERMITTED);
  EXPECT_EQ(res.GetData()[0], first);
  EXPECT_EQ(res.WriteAt(0, &byte, &n), KTX_RC_OPERATION_NOT_PERMITTED);
}

} // namespace
