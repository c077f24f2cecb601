// The clipboard as a port: the core asks through this interface and the
// desktop program, the command line or a test supplies the implementation.
#pragma once

#include "base/Bitmap32.h"

namespace brellin {

class TClipboardPort {
 public:
  virtual ~TClipboardPort() = default;
  virtual bool HasBitmap() = 0;
  // Replaces bmp by the clipboard's picture; only called when HasBitmap().
  virtual void GetBitmap(TBitmap32& bmp) = 0;
  virtual void SetBitmap(const TBitmap32& bmp) = 0;
};

// The process-wide clipboard; null (the default) means there is none.
// Not owned: whoever installs it keeps it alive and uninstalls it.
void SetClipboardPort(TClipboardPort* port);
TClipboardPort* ClipboardPort();

}  // namespace brellin
