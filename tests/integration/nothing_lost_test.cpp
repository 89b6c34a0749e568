// The editor against unlucky and hostile conditions: full disks, signals during the write,
// files that are not what they claim, action files out of range, paths that collide.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/editor_cli.h"
#include "support/srgb_profile.h"

namespace lumeray {
namespace {

using testing::kExitFailure;
using testing::kExitUsage;
using testing::Lumeray;
using testing::PatternImage;
using testing::ProcessResult;

constexpr int kSignalBase = 128;

ProcessResult LumerayUnder(const std::string& setup, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(),
                   {"/bin/bash", "-c", setup + "; exec \"$0\" \"$@\"", LUMERAY_EDITOR_PATH});
  return testing::RunProcess(arguments);
}

// Points the first tag of the profile embedded in `file` far outside it.
void BreakEmbeddedProfile(const std::string& file) {
  std::vector<uint8_t> bytes = testing::ReadFileBytes(file);
  const uint8_t signature[] = {'a', 'c', 's', 'p'};
  const auto found =
      std::search(bytes.begin(), bytes.end(), std::begin(signature), std::end(signature));
  ASSERT_NE(found, bytes.end());
  constexpr size_t kSignatureOffset = 36;
  constexpr size_t kFirstTagOffsetField = 128 + 4 + 4;
  const size_t field =
      static_cast<size_t>(found - bytes.begin()) - kSignatureOffset + kFirstTagOffsetField;
  const uint8_t hostile[] = {0xFF, 0xFF, 0xFF, 0x00};
  std::copy(std::begin(hostile), std::end(hostile), bytes.begin() + static_cast<long>(field));
  testing::WriteFileBytes(file, bytes);
}

uint32_t Crc32(const std::vector<uint8_t>& bytes, size_t from) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = from; i < bytes.size(); ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

void PutBigEndian(std::vector<uint8_t>* bytes, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    bytes->push_back(static_cast<uint8_t>(value >> shift));
}

void PutChunk(std::vector<uint8_t>* png, std::vector<uint8_t> chunk) {
  PutBigEndian(png, static_cast<uint32_t>(chunk.size() - 4));
  png->insert(png->end(), chunk.begin(), chunk.end());
  PutBigEndian(png, Crc32(chunk, 0));
}

// A PNG whose header claims width x height RGB pixels and whose data holds next to nothing.
std::vector<uint8_t> PngClaiming(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header = {'I', 'H', 'D', 'R'};
  PutBigEndian(&header, width);
  PutBigEndian(&header, height);
  header.insert(header.end(), {8, 2, 0, 0, 0});
  PutChunk(&png, header);
  PutChunk(&png, {'I', 'D', 'A', 'T', 0x78, 0x9C, 0x03, 0x00});
  PutChunk(&png, {'I', 'E', 'N', 'D'});
  return png;
}

using NothingLost = testing::EditorCli;

TEST_F(NothingLost, AFullDiskFailsTheRunAndKeepsTheOldOutput) {
  // A file-size limit makes every write past it fail, as a full disk does.
  testing::WriteTestImage(input_, PatternImage(256, 256, 3, false, SampleType::kUInt16));
  // An OpenEXR input written back as OpenEXR takes the editor's own zip writer.
  const std::string exrInput = dir_.File("input.exr");
  testing::WriteTestImage(exrInput, PatternImage(256, 256, 3, true, SampleType::kFloat32));
  for (const char* name : {"out.png", "out.jpg", "out.tif", "out.exr", "exr-to.exr"}) {
    SCOPED_TRACE(name);
    const std::string output = dir_.File(name);
    const std::string input = std::string(name) == "exr-to.exr" ? exrInput : input_;
    testing::WriteFileBytes(output, {'o', 'l', 'd'});
    const std::vector<std::string> before = dir_.Entries();
    const ProcessResult result =
        LumerayUnder("trap '' XFSZ; ulimit -f 1", {"apply", "--quiet", input, output});
    EXPECT_EQ(result.exitStatus, kExitFailure) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(testing::ReadFileBytes(output), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(dir_.Entries(), before);
  }
}

TEST_F(NothingLost, ASignalDuringTheWriteEndsTheRunWithNoOutputAndNoTemporaryFile) {
  testing::WriteTestImage(input_, PatternImage(800, 600, 3, false, SampleType::kUInt16));
  const std::string output = dir_.File("out.png");
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    std::vector<std::string> argText = {LUMERAY_EDITOR_PATH, "apply", "--quiet", input_, output};
    std::vector<char*> argv;
    for (std::string& text : argText) argv.push_back(text.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    // The temporary file appears when the write starts.
    bool writing = false;
    for (int poll = 0; poll < 60000 && !writing; ++poll) {
      for (const std::string& entry : dir_.Entries()) writing |= entry.rfind(".lumeray-", 0) == 0;
      if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (writing) kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(writing) << "the run ended before its write could be seen";
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 0) continue;  // the write had finished
    EXPECT_EQ(WEXITSTATUS(status), kSignalBase + signal);
    EXPECT_EQ(dir_.Entries(), std::vector<std::string>{"input.png"});
  }
}

TEST_F(NothingLost, HostileAndForeignFilesAreRefusedWithoutACrash) {
  const std::string out = dir_.File("out.png");
  HostImage profiled = PatternImage(16, 16, 3, false, SampleType::kUInt8);
  profiled.iccProfile = testing::SrgbProfile();
  for (const char* name : {"hostile.jpg", "hostile.tif"}) {
    testing::WriteTestImage(dir_.File(name), profiled);
    ASSERT_EQ(Lumeray({"apply", "--quiet", dir_.File(name), out}).exitStatus, 0) << name;
    std::remove(out.c_str());
    BreakEmbeddedProfile(dir_.File(name));
    const ProcessResult result = ExpectRefused(kExitFailure, {"apply", dir_.File(name), out});
    EXPECT_NE(result.err.find("colour profile"), std::string::npos) << result.err;
  }

  testing::WriteFileBytes(dir_.File("one.gif"),
                          {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'});
  testing::WriteFileBytes(dir_.File("icon.ico"), {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0});
  testing::WriteFileBytes(dir_.File("text.png"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i'});
  for (const char* name : {"one.gif", "icon.ico", "text.png"}) {
    const ProcessResult result = ExpectRefused(kExitFailure, {"apply", dir_.File(name), out});
    EXPECT_NE(result.err.find("PNG, JPEG, TIFF or OpenEXR"), std::string::npos) << result.err;
  }

  ASSERT_EQ(mkfifo(dir_.File("pipe.png").c_str(), 0600), 0);
  ExpectRefused(kExitFailure, {"apply", dir_.File("pipe.png"), out});
  ExpectRefused(kExitFailure, {"apply", "/dev/zero", out});
  ExpectRefused(kExitFailure, {"apply", input_, out, "--play", dir_.File("pipe.png")});
}

TEST_F(NothingLost, APipeAtTheStoredSettingsPathIsPassedOverNotWaitedOn) {
  const std::string state = dir_.File("state");
  std::filesystem::create_directories(state + "/lumeray");
  ASSERT_EQ(mkfifo((state + "/lumeray/registry").c_str(), 0600), 0);
  const ProcessResult result = testing::RunProcess(
      {LUMERAY_EDITOR_PATH, "apply", input_, dir_.File("out.png")}, {{"XDG_STATE_HOME", state}});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
}

TEST_F(NothingLost, ThePixelLimitAndTheModulesSizeLimitRefuseBeforeReadingPixels) {
  const std::string out = dir_.File("out.png");
  testing::WriteFileBytes(dir_.File("claims.png"), PngClaiming(30000, 30000));
  const ProcessResult bomb = ExpectRefused(kExitFailure, {"apply", dir_.File("claims.png"), out});
  EXPECT_NE(bomb.err.find("--max-pixels"), std::string::npos) << bomb.err;
  // The input has 48 x 32 = 1536 pixels.
  ExpectRefused(kExitFailure, {"apply", input_, out, "--max-pixels", "1535"});
  EXPECT_EQ(Lumeray({"apply", "--quiet", input_, out, "--max-pixels", "1536"}).exitStatus, 0);
  ExpectRefused(kExitUsage, {"apply", input_, out, "--max-pixels", "many"});
  std::remove(out.c_str());

  // The module declares 32767 pixels as its largest width and height.
  testing::WriteTestImage(dir_.File("wide.png"),
                          PatternImage(32768, 1, 1, false, SampleType::kUInt8));
  const ProcessResult wide = ExpectRefused(kExitFailure, {"apply", dir_.File("wide.png"), out});
  EXPECT_NE(wide.err.find("32767"), std::string::npos) << wide.err;
}

TEST_F(NothingLost, OutputsTheWritersCannotTakeAreRefusedOrConvertedBeforeTheRender) {
  ExpectRefused(kExitFailure, {"apply", input_, dir_.File("out.jp2")});
  ExpectRefused(kExitFailure, {"apply", input_, dir_.File("out.gif")});

  // A name near the file system's limit still gets a temporary name beside it.
  const std::string longName = dir_.File(std::string(248, 'n') + ".png");
  EXPECT_EQ(Lumeray({"apply", "--quiet", input_, longName}).exitStatus, 0);
  std::remove(longName.c_str());

  // PNG's codec takes only a D50 illuminant; a profile with a slightly different one (as many
  // wide-gamut profiles have) is corrected rather than failing after the render.
  HostImage profiled = PatternImage(16, 16, 3, false, SampleType::kUInt8);
  profiled.iccProfile = testing::SrgbProfile();
  profiled.iccProfile[71] ^= 0x01;  // the low byte of the illuminant's X
  testing::WriteTestImage(dir_.File("wide.tif"), profiled);
  const ProcessResult result = Lumeray({"apply", dir_.File("wide.tif"), dir_.File("out.png")});
  EXPECT_EQ(result.exitStatus, 0) << result.err;
  // EXR cannot carry a profile: with --quiet nothing at all is said about it.
  const ProcessResult exr =
      Lumeray({"apply", "--quiet", dir_.File("wide.tif"), dir_.File("out.exr")});
  EXPECT_EQ(exr.exitStatus, 0) << exr.err;
  EXPECT_EQ(exr.err, "");
}

TEST_F(NothingLost, WrittenFilesMayNeitherCollideNorReplaceAnInput) {
  const std::string out = dir_.File("out.png");
  const std::string link = dir_.File("link.png");
  ASSERT_EQ(symlink(input_.c_str(), link.c_str()), 0);
  const std::vector<uint8_t> original = testing::ReadFileBytes(input_);
  ExpectRefused(kExitFailure, {"apply", input_, out, "--record", input_});
  ExpectRefused(kExitFailure, {"apply", input_, out, "--record", link});
  ExpectRefused(kExitFailure, {"apply", input_, input_});
  ExpectRefused(kExitFailure, {"apply", input_, out, "--record", out});
  EXPECT_EQ(testing::ReadFileBytes(input_), original);
}

TEST_F(NothingLost, ActionFileValuesOutsideTheSettingRangesAreUsageErrors) {
  const std::string out = dir_.File("out.png");
  const std::string action = dir_.File("action.json");
  const char* kValues[] = {
      R"({"key": "qntY", "type": "UntF", "unit": "#Prc", "value": 1e9})",
      R"({"key": "Lngt", "type": "UntF", "unit": "#Prc", "value": 100000})",
      R"({"key": "numP", "type": "long", "value": -6})",
      R"({"key": "sflB", "type": "UntF", "unit": "#Prc", "value": -5})",
  };
  for (const char* value : kValues) {
    const std::string text =
        std::string(R"({"format": "lumeray action", "version": 1, "keys": [)") + value + "]}";
    testing::WriteFileBytes(action, std::vector<uint8_t>(text.begin(), text.end()));
    const ProcessResult result =
        ExpectRefused(kExitUsage, {"apply", input_, out, "--play", action});
    EXPECT_EQ(result.err.find("LastSaved"), std::string::npos);
  }
}

TEST_F(NothingLost, StandardOutputThatCannotBeWrittenFailsTheCommand) {
  EXPECT_EQ(LumerayUnder("exec >/dev/full", {"sources", input_}).exitStatus, kExitFailure);
  EXPECT_EQ(LumerayUnder("exec >/dev/full", {"--help"}).exitStatus, kExitFailure);
}

TEST_F(NothingLost, TheModulesMessagesAppearOnceAndNotWithQuiet) {
  // Only the effect: the module warns that the other settings are defaults.
  const std::string action = dir_.File("action.json");
  const std::string text =
      R"({"format": "lumeray action", "version": 1, "keys": [{"key": "numP", "type": "long", "value": 8}]})";
  testing::WriteFileBytes(action, std::vector<uint8_t>(text.begin(), text.end()));
  const auto count = [](const std::string& text) {
    size_t found = 0;
    for (size_t at = text.find("incomplete"); at != std::string::npos;
         at = text.find("incomplete", at + 1)) {
      ++found;
    }
    return found;
  };
  const std::string out = dir_.File("out.png");
  const ProcessResult loud = Lumeray({"apply", input_, out, "--play", action});
  EXPECT_EQ(count(loud.err), 1u) << loud.err;
  const ProcessResult quiet = Lumeray({"apply", "--quiet", input_, out, "--play", action});
  EXPECT_EQ(quiet.exitStatus, 0);
  EXPECT_EQ(quiet.err, "");
}

}  // namespace
}  // namespace lumeray
