#include <gtest/gtest.h>

#include "host/emul/host_emul.h"


TEST(Smoke, NoCountryFailsSetUp) {
    hostemu::ColumnMap m(&KLOColMapWExit, u"switch=\"ES", {{u"NID"}}, {{u"NID"}});
    m.set(u"NID", u"1234567L");
    auto r = m.row();
    EXPECT_EQ(r.rc, 2);
    EXPECT_EQ(r.msgText, u"NID ERROR 0xb: No Countries initialized for Maskin");
    EXPECT_EQ(m.end(), 0);
}
