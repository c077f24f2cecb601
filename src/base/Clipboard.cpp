#include "base/Clipboard.h"

namespace brellin {

namespace {
TClipboardPort* gClipboard = nullptr;
}

void SetClipboardPort(TClipboardPort* port) {
  gClipboard = port;
}
TClipboardPort* ClipboardPort() {
  return gClipboard;
}

}  // namespace brellin
