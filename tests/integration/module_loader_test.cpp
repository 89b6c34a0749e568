// Reading a module's property list and refusing modules before they are loaded.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "elf_sections.h"
#include "module_loader.h"
#include "pipl.h"
#include "support/pipl_bytes.h"
#include "support/temp_dir.h"

namespace lumeray {
namespace {

using testing::BuildPipl;
using testing::LumerayPiplEntries;
using testing::PiplEntry;
using testing::TempDir;

constexpr int16_t kAllModes[] = {kModeGrayScale, kModeRGB,   kModeGray16,
                                 kModeRGB48,     kModeRGB96, kModeGray32};

std::vector<PiplEntry> WithEntry(FourCode key, std::vector<uint8_t> data) {
  std::vector<PiplEntry> entries = LumerayPiplEntries();
  for (PiplEntry& entry : entries) {
    if (entry.key == key) entry.data = std::move(data);
  }
  return entries;
}

std::vector<PiplEntry> Without(FourCode key) {
  std::vector<PiplEntry> entries = LumerayPiplEntries();
  std::erase_if(entries, [&](const PiplEntry& entry) { return entry.key == key; });
  return entries;
}

std::string ParseError(const std::vector<uint8_t>& bytes) {
  std::string error;
  EXPECT_FALSE(ParsePipl(bytes, &error).has_value());
  return error;
}

bool IsLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

TEST(Pipl, ReadsTheModulesPropertiesAndEnablesTheSixModes) {
  std::string error;
  const auto properties = ParsePipl(BuildPipl(LumerayPiplEntries()), &error);
  ASSERT_TRUE(properties) << error;
  EXPECT_EQ(properties->properties.size(), 11u);
  EXPECT_EQ(properties->kind, FourCC("8BFM"));
  EXPECT_EQ(properties->name, "Lumeray Pro 2...");
  EXPECT_EQ(properties->category, "Vantrel Software");
  EXPECT_EQ(properties->interfaceVersion, 0x00040000u);
  EXPECT_EQ(properties->entryPoint, "PluginMain");
  EXPECT_TRUE(IsUsableFilterModule(*properties, &error)) << error;
  for (const int16_t mode : kAllModes) {
    EXPECT_TRUE(ModuleEnablesMode(*properties, mode, &error)) << mode << ": " << error;
  }
  EXPECT_FALSE(ModuleEnablesMode(*properties, 4 /* CMYK */, &error));
}

TEST(Pipl, EveryTruncationIsRefused) {
  const std::vector<uint8_t> bytes = BuildPipl(LumerayPiplEntries());
  for (size_t size = 0; size < bytes.size(); ++size) {
    std::string error;
    EXPECT_FALSE(ParsePipl(std::span(bytes).first(size), &error)) << size;
    EXPECT_FALSE(error.empty());
  }
}

TEST(Pipl, MalformedListsAreRefusedWithTheReason) {
  const std::vector<uint8_t> good = BuildPipl(LumerayPiplEntries());
  std::vector<uint8_t> version = good;
  version[0] = 2;
  std::vector<uint8_t> tooLong = good;
  tooLong[10 + 12 + 3] = 0x7F;  // the first length's high byte, after header, vendor, key, id
  std::vector<uint8_t> trailing = good;
  trailing.push_back(1);
  std::vector<PiplEntry> twice = LumerayPiplEntries();
  twice.push_back(twice.front());
  const std::pair<std::vector<uint8_t>, const char*> cases[] = {
      {version, "version 2"},
      {tooLong, "claims"},
      {trailing, "after its last property"},
      {BuildPipl(WithEntry(FourCC("name"), {200, 'L'})), "'name'"},
      {BuildPipl(WithEntry(FourCC("8664"), testing::Text("PluginMain"))), "terminating zero"},
      {BuildPipl(WithEntry(FourCC("enbl"),
                           testing::Padded(testing::Text("PSHOP_ImageMode == RGBMode"), 28))),
       "enable expression"},
      {BuildPipl(twice), "twice"}};
  for (const auto& [bytes, reason] : cases) {
    EXPECT_NE(ParseError(bytes).find(reason), std::string::npos) << reason;
  }
}

TEST(Pipl, RefusesModulesThatAreNoFiltersOrDoNotEnableTheMode) {
  std::string error;
  auto properties =
      ParsePipl(BuildPipl(WithEntry(FourCC("kind"), testing::Code(FourCC("8BEF")))), &error);
  ASSERT_TRUE(properties);
  EXPECT_FALSE(IsUsableFilterModule(*properties, &error));
  EXPECT_NE(error.find("8BEF"), std::string::npos);
  properties = ParsePipl(BuildPipl(Without(FourCC("8664"))), &error);
  ASSERT_TRUE(properties);
  EXPECT_FALSE(IsUsableFilterModule(*properties, &error));

  properties = ParsePipl(BuildPipl(WithEntry(FourCC("mode"), {0x10, 0, 0, 0})), &error);
  ASSERT_TRUE(properties);
  EXPECT_TRUE(ModuleEnablesMode(*properties, kModeRGB48, &error));
  EXPECT_FALSE(ModuleEnablesMode(*properties, kModeGray16, &error));
  EXPECT_NE(error.find("16-bit greyscale"), std::string::npos);

  properties = ParsePipl(
      BuildPipl(WithEntry(
          FourCC("enbl"),
          testing::Padded(testing::Text("in (PSHOP_ImageMode, RGBMode, GrayScaleMode)"), 48))),
      &error);
  ASSERT_TRUE(properties);
  EXPECT_TRUE(ModuleEnablesMode(*properties, kModeGrayScale, &error));
  EXPECT_FALSE(ModuleEnablesMode(*properties, kModeRGB96, &error));
  EXPECT_NE(error.find("RGB96Mode"), std::string::npos);

  // Without an expression the 'mode' flags decide; 32-bit modes need an expression.
  std::vector<PiplEntry> entries = Without(FourCC("enbl"));
  for (PiplEntry& entry : entries) {
    if (entry.key == FourCC("mode")) entry.data = {0x50, 0x20, 0, 0};  // Gray16 but not RGB48
  }
  properties = ParsePipl(BuildPipl(entries), &error);
  ASSERT_TRUE(properties);
  EXPECT_TRUE(ModuleEnablesMode(*properties, kModeRGB, &error));
  EXPECT_TRUE(ModuleEnablesMode(*properties, kModeGray16, &error));
  EXPECT_FALSE(ModuleEnablesMode(*properties, kModeRGB48, &error));
  EXPECT_FALSE(ModuleEnablesMode(*properties, kModeGray32, &error));
}

TEST(ModuleSearch, AChosenPathWinsThenTheBuildTreeThenTheInstallation) {
  TempDir dir;
  std::string error;
  EXPECT_EQ(FindModule("/chosen.8bf", "/env.8bf", dir.path().string(), &error), "/chosen.8bf");
  EXPECT_EQ(FindModule("", "/env.8bf", dir.path().string(), &error), "/env.8bf");

  const std::filesystem::path bin = dir.path() / "bin";
  const std::filesystem::path installed = dir.path() / "lib/lumeray/plug-ins";
  std::filesystem::create_directories(installed);
  std::filesystem::create_directories(bin / "plug-ins");
  EXPECT_FALSE(FindModule("", nullptr, bin.string(), &error));
  EXPECT_NE(error.find("LUMERAY_PLUGIN"), std::string::npos);
  std::ofstream(installed / kModuleFileName) << "x";
  EXPECT_EQ(FindModule("", "", bin.string(), &error),
            (bin / "../lib/lumeray/plug-ins" / kModuleFileName).string());
  std::ofstream(bin / "plug-ins" / kModuleFileName) << "x";
  EXPECT_EQ(FindModule("", nullptr, bin.string(), &error),
            (bin / "plug-ins" / kModuleFileName).string());
}

class ModuleFile : public ::testing::Test {
 protected:
  // A copy of the real module, changed by `patch`.
  std::string PatchedCopy(const std::function<void(std::vector<uint8_t>&)>& patch) {
    std::vector<uint8_t> bytes = testing::ReadFileBytes(LUMERAY_MODULE_PATH);
    patch(bytes);
    const std::string path = dir_.File("copy" + std::to_string(++copies_) + ".8bf");
    testing::WriteFileBytes(path, bytes);
    return path;
  }

  ElfSection Section(const std::string& name) {
    ElfSection section;
    std::string error;
    EXPECT_EQ(ReadElfSection(LUMERAY_MODULE_PATH, name, &section, &error), ElfReadStatus::kOk)
        << error;
    return section;
  }

  std::string Refusal(const std::string& path, int16_t mode) {
    std::string error;
    EXPECT_EQ(LoadedModule::Load(path, mode, &error), nullptr) << path;
    EXPECT_FALSE(IsLoaded(path)) << "a refused module must not be loaded";
    return error;
  }

  TempDir dir_;
  int copies_ = 0;
};

TEST_F(ModuleFile, TheRealModuleCarriesTheExactPropertyListAndLoads) {
  EXPECT_EQ(Section(".rsrc.PiPL.16000").bytes, BuildPipl(LumerayPiplEntries()));
  std::string error;
  const auto module = LoadedModule::Load(LUMERAY_MODULE_PATH, kModeRGB, &error);
  ASSERT_NE(module, nullptr) << error;
  EXPECT_NE(module->entry(), nullptr);
  EXPECT_EQ(module->properties().entryPoint, "PluginMain");
}

TEST_F(ModuleFile, FilesThatAreNoModulesAreRefusedBeforeLoading) {
  EXPECT_NE(Refusal(dir_.File("missing.8bf"), kModeRGB).find("cannot open"), std::string::npos);
  const std::string text = dir_.File("text.8bf");
  std::ofstream(text) << "#!/bin/sh\necho not a module\n";
  EXPECT_NE(Refusal(text, kModeRGB).find("not an ELF file"), std::string::npos);
  EXPECT_NE(Refusal(dir_.path().string(), kModeRGB).find("not a regular file"), std::string::npos);
  // An ELF shared object without a property list: the test program itself (a PIE).
  EXPECT_NE(Refusal("/proc/self/exe", kModeRGB).find("no plug-in property list"),
            std::string::npos);
  const std::string truncated =
      PatchedCopy([](std::vector<uint8_t>& bytes) { bytes.resize(bytes.size() / 2); });
  EXPECT_FALSE(Refusal(truncated, kModeRGB).empty());
}

TEST_F(ModuleFile, DamagedOrRestrictivePropertyListsAreRefused) {
  const ElfSection names = Section(".shstrtab");
  const ElfSection pipl = Section(".rsrc.PiPL.16000");
  const std::string renamed = PatchedCopy([&](std::vector<uint8_t>& bytes) {
    const std::string name = ".rsrc.PiPL.16000";
    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(names.fileOffset);
    const auto at = std::search(begin, begin + static_cast<std::ptrdiff_t>(names.bytes.size()),
                                name.begin(), name.end());
    ASSERT_NE(at, begin + static_cast<std::ptrdiff_t>(names.bytes.size()));
    *(at + static_cast<std::ptrdiff_t>(name.size()) - 1) = '1';
  });
  EXPECT_NE(Refusal(renamed, kModeRGB).find("no plug-in property list"), std::string::npos);

  const std::string countTooLarge = PatchedCopy([&](std::vector<uint8_t>& bytes) {
    bytes[pipl.fileOffset + 6] = 12;  // announces a twelfth property that is not there
  });
  EXPECT_NE(Refusal(countTooLarge, kModeRGB).find("malformed"), std::string::npos);

  const std::string rgbOnly = PatchedCopy([&](std::vector<uint8_t>& bytes) {
    const std::vector<uint8_t> list = BuildPipl(LumerayPiplEntries());
    const std::vector<uint8_t> modeKey{'e', 'd', 'o', 'm'};  // 'mode' as stored
    const auto at = std::search(list.begin(), list.end(), modeKey.begin(), modeKey.end());
    const auto flags = static_cast<size_t>(at - list.begin()) + 4 + 4 + 4;
    bytes[pipl.fileOffset + flags] = 0x10;
  });
  EXPECT_NE(Refusal(rgbOnly, kModeGrayScale).find("8-bit greyscale"), std::string::npos);
  std::string error;
  EXPECT_TRUE(InspectModule(rgbOnly, kModeRGB, &error)) << error;
}

}  // namespace
}  // namespace lumeray
