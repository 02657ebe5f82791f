// A wizard on an in-memory machine: the fake platform, the dialog host built
// from the resource script, and the shared state.
#pragma once

#include <gtest/gtest.h>

#include "app/AppContext.h"
#include "fake/FakeDialog.h"
#include "fake/FakeNetwork.h"
#include "fake/FakeSerialPorts.h"
#include "fake/FakePlatform.h"
#include "res/resource.h"

namespace kelp {

class WizardFixture : public testing::Test {
protected:
    // Every queued user action ran, on the page it was meant for.
    void TearDown() override { EXPECT_EQ(host.problems(), ""); }

    FakePlatform platform;
    FakeDialogHost host;
    InstallSettings settings;
    FakeNetwork network;
    FakeSerialPorts serial;
    AppContext context{platform, host, settings, network, serial};
};

}  // namespace kelp
