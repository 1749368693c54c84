// Template rendering: any template renders in any format, with or without
// escaping and line dropping; the output is empty or ends in CR LF.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_common.h"
#include "platform/paths.h"
#include "run/modMain.h"
#include "signatures/Rendering.h"
#include "userdata/UserData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte chooses the symbol's length, escaping, line dropping and the
  // format; the symbol follows.
  size_t split = size > 0 ? data[0] % 4 : 0;
  if (split + 1 > size) return 0;
  qm::RunState.EscapeValues = (data[0] & 4) != 0;
  qm::RunState.DropEmptyLines = (data[0] & 8) != 0;
  const int format = qm::kFormatHtm + (data[0] >> 4) % 3;
  const std::string ext = format == qm::kFormatHtm   ? ".htm"
                          : format == qm::kFormatRtf ? ".rtf"
                                                     : ".txt";
  qm::RunState.PlaceholderSymbol = std::string(reinterpret_cast<const char*>(data + 1), split);
  const std::string dir = "/tmp/qm-fuzz-render-" + std::to_string(getpid()) + "/";
  std::string mk = "mkdir -p " + dir;
  static bool made = (std::system(mk.c_str()) == 0);
  (void)made;
  qm::RunState.TemplateFolderPath = qm::platform::FromNativePath(dir);
  qm::RunState.SignatureFolderPath = qm::platform::FromNativePath(dir);
  qm::UserData[qm::UserField::FirstName] = "@LASTNAME@";
  qm::UserData[qm::UserField::LastName] = "Berg";
  qm::UserData[qm::UserField::SignTitle2] = "x";
  qm::UserData[qm::UserField::City] =
      "\xC5\xBB&<\\{}\xF0\x9F\x98\x80\r\n\xFF";  // Ż, an emoji, a stray byte
  qm::UserData[qm::UserField::Fax] = " ";
  {
    std::ofstream t(dir + "t" + ext, std::ios::binary);
    t.write(reinterpret_cast<const char*>(data + 1 + split), static_cast<std::streamsize>(size - 1 - split));
  }
  qm::CreateSignatureFile("t", "o", format);
  std::ifstream in(dir + "o" + ext, std::ios::binary);
  std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!out.empty() && (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)) __builtin_trap();
  return 0;
}
