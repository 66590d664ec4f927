#pragma once
// The media vocabulary shared by every part of the library: transports, stream modes, the
// endpoint capacity record, tone types, processor object types and a case-insensitive
// compare. Each enumeration has a function giving its text; transports and stream modes
// can also be parsed from text.
//
// Every function here is pure, never throws and may be called from any thread. The
// enumerations have a fixed 32-bit underlying type, so any int converted to one of them is
// a legal value: values outside a table print as that table's fallback text.

#include <cstdint>
#include <ostream>
#include <string>
#include <unordered_map>

#include "tidewave/infra/Configuration.h"

namespace Omvera {

// Compares in_szLeft and in_szRight without regard to ASCII letter case, with the result
// convention of POSIX strcasecmp: negative, zero or positive as in_szLeft sorts before,
// equal to or after in_szRight (letters compared as lower case, bytes as unsigned char).
// A null pointer sorts before every text and equal to another null pointer.
int strcasecmp(const char* in_szLeft, const char* in_szRight);

namespace Media {

// The way media reaches an endpoint.
enum Transport : std::int32_t {
  eCTBUS_TRANSPORT = 0,      // "ctbus"
  eIN_MEMORY_TRANSPORT = 1,  // "in-memory": on the host
  eDUMMY_TRANSPORT = 2,      // "dummy"
  eUNDEF_TRANSPORT = 3       // "undef": what every unrecognised text parses to
};

// The text of a transport: "ctbus", "in-memory", "dummy", "undef"; any other value "???".
const char* getMediaTransportString(Transport in_eTransport);

// Writes getMediaTransportString(in_eTransport) and returns the stream.
std::ostream& operator<<(std::ostream& out_stream, const Transport& in_eTransport);

// Parses a transport, ignoring letter case: "ctbus" gives eCTBUS_TRANSPORT; "in-memory",
// "inmemory", "host-based" and "hostbased" give eIN_MEMORY_TRANSPORT; "dummy" and
// "dummy-rtp" give eDUMMY_TRANSPORT. Anything else (blanks are not trimmed), the empty
// text and a null pointer give eUNDEF_TRANSPORT.
Transport parseMediaTransport(const char* in_szText);

// The direction of a media stream, named like the SDP direction attributes.
enum StreamMode : std::int32_t {
  eSEND_ONLY_MODE = 0,       // "sendonly"
  eRECV_ONLY_MODE = 1,       // "recvonly"
  eSEND_RECV_MODE = 2,       // "sendrecv"
  eINACTIVE_MODE = 3,        // "inactive"
  eINACTIVE_ALIAS_MODE = 4,  // another value for inactive; prints "inactive"
  eUNDEF_MODE = 5            // "undef": what every unrecognised text parses to
};

// The text of a stream mode: "sendonly", "recvonly", "sendrecv", "inactive" (for 3 and 4),
// "undef" (for eUNDEF_MODE, which parses back to eUNDEF_MODE); any other value "???".
const char* getMediaModeString(StreamMode in_eMode);

// Parses a stream mode, ignoring letter case: "sendonly", "recvonly", "sendrecv" and
// "inactive" give 0 to 3. Anything else (blanks are not trimmed), the empty text and a
// null pointer give eUNDEF_MODE.
StreamMode parseMediaMode(const char* in_szText);

}  // namespace Media

// The capacity of one direction of an endpoint: parameter name to a list of values. The
// names and values are the concrete engine's; the library only carries the record from the
// engine endpoint to the caller. A copyable value; one thread at a time.
class MediaEndpointCapacity : public std::unordered_map<std::string, ParameterValueVector> {
 public:
  using std::unordered_map<std::string, ParameterValueVector>::unordered_map;
};

// Writes the entries in the map's iteration order, each as the name, one blank, then the
// values with one blank between two values. A line end (with flush) separates two entries;
// none follows the last. An empty record writes nothing.
std::ostream& operator<<(std::ostream& out_stream, const MediaEndpointCapacity& in_capacity);

// The tone types of tone detectors.
class ToneDetector {
 public:
  enum ToneType : std::int32_t {
    SPRINGWARE_CALL_PROGRESS_TONE = 0,
    HMP_CALL_PROGRESS_TONE = 1,
    CUSTOM_TONE_RELAY = 2,
    DISCONNECT_TONE = 3,
    LOCAL_DIAL_TONE = 4,
    INTERNATIONAL_DIAL_TONE = 5,
    EXTRA_DIAL_TONE = 6,
    POST_AMD_TONE = 7,
    HMP_PRE_CONNECT_REORDER_TONE = 8,
    UNDEF_TONE_TYPE = 9
  };

  // The enumerator's name as text; any other value "???".
  static const char* getToneTypeString(ToneType in_eType);
};

// The kinds of media processing objects an endpoint can offer.
class MediaEndpointProcessorObjectType {
 public:
  enum ObjectType : std::int32_t {
    eSIGNAL_DETECTOR = 0,
    ePLAYER = 1,
    eRECORDER = 2,
    eUNDEFINED_OBJECT_TYPE = 3
  };

  // The enumerator's name as text; any other value "???".
  static const char* getObjectTypeString(ObjectType in_eType);
};

}  // namespace Omvera
