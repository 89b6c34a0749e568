// The host's descriptor procedures, action descriptors and registry, without the module: what
// the module may rely on when it reads and writes its settings.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "descriptor.h"
#include "descriptor_procs.h"
#include "descriptor_registry.h"
#include "handles.h"
#include "host_context.h"
#include "played_settings.h"
#include "settings.h"
#include "suites.h"
#include "support/temp_dir.h"

namespace lumeray {
namespace {

constexpr DescriptorKeyID kBlockKey = FourCC("PBlk");
constexpr char kEntryName[] = "383056ce-1943-4863-835d-19c2a188df95";

// A handle table and suites published for the test thread, as during a module call.
class PublishedHost : public ::testing::Test {
 protected:
  HandleTable handles_;
  SuiteHost suites_;
  HostContext context_{&handles_, &suites_, nullptr, nullptr};
  HostContextScope scope_{&context_};
  ReadDescriptorProcs read_ = MakeReadDescriptorProcs();
  WriteDescriptorProcs write_ = MakeWriteDescriptorProcs();
};

TEST(DescriptorBytes, EveryTypeSurvivesEncodingAndBrokenBytesAreRefused) {
  const Descriptor settings = CompleteSettings({});
  Descriptor withFloat = settings;
  withFloat.PutFloat(FourCC("xtra"), -0.125);
  const std::vector<uint8_t> bytes = EncodeDescriptor(withFloat);
  Descriptor decoded;
  ASSERT_TRUE(DecodeDescriptor(bytes, &decoded));
  EXPECT_EQ(decoded.size(), withFloat.size());
  EXPECT_EQ(EncodeDescriptor(decoded), bytes) << "whatever decoding lost, encoding again shows";
  for (size_t cut = 1; cut < bytes.size(); ++cut) {
    Descriptor partial;
    const bool whole = DecodeDescriptor({bytes.data(), cut}, &partial);
    // Only cuts that fall between items decode, and then to a prefix.
    if (whole) {
      EXPECT_LT(partial.size(), withFloat.size());
    }
  }
  std::vector<uint8_t> twice = EncodeDescriptor(settings);
  const std::vector<uint8_t> again = EncodeDescriptor(settings);
  twice.insert(twice.end(), again.begin(), again.end());
  EXPECT_FALSE(DecodeDescriptor(twice, &decoded)) << "a key given twice";
}

TEST_F(PublishedHost, ForeignOrBrokenHandlesDoNotOpen) {
  const DescriptorKeyID keys[] = {0};
  EXPECT_EQ(read_.openReadDescriptorProc(nullptr, keys), nullptr);
  HandleTable otherTable;
  Handle foreign = otherTable.NewCopy(EncodeDescriptor(CompleteSettings({})));
  EXPECT_EQ(read_.openReadDescriptorProc(foreign, keys), nullptr) << "another table's handle";
  Handle broken = handles_.NewCopy(std::vector<uint8_t>{'I', 'n', 't'});
  EXPECT_EQ(read_.openReadDescriptorProc(broken, keys), nullptr);
  handles_.Dispose(broken);
}

TEST_F(PublishedHost, TheRegistryHandsOutCopiesAndPersistsBetweenSessions) {
  testing::TempDir dir;
  const std::string file = (dir.path() / "state" / "registry").string();
  std::string error;
  ASSERT_TRUE(suites_.descriptors().UseRegistryFile(file, &error)) << error;
  const DescriptorRegistrySuite1 registry = MakeRegistrySuite();
  const ActionDescriptorSuite descriptors = MakeActionDescriptorSuite();

  PIActionDescriptor made = nullptr;
  ASSERT_EQ(descriptors.Make(&made), kSPNoError);
  uint8_t block[255];
  for (size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(descriptors.PutData(made, kBlockKey, sizeof block, block), kSPNoError);
  ASSERT_EQ(registry.Register(kEntryName, made, 1), kSPNoError);
  ASSERT_EQ(descriptors.Free(made), kSPNoError);
  EXPECT_NE(descriptors.Free(made), kSPNoError) << "freed twice";
  EXPECT_TRUE(std::filesystem::exists(file));

  // The next session finds the entry in the file.
  SuiteHost next;
  HostContext nextContext{&handles_, &next, nullptr, nullptr};
  HostContextScope nextScope(&nextContext);
  ASSERT_TRUE(next.descriptors().UseRegistryFile(file, &error)) << error;
  PIActionDescriptor got = nullptr;
  ASSERT_EQ(registry.Get(kEntryName, &got), kSPNoError);
  int32_t length = 0;
  ASSERT_EQ(descriptors.GetDataLength(got, kBlockKey, &length), kSPNoError);
  ASSERT_EQ(length, 255);
  uint8_t read[255] = {};
  ASSERT_EQ(descriptors.GetData(got, kBlockKey, read), kSPNoError);
  EXPECT_EQ(std::memcmp(read, block, sizeof block), 0);
  EXPECT_NE(descriptors.GetDataLength(got, FourCC("none"), &length), kSPNoError);
  EXPECT_EQ(descriptors.Free(got), kSPNoError);
  EXPECT_EQ(next.descriptors().liveCount(), 0u);

  PIActionDescriptor missing = nullptr;
  EXPECT_NE(registry.Get("no such entry", &missing), kSPNoError);
  EXPECT_EQ(missing, nullptr);

  // Erasing a persistent entry removes it from the file too.
  ASSERT_EQ(registry.Erase(kEntryName), kSPNoError);
  SuiteHost third;
  ASSERT_TRUE(third.descriptors().UseRegistryFile(file, &error));
  EXPECT_EQ(third.descriptors().Find(kEntryName), nullptr);
  EXPECT_EQ(dir.Entries().size(), 1u) << "no temporary file left beside the state folder";
}

TEST(RegistryFile, ForeignTextIsIgnoredAndNamesWithLineBreaksAreRefused) {
  std::map<std::string, RegistryEntry> entries;
  EXPECT_FALSE(ParseRegistry("", &entries));
  EXPECT_FALSE(ParseRegistry("lumeray registry 1\nname\t5042\t00\n", &entries));
  EXPECT_FALSE(ParseRegistry("lumeray registry 1\nname\t50426c6b\t0\n", &entries));
  EXPECT_FALSE(ParseRegistry("lumeray registry 1\nname\t50426c6b\tzz\n", &entries));
  ASSERT_TRUE(ParseRegistry("lumeray registry 1\nname\t50426c6b\t00ff\n", &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries["name"].values.data[kBlockKey], (std::vector<uint8_t>{0x00, 0xFF}));
  EXPECT_EQ(FormatRegistry(entries), "lumeray registry 1\nname\t50426c6b\t00ff\n");

  DescriptorStore store;
  EXPECT_NE(store.Register("two\nlines", ActionDescriptorRecord{}, true), kSPNoError);
  EXPECT_EQ(store.Register("memory only", ActionDescriptorRecord{}, false), kSPNoError);
}

}  // namespace
}  // namespace lumeray
