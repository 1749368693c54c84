// The Application log, through the classic event log functions. The source
// needs no registration to be written: RegisterEventSourceW opens any name,
// and Event Viewer then shows the text with a note that the description is
// missing. The MSI registers the source with the exe's message table (every
// ID's message is just the text), so that the note goes away.
#include "platform/eventlog.h"

#include "platform/error.h"
#include "platform/win32/win32.h"

namespace qm::platform::eventlog {
namespace {

struct EventSourceTraits {
  using Handle = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static bool Close(HANDLE h) { return DeregisterEventSource(h) != FALSE; }
};
using EventSource = UniqueHandle<EventSourceTraits>;

// No category: the source registers no category message file.
constexpr WORD kNoCategory = 0;

[[noreturn]] void Refused(DWORD error) {
  throw err::FromPlatform(static_cast<long>(error), "Quillmark",
                          "Das Ereignis konnte nicht in das Anwendungsprotokoll geschrieben werden "
                          "(Systemfehler " + std::to_string(error) + ")");
}

}  // namespace

void Report(EventType type, std::uint16_t id, const std::string& text) {
  const std::wstring source = win32::Widen(kSource);
  const EventSource log(RegisterEventSourceW(nullptr, source.c_str()));
  if (!log.valid()) Refused(GetLastError());
  const std::wstring message = win32::Widen(text);
  LPCWSTR strings[] = {message.c_str()};
  const WORD eventType = type == EventType::Error ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE;
  if (!ReportEventW(log.get(), eventType, kNoCategory, id, nullptr, 1, 0, strings, nullptr)) {
    Refused(GetLastError());
  }
}

}  // namespace qm::platform::eventlog
