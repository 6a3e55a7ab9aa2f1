#pragma once

#include "platform/Crypto.h"
#include "platform/System.h"
#include "platform/TextCodec.h"
#include "platform/Windowing.h"
#include "platform/Wmi.h"

namespace qrx {

// Every platform service the core reaches, handed in by the platform's entry point or a test.
struct Services {
    IWindowing& window;
    IAppInfo& app;
    IClock& clock;
    IFileSystem& files;
    ICryptoProvider& crypto;
    ITextCodec& codec;
    IWmiProvider& wmi;
};

}  // namespace qrx
