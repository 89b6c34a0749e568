// The parameters kept in the host's descriptor registry: suites and versions, the stored block,
// and blocks that are short, unreadable or of another version.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "host/pipeline_steps.h"
#include "host/registry_parameters.h"
#include "unit/host/fake_descriptors.h"

struct ActionDescriptorRecord {
  std::map<DescriptorKeyID, std::vector<uint8_t>> data;
};

namespace lumeray {
namespace {

// A basic suite with the descriptor registry suite (version 1) and the action descriptor suite
// (the versions offered), a record of acquires and releases, a count of live descriptors, and
// faults on request. It replaces the record's basic suite for its lifetime.
class FakeSuites {
 public:
  explicit FakeSuites(FilterRecord& record) : record_(record), replaced_(record.sSPBasic) {
    current_ = this;
    basic_.AcquireSuite = [](const char* name, int32_t version, const void** suite) -> SPErr {
      FakeSuites& self = *current_;
      const bool registry = std::strcmp(name, kDescriptorRegistrySuiteName) == 0;
      const bool offered = registry ? self.offerRegistry && version == 1
                                    : std::strcmp(name, kActionDescriptorSuiteName) == 0 &&
                                          self.descriptorVersions.count(version) != 0;
      self.log.push_back((offered ? "acquire " : "refuse ") + Short(name) + " " +
                         std::to_string(version));
      if (!offered) return kSPSuiteNotFoundError;
      *suite = registry ? static_cast<const void*>(&self.registry_) : &self.descriptors_;
      return kSPNoError;
    };
    basic_.ReleaseSuite = [](const char* name, int32_t version) -> SPErr {
      current_->log.push_back("release " + Short(name) + " " + std::to_string(version));
      return kSPNoError;
    };

    registry_.Register = [](const char* key, PIActionDescriptor descriptor, Boolean) -> SPErr {
      if (current_->failRegister) return kSPSuiteNotFoundError;
      current_->registry[key] = descriptor->data;
      return kSPNoError;
    };
    registry_.Get = [](const char* key, PIActionDescriptor* descriptor) -> SPErr {
      const auto entry = current_->registry.find(key);
      if (entry == current_->registry.end()) return kSPSuiteNotFoundError;
      ++current_->liveDescriptors;
      *descriptor = new ActionDescriptorRecord{entry->second};
      return kSPNoError;
    };
    descriptors_.Make = [](PIActionDescriptor* descriptor) -> SPErr {
      ++current_->liveDescriptors;
      *descriptor = new ActionDescriptorRecord;
      return kSPNoError;
    };
    descriptors_.Free = [](PIActionDescriptor descriptor) -> SPErr {
      --current_->liveDescriptors;
      delete descriptor;
      return kSPNoError;
    };
    descriptors_.PutData = [](PIActionDescriptor descriptor, DescriptorKeyID key, int32_t length,
                              void* value) -> SPErr {
      const auto* bytes = static_cast<const uint8_t*>(value);
      descriptor->data[key].assign(bytes, bytes + length);
      return kSPNoError;
    };
    descriptors_.GetDataLength = [](PIActionDescriptor descriptor, DescriptorKeyID key,
                                    int32_t* length) -> SPErr {
      const auto entry = descriptor->data.find(key);
      if (entry == descriptor->data.end()) return kSPSuiteNotFoundError;
      *length = static_cast<int32_t>(entry->second.size());
      return kSPNoError;
    };
    descriptors_.GetData = [](PIActionDescriptor descriptor, DescriptorKeyID key,
                              void* value) -> SPErr {
      ++current_->getDataCalls;
      const std::vector<uint8_t>& data = descriptor->data.at(key);
      if (current_->failGetData) return kSPSuiteNotFoundError;
      std::memcpy(value, data.data(), data.size());
      return kSPNoError;
    };
    record_.sSPBasic = &basic_;
  }
  ~FakeSuites() {
    record_.sSPBasic = replaced_;
    current_ = nullptr;
  }
  FakeSuites(const FakeSuites&) = delete;
  FakeSuites& operator=(const FakeSuites&) = delete;

  std::vector<uint8_t>& Block(const std::string& key) { return registry[key][FourCC("PBlk")]; }

  bool offerRegistry = true;
  std::set<int32_t> descriptorVersions = {3};
  bool failRegister = false;
  bool failGetData = false;

  std::map<std::string, std::map<DescriptorKeyID, std::vector<uint8_t>>> registry;
  std::vector<std::string> log;  // "acquire registry 1", "refuse descriptor 3", ...
  int liveDescriptors = 0;
  int getDataCalls = 0;

 private:
  static std::string Short(const char* name) {
    return std::strcmp(name, kDescriptorRegistrySuiteName) == 0 ? "registry" : "descriptor";
  }

  static inline FakeSuites* current_ = nullptr;
  FilterRecord& record_;
  SPBasicSuite* replaced_;
  SPBasicSuite basic_{};
  DescriptorRegistrySuite1 registry_{};
  ActionDescriptorSuite descriptors_{};
};

using Log = std::vector<std::string>;

std::vector<uint8_t> BlockOf(const ParameterSet& parameters, size_t size = kParameterBlockSize) {
  std::vector<uint8_t> block(size, 0);
  std::memcpy(block.data(), &parameters, std::min(size, sizeof parameters));
  return block;
}

ParameterSet Stored() {
  ParameterSet p = kFactoryParameters;
  p.Intensity = 99;
  p.Angle = -305;
  return p;
}

class ScriptingRegistry : public ::testing::Test {
 protected:
  bool HoldsStored() const {
    const ParameterSet stored = Stored();
    return std::memcmp(&host.parameters, &stored, sizeof stored) == 0;
  }
  std::vector<uint8_t>& Block() { return suites.Block(kRegistryParametersKey); }

  testing::HostUnderTest host;
  FakeSuites suites{host.record};
  testing::CapturedMessages messages;
};

TEST_F(ScriptingRegistry, AWrittenBlockIsReadBackAndTheSuitesReleasedInOrder) {
  host.parameters = Stored();
  host.parameters.version = {0, 0, 0, 0};  // stamped on the way out
  EXPECT_EQ(WriteRegistryParameters(), 0);
  ASSERT_EQ(Block().size(), 255u);
  EXPECT_EQ(Block()[6], 5);
  host.parameters = kFactoryParameters;
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_TRUE(HoldsStored());
  const Log once = {"acquire registry 1", "acquire descriptor 3", "release descriptor 3",
                    "release registry 1"};
  EXPECT_EQ(suites.log,
            (Log{once[0], once[1], once[2], once[3], once[0], once[1], once[2], once[3]}));
  EXPECT_EQ(suites.liveDescriptors, 0);
}

TEST_F(ScriptingRegistry, VersionTwoOfTheDescriptorSuiteServesAndMissingSuitesGiveNothing) {
  suites.descriptorVersions = {2};
  Block() = BlockOf(Stored());
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_TRUE(HoldsStored());
  EXPECT_EQ(suites.log, (Log{"acquire registry 1", "refuse descriptor 3", "acquire descriptor 2",
                             "release descriptor 2", "release registry 1"}));

  suites.log.clear();
  suites.descriptorVersions = {};
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(suites.log, (Log{"acquire registry 1", "refuse descriptor 3", "refuse descriptor 2",
                             "release registry 1"}));
  suites.offerRegistry = false;
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  host.record.sSPBasic = nullptr;
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
}

TEST_F(ScriptingRegistry, BlocksThatCannotBeUsedLeaveTheParametersAlone) {
  host.parameters = Stored();
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient) << "no entry";
  Block() = {};
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient) << "length 0";
  Block() = BlockOf(kFactoryParameters, 39);  // the right version, but cut short
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_EQ(suites.getDataCalls, 0) << "a short block is never read";
  Block() = BlockOf(kFactoryParameters);
  suites.failGetData = true;
  EXPECT_EQ(ReadRegistryParameters(), kErrPlugInHostInsufficient);
  suites.failGetData = false;

  ParameterSet old = kFactoryParameters;
  old.version = {0, 0, 0, 4};
  Block() = BlockOf(old);
  EXPECT_EQ(ReadRegistryParameters(), kErrStoredVersionMismatch);
  EXPECT_TRUE(HoldsStored()) << "Start puts the factory defaults in";
  EXPECT_EQ(suites.liveDescriptors, 0);
  EXPECT_TRUE(messages.shown.empty()) << "only logged";

  Block() = BlockOf(kFactoryParameters, 4000);  // longer than needed is fine
  EXPECT_EQ(ReadRegistryParameters(), 0);
  EXPECT_EQ(host.parameters.Intensity, kFactoryParameters.Intensity);
}

TEST_F(ScriptingRegistry, AFailedRegisterStoresNothing) {
  suites.failRegister = true;
  EXPECT_EQ(WriteRegistryParameters(), kErrPlugInHostInsufficient);
  EXPECT_TRUE(suites.registry.empty());
  EXPECT_EQ(suites.liveDescriptors, 0);
  EXPECT_EQ(suites.log.back(), "release registry 1");
}

}  // namespace
}  // namespace lumeray
