// The runtime folder's cleanup against the fake file system: the order of
// work, the root test, links, failures and the path limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "tests/host/fake_platform.h"

namespace {

using Calls = std::vector<std::string>;

constexpr uint32_t kReadOnly = 0x1, kHidden = 0x2, kSystem = 0x4, kLink = 0x400;

class FolderCleanup : public ::testing::Test {
 protected:
  void SetUp() override { fake::Reset(); }
  static Calls Removals() { return fake::CallsOf({"DeleteFileW", "RemoveDirectoryW"}); }
};

TEST_F(FolderCleanup, DepthFirstFileThenEachFolderBottomUpAndTheTopStays) {
  fake::AddFile(u"jre\\a\\b\\c\\deep.txt");
  fake::AddFile(u"jre\\top.txt");
  ClearFolderTree(u"jre", u"jre");
  EXPECT_EQ(Removals(), (Calls{"DeleteFileW jre\\a\\b\\c\\deep.txt", "RemoveDirectoryW jre\\a\\b\\c",
                               "RemoveDirectoryW jre\\a\\b", "RemoveDirectoryW jre\\a",
                               "DeleteFileW jre\\top.txt"}));
  EXPECT_TRUE(fake::Exists(u"jre"));
  EXPECT_EQ(fake::state.entries.size(), 3u);  // c:, c:\inst and jre
}

TEST_F(FolderCleanup, EachEnumerationIsClosedBeforeItsFolderIsRemoved) {
  fake::AddFile(u"jre\\a\\b\\f");
  ClearFolderTree(u"jre", u"jre");
  EXPECT_EQ(fake::CallsOf({"FindFirstFileW", "FindClose", "RemoveDirectoryW"}),
            (Calls{"FindFirstFileW jre\\*.*", "FindFirstFileW jre\\a\\*.*",
                   "FindFirstFileW jre\\a\\b\\*.*", "FindClose jre\\a\\b\\*.*",
                   "RemoveDirectoryW jre\\a\\b", "FindClose jre\\a\\*.*", "RemoveDirectoryW jre\\a",
                   "FindClose jre\\*.*"}));
}

TEST_F(FolderCleanup, HiddenSystemAndDottedNamesAreEntriesLikeAnyOther) {
  fake::AddFile(u"jre\\...", kHidden);
  fake::AddFile(u"jre\\.x", kSystem);
  fake::AddFile(u"jre\\..hidden\\f", kHidden | kSystem);
  ClearFolderTree(u"jre", u"jre");
  EXPECT_EQ(Removals(), (Calls{"DeleteFileW jre\\...", "DeleteFileW jre\\.x",
                               "DeleteFileW jre\\..hidden\\f", "RemoveDirectoryW jre\\..hidden"}));
}

TEST_F(FolderCleanup, AFileThatCannotBeDeletedKeepsItsFoldersAndEverythingElseGoes) {
  fake::AddFile(u"jre\\lib\\keep\\locked.dll").undeletable = true;
  fake::AddFile(u"jre\\lib\\keep\\other.dll");
  fake::AddFile(u"jre\\lib\\beside\\x");
  fake::AddFile(u"jre\\bin\\java.exe");
  ClearFolderTree(u"jre", u"jre");
  EXPECT_TRUE(fake::Exists(u"jre\\lib\\keep\\locked.dll"));
  for (const char16_t* gone : {u"jre\\lib\\keep\\other.dll", u"jre\\lib\\beside", u"jre\\bin"})
    EXPECT_FALSE(fake::Exists(gone)) << fake::Readable(gone);
  // Their removals were tried and failed; no attribute was changed to force one.
  EXPECT_EQ(fake::CallsOf({"RemoveDirectoryW"}),
            (Calls{"RemoveDirectoryW jre\\lib\\keep", "RemoveDirectoryW jre\\lib\\beside",
                   "RemoveDirectoryW jre\\lib", "RemoveDirectoryW jre\\bin"}));
}

TEST_F(FolderCleanup, AnEntryWhoseAttributesCannotBeReadIsNeverDeletedAsAFile) {
  fake::AddFile(u"jre\\mystery").attributesUnreadable = true;
  ClearFolderTree(u"jre", u"jre");
  EXPECT_EQ(Removals(), Calls{"RemoveDirectoryW jre\\mystery"});
  EXPECT_TRUE(fake::Exists(u"jre\\mystery"));
}

TEST_F(FolderCleanup, AFolderLinkIsRemovedAsALinkAndNeverWalkedThrough) {
  fake::AddFile(u"jre\\linked\\canary.txt");
  fake::state.entries[u"c:\\inst\\jre\\linked"].attributes |= kLink;
  fake::AddFile(u"jre\\plain.txt");
  ClearFolderTree(u"jre", u"jre");
  EXPECT_EQ(fake::CallsOf({"FindFirstFileW", "DeleteFileW", "RemoveDirectoryW"}),
            (Calls{"FindFirstFileW jre\\*.*", "RemoveDirectoryW jre\\linked",
                   "DeleteFileW jre\\plain.txt"}));
}

TEST_F(FolderCleanup, ALinkWhoseOwnAttributesCannotBeReadIsNeverWalkedInto) {
  // Only the folder's listing says that it is a link: a walk through it would
  // empty the tree it points at, outside jre.
  for (uint32_t listed : {kLink | 0x10u, kLink}) {
    SetUp();
    fake::AddFile(u"jre\\linked\\canary.txt");
    fake::Entry& link = fake::state.entries[u"c:\\inst\\jre\\linked"];
    link.attributes = listed;
    link.attributesUnreadable = true;
    ClearFolderTree(u"jre", u"jre");
    EXPECT_EQ(fake::CallsOf({"FindFirstFileW", "DeleteFileW", "RemoveDirectoryW"}),
              Calls{"FindFirstFileW jre\\*.*"})
        << listed;
    EXPECT_TRUE(fake::Exists(u"jre\\linked\\canary.txt"));
  }
}

TEST_F(FolderCleanup, ARootThatIsALinkIsLeftAlone) {
  fake::AddFile(u"jre\\bin\\javaw.exe");
  fake::state.entries[u"c:\\inst\\jre"].attributes |= kLink;
  ClearFolderTree(u"jre", u"jre");
  EXPECT_EQ(fake::CallsOf({"FindFirstFileW", "DeleteFileW", "RemoveDirectoryW"}), Calls{});
  EXPECT_TRUE(fake::Exists(u"jre\\bin\\javaw.exe"));
}

TEST_F(FolderCleanup, AMissingRootOrAFileInItsPlaceIsLeftAlone) {
  ClearFolderTree(u"jre", u"jre");
  EXPECT_FALSE(fake::Exists(u"jre"));
  fake::AddFile(u"jre", kReadOnly);
  ClearFolderTree(u"jre", u"jre");
  EXPECT_TRUE(fake::Exists(u"jre"));
  EXPECT_EQ(Removals(), Calls{});
}

TEST_F(FolderCleanup, OnlyTheExactRootTextStays) {
  // The same folder written another way is not the root, so it is removed
  // once emptied.
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"jre\\", u"jre"}, {u"jre", u"jre\\"}, {u"JRE", u"jre"}, {u"C:\\inst\\jre", u"jre"}};
  for (const auto& [path, root] : cases) {
    SetUp();
    fake::AddFile(u"jre\\f");
    ClearFolderTree(path, root);
    EXPECT_FALSE(fake::Exists(u"jre")) << fake::Readable(path) << " / " << fake::Readable(root);
  }
}

TEST_F(FolderCleanup, ARootEndingInABackslashDoublesItInEveryPathAndStays) {
  fake::AddFile(u"jre\\sub\\f");
  ClearFolderTree(u"jre\\", u"jre\\");
  EXPECT_EQ(fake::CallsOf({"FindFirstFileW", "DeleteFileW", "RemoveDirectoryW"}),
            (Calls{"FindFirstFileW jre\\\\*.*", "FindFirstFileW jre\\\\sub\\*.*",
                   "DeleteFileW jre\\\\sub\\f", "RemoveDirectoryW jre\\\\sub"}));
  EXPECT_TRUE(fake::Exists(u"jre"));
}

// A folder path of exactly the given length, as seen from the current folder.
std::u16string FolderOfLength(size_t units) {
  std::u16string path = u"jre\\";
  path += std::u16string(units - path.size(), u'd');
  return path;
}

TEST_F(FolderCleanup, ASearchPatternFitsUpTo255UnitsOfPath) {
  for (size_t units : {255u, 256u}) {
    SetUp();
    std::u16string folder = FolderOfLength(units);
    fake::AddFile(folder + u"\\f");
    ClearFolderTree(u"jre", u"jre");
    bool fits = units == 255;
    EXPECT_EQ(fake::Exists(folder), !fits) << units;
    EXPECT_EQ(fake::Exists(folder + u"\\f"), !fits) << units;
    // Too long: left in place, and nothing made with a shortened pattern.
    EXPECT_EQ(fake::CallsOf({"FindFirstFileW"}).size(), fits ? 2u : 1u) << units;
  }
}

TEST_F(FolderCleanup, AnEntryPathFitsUpTo259Units) {
  std::u16string fits = u"jre\\" + std::u16string(255, u'a');
  std::u16string tooLong = u"jre\\" + std::u16string(256, u'b');
  fake::AddFile(fits);
  fake::AddFile(tooLong);
  fake::AddFile(u"jre\\after");
  ClearFolderTree(u"jre", u"jre");
  EXPECT_FALSE(fake::Exists(fits));
  EXPECT_TRUE(fake::Exists(tooLong));
  EXPECT_FALSE(fake::Exists(u"jre\\after"));  // the walk goes on past it
  for (const std::string& call : fake::state.calls) EXPECT_EQ(call.find("bbbb"), std::string::npos);
}

TEST_F(FolderCleanup, ATreeDeeperThanTheBufferEmptiesAsFarAsItReaches) {
  std::u16string path = u"jre";
  for (int level = 0; level < 200; ++level) path += u"\\d";
  fake::AddFile(path + u"\\f");
  ClearFolderTree(u"jre", u"jre");
  // Folders up to 255 units are enumerated: "jre" and 126 levels below it.
  EXPECT_EQ(fake::CallsOf({"FindFirstFileW"}).size(), 127u);
  EXPECT_TRUE(fake::Exists(path + u"\\f"));
  EXPECT_TRUE(fake::Exists(u"jre\\d"));
}

TEST_F(FolderCleanup, TakesNoHeapMemory) {
  fake::AddFile(u"jre\\a\\b\\c\\f");
  fake::AddFile(u"jre\\x").undeletable = true;
  fake::StartCountingAllocations();
  ClearFolderTree(u"jre", u"jre");
  EXPECT_EQ(fake::StopCountingAllocations(), 0u);
  EXPECT_FALSE(fake::Exists(u"jre\\a"));
}

}  // namespace
