/*
** version_test.cpp - `ztnid --version`: the library it loads and the exit's answer, or
** status 2 when the library cannot be loaded.
*/
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "ztnid_test_util.h"

using namespace ztnid_test;

TEST(ZtnidVersion, NamesTheLoadedExitAndItsAnswer) {
    if (ZtnidPath().empty()) GTEST_SKIP() << "ztnid is not built beside the exit";
    const std::string library = std::getenv("ZT0NID_LIBRARY");
    Outcome ok = RunZtnid({"--version"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out.rfind("ztnid ", 0), 0u) << ok.out;
    EXPECT_NE(ok.out.find("(loaded as " + library + ")"), std::string::npos) << ok.out;
    EXPECT_NE(ok.out.find("result 0, countries initialised: FR IT ES UK, FR 185057511234529 -> "), std::string::npos)
        << ok.out;

    /* In the same folder, where the test finds ztnid. */
    const std::string absent = library.substr(0, library.rfind('/') + 1) + "libZT0NID-absent.so";
    setenv("ZT0NID_LIBRARY", absent.c_str(), 1);
    Outcome missing = RunZtnid({"--version"});
    setenv("ZT0NID_LIBRARY", library.c_str(), 1);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.out.find("exit: cannot load " + absent), std::string::npos) << missing.out;
}
#endif
