#pragma once
// Shared tools of the configuration tests: token sources in both encodings, a
// tree that holds every kind of value, and field-by-field tree comparison.

#include "buffers/BufferHeap.h"
#include "buffers/BufferToken.h"
#include "buffers/OnStack.h"
#include "config/ConfigDevice.h"
#include "runtime/DateTime.h"
#include "runtime/Version.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kBinary = KTX_BufferToken::c_u32EncodingBinary;
constexpr uint32_t kText = KTX_BufferToken::c_u32EncodingText;

KTX_Version TestVersion();
KTX_DateTime TestFileDate();

Bytes Contents(const KTX_BufferHeap &p_roHeap);
std::string AsText(const Bytes &p_roBytes);
void Append(KTX_BufferHeap &p_roHeap, const std::string &p_strText);
void Append(KTX_BufferHeap &p_roHeap, const Bytes &p_roBytes);

// The lines, each followed by CR LF.
std::string Lines(const std::vector<std::string> &p_roLines);

// A buffer and a token stream whose read encoding is set, positioned after the
// file header: what a node's ReadConfig sees once its "Begin" is consumed.
struct TokenSource {
  OnStack<KTX_BufferHeap> oHeap;
  OnStack<KTX_BufferToken> oToken;
};
// Text lines (each without CR LF) after a text header.
std::unique_ptr<TokenSource> TextSource(const std::vector<std::string> &p_roLines);
// Tokens written by p_fnWrite in the binary encoding after a binary header.
std::unique_ptr<TokenSource> BinarySource(const std::function<void(KTX_BufferToken &, KTX_Buffer &)> &p_fnWrite);

// The whole token file of a tree in one encoding.
Bytes WriteFile(KTX_Config &p_roConfig, uint32_t p_u32Encoding);
// Reads a whole token file into a new root; the result code through p_pi32Result.
std::unique_ptr<KTX_Config> ReadFile(const Bytes &p_roFile, int32_t *p_pi32Result);

std::u16string Wide(const KTX_StringUnicode &p_roText);
void SetWide(KTX_StringUnicode &p_roText, const std::u16string &p_strText);

// A tree with a value in every field: eight descriptions, notes with non-ASCII
// text, network settings, a pedestrian-extend detector with five regions,
// calibration points and snapshot image data.
std::unique_ptr<KTX_ConfigDevice> MakeFullTree();

// Field-by-field comparison; reports each difference as a test failure.
void ExpectSameTree(const KTX_ConfigDevice &p_roExpected, const KTX_ConfigDevice &p_roActual);
