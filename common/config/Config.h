#pragma once
// A sensor configuration is a tree of nodes, each of one class derived from
// KTX_Config: the device root with its network settings and its sensor, the
// sensor with its cameras, calibration, video, detection and snapshots. Every
// node writes itself (a "Begin" token naming its configuration type and index,
// its values and child nodes one nesting level deeper, an "End" token) to a
// token stream and reads itself back from one.
//
// This header also holds the token ids of the configuration values with their
// keywords, which the text encoding of the token stream uses.

#include <cstdint>
#include <functional>

class KTX_Buffer;
class KTX_BufferToken;
class KTX_DateTime;
class KTX_Version;

// Configuration types: the first value of a node's "Begin" token.
enum KTX_ConfigType : uint32_t {
  KTX_CONFIG_TYPE_UNKNOWN = 0,
  KTX_CONFIG_TYPE_DEVICE = 1,
  KTX_CONFIG_TYPE_COMMUNICATIONS = 2,
  KTX_CONFIG_TYPE_SENSOR = 3,
  KTX_CONFIG_TYPE_CAMERA = 4,
  KTX_CONFIG_TYPE_CALIBRATION = 5,
  KTX_CONFIG_TYPE_VIDEO = 6,
  KTX_CONFIG_TYPE_DETECTION = 7,
  KTX_CONFIG_TYPE_SNAPSHOT = 8,
};

// Token ids of the configuration values (ids 1 to 6 belong to the token stream
// itself). Id 44 has no keyword: it exists only in the binary encoding.
enum KTX_ConfigTokenId : uint32_t {
  KTX_BTID_DESCRIPTION = 7,
  KTX_BTID_HOST_NAME = 8,
  KTX_BTID_IP_ADDRESS = 9,
  KTX_BTID_NETWORK_MASK = 10,
  KTX_BTID_GATEWAY_IP = 11,
  KTX_BTID_DOMAIN_NAME = 12,
  KTX_BTID_DNS_SERVER = 13,
  KTX_BTID_CALIBRATION_POINT_COUNT = 14,
  KTX_BTID_CALIBRATION_POINT = 15,
  KTX_BTID_CALIBRATION_SEED_POINT_INDEX = 16,
  KTX_BTID_VIDEO_STANDARD = 17,
  KTX_BTID_VIDEO_RESOLUTION = 18,
  KTX_BTID_DETECTOR_BASE = 19,
  KTX_BTID_DETECTOR_PED_CALL = 20,
  KTX_BTID_DETECTOR_PED_EXTEND = 21,
  KTX_BTID_DETECTOR_VEHICLE_CALL = 22,
  KTX_BTID_DETECTOR_REGION = 23,
  KTX_BTID_DETECTOR_REGION_POINTS = 24,
  KTX_BTID_DETECTOR_REGION_EDGE = 25,
  KTX_BTID_DETECTOR_REGION_EDGE_PIN = 26,
  KTX_BTID_TURN_ON_DELAY_CALL_THRESH_MS = 27,
  KTX_BTID_TURN_ON_EXTEND_CALL_THRESH_MS = 28,
  KTX_BTID_IO_INITIAL_STATE_OFF = 29,
  KTX_BTID_IO_FAILSAFE_MODE = 30,
  KTX_BTID_IO_ON_STATE = 31,
  KTX_BTID_DET_SENSITIVITY = 32,
  KTX_BTID_SNAPSHOT_FORMAT = 33,
  KTX_BTID_SNAPSHOT_WIDTH = 34,
  KTX_BTID_SNAPSHOT_HEIGHT = 35,
  KTX_BTID_SNAPSHOT_SIZE = 36,
  KTX_BTID_SNAPSHOT_BITS = 37,
  KTX_BTID_TOVIS_PARAMETER = 38,
  KTX_BTID_NOTES = 39,
  KTX_BTID_TRIGGER_MODE = 40,
  KTX_BTID_TRIGGER_MIN_ON_TIME = 41,
  KTX_BTID_TRIGGER_MAX_ON_TIME = 42,
  KTX_BTID_LOCAL_PORT = 43,
  KTX_BTID_NETWORK_OPTION = 44,
};

class KTX_Config {
public:
  KTX_Config();
  virtual ~KTX_Config();
  KTX_Config(const KTX_Config &) = delete;
  KTX_Config &operator=(const KTX_Config &) = delete;

  // Writes the node and its subtree through the token stream.
  virtual int32_t WriteConfig(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken) = 0;
  // Called after the node's own "Begin" was consumed; reads up to its "End".
  virtual int32_t ReadConfig(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken) = 0;
  // The post-creation hook, run on the root after creating and after reading a
  // configuration. Nodes with children finalize them first.
  virtual int32_t Finalize();
  virtual int32_t FinalizeSelf();

  uint32_t GetConfigType() const { return c_u32EnumBufferTokenCfgId; }

  // A new node of the class for a configuration type, holding its defaults. The
  // index is the camera index (0 or 1) or the snapshot index (0 to 3) for those
  // types and ignored by the others. Unknown types, indices out of range and a
  // missing output give KTX_RC_INVALID_PARAMETER; KTX_RC_MALLOC_FAILED when the
  // node cannot be made.
  static int32_t CreateConfig(uint32_t p_u32Type, uint32_t p_u32Index, KTX_Config **p_ppoConfig);

  // Makes the configuration keywords known to the token stream's text
  // encoding. Every node's constructor does it; calling it again is harmless.
  static void InstallKeywords();

protected:
  // "Begin" with the node's type and p_u32Index, then one nesting level deeper.
  int32_t WriteBegin(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken, uint32_t p_u32Index) const;
  // One nesting level back, then "End".
  static int32_t WriteEnd(KTX_Buffer *p_poBuffer, KTX_BufferToken *p_poToken);

  uint32_t c_u32EnumBufferTokenCfgId;
};

// Reads a whole token file: the header, the root's "Begin", then the root up to
// its "End". When *p_ppoConfig is empty a root of the type named by the "Begin"
// is created and handed over through *p_ppoConfig, also when the read fails
// later (it then holds what was read before the failure); a root given by the
// caller must be of that type (else KTX_RC_INVALID_PARAMETER). p_poFileDate,
// when given, receives the header's file date.
int32_t ReadTokenFile(KTX_BufferToken *p_poToken, KTX_Buffer *p_poBuffer, KTX_DateTime *p_poFileDate,
                      KTX_Config **p_ppoConfig);

// The read loop of a node whose "Begin" was consumed: reads tokens up to the
// "End" that closes the node and hands every other token's id to p_fnToken,
// which takes the token's value (the token stream holds it) and returns 0 to
// go on, or the code that ends the read (KTX_RC_BUFFER_GENERIC_ERROR for a
// token the node does not accept). A failure to read a token ends the read
// with that failure.
int32_t ReadNodeTokens(KTX_Buffer *p_poSource, KTX_BufferToken *p_poToken,
                       const std::function<int32_t(uint32_t p_u32Id)> &p_fnToken);

// The header of the token stream's write encoding followed by the tree.
int32_t WriteTokenFile(KTX_BufferToken *p_poToken, KTX_Buffer *p_poBuffer, const KTX_Version &p_roVersion,
                       const KTX_DateTime &p_roFileDate, KTX_Config *p_poConfig);
