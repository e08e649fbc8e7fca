#pragma once

#include "ui/host/WindowHost.h"
#include "ui/markup/SkinPackage.h"
#include "ui/native/headless/HeadlessWindowLayer.h"

#include <gtest/gtest.h>
#include <optional>

namespace inkwarden {

// A test of the window host on the headless layer: the layer is the host's for the test,
// the host's end of the process only records its exit code, and no skin archive stays
// open from one test to the next.
class HeadlessHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        SkinPackage::reset();
        WindowHost::setLayer(&layer);
        WindowHost::setExitHandler([this](int code) { exit_code = code; });
    }
    void TearDown() override {
        WindowHost::setExitHandler({});
        WindowHost::setLayer(nullptr);
        SkinPackage::reset();
    }

    HeadlessWindowLayer layer;
    std::optional<int> exit_code;
};

} // namespace inkwarden
