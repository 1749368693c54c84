// Template rendering: any template renders in any format, with or without
// escaping and line dropping, to the bytes of the renderer that replaces the
// placeholders one after the other (tests/common/render_reference.h).
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "../tests/common/render_reference.h"
#include "fuzz_common.h"
#include "platform/paths.h"
#include "records/Run.h"
#include "signatures/Rendering.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte chooses the symbol's length, escaping, line dropping and the
  // format; the symbol follows, then the number of values and each value as a
  // field, a length and its bytes, then the template.
  const std::string in(reinterpret_cast<const char*>(data), size);
  qm::Run run;
  size_t at = 2 + (size > 0 ? data[0] % 4 : 0);
  if (at > size) return 0;
  run.RunState.EscapeValues = (data[0] & 4) != 0;
  run.RunState.DropEmptyLines = (data[0] & 8) != 0;
  const int format = qm::kFormatHtm + (data[0] >> 4) % 3;
  const char* ext = format == qm::kFormatHtm ? ".htm" : format == qm::kFormatRtf ? ".rtf" : ".txt";
  run.RunState.PlaceholderSymbol = in.substr(1, at - 2);
  // The count byte's fourth bit makes it a mailbox's signature; a value's
  // field numbers from 25 on are the mailbox's.
  run.UserData = qm::UserDataRecord{};
  qm::UserDataRecord mailbox;
  const bool withMailbox = (data[at - 1] & 8) != 0;
  for (int values = data[at - 1] % 8; values > 0 && at + 2 <= size; --values) {
    const size_t length = std::min<size_t>(data[at + 1] % 32, size - at - 2);
    const size_t field = data[at] % (2 * qm::kUserFieldCount);
    qm::UserDataRecord& record = field < qm::kUserFieldCount ? run.UserData : mailbox;
    record.fields[field % qm::kUserFieldCount] = in.substr(at + 2, length);
    at += 2 + length;
  }
  const qm::UserDataRecord* mailboxData = withMailbox ? &mailbox : nullptr;
  const std::string templ = in.substr(at);
  const std::string dir = "/tmp/qm-fuzz-render-" + std::to_string(getpid()) + "/";
  std::string mk = "mkdir -p " + dir;
  static bool made = (std::system(mk.c_str()) == 0);
  (void)made;
  run.RunState.TemplateFolderPath = qm::platform::FromNativePath(dir);
  run.RunState.SignatureFolderPath = qm::platform::FromNativePath(dir);
  std::ofstream(dir + "t" + ext, std::ios::binary) << templ;
  qm::CreateSignatureFile(run, "t", "o", format, run.UserData, mailboxData);
  std::ifstream file(dir + "o" + ext, std::ios::binary);
  const std::string out((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (out != qmtest::ReferenceRender(run.RunState, templ, format, run.UserData, mailboxData)) __builtin_trap();
  return 0;
}
