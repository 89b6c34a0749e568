// The scripting terminology resource, pinned at the bytes a host reads.
#include <gtest/gtest.h>

#include <string>

#include "resources/aete_resource.h"

namespace lumeray {
namespace {

using namespace std::string_literals;

const std::string& Resource() {
  static const std::string bytes(reinterpret_cast<const char*>(AeteResourceBytes().data()),
                                 AeteResourceBytes().size());
  return bytes;
}

void ExpectAt(size_t at, const std::string& expected) {
  ASSERT_NE(at, std::string::npos) << expected;
  EXPECT_EQ(Resource().substr(at, expected.size()), expected) << "at " << at;
}

TEST(Aete, HeaderSuiteEventParametersAndEnumerationAtTheirBytes) {
  ASSERT_EQ(Resource().size(), 1010u) << "no padding anywhere";
  // Format 1.0, English, Roman, one suite: name, description, code, level 1, version 1; one
  // event.
  ExpectAt(0, "\1\0\0\0\0\0\1\0"s);
  ExpectAt(8,
           "\x10Vantrel Software\x10Vantrel Software"
           "1XTV\1\0\1\0\1\0"s);
  // The event: name, description, class, id, no reply, the image as direct parameter with the
  // flags 0xB000, thirteen parameters, the first right after.
  ExpectAt(52,
           "\x0dLumeray Pro 2\x1cLumeray Pro 2 filter plug-in"
           "1XTV1XTVllun\0\0\0RmI#\0\0\xB0\x0d\0"
           "\x12output spikes onlyOspoloob\x1aLumeray output spikes only\0\0"s);
  // The enumerated parameter with its flag 0x2000; codes and types last character first.
  ExpectAt(Resource().find("\x06"
                           "effect"),
           "\x06"
           "effectfEtsyTfe\x18Lumeray star effect type\0\x20"s);
  ExpectAt(Resource().find("\x05"
                           "angle"),
           "\x05"
           "anglelgnAbuod\x0dLumeray angle\0\0"s);
  ExpectAt(Resource().find("\x10number of points"), "\x10number of pointsPmungnol"s);
  // No classes, no comparison operators, one enumeration of seven, ending the resource.
  ExpectAt(Resource().find("\0\0\0\0\1\0yTfe"s),
           "\0\0\0\0\1\0yTfe\7\0\x0dStandard Star0Tfe\x14Standard Star Effect"
           "\x0eHollywood Star1Tfe"s);
  ExpectAt(1010 - 33, "\x0aStar Burst6Tfe\x11Star Burst Effect"s);
}

}  // namespace
}  // namespace lumeray
