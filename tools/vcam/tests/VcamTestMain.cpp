// Registers the camera DLL that sits beside this program into the prefix the
// tests run in, gives every test the standard devices, and takes it all out
// again at the end.
#include "GraphHelpers.h"

#include <gtest/gtest.h>

namespace vcamtest {
namespace {

class CameraEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Configured before registering, so that registration adds no default camera.
        ASSERT_HRESULT_SUCCEEDED(vcam::DeleteAllDevices());
        ASSERT_HRESULT_SUCCEEDED(vcam::RegisterServer(CameraDllPath()));
        ResetDevices();
    }
    void TearDown() override
    {
        EXPECT_HRESULT_SUCCEEDED(vcam::UnregisterServer(CameraDllPath()));
        EXPECT_HRESULT_SUCCEEDED(vcam::DeleteAllDevices());
    }
};

} // namespace
} // namespace vcamtest

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    vcam::ComScope com;
    ::testing::AddGlobalTestEnvironment(new vcamtest::CameraEnvironment);
    return RUN_ALL_TESTS();
}
