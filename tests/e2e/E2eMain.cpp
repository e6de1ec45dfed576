#include <gtest/gtest.h>

#include "Driver.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (tdrv::Env("TAMSEL_EXE").empty() || tdrv::Env("TAMSEL_DEBUG_LOG").empty()) {
        std::fprintf(stderr, "TAMSEL_EXE and TAMSEL_DEBUG_LOG must name the program and the "
                             "Wine message log (scripts/wine-test.sh sets both)\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
