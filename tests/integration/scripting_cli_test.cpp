// `lumeray apply` with settings, action files and the filter's own last settings, as a user
// runs it.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "action_file.h"
#include "support/editor_cli.h"

namespace lumeray {
namespace {

using testing::kExitFailure;
using testing::kExitUsage;
using testing::ProcessResult;
using testing::ReadFileBytes;

class ScriptingCli : public ::testing::Test {
 protected:
  // Runs the editor with its own state folder, shared by the runs of one test.
  ProcessResult Lumeray(std::vector<std::string> arguments) {
    return testing::Lumeray(std::move(arguments), {{"XDG_STATE_HOME", state_.File("state")}});
  }

  std::string Out(const std::string& name) const { return dir_.File(name); }

  ProcessResult ExpectRefused(int status, std::vector<std::string> arguments) {
    const std::vector<std::string> before = dir_.Entries();
    ProcessResult result = Lumeray(std::move(arguments));
    EXPECT_EQ(result.exitStatus, status) << result.err;
    EXPECT_NE(result.err.find("lumeray: "), std::string::npos) << result.err;
    EXPECT_EQ(dir_.Entries(), before) << "no output, no temporary file";
    return result;
  }

  const std::string input_ = testing::SampleImage();
  testing::TempDir dir_;
  testing::TempDir state_;
};

TEST_F(ScriptingCli, WithoutSettingsTheFactorySettingsRenderTheSameImageEveryTime) {
  const ProcessResult first = Lumeray({"apply", input_, Out("first.png")});
  ASSERT_EQ(first.exitStatus, 0) << first.err;
  EXPECT_EQ(first.err, "") << "no dialog, no warning on a fresh machine";
  const ProcessResult second = Lumeray({"apply", input_, Out("second.png")});
  ASSERT_EQ(second.exitStatus, 0) << second.err;
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(ReadFileBytes(Out("first.png")), ReadFileBytes(Out("second.png")));

  // Other settings in between do not leak into the next plain run.
  ASSERT_EQ(Lumeray({"apply", input_, Out("other.png"), "--intensity", "90"}).exitStatus, 0);
  EXPECT_NE(ReadFileBytes(Out("other.png")), ReadFileBytes(Out("first.png")));
  ASSERT_EQ(Lumeray({"apply", input_, Out("third.png"), "--quiet"}).exitStatus, 0);
  EXPECT_EQ(ReadFileBytes(Out("third.png")), ReadFileBytes(Out("first.png")));
}

TEST_F(ScriptingCli, ARecordedActionReplaysToTheSameImage) {
  const ProcessResult recorded =
      Lumeray({"apply", input_, Out("recorded.png"), "--effect", "Star Burst", "--points", "10",
               "--record", Out("a.json")});
  ASSERT_EQ(recorded.exitStatus, 0) << recorded.err;
  std::string text(reinterpret_cast<const char*>(ReadFileBytes(Out("a.json")).data()),
                   ReadFileBytes(Out("a.json")).size());
  Descriptor settings;
  std::string error;
  ASSERT_TRUE(ParseActionFile(text, &settings, &error)) << error;
  EXPECT_EQ(settings.size(), 13u);
  EXPECT_EQ(settings.Find(FourCC("numP"))->integer, 10);
  EXPECT_EQ(settings.Find(FourCC("stEf"))->enumValue, FourCC("efT6"));

  const ProcessResult played =
      Lumeray({"apply", input_, Out("played.png"), "--play", Out("a.json")});
  ASSERT_EQ(played.exitStatus, 0) << played.err;
  EXPECT_EQ(ReadFileBytes(Out("played.png")), ReadFileBytes(Out("recorded.png")));

  ASSERT_EQ(Lumeray({"apply", input_, Out("plain.png")}).exitStatus, 0);
  EXPECT_NE(ReadFileBytes(Out("plain.png")), ReadFileBytes(Out("recorded.png")));
}

TEST_F(ScriptingCli, RepeatRendersWithTheLastSettingsOfAnEarlierRun) {
  ASSERT_EQ(Lumeray({"apply", input_, Out("north.png"), "--effect", "North Star"}).exitStatus, 0);
  const ProcessResult repeated = Lumeray({"apply", input_, Out("repeat.png"), "--repeat"});
  ASSERT_EQ(repeated.exitStatus, 0) << repeated.err;
  EXPECT_EQ(repeated.err, "");
  EXPECT_EQ(ReadFileBytes(Out("repeat.png")), ReadFileBytes(Out("north.png")));
  ExpectRefused(kExitUsage, {"apply", input_, Out("x.png"), "--repeat", "--intensity", "5"});
  ExpectRefused(kExitUsage, {"apply", input_, Out("x.png"), "--repeat", "--play", Out("a.json")});
}

TEST_F(ScriptingCli, FaultyActionFilesAndUnknownEffectsWriteNothing) {
  const std::string bad = state_.File("bad.json");
  const auto write = [&](const std::string& text) {
    testing::WriteFileBytes(bad, std::vector<uint8_t>(text.begin(), text.end()));
  };
  write("{\"format\": \"lumeray action\", \"version\": 1, \"keys\": [");
  ProcessResult result =
      ExpectRefused(kExitFailure, {"apply", input_, Out("x.png"), "--play", bad});
  EXPECT_NE(result.err.find("not valid JSON"), std::string::npos) << result.err;

  ExpectRefused(kExitFailure, {"apply", input_, Out("x.png"), "--play", state_.File("none.json")});
  result = ExpectRefused(kExitUsage, {"apply", input_, Out("x.png"), "--effect", "Supernova"});
  EXPECT_NE(result.err.find("unknown effect \"Supernova\""), std::string::npos) << result.err;
}

}  // namespace
}  // namespace lumeray
