// The production step on real folders: which images travel with a signature,
// the template check, and the order of the two loops. Emptying the folder and
// the missing template are whole-program tests of both builds.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "signatures/SignTypes.h"
#include "signatures/modFiles.h"
#include "unit_support.h"
#include "userdata/UserData.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using Names = std::set<std::string>;

class Production : public unit::FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    Config("[Main]\r\n");
    Reset("tpl");
    Reset("sig");
    RunState.TemplateFolderPath = Core("tpl") + "\\";
    RunState.SignatureFolderPath = Core("sig") + "\\";
  }
  Names Files(const std::string& rel) const {
    Names names;
    for (const auto& e : fs::directory_iterator(Path(rel))) {
      names.insert(e.path().filename().string() + (e.is_directory() ? "/" : ""));
    }
    return names;
  }
  void Reset(const std::string& rel) const {
    fs::remove_all(Path(rel));
    fs::create_directories(Path(rel));
  }
};

TEST_F(Production, ImagesByTargetPrefix) {
  for (const char* f : {"firma_logo.gif", "Firma_Foto.JPG", "other.gif", "firma2_x.jpeg",
                        "firmagif", "firma.png", "firma.htm"}) {
    Write(std::string("tpl/") + f, f);
  }
  struct Row {
    const char* name;
    std::string target;
    Names copied;
  };
  const Row rows[] = {
      {"lower_prefix", "firma", {"firma_logo.gif", "firma_foto.jpg", "firma2_x.jpeg", "firmagif"}},
      {"upper_case_target_never_matches", "Firma", {}},
      {"empty_target_takes_all",
       "",
       {"firma_logo.gif", "firma_foto.jpg", "other.gif", "firma2_x.jpeg", "firmagif"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Reset("sig");
    CopyImageFiles(r.target);
    EXPECT_EQ(Files("sig"), r.copied);
  }
}

TEST_F(Production, TemplateSetNeedsAllThreeFiles) {
  // A whole set is found in every whole-program run, one without its txt file
  // in the missing template's; without the htm file, or with an extension in
  // another case, the set is not complete either.
  using Files = std::vector<std::string>;
  for (const Files& files : {Files{"s.rtf", "s.txt"}, Files{"s.htm", "s.rtf", "s.TXT"}}) {
    Reset("tpl");
    for (const std::string& f : files) Write("tpl/" + f);
    EXPECT_FALSE(TemplateFilesExist("s")) << files.back();
  }
}

TEST_F(Production, ClearOnMissingFolderIsSilent) {
  RunState.SignatureFolderPath += "fehlt\\";
  EXPECT_NO_THROW(ClearSignatureFolder(0));
}

TEST_F(Production, RepliesAfterNewMessagesAndEmptyEntriesSkipped) {
  for (const char* t : {"standard", "antwort"}) {
    for (const char* ext : {".htm", ".rtf", ".txt"}) {
      Write(std::string("tpl/") + t + ext, std::string(t) + ext);
    }
  }
  Write("tpl/gemeinsam_logo.gif", "G");
  SignTypes = {"standard"};
  TargetSignTypes = {"gemeinsam"};
  SignTypesReply = {"antwort", "", "antwort"};
  TargetSignTypesReply = {"gemeinsam", "fehlt", "zwei"};
  UserData[UserField::SignTypeReply] = "antwort,,antwort";
  ASSERT_TRUE(ProcessSignatures());
  EXPECT_EQ(Files("sig"), (Names{"gemeinsam.htm", "gemeinsam.rtf", "gemeinsam.txt",
                                 "gemeinsam_logo.gif", "zwei.htm", "zwei.rtf", "zwei.txt"}));
  // The reply pass overwrote what the new-message pass wrote under the same name.
  EXPECT_EQ(Read("sig/gemeinsam.txt"), "antwort.txt\r\n");
}

TEST_F(Production, NoReplyTextNoReplySignatures) {
  for (const char* ext : {".htm", ".rtf", ".txt"}) Write(std::string("tpl/a") + ext);
  SignTypes = {"a"};
  TargetSignTypes = {"a"};
  // Lists as if a reply had been named, but the reply text is empty.
  SignTypesReply = {"a"};
  TargetSignTypesReply = {"r"};
  UserData[UserField::SignTypeReply] = "";
  ASSERT_TRUE(ProcessSignatures());
  EXPECT_EQ(Files("sig"), (Names{"a.htm", "a.rtf", "a.txt"}));
}

}  // namespace
}  // namespace qm
