#pragma once

#include <string>

#include "app/Collector.h"
#include "app/basMain.h"
#include "app/frmMain.h"
#include "collect/basPCInfo.h"
#include "output/Common.h"
#include "output/DataFile.h"
#include "platform/Services.h"

namespace qrx {

// The whole program over a set of platform services: what a platform's entry point builds
// and what an end-to-end test builds with fakes.
struct Program {
    explicit Program(const Services& s)
        : common(state, s.app, s.clock, s.files),
          data(state, common, s.crypto, s.codec, s.window),
          info(s.wmi, data, common),
          collector(state, s.window, s.clock, data, info),
          form(s.window, common, &collector) {}

    void Start(const std::string& commandLine) { Main(commandLine, state, form); }

    ProgramState state;
    basCommon common;
    DataFile data;
    basPCInfo info;
    Collector collector;
    frmMain form;
};

}  // namespace qrx
