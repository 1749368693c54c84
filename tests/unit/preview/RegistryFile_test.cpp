// The registry.reg of a preview: written as the run goes, it ends as the .reg
// text of the whole record, whatever order the writes came in.
#include "preview/RegistryFile.h"

#include "platform/registry.h"
#include "records/RegistryRecord.h"
#include "unit_support.h"

namespace qm {
namespace {

namespace reg = platform::registry;

class PreviewRegistryFile : public unit::FolderTest {};

TEST_F(PreviewRegistryFile, EndsAsTheTextOfTheWholeRecord) {
  const auto value = [](const char* path, const char* name, std::uint8_t data) {
    return reg::ExportedValue{reg::kCurrentUser, path, name, reg::kTypeDword, {data, 0, 0, 0}};
  };
  const struct {
    const char* name;
    std::vector<reg::ExportedValue> writes;
  } rows[] = {
      {"nothing", {}},
      {"one key, then another", {value("A", "x", 1), value("a", "y", 2), value("B", "z", 3)}},
      {"back to an earlier key, and a name set again",
       {value("A", "x", 1), value("B", "z", 2), value("A\\", "w", 3), value("B", "Z", 4),
        value("C", "", 5), value("C", "", 6)}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    NewRun();
    run.RegistryRecord.emplace();
    RecordRegistryValue(run, value("Vorher", "v", 9));  // before the preview folder is made
    StartRegistryFile(run, Core("registry.reg"));
    for (const reg::ExportedValue& v : row.writes) RecordRegistryValue(run, v);
    FinishRegistryFile(run);
    EXPECT_EQ(Read("registry.reg"), reg::RegFileBytes(reg::RegFileText(run.RegistryRecord->Values)));
    EXPECT_EQ(run.RegistryRecord->Values.size(), row.writes.size() + 1);
  }
}

}  // namespace
}  // namespace qm
