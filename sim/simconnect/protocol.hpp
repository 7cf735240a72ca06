#pragma once
// The SimConnect wire protocol as this program speaks it: the packet header and packet types it
// sends, the received message ids and layouts it reads, and the simulator's enumeration values.
// Shared by the client library and the simulator double. All numbers are little-endian.

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace amb::sc {

static_assert(std::endian::native == std::endian::little, "the wire format is little-endian");

inline constexpr std::uint32_t kProtocolVersion = 35;
inline constexpr std::uint32_t kPacketIdFlag = 0xF0000000;
inline constexpr std::uint32_t kSendHeaderSize = 16;
inline constexpr std::uint32_t kRecvHeaderSize = 12;
inline constexpr std::uint32_t kDefaultMaxReceiveSize = 41088;
inline constexpr std::uint32_t kComposeBufferSize = 41088;
inline constexpr std::uint32_t kUnused = 0xFFFFFFFF;

// Packet types the client sends, with their sizes.
enum PacketType : std::uint32_t {
  kOpen = 0x01,
  kMapClientEventToSimEvent = 0x04,
  kTransmitClientEvent = 0x05,
  kAddClientEventToNotificationGroup = 0x07,
  kSetNotificationGroupPriority = 0x09,
  kAddToDataDefinition = 0x0C,
  kRequestDataOnSimObject = 0x0E,
  kRequestDataOnSimObjectType = 0x0F,
  kSetDataOnSimObject = 0x10,
  kSubscribeToSystemEvent = 0x17,
  kAICreateNonATCAircraft = 0x29,
  kAIReleaseControl = 0x2B,
  kAIRemoveObject = 0x2C,
  kAISetAircraftFlightPlan = 0x2D,
};

inline constexpr std::uint32_t kOpenSize = 296;
inline constexpr std::uint32_t kMapClientEventSize = 276;
inline constexpr std::uint32_t kTransmitClientEventSize = 36;
inline constexpr std::uint32_t kAddToGroupSize = 28;
inline constexpr std::uint32_t kGroupPrioritySize = 24;
inline constexpr std::uint32_t kAddToDataDefinitionSize = 544;
inline constexpr std::uint32_t kRequestDataSize = 48;
inline constexpr std::uint32_t kRequestDataByTypeSize = 32;
inline constexpr std::uint32_t kSetDataHeaderSize = 36;  // then count x unit size bytes
inline constexpr std::uint32_t kSubscribeSize = 276;
inline constexpr std::uint32_t kCreateAircraftSize = 344;
inline constexpr std::uint32_t kReleaseControlSize = 24;
inline constexpr std::uint32_t kRemoveObjectSize = 24;
inline constexpr std::uint32_t kFlightPlanSize = 284;

// Fields of the open packet after the application name.
inline constexpr std::uint32_t kOpenMagic = 0x50334400;
inline constexpr std::uint32_t kOpenVersionA = 5;
inline constexpr std::uint32_t kOpenVersionB = 3;

// Received message ids.
enum RecvId : std::uint32_t {
  kRecvNull = 0,
  kRecvException = 1,
  kRecvOpen = 2,
  kRecvQuit = 3,
  kRecvEvent = 4,
  kRecvEventObjectAddRemove = 5,
  kRecvEventFilename = 6,
  kRecvEventFrame = 7,
  kRecvSimObjectData = 8,
  kRecvSimObjectDataByType = 9,
  kRecvAssignedObjectId = 12,
  kRecvClientData = 16,
};

// Data types, periods, object types and the exceptions the program meets.
enum DataType : std::uint32_t {
  kInt32 = 1, kInt64 = 2, kFloat32 = 3, kFloat64 = 4, kString8 = 5, kString32 = 6, kString64 = 7,
  kString128 = 8, kString256 = 9, kString260 = 10, kStringV = 11,
};
enum Period : std::uint32_t { kPeriodNever = 0, kPeriodOnce = 1, kPeriodVisualFrame = 2, kPeriodSimFrame = 3, kPeriodSecond = 4 };
enum ObjectType : std::uint32_t { kObjectUser = 0, kObjectAll = 1, kObjectAircraft = 2 };
enum Exception : std::uint32_t {
  kExceptionError = 1,
  kExceptionSizeMismatch = 2,
  kExceptionUnrecognizedId = 3,
  kExceptionVersionMismatch = 5,
  kExceptionTooManyObjects = 11,
  kExceptionInvalidDataSize = 19,
  kExceptionCreateObjectFailed = 22,
  kExceptionLoadFlightplanFailed = 23,
  kExceptionOperationInvalidForObjectType = 24,
};

// Received layouts (all fields 4-byte aligned; no padding).
struct RecvHeader {
  std::uint32_t size;
  std::uint32_t version;
  std::uint32_t id;
};
struct RecvExceptionMsg {
  RecvHeader h;
  std::uint32_t exception;
  std::uint32_t sendId;
  std::uint32_t index;
};
struct RecvOpenMsg {
  RecvHeader h;
  char applicationName[256];
  std::uint32_t applicationVersionMajor;
  std::uint32_t applicationVersionMinor;
  std::uint32_t applicationBuildMajor;
  std::uint32_t applicationBuildMinor;
  std::uint32_t simConnectVersionMajor;
  std::uint32_t simConnectVersionMinor;
  std::uint32_t simConnectBuildMajor;
  std::uint32_t simConnectBuildMinor;
  std::uint32_t reserved1;
  std::uint32_t reserved2;
};
struct RecvEventMsg {
  RecvHeader h;
  std::uint32_t groupId;
  std::uint32_t eventId;
  std::uint32_t data;
};
struct RecvObjectAddRemoveMsg {
  RecvEventMsg e;
  std::uint32_t objectType;
};
struct RecvFilenameMsg {
  RecvEventMsg e;
  char fileName[260];
  std::uint32_t flags;
};
struct RecvFrameMsg {
  RecvEventMsg e;
  float frameRate;
  float simSpeed;
};
struct RecvObjectDataMsg {  // ids 8 and 9; the data follow
  RecvHeader h;
  std::uint32_t requestId;
  std::uint32_t objectId;
  std::uint32_t defineId;
  std::uint32_t flags;
  std::uint32_t entryNumber;
  std::uint32_t outOf;
  std::uint32_t defineCount;
};
struct RecvAssignedObjectIdMsg {
  RecvHeader h;
  std::uint32_t requestId;
  std::uint32_t objectId;
};
static_assert(sizeof(RecvHeader) == 12 && sizeof(RecvExceptionMsg) == 24 && sizeof(RecvOpenMsg) == 308);
static_assert(sizeof(RecvEventMsg) == 24 && sizeof(RecvObjectAddRemoveMsg) == 28 && sizeof(RecvFilenameMsg) == 288);
static_assert(sizeof(RecvFrameMsg) == 32 && sizeof(RecvObjectDataMsg) == 40 && sizeof(RecvAssignedObjectIdMsg) == 20);

// The fixed fields the program reads of each message id: a message shorter than this is not read
// (0 for ids whose fields are not read).
constexpr std::uint32_t recvFixedSize(std::uint32_t id) {
  switch (id) {
    case kRecvException: return 24;
    case kRecvOpen: return 284;  // the name and the four application version numbers
    case kRecvEvent: return 24;
    case kRecvEventObjectAddRemove: return 28;
    case kRecvEventFilename: return 24;  // the file name itself is not read
    case kRecvEventFrame: return 32;
    case kRecvSimObjectData:
    case kRecvSimObjectDataByType: return 40;
    default: return 0;
  }
}

// Copies a received message into its layout: the first min(size, sizeof(T)) bytes, the rest zero.
// Nothing when the message is shorter than minSize.
template <typename T>
std::optional<T> readRecv(const void* msg, std::uint32_t size, std::uint32_t minSize = sizeof(T)) {
  if (!msg || size < minSize) return std::nullopt;
  T out{};
  std::memcpy(&out, msg, size < sizeof(T) ? size : sizeof(T));
  return out;
}

// A fixed text field as a string: up to its first NUL, never past the field.
inline std::string fieldText(const char* field, std::size_t fieldSize) {
  std::size_t n = 0;
  while (n < fieldSize && field[n] != '\0') ++n;
  return std::string(field, n);
}

// Little-endian stores and loads at a byte offset.
inline void putU32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline void putF32(std::uint8_t* p, float v) { std::memcpy(p, &v, 4); }
inline void putF64(std::uint8_t* p, double v) { std::memcpy(p, &v, 8); }
inline void putI64(std::uint8_t* p, std::int64_t v) { std::memcpy(p, &v, 8); }
inline std::uint32_t getU32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline float getF32(const std::uint8_t* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}
inline double getF64(const std::uint8_t* p) {
  double v;
  std::memcpy(&v, p, 8);
  return v;
}
inline std::int64_t getI64(const std::uint8_t* p) {
  std::int64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

}  // namespace amb::sc
