// What the domain needs of the tool manager of a document. The tool manager
// itself lives in the interaction layer, above the domain; whoever sets the
// program up (the desktop program, the command line, a test) installs a
// factory that makes one for each new document.
#pragma once

#include <functional>
#include <memory>

namespace brellin {

class TDualImage;

class TAbstractToolManager {
 public:
  virtual ~TAbstractToolManager() = default;
  // Selects tool 0 (none, context help) to 5; any other number raises
  // "Tool not implemented" and changes nothing.
  virtual void SetTool(int Tool) = 0;
  // The number of the tool last selected.
  virtual int Tool() const = 0;
  // While false the views' mouse and wheel events reach no tool.
  virtual void SetEnabled(bool Value) = 0;
  virtual bool Enabled() const = 0;
};

using TToolManagerFactory =
    std::function<std::unique_ptr<TAbstractToolManager>(TDualImage& Document)>;

}  // namespace brellin
