#pragma once

#include "platform/Wmi.h"

namespace qrx {

// The management instrumentation through its scripting interface: the "winmgmts:" moniker,
// ExecQuery, the collection's enumerator and Properties_. COM must be initialised on the
// calling thread.
class WinWmi : public IWmiProvider {
  public:
    std::unique_ptr<IWmiServices> Bind(const std::string& moniker) override;
};

}  // namespace qrx
