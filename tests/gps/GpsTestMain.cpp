// The GPS tests under Wine. Started with --print-com-ports, the program
// instead lists the COM ports it discovers, one per line (the discovery test
// runs it as a second process).
#include <gtest/gtest.h>

#include <cstring>

namespace gpstest {
int PrintComPortsForParent();
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--print-com-ports") == 0)
        return gpstest::PrintComPortsForParent();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
